// CJobFolderLock: one named mutex in the global namespace, which every
// session sees.
#include "job_folder_lock.h"

#include "security_descriptor.h"

namespace {

const char kMutexName[] = "Global\\OVSetupCore.Install";
// Only administrators and the system may open it: nobody else can take the
// lock and hold every install up. Jobs run as one of the two.
const char kMutexSddl[] = "D:P(A;;GA;;;BA)(A;;GA;;;SY)";
// A job that holds the lock longer than this has hung (a server's entry
// point that never returns); waiting on would keep the player's window up
// for nothing.
const DWORD kLockWaitMs = 10 * 60 * 1000;
// How often a listener without a cancel event is asked.
const DWORD kCancelPollMs = 100;

}  // namespace

ResultCode CJobFolderLock::Acquire(HANDLE cancelEvent, IInstallProgress* listener) {
  if (mutex_ == nullptr) {
    CSecurityDescriptor descriptor(kMutexSddl);
    if (descriptor.Get() == nullptr) return DLL_CANT_OPEN_WRITEFILE;
    SECURITY_ATTRIBUTES attributes = descriptor.Attributes();
    mutex_ = CreateMutexA(&attributes, FALSE, kMutexName);
    // Creating asks for full access to a mutex that exists already; waiting
    // and releasing are all a job needs.
    if (mutex_ == nullptr) mutex_ = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kMutexName);
    if (mutex_ == nullptr) return DLL_CANT_OPEN_WRITEFILE;
  }
  const HANDLE handles[] = {mutex_, cancelEvent};
  const DWORD count = cancelEvent != nullptr ? 2 : 1;
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD wait = WaitForMultipleObjects(count, handles, FALSE, kCancelPollMs);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED_0) {
      held_ = true;
      return SUCCESS;
    }
    if (wait == WAIT_OBJECT_0 + 1) return DLL_USERCANCEL;
    if (wait != WAIT_TIMEOUT) return DLL_CANT_OPEN_WRITEFILE;
    if (listener != nullptr && listener->IsCancelled()) return DLL_USERCANCEL;
    if (GetTickCount() - start >= kLockWaitMs) return DLL_CANT_OPEN_WRITEFILE;
  }
}

CJobFolderLock::~CJobFolderLock() {
  if (mutex_ == nullptr) return;
  if (held_) ReleaseMutex(mutex_);
  CloseHandle(mutex_);
}
