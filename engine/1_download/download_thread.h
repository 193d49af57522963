// CDownloadThread: the network side of one package download (the size
// probe, the transfer request and its reads) on a thread of its own, so
// that a player's cancel ends the download at once even while a server
// stalls.
//
// WinINet offers no way to end a call that waits on a silent server before
// its time-out: on Wine, closing the request handle from another thread
// only marks it invalid, and the connection is closed when the blocked call
// lets go of its reference (dlls/wininet/internet.c, WININET_Release). So
// the blocking calls run here, and the job's worker waits for their results
// or for the cancel event, whichever comes first. A thread the worker gives
// up on finishes alone: it makes no further request, stops at its next
// step, and holds a reference on the module that holds this code until it
// has ended, so the engine can be unloaded under it safely.
//
// The worker sees the same steps in the same order as if it made the calls
// itself: the probe's outcome, then (after Proceed) the transfer request's,
// then the body in chunks of 8192 bytes, all full but the last, and a read
// of nothing or a failed read at its end. The thread reads the network in
// larger pieces (see ReadBody). Reads run ahead of the worker by a bounded
// queue.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

class CHttpDownload;

class CDownloadThread {
 public:
  // One outcome, in the order the calls were made.
  struct Step {
    bool ok = false;
    int64_t size = 0;             // the probe: the package size
    bool hasLength = false;       // the request: Content-Length was readable
    int64_t announced = 0;        // the request: its Content-Length
    bool hasLastModified = false;  // the request: Last-Modified was readable
    SYSTEMTIME lastModified = {};  // in UTC
    DWORD count = 0;              // a read: bytes in data
    char data[8192];
  };

  // Starts the thread, which probes the size of url at once. Null when no
  // thread can be made.
  static CDownloadThread* Start(const char* url);

  // Lets the thread send the transfer request once the probe has succeeded.
  void Proceed();
  enum Wait { kStepTaken, kCancelled, kTimedOut };
  // Waits for the next step, until cancelEvent (may be null) is set or the
  // network time-out has passed. Wine lets some stalls outlast WinINet's
  // own time-out (headers cut short are waited on twice, then taken as
  // complete), so the wait has its own limit.
  Wait Next(HANDLE cancelEvent, std::unique_ptr<Step>& step);
  // The caller is done with the thread: it ends on its own once the call it
  // is in returns. The object must not be used afterwards.
  void Release();

 private:
  struct Shared;
  explicit CDownloadThread(Shared* shared) : shared_(shared) {}
  static DWORD WINAPI ThreadProc(LPVOID param);
  // The transfer's body, read in large pieces and queued in steps of
  // sizeof(Step::data) bytes, all full but the last.
  static void ReadBody(Shared& shared, CHttpDownload& http);

  Shared* shared_;  // owned jointly with the thread
};

// Holds a CDownloadThread for the length of a scope.
class CDownloadThreadHold {
 public:
  explicit CDownloadThreadHold(CDownloadThread* thread) : thread_(thread) {}
  ~CDownloadThreadHold() {
    if (thread_ != nullptr) thread_->Release();
  }
  CDownloadThreadHold(const CDownloadThreadHold&) = delete;
  CDownloadThreadHold& operator=(const CDownloadThreadHold&) = delete;
  CDownloadThread* operator->() const { return thread_; }
  CDownloadThread* get() const { return thread_; }

 private:
  CDownloadThread* thread_;
};
