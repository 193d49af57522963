// Whole install jobs whose package is served by the package server and fails
// at, or is cancelled in, the signature or the extraction stage.
#include <windows.h>

#include <gtest/gtest.h>

#include "cabinet_test_support.h"
#include "install_job.h"

namespace {

const char kClsid[] = "{0B1D2C3E-4F50-4617-8293-A4B5C6D7E8F9}";

std::string Codebase(const char* package) {
  return std::string("http://cdn." OV_PORTAL_DOMAIN ".net/pkgs/cabinet/") + package;
}

class CabinetJobTest : public ::testing::Test {
 protected:
  ResultCode Run(const char* package, CRecordingListener& listener) {
    CInstallJob job(work_.Path().c_str(), &listener);
    return job.Run(Codebase(package).c_str(), kClsid, "1.0.0.0");
  }
  // The package's extraction folder; the job removes it on every path.
  std::string ExtractionFolder(const char* package) const { return work_ / (std::string(package) + "_Extract"); }

  CScratchFolder work_{"ovcabjob"};
};

TEST_F(CabinetJobTest, UnsignedPackageEndsBeforeExtraction) {
  CRecordingListener listener;
  EXPECT_EQ(Run("unsigned.cab", listener), DLL_INVALID_SIGNCODE);
  ASSERT_FALSE(listener.events.empty());
  EXPECT_EQ(listener.events.back(), "DownloadComplete");
  EXPECT_FALSE(FileExists(ExtractionFolder("unsigned.cab")));
}

// A signed program passes the signature stage; it is no cabinet, so the
// count fails before anything is extracted.
TEST_F(CabinetJobTest, SignedProgramServedAsPackageFailsTheCount) {
  CRecordingListener listener;
  EXPECT_EQ(Run("program.cab", listener), DLL_CANT_ANALYZE_CABFILECOUNT);
  EXPECT_EQ(listener.From("DownloadComplete"), (std::vector<std::string>{"DownloadComplete", "PrepareExtract"}));
  EXPECT_FALSE(FileExists(ExtractionFolder("program.cab")));
}

TEST_F(CabinetJobTest, HostileNameFailsExtractionAndLeavesNothingBehind) {
  CRecordingListener listener;
  EXPECT_EQ(Run("hostile_parent.cab", listener), DLL_CANT_EXTRACTFILE);
  EXPECT_EQ(listener.From("PrepareExtract"),
            (std::vector<std::string>{"PrepareExtract", "StartExtract 2 15", "Poll", "ExtractFile harmless.txt",
                                      "ExtractProgress 6", "Poll", "Poll"}));
  EXPECT_FALSE(FileExists(ExtractionFolder("hostile_parent.cab")));
  EXPECT_FALSE(FileExists(work_ / "escape.txt"));
}

// The extraction stage of signed.cab polls eight times: at each of its four
// files' start and end.
TEST_F(CabinetJobTest, CancelAtEachExtractionPollEndsTheJobWithoutAnExtractionFolder) {
  for (int poll = 1; poll <= 8; ++poll) {
    CRecordingListener listener(poll, "PrepareExtract");
    EXPECT_EQ(Run("signed.cab", listener), DLL_USERCANCEL) << poll;
    EXPECT_EQ(listener.polls, poll);
    const std::vector<std::string> extraction = listener.From("PrepareExtract");
    ASSERT_GE(extraction.size(), 2u);
    EXPECT_EQ(extraction[1], "StartExtract 4 106023");
    EXPECT_EQ(extraction.back(), "Poll") << poll;
    EXPECT_FALSE(FileExists(ExtractionFolder("signed.cab"))) << poll;
  }
}

}  // namespace
