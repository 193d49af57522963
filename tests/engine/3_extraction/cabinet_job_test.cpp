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
    return job.Run(kClsid, Codebase(package).c_str(), "1.0.0.0");
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

// The platform passes a signed program; it is no signed cabinet, so the
// engine's own check refuses it before the cabinet reader sees it.
TEST_F(CabinetJobTest, SignedProgramServedAsPackageIsRefusedBeforeExtraction) {
  CRecordingListener listener;
  EXPECT_EQ(Run("program.cab", listener), DLL_INVALID_SIGNCODE);
  EXPECT_EQ(listener.events.back(), "DownloadComplete");
  EXPECT_FALSE(FileExists(ExtractionFolder("program.cab")));
}

// Every package of make_packages.py's altered/ folder: one byte changed in
// a file's data, in the header, in the signature, a truncated file, two
// header fields that the digest leaves out, and 21 flips of the compressed
// data of the kind that makes a cabinet reader fault. Whatever
// the platform's verdict, the job ends 5002 and the extraction stage never
// begins, so no extraction folder is ever made.
TEST_F(CabinetJobTest, PackagesAlteredAfterSigningNeverReachTheCabinetReader) {
  std::vector<std::string> names;
  const std::string list = ReadWholeFile(PackageFile("cabinet/altered/list.txt"));
  for (size_t start = 0, end; (end = list.find('\n', start)) != std::string::npos; start = end + 1)
    names.push_back(list.substr(start, end - start));
  ASSERT_EQ(names.size(), 6u + 21u);
  for (const std::string& name : names) {
    const std::string package = "altered/" + name + ".cab";
    CRecordingListener listener;
    EXPECT_EQ(Run(package.c_str(), listener), DLL_INVALID_SIGNCODE) << name;
    EXPECT_EQ(listener.events.back(), "DownloadComplete") << name;
    EXPECT_TRUE(listener.From("PrepareExtract").empty()) << name;
    EXPECT_FALSE(FileExists(work_ / (name + ".cab_Extract"))) << name;
  }
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

// From its download to the end of its extraction the package can be
// neither written, renamed nor deleted: what was checked is unpacked.
TEST(CabinetJobPackage, CannotBeSwappedBetweenItsCheckAndItsExtraction) {
  CScratchFolder work("ovcabheld");
  std::string path;
  {
    CInstallJob job(work.Path().c_str(), nullptr);
    int32_t timeStamp = 0;
    ASSERT_EQ(job.Download(Codebase("signed.cab").c_str(), path, timeStamp), SUCCESS);
    const auto swappable = [&path] {
      HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
      return file != INVALID_HANDLE_VALUE || MoveFileA(path.c_str(), (path + ".moved").c_str()) ||
             DeleteFileA(path.c_str());
    };
    EXPECT_FALSE(swappable());
    EXPECT_EQ(job.VerifySignature(), SUCCESS);
    EXPECT_FALSE(swappable());
    std::string folder;
    EXPECT_EQ(job.Extract(path.c_str(), folder), SUCCESS);
    EXPECT_FALSE(swappable());
  }
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}
