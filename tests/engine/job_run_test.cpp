// Whole jobs that end before the install stage: every result code of the
// download, signature and extraction stages as the job returns it, what
// the listener saw, and a work folder that is gone afterwards.
#include <windows.h>

#include <string>
#include <vector>

#include "install_test_support.h"
#include "install_worker.h"

namespace {

// A downloaded-controls folder of each test's own: no test relies on one
// that an earlier test program set.
class JobRunTest : public InstallJobTest {};

typedef std::vector<std::string> Events;

const Events kDownloadStart = {"OnInitSetup", "OnPrepareDownload"};

// signed.cab holds four files, 106023 bytes in all, but no setup
// information file: a job on it runs every stage but the install.
const char kSignedCab[] = "pkgs/cabinet/signed.cab";
const Events kSignedFiles = {"OnExtractFile(readme.txt)", "OnExtractFile(bin\\data.bin)",
                             "OnExtractFile(bin\\sub\\deep.txt)", "OnExtractFile(empty.txt)"};

std::string UniqueTag() {
  static int counter = 0;
  return "jobrun" + std::to_string(GetCurrentProcessId()) + "x" + std::to_string(GetTickCount()) +
         "x" + std::to_string(++counter);
}

ResultCode RunWorker(const std::string& codebase, CRecordingListener& listener) {
  ResultCode result = RunInstallWorker(kMainClsid, codebase.c_str(), "1.0.0.4", &listener);
  EXPECT_FALSE(WorkFolderExists()) << codebase;
  return result;
}

Events Concat(Events a, const Events& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Events DownloadedEvents(int64_t size) {
  return Concat(kDownloadStart, {"OnStartDownload(" + std::to_string(size) + ")", "OnDownloadComplete"});
}

TEST_F(JobRunTest, NullCodebaseEndsRightAfterTheStart) {
  CRecordingListener listener;
  EXPECT_EQ(COMMON_INVALID_PARAM, RunInstallWorker(kMainClsid, nullptr, "", &listener));
  EXPECT_FALSE(WorkFolderExists());
  EXPECT_EQ(Events{"OnInitSetup"}, listener.events);
}

TEST_F(JobRunTest, UntrustedHostFailsBeforeAnyRequest) {
  const std::string tag = UniqueTag();
  for (const char* host : {"http://cdn.example.com/", "http://ovelin.net.example.com/",
                           "http://cdn.example.com?.ovelin.net/"}) {
    CRecordingListener listener;
    EXPECT_EQ(DLL_INVALID_DOMAIN, RunWorker(host + tag + "/main4.cab", listener)) << host;
    EXPECT_EQ(kDownloadStart, listener.events) << host;
  }
  EXPECT_EQ(0, CountRequests(tag));
}

TEST_F(JobRunTest, PackagesThatCannotBeFetchedEndTheDownload) {
  struct Case {
    std::string url;
    ResultCode expected;
    Events events;
  };
  const std::string tag = "tag/" + UniqueTag() + "/";
  const Case cases[] = {
      {"https://cdn.ovelin.net/" + tag + kSignedCab, DLL_CANT_GETFILESIZE, kDownloadStart},
      {ServerUrl(tag + "nolength/" + kSignedCab), DLL_CANT_GETFILESIZE, kDownloadStart},
      {ServerUrl(tag + "status/302/" + kSignedCab), DLL_CANT_GETFILESIZE, kDownloadStart},
      {ServerUrl(tag + "status/404/" + kSignedCab), DLL_CANT_GETFILESIZE, kDownloadStart},
      {ServerUrl(tag + "after/1/404/gen/100/a.cab"), DLL_CANT_OPENURL,
       Concat(kDownloadStart, {"OnStartDownload(100)"})},
      {ServerUrl(tag + "truncate/10000/gen/30000/a.cab"), DLL_CANT_READURL,
       Concat(kDownloadStart, {"OnStartDownload(30000)"})},
  };
  for (const Case& c : cases) {
    CRecordingListener listener;
    EXPECT_EQ(c.expected, RunWorker(c.url, listener)) << c.url;
    EXPECT_EQ(c.events, listener.events) << c.url;
  }
}

// A signed program passes the platform's check but is no signed cabinet.
TEST_F(JobRunTest, UnsignedPackageIsRefusedBeforeExtraction) {
  for (const char* package :
       {"pkgs/cabinet/unsigned.cab", "pkgs/cabinet/notcab.bin", "pkgs/cabinet/program.cab"}) {
    CRecordingListener listener;
    EXPECT_EQ(DLL_INVALID_SIGNCODE, RunWorker(ServerUrl(package), listener)) << package;
    EXPECT_EQ(DownloadedEvents(ServedFileSize(package)), listener.events) << package;
    EXPECT_EQ(ServedFileSize(package), listener.downloaded) << package;
  }
}

TEST_F(JobRunTest, EscapingCabinetNameFailsTheExtraction) {
  CRecordingListener listener;
  EXPECT_EQ(DLL_CANT_EXTRACTFILE, RunWorker(ServerUrl("pkgs/cabinet/hostile_parent.cab"), listener));
  EXPECT_EQ("OnPrepareExtract",
            listener.events.at(DownloadedEvents(0).size()));
  EXPECT_EQ(Events{}, listener.InstallEvents()) << "never completes";
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\escape.txt"));
}

TEST_F(JobRunTest, EveryStageReportsTheWholePackage) {
  const int64_t size = ServedFileSize(kSignedCab);
  CRecordingListener listener;
  // The package has no setup information file, so the job ends there.
  EXPECT_EQ(DLL_LOADINF_MISSING_INFFILE, RunWorker(ServerUrl(kSignedCab), listener));
  Events expected = Concat(DownloadedEvents(size), {"OnPrepareExtract", "OnStartExtract(4,106023)"});
  expected = Concat(Concat(expected, kSignedFiles), {"OnExtractComplete"});
  EXPECT_EQ(expected, listener.events);
  EXPECT_EQ(size, listener.downloaded);
  EXPECT_EQ(106023, listener.unpacked);
}

// A cancel at any poll of the download (one before the transfer, one
// before every read) or of the extraction ends the job with 5004 there.
TEST_F(JobRunTest, CancelAtEachPollBeforeTheInstall) {
  CRecordingListener clean;
  EXPECT_EQ(DLL_LOADINF_MISSING_INFFILE, RunWorker(ServerUrl(kSignedCab), clean));
  const int total = clean.polls;
  const int64_t size = ServedFileSize(kSignedCab);
  std::string seen;
  for (const std::string& event : clean.events) seen += event + " ";
  ASSERT_EQ(1 + size / 8192 + 1 + 8, total) << seen << clean.downloaded;
  for (int poll = 1; poll <= total; ++poll) {
    CRecordingListener listener;
    listener.cancelAtPoll = poll;
    EXPECT_EQ(DLL_USERCANCEL, RunWorker(ServerUrl(kSignedCab), listener)) << poll;
    EXPECT_EQ("Cancelled", listener.events.back()) << poll;
    EXPECT_EQ(poll, listener.polls);
  }
}

}  // namespace
