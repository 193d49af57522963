// CHttpDownload: one plain HTTP/1.0 GET through WinINet, with its own
// Internet session, connection and request handles.
//
// Only http URLs are fetched. The browser cache is neither read nor
// written, redirects are not followed, no Range header is sent: every
// request asks for the whole resource. Operations answer a Status; only
// zero versus non-zero matters to callers outside the download stage. A
// failed OpenUrl or Send leaves no request open. One object serves one
// thread at a time; it has no lock.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>

// How long a connection, a request or a read may wait for the server.
const DWORD kHttpTimeoutMs = 30000;

class CHttpDownload {
 public:
  enum Status {
    kOk = 0,
    kEmptyUrl = 1,
    kBadUrl = 2,             // cannot be canonicalised or split, or not http
    kNoRequest = 3,          // no request is open
    kNoContentLength = 4,    // Content-Length missing or not a byte count
    kNoStatusCode = 5,
    kNoLastModified = 6,     // Last-Modified missing or not a date
    kUnexpectedStatus = 7,   // neither 200 nor 206
    kCannotConnect = 8,      // no session, connection or request object
    kSendFailed = 10,
    kReadFailed = 13,
  };

  // Opens the Internet session with the system's proxy settings, named for
  // the engine module (its file name without extension); connecting may
  // take 10 s at most. A session that cannot be opened makes every OpenUrl
  // answer kCannotConnect.
  CHttpDownload();
  virtual ~CHttpDownload();  // Close, then the session
  CHttpDownload(const CHttpDownload&) = delete;
  CHttpDownload& operator=(const CHttpDownload&) = delete;

  // Prepares a GET of url (any request still open is closed first).
  Status OpenUrl(const char* url);
  // Sends the prepared request; kOk only for status 200 or 206.
  Status Send();
  // OpenUrl, then Send.
  Status Open(const char* url);

  // The response's Content-Length.
  Status GetContentLength(int64_t& size) const;
  // The response's Last-Modified time, in UTC as the header states it.
  Status GetLastModified(SYSTEMTIME& utcTime) const;
  // Up to size bytes of the body; count is 0 at its end.
  Status Read(void* buffer, DWORD size, DWORD& count);
  // Up to size bytes of the body that have arrived already, without
  // waiting: count 0 says nothing about the body's end.
  Status ReadArrived(void* buffer, DWORD size, DWORD& count);

  // Closes request and connection, ignoring errors; the session stays.
  void Close();

 private:
  HINTERNET internet_;
  HINTERNET connection_;  // null while no request is open
  HINTERNET request_;     // null while no request is open
};
