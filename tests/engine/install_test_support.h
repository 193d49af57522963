// Shared pieces of the whole-job install tests: a listener that records
// what a job reports, the packages the package server serves, and reading
// back what a job left in Wine's registry and file system.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "install_progress.h"
#include "result_code.h"

extern const char kMainClsid[];   // OVSample.dll
extern const char kOtherClsid[];  // OVOther.dll
extern const char kBrokenClsid[];
extern const char kNoVersionClsid[];
extern const char kWaitClsid[];

// The time every file of the install packages carries.
extern const SYSTEMTIME kPackageFileTime;
// The Last-Modified time the package server sends, as the records show it.
extern const char kServerLastModified[];

// Records every call as text ("OnInstallFile(OVSample.dll)") except the
// per-block progress, which it adds up. Cancels, by answering IsCancelled
// with 1, at its cancelAtInstallPoll-th poll after the extraction has
// completed, or at its cancelAtPoll-th poll of the whole job (0: never).
class CRecordingListener : public IInstallProgress {
 public:
  explicit CRecordingListener(int cancelAtInstallPoll = 0) : cancelAt_(cancelAtInstallPoll) {}

  void OnInitSetup() override { events.push_back("OnInitSetup"); }
  void OnPrepareDownload() override { events.push_back("OnPrepareDownload"); }
  void OnStartDownload(int32_t total) override { Add("OnStartDownload", total); }
  void OnDownloadProgress(int32_t count) override { downloaded += count; }
  void OnDownloadComplete() override { events.push_back("OnDownloadComplete"); }
  void OnPrepareExtract() override { events.push_back("OnPrepareExtract"); }
  void OnStartExtract(int32_t files, int32_t bytes) override {
    events.push_back("OnStartExtract(" + std::to_string(files) + "," + std::to_string(bytes) + ")");
  }
  void OnExtractFile(const char* name) override { Add("OnExtractFile", name); }
  void OnExtractProgress(int32_t count) override { unpacked += count; }
  void OnExtractComplete() override {
    events.push_back("OnExtractComplete");
    extracted = true;
  }
  void OnRemoveOldVersion() override { events.push_back("OnRemoveOldVersion"); }
  void OnStartInstall(int32_t steps) override { Add("OnStartInstall", steps); }
  void OnInstallFile(const char* name) override { Add("OnInstallFile", name); }
  void OnInstallFileDone() override { events.push_back("OnInstallFileDone"); }
  void OnWriteRegistry() override { events.push_back("OnWriteRegistry"); }
  bool IsCancelled() override;
  void OnWaitForOtherInstall() override {
    events.push_back("OnWaitForOtherInstall");
    if (waiting != nullptr) SetEvent(waiting);
  }

  // The events from the first install-stage one (after OnExtractComplete).
  std::vector<std::string> InstallEvents() const;

  std::vector<std::string> events;
  int64_t downloaded = 0;
  int64_t unpacked = 0;
  bool extracted = false;
  int polls = 0;         // IsCancelled calls
  int installPolls = 0;  // IsCancelled calls after OnExtractComplete
  int cancelAtPoll = 0;
  HANDLE waiting = nullptr;  // not owned; set, if given, when the job waits for another

 private:
  void Add(const char* name, int32_t value) {
    events.push_back(std::string(name) + "(" + std::to_string(value) + ")");
  }
  void Add(const char* name, const char* text) {
    events.push_back(std::string(name) + "(" + (text ? text : "null") + ")");
  }
  int cancelAt_;
};

// http://cdn.<portal>.net/<path>
std::string ServerUrl(const std::string& path);
// Requests the package server has logged whose URL contains text.
int CountRequests(const std::string& text);
// http://cdn.<portal>.net/pkgs/install/<package>.cab, with behaviour
// prefixes of the package server (such as "nolastmod/") before "pkgs".
std::string CodebaseFor(const char* package, const char* prefixes = "");

// Registry reading. Missing keys and values read as absent.
bool KeyExists(HKEY root, const std::string& path);
bool ReadValue(HKEY root, const std::string& path, const char* name, DWORD& type,
               std::vector<BYTE>& data);
// "<absent>" when there is no such REG_SZ value.
std::string ReadString(HKEY root, const std::string& path, const char* name);
// kNoDword when there is no such REG_DWORD value.
constexpr DWORD kNoDword = 0xFFFFFFFF;
DWORD ReadDword(HKEY root, const std::string& path, const char* name);
std::vector<std::string> ValueNames(HKEY root, const std::string& path);
std::vector<std::string> SubKeyNames(HKEY root, const std::string& path);

std::string DistributionUnitPath(const char* clsid);
std::string StatsPath(const char* clsid);
std::string InprocServerPath(const char* clsid);
extern const char kModuleUsagePath[];
extern const char kSharedDllsPath[];
extern const char kActiveXCachePath[];
// ModuleUsage\<file path with "/" for "\">.
std::string ModuleUsagePath(const std::string& file);

bool FileExists(const std::string& path);
// A file of text, written whole; read back up to 4 KiB ("<absent>" when it
// cannot be opened).
void WriteText(const std::string& file, const std::string& text);
std::string ReadText(const std::string& file);
// The entries of a folder, "." and ".." left out.
int CountEntries(const std::string& folder);
// Creates the control through COM, in an apartment of its own, and asks it
// for its version through IDispatch, as a page's script would; then lets
// COM unload it again.
std::string VersionOfCreatedControl(const char* clsid);
// "<downloaded-controls folder>\~OVSetup", where every job works and keeps
// its journal, "<that>\~OVControlDownload", the work folder itself, and
// the jobs' lock file there.
std::string ProtectedFolderPath();
std::string WorkFolderPath();
std::string JobLockPath();
bool WorkFolderExists();
// The size of a file that the package server serves from its root.
int64_t ServedFileSize(const std::string& path);
std::string WindowsFolder();
std::string SystemFolder();

// Starts one job in a process of its own (run_install_job.exe), as a player
// whose temporary folder is temp (TEMP and TMP; made here). stopAt, when
// not empty, is its STOP_AT argument.
PROCESS_INFORMATION StartJobProcess(const std::string& codebase, const char* clsid,
                                    const char* needVersion, const std::string& temp,
                                    const std::string& stopAt = "");

// Holds a file open in another process (hold_file.exe) for the life of the
// object, as a browser window that has loaded a DLL would.
class CFileHolder {
 public:
  explicit CFileHolder(const std::string& path);
  ~CFileHolder();  // lets the holder end and waits for it
  CFileHolder(const CFileHolder&) = delete;
  CFileHolder& operator=(const CFileHolder&) = delete;
  bool IsHolding() const { return holding_; }

 private:
  HANDLE ready_;
  HANDLE quit_;
  PROCESS_INFORMATION holder_ = {};
  bool holding_ = false;
};

// Every test gets its own downloaded-controls folder and a registry
// without any record of the sample controls.
class InstallJobTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // One whole job through the worker body, as the window runs it.
  ResultCode RunJob(const char* package, IInstallProgress* listener = nullptr,
                    const char* clsid = kMainClsid, const char* needVersion = "1.0.0.4",
                    const char* prefixes = "");
  std::string CachePath(const char* name) const { return cacheFolder_ + "\\" + name; }
  // Creates the browser's usage-count keys (ModuleUsage, SharedDlls) where
  // they are missing.
  void CreateUsageKeys();
  // Removes every registration and record of the sample controls.
  void ForgetSampleControls();
  // Makes folder the downloaded-controls folder of the jobs that follow.
  void UseCacheFolder(const std::string& folder);

  std::string testFolder_;  // "C:\ovtest\<test name>", this test's own
  std::string cacheFolder_;
};
