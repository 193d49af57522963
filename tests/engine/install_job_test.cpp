// Whole install jobs against the package server: what they leave in the
// file system and in the registry.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <shlwapi.h>

#include <algorithm>

#include <aclapi.h>
#include <sddl.h>

#include "folder_link.h"
#include "install_records.h"
#include "install_worker.h"
#include "path_util.h"
#include "protected_folder.h"
#include "install_test_support.h"
#include "test_thread.h"

namespace {

const std::vector<std::string> kTypicalFiles = {"OVData.txt", "OVHelper.dll", "OVSample.dll"};

FILETIME LastWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

std::string SystemTimeText(const SYSTEMTIME& t) {
  char text[64];
  snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
           t.wMinute, t.wSecond);
  return text;
}

std::string FileTimeText(const FILETIME& time) {
  SYSTEMTIME t;
  FileTimeToSystemTime(&time, &t);
  return SystemTimeText(t);
}

uint64_t Ticks(const FILETIME& time) {
  return (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Waits until the system clock reads a later millisecond than time (UTC).
void WaitForClockPast(const SYSTEMTIME& time) {
  FILETIME mark;
  ASSERT_TRUE(SystemTimeToFileTime(&time, &mark));
  const uint64_t kTicksPerMs = 10000;
  for (int i = 0; i < 1000; ++i) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    if (Ticks(now) / kTicksPerMs > Ticks(mark) / kTicksPerMs) return;
    Sleep(1);
  }
  FAIL() << "the clock stands still";
}


TEST_F(InstallJobTest, FirstInstallWritesTheBrowsersRecords) {
  SYSTEMTIME before;
  GetSystemTime(&before);
  CRecordingListener listener;
  ASSERT_EQ(SUCCESS, RunJob("main4", &listener));
  SYSTEMTIME after;
  GetSystemTime(&after);

  const std::string record = DistributionUnitPath(kMainClsid);
  EXPECT_EQ("MSICD", ReadString(HKEY_LOCAL_MACHINE, record, "Installer"));
  EXPECT_EQ(0u, ReadDword(HKEY_LOCAL_MACHINE, record, "SystemComponent"));
  EXPECT_EQ((std::vector<std::string>{"Contains", "DownloadInformation", "InstalledVersion"}),
            SubKeyNames(HKEY_LOCAL_MACHINE, record));

  std::vector<std::string> installed;
  for (const std::string& file : kTypicalFiles) installed.push_back(CachePath(file.c_str()));
  const std::string files = record + "\\Contains\\Files";
  EXPECT_EQ(installed, ValueNames(HKEY_LOCAL_MACHINE, files));
  for (const std::string& path : installed) {
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, files, path.c_str(), type, data)) << path;
    EXPECT_EQ(DWORD(REG_SZ), type);
    EXPECT_EQ(0u, data.size()) << "stored without its terminating zero";
  }

  EXPECT_EQ(CodebaseFor("main4"),
            ReadString(HKEY_LOCAL_MACHINE, record + "\\DownloadInformation", "CODEBASE"));
  EXPECT_EQ(CachePath("OVSample.inf"),
            ReadString(HKEY_LOCAL_MACHINE, record + "\\DownloadInformation", "INF"));
  EXPECT_EQ("1,0,0,4", ReadString(HKEY_LOCAL_MACHINE, record + "\\InstalledVersion", ""));
  EXPECT_EQ(kServerLastModified,
            ReadString(HKEY_LOCAL_MACHINE, record + "\\InstalledVersion", "LastModified"));

  for (const std::string& path : installed) {
    EXPECT_EQ(1u, ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsPath, path.c_str())) << path;
    EXPECT_EQ(kMainClsid, ReadString(HKEY_LOCAL_MACHINE, ModuleUsagePath(path), ".Owner"));
    EXPECT_EQ("", ReadString(HKEY_LOCAL_MACHINE, ModuleUsagePath(path), kMainClsid));
    ASSERT_TRUE(FileExists(path)) << path;
    EXPECT_EQ(SystemTimeText(kPackageFileTime), FileTimeText(LastWriteTime(path))) << path;
  }
  EXPECT_TRUE(FileExists(CachePath("OVSample.inf")));

  const std::string stats = StatsPath(kMainClsid);
  EXPECT_EQ(1u, ReadDword(HKEY_CURRENT_USER, stats, "Count"));
  EXPECT_EQ(4u, ReadDword(HKEY_CURRENT_USER, stats, "Flags"));
  EXPECT_EQ(1u, ReadDword(HKEY_CURRENT_USER, stats, "Type"));
  DWORD type = 0;
  std::vector<BYTE> time;
  ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, stats, "Time", type, time));
  EXPECT_EQ(DWORD(REG_BINARY), type);
  ASSERT_EQ(sizeof(SYSTEMTIME), time.size());
  SYSTEMTIME written;
  memcpy(&written, time.data(), sizeof written);
  FILETIME writtenTicks, beforeTicks, afterTicks;
  ASSERT_TRUE(SystemTimeToFileTime(&written, &writtenTicks));
  SystemTimeToFileTime(&before, &beforeTicks);
  SystemTimeToFileTime(&after, &afterTicks);
  EXPECT_LE(Ticks(beforeTicks), Ticks(writtenTicks));
  EXPECT_GE(Ticks(afterTicks), Ticks(writtenTicks));
  std::vector<std::string> domains = {std::string(OV_PORTAL_DOMAIN) + ".com",
                                      std::string(OV_PORTAL_DOMAIN) + ".net"};
  EXPECT_EQ(domains, SubKeyNames(HKEY_CURRENT_USER, stats + "\\AllowedDomains"));
  EXPECT_EQ(std::vector<std::string>{"AllowedDomains"}, SubKeyNames(HKEY_CURRENT_USER, stats));

  EXPECT_EQ(CachePath("OVSample.dll"), ReadString(HKEY_LOCAL_MACHINE, InprocServerPath(kMainClsid), ""));
  EXPECT_EQ("1.0.0.4", VersionOfCreatedControl(kMainClsid));
}

TEST_F(InstallJobTest, ProgressOfAThreeItemPackage) {
  CRecordingListener listener;
  ASSERT_EQ(SUCCESS, RunJob("main4", &listener));
  ASSERT_GE(listener.events.size(), 3u);
  EXPECT_EQ("OnInitSetup", listener.events[0]);
  EXPECT_EQ("OnPrepareDownload", listener.events[1]);
  EXPECT_EQ((std::vector<std::string>{
                "OnStartInstall(4)", "OnInstallFile(OVSample.inf)", "OnInstallFileDone",
                "OnInstallFile(OVSample.dll)", "OnInstallFileDone", "OnInstallFile(OVHelper.dll)",
                "OnInstallFileDone", "OnInstallFile(OVData.txt)", "OnInstallFileDone",
                "OnWriteRegistry"}),
            listener.InstallEvents())
      << "a first install shows no removal";
  EXPECT_EQ(13, listener.installPolls);
}

// A cancel at one poll of the install stage, each of its 13 polls in turn.
class InstallStageCancelTest : public InstallJobTest,
                               public ::testing::WithParamInterface<int> {};

TEST_P(InstallStageCancelTest, CancelAtThePollEndsTheJobWithNothingRecorded) {
  const int poll = GetParam();
  CRecordingListener listener(poll);
  EXPECT_EQ(DLL_USERCANCEL, RunJob("main4", &listener)) << "poll " << poll;
  EXPECT_EQ("Cancelled", listener.events.back()) << "nothing reported after poll " << poll;
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, DistributionUnitPath(kMainClsid))) << poll;
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, InprocServerPath(kMainClsid))) << poll;
}

// Polls, in order: reading (start, after Add.Code, one per item), after
// reading, after removal, before copying, one per copied file (the setup
// information file first), after copying.
INSTANTIATE_TEST_SUITE_P(EachPoll, InstallStageCancelTest, ::testing::Range(1, 14),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "Poll" + std::to_string(info.param);
                         });

TEST_F(InstallJobTest, ReinstallCountsAgainAndKeepsTheFirstStatistics) {
  ASSERT_EQ(SUCCESS, RunJob("main4"));
  std::vector<BYTE> firstTime;
  DWORD type = 0;
  ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, StatsPath(kMainClsid), "Time", type, firstTime));
  ASSERT_EQ(sizeof(SYSTEMTIME), firstTime.size());
  // A time written again by the reinstall would differ from the first.
  SYSTEMTIME first;
  memcpy(&first, firstTime.data(), sizeof first);
  WaitForClockPast(first);

  CRecordingListener listener;
  ASSERT_EQ(SUCCESS, RunJob("main4", &listener));
  EXPECT_EQ("OnRemoveOldVersion", listener.InstallEvents().at(0));
  for (const std::string& file : kTypicalFiles) {
    const std::string path = CachePath(file.c_str());
    EXPECT_TRUE(FileExists(path)) << path;
    // Removal released every count to 0, and the install counted anew.
    EXPECT_EQ(1u, ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsPath, path.c_str())) << path;
  }
  std::vector<BYTE> secondTime;
  ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, StatsPath(kMainClsid), "Time", type, secondTime));
  EXPECT_EQ(firstTime, secondTime);
  EXPECT_EQ(1u, ReadDword(HKEY_CURRENT_USER, StatsPath(kMainClsid), "Count"));
}

TEST_F(InstallJobTest, UpgradeReplacesTheControl) {
  ASSERT_EQ(SUCCESS, RunJob("main4"));
  ASSERT_EQ(SUCCESS, RunJob("main5", nullptr, kMainClsid, "1.0.0.5"));
  const std::string record = DistributionUnitPath(kMainClsid);
  EXPECT_EQ("1,0,0,5", ReadString(HKEY_LOCAL_MACHINE, record + "\\InstalledVersion", ""));
  EXPECT_EQ(CodebaseFor("main5"),
            ReadString(HKEY_LOCAL_MACHINE, record + "\\DownloadInformation", "CODEBASE"));
  for (const std::string& file : kTypicalFiles)
    EXPECT_EQ(1u, ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsPath, CachePath(file.c_str()).c_str()));
  EXPECT_EQ("1.0.0.5", VersionOfCreatedControl(kMainClsid));
}

// An older package replayed over a newer control is refused before
// anything changes, unless the page names exactly the older version.
TEST_F(InstallJobTest, OlderPackageInstallsOnlyWhenThePageNamesItsVersion) {
  const struct {
    const char* package;
    const char* needVersion;
    ResultCode result;
    const char* installed;
  } cases[] = {
      {"main4", "", DLL_LOADINF_NOTMATCH_NEEDVERSION, "1.0.0.5"},
      {"main4", "1.0.0.3", DLL_LOADINF_NOTMATCH_NEEDVERSION, "1.0.0.5"},
      {"main4", "1.0.0.4", SUCCESS, "1.0.0.4"},
      {"main5", "", SUCCESS, "1.0.0.5"},
  };
  int round = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.package) + " needing \"" + c.needVersion + "\"");
    ForgetSampleControls();
    UseCacheFolder(testFolder_ + "\\round" + std::to_string(++round));
    ASSERT_EQ(SUCCESS, RunJob("main5", nullptr, kMainClsid, "1.0.0.5"));
    const std::string control = CachePath("OVSample.dll");
    const FILETIME written = LastWriteTime(control);
    EXPECT_EQ(c.result, RunJob(c.package, nullptr, kMainClsid, c.needVersion));
    EXPECT_EQ(c.installed, VersionOfCreatedControl(kMainClsid));
    const std::string recorded = c.installed[6] == '5' ? "1,0,0,5" : "1,0,0,4";
    EXPECT_EQ(recorded, ReadString(HKEY_LOCAL_MACHINE,
                                   DistributionUnitPath(kMainClsid) + "\\InstalledVersion", ""));
    if (c.result != SUCCESS) {
      const FILETIME now = LastWriteTime(control);
      EXPECT_EQ(0, CompareFileTime(&written, &now));
      EXPECT_EQ(1u, ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsPath, control.c_str()));
    }
  }
}

TEST_F(InstallJobTest, SharedFileOutlivesItsFirstOwner) {
  // Both packages put OVShared.dll into the System folder.
  const std::string shared = SystemFolder() + "\\OVShared.dll";
  SHDeleteValueA(HKEY_LOCAL_MACHINE, kSharedDllsPath, shared.c_str());
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, ModuleUsagePath(shared).c_str());
  ASSERT_EQ(SUCCESS, RunJob("other", nullptr, kOtherClsid, "2.0.0.1"));
  ASSERT_EQ(SUCCESS, RunJob("shared4"));
  EXPECT_EQ(2u, ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsPath, shared.c_str()));
  EXPECT_EQ(kOtherClsid, ReadString(HKEY_LOCAL_MACHINE, ModuleUsagePath(shared), ".Owner"));

  // Reinstalling the first owner releases it once and counts it again; its
  // ownership is gone for good.
  ASSERT_EQ(SUCCESS, RunJob("other", nullptr, kOtherClsid, "2.0.0.1"));
  EXPECT_EQ(2u, ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsPath, shared.c_str()));
  EXPECT_EQ("Unknown Owner", ReadString(HKEY_LOCAL_MACHINE, ModuleUsagePath(shared), ".Owner"));

  CDistributionUnit other;
  EXPECT_TRUE(other.Remove(kOtherClsid));
  EXPECT_TRUE(FileExists(shared));
  EXPECT_EQ(1u, ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsPath, shared.c_str()));
  EXPECT_EQ((std::vector<std::string>{".Owner", kMainClsid}),
            ValueNames(HKEY_LOCAL_MACHINE, ModuleUsagePath(shared)));

  CDistributionUnit main;
  EXPECT_TRUE(main.Remove(kMainClsid));
  EXPECT_FALSE(FileExists(shared));
  EXPECT_EQ(kNoDword, ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsPath, shared.c_str()));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ModuleUsagePath(shared)));
}

TEST_F(InstallJobTest, ClashingFilesMoveThePackageToAConflictFolder) {
  ASSERT_TRUE(EnsureDirectory(cacheFolder_.c_str()));
  HANDLE clash = CreateFileA(CachePath("OVHelper.dll").c_str(), GENERIC_WRITE, 0, nullptr,
                             CREATE_NEW, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, clash);
  CloseHandle(clash);

  ASSERT_EQ(SUCCESS, RunJob("main4"));
  const std::string conflict = cacheFolder_ + "\\CONFLICT.1";
  for (const char* file : {"OVSample.inf", "OVSample.dll", "OVHelper.dll", "OVData.txt"})
    EXPECT_TRUE(FileExists(conflict + "\\" + file)) << file;
  EXPECT_EQ(conflict + "\\OVSample.dll",
            ReadString(HKEY_LOCAL_MACHINE, InprocServerPath(kMainClsid), ""));
  EXPECT_EQ(conflict + "\\OVSample.inf",
            ReadString(HKEY_LOCAL_MACHINE, DistributionUnitPath(kMainClsid) + "\\DownloadInformation",
                       "INF"));
}

TEST_F(InstallJobTest, AllNinetyNineCacheCandidatesTakenFails) {
  ASSERT_TRUE(EnsureDirectory(cacheFolder_.c_str()));
  for (int n = 0; n <= 98; ++n) {
    std::string folder = n == 0 ? cacheFolder_ : cacheFolder_ + "\\CONFLICT." + std::to_string(n);
    CreateDirectoryA(folder.c_str(), nullptr);
    CloseHandle(CreateFileA((folder + "\\OVData.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_NEW, 0, nullptr));
  }
  EXPECT_EQ(DLL_CANT_GET_OCCCACHE, RunJob("main4"));
  EXPECT_FALSE(FileExists(cacheFolder_ + "\\CONFLICT.98\\OVSample.dll"));
}

TEST_F(InstallJobTest, WindowsAndSystemFolderItemsAreInstalledAndCounted) {
  const std::string control = SystemFolder() + "\\OVSample.dll";
  const std::string data = WindowsFolder() + "\\OVData.txt";
  CRecordingListener listener;
  ASSERT_EQ(SUCCESS, RunJob("destdir", &listener));
  EXPECT_TRUE(FileExists(control));
  EXPECT_TRUE(FileExists(data));
  // No item goes to the cache folder, so the setup information file goes
  // to the folder itself.
  EXPECT_TRUE(FileExists(CachePath("OVSample.inf")));
  EXPECT_EQ(control, ReadString(HKEY_LOCAL_MACHINE, InprocServerPath(kMainClsid), ""));
  EXPECT_EQ(1u, ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsPath, control.c_str()));
  EXPECT_EQ(1u, ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsPath, data.c_str()));
  EXPECT_EQ((std::vector<std::string>{data, control}),
            ValueNames(HKEY_LOCAL_MACHINE, DistributionUnitPath(kMainClsid) + "\\Contains\\Files"));

  // Moving the control to the cache releases both files there.
  ASSERT_EQ(SUCCESS, RunJob("main4"));
  EXPECT_FALSE(FileExists(control));
  EXPECT_FALSE(FileExists(data));
  EXPECT_EQ(kNoDword, ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsPath, data.c_str()));
}

TEST_F(InstallJobTest, ControlInUseIsLeftAlone) {
  ASSERT_EQ(SUCCESS, RunJob("main4"));
  const std::string control = CachePath("OVSample.dll");
  CRecordingListener listener;
  {
    CFileHolder holder(control);
    ASSERT_TRUE(holder.IsHolding());
    EXPECT_EQ(DLL_REMOVE_CANT, RunJob("main5", &listener, kMainClsid, "1.0.0.5"));
  }
  EXPECT_EQ((std::vector<std::string>{"OnRemoveOldVersion"}), listener.InstallEvents());
  EXPECT_TRUE(FileExists(control));
  EXPECT_EQ(control, ReadString(HKEY_LOCAL_MACHINE, InprocServerPath(kMainClsid), ""));
  EXPECT_EQ("1,0,0,4", ReadString(HKEY_LOCAL_MACHINE,
                                  DistributionUnitPath(kMainClsid) + "\\InstalledVersion", ""));
  EXPECT_EQ(1u, ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsPath, control.c_str()));
}

// Registration is the last step that can fail: everything before it is
// undone, the copied files and the folder made for them included.
TEST_F(InstallJobTest, FailingRegistrationUndoesTheWholeInstall) {
  CRecordingListener listener;
  EXPECT_EQ(DLL_CANT_REGISTSERVER, RunJob("broken", &listener));
  // No file, staged or placed, and no folder but the jobs' own, which
  // holds only the lock.
  WIN32_FIND_DATAA found;
  std::vector<std::string> left;
  HANDLE search = FindFirstFileA((cacheFolder_ + "\\*").c_str(), &found);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  do {
    if (!IsDotEntry(found)) left.push_back(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  EXPECT_EQ(std::vector<std::string>{"~OVSetup"}, left);
  EXPECT_TRUE(DeleteFileA(JobLockPath().c_str()));
  EXPECT_TRUE(RemoveDirectoryA(ProtectedFolderPath().c_str())) << "the jobs' folder is empty";
  EXPECT_EQ("OnWriteRegistry", listener.events.back());
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, InprocServerPath(kMainClsid)))
      << "items after the failing one are not registered";
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, DistributionUnitPath(kMainClsid)));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, StatsPath(kMainClsid)));
  EXPECT_EQ(kNoDword, ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsPath, CachePath("OVHelper.dll").c_str()));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ModuleUsagePath(CachePath("OVHelper.dll"))));
}

TEST_F(InstallJobTest, ClsidWithoutBracesIsRecordedWithoutBraces) {
  const std::string bare = std::string(kMainClsid).substr(1, 36);
  ASSERT_EQ(SUCCESS, RunJob("nobraces", nullptr, bare.c_str()));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, DistributionUnitPath(bare.c_str())));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, DistributionUnitPath(kMainClsid)));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, StatsPath(bare.c_str())));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, StatsPath(kMainClsid)));
  const std::string usage = ModuleUsagePath(CachePath("OVSample.dll"));
  EXPECT_EQ(bare, ReadString(HKEY_LOCAL_MACHINE, usage, ".Owner"));
  EXPECT_EQ((std::vector<std::string>{".Owner", bare}), ValueNames(HKEY_LOCAL_MACHINE, usage));
}

TEST_F(InstallJobTest, WithoutUsageKeysNothingIsCountedButTheRecordIsWritten) {
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, kModuleUsagePath);
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSharedDllsPath);
  ASSERT_EQ(SUCCESS, RunJob("main4"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kModuleUsagePath));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSharedDllsPath));
  EXPECT_EQ(3u, ValueNames(HKEY_LOCAL_MACHINE, DistributionUnitPath(kMainClsid) + "\\Contains\\Files").size());

  CreateUsageKeys();  // puts the keys back for the tests after this one
}

// The jobs' folder lies in the downloaded-controls folder: without that
// setting the job ends before it downloads anything.
TEST_F(InstallJobTest, WithoutTheCacheSettingTheInstallFails) {
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, kActiveXCachePath);
  CRecordingListener listener;
  const std::string tag = "nocache-" + std::to_string(GetTickCount());
  EXPECT_EQ(DLL_CANT_GET_OCCCACHE,
            RunInstallWorker(kMainClsid, CodebaseFor("main4", ("tag/" + tag + "/").c_str()).c_str(),
                             "1.0.0.4", &listener));
  EXPECT_TRUE(listener.events.empty());
  EXPECT_EQ(0, CountRequests(tag));
  UseCacheFolder(cacheFolder_);  // puts the setting back for the tests after this one
}

TEST_F(InstallJobTest, MissingLastModifiedRecordsTheDownloadTime) {
  const time_t before = time(nullptr);
  ASSERT_EQ(SUCCESS, RunJob("main4", nullptr, kMainClsid, "1.0.0.4", "nolastmod/"));
  const time_t after = time(nullptr);
  std::string text = ReadString(HKEY_LOCAL_MACHINE,
                                DistributionUnitPath(kMainClsid) + "\\InstalledVersion",
                                "LastModified");
  // One of the seconds that the job ran in.
  std::vector<std::string> seconds;
  for (time_t second = before; second <= after; ++second) {
    seconds.emplace_back();
    FormatGmtTime(static_cast<int32_t>(second), seconds.back());
  }
  EXPECT_TRUE(std::find(seconds.begin(), seconds.end(), text) != seconds.end())
      << text << " is not between " << seconds.front() << " and " << seconds.back();
  EXPECT_NE(kServerLastModified, text);
}


DWORD WaitForExitCode(PROCESS_INFORMATION& process) {
  DWORD code = 0xDEAD;
  if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return code;
}

// Both jobs download into the same work folder under the same file name;
// the second waits until the first has finished and cleaned up instead of
// clobbering its package or removing its folder.
// Processes of two players, each with a temporary folder of their own.
TEST_F(InstallJobTest, JobsOfTwoProcessesTakeTurnsInTheWorkFolder) {
  const std::string slowCodebase = CodebaseFor("main4", "slow/40/");
  // The server's log names the host with its port: its requests are
  // counted by their path.
  const std::string slowPath = slowCodebase.substr(slowCodebase.find("/slow/"));
  const int requestsBefore = CountRequests(slowPath);
  PROCESS_INFORMATION slow = StartJobProcess(slowCodebase, kMainClsid, "1.0.0.4", testFolder_ + "\\first");
  // A job holds the work folder from before its first request to its end:
  // the fast job starts once the slow one has asked the server.
  for (int i = 0; i < 1500 && CountRequests(slowPath) == requestsBefore; ++i) Sleep(20);
  EXPECT_GT(CountRequests(slowPath), requestsBefore) << "the slow job never asked";
  PROCESS_INFORMATION fast = StartJobProcess(CodebaseFor("main4"), kMainClsid, "1.0.0.4", testFolder_ + "\\second");
  EXPECT_EQ(DWORD(SUCCESS), WaitForExitCode(slow));
  EXPECT_EQ(DWORD(SUCCESS), WaitForExitCode(fast));
  EXPECT_FALSE(WorkFolderExists());
  EXPECT_TRUE(FileExists(CachePath("OVSample.dll")));
}

// The lock is the jobs' own file. A program that made the name of the lock
// older engines used, with a list that lets nobody else open it, and holds
// it, holds nothing up. While another job holds the file, a job says once
// that it waits and touches nothing; it ends at the player's cancel, or
// runs once the file is free.
TEST_F(InstallJobTest, OnlyTheJobsLockFileHoldsAJobUp) {
  HANDLE squatting = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE squatEnds = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  TestThread squatter([&] {
    PSECURITY_DESCRIPTOR denied = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:P(D;;GA;;;WD)", SDDL_REVISION_1, &denied, nullptr));
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), denied, FALSE};
    HANDLE mutex = CreateMutexA(&attributes, TRUE, "Global\\OVSetupCore.Install");
    LocalFree(denied);
    SetEvent(squatting);
    WaitForSingleObject(squatEnds, 120000);
    if (mutex != nullptr) CloseHandle(mutex);
  });
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(squatting, 10000));
  ASSERT_EQ(SUCCESS, RunJob("main4"));
  SetEvent(squatEnds);
  squatter.Join();

  HANDLE held = CreateFileA(JobLockPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  HANDLE waiting = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  for (const bool cancelled : {true, false}) {
    SCOPED_TRACE(cancelled ? "cancelled" : "let go");
    ResetEvent(waiting);
    CRecordingListener listener;
    listener.waiting = waiting;
    const std::string tag = "locked-" + std::to_string(GetTickCount()) + (cancelled ? "c" : "r");
    const std::string codebase = CodebaseFor("main4", ("tag/" + tag + "/").c_str());
    ResultCode result = DLL_UNKNOWN;
    TestThread job([&] {
      result = RunInstallWorker(kMainClsid, codebase.c_str(), "1.0.0.4", &listener, cancel);
    });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(waiting, 60000));
    EXPECT_EQ(0, CountRequests(tag));
    if (cancelled)
      SetEvent(cancel);
    else
      CloseHandle(held);
    job.Join();
    EXPECT_EQ(cancelled ? DLL_USERCANCEL : SUCCESS, result);
    EXPECT_EQ(cancelled ? 0 : 2, CountRequests(tag));
    ASSERT_FALSE(listener.events.empty());
    EXPECT_EQ("OnWaitForOtherInstall", listener.events.front());
    EXPECT_EQ(1, std::count(listener.events.begin(), listener.events.end(), "OnWaitForOtherInstall"));
    ResetEvent(cancel);
  }
  for (HANDLE event : {squatting, squatEnds, waiting, cancel}) CloseHandle(event);
}

// A shared count stored as 0 is taken as one reference: removal releases
// the file instead of wrapping the count around.
TEST_F(InstallJobTest, SharedCountOfZeroReleasesTheFile) {
  const std::string helper = CachePath("OVHelper.dll");
  auto storeZero = [&helper] {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsPath, 0, KEY_ALL_ACCESS, &key));
    DWORD zero = 0;
    RegSetValueExA(key, helper.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), 4);
    RegCloseKey(key);
  };
  ASSERT_EQ(SUCCESS, RunJob("main4"));
  storeZero();
  ASSERT_EQ(SUCCESS, RunJob("main4"));
  EXPECT_EQ(1u, ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsPath, helper.c_str()));

  storeZero();
  CDistributionUnit record;
  EXPECT_TRUE(record.Remove(kMainClsid));
  EXPECT_FALSE(FileExists(helper));
  EXPECT_EQ(kNoDword, ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsPath, helper.c_str()));
}

}  // namespace

namespace {

// The accounts that may own the jobs' folder and change it: Administrators,
// SYSTEM, and the owner of the System folder (Wine, which keeps no owners,
// names one account for every file).
bool IsAdministrativeAccount(PSID sid, PSID systemOwner) {
  return IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
         IsWellKnownSid(sid, WinLocalSystemSid) || EqualSid(sid, systemOwner);
}

const ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                  FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE |
                                  WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

}  // namespace

// Every job works in the downloaded-controls folder's "~OVSetup", whatever
// the player's temporary folder; read back, only administrators and the
// system own or may change it.
TEST_F(InstallJobTest, JobFolderBelongsToAdministratorsAndTheSystem) {
  ASSERT_EQ(SUCCESS, RunJob("main4"));
  const std::string folder = ProtectedFolderPath();
  EXPECT_EQ(cacheFolder_ + "\\~OVSetup", folder);
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_REPARSE_POINT);

  PSID systemOwner = nullptr, owner = nullptr;
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR systemDescriptor = nullptr, descriptor = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            GetNamedSecurityInfoA(SystemFolder().c_str(), SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION, &systemOwner, nullptr, nullptr,
                                  nullptr, &systemDescriptor));
  ASSERT_EQ(ERROR_SUCCESS,
            GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                  nullptr, &list, nullptr, &descriptor));
  char* text = nullptr;
  ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
      descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text,
      nullptr));
  printf("%s: %s\n", folder.c_str(), text);
  EXPECT_TRUE(IsAdministrativeAccount(owner, systemOwner)) << text;
  ASSERT_NE(nullptr, list) << text;
  for (DWORD i = 0; i < list->AceCount; ++i) {
    ACE_HEADER* entry = nullptr;
    ASSERT_TRUE(GetAce(list, i, reinterpret_cast<void**>(&entry)));
    if (entry->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    ACCESS_ALLOWED_ACE* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(entry);
    if (allowed->Mask & kChangeRights) {
      EXPECT_TRUE(IsAdministrativeAccount(&allowed->SidStart, systemOwner)) << text;
    }
  }
  LocalFree(text);
  LocalFree(descriptor);
  LocalFree(systemDescriptor);
}

// What stands where the jobs' folder belongs and is not a folder of
// administrators is never used: it is removed and the folder made anew; a
// link goes as a link.
TEST_F(InstallJobTest, ForeignOrLinkedJobFolderIsMadeAnew) {
  const std::string folder = cacheFolder_ + "\\~OVSetup";
  const std::string journal = folder + "\\~OVControlDownload.journal";
  ASSERT_TRUE(EnsureDirectory(folder.c_str()));
  // Everyone may write it: a journal planted there is an instruction list.
  PSECURITY_DESCRIPTOR open = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;OICI;FA;;;WD)",
                                                                   SDDL_REVISION_1, &open, nullptr));
  ASSERT_TRUE(SetFileSecurityA(folder.c_str(), DACL_SECURITY_INFORMATION, open));
  LocalFree(open);
  HANDLE planted = CreateFileA(journal.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, planted);
  const std::string line = "unregister\t" + testFolder_ + "\\evil\\OVOther.dll\r\n";
  DWORD written = 0;
  WriteFile(planted, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(planted);
  ASSERT_EQ(SUCCESS, RunJob("main4"));
  EXPECT_FALSE(FileExists(journal));
  EXPECT_TRUE(FileExists(CachePath("OVSample.dll")));

  // A link to a folder of the player's in place of the jobs' folder.
  const std::string target = testFolder_ + "\\elsewhere";
  ASSERT_TRUE(EnsureDirectory(target.c_str()));
  HANDLE kept = CreateFileA((target + "\\kept.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, kept);
  CloseHandle(kept);
  ASSERT_TRUE(RemoveDirectoryTree(folder.c_str()));
  std::string why;
  if (!MakeFolderLink(folder, target, why)) GTEST_SKIP() << why;
  const std::string tag = "linked-" + std::to_string(GetTickCount());
  const std::string codebase = CodebaseFor("main4", ("tag/" + tag + "/").c_str());
  const ResultCode result = RunInstallWorker(kMainClsid, codebase.c_str(), "1.0.0.4", nullptr);
  EXPECT_TRUE(FileExists(target + "\\kept.txt"));
  EXPECT_EQ(1, CountEntries(target)) << "the job worked in the link's target";
  if (GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) {
    // Wine removes no link through Windows calls: the job refuses the
    // folder before it asks the server for anything.
    EXPECT_EQ(DLL_CANT_OPEN_WRITEFILE, result);
    EXPECT_EQ(0, CountRequests(tag));
    EXPECT_TRUE(RemoveFolderLink(folder));
  } else {
    EXPECT_EQ(SUCCESS, result);
  }
}

// A link planted in the jobs' folder, in place of the work folder, the
// journal or the rejected journal, goes as a link, or where the platform
// cannot remove it (Wine removes none through Windows calls) ends the job
// before any request: nothing is read, written or moved through it.
TEST_F(InstallJobTest, LinksInTheJobFolderAreNeverFollowed) {
  const std::string journal = WorkFolderPath() + ".journal";
  const struct {
    const char* name;
    std::string path;   // where the link is planted
    bool plantJournal;  // a forged journal beside it, which must be moved aside
  } cases[] = {
      {"work folder", WorkFolderPath(), false},
      {"journal", journal, false},
      {"rejected journal", journal + ".rejected", true},
  };
  const std::string target = testFolder_ + "\\target", kept = target + "\\kept.txt";
  const std::string text = "the player's own file";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(EnsureDirectory(target.c_str()));
    WriteText(kept, text);
    ASSERT_TRUE(EnsureDirectory(cacheFolder_.c_str()));
    ASSERT_TRUE(PrepareProtectedFolder(ProtectedFolderPath()));
    if (c.plantJournal) WriteText(journal, "unregister\tC:\\ovtest\\evil\\OVOther.dll\n");
    std::string why;
    if (!MakeFolderLink(c.path, target, why)) GTEST_SKIP() << why;
    const std::string tag = std::string("link-") + c.name[0] + std::to_string(GetTickCount());
    const ResultCode result = RunInstallWorker(
        kMainClsid, CodebaseFor("main4", ("tag/" + tag + "/").c_str()).c_str(), "1.0.0.4", nullptr);
    EXPECT_EQ(text, ReadText(kept));
    EXPECT_EQ(1, CountEntries(target)) << "the job worked in the link's target";
    if (GetFileAttributesA(c.path.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) {
      EXPECT_EQ(DLL_CANT_OPEN_WRITEFILE, result);
      EXPECT_EQ(0, CountRequests(tag));
      EXPECT_TRUE(RemoveFolderLink(c.path));
    } else {
      EXPECT_EQ(SUCCESS, result);
    }
    DeleteFileA(journal.c_str());
    DeleteFileA((journal + ".rejected").c_str());
    ForgetSampleControls();
  }
  RemoveDirectoryTree(target.c_str());
}
