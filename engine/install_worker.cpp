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

// A link planted in place of one of the job's own names in its folder goes
// as a link; false when the platform cannot remove it (Wine removes none
// through Windows calls): the job then ends before any request, so that
// nothing is read, written or moved through it.
bool RemoveLinkAt(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return true;
  return RemoveDirectoryTree(path.c_str()) && !MayExist(path.c_str());
}

}  // namespace

ResultCode RunInstallWorker(const char* clsid, const char* codebase, const char* needVersion,
                            IInstallProgress* listener, HANDLE cancelEvent) {
  CScopedComApartment apartment;
  // The files, the journal and the jobs' lock live on the downloaded
  // controls' volume, in a folder the engine trusts only while nobody but
  // administrators can write it; a job that cannot have it stops before
  // any download.
  std::string jobFolder;
  if (!GetJobFolder(jobFolder)) return DLL_CANT_GET_OCCCACHE;
  if (!PrepareProtectedFolder(jobFolder)) return DLL_CANT_OPEN_WRITEFILE;
  // Without the lock another job may be working in the folder: this one
  // touches nothing else there.
  CJobFolderLock lock(jobFolder);
  ResultCode result = lock.Acquire(cancelEvent, listener);
  if (result != SUCCESS) return result;
  const std::string workFolder = GetWorkFolderPath(jobFolder);
  const std::string journal = CInstallJob::JournalPath(workFolder);
  if (!RemoveLinkAt(journal) || !RemoveLinkAt(RejectedJournalPath(journal)) ||
      !RemoveLinkAt(workFolder))
    return DLL_CANT_OPEN_WRITEFILE;
  // A job killed before its end may have left an install half done and
  // files in the work folder; neither may reach this job. An install that
  // cannot be undone yet stops every job before it downloads or changes
  // anything, so that the old version's files are never taken for
  // leftovers.
  const bool recovered = RecoverInterruptedInstall(journal);
  const bool cleared = RemoveDirectoryTree(workFolder.c_str());
  if (!recovered) return DLL_CANT_COPYFILE;
  if (!cleared || !EnsureDirectory(workFolder.c_str()) || !IsPlainFolder(workFolder.c_str()))
    return DLL_CANT_OPEN_WRITEFILE;
  CInstallJob job(workFolder.c_str(), listener, cancelEvent);
  result = job.Run(clsid, codebase, needVersion);
  RemoveDirectoryTree(workFolder.c_str());
  return result;
}
