// Counting and extracting real cabinets (gcab's MSZIP with sub-folders, and
// cabinets written byte by byte for names, times and attributes), alone and
// as the extraction stage of an install job.
#include <windows.h>

#include <gtest/gtest.h>

#include "cabinet_counter.h"
#include "cabinet_extractor.h"
#include "cabinet_test_support.h"
#include "install_job.h"

namespace {

// The files of signed.cab in cabinet order, with their sizes.
const struct {
  const char* stored;
  const char* source;
  int32_t size;
} kSignedFiles[] = {
    {"readme.txt", "readme.txt", 23},
    {"bin\\data.bin", "bin/data.bin", 100000},
    {"bin\\sub\\deep.txt", "bin/sub/deep.txt", 6000},
    {"empty.txt", "empty.txt", 0},
};

// What the listener hears while signed.cab is extracted without a cancel.
std::vector<std::string> SignedExtractionEvents() {
  std::vector<std::string> events = {"PrepareExtract", "StartExtract 4 106023"};
  for (const auto& file : kSignedFiles) {
    events.push_back("Poll");
    events.push_back(std::string("ExtractFile ") + file.stored);
    if (file.size > 0) events.push_back("ExtractProgress " + std::to_string(file.size));
    events.push_back("Poll");
  }
  events.push_back("ExtractComplete");
  return events;
}

// A UTC time as a FILETIME, for comparing with the times of extracted files.
FILETIME Utc(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME system = {year, month, 0, day, hour, minute, second, 0};
  FILETIME time = {};
  SystemTimeToFileTime(&system, &time);
  return time;
}

void ExpectFileTimes(const std::string& path, const FILETIME& expected) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) << path;
  EXPECT_EQ(CompareFileTime(&data.ftLastWriteTime, &expected), 0) << path;
  EXPECT_EQ(CompareFileTime(&data.ftCreationTime, &expected), 0) << path;
}

class CabinetTest : public ::testing::Test {
 protected:
  // Copies a package of the package root into the scratch folder as pkg.cab.
  std::string Fetch(const char* relative) {
    const std::string path = work_ / "pkg.cab";
    EXPECT_TRUE(CopyFileA(PackageFile(relative).c_str(), path.c_str(), FALSE)) << relative;
    return path;
  }
  std::string ExtractionFolder() const { return work_ / "pkg.cab_Extract"; }

  CScratchFolder work_{"ovcab"};
};

TEST_F(CabinetTest, CounterCountsFilesAndUncompressedBytes) {
  const struct {
    const char* package;
    int32_t files;
    int32_t bytes;
  } cases[] = {
      {"cabinet/signed.cab", 4, 106023},
      {"cabinet/times.cab", 3, 33},
  };
  for (const auto& c : cases) {
    CCabinetCounter counter;
    ASSERT_TRUE(counter.Open(Fetch(c.package).c_str())) << c.package;
    int32_t files = -1, bytes = -1;
    ASSERT_TRUE(counter.Count(files, bytes)) << c.package;
    EXPECT_EQ(files, c.files) << c.package;
    EXPECT_EQ(bytes, c.bytes) << c.package;
  }
}

TEST_F(CabinetTest, CounterFailsOnFilesThatAreNoCabinet) {
  for (const char* package : {"cabinet/program.cab", "cabinet/notcab.bin"}) {
    CCabinetCounter counter;
    ASSERT_TRUE(counter.Open(Fetch(package).c_str())) << package;
    int32_t files = -1, bytes = -1;
    EXPECT_FALSE(counter.Count(files, bytes)) << package;
    EXPECT_EQ(files, -1);
    EXPECT_EQ(bytes, -1);
  }
}

TEST_F(CabinetTest, BareCabinetNameIsFoundInTheCurrentFolder) {
  Fetch("cabinet/signed.cab");
  char previous[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(work_.Path().c_str()));
  CCabinetCounter counter;
  int32_t files = 0, bytes = 0;
  const bool counted = counter.Open("pkg.cab") && counter.Count(files, bytes);
  SetCurrentDirectoryA(previous);
  EXPECT_TRUE(counted);
  EXPECT_EQ(files, 4);
}

TEST_F(CabinetTest, ExtractStageUnpacksEveryFileAndReportsItsProgress) {
  const std::string package = Fetch("cabinet/signed.cab");
  CRecordingListener listener;
  CInstallJob job(work_.Path().c_str(), &listener);
  std::string folder;
  ASSERT_EQ(job.Extract(package.c_str(), folder), SUCCESS);

  EXPECT_EQ(folder, ExtractionFolder());
  EXPECT_EQ(listener.events, SignedExtractionEvents());
  // Reported per block written, not once per file.
  EXPECT_GE(listener.extractProgressCalls, 5);
  for (const auto& file : kSignedFiles) {
    const std::string extracted = ReadWholeFile(folder + "\\" + file.stored);
    EXPECT_EQ(extracted.size(), static_cast<size_t>(file.size)) << file.stored;
    EXPECT_EQ(extracted, ReadWholeFile(PackageFile(std::string("cabinet/signed.src/") + file.source)))
        << file.stored;
  }
  EXPECT_TRUE(FileExists(folder + "\\empty.txt"));
}

TEST_F(CabinetTest, ExtractStageWithoutListenerSkipsTheCount) {
  const std::string package = Fetch("cabinet/signed.cab");
  CInstallJob job(work_.Path().c_str(), nullptr);
  std::string folder;
  ASSERT_EQ(job.Extract(package.c_str(), folder), SUCCESS);
  EXPECT_EQ(ReadWholeFile(folder + "\\bin\\sub\\deep.txt").size(), 6000u);
}

// Run with TZ=Asia/Seoul (UTC+9, no daylight saving): a stored time is the
// packer's local time unless bit 0x0100 of its attributes marks it as UTC.
TEST_F(CabinetTest, ExtractedFilesKeepTheirStoredTimes) {
  {
    // An extractor holds its cabinet open until it goes.
    CCabinetExtractor extractor(nullptr);
    ASSERT_TRUE(extractor.Open(Fetch("cabinet/times.cab").c_str()));
    ASSERT_EQ(extractor.ExtractTo(ExtractionFolder().c_str()), SUCCESS);
  }
  ExpectFileTimes(ExtractionFolder() + "\\local.txt", Utc(2020, 5, 6, 3, 34, 56));
  ExpectFileTimes(ExtractionFolder() + "\\utc.txt", Utc(2020, 5, 6, 12, 34, 56));
  // Stored attributes are not applied: the read-only file can be removed.
  const DWORD attributes = GetFileAttributesA((ExtractionFolder() + "\\readonly.txt").c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(attributes & FILE_ATTRIBUTE_READONLY, 0u);

  CCabinetExtractor gcabExtractor(nullptr);
  const std::string second = work_ / "second";
  ASSERT_TRUE(gcabExtractor.Open(Fetch("cabinet/signed.cab").c_str()));
  ASSERT_EQ(gcabExtractor.ExtractTo(second.c_str()), SUCCESS);
  ExpectFileTimes(second + "\\bin\\sub\\deep.txt", Utc(2021, 3, 14, 6, 9, 26));
}

// Each package holds harmless.txt, then a name that points outside.
TEST_F(CabinetTest, NamesLeavingTheExtractionFolderFailWithNothingOutside) {
  const struct {
    const char* package;
    const char* stored;
  } cases[] = {
      {"cabinet/hostile_parent.cab", "..\\escape.txt"},
      {"cabinet/hostile_deep_parent.cab", "sub\\..\\..\\..\\escape.txt"},
      {"cabinet/hostile_slash_parent.cab", "sub/../../escape.txt"},
      {"cabinet/hostile_rooted.cab", "\\rooted.txt"},
      {"cabinet/hostile_drive.cab", "C:\\drive.txt"},
      {"cabinet/hostile_drive_relative.cab", "C:drive.txt"},
      {"cabinet/hostile_dots_parent.cab", "sub\\...\\...\\escape.txt"},
  };
  char driveRelative[MAX_PATH];
  GetFullPathNameA("C:drive.txt", MAX_PATH, driveRelative, nullptr);
  const std::string outside[] = {work_ / "escape.txt", GetParentPath(work_.Path().c_str(), true) + "\\escape.txt",
                                 "C:\\drive.txt", driveRelative, "C:\\rooted.txt"};
  for (const auto& c : cases) {
    CRecordingListener listener;
    CInstallJob job(work_.Path().c_str(), &listener);
    std::string folder;
    EXPECT_EQ(job.Extract(Fetch(c.package).c_str(), folder), DLL_CANT_EXTRACTFILE) << c.package;
    EXPECT_TRUE(FileExists(folder + "\\harmless.txt")) << c.package;
    for (const auto& event : listener.events) EXPECT_NE(event, std::string("ExtractFile ") + c.stored);
    for (const auto& path : outside) EXPECT_FALSE(FileExists(path)) << c.package << " wrote " << path;
    RemoveDirectoryTree(folder.c_str());
  }
}

// signed.cab asks IsCancelled eight times: at the start and at the end of
// each of its four files. A cancel at any of them ends the extraction with
// 5004 there, and no file is left open.
TEST_F(CabinetTest, CancelAtEachPollEndsTheExtraction) {
  const std::vector<std::string> full = SignedExtractionEvents();
  for (int poll = 1; poll <= 8; ++poll) {
    CRecordingListener listener(poll);
    CInstallJob job(work_.Path().c_str(), &listener);
    std::string folder;
    EXPECT_EQ(job.Extract(Fetch("cabinet/signed.cab").c_str(), folder), DLL_USERCANCEL) << poll;
    EXPECT_EQ(listener.polls, poll);

    // Everything up to and including the cancelled poll, nothing after it.
    std::vector<std::string> expected;
    int seen = 0;
    for (const auto& event : full) {
      expected.push_back(event);
      if (event == "Poll" && ++seen == poll) break;
    }
    EXPECT_EQ(listener.events, expected) << poll;

    // A cancel at a file's end comes after all of it was written; the file
    // is closed, so it can be deleted.
    if (poll % 2 == 0) {
      const auto& file = kSignedFiles[poll / 2 - 1];
      const std::string path = folder + "\\" + file.stored;
      EXPECT_EQ(ReadWholeFile(path).size(), static_cast<size_t>(file.size)) << poll;
      EXPECT_TRUE(DeleteFileA(path.c_str())) << poll << ": " << path << " still open";
    }
    RemoveDirectoryTree(folder.c_str());
  }
}

TEST_F(CabinetTest, PathsBeyondTheFixedBuffersAreRefused) {
  const std::string longName(300, 'x');
  CCabinetCounter counter;
  EXPECT_FALSE(counter.Open((work_ / longName).c_str()));
  EXPECT_FALSE(counter.IsReady());
  CRecordingListener listener;
  std::string folder;
  EXPECT_EQ(CInstallJob(work_.Path().c_str(), &listener).Extract((work_ / longName).c_str(), folder),
            DLL_CANT_OPEN_EXTRACTFILE);

  CCabinetExtractor extractor(nullptr);
  EXPECT_EQ(extractor.ExtractTo(work_.Path().c_str()), DLL_CANT_OPEN_EXTRACTFILE);  // not open yet
  ASSERT_TRUE(extractor.Open(Fetch("cabinet/signed.cab").c_str()));
  EXPECT_EQ(extractor.ExtractTo((work_ / longName).c_str()), DLL_CANT_OPEN_EXTRACTFILE);
}

// altered.cab has a data block whose checksum no longer matches;
// badmethod.cab a folder packed with a method that does not exist.
TEST_F(CabinetTest, DamagedCabinetsFailTheCountAndTheExtraction) {
  for (const char* package : {"cabinet/altered.cab", "cabinet/badmethod.cab"}) {
    {
      CCabinetCounter counter;
      ASSERT_TRUE(counter.Open(Fetch(package).c_str())) << package;
      int32_t files = 0, bytes = 0;
      EXPECT_FALSE(counter.Count(files, bytes)) << package;
    }
    CCabinetExtractor extractor(nullptr);
    ASSERT_TRUE(extractor.Open(Fetch(package).c_str())) << package;
    EXPECT_EQ(extractor.ExtractTo(ExtractionFolder().c_str()), DLL_CANT_EXTRACTFILE) << package;
  }
}

// When the reader gives up on a file it has asked for, it hands the file's
// handle back to be closed: the file is closed at once, not when the
// extractor goes.
TEST_F(CabinetTest, FileAbandonedByTheReaderIsClosedAtOnce) {
  CCabinetExtractor extractor(nullptr);
  ASSERT_TRUE(extractor.Open(Fetch("cabinet/badmethod.cab").c_str()));
  ASSERT_EQ(extractor.ExtractTo(ExtractionFolder().c_str()), DLL_CANT_EXTRACTFILE);
  const std::string abandoned = ExtractionFolder() + "\\first.txt";
  ASSERT_TRUE(FileExists(abandoned));
  EXPECT_TRUE(DeleteFileA(abandoned.c_str()));
}

TEST_F(CabinetTest, NonCabinetPackageFailsTheCount) {
  CRecordingListener listener;
  CInstallJob job(work_.Path().c_str(), &listener);
  std::string folder;
  EXPECT_EQ(job.Extract(Fetch("cabinet/program.cab").c_str(), folder), DLL_CANT_ANALYZE_CABFILECOUNT);
  EXPECT_EQ(listener.events, std::vector<std::string>{"PrepareExtract"});
  EXPECT_TRUE(folder.empty());
  EXPECT_FALSE(FileExists(ExtractionFolder()));
}

}  // namespace
