// CJobFolderLock: the one lock of install jobs on this machine. Every job,
// of any user or session, works in the same machine-wide folder and keeps
// its journal there, and the files and records it changes are
// machine-wide too, so jobs take turns: a job touches no folder before it
// holds the lock.
#pragma once

#include <windows.h>

#include "install_progress.h"
#include "result_code.h"

class CJobFolderLock {
 public:
  CJobFolderLock() = default;
  ~CJobFolderLock();  // releases and closes the mutex
  CJobFolderLock(const CJobFolderLock&) = delete;
  CJobFolderLock& operator=(const CJobFolderLock&) = delete;

  // Waits until no other job holds the lock, then holds it. A lock that a
  // job left by ending without releasing it is taken over. The wait ends
  // with DLL_USERCANCEL as soon as cancelEvent (may be null) is set or the
  // listener (may be null) answers IsCancelled with true, and with
  // DLL_CANT_OPEN_WRITEFILE when the lock cannot be had at all or another
  // job keeps it for longer than any install takes.
  ResultCode Acquire(HANDLE cancelEvent, IInstallProgress* listener);

 private:
  HANDLE mutex_ = nullptr;  // owned; held (acquired) once Acquire succeeded
  bool held_ = false;
};
