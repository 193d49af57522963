// Run with Cabinet.dll disabled (WINEDLLOVERRIDES=cabinet=d): the cabinet
// reader cannot be had, and the extraction stage says so with 5012.
#include <windows.h>

#include <gtest/gtest.h>

#include "cabinet_counter.h"
#include "cabinet_extractor.h"
#include "cabinet_test_support.h"
#include "install_job.h"

namespace {

TEST(CabinetUnavailable, ReadersCannotOpen) {
  const std::string package = PackageFile("cabinet/signed.cab");
  CCabinetCounter counter;
  EXPECT_FALSE(counter.Open(package.c_str()));
  CCabinetExtractor extractor(nullptr);
  EXPECT_FALSE(extractor.Open(package.c_str()));
  EXPECT_EQ(extractor.ExtractTo("C:\\unused"), DLL_CANT_OPEN_EXTRACTFILE);
}

TEST(CabinetUnavailable, ExtractStageFailsWithAndWithoutListener) {
  CScratchFolder work("ovcabnone");
  const std::string package = work / "pkg.cab";
  ASSERT_TRUE(CopyFileA(PackageFile("cabinet/signed.cab").c_str(), package.c_str(), FALSE));

  CRecordingListener listener;
  std::string folder;
  EXPECT_EQ(CInstallJob(work.Path().c_str(), &listener).Extract(package.c_str(), folder),
            DLL_CANT_OPEN_EXTRACTFILE);
  EXPECT_EQ(listener.events, std::vector<std::string>{"PrepareExtract"});

  EXPECT_EQ(CInstallJob(work.Path().c_str(), nullptr).Extract(package.c_str(), folder),
            DLL_CANT_OPEN_EXTRACTFILE);
  EXPECT_TRUE(folder.empty());
  EXPECT_FALSE(FileExists(package + "_Extract"));
}

TEST(CabinetUnavailable, WholeJobEndsWithCantOpenExtractFile) {
  CScratchFolder work("ovcabnonejob");
  CRecordingListener listener;
  CInstallJob job(work.Path().c_str(), &listener);
  EXPECT_EQ(job.Run("{0B1D2C3E-4F50-4617-8293-A4B5C6D7E8F9}",
                    "http://cdn." OV_PORTAL_DOMAIN ".net/pkgs/cabinet/signed.cab", nullptr),
            DLL_CANT_OPEN_EXTRACTFILE);
  EXPECT_EQ(listener.From("DownloadComplete"), (std::vector<std::string>{"DownloadComplete", "PrepareExtract"}));
  EXPECT_FALSE(FileExists(work / "signed.cab_Extract"));
}

}  // namespace
