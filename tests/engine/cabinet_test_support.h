// What the package and cabinet tests share: a listener that writes down
// what it is told, the packages that make_packages.py built, and a scratch
// folder of the test's own.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "install_progress.h"
#include "local_file.h"
#include "own_check.h"
#include "path_util.h"

// Records every call as one line ("ExtractFile bin\data.bin"). Consecutive
// progress calls of one kind are summed into one line, so a sequence reads
// "ExtractFile x", "ExtractProgress 100000" whatever the block size.
// IsCancelled is recorded as "Poll" and answers yes from poll cancelAtPoll
// on (counted from 1; 0 never cancels). With countFrom, only the polls after
// that event are counted ("PrepareExtract": the extraction stage's polls).
class CRecordingListener : public IInstallProgress {
 public:
  explicit CRecordingListener(int cancelAtPoll = 0, const std::string& countFrom = "")
      : cancelAtPoll_(cancelAtPoll), counting_(countFrom.empty()), countFrom_(countFrom) {}

  void OnInitSetup() override { Add("InitSetup"); }
  void OnPrepareDownload() override { Add("PrepareDownload"); }
  void OnStartDownload(int32_t total) override { Add("StartDownload " + std::to_string(total)); }
  void OnDownloadProgress(int32_t count) override { AddProgress("DownloadProgress", count); }
  void OnDownloadComplete() override { Add("DownloadComplete"); }
  void OnPrepareExtract() override { Add("PrepareExtract"); }
  void OnStartExtract(int32_t files, int32_t bytes) override {
    Add("StartExtract " + std::to_string(files) + " " + std::to_string(bytes));
  }
  void OnExtractFile(const char* name) override { Add(std::string("ExtractFile ") + name); }
  void OnExtractProgress(int32_t count) override {
    ++extractProgressCalls;
    AddProgress("ExtractProgress", count);
  }
  void OnExtractComplete() override { Add("ExtractComplete"); }
  void OnRemoveOldVersion() override { Add("RemoveOldVersion"); }
  void OnStartInstall(int32_t steps) override { Add("StartInstall " + std::to_string(steps)); }
  void OnInstallFile(const char* name) override { Add(std::string("InstallFile ") + name); }
  void OnInstallFileDone() override { Add("InstallFileDone"); }
  void OnWriteRegistry() override { Add("WriteRegistry"); }
  void OnWaitForOtherInstall() override { Add("WaitForOtherInstall"); }
  bool IsCancelled() override {
    Add("Poll");
    if (!counting_) return false;
    ++polls;
    return cancelAtPoll_ != 0 && polls >= cancelAtPoll_;
  }

  // Recorded lines from the first one equal to first on (all when empty).
  std::vector<std::string> From(const std::string& first) const {
    for (size_t i = 0; i < events.size(); ++i)
      if (events[i] == first) return std::vector<std::string>(events.begin() + i, events.end());
    return {};
  }

  std::vector<std::string> events;
  int polls = 0;  // counted ones only
  int extractProgressCalls = 0;

 private:
  void Add(const std::string& line) {
    events.push_back(line);
    if (line == countFrom_) counting_ = true;
  }
  void AddProgress(const std::string& kind, int32_t count) {
    const std::string prefix = kind + " ";
    if (!events.empty() && events.back().compare(0, prefix.size(), prefix) == 0) {
      events.back() = prefix + std::to_string(std::stoll(events.back().substr(prefix.size())) + count);
      return;
    }
    Add(prefix + std::to_string(count));
  }

  int cancelAtPoll_;
  bool counting_;
  std::string countFrom_;
};

// Windows path of a file under the package root (OV_PKG_ROOT, a host path
// that Wine shows on drive Z:), relative name with "/".
inline std::string PackageFile(const std::string& relative) {
  const char* root = std::getenv("OV_PKG_ROOT");
  std::string path = std::string("Z:") + (root != nullptr ? root : "") + "/pkgs/" + relative;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

// The engine's own signature check on the package file at path, read
// through a handle as the job reads it.
inline bool PassesOwnSignatureCheck(const std::string& path) {
  CLocalFile file;
  return file.Open(path.c_str(), CLocalFile::ExistingForRead, FILE_ATTRIBUTE_NORMAL) &&
         VerifySignedPackage(file.Handle()) == SUCCESS;
}

// A fresh folder under the temporary folder, removed with all it holds.
class CScratchFolder {
 public:
  explicit CScratchFolder(const char* name) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    path_ = WithoutTrailingSlashes(temp) + "\\" + name + "-" + std::to_string(GetCurrentProcessId());
    RemoveDirectoryTree(path_.c_str());
    EnsureDirectory(path_.c_str());
  }
  ~CScratchFolder() { RemoveDirectoryTree(path_.c_str()); }
  CScratchFolder(const CScratchFolder&) = delete;
  CScratchFolder& operator=(const CScratchFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

inline bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::string ReadWholeFile(const std::string& path) {
  std::string data;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return data;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) data.append(buffer, read);
  CloseHandle(file);
  return data;
}
