// The installed-module check against real files and the registry of the
// test prefix: each case registers a fresh class id under HKLM.
#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "class_cache.h"
#include "module_check.h"
#include "path_util.h"
#include "version.h"

namespace {

std::string NewClsid() {
  GUID guid;
  CoCreateGuid(&guid);
  wchar_t wide[64];
  StringFromGUID2(guid, wide, 64);
  char text[64];
  WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr);
  return text;
}

void SetDefault(HKEY root, const std::string& path, const std::string& value) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &key, nullptr));
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
}

void WriteFile(const std::string& path, const char* text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD written = 0;
  ::WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
  CloseHandle(file);
}

// Version text of a file that has one: Windows' own kernel32.dll.
std::string SystemDll() {
  char path[MAX_PATH];
  GetSystemDirectoryA(path, MAX_PATH);
  return std::string(path) + "\\kernel32.dll";
}

class ModuleCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clsid_ = NewClsid();
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "ov module check " + clsid_;
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
  }
  void TearDown() override {
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, ClassKey().c_str());
    SHDeleteKeyA(HKEY_CURRENT_USER, ClassKey().c_str());
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, RecordKey().c_str());
    for (const std::string& file : files_) DeleteFileA(file.c_str());
    RemoveDirectoryA(folder_.c_str());
  }

  std::string ClassKey() const { return "SOFTWARE\\Classes\\CLSID\\" + clsid_; }
  std::string RecordKey() const {
    return "SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units\\" + clsid_;
  }
  void RegisterServer(const std::string& path) {
    SetDefault(HKEY_LOCAL_MACHINE, ClassKey() + "\\InprocServer32", path);
  }
  std::string MakeFile(const char* name, const char* text = "not a program") {
    std::string path = folder_ + "\\" + name;
    WriteFile(path, text);
    files_.push_back(path);
    return path;
  }
  // A Distribution Unit record that lists these files.
  void Record(std::initializer_list<std::string> paths) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, (RecordKey() + "\\Contains\\Files").c_str(),
                                             0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    for (const std::string& path : paths) RegSetValueExA(key, path.c_str(), 0, REG_SZ, nullptr, 0);
    RegCloseKey(key);
  }

  std::string clsid_;
  std::string folder_;
  std::vector<std::string> files_;
};

TEST_F(ModuleCheckTest, ServerFileMustBeRegisteredMachineWideAndPresent) {
  EXPECT_EQ(COMMON_INVALID_PARAM, CheckInstalledModule(nullptr, ""));
  EXPECT_EQ(MODULE_NOTEXIST_REGINFO, CheckInstalledModule(clsid_.c_str(), ""));
  EXPECT_EQ(MODULE_NOTEXIST_REGINFO, CheckInstalledModule("", ""));
  EXPECT_EQ(MODULE_NOTEXIST_REGINFO, CheckInstalledModule("not a clsid", ""));

  SetDefault(HKEY_CURRENT_USER, ClassKey() + "\\InprocServer32", MakeFile("user.dll"));
  EXPECT_EQ(MODULE_NOTEXIST_REGINFO, CheckInstalledModule(clsid_.c_str(), ""));

  const struct {
    std::string path;
    ResultCode expected;
  } cases[] = {
      {folder_ + "\\missing.dll", MODULE_NOTEXIST_DLL_FILE},
      {folder_, MODULE_NOTEXIST_DLL_FILE},
      {"C:\\", MODULE_NOTEXIST_DLL_FILE},
      {"", MODULE_NOTEXIST_DLL_FILE},
      {MakeFile("present.dll"), SUCCESS},
      // A pattern names no file, even one that matches present.dll.
      {folder_ + "\\present.dl?", MODULE_NOTEXIST_DLL_FILE},
      {folder_ + "\\*.dll", MODULE_NOTEXIST_DLL_FILE},
  };
  for (const auto& c : cases) {
    RegisterServer(c.path);
    EXPECT_EQ(c.expected, CheckInstalledModule(clsid_.c_str(), "")) << c.path;
  }
}

// A class id text so long that its key paths would not fit 1024 bytes is
// refused as unregistered, never formatted past a buffer.
TEST_F(ModuleCheckTest, OverlongClsidIsNotRegistered) {
  std::string longText = "{" + std::string(4000, 'A') + "}";
  EXPECT_EQ(MODULE_NOTEXIST_REGINFO, CheckInstalledModule(longText.c_str(), "1.0.0.0"));
  // Just under the limit of the server-key path and over that of the record.
  std::string nearLimit = "{" + std::string(980, 'B') + "}";
  EXPECT_EQ(MODULE_NOTEXIST_REGINFO, CheckInstalledModule(nearLimit.c_str(), ""));
}

TEST_F(ModuleCheckTest, NeededVersionAgainstTheFilesVersionResource) {
  CFileVersionInfo info;
  ASSERT_TRUE(info.Read(SystemDll().c_str()));
  uint64_t have = 0;
  ASSERT_TRUE(ParseVersion(info.FileVersion, &have));
  auto text = [](uint64_t v) {
    char buffer[64];
    sprintf(buffer, "%u.%u.%u.%u", unsigned(v >> 48), unsigned((v >> 32) & 0xFFFF),
            unsigned((v >> 16) & 0xFFFF), unsigned(v & 0xFFFF));
    return std::string(buffer);
  };
  ASSERT_GT(have & 0xFFFF, 0u);
  RegisterServer(SystemDll());
  const struct {
    std::string need;
    ResultCode expected;
  } cases[] = {
      {"", SUCCESS},
      {text(have), SUCCESS},
      {text(have - 1), SUCCESS},
      {text(have + 1), MODULE_NOTMATCH_VERSION},
      {"999.0.0.0", MODULE_NOTMATCH_VERSION},
      {"999.0.5", SUCCESS},  // three numbers do not parse: any version passes
      {"0.0.0.0", SUCCESS},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, CheckInstalledModule(clsid_.c_str(), c.need.c_str())) << c.need;

  RegisterServer(MakeFile("noversion.dll"));
  EXPECT_EQ(SUCCESS, CheckInstalledModule(clsid_.c_str(), ""));
  EXPECT_EQ(MODULE_UNKNOWN_FILEVERSION, CheckInstalledModule(clsid_.c_str(), "1.0.0.1"));
}

TEST_F(ModuleCheckTest, RecordedFilesCountOnlyWhenTheyListTheServer) {
  std::string server = MakeFile("server.dll");
  std::string helper = MakeFile("helper.dll");
  RegisterServer(server);
  Record({server, helper});
  EXPECT_EQ(SUCCESS, CheckInstalledModule(clsid_.c_str(), ""));

  std::string gone = folder_ + "\\deleted.dll";
  Record({gone});
  EXPECT_EQ(MODULE_NOTEXIST_DEPENDENCY_FILE, CheckInstalledModule(clsid_.c_str(), ""));

  // The same record without the server among its values is not trusted.
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, RecordKey().c_str());
  Record({helper, gone});
  EXPECT_EQ(SUCCESS, CheckInstalledModule(clsid_.c_str(), ""));
}

// While an install is unfinished what is registered may be half of it: the
// next page visit must run a job, which completes or undoes it first.
TEST_F(ModuleCheckTest, UnfinishedInstallNeedsAnInstall) {
  RegisterServer(MakeFile("present.dll"));
  std::string jobFolder;
  if (!GetJobFolder(jobFolder)) {
    // A fresh prefix names no downloaded-controls folder until a page test
    // has prepared it; Windows always names one.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kActiveXCacheKey, 0, nullptr, 0,
                                             KEY_SET_VALUE, nullptr, &key, nullptr));
    const char folder[] = "C:\\windows\\Downloaded Program Files";
    RegSetValueExA(key, "0", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder), sizeof(folder));
    RegCloseKey(key);
  }
  ASSERT_TRUE(GetJobFolder(jobFolder));
  ASSERT_TRUE(EnsureDirectory(jobFolder.c_str()));
  const std::string journal = GetJournalPath(GetWorkFolderPath(jobFolder));
  WriteFile(journal, "");
  files_.push_back(journal);
  EXPECT_EQ(MODULE_NOTEXIST_DEPENDENCY_FILE, CheckInstalledModule(clsid_.c_str(), ""));
  DeleteFileA(journal.c_str());
  EXPECT_EQ(SUCCESS, CheckInstalledModule(clsid_.c_str(), ""));
}

// The journal's folder lets only administrators in: a player's browser is
// refused a look, and a refusal may hide a journal, so it asks for an
// install. Where it may list the folder it sees whether there is one. Run
// as an account that Wine's file system really refuses (run_as_player).
TEST_F(ModuleCheckTest, JournalFolderThatRefusesALookNeedsAnInstall) {
  const char* caches = std::getenv("OV_PLAYER_CACHES");
  if (caches == nullptr) GTEST_SKIP() << "runs as an unprivileged player: run_as_player";
  RegisterServer(MakeFile("present.dll"));
  const struct {
    const char* kind;
    bool refused;  // looking for the journal is refused
    ResultCode expected;
  } cases[] = {
      {"refused-journal", true, MODULE_NOTEXIST_DEPENDENCY_FILE},
      {"listed-journal", false, MODULE_NOTEXIST_DEPENDENCY_FILE},
      {"listed-empty", false, SUCCESS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    const std::string cache = std::string("C:\\ovplayer\\") + c.kind;
    ASSERT_NE(nullptr, std::strstr(caches, cache.c_str()));
    SHSetValueA(HKEY_LOCAL_MACHINE, kActiveXCacheKey, "0", REG_SZ, cache.c_str(),
                static_cast<DWORD>(cache.size() + 1));
    std::string jobFolder;
    ASSERT_TRUE(GetJobFolder(jobFolder));
    const std::string journal = GetJournalPath(GetWorkFolderPath(jobFolder));
    SetLastError(0);
    const bool seen = GetFileAttributesA(journal.c_str()) != INVALID_FILE_ATTRIBUTES;
    const DWORD error = GetLastError();
    EXPECT_EQ(c.refused, !seen && error == ERROR_ACCESS_DENIED) << "error " << error;
    EXPECT_EQ(c.expected, CheckInstalledModule(clsid_.c_str(), ""));
  }
}

TEST_F(ModuleCheckTest, ShortServerPathIsFoundByItsLongForm) {
  std::string server = MakeFile("Long Server Name Control.dll");
  char shortPath[MAX_PATH];
  ASSERT_GT(GetShortPathNameA(server.c_str(), shortPath, MAX_PATH), 0u);
  ASSERT_NE(server, shortPath);
  RegisterServer(shortPath);
  Record({server, folder_ + "\\deleted.dll"});
  EXPECT_EQ(MODULE_NOTEXIST_DEPENDENCY_FILE, CheckInstalledModule(clsid_.c_str(), ""));
}

// Kept answers last only while what they were read from stays: each change
// below is seen by the first question after it, once the registry's change
// has been noticed; a file replaced in place is seen at once.
TEST_F(ModuleCheckTest, ClassCacheSeesEveryChange) {
  CClassCache cache;
  auto ask = [&](const char* need) {
    cache.ForgetIfChanged();
    return cache.CheckInstalledModule(clsid_.c_str(), need);
  };
  auto noticed = [&] { return WaitForSingleObject(cache.ChangeNoticed(), 10000) == WAIT_OBJECT_0; };
  wchar_t wide[64];
  MultiByteToWideChar(CP_ACP, 0, clsid_.c_str(), -1, wide, 64);
  CLSID clsid, other, runs;
  ASSERT_HRESULT_SUCCEEDED(CLSIDFromString(wide, &clsid));
  ASSERT_HRESULT_SUCCEEDED(CoCreateGuid(&other));
  const std::string killBit =
      "SOFTWARE\\Policies\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\" + clsid_;

  EXPECT_EQ(MODULE_NOTEXIST_REGINFO, ask(""));
  const std::string server = MakeFile("server.dll");
  RegisterServer(server);
  ASSERT_TRUE(noticed());
  EXPECT_EQ(SUCCESS, ask(""));
  EXPECT_EQ(MODULE_UNKNOWN_FILEVERSION, ask("1.0.0.1"));
  ASSERT_TRUE(CopyFileA(SystemDll().c_str(), server.c_str(), FALSE));
  EXPECT_EQ(SUCCESS, ask("1.0.0.1"));
  Record({server, folder_ + "\\deleted.dll"});
  ASSERT_TRUE(noticed());
  EXPECT_EQ(MODULE_NOTEXIST_DEPENDENCY_FILE, ask(""));
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, (ClassKey() + "\\InprocServer32").c_str());
  ASSERT_TRUE(noticed());
  EXPECT_EQ(MODULE_NOTEXIST_REGINFO, ask(""));

  // The script-safety answers: kill bit, TreatAs, category.
  IStream* plain = nullptr;  // an object without IObjectSafety
  ASSERT_HRESULT_SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, &plain));
  cache.ForgetIfChanged();
  EXPECT_TRUE(cache.ResolveScriptableClass(clsid, runs));
  EXPECT_FALSE(cache.IsSafeForScripting(clsid, plain));
  SetDefault(HKEY_LOCAL_MACHINE, killBit, "");
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, killBit.c_str(), 0, KEY_SET_VALUE, &key));
  const DWORD flags = 0x400;
  RegSetValueExA(key, "Compatibility Flags", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flags), 4);
  RegCloseKey(key);
  ASSERT_TRUE(noticed());
  cache.ForgetIfChanged();
  EXPECT_FALSE(cache.ResolveScriptableClass(clsid, runs));
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, killBit.c_str());
  wchar_t otherText[64];
  StringFromGUID2(other, otherText, 64);
  char otherAnsi[64];
  WideCharToMultiByte(CP_ACP, 0, otherText, -1, otherAnsi, 64, nullptr, nullptr);
  SetDefault(HKEY_LOCAL_MACHINE, ClassKey() + "\\TreatAs", otherAnsi);
  SetDefault(HKEY_LOCAL_MACHINE,
             ClassKey() + "\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}", "");
  ASSERT_TRUE(noticed());
  cache.ForgetIfChanged();
  EXPECT_TRUE(cache.ResolveScriptableClass(clsid, runs));
  EXPECT_TRUE(IsEqualCLSID(other, runs));
  EXPECT_TRUE(cache.IsSafeForScripting(clsid, plain));
  plain->Release();
}

void CALLBACK HoldWaitThread(void* context, BOOLEAN) {
  HANDLE* events = static_cast<HANDLE*>(context);  // entered, release
  SetEvent(events[0]);
  WaitForSingleObject(events[1], 60000);
}

// Another wait of the process keeps the pool's wait thread busy, so the
// cache's own wait is never serviced: each kill bit must still be seen by
// the very next call.
TEST_F(ModuleCheckTest, KillBitIsSeenByTheNextCallWhileThePoolIsBusy) {
  struct CBusyWaitThread {
    HANDLE events[3] = {CreateEventA(nullptr, TRUE, FALSE, nullptr),
                        CreateEventA(nullptr, TRUE, FALSE, nullptr),
                        CreateEventA(nullptr, TRUE, TRUE, nullptr)};  // entered, release, set
    HANDLE wait = nullptr;
    ~CBusyWaitThread() {
      SetEvent(events[1]);
      if (wait) UnregisterWaitEx(wait, INVALID_HANDLE_VALUE);
      for (HANDLE event : events) CloseHandle(event);
    }
  } busy;
  ASSERT_TRUE(RegisterWaitForSingleObject(&busy.wait, busy.events[2], HoldWaitThread, busy.events,
                                          INFINITE, WT_EXECUTEINWAITTHREAD | WT_EXECUTEONLYONCE));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(busy.events[0], 10000));

  wchar_t wide[64];
  MultiByteToWideChar(CP_ACP, 0, clsid_.c_str(), -1, wide, 64);
  CLSID clsid, runs;
  ASSERT_HRESULT_SUCCEEDED(CLSIDFromString(wide, &clsid));
  const std::string killBit =
      "SOFTWARE\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\" + clsid_;
  CClassCache cache;
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    cache.ForgetIfChanged();
    ASSERT_TRUE(cache.ResolveScriptableClass(clsid, runs));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, killBit.c_str(), 0, nullptr, 0,
                                             KEY_SET_VALUE, nullptr, &key, nullptr));
    const DWORD flags = 0x400;
    RegSetValueExA(key, "Compatibility Flags", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flags),
                   sizeof flags);
    RegCloseKey(key);
    cache.ForgetIfChanged();
    const bool scriptable = cache.ResolveScriptableClass(clsid, runs);
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, killBit.c_str());
    ASSERT_FALSE(scriptable);
  }
}

}  // namespace
