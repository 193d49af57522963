// The download stage of an install job: the package named by the codebase
// URL is fetched whole into the work folder.
#include <windows.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "http_download.h"
#include "install_job.h"
#include "local_file.h"
#include "path_util.h"
#include "trusted_domain.h"
#include "url_size_cache.h"

namespace {

const DWORD kChunkSize = 8192;

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
int32_t PackageTimeStamp(const CHttpDownload& http) {
  SYSTEMTIME utcTime = {};
  int32_t seconds = 0;
  if (http.GetLastModified(utcTime) == CHttpDownload::kOk && UtcTimeToUnixTime(utcTime, seconds))
    return seconds;
  return static_cast<int32_t>(std::time(nullptr));
}

}  // namespace

ResultCode CInstallJob::Download(const char* codebase, std::string& packagePath, int32_t& timeStamp) {
  const auto cancelled = [this] { return listener_ != nullptr && listener_->IsCancelled() != 0; };
  if (listener_ != nullptr) listener_->OnPrepareDownload();
  if (codebase == nullptr) return COMMON_INVALID_PARAM;
  if (!IsTrustedCodebaseUrl(codebase)) return DLL_INVALID_DOMAIN;

  int64_t size = 0;
  if (!GetUrlSize(codebase, size)) return DLL_CANT_GETFILESIZE;
  if (cancelled()) return DLL_USERCANCEL;
  if (listener_ != nullptr) listener_->OnStartDownload(static_cast<int32_t>(size));

  CHttpDownload http;
  if (http.Open(codebase) != CHttpDownload::kOk) return DLL_CANT_OPENURL;
  // This response's own length, which may differ from the cached size.
  int64_t announced = 0;
  const bool hasLength = http.GetContentLength(announced) == CHttpDownload::kOk;

  EnsureDirectory(workFolder_.c_str());
  packagePath = workFolder_ + "\\" + GetDownloadFileName(codebase);
  CLocalFile file;
  if (!file.Open(packagePath.c_str(), CLocalFile::CreateForWrite, FILE_ATTRIBUTE_NORMAL))
    return DLL_CANT_OPEN_WRITEFILE;

  char buffer[kChunkSize];
  int64_t received = 0;
  for (;;) {
    if (cancelled()) return DLL_USERCANCEL;
    DWORD count = 0;
    if (http.Read(buffer, kChunkSize, count) != CHttpDownload::kOk) return DLL_CANT_READURL;
    if (count > 0) {
      if (!file.Write(buffer, count)) return DLL_CANT_WRITEFILE;
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

  file.Close();
  timeStamp = PackageTimeStamp(http);
  if (listener_ != nullptr) listener_->OnDownloadComplete();
  return SUCCESS;
}
