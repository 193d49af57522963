// Setup wizard benchmark: the cost of the window's progress reporting.
// Installs one package three times per round: with no listener, with a
// listener that ignores every call (the work a job does only for a
// listener, such as counting the cabinet's files), and with the wizard on
// screen; prints the times and the wizard's overhead over both.
//   wizard_bench.exe URL CLSID VERSION ROUNDS
// Prints one line per round and a summary:
//   "round=R null_seconds=S silent_seconds=S wizard_seconds=S overhead=P% over_silent=P%"
//   "median_overhead=P% median_over_silent=P% results=C,C,C"
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "install_worker.h"
#include "setup_dlg.h"

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

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

// Hears every call and does nothing.
class CSilentListener : public IInstallProgress {
 public:
  void OnInitSetup() override {}
  void OnPrepareDownload() override {}
  void OnStartDownload(int32_t) override {}
  void OnDownloadProgress(int32_t) override {}
  void OnDownloadComplete() override {}
  void OnPrepareExtract() override {}
  void OnStartExtract(int32_t, int32_t) override {}
  void OnExtractFile(const char*) override {}
  void OnExtractProgress(int32_t) override {}
  void OnExtractComplete() override {}
  void OnRemoveOldVersion() override {}
  void OnStartInstall(int32_t) override {}
  void OnInstallFile(const char*) override {}
  void OnInstallFileDone() override {}
  void OnWriteRegistry() override {}
  int IsCancelled() override { return 0; }
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: wizard_bench URL CLSID VERSION ROUNDS\n");
    return 2;
  }
  const char *url = argv[1], *clsid = argv[2], *version = argv[3];
  int rounds = atoi(argv[4]);
  PrepareRegistry();
  // A first job, not counted, fills the size cache and the file cache.
  ResultCode nullResult = RunInstallWorker(url, clsid, version, nullptr);
  ResultCode silentResult = SUCCESS, wizardResult = SUCCESS;
  std::vector<double> overheads, overSilent;
  for (int round = 1; round <= rounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    nullResult = RunInstallWorker(url, clsid, version, nullptr);
    double nullSeconds = SecondsSince(start);
    start = std::chrono::steady_clock::now();
    CSilentListener silent;
    silentResult = RunInstallWorker(url, clsid, version, &silent);
    double silentSeconds = SecondsSince(start);
    start = std::chrono::steady_clock::now();
    CSetupDlg dialog(&RunInstallWorker);
    wizardResult = dialog.RunSetup(clsid, url, version);
    double wizardSeconds = SecondsSince(start);
    overheads.push_back(100.0 * (wizardSeconds - nullSeconds) / nullSeconds);
    overSilent.push_back(100.0 * (wizardSeconds - silentSeconds) / silentSeconds);
    std::printf(
        "round=%d null_seconds=%.2f silent_seconds=%.2f wizard_seconds=%.2f overhead=%.1f%% "
        "over_silent=%.1f%%\n",
        round, nullSeconds, silentSeconds, wizardSeconds, overheads.back(), overSilent.back());
    std::fflush(stdout);
  }
  std::printf("median_overhead=%.1f%% median_over_silent=%.1f%% results=%d,%d,%d\n",
              Median(overheads), Median(overSilent), nullResult, silentResult, wizardResult);
  return nullResult == SUCCESS && silentResult == SUCCESS && wizardResult == SUCCESS ? 0 : 1;
}
