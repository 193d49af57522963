// CJobFolderLock: a named mutex per work folder.
#include "job_folder_lock.h"

#include <string>

namespace {

// One name per folder, whatever the letter case or separator: mutex names
// may not contain "\".
std::string MutexNameFor(const char* workFolder) {
  std::string name = std::string("OVSetupCore.JobFolder:") + workFolder;
  for (char& c : name)
    if (c == '\\') c = '/';
  CharLowerBuffA(&name[0], static_cast<DWORD>(name.size()));
  return name;
}

}  // namespace

CJobFolderLock::CJobFolderLock(const char* workFolder) {
  std::string name = MutexNameFor(workFolder);
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
  // Creating asks for full access to an existing mutex; when a process of
  // other rights made it, waiting and releasing may still be granted.
  if (mutex == nullptr)
    mutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str());
  if (mutex == nullptr) return;
  DWORD wait = WaitForSingleObject(mutex, INFINITE);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
    CloseHandle(mutex);
    return;
  }
  mutex_ = mutex;
}

CJobFolderLock::~CJobFolderLock() {
  if (mutex_ == nullptr) return;
  ReleaseMutex(mutex_);
  CloseHandle(mutex_);
}
