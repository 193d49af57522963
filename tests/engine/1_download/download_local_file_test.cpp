// CLocalFile and the file-time helpers, on real files of the test prefix.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "cabinet_test_support.h"
#include "download_test_support.h"
#include "local_file.h"

namespace {

FILETIME MakeFileTime(WORD year, WORD month, WORD day) {
  SYSTEMTIME time = {};
  time.wYear = year;
  time.wMonth = month;
  time.wDay = day;
  time.wHour = 12;
  FILETIME fileTime = {};
  SystemTimeToFileTime(&time, &fileTime);
  return fileTime;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

class LocalFile : public ::testing::Test {
 protected:
  CScratchFolder folder_{"ovdl-file"};
};

TEST_F(LocalFile, OpenModesCreateTruncateOrKeepAsNamed) {
  struct Case {
    CLocalFile::OpenMode mode;
    bool fileExists;
    bool opens;
    const char* contentAfterWrite;  // "old" is there before, "new" is written
  };
  const Case cases[] = {
      {CLocalFile::OpenOrCreateForWrite, false, true, "new"},
      {CLocalFile::OpenOrCreateForWrite, true, true, "newcontent"},
      {CLocalFile::CreateForWrite, false, true, "new"},
      {CLocalFile::CreateForWrite, true, true, "new"},
      {CLocalFile::ExistingForWrite, false, false, nullptr},
      {CLocalFile::ExistingForWrite, true, true, "newcontent"},
      {CLocalFile::ExistingForRead, false, false, nullptr},
      {CLocalFile::CreateForReadWrite, true, true, "new"},
  };
  for (const Case& c : cases) {
    const std::string path = folder_ / "f.bin";
    DeleteFileA(path.c_str());
    if (c.fileExists) {
      ASSERT_TRUE(WriteWholeFile(path, "oldcontent"));
    }
    CLocalFile file;
    EXPECT_EQ(file.Open(path.c_str(), c.mode, FILE_ATTRIBUTE_NORMAL), c.opens) << c.mode;
    EXPECT_EQ(file.IsOpen(), c.opens) << c.mode;
    if (!c.opens) continue;
    EXPECT_TRUE(file.Write("new", 3)) << c.mode;
    file.Close();
    EXPECT_EQ(ReadWholeFile(path), c.contentAfterWrite) << c.mode;
  }
}

TEST_F(LocalFile, SecondOpenIsRefusedAndKeepsTheFirstHandle) {
  const std::string first = folder_ / "first.bin";
  const std::string second = folder_ / "second.bin";
  CLocalFile file;
  ASSERT_TRUE(file.Open(first.c_str(), CLocalFile::CreateForWrite, FILE_ATTRIBUTE_NORMAL));
  EXPECT_FALSE(file.Open(second.c_str(), CLocalFile::CreateForWrite, FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(file.Write("one", 3));
  file.Close();
  EXPECT_EQ(ReadWholeFile(first), "one");
  EXPECT_FALSE(FileExists(second));
}

// Only last-write times are compared: Wine cannot give a file on this
// host's file system a creation time of its own choosing.
TEST_F(LocalFile, LastWriteTimeTravelsFromOneFileToAnother) {
  const std::string source = folder_ / "source.bin";
  const std::string target = folder_ / "target.bin";
  ASSERT_TRUE(WriteWholeFile(source, "s"));
  ASSERT_TRUE(WriteWholeFile(target, "t"));
  const FILETIME written = MakeFileTime(2009, 10, 11);
  ASSERT_TRUE(WriteFileTimes(source.c_str(), MakeFileTime(2003, 4, 5), written));

  FILETIME creation = {}, lastWrite = {};
  ASSERT_TRUE(ReadFileTimes(source.c_str(), creation, lastWrite));
  EXPECT_TRUE(SameTime(lastWrite, written));
  ASSERT_TRUE(WriteFileTimes(target.c_str(), creation, lastWrite));
  FILETIME targetCreation = {}, targetWrite = {};
  ASSERT_TRUE(ReadFileTimes(target.c_str(), targetCreation, targetWrite));
  EXPECT_TRUE(SameTime(targetWrite, written));
  EXPECT_EQ(ReadWholeFile(target), "t");
}

// Reading times must not need write access: the file may be read-only or
// held open by a reader that shares it for reading only (a loaded module,
// a scanner), and the installed copy must still carry its times.
TEST_F(LocalFile, TimesCanBeReadWhileOthersOnlyShareReading) {
  const std::string path = folder_ / "held.bin";
  ASSERT_TRUE(WriteWholeFile(path, "r"));
  const FILETIME written = MakeFileTime(2011, 2, 3);
  ASSERT_TRUE(WriteFileTimes(path.c_str(), written, written));
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  FILETIME creation = {}, lastWrite = {};
  EXPECT_TRUE(ReadFileTimes(path.c_str(), creation, lastWrite));
  EXPECT_TRUE(SameTime(lastWrite, written));
  CloseHandle(reader);
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
