// CSizeProbe: learns a package's size from the Content-Length of a plain
// HTTP/1.0 GET whose body is never read, through WinHTTP.
//
// The probe goes through WinHTTP, not WinINet like the transfer, because
// of how each lets go of an unread body. Wine's WinINet, when a request
// handle is closed, reads the rest of the body off the socket so that the
// connection could be kept (HTTPREQ_CloseConnection -> drain_content ->
// netconn_drain_content in dlls/wininet/http.c), whatever the request
// asked for: for a large package that costs as long as the transfer
// itself. Closing a WinHTTP request drops the connection at once, as
// closing a WinINet request does on Windows. The server sees the same
// request either way: GET, HTTP/1.0, no Range, redirects not followed,
// through the proxy the browser is set to use.
//
// One thread (the owner) makes the probe; any other thread may call Abort
// while it runs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "critical_section.h"

// As both winhttp.h and wininet.h declare it; the two headers cannot meet
// in one file, and callers split URLs with WinINet.
typedef LPVOID HINTERNET;

class CSizeProbe {
 public:
  // Connecting may take kConnectTimeoutMs; sending and each wait for the
  // response kSendTimeoutMs and kReceiveTimeoutMs.
  static const DWORD kConnectTimeoutMs = 10000;
  static const DWORD kSendTimeoutMs = 30000;
  static const DWORD kReceiveTimeoutMs = 30000;

  // Opens the WinHTTP session with the browser's proxy settings, named
  // for the engine module. A session that cannot be opened makes every
  // GetSize false.
  CSizeProbe();
  ~CSizeProbe();  // closes request, connection and session
  CSizeProbe(const CSizeProbe&) = delete;
  CSizeProbe& operator=(const CSizeProbe&) = delete;

  // The Content-Length announced for a GET of path (with its query) from
  // the http server host:port, in bytes. False, with size untouched, when
  // the server cannot be reached, the status is neither 200 nor 206
  // (redirects included), the length is missing or not a byte count, or
  // Abort was called. Called once per object, by its owner.
  bool GetSize(const std::string& host, WORD port, const std::string& path, int64_t& size);

  // Any thread: closes the request, so that GetSize returns false. A
  // GetSize not yet begun fails at once, sending nothing. One blocked on
  // the network returns at once on Windows; Wine 8's WinHTTP keeps the
  // closed request until its call ends, at the latest at its time-out.
  void Abort();

 private:
  // The request GetSize sends; null when it cannot be made or was aborted.
  HINTERNET OpenRequest(const std::string& host, WORD port, const std::string& path);
  void CloseRequest();

  HINTERNET session_;     // owner thread only
  HINTERNET connection_;  // owner thread only
  CCriticalSection lock_;
  HINTERNET request_;     // guarded by lock_; closed by the owner or by Abort
  bool aborted_;          // guarded by lock_
};
