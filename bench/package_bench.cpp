// Package benchmark: one package through the first three stages of an
// install job, with no listener: download, signature check, extraction.
// The signature stage is WinVerifyTrust and the engine's own check, whose
// digest is made while the package downloads.
//   package_bench.exe URL WORKFOLDER
// Prints one line:
//   "download_seconds=S signature_seconds=S extract_seconds=S
//    total_seconds=S peak_working_set_kib=K peak_private_kib=P"
#include <windows.h>
#include <objbase.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "bench_support.h"
#include "install_job.h"
#include "path_util.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: package_bench URL WORKFOLDER\n");
    return 2;
  }
  CoInitialize(nullptr);
  EnsureDirectory(argv[2]);
  double downloadSeconds = 0, signatureSeconds = 0, extractSeconds = 0;
  ResultCode result = SUCCESS;
  {
    // The job holds the package open until it goes.
    CInstallJob job(argv[2], nullptr);
    auto start = std::chrono::steady_clock::now();
    std::string packagePath;
    int32_t timeStamp = 0;
    result = job.Download(argv[1], packagePath, timeStamp);
    downloadSeconds = SecondsSince(start);

    start = std::chrono::steady_clock::now();
    if (result == SUCCESS) result = job.VerifySignature();
    signatureSeconds = SecondsSince(start);

    start = std::chrono::steady_clock::now();
    std::string folder;
    if (result == SUCCESS) result = job.Extract(packagePath.c_str(), folder);
    extractSeconds = SecondsSince(start);
  }
  RemoveDirectoryTree(argv[2]);
  CoUninitialize();
  if (result != SUCCESS) {
    std::fprintf(stderr, "package failed: %d\n", static_cast<int>(result));
    return 1;
  }
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  std::printf("download_seconds=%.3f signature_seconds=%.3f extract_seconds=%.3f "
              "total_seconds=%.3f peak_working_set_kib=%llu peak_private_kib=%llu\n",
              downloadSeconds, signatureSeconds, extractSeconds,
              downloadSeconds + signatureSeconds + extractSeconds,
              static_cast<unsigned long long>(memory.PeakWorkingSetSize / 1024),
              static_cast<unsigned long long>(memory.PeakPagefileUsage / 1024));
  return 0;
}
