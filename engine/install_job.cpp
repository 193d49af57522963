// CInstallJob: the fixed order of an install job's stages. Download and
// Extract live in files of their own.
#include "install_job.h"

#include "install_package.h"
#include "package_signature.h"
#include "package_signer.h"
#include "path_util.h"

CInstallJob::CInstallJob(const char* workFolder, IInstallProgress* listener, HANDLE cancelEvent)
    : workFolder_(workFolder ? workFolder : ""), listener_(listener), cancelEvent_(cancelEvent) {}

CInstallJob::~CInstallJob() = default;

ResultCode CInstallJob::Run(const char* clsid, const char* codebase, const char* needVersion) {
  if (listener_) listener_->OnInitSetup();
  if (codebase == nullptr) return COMMON_INVALID_PARAM;

  std::string packagePath;
  int32_t timeStamp = 0;
  ResultCode result = Download(codebase, packagePath, timeStamp);
  if (result != SUCCESS) return result;

  // Only a negative status is a verdict against the package; a check that
  // could not be made lets the job go on.
  int32_t status = 0;
  if (VerifyPackageSignature(packagePath.c_str(), status) && status < 0)
    return DLL_INVALID_SIGNCODE;
  // The platform's verdict is not the only guard: some platforms pass a
  // cabinet altered after signing, and the cabinet reader must never see
  // one. The engine's own check also applies the build's pinned publishers.
  if (!VerifySignedPackage(packagePath.c_str())) return DLL_INVALID_SIGNCODE;

  std::string extractionFolder;
  result = Extract(packagePath.c_str(), extractionFolder);
  if (result == SUCCESS) {
    CInstallPackage package;
    package.Init(listener_, extractionFolder.c_str(), clsid, codebase, needVersion, timeStamp);
    package.SetJournalPath(JournalPath(workFolder_));
    result = package.Install();
  }
  if (!extractionFolder.empty()) RemoveDirectoryTree(extractionFolder.c_str());
  return result;
}
