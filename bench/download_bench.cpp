// Download stage benchmark: fetches one URL with CInstallJob::Download, no
// listener, and prints the time taken and the process's peak memory. The
// size probe is timed on its own first; the download then finds the size
// in the cache and makes only the transfer request.
//   download_bench.exe URL WORKFOLDER
// Prints one line:
//   "bytes=N probe_seconds=S transfer_seconds=S peak_working_set_kib=K peak_private_kib=P".
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "bench_support.h"
#include "install_job.h"
#include "path_util.h"
#include "url_size_cache.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: download_bench URL WORKFOLDER\n");
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  int64_t size = 0;
  if (!GetUrlSize(argv[1], size)) {
    std::fprintf(stderr, "size probe failed\n");
    return 1;
  }
  const double probeSeconds = SecondsSince(start);

  CInstallJob job(argv[2], nullptr);
  std::string packagePath;
  int32_t timeStamp = 0;
  start = std::chrono::steady_clock::now();
  const ResultCode result = job.Download(argv[1], packagePath, timeStamp);
  const double transferSeconds = SecondsSince(start);
  if (result != SUCCESS) {
    std::fprintf(stderr, "download failed: %d\n", static_cast<int>(result));
    return 1;
  }

  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExA(packagePath.c_str(), GetFileExInfoStandard, &data);
  const unsigned long long bytes = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  std::printf("bytes=%llu probe_seconds=%.3f transfer_seconds=%.3f peak_working_set_kib=%llu peak_private_kib=%llu\n",
              bytes, probeSeconds, transferSeconds,
              static_cast<unsigned long long>(memory.PeakWorkingSetSize / 1024),
              static_cast<unsigned long long>(memory.PeakPagefileUsage / 1024));
  RemoveDirectoryTree(argv[2]);
  return 0;
}
