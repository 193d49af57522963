// The download stage of an install job: the package named by the codebase
// URL is fetched whole into the work folder.
#include <windows.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "download_thread.h"
#include "install_job.h"
#include "path_util.h"
#include "trusted_domain.h"

namespace {

const DWORD kChunkSize = sizeof(CDownloadThread::Step::data);
// The largest package the engine takes: sizes travel as 32-bit counts.
const int64_t kMaxPackageSize = 0x7FFFFFFF;
// What a download must leave free on the work folder's volume, which holds
// the player's system too.
const int64_t kFreeSpaceReserve = 64 * 1024 * 1024;

// Seconds since 1970 of a UTC time. Going through local time instead would
// put times of the hour that repeats when daylight saving ends an hour
// off. False when the time is not a valid date or lies outside a 32-bit
// time_t.
bool UtcTimeToUnixTime(const SYSTEMTIME& utcTime, int32_t& seconds) {
  FILETIME fileTime = {};
  if (!SystemTimeToFileTime(&utcTime, &fileTime)) return false;
  ULARGE_INTEGER ticks;
  ticks.LowPart = fileTime.dwLowDateTime;
  ticks.HighPart = fileTime.dwHighDateTime;
  const int64_t kUnixEpochTicks = 116444736000000000LL;  // 1970-01-01 in 100 ns since 1601
  const int64_t value = (static_cast<int64_t>(ticks.QuadPart) - kUnixEpochTicks) / 10000000;
  if (value < INT32_MIN || value > INT32_MAX) return false;
  seconds = static_cast<int32_t>(value);
  return true;
}

// The server's last-modification time, or now when it sent none that reads.
int32_t PackageTimeStamp(const CDownloadThread::Step& request) {
  int32_t seconds = 0;
  if (request.hasLastModified && UtcTimeToUnixTime(request.lastModified, seconds)) return seconds;
  return static_cast<int32_t>(std::time(nullptr));
}

}  // namespace

ResultCode CInstallJob::Download(const char* codebase, std::string& packagePath, int32_t& timeStamp) {
  const auto cancelled = [this] { return listener_ != nullptr && listener_->IsCancelled(); };
  if (listener_ != nullptr) listener_->OnPrepareDownload();
  if (codebase == nullptr) return COMMON_INVALID_PARAM;
  if (!IsTrustedCodebaseUrl(codebase)) return DLL_INVALID_DOMAIN;

  // Every network call is made by the download thread; each wait for one
  // ends at once when the player cancels, and with the failure of that
  // step when the server does not answer in time.
  CDownloadThreadHold network(CDownloadThread::Start(codebase));
  if (network.get() == nullptr) return DLL_CANT_CREATETHREAD;
  const auto next = [this, &network](ResultCode failure,
                                     std::unique_ptr<CDownloadThread::Step>& step) -> ResultCode {
    switch (network->Next(cancelEvent_, step)) {
      case CDownloadThread::kStepTaken: return step->ok ? SUCCESS : failure;
      case CDownloadThread::kCancelled: return DLL_USERCANCEL;
      default: return failure;
    }
  };
  std::unique_ptr<CDownloadThread::Step> probe;
  ResultCode result = next(DLL_CANT_GETFILESIZE, probe);
  if (result != SUCCESS) return result;
  const int64_t size = probe->size;
  // A size that no package has, or one the disk cannot take, ends the job
  // before the transfer is even asked for.
  if (size < 0 || size > kMaxPackageSize) return DLL_CANT_GETFILESIZE;
  if (cancelled()) return DLL_USERCANCEL;
  if (!LeavesFreeSpace(workFolder_.c_str(), size, kFreeSpaceReserve)) return DLL_CANT_WRITEFILE;
  if (listener_ != nullptr) listener_->OnStartDownload(static_cast<int32_t>(size));

  network->Proceed();
  std::unique_ptr<CDownloadThread::Step> request;
  result = next(DLL_CANT_OPENURL, request);
  if (result != SUCCESS) return result;
  // This response's own length, which may differ from the probed size.
  const bool hasLength = request->hasLength;
  const int64_t announced = request->announced;

  EnsureDirectory(workFolder_.c_str());
  packagePath = workFolder_ + "\\" + GetDownloadFileName(codebase);
  package_.reset(new CPackageFile);
  if (!package_->Create(packagePath.c_str())) return DLL_CANT_OPEN_WRITEFILE;

  int64_t received = 0;
  for (;;) {
    if (cancelled()) return DLL_USERCANCEL;
    std::unique_ptr<CDownloadThread::Step> read;
    result = next(DLL_CANT_READURL, read);
    if (result != SUCCESS) return result;
    const DWORD count = read->count;
    // The probe said how big the package is; a body that runs past that,
    // announced or not, is not the package and would fill the disk.
    if (count > size - received) return DLL_CANT_READURL;
    if (count > 0) {
      if (!package_->Write(reinterpret_cast<const BYTE*>(read->data), count))
        return DLL_CANT_WRITEFILE;
      received += count;
      if (listener_ != nullptr) listener_->OnDownloadProgress(static_cast<int32_t>(count));
    }
    if (count == kChunkSize) continue;
    // A short read ends the body, unless the response announced more: then
    // only a read of nothing tells that the connection has ended.
    if (count == 0 || !hasLength || received >= announced) break;
  }
  // A connection that drops before the announced length is a failed
  // download, not a package that later fails its signature check.
  if (hasLength && received < announced) return DLL_CANT_READURL;

  timeStamp = PackageTimeStamp(*request);
  if (listener_ != nullptr) listener_->OnDownloadComplete();
  return SUCCESS;
}
