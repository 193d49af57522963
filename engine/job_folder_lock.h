// CJobFolderLock: the one lock of install jobs on this machine. Every job,
// of any user or session, works in the same machine-wide folder and keeps
// its journal there, and the files and records it changes are
// machine-wide too, so jobs take turns: a job touches nothing in the folder
// but the lock before it holds the lock.
//
// The lock is a file in that folder, opened with no sharing. Only
// administrators and the system may create or open anything there, so no
// other program can make the lock first or hold it; a job that ends without
// releasing it (killed) lets go of it with its process.
#pragma once

#include <windows.h>

#include <string>

#include "install_progress.h"
#include "result_code.h"

// The lock's file in jobFolder. It stays there between jobs.
std::string GetJobLockPath(const std::string& jobFolder);

class CJobFolderLock {
 public:
  // jobFolder: the protected folder, prepared before the lock is taken.
  explicit CJobFolderLock(const std::string& jobFolder);
  ~CJobFolderLock();  // closes the file, which releases the lock
  CJobFolderLock(const CJobFolderLock&) = delete;
  CJobFolderLock& operator=(const CJobFolderLock&) = delete;

  // Waits until no other job holds the lock, then holds it. The listener
  // (may be null) hears OnWaitForOtherInstall once when another job holds
  // it. The wait ends with DLL_USERCANCEL as soon as cancelEvent (may be
  // null) is set or the listener answers IsCancelled with true, and with
  // DLL_CANT_OPEN_WRITEFILE when the lock cannot be had at all or another
  // job keeps it for longer than any install takes.
  ResultCode Acquire(HANDLE cancelEvent, IInstallProgress* listener);

 private:
  std::string path_;
  HANDLE file_ = INVALID_HANDLE_VALUE;  // owned; the lock while open
};
