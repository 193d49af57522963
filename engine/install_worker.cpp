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

}  // namespace

ResultCode RunInstallWorker(const char* clsid, const char* codebase, const char* needVersion,
                            IInstallProgress* listener, HANDLE cancelEvent) {
  CScopedComApartment apartment;
  std::string workFolder;
  if (!GetWorkFolderPath(workFolder)) return DLL_CANT_OPEN_WRITEFILE;

  CJobFolderLock lock(workFolder.c_str());
  // A job killed before its end may have left an install half done and
  // files in the work folder; neither may reach this job. An install that
  // cannot be undone yet stops every job before it downloads or changes
  // anything, so that the old version's files are never taken for
  // leftovers. Without the lock the journal may be a running job's own: it
  // is left alone.
  const bool recovered =
      !lock.IsHeld() || RecoverInterruptedInstall(CInstallJob::JournalPath(workFolder));
  RemoveDirectoryTree(workFolder.c_str());
  if (!recovered) return DLL_CANT_COPYFILE;
  EnsureDirectory(workFolder.c_str());
  CInstallJob job(workFolder.c_str(), listener, cancelEvent);
  ResultCode result = job.Run(clsid, codebase, needVersion);
  RemoveDirectoryTree(workFolder.c_str());
  return result;
}
