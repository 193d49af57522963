// run_install_job CODEBASE CLSID NEEDVERSION [STOP_AT]: one whole install
// job in a process of its own; the exit code is the job's result code, and
// "result N" on standard output carries it whole for callers outside Wine,
// which see only the exit code's low 8 bits.
//
// STOP_AT, "Operation:N", stops the job for good at the Nth call of that
// listener operation (OnExtractFile:2, OnWriteRegistry:1, ...): the event
// "ov_job_stopped" is set and the worker waits there, so that a test can
// kill the process at a known step of the job.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "install_worker.h"

namespace {

class CStoppingListener : public IInstallProgress {
 public:
  explicit CStoppingListener(const std::string& stopAt) {
    const size_t colon = stopAt.find(':');
    operation_ = stopAt.substr(0, colon);
    count_ = colon == std::string::npos ? 1 : std::atoi(stopAt.c_str() + colon + 1);
  }

  void OnInitSetup() override { Reached("OnInitSetup"); }
  void OnPrepareDownload() override { Reached("OnPrepareDownload"); }
  void OnStartDownload(int32_t) override { Reached("OnStartDownload"); }
  void OnDownloadProgress(int32_t) override { Reached("OnDownloadProgress"); }
  void OnDownloadComplete() override { Reached("OnDownloadComplete"); }
  void OnPrepareExtract() override { Reached("OnPrepareExtract"); }
  void OnStartExtract(int32_t, int32_t) override { Reached("OnStartExtract"); }
  void OnExtractFile(const char*) override { Reached("OnExtractFile"); }
  void OnExtractProgress(int32_t) override { Reached("OnExtractProgress"); }
  void OnExtractComplete() override { Reached("OnExtractComplete"); }
  void OnRemoveOldVersion() override { Reached("OnRemoveOldVersion"); }
  void OnStartInstall(int32_t) override { Reached("OnStartInstall"); }
  void OnInstallFile(const char*) override { Reached("OnInstallFile"); }
  void OnInstallFileDone() override { Reached("OnInstallFileDone"); }
  void OnWriteRegistry() override { Reached("OnWriteRegistry"); }
  bool IsCancelled() override { return false; }
  void OnWaitForOtherInstall() override { Reached("OnWaitForOtherInstall"); }

 private:
  void Reached(const char* operation) {
    if (operation_ != operation || --count_ != 0) return;
    HANDLE stopped = CreateEventA(nullptr, TRUE, FALSE, "ov_job_stopped");
    if (stopped != nullptr) SetEvent(stopped);
    Sleep(INFINITE);
  }

  std::string operation_;
  int count_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) return COMMON_INVALID_PARAM;
  CStoppingListener listener(argc == 5 ? argv[4] : "");
  ResultCode result = RunInstallWorker(argv[2], argv[1], argv[3], argc == 5 ? &listener : nullptr);
  printf("result %d\n", static_cast<int>(result));
  return result;
}
