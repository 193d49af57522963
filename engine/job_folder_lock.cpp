// CJobFolderLock: a file in the protected folder, opened for reading and
// writing with no sharing, which no other open of its data can pass.
#include "job_folder_lock.h"

#include "protected_folder.h"

namespace {

// A job that holds the lock longer than this has hung (a server's entry
// point that never returns); waiting on would keep the player's window up
// for nothing.
const DWORD kLockWaitMs = 10 * 60 * 1000;
// How often the lock is tried again, and a listener without a cancel event
// asked.
const DWORD kRetryMs = 100;

}  // namespace

std::string GetJobLockPath(const std::string& jobFolder) { return jobFolder + "\\~OVInstall.lock"; }

CJobFolderLock::CJobFolderLock(const std::string& jobFolder) : path_(GetJobLockPath(jobFolder)) {}

CJobFolderLock::~CJobFolderLock() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

ResultCode CJobFolderLock::Acquire(HANDLE cancelEvent, IInstallProgress* listener) {
  const DWORD start = GetTickCount();
  bool told = false, madeAnew = false;
  for (;;) {
    // The file stays between jobs. A link in its place is opened as a link
    // and never followed; the file's data is never used.
    file_ = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file_ != INVALID_HANDLE_VALUE) {
      if (IsOwnedByAdministrators(file_)) return SUCCESS;
      // Not made by a job: it goes, once, and a file of this job's takes
      // its place.
      CloseHandle(file_);
      file_ = INVALID_HANDLE_VALUE;
      if (madeAnew || !DeleteFileA(path_.c_str())) return DLL_CANT_OPEN_WRITEFILE;
      madeAnew = true;
      continue;
    }
    if (GetLastError() != ERROR_SHARING_VIOLATION) return DLL_CANT_OPEN_WRITEFILE;
    if (listener != nullptr && !told) listener->OnWaitForOtherInstall();
    told = true;
    if (cancelEvent == nullptr)
      Sleep(kRetryMs);
    else if (WaitForSingleObject(cancelEvent, kRetryMs) == WAIT_OBJECT_0)
      return DLL_USERCANCEL;
    if (listener != nullptr && listener->IsCancelled()) return DLL_USERCANCEL;
    if (GetTickCount() - start >= kLockWaitMs) return DLL_CANT_OPEN_WRITEFILE;
  }
}
