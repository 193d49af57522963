// The worker body of one install job.
#include "install_worker.h"

#include <windows.h>

#include <objbase.h>

#include <string>

#include "install_job.h"
#include "install_journal.h"
#include "job_folder_lock.h"
#include "path_util.h"

namespace {

const char kWorkFolderName[] = "\\~OVControlDownload";

// Initialises COM as a single-threaded apartment on this thread for the
// life of the object.
class CScopedComApartment {
 public:
  CScopedComApartment() : initialized_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~CScopedComApartment() {
    if (initialized_) CoUninitialize();
  }
  CScopedComApartment(const CScopedComApartment&) = delete;
  CScopedComApartment& operator=(const CScopedComApartment&) = delete;

 private:
  bool initialized_;
};

// "<temporary folder>\~OVControlDownload"; false when the temporary folder
// does not fit its buffer, since an empty one would put the work folder at
// the root of the current drive.
bool GetWorkFolderPath(std::string& workFolder) {
  char temp[MAX_PATH];
  DWORD length = GetTempPathA(MAX_PATH, temp);
  if (length == 0 || length >= MAX_PATH) return false;
  workFolder = WithoutTrailingSlashes(temp);
  if (workFolder.empty()) return false;
  workFolder += kWorkFolderName;
  return true;
}

}  // namespace

ResultCode RunInstallWorker(const char* clsid, const char* codebase, const char* needVersion,
                            IInstallProgress* listener, HANDLE cancelEvent) {
  CScopedComApartment apartment;
  std::string workFolder;
  if (!GetWorkFolderPath(workFolder)) return DLL_CANT_OPEN_WRITEFILE;

  CJobFolderLock lock(workFolder.c_str());
  // A job killed before its end may have left an install half done and
  // files in the work folder; neither may reach this job. Without the lock
  // the journal may be a running job's own: it is left alone.
  if (lock.IsHeld()) RecoverInterruptedInstall(CInstallJob::JournalPath(workFolder));
  RemoveDirectoryTree(workFolder.c_str());
  EnsureDirectory(workFolder.c_str());
  CInstallJob job(workFolder.c_str(), listener, cancelEvent);
  ResultCode result = job.Run(clsid, codebase, needVersion);
  RemoveDirectoryTree(workFolder.c_str());
  return result;
}
