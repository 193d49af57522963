// CJobFolderLock: holds one install job's work folder for the length of the
// job, across threads and processes. Every job of a user works in the same
// folder under the user's temporary folder and removes it at its end, so a
// second job that ran meanwhile would lose its files.
#pragma once

#include <windows.h>

class CJobFolderLock {
 public:
  // Waits until no other job holds workFolder, then holds it. A mutex that
  // another process left behind by ending without releasing it is taken
  // over. When no mutex can be had at all the lock holds nothing and the
  // job runs unguarded, as it would have without it.
  explicit CJobFolderLock(const char* workFolder);
  ~CJobFolderLock();  // releases and closes the mutex
  CJobFolderLock(const CJobFolderLock&) = delete;
  CJobFolderLock& operator=(const CJobFolderLock&) = delete;

  bool IsHeld() const { return mutex_ != nullptr; }

 private:
  HANDLE mutex_ = nullptr;  // owned; held (acquired) whenever non-null
};
