// CInstallJob: the fixed order of an install job's stages. Download and
// Extract live in files of their own.
#include "install_job.h"

#include "install_package.h"
#include "platform_verdict.h"
#include "own_check.h"
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
  if (result == SUCCESS) result = VerifySignature();

  std::string extractionFolder;
  if (result == SUCCESS) result = Extract(packagePath.c_str(), extractionFolder);
  // The package is let go once unpacked: the work folder it lives in is
  // removed after the job.
  package_.reset();
  if (result == SUCCESS) {
    CInstallPackage package;
    package.Init(listener_, extractionFolder.c_str(), clsid, codebase, needVersion, timeStamp);
    package.SetJournalPath(JournalPath(workFolder_));
    result = package.Install();
  }
  if (!extractionFolder.empty()) RemoveDirectoryTree(extractionFolder.c_str());
  return result;
}

ResultCode CInstallJob::VerifySignature() {
  if (!package_) return DLL_INVALID_SIGNCODE;
  int32_t status = 0;
  const bool checked = VerifyPackageSignature(package_->Path().c_str(), package_->Handle(), status);
  if (SignatureVerdict(checked, status) != SUCCESS) return DLL_INVALID_SIGNCODE;
  // The platform's verdict is not the only guard: some platforms pass a
  // cabinet altered after signing, or a signer that chains to no trusted
  // root, and the cabinet reader must never see either. The engine's own
  // check judges the signature, the signer's chain and the build's pinned
  // publishers and whether a certificate has been revoked itself.
  return VerifySignedPackage(package_->Handle(), &package_->Digest(), cancelEvent_);
}

HANDLE CInstallJob::HeldPackage(const char* packagePath) const {
  if (package_ && packagePath != nullptr && package_->Path() == packagePath) return package_->Handle();
  return INVALID_HANDLE_VALUE;
}
