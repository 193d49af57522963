// IInstallProgress: what an install job tells whoever watches it (the setup
// window), and the one question it asks back (IsCancelled). Every call comes
// from the job's worker thread. The job never owns or deletes its listener,
// so the interface has no destructor; keep the slot order as it is.
#pragma once

#include <cstdint>

class IInstallProgress {
 public:
  virtual void OnInitSetup() = 0;
  virtual void OnPrepareDownload() = 0;
  // total: the package's size in bytes (low 32 bits).
  virtual void OnStartDownload(int32_t total) = 0;
  // count: bytes just written to the package file.
  virtual void OnDownloadProgress(int32_t count) = 0;
  virtual void OnDownloadComplete() = 0;
  virtual void OnPrepareExtract() = 0;
  virtual void OnStartExtract(int32_t fileCount, int32_t totalBytes) = 0;
  // name: the file's name as stored in the package.
  virtual void OnExtractFile(const char* name) = 0;
  virtual void OnExtractProgress(int32_t count) = 0;
  virtual void OnExtractComplete() = 0;
  virtual void OnRemoveOldVersion() = 0;
  // steps: install items + 1 for the setup information file.
  virtual void OnStartInstall(int32_t steps) = 0;
  virtual void OnInstallFile(const char* name) = 0;
  virtual void OnInstallFileDone() = 0;
  virtual void OnWriteRegistry() = 0;
  // True once the user has confirmed cancellation.
  virtual bool IsCancelled() = 0;
  // Another job holds the machine's job lock: this one waits for it, before
  // anything else is done. Called at most once, before OnInitSetup.
  virtual void OnWaitForOtherInstall() = 0;
};
