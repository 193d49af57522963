// CInstallJob: one install, from the package's URL to its result code, run
// on the worker thread in fixed stages: download, signature, extraction,
// install. Each stage reports through the listener and polls its
// IsCancelled; the first failing stage ends the job.
#pragma once

#include <windows.h>

#include <ctime>
#include <memory>
#include <string>

#include "install_progress.h"
#include "package_file.h"
#include "path_util.h"
#include "result_code.h"

class CInstallJob {
 public:
  // workFolder: the job's private folder, without trailing separator.
  // listener may be null; it is not owned.
  // cancelEvent (not owned, may be null) is set when the player cancels:
  // a wait on the network ends at once, where polls would wait for it.
  CInstallJob(const char* workFolder, IInstallProgress* listener, HANDLE cancelEvent = nullptr);
  virtual ~CInstallJob();
  CInstallJob(const CInstallJob&) = delete;
  CInstallJob& operator=(const CInstallJob&) = delete;

  // The whole job. Note the order: the codebase comes first.
  ResultCode Run(const char* clsid, const char* codebase, const char* needVersion);

  // Fetches codebase into the work folder. packagePath: the local file,
  // which the job holds open (see CPackageFile) until it is destroyed or
  // the next download; timeStamp: the server's Last-Modified time, or now
  // when it sent none.
  ResultCode Download(const char* codebase, std::string& packagePath, int32_t& timeStamp);

  // The install stage's journal beside the work folder, where the next job
  // finds it when this one is killed.
  static std::string JournalPath(const std::string& workFolder) {
    return GetJournalPath(workFolder);
  }

  // Unpacks the package into "<packagePath>_Extract", read through the
  // handle that the download holds when packagePath is its file.
  ResultCode Extract(const char* packagePath, std::string& extractionFolder);

  // The signature stage on the downloaded package: 0 when Windows' verdict
  // is clean and the engine's own check passes; DLL_USERCANCEL when the
  // player cancels while revocation lists are fetched; else
  // DLL_INVALID_SIGNCODE.
  ResultCode VerifySignature();

 private:
  HANDLE HeldPackage(const char* packagePath) const;

  std::string workFolder_;
  std::unique_ptr<CPackageFile> package_;  // the last download's file; null before one
  IInstallProgress* listener_;  // not owned; every call is skipped when null
  HANDLE cancelEvent_;          // not owned; may be null
};
