#include "install_test_support.h"

#include <objbase.h>
#include <oleauto.h>
#include <shlwapi.h>

#include <algorithm>

#include "install_worker.h"
#include "job_folder_lock.h"
#include "path_util.h"

const char kMainClsid[] = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A01}";
const char kOtherClsid[] = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A02}";
const char kBrokenClsid[] = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A03}";
const char kNoVersionClsid[] = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A04}";
const char kWaitClsid[] = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A08}";

const SYSTEMTIME kPackageFileTime = {2020, 5, 0, 17, 10, 20, 30, 0};
// The package server's fixed Last-Modified, 1445412480 s after 1970.
const char kServerLastModified[] = "Wed, 21 Oct 2015 07:28:00 GMT";

const char kModuleUsagePath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage";
const char kSharedDllsPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
const char kActiveXCachePath[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ActiveX Cache";

bool CRecordingListener::IsCancelled() {
  ++polls;
  if (extracted) ++installPolls;
  if ((cancelAtPoll != 0 && polls == cancelAtPoll) ||
      (extracted && cancelAt_ != 0 && installPolls == cancelAt_)) {
    events.push_back("Cancelled");
    return true;
  }
  return false;
}

std::vector<std::string> CRecordingListener::InstallEvents() const {
  auto done = std::find(events.begin(), events.end(), "OnExtractComplete");
  if (done == events.end()) return {};
  return std::vector<std::string>(done + 1, events.end());
}

std::string ServerUrl(const std::string& path) {
  return std::string("http://cdn.") + OV_PORTAL_DOMAIN + ".net/" + path;
}

int CountRequests(const std::string& text) {
  const char* log = getenv("OV_PKG_LOG");
  if (log == nullptr) return -1;
  // The log is a host path; Wine reaches the host's root as Z:.
  FILE* file = fopen((std::string("Z:") + log).c_str(), "r");
  if (file == nullptr) return -1;
  int count = 0;
  char line[4096];
  while (fgets(line, sizeof line, file))
    if (strstr(line, text.c_str()) != nullptr) ++count;
  fclose(file);
  return count;
}

int64_t ServedFileSize(const std::string& path) {
  const char* root = getenv("OV_PKG_ROOT");
  if (root == nullptr) return -1;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA((std::string("Z:") + root + "/" + path).c_str(), GetFileExInfoStandard,
                            &data))
    return -1;
  return (int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string CodebaseFor(const char* package, const char* prefixes) {
  return std::string("http://cdn.") + OV_PORTAL_DOMAIN + ".net/" + prefixes + "pkgs/install/" +
         package + ".cab";
}

bool KeyExists(HKEY root, const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool ReadValue(HKEY root, const std::string& path, const char* name, DWORD& type,
               std::vector<BYTE>& data) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  LONG status = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
  if (status == ERROR_SUCCESS) {
    data.assign(size, 0);
    status = RegQueryValueExA(key, name, nullptr, &type, data.data(), &size);
    data.resize(size);
  }
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

std::string ReadString(HKEY root, const std::string& path, const char* name) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (!ReadValue(root, path, name, type, data) || type != REG_SZ) return "<absent>";
  std::string text(data.begin(), data.end());
  return text.substr(0, text.find('\0'));
}

DWORD ReadDword(HKEY root, const std::string& path, const char* name) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (!ReadValue(root, path, name, type, data) || type != REG_DWORD || data.size() != 4)
    return kNoDword;
  DWORD value;
  memcpy(&value, data.data(), 4);
  return value;
}

namespace {

// The names a key enumerates with enumerate(key, index, name, length),
// sorted; empty when the key cannot be opened.
template <typename Enumerate>
std::vector<std::string> SortedNames(HKEY root, const std::string& path, Enumerate enumerate) {
  std::vector<std::string> names;
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  char name[1024];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    if (enumerate(key, i, name, &length) != ERROR_SUCCESS) break;
    names.push_back(name);
  }
  RegCloseKey(key);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::vector<std::string> ValueNames(HKEY root, const std::string& path) {
  return SortedNames(root, path, [](HKEY key, DWORD index, char* name, DWORD* length) {
    return RegEnumValueA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
  });
}

std::vector<std::string> SubKeyNames(HKEY root, const std::string& path) {
  return SortedNames(root, path, [](HKEY key, DWORD index, char* name, DWORD* length) {
    return RegEnumKeyExA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
  });
}

std::string DistributionUnitPath(const char* clsid) {
  return std::string("SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units\\") + clsid;
}

std::string StatsPath(const char* clsid) {
  return std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\") + clsid +
         "\\iexplore";
}

std::string InprocServerPath(const char* clsid) {
  return std::string("SOFTWARE\\Classes\\CLSID\\") + clsid + "\\InprocServer32";
}

std::string ModuleUsagePath(const std::string& file) {
  std::string name = file;
  std::replace(name.begin(), name.end(), '\\', '/');
  return std::string(kModuleUsagePath) + "\\" + name;
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void WriteText(const std::string& file, const std::string& text) {
  HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(handle);
}

std::string ReadText(const std::string& file) {
  char text[4096];
  DWORD count = 0;
  HANDLE handle = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return "<absent>";
  ReadFile(handle, text, sizeof text, &count, nullptr);
  CloseHandle(handle);
  return std::string(text, count);
}

int CountEntries(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  int entries = 0;
  if (search == INVALID_HANDLE_VALUE) return 0;
  do entries += IsDotEntry(found) ? 0 : 1;
  while (FindNextFileA(search, &found));
  FindClose(search);
  return entries;
}

std::string VersionOfCreatedControl(const char* clsidText) {
  struct Apartment {
    Apartment() { CoInitialize(nullptr); }
    ~Apartment() {
      CoFreeUnusedLibrariesEx(0, 0);
      CoUninitialize();
    }
  } apartment;
  wchar_t wide[64];
  MultiByteToWideChar(CP_ACP, 0, clsidText, -1, wide, 64);
  CLSID clsid;
  if (FAILED(CLSIDFromString(wide, &clsid))) return "<bad clsid>";
  IDispatch* control = nullptr;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&control))))
    return "<not created>";
  OLECHAR name[] = L"GetVersion";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  std::string version = "<no method>";
  if (SUCCEEDED(control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    if (SUCCEEDED(control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none,
                                  &result, nullptr, nullptr)) &&
        result.vt == VT_BSTR) {
      char text[64];
      WideCharToMultiByte(CP_ACP, 0, result.bstrVal, -1, text, sizeof text, nullptr, nullptr);
      version = text;
    }
    VariantClear(&result);
  }
  control->Release();
  return version;
}

CFileHolder::CFileHolder(const std::string& path)
    : ready_(CreateEventA(nullptr, TRUE, FALSE, "ov_hold_ready")),
      quit_(CreateEventA(nullptr, TRUE, FALSE, "ov_hold_quit")) {
  std::string command = "hold_file.exe \"" + path + "\" ov_hold_ready ov_hold_quit";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  holding_ = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &holder_) &&
             WaitForSingleObject(ready_, 30000) == WAIT_OBJECT_0;
}

CFileHolder::~CFileHolder() {
  SetEvent(quit_);
  if (holder_.hProcess != nullptr) {
    WaitForSingleObject(holder_.hProcess, 30000);
    CloseHandle(holder_.hProcess);
    CloseHandle(holder_.hThread);
  }
  CloseHandle(ready_);
  CloseHandle(quit_);
}

PROCESS_INFORMATION StartJobProcess(const std::string& codebase, const char* clsid,
                                    const char* needVersion, const std::string& temp,
                                    const std::string& stopAt) {
  EXPECT_TRUE(EnsureDirectory(temp.c_str()));
  std::string command = "run_install_job.exe " + codebase + " " + clsid + " " + needVersion;
  if (!stopAt.empty()) command += " " + stopAt;
  // The child inherits this process's environment, changed for the call.
  char oldTemp[MAX_PATH] = "", oldTmp[MAX_PATH] = "";
  GetEnvironmentVariableA("TEMP", oldTemp, MAX_PATH);
  GetEnvironmentVariableA("TMP", oldTmp, MAX_PATH);
  SetEnvironmentVariableA("TEMP", temp.c_str());
  SetEnvironmentVariableA("TMP", temp.c_str());
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  EXPECT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
  SetEnvironmentVariableA("TEMP", oldTemp);
  SetEnvironmentVariableA("TMP", oldTmp);
  return process;
}

std::string ProtectedFolderPath() {
  std::string folder;
  EXPECT_TRUE(GetJobFolder(folder));
  return folder;
}

std::string WorkFolderPath() { return GetWorkFolderPath(ProtectedFolderPath()); }

std::string JobLockPath() { return GetJobLockPath(ProtectedFolderPath()); }

bool WorkFolderExists() {
  return GetFileAttributesA(WorkFolderPath().c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string WindowsFolder() {
  char folder[MAX_PATH];
  GetWindowsDirectoryA(folder, MAX_PATH);
  return folder;
}

std::string SystemFolder() {
  char folder[MAX_PATH];
  GetSystemDirectoryA(folder, MAX_PATH);
  return folder;
}

void InstallJobTest::SetUp() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(test->test_suite_name()) + "." + test->name();
  std::replace(name.begin(), name.end(), '/', '_');
  testFolder_ = "C:\\ovtest\\" + name;
  UseCacheFolder(testFolder_ + "\\Downloaded Program Files");
  CreateUsageKeys();
  ForgetSampleControls();
  // A journal an earlier test left would stop, or be undone by, this one.
  const std::string journal = GetJournalPath(WorkFolderPath());
  DeleteFileA(journal.c_str());
  DeleteFileA((journal + ".rejected").c_str());
}

void InstallJobTest::CreateUsageKeys() {
  HKEY key;
  for (const char* path : {kModuleUsagePath, kSharedDllsPath}) {
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
  }
}

void InstallJobTest::ForgetSampleControls() {
  for (const char* clsid : {kMainClsid, kOtherClsid, kBrokenClsid, kNoVersionClsid, kWaitClsid}) {
    std::string bare = std::string(clsid).substr(1, 36);
    for (const std::string& id : {std::string(clsid), bare}) {
      SHDeleteKeyA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\Classes\\CLSID\\" + id).c_str());
      SHDeleteKeyA(HKEY_LOCAL_MACHINE, DistributionUnitPath(id.c_str()).c_str());
      SHDeleteKeyA(HKEY_CURRENT_USER,
                   ("Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\" + id).c_str());
    }
  }
}

void InstallJobTest::UseCacheFolder(const std::string& folder) {
  cacheFolder_ = folder;
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kActiveXCachePath, 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegSetValueExA(key, "0", 0, REG_SZ, reinterpret_cast<const BYTE*>(cacheFolder_.c_str()),
                 static_cast<DWORD>(cacheFolder_.size() + 1));
  RegCloseKey(key);
}

ResultCode InstallJobTest::RunJob(const char* package, IInstallProgress* listener,
                                  const char* clsid, const char* needVersion,
                                  const char* prefixes) {
  std::string codebase = CodebaseFor(package, prefixes);
  ResultCode result = RunInstallWorker(clsid, codebase.c_str(), needVersion, listener);
  EXPECT_FALSE(WorkFolderExists()) << package;
  return result;
}
