// install_job_bench CODEBASE CLSID NEEDVERSION RUNS
//
// Times whole install jobs of one package, run by hand on the Wine bench
// with the package server (bench/install_job.sh does all of it):
// - RUNS jobs through the engine's export InstallActiveX, from the call to
//   its return (OVSetupCore.dll is loaded once, beside this program);
// - RUNS jobs through the worker body with a listener that notes when each
//   stage ends: download, signature, extraction, install, clean-up.
// Prints the median of each, in milliseconds. Every job installs the same
// control again, as an update does.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "agent_clsid.h"
#include "bench_support.h"
#include "install_worker.h"

namespace {

double Now() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * counter.QuadPart / frequency.QuadPart;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Notes the time at each stage boundary.
class CStageClock : public CSilentListener {
 public:
  void OnInitSetup() override { start = Now(); }
  void OnDownloadComplete() override { downloaded = Now(); }
  void OnPrepareExtract() override { verified = Now(); }
  void OnExtractComplete() override { extracted = Now(); }

  double start = 0, downloaded = 0, verified = 0, extracted = 0;
};

typedef int32_t(__cdecl* InstallActiveXProc)(const GUID*, const char*, const char*, const char*);

void PrepareCacheFolder() {
  HKEY key;
  const char folder[] = "C:\\ovbench\\Downloaded Program Files";
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ActiveX Cache",
                      0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExA(key, "0", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder), sizeof folder);
  RegCloseKey(key);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: install_job_bench CODEBASE CLSID NEEDVERSION RUNS\n");
    return 2;
  }
  const char* codebase = argv[1];
  const char* clsid = argv[2];
  const char* need = argv[3];
  const int runs = std::max(1, std::atoi(argv[4]));
  PrepareCacheFolder();

  HMODULE engine = LoadLibraryA("OVSetupCore.dll");
  auto installActiveX = engine ? reinterpret_cast<InstallActiveXProc>(
                              reinterpret_cast<void*>(GetProcAddress(engine, "InstallActiveX")))
                        : nullptr;
  if (installActiveX == nullptr) {
    std::fprintf(stderr, "OVSetupCore.dll or its InstallActiveX not found\n");
    return 1;
  }
  std::vector<double> total;
  for (int i = 0; i < runs; ++i) {
    double begin = Now();
    int32_t result = installActiveX(&kAgentClsid, clsid, codebase, need);
    total.push_back(Now() - begin);
    if (result != 0) {
      std::fprintf(stderr, "InstallActiveX returned %d\n", result);
      return 1;
    }
  }
  FreeLibrary(engine);

  std::vector<double> startup, download, signature, extraction, install, whole;
  for (int i = 0; i < runs; ++i) {
    CStageClock clock;
    double begin = Now();
    int32_t result = RunInstallWorker(clsid, codebase, need, &clock);
    double end = Now();
    if (result != 0) {
      std::fprintf(stderr, "job returned %d\n", result);
      return 1;
    }
    download.push_back(clock.downloaded - clock.start);
    signature.push_back(clock.verified - clock.downloaded);
    extraction.push_back(clock.extracted - clock.verified);
    // Install, then removal of the extraction and work folders.
    install.push_back(end - clock.extracted);
    // COM, the work folder's lock and the folder itself.
    startup.push_back(clock.start - begin);
    whole.push_back(end - begin);
  }
  std::printf("package %s, %d runs, medians in ms\n", codebase, runs);
  std::printf("InstallActiveX call to return: %.1f\n", Median(total));
  std::printf("worker body: %.1f = start %.1f + download %.1f + signature %.1f + extraction %.1f"
              " + install and clean-up %.1f\n",
              Median(whole), Median(startup), Median(download), Median(signature),
              Median(extraction), Median(install));
  return 0;
}
