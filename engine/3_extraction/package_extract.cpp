// The extraction stage of an install job: count the package's files for the
// listener, then unpack them into "<package>_Extract" beside the package.
#include <string>

#include "cabinet_counter.h"
#include "cabinet_extractor.h"
#include "install_job.h"
#include "path_util.h"

ResultCode CInstallJob::Extract(const char* packagePath, std::string& extractionFolder) {
  if (listener_ != nullptr) listener_->OnPrepareExtract();
  if (packagePath == nullptr) return COMMON_INVALID_PARAM;

  // The counting pass serves only the listener's progress figures.
  if (listener_ != nullptr) {
    int32_t fileCount = 0;
    int32_t totalBytes = 0;
    {
      CCabinetCounter counter;
      if (!counter.Open(packagePath, HeldPackage(packagePath))) return DLL_CANT_OPEN_EXTRACTFILE;
      if (!counter.Count(fileCount, totalBytes)) return DLL_CANT_ANALYZE_CABFILECOUNT;
    }
    listener_->OnStartExtract(fileCount, totalBytes);
  }

  CCabinetExtractor extractor(listener_);
  if (!extractor.Open(packagePath, HeldPackage(packagePath))) return DLL_CANT_OPEN_EXTRACTFILE;
  extractionFolder = std::string(packagePath) + "_Extract";
  EnsureDirectory(extractionFolder.c_str());
  const ResultCode result = extractor.ExtractTo(extractionFolder.c_str());
  if (result != SUCCESS) return result;
  if (listener_ != nullptr) listener_->OnExtractComplete();
  return SUCCESS;
}
