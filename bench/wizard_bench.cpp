// Setup wizard benchmark: the cost of the window's progress reporting.
// Installs one package four times per round, the wizard's run first (each
// run writes some 300 MiB, and a later run of a round may pay for the
// earlier ones' writeback): with the wizard on screen, with no listener,
// with a
// listener that ignores every call (the work a job does only for a
// listener, such as counting the cabinet's files), and with the wizard on
// screen; prints the times and the wizard's overhead over both.
//   wizard_bench.exe URL CLSID VERSION ROUNDS
//   wizard_bench.exe --calls N      the reporting alone: N download chunks
//                                   reported to the wizard at 40 MiB/s; prints
//                                   "calls=N window_seconds=S cpu_seconds=S"
//                                   (the window's whole life, and the
//                                   processor time of all its threads)
//   wizard_bench.exe --region       time to cut the window's outline from its
//                                   background: "region_ms=M"
// Prints one line per round and a summary:
//   "round=R null_seconds=S silent_seconds=S wizard_seconds=S overhead=P% over_silent=P%
//    null_cpu=S wizard_cpu=S wizard_job_seconds=S" (processor time of this
//    process; the job's own time on the wizard's worker; the job on a
//    worker thread without the window, and its result)
//   "median_overhead=P% median_over_silent=P% results=C,C,C"
//   "best_null=S best_silent=S best_wizard=S best_overhead=P%"
// On a shared machine the best of several rounds is the figure to trust:
// other work only ever adds time.
#include <windows.h>

#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench_support.h"
#include "bitmap_region.h"
#include "install_worker.h"
#include "resource.h"
#include "resource_module.h"
#include "setup_dlg.h"

namespace {

// The browser's download cache setting and usage keys that installs need.
void PrepareRegistry() {
  const char* cache = "C:\\ovbench\\Downloaded Program Files";
  HKEY key;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                  "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ActiveX Cache",
                  0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  RegSetValueExA(key, "0", 0, REG_SZ, reinterpret_cast<const BYTE*>(cache),
                 static_cast<DWORD>(strlen(cache) + 1));
  RegCloseKey(key);
  for (const char* path : {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage",
                           "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls"}) {
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    RegCloseKey(key);
  }
}

int gCalls = 0;
double gCallSeconds = 0;

ResultCode ReportChunks(const char*, const char*, const char*, IInstallProgress* listener, HANDLE) {
  listener->OnStartDownload(gCalls * 8192);
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < gCalls; ++i) {
    if (listener->IsCancelled()) return DLL_USERCANCEL;
    listener->OnDownloadProgress(8192);
    // A download's pace: 50 chunks (400 KiB) every 10 ms.
    if (i % 50 == 49) Sleep(10);
  }
  gCallSeconds = SecondsSince(start);
  return SUCCESS;
}

// Processor time of the whole process (all threads, user and kernel).
double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return ((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

// The job on a worker thread of its own, in an apartment as the wizard's
// worker has, with a silent listener: the wizard's threading without its
// window.
struct ThreadedJob {
  const char *url, *clsid, *version;
  ResultCode result;
};
DWORD WINAPI RunThreadedJob(LPVOID param) {
  auto* job = static_cast<ThreadedJob*>(param);
  CoInitialize(nullptr);
  CSilentListener silent;
  job->result = RunInstallWorker(job->clsid, job->url, job->version, &silent);
  CoUninitialize();
  return 0;
}

// The install job as the wizard runs it, timed on its worker.
double gJobSeconds = 0;
ResultCode TimedInstallWorker(const char* clsid, const char* codebase, const char* version,
                              IInstallProgress* listener, HANDLE cancelEvent) {
  auto start = std::chrono::steady_clock::now();
  ResultCode result = RunInstallWorker(clsid, codebase, version, listener, cancelEvent);
  gJobSeconds = SecondsSince(start);
  return result;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--region") == 0) {
    HBITMAP background = LoadBitmapA(GetResourceModule(), MAKEINTRESOURCEA(IDB_BACKGROUND));
    auto start = std::chrono::steady_clock::now();
    HRGN region = CBitmapRegion::BuildRegion(background, RGB(255, 0, 255));
    std::printf("region_ms=%.1f\n", 1e3 * SecondsSince(start));
    DeleteObject(region);
    DeleteObject(background);
    return 0;
  }
  if (argc == 3 && strcmp(argv[1], "--calls") == 0) {
    gCalls = atoi(argv[2]);
    auto start = std::chrono::steady_clock::now();
    double cpu = ProcessCpuSeconds();
    CSetupDlg dialog(&ReportChunks);
    ResultCode result = dialog.RunSetup("{x}", "http://cdn.ovelin.net/a.cab", "");
    std::printf("calls=%d window_seconds=%.3f cpu_seconds=%.3f\n", gCalls, SecondsSince(start),
                ProcessCpuSeconds() - cpu);
    return result == SUCCESS ? 0 : 1;
  }
  if (argc != 5) {
    std::fprintf(stderr, "usage: wizard_bench URL CLSID VERSION ROUNDS\n");
    return 2;
  }
  const char *url = argv[1], *clsid = argv[2], *version = argv[3];
  int rounds = atoi(argv[4]);
  PrepareRegistry();
  // A first job, not counted, fills the size cache and the file cache.
  ResultCode nullResult = RunInstallWorker(clsid, url, version, nullptr);
  ResultCode silentResult = SUCCESS, wizardResult = SUCCESS;
  std::vector<double> overheads, overSilent;
  double bestNull = 1e9, bestSilent = 1e9, bestWizard = 1e9;
  for (int round = 1; round <= rounds; ++round) {
    double cpu = ProcessCpuSeconds();
    auto start = std::chrono::steady_clock::now();
    CSetupDlg dialog(&TimedInstallWorker);
    wizardResult = dialog.RunSetup(clsid, url, version);
    double wizardSeconds = SecondsSince(start);
    double wizardCpu = ProcessCpuSeconds() - cpu;
    cpu = ProcessCpuSeconds();
    start = std::chrono::steady_clock::now();
    nullResult = RunInstallWorker(clsid, url, version, nullptr);
    double nullSeconds = SecondsSince(start);
    double nullCpu = ProcessCpuSeconds() - cpu;
    start = std::chrono::steady_clock::now();
    CSilentListener silent;
    silentResult = RunInstallWorker(clsid, url, version, &silent);
    double silentSeconds = SecondsSince(start);
    start = std::chrono::steady_clock::now();
    ThreadedJob threaded = {url, clsid, version, DLL_UNKNOWN};
    HANDLE worker = CreateThread(nullptr, 0, &RunThreadedJob, &threaded, 0, nullptr);
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    double threadSeconds = SecondsSince(start);
    bestNull = std::min(bestNull, nullSeconds);
    bestSilent = std::min(bestSilent, silentSeconds);
    bestWizard = std::min(bestWizard, wizardSeconds);
    overheads.push_back(100.0 * (wizardSeconds - nullSeconds) / nullSeconds);
    overSilent.push_back(100.0 * (wizardSeconds - silentSeconds) / silentSeconds);
    std::printf(
        "round=%d null_seconds=%.2f silent_seconds=%.2f wizard_seconds=%.2f overhead=%.1f%% "
        "over_silent=%.1f%% null_cpu=%.2f wizard_cpu=%.2f wizard_job_seconds=%.2f thread_seconds=%.2f (%d)\n",
        round, nullSeconds, silentSeconds, wizardSeconds, overheads.back(), overSilent.back(),
        nullCpu, wizardCpu, gJobSeconds, threadSeconds, threaded.result);
    std::fflush(stdout);
  }
  std::printf("median_overhead=%.1f%% median_over_silent=%.1f%% results=%d,%d,%d\n",
              Median(overheads), Median(overSilent), nullResult, silentResult, wizardResult);
  std::printf("best_null=%.2f best_silent=%.2f best_wizard=%.2f best_overhead=%.1f%%\n", bestNull,
              bestSilent, bestWizard, 100.0 * (bestWizard - bestNull) / bestNull);
  return nullResult == SUCCESS && silentResult == SUCCESS && wizardResult == SUCCESS ? 0 : 1;
}
