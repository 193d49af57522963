// Run under a file size limit of 128 KiB (bash's ulimit -f 128, SIGXFSZ
// ignored), so that writing past it fails for real, as on a full disk.
// zeros.cab holds small.txt, then zeros.bin of 256 KiB, which cannot be
// written whole.
#include <windows.h>

#include <gtest/gtest.h>

#include "cabinet_extractor.h"
#include "cabinet_test_support.h"
#include "install_job.h"

namespace {

// This platform's FDI ignores the failed write and, zeros.bin being the
// last file, still reports success: the extractor's own record decides.
TEST(CabinetWriteFailure, FailedWriteOfTheLastFileFailsTheExtraction) {
  CScratchFolder work("ovcabfull");
  const std::string package = work / "zeros.cab";
  ASSERT_TRUE(CopyFileA(PackageFile("cabinet/zeros.cab").c_str(), package.c_str(), FALSE));

  CRecordingListener listener;
  std::string folder;
  EXPECT_EQ(CInstallJob(work.Path().c_str(), &listener).Extract(package.c_str(), folder), DLL_CANT_EXTRACTFILE);
  // Nothing after the blocks that could be written: no poll at the end of
  // zeros.bin, no completion.
  std::vector<std::string> events = listener.From("PrepareExtract");
  ASSERT_EQ(events.size(), 9u);
  const std::string written = events.back();
  events.pop_back();
  EXPECT_EQ(events, (std::vector<std::string>{"PrepareExtract", "StartExtract 2 262154", "Poll", "ExtractFile small.txt",
                                              "ExtractProgress 10", "Poll", "Poll", "ExtractFile zeros.bin"}));
  ASSERT_EQ(written.compare(0, 16, "ExtractProgress "), 0) << written;
  EXPECT_LE(std::stoi(written.substr(16)), 128 * 1024);
  EXPECT_EQ(ReadWholeFile(folder + "\\small.txt").size(), 10u);
}

}  // namespace
