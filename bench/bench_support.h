// What the benchmark programs share: timing, and a listener that hears
// every call and does nothing.
#pragma once

#include <chrono>

#include "install_progress.h"

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Derived listeners override only the calls they note.
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
  bool IsCancelled() override { return false; }
  void OnWaitForOtherInstall() override {}
};
