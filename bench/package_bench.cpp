// Package benchmark: one package through the first three stages of an
// install job, with no listener: download, signature check, extraction.
// The signature stage is timed in its two parts: WinVerifyTrust (verify)
// and the engine's own check (signer).
//   package_bench.exe URL WORKFOLDER
// Prints one line:
//   "download_seconds=S verify_seconds=S signer_seconds=S extract_seconds=S
//    total_seconds=S peak_working_set_kib=K peak_private_kib=P"
#include <windows.h>
#include <objbase.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "bench_support.h"
#include "install_job.h"
#include "package_signature.h"
#include "package_signer.h"
#include "path_util.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: package_bench URL WORKFOLDER\n");
    return 2;
  }
  CoInitialize(nullptr);
  EnsureDirectory(argv[2]);
  CInstallJob job(argv[2], nullptr);

  auto start = std::chrono::steady_clock::now();
  std::string packagePath;
  int32_t timeStamp = 0;
  ResultCode result = job.Download(argv[1], packagePath, timeStamp);
  const double downloadSeconds = SecondsSince(start);

  start = std::chrono::steady_clock::now();
  int32_t status = -1;
  if (result == SUCCESS && VerifyPackageSignature(packagePath.c_str(), status) && status < 0)
    result = DLL_INVALID_SIGNCODE;
  const double verifySeconds = SecondsSince(start);

  start = std::chrono::steady_clock::now();
  if (result == SUCCESS && !VerifySignedPackage(packagePath.c_str())) result = DLL_INVALID_SIGNCODE;
  const double signerSeconds = SecondsSince(start);

  start = std::chrono::steady_clock::now();
  std::string folder;
  if (result == SUCCESS) result = job.Extract(packagePath.c_str(), folder);
  const double extractSeconds = SecondsSince(start);

  RemoveDirectoryTree(argv[2]);
  CoUninitialize();
  if (result != SUCCESS) {
    std::fprintf(stderr, "package failed: %d\n", static_cast<int>(result));
    return 1;
  }
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  std::printf("download_seconds=%.3f verify_seconds=%.3f signer_seconds=%.3f extract_seconds=%.3f "
              "total_seconds=%.3f peak_working_set_kib=%llu peak_private_kib=%llu\n",
              downloadSeconds, verifySeconds, signerSeconds, extractSeconds,
              downloadSeconds + verifySeconds + signerSeconds + extractSeconds,
              static_cast<unsigned long long>(memory.PeakWorkingSetSize / 1024),
              static_cast<unsigned long long>(memory.PeakPagefileUsage / 1024));
  return 0;
}
