// The worker body of one install job.
#include "install_worker.h"

#include <windows.h>

#include <objbase.h>

#include <string>

#include "file_install.h"
#include "install_job.h"
#include "install_journal.h"
#include "job_folder_lock.h"
#include "path_util.h"
#include "protected_folder.h"

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
  // Without the lock another job may be working in the folder: this one
  // touches nothing.
  CJobFolderLock lock;
  ResultCode result = lock.Acquire(cancelEvent, listener);
  if (result != SUCCESS) return result;
  // The files and the journal live on the downloaded controls' volume, in a
  // folder the engine trusts only while nobody but administrators can
  // write it; a job that cannot have it stops before any download.
  std::string jobFolder;
  if (!GetJobFolder(jobFolder)) return DLL_CANT_GET_OCCCACHE;
  if (!PrepareProtectedFolder(jobFolder)) return DLL_CANT_OPEN_WRITEFILE;
  const std::string workFolder = GetWorkFolderPath(jobFolder);
  // A job killed before its end may have left an install half done and
  // files in the work folder; neither may reach this job. An install that
  // cannot be undone yet stops every job before it downloads or changes
  // anything, so that the old version's files are never taken for
  // leftovers.
  const bool recovered = RecoverInterruptedInstall(CInstallJob::JournalPath(workFolder));
  RemoveDirectoryTree(workFolder.c_str());
  if (!recovered) return DLL_CANT_COPYFILE;
  if (!EnsureDirectory(workFolder.c_str())) return DLL_CANT_OPEN_WRITEFILE;
  CInstallJob job(workFolder.c_str(), listener, cancelEvent);
  result = job.Run(clsid, codebase, needVersion);
  RemoveDirectoryTree(workFolder.c_str());
  return result;
}
