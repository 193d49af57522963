// Installs that fail, or whose process is killed, part of the way: the
// player keeps a working control, the records match the disk, and the next
// job installs exactly its own package.
#include <windows.h>

#include <shlwapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "hex_text.h"
#include "install_job.h"
#include "install_journal.h"
#include "install_test_support.h"
#include "install_worker.h"
#include "journal_line.h"
#include "path_util.h"
#include "protected_folder.h"
#include "server_registration.h"

namespace {

// Every file below folder, sub-folders included, as full paths.
void ListFiles(const std::string& folder, std::vector<std::string>& files) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (IsDotEntry(found)) continue;
    const std::string path = folder + "\\" + found.cFileName;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      ListFiles(path, files);
    else
      files.push_back(path);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  for (std::string& name : names) CharLowerBuffA(&name[0], static_cast<DWORD>(name.size()));
  std::sort(names.begin(), names.end());
  return names;
}

// The files the control's record names: its files and its setup
// information file.
std::vector<std::string> RecordedFiles(const char* clsid) {
  std::vector<std::string> files =
      ValueNames(HKEY_LOCAL_MACHINE, DistributionUnitPath(clsid) + "\\Contains\\Files");
  const std::string inf =
      ReadString(HKEY_LOCAL_MACHINE, DistributionUnitPath(clsid) + "\\DownloadInformation", "INF");
  if (inf != "<absent>") files.push_back(inf);
  return files;
}

std::string JournalPath() { return CInstallJob::JournalPath(WorkFolderPath()); }

// Replaces the text "old" at path with "new" the way an install does,
// journalled at journalPath, and leaves the journal as a kill would.
void ReplaceJournalled(const std::string& journalPath, const std::string& path) {
  const std::string staged = path + ".~ovnew", aside = path + ".~ovold";
  WriteText(path, "old");
  CInstallJournal journal(journalPath);
  ASSERT_TRUE(journal.IsIntact());
  journal.Staged(staged);
  WriteText(staged, "new");
  journal.SetAside(path, aside);
  ASSERT_TRUE(MoveFileExA(path.c_str(), aside.c_str(), 0));
  journal.Placed(staged, path);
  ASSERT_TRUE(MoveFileExA(staged.c_str(), path.c_str(), 0));
}

// Runs "run_install_job.exe arguments" until the event is set (then kills
// the process) or, with no event, until the process ends by itself.
// Returns the process's exit code.
DWORD RunJobProcess(std::string command, const char* event) {
  command = "run_install_job.exe " + command;
  HANDLE stopped = event ? CreateEventA(nullptr, TRUE, FALSE, event) : nullptr;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION job = {};
  DWORD code = STILL_ACTIVE;
  EXPECT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &job));
  if (job.hProcess == nullptr) return code;
  HANDLE waits[] = {job.hProcess, stopped};
  EXPECT_LE(WaitForMultipleObjects(event ? 2 : 1, waits, FALSE, 60000), WAIT_OBJECT_0 + 1);
  TerminateProcess(job.hProcess, 9);
  WaitForSingleObject(job.hProcess, 30000);
  GetExitCodeProcess(job.hProcess, &code);
  CloseHandle(job.hProcess);
  CloseHandle(job.hThread);
  if (stopped) CloseHandle(stopped);
  return code;
}

// A job for an untrusted codebase ends before its download: it only
// completes what a killed job left.
void RecoverOnly() {
  EXPECT_EQ(DLL_INVALID_DOMAIN,
            RunInstallWorker(kMainClsid, "http://evil.example/x.cab", "1.0.0.5", nullptr));
}

class InstallFaultTest : public InstallJobTest {
 protected:
  // Every file in the downloaded-controls folder but the jobs' lock, and
  // those of systemNames_ in the System folder.
  std::vector<std::string> FilesOnDisk() const {
    std::vector<std::string> files;
    ListFiles(cacheFolder_, files);
    files.erase(std::remove(files.begin(), files.end(), JobLockPath()), files.end());
    for (const std::string& name : systemNames_)
      if (FileExists(SystemFolder() + "\\" + name)) files.push_back(SystemFolder() + "\\" + name);
    return files;
  }

  // The control of version works, the records name exactly the files on
  // disk, and no job left anything behind.
  void ExpectInstalled(const char* version) {
    std::string commas = version;
    std::replace(commas.begin(), commas.end(), '.', ',');
    EXPECT_EQ(version, VersionOfCreatedControl(kMainClsid));
    EXPECT_EQ(commas, ReadString(HKEY_LOCAL_MACHINE,
                                 DistributionUnitPath(kMainClsid) + "\\InstalledVersion", ""));
    ExpectRecordsMatchDisk();
  }
  void ExpectNothingInstalled() {
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, InprocServerPath(kMainClsid)));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, DistributionUnitPath(kMainClsid)));
    ExpectRecordsMatchDisk();
  }
  void ExpectRecordsMatchDisk() {
    EXPECT_EQ(Sorted(RecordedFiles(kMainClsid)), Sorted(FilesOnDisk()));
    EXPECT_FALSE(FileExists(JournalPath()));
    EXPECT_FALSE(WorkFolderExists());
  }

  std::vector<std::string> systemNames_;
};

// The process of a job is killed at a step; the next job finds its
// journal, puts back what was there before, then installs as usual.
TEST_F(InstallFaultTest, KilledJobNeverCostsAWorkingControl) {
  struct Step {
    const char* package;
    const char* stopAt;  // empty: the package's registration never ends
  };
  const Step steps[] = {
      {"main5", "OnDownloadProgress:1"},  // downloading
      {"main5", "OnExtractFile:2"},       // unpacking
      {"main5", "OnInstallFile:3"},       // copying the new files beside the old
      {"main5", "OnWriteRegistry:1"},     // every file copied, nothing replaced yet
      {"wait5", ""},  // old files set aside, new ones in place, main control registered
  };
  int round = 0;
  for (const bool upgrade : {false, true}) {
    for (const Step& step : steps) {
      SCOPED_TRACE(std::string(upgrade ? "upgrade, " : "first install, ") + step.package + " " +
                   step.stopAt);
      ForgetSampleControls();
      UseCacheFolder(testFolder_ + "\\" + std::to_string(++round));
      if (upgrade) {
        ASSERT_EQ(SUCCESS, RunJob("main4"));
      }
      const char* event = *step.stopAt ? "ov_job_stopped" : "ov_register_waiting";
      EXPECT_EQ(9u, RunJobProcess(CodebaseFor(step.package) + " " + kMainClsid + " 1.0.0.5 " +
                                      step.stopAt,
                                  event));

      RecoverOnly();
      if (upgrade) {
        ExpectInstalled("1.0.0.4");
      } else {
        ExpectNothingInstalled();
      }
      ASSERT_EQ(SUCCESS, RunJob("main5", nullptr, kMainClsid, "1.0.0.5"));
      ExpectInstalled("1.0.0.5");
    }
  }
}

// Whatever the old control is, a job killed once the old server is set
// aside is undone by the next: an old server registered outside the
// downloaded-controls folder is put back and registered where it was, and
// values no record holds in the player's statistics key cost no undo.
TEST_F(InstallFaultTest, KilledUpgradeOfAnyOldControlIsUndone) {
  const std::string outside = testFolder_ + "\\Program Files\\OVSample";
  struct Case {
    const char* name;
    DWORD type;    // of a value another program wrote in the statistics key
    DWORD bytes;   // its size; 0: no such value, the server moves outside instead
  };
  const Case cases[] = {
      {"server in Program Files", REG_NONE, 0},
      {"resource list in the statistics key", REG_RESOURCE_LIST, 16},
      {"5 MB in the statistics key", REG_BINARY, 5 * 1024 * 1024},
  };
  int round = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetSampleControls();
    UseCacheFolder(testFolder_ + "\\" + std::to_string(++round));
    ASSERT_EQ(SUCCESS, RunJob("main4"));
    std::string server = CachePath("OVSample.dll");
    if (c.bytes == 0) {
      ASSERT_TRUE(EnsureDirectory(outside.c_str()));
      const std::string moved = outside + "\\OVSample.dll";
      ASSERT_TRUE(MoveFileExA(server.c_str(), moved.c_str(), MOVEFILE_REPLACE_EXISTING));
      server = moved;
      ASSERT_TRUE(RegisterServer(server.c_str()));
    } else {
      const std::vector<BYTE> junk(c.bytes, 0x5A);
      ASSERT_EQ(ERROR_SUCCESS, SHSetValueA(HKEY_CURRENT_USER, StatsPath(kMainClsid).c_str(),
                                           "OVJunk", c.type, junk.data(), c.bytes));
    }
    EXPECT_EQ(9u, RunJobProcess(CodebaseFor("wait5") + " " + kMainClsid + " 1.0.0.5",
                                "ov_register_waiting"));

    RecoverOnly();
    EXPECT_EQ(server, ReadString(HKEY_LOCAL_MACHINE, InprocServerPath(kMainClsid), ""));
    EXPECT_EQ("1.0.0.4", VersionOfCreatedControl(kMainClsid));
    EXPECT_FALSE(FileExists(server + ".~ovold"));
    EXPECT_FALSE(FileExists(JournalPath() + ".rejected"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\OVSetupCore\\Journal"));
    ASSERT_EQ(SUCCESS, RunJob("main5", nullptr, kMainClsid, "1.0.0.5"));
    ExpectInstalled("1.0.0.5");
    EXPECT_FALSE(FileExists(outside + "\\OVSample.dll"));
    SHDeleteValueA(HKEY_CURRENT_USER, StatsPath(kMainClsid).c_str(), "OVJunk");
  }
}

// A new version whose registration fails leaves the old one as it was,
// however often the page tries again; a good package then installs in the
// downloaded-controls folder itself.
TEST_F(InstallFaultTest, FailedUpgradeKeepsTheOldControl) {
  ASSERT_EQ(SUCCESS, RunJob("main4"));
  const std::vector<std::string> files = Sorted(FilesOnDisk());
  const DWORD helperCount =
      ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsPath, CachePath("OVHelper.dll").c_str());
  for (int attempt = 1; attempt <= 3; ++attempt) {
    CRecordingListener listener;
    EXPECT_EQ(DLL_CANT_REGISTSERVER, RunJob("broken5", &listener, kMainClsid, "1.0.0.5"));
    ExpectInstalled("1.0.0.4");
    EXPECT_EQ(files, Sorted(FilesOnDisk())) << "attempt " << attempt;
    EXPECT_EQ(helperCount,
              ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsPath, CachePath("OVHelper.dll").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, InprocServerPath(kBrokenClsid)));
  }
  ASSERT_EQ(SUCCESS, RunJob("main5", nullptr, kMainClsid, "1.0.0.5"));
  ExpectInstalled("1.0.0.5");
  EXPECT_EQ(CachePath("OVSample.dll"), ReadString(HKEY_LOCAL_MACHINE, InprocServerPath(kMainClsid), ""));
}

// A failed install that had replaced another control's server in the
// System folder registers that control's server again.
TEST_F(InstallFaultTest, FailedInstallRegistersAReplacedSharedServerAgain) {
  const std::string other = SystemFolder() + "\\OVOther.dll";
  ASSERT_EQ(SUCCESS, RunJob("other11", nullptr, kOtherClsid, "2.0.0.1"));
  ASSERT_EQ(other, ReadString(HKEY_LOCAL_MACHINE, InprocServerPath(kOtherClsid), ""));
  EXPECT_EQ(DLL_CANT_REGISTSERVER, RunJob("replaces_other", nullptr, kMainClsid, "1.0.0.5"));
  EXPECT_EQ(other, ReadString(HKEY_LOCAL_MACHINE, InprocServerPath(kOtherClsid), ""));
  EXPECT_EQ("2.0.0.1", VersionOfCreatedControl(kOtherClsid));
  EXPECT_FALSE(FileExists(other + ".~ovold"));
  EXPECT_FALSE(FileExists(other + ".~ovnew"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, InprocServerPath(kMainClsid)));
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, DistributionUnitPath(kOtherClsid).c_str());
  UnregisterServer(other.c_str());
  DeleteFileA(other.c_str());
}

// Another process holds a file of the package in the System folder: the
// install fails before anything of the old version is touched.
TEST_F(InstallFaultTest, HeldSharedFileKeepsTheOldControl) {
  systemNames_ = {"OVShared.dll", "OVShared.dll.~ovnew", "OVShared.dll.~ovold"};
  ASSERT_EQ(SUCCESS, RunJob("shared4"));
  const std::string shared = SystemFolder() + "\\OVShared.dll";
  {
    CFileHolder holder(shared);
    ASSERT_TRUE(holder.IsHolding());
    EXPECT_EQ(DLL_CANT_COPYFILE, RunJob("shared5", nullptr, kMainClsid, "1.0.0.5"));
  }
  ExpectInstalled("1.0.0.4");
  DeleteFileA(shared.c_str());
}

// A volume that the package would leave with less than 64 MiB free (the
// downloaded controls' and so the work folder's): the job ends before a
// byte of the package is written, and the control installed stays.
TEST_F(InstallFaultTest, FullDiskFailsBeforeAnythingIsWritten) {
  const char* small = std::getenv("OV_SMALL_DISK");
  std::string marker = small ? std::string(small) + "/.mounted" : "";
  if (small == nullptr || GetFileAttributesA(("Z:" + marker).c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "no small file system mounted (mount needs root): OV_SMALL_DISK";
  ASSERT_EQ(SUCCESS, RunJob("main4"));
  std::string folder = std::string("Z:") + small + "/Downloaded Program Files";
  std::replace(folder.begin(), folder.end(), '/', '\\');
  UseCacheFolder(folder);
  const std::string tag = "full-" + std::to_string(GetTickCount());
  EXPECT_EQ(DLL_CANT_WRITEFILE, RunJob("main5", nullptr, kMainClsid, "1.0.0.5",
                                       ("tag/" + tag + "/").c_str()));
  EXPECT_EQ(1, CountRequests(tag)) << "only the size probe";
  EXPECT_EQ(std::vector<std::string>{}, FilesOnDisk());
  EXPECT_EQ("1.0.0.4", VersionOfCreatedControl(kMainClsid));
}

// Two players' jobs (each with a temporary folder of their own) share the
// machine's one lock and journal: the second waits while the first
// installs, and when the first is killed midway the second puts back what
// it had changed, then installs.
TEST_F(InstallFaultTest, SecondPlayersJobWaitsAndRecoversAKilledFirst) {
  ASSERT_EQ(SUCCESS, RunJob("main4"));
  // wait5's registration never ends: the old files set aside, the new in place.
  HANDLE waiting = CreateEventA(nullptr, TRUE, FALSE, "ov_register_waiting");
  PROCESS_INFORMATION first = StartJobProcess(CodebaseFor("wait5"), kMainClsid, "1.0.0.5",
                                              testFolder_ + "\\first");
  HANDLE firstWaits[] = {waiting, first.hProcess};
  ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, firstWaits, FALSE, 60000));
  const std::string tag = "second-" + std::to_string(GetTickCount());
  PROCESS_INFORMATION second =
      StartJobProcess(CodebaseFor("main5", ("tag/" + tag + "/").c_str()), kMainClsid, "1.0.0.5",
                      testFolder_ + "\\second");
  // Held up by the lock: no request, no end.
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(second.hProcess, 3000));
  EXPECT_EQ(0, CountRequests(tag));
  EXPECT_TRUE(FileExists(JournalPath()));
  TerminateProcess(first.hProcess, 9);
  WaitForSingleObject(first.hProcess, 30000);
  DWORD code = 0xDEAD;
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(second.hProcess, 120000));
  GetExitCodeProcess(second.hProcess, &code);
  EXPECT_EQ(DWORD(SUCCESS), code);
  for (PROCESS_INFORMATION* process : {&first, &second}) {
    CloseHandle(process->hProcess);
    CloseHandle(process->hThread);
  }
  CloseHandle(waiting);
  ExpectInstalled("1.0.0.5");
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, InprocServerPath(kWaitClsid)));
}

// What a killed job left in the work folder (another package, another
// setup information file) never reaches the next job.
TEST_F(InstallFaultTest, StaleWorkFolderIsClearedFirst) {
  const std::string stale = WorkFolderPath() + "\\main4.cab_Extract";
  ASSERT_TRUE(EnsureDirectory(stale.c_str()));
  for (const char* name : {"\\Stale.inf", "\\Stale.dll", "\\..\\main4.cab"}) {
    HANDLE file = CreateFileA((stale + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              0, nullptr);
    DWORD written = 0;
    WriteFile(file, "[Add.Code]\r\nStale.dll=Stale.dll\r\n", 32, &written, nullptr);
    CloseHandle(file);
  }
  ASSERT_EQ(SUCCESS, RunJob("main4"));
  ExpectInstalled("1.0.0.4");
  EXPECT_EQ(Sorted({CachePath("OVData.txt"), CachePath("OVHelper.dll"), CachePath("OVSample.dll"),
                    CachePath("OVSample.inf")}),
            Sorted(FilesOnDisk()));
}

// A kill may also stop the undo itself: undoing the same journal again
// must leave the old file that the first undo put back.
TEST_F(InstallFaultTest, UndoingTwiceKeepsTheRestoredFile) {
  ASSERT_TRUE(EnsureDirectory(cacheFolder_.c_str()));
  const std::string path = CachePath("OVSample.dll");
  const std::string staged = path + ".~ovnew", aside = path + ".~ovold";
  const std::string journalPath = testFolder_ + "\\journal", copy = testFolder_ + "\\journal2";
  ASSERT_NO_FATAL_FAILURE(ReplaceJournalled(journalPath, path));
  ASSERT_TRUE(CopyFileA(journalPath.c_str(), copy.c_str(), FALSE));
  EXPECT_TRUE(RecoverInterruptedInstall(journalPath));
  EXPECT_EQ("old", ReadText(path));
  EXPECT_TRUE(RecoverInterruptedInstall(copy));
  EXPECT_EQ("old", ReadText(path));
  EXPECT_FALSE(FileExists(staged));
  EXPECT_FALSE(FileExists(aside));
  EXPECT_FALSE(FileExists(journalPath));
  EXPECT_FALSE(FileExists(copy));
}

// A journal is an instruction list only as the engine wrote it. One that
// anybody else wrote or altered is moved aside unread: nothing it names is
// loaded, moved or written, and the job installs as if it were not there.
TEST_F(InstallFaultTest, ForeignJournalIsSetAsideAndNeverActedOn) {
  const std::string evil = "C:\\ovtest\\evil";  // outside every install folder
  ASSERT_TRUE(EnsureDirectory(evil.c_str()));
  const std::string planted = evil + "\\OVOther.dll", victim = evil + "\\victim.dll";
  UseCacheFolder(testFolder_ + "\\other");
  ASSERT_EQ(SUCCESS, RunJob("other", nullptr, kOtherClsid, "2.0.0.1"));
  ASSERT_TRUE(CopyFileA(CachePath("OVOther.dll").c_str(), planted.c_str(), FALSE));
  ForgetSampleControls();

  const std::string cache = testFolder_ + "\\1";
  const std::string runKey =
      ToHexText(std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"));
  const std::string lines[] = {
      // As a same-user program would plant it, and with a good checksum.
      "unregister\t" + planted + "\n",
      FrameJournalLine("unregister\t" + planted),
      FrameJournalLine("register\t" + planted),
      // Old files put back from, or set aside to, anywhere but beside themselves.
      FrameJournalLine("aside\t" + victim + "\t" + victim + ".~ovold"),
      FrameJournalLine("aside\t" + cache + "\\OVHelper.dll\t" + planted),
      FrameJournalLine("place\t" + planted + "\t" + cache + "\\OVHelper.dll\t5\t0000000000000000"),
      // A registry value outside the records an install rewrites.
      FrameJournalLine("regval\tHKLM\t" + runKey + "\t" + ToHexText(std::string("ov")) + "\t1\t00"),
      // A good line with a bad one after it.
      FrameJournalLine("staged\t" + cache + "\\OVHelper.dll.~ovnew") + "garbage\n",
      // A bad line, then one cut short: moved aside whole, never cut.
      "garbage\n" + FrameJournalLine("register\t" + planted).substr(0, 20),
  };
  for (const std::string& line : lines) {
    SCOPED_TRACE(line);
    ForgetSampleControls();
    UseCacheFolder(cache);
    // Planted where only the engine may write: a foreign folder would be
    // cleared whole, with the journal.
    ASSERT_TRUE(EnsureDirectory(cache.c_str()));
    ASSERT_TRUE(PrepareProtectedFolder(ProtectedFolderPath()));
    WriteText(victim + ".~ovold", "victim");
    WriteText(JournalPath(), line);
    ASSERT_EQ(SUCCESS, RunJob("main4"));
    EXPECT_EQ(line, ReadText(JournalPath() + ".rejected"));
    DeleteFileA((JournalPath() + ".rejected").c_str());  // the evidence, kept beside the journal
    ExpectInstalled("1.0.0.4");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, InprocServerPath(kOtherClsid)));
    EXPECT_EQ("victim", ReadText(victim + ".~ovold"));
    EXPECT_FALSE(FileExists(victim));
    EXPECT_TRUE(FileExists(planted));
    EXPECT_EQ("<absent>", ReadString(HKEY_LOCAL_MACHINE,
                                     "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "ov"));
    RemoveDirectoryTree(cache.c_str());
  }
  RemoveDirectoryTree(evil.c_str());
}

// The last line of a journal may have been cut short by a kill or a power
// loss before its step was done: it is ignored and the rest undone. A line
// altered in the middle makes the whole journal untrusted: nothing moves.
TEST_F(InstallFaultTest, TornLastLineIsIgnoredAndAlteredLineStopsTheUndo) {
  ASSERT_TRUE(EnsureDirectory(cacheFolder_.c_str()));
  ASSERT_TRUE(PrepareProtectedFolder(ProtectedFolderPath()));
  const std::string path = CachePath("OVSample.dll"), aside = path + ".~ovold";
  for (const bool torn : {true, false}) {
    SCOPED_TRACE(torn ? "torn" : "altered");
    ASSERT_NO_FATAL_FAILURE(ReplaceJournalled(JournalPath(), path));
    std::string text = ReadText(JournalPath());
    if (torn)
      text += FrameJournalLine("register\t" + path).substr(0, 20);
    else
      text[text.find("aside") + 8] ^= 1;  // one bit of the set-aside line's path
    WriteText(JournalPath(), text);

    EXPECT_TRUE(RecoverInterruptedInstall(JournalPath()));
    EXPECT_FALSE(FileExists(JournalPath()));
    EXPECT_EQ(torn ? "old" : "new", ReadText(path));
    EXPECT_EQ(torn ? "<absent>" : "old", ReadText(aside));
    EXPECT_EQ(torn ? "<absent>" : text, ReadText(JournalPath() + ".rejected"));
    DeleteFileA(aside.c_str());
  }
}

// An undo that cannot put the old file back (the new one is held open)
// keeps its journal: every job stops with 5017 before it downloads, and
// the set-aside old file stays. Once the file is free, the next job puts
// the old version back and installs.
TEST_F(InstallFaultTest, UnfinishedUndoStopsEveryJobUntilItIsDone) {
  ASSERT_EQ(SUCCESS, RunJob("main4"));
  RunJobProcess(CodebaseFor("wait5") + " " + kMainClsid + " 1.0.0.5", "ov_register_waiting");
  const std::string server = CachePath("OVSample.dll");
  {
    CFileHolder holder(server);
    ASSERT_TRUE(holder.IsHolding());
    for (int attempt = 1; attempt <= 2; ++attempt) {
      CRecordingListener listener;
      EXPECT_EQ(DLL_CANT_COPYFILE, RunJob("main5", &listener, kMainClsid, "1.0.0.5"));
      EXPECT_TRUE(listener.events.empty()) << "attempt " << attempt;
      EXPECT_TRUE(FileExists(server + ".~ovold"));
      EXPECT_TRUE(FileExists(JournalPath()));
    }
  }
  ASSERT_EQ(SUCCESS, RunJob("main5", nullptr, kMainClsid, "1.0.0.5"));
  ExpectInstalled("1.0.0.5");
}

// A new server whose unregistration takes the process down while a failed
// upgrade is undone: the next recovery does not call it again (it would
// crash again, forever) and puts the old control back.
TEST_F(InstallFaultTest, EntryPointThatCrashedDuringUndoIsNotCalledAgain) {
  ASSERT_EQ(SUCCESS, RunJob("main4"));
  EXPECT_EQ(0xC0000005u,
            RunJobProcess(CodebaseFor("crash5") + " " + kMainClsid + " 1.0.0.5", nullptr));
  ASSERT_TRUE(FileExists(JournalPath()));
  RecoverOnly();  // in this process: a second call would end the test here
  ExpectInstalled("1.0.0.4");
}

}  // namespace
