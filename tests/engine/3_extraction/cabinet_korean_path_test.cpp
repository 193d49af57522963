// Run as a Korean user (code page 949): package paths are ANSI texts in that
// code page, and both the signature check (which converts the path to
// UTF-16) and the cabinet reader must find the package under them.
#include <windows.h>

#include <gtest/gtest.h>

#include "cabinet_test_support.h"
#include "install_job.h"
#include "platform_verdict.h"

namespace {

// "패키지" (package) in code page 949.
const char kPackageWord[] = "\xC6\xD0\xC5\xB0\xC1\xF6";

TEST(CabinetKoreanPath, PackageUnderKoreanNamesIsVerifiedAndExtracted) {
  ASSERT_EQ(GetACP(), 949u);
  CScratchFolder work(kPackageWord);
  const std::string package = work / (std::string(kPackageWord) + ".cab");
  ASSERT_TRUE(CopyFileA(PackageFile("cabinet/signed.cab").c_str(), package.c_str(), FALSE));

  int32_t status = -1;
  ASSERT_TRUE(VerifyPackageSignature(package.c_str(), INVALID_HANDLE_VALUE, status));
  EXPECT_EQ(status, 0);

  CRecordingListener listener;
  std::string folder;
  ASSERT_EQ(CInstallJob(work.Path().c_str(), &listener).Extract(package.c_str(), folder), SUCCESS);
  EXPECT_EQ(folder, package + "_Extract");
  EXPECT_EQ(ReadWholeFile(folder + "\\bin\\data.bin").size(), 100000u);
}

}  // namespace
