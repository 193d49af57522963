#include "path_util.h"

#include "folder_link.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(PathTextTest, DriveLettersAndRoots) {
  const struct {
    const char* path;
    bool hasDrive;
    bool isRoot;
  } cases[] = {
      {"C:", true, true},         {"C:\\", true, true},      {"c:/", true, true},
      {"C:\\\\", true, true},     {"C:/\\/", true, true},    {"C:\\a", true, false},
      {"C:a", true, false},       {"C:\\\\a", true, false},  {"\\\\srv\\share", false, false},
      {"\\a", false, false},      {"a", false, false},       {"", false, false},
      {":", false, false},        {"a:b:", true, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.hasDrive, HasDriveLetter(c.path)) << c.path;
    EXPECT_EQ(c.isRoot, IsDriveRoot(c.path)) << c.path;
  }
  EXPECT_FALSE(HasDriveLetter(nullptr));
  EXPECT_FALSE(IsDriveRoot(nullptr));
}

TEST(PathTextTest, TrailingSeparatorsBackslashesFirstThenSlashes) {
  const struct {
    const char* text;
    const char* trimmed;
  } cases[] = {
      {"C:\\dir\\", "C:\\dir"},   {"C:\\dir\\\\\\", "C:\\dir"}, {"C:\\dir/", "C:\\dir"},
      {"C:\\dir//", "C:\\dir"},   {"C:\\dir/\\", "C:\\dir"},    {"C:\\dir\\/", "C:\\dir\\"},
      {"C:\\dir", "C:\\dir"},     {"\\", ""},                   {"///", ""},
      {"", ""},                   {"a\\b/c", "a\\b/c"},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    TrimTrailingSlashes(text);
    EXPECT_EQ(c.trimmed, text) << c.text;
    char buffer[32];
    strcpy(buffer, c.text);
    TrimTrailingSlashes(buffer);
    EXPECT_STREQ(c.trimmed, buffer) << c.text;
    EXPECT_EQ(c.trimmed, WithoutTrailingSlashes(c.text)) << c.text;
  }
  TrimTrailingSlashes(static_cast<char*>(nullptr));
  EXPECT_EQ("", WithoutTrailingSlashes(nullptr));
}

TEST(PathTextTest, LastSeparatorFileNameAndParent) {
  EXPECT_EQ(std::string::npos, FindLastSlash(nullptr));
  EXPECT_EQ(std::string::npos, FindLastSlash("name.cab"));
  EXPECT_EQ(3u, FindLastSlash("a/b\\c"));
  EXPECT_EQ(3u, FindLastSlash("a\\b/c"));
  EXPECT_EQ(5u, FindLastSlash("a\\b/c/"));
  EXPECT_EQ(0u, FindLastSlash("\\"));

  const struct {
    const char* path;
    const char* fileName;
  } names[] = {
      {"http://cdn.ovelin.net/dir/pkg.cab", "pkg.cab"},
      {"C:\\work\\pkg.cab", "pkg.cab"},
      {"C:\\work\\dir\\", "dir"},
      {"C:\\work\\dir/", "dir"},
      {"pkg.cab", "pkg.cab"},
      {"", ""},
      {"C:", "C:"},
  };
  for (const auto& c : names) EXPECT_EQ(c.fileName, GetFileNameFromPath(c.path)) << c.path;
  EXPECT_EQ("", GetFileNameFromPath(nullptr));

  // A download's local name: the query and fragment name no file.
  const struct {
    const char* url;
    const char* fileName;
  } downloads[] = {
      {"http://cdn.ovelin.net/HelloGame.cab?v=2", "HelloGame.cab"},
      {"http://cdn.ovelin.net/dir/pkg.cab#top", "pkg.cab"},
      {"http://cdn.ovelin.net/dir/pkg.cab?next=/a/b.cab#x", "pkg.cab"},
      {"http://cdn.ovelin.net/dir/pkg.cab", "pkg.cab"},
      {"http://cdn.ovelin.net/dir/", "dir"},
      {"http://cdn.ovelin.net/dir/?v=2", "dir"},
      {"http://cdn.ovelin.net/get?file=pkg.cab", "get"},
      {"?v=2", kDownloadFileName},
      {"http://cdn.ovelin.net/a/..?v=2", kDownloadFileName},
      {"http://cdn.ovelin.net/a*b.cab", kDownloadFileName},
      {"http:", kDownloadFileName},
      {"", kDownloadFileName},
  };
  for (const auto& c : downloads) EXPECT_EQ(c.fileName, GetDownloadFileName(c.url)) << c.url;
  EXPECT_EQ(kDownloadFileName, GetDownloadFileName(nullptr));

  const struct {
    const char* path;
    bool trimFirst;
    const char* parent;
  } parents[] = {
      {"C:\\a\\\\b", false, "C:\\a"},
      {"C:\\a/\\b", false, "C:\\a"},
      {"C:\\a\\b\\", false, "C:\\a\\b"},
      {"C:\\a\\b\\", true, "C:\\a"},
      {"C:\\a", true, "C:"},
      {"\\a", true, ""},
      {"\\\\a", true, ""},
      {"name", true, ""},
      {"", true, ""},
      {"a\\b", true, "a"},
  };
  for (const auto& c : parents) {
    EXPECT_EQ(c.parent, GetParentPath(c.path, c.trimFirst)) << c.path << " " << c.trimFirst;
  }
  EXPECT_EQ("", GetParentPath(nullptr, true));
}

// The one rule every name from a package passes: the cabinet's stored
// names, the setup information file's items and (below a drive's root) the
// folders the engine removes.
TEST(PathTextTest, ContainedNamesStayInsideTheirFolder) {
  const struct {
    const char* name;
    bool contained;
  } cases[] = {
      {"a.dll", true},        {"sub\\a.dll", true},  {"sub/a.dll", true},
      {"sub\\.\\a", true},   {"a..dll", true},        {"..a", true},
      {".hidden", true},      {"a. ", true},
      {"..", false},          {"...", false},          {".. ", false},
      {". .", false},         {"sub\\..\\a", false}, {"sub/../a", false},
      {"sub\\...", false},   {"sub\\.. \\a", false}, {"\\a.dll", false},
      {"/a.dll", false},      {"\\\\server\\a", false}, {"C:a.dll", false},
      {"C:\\a.dll", false},  {"a.dll:stream", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.contained, IsContainedName(c.name)) << c.name;
  EXPECT_FALSE(IsContainedName(nullptr));
}

TEST(PathTextTest, DotEntriesAreDirectoriesNamedDotOrDotDot) {
  const struct {
    DWORD attributes;
    const char* name;
    bool isDot;
  } cases[] = {
      {FILE_ATTRIBUTE_DIRECTORY, ".", true},
      {FILE_ATTRIBUTE_DIRECTORY, "..", true},
      {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN, "..", true},
      {FILE_ATTRIBUTE_DIRECTORY, "...", false},
      {FILE_ATTRIBUTE_DIRECTORY, ".git", false},
      {FILE_ATTRIBUTE_NORMAL, ".", false},
      {FILE_ATTRIBUTE_ARCHIVE, "..", false},
  };
  for (const auto& c : cases) {
    WIN32_FIND_DATAA findData = {};
    findData.dwFileAttributes = c.attributes;
    strcpy(findData.cFileName, c.name);
    EXPECT_EQ(c.isDot, IsDotEntry(findData)) << c.name << " " << c.attributes;
  }
}

namespace {

// Every test works in its own folder under the temporary folder and removes
// it afterwards.
class PathFileTest : public testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
    root_ = WithoutTrailingSlashes(temp) + "\\ovpath-" +
            std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
    ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr)) << root_;
  }
  void TearDown() override {
    SetCurrentDirectoryA(WithoutTrailingSlashes(temp_dir().c_str()).c_str());
    EXPECT_TRUE(RemoveDirectoryTree(root_.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(root_.c_str()));
  }

  static std::string temp_dir() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return temp;
  }
  std::string At(const std::string& relative) const { return root_ + "\\" + relative; }
  static bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  static void WriteFile(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    DWORD written = 0;
    ::WriteFile(file, "data", 4, &written, nullptr);
    CloseHandle(file);
  }

  std::string root_;
};

}  // namespace

TEST_F(PathFileTest, PathTypeOfFoldersFilesAndDrives) {
  WriteFile(At("file.txt"));
  const struct {
    std::string path;
    int type;
  } cases[] = {
      {root_, PathDirectory},
      {At("file.txt"), PathFile},
      {At("missing"), PathMissing},
      {At("missing\\deeper"), PathMissing},
      {"C:\\", PathDirectory},
      {"C:", PathDirectory},
      // A wildcard is no name; the pattern would match the file.
      {At("*"), PathMissing},
      {At("file.tx?"), PathMissing},
      {"", PathMissing},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.type, GetPathType(c.path.c_str())) << c.path;
    EXPECT_EQ(c.type == PathDirectory, IsDirectory(c.path.c_str())) << c.path;
  }
  EXPECT_EQ(PathMissing, GetPathType(nullptr));
  EXPECT_FALSE(IsDirectory(nullptr));
}

TEST_F(PathFileTest, CreateDirectoryTreeCreatesEveryMissingParent) {
  std::string deep = root_;
  for (int level = 0; level < 40; ++level) deep += "\\d" + std::to_string(level % 10);
  ASSERT_LT(deep.size(), static_cast<size_t>(MAX_PATH - 12));
  EXPECT_TRUE(CreateDirectoryTree(deep.c_str()));
  EXPECT_TRUE(IsDirectory(deep.c_str()));
  EXPECT_TRUE(CreateDirectoryTree(deep.c_str()));

  const std::string mixed = At("m1/m2\\m3");
  EXPECT_TRUE(CreateDirectoryTree(mixed.c_str()));
  EXPECT_TRUE(IsDirectory(At("m1\\m2\\m3").c_str()));

  // A trailing separator: created when missing, accepted when present.
  const std::string trailing = At("t1\\t2\\");
  EXPECT_TRUE(CreateDirectoryTree(trailing.c_str()));
  EXPECT_TRUE(IsDirectory(At("t1\\t2").c_str()));
  EXPECT_TRUE(CreateDirectoryTree(trailing.c_str()));
  EXPECT_TRUE(EnsureDirectory(At("t1\\t2\\/").c_str()));
  EXPECT_TRUE(EnsureDirectory(At("e1\\e2//").c_str()));
  EXPECT_TRUE(IsDirectory(At("e1\\e2").c_str()));
  EXPECT_TRUE(EnsureDirectory("C:\\"));
}

TEST_F(PathFileTest, CreateDirectoryTreeFailsWhereNoFolderCanBe) {
  WriteFile(At("file"));
  EXPECT_FALSE(CreateDirectoryTree(At("file").c_str()));
  EXPECT_FALSE(CreateDirectoryTree(At("file\\below").c_str()));
  EXPECT_FALSE(EnsureDirectory(At("file\\").c_str()));
  EXPECT_FALSE(CreateDirectoryTree(nullptr));
  EXPECT_FALSE(CreateDirectoryTree(""));
  EXPECT_FALSE(EnsureDirectory(nullptr));

  // Relative paths have no drive to end the chain of parents at.
  ASSERT_TRUE(SetCurrentDirectoryA(root_.c_str()));
  EXPECT_FALSE(CreateDirectoryTree("rel"));
  EXPECT_FALSE(CreateDirectoryTree("rel\\sub"));
  EXPECT_FALSE(Exists(At("rel")));
}

TEST_F(PathFileTest, RemoveDirectoryTreeRemovesDeepTrees) {
  std::string deep = At("tree");
  ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
  for (int level = 0; level < 30; ++level) {
    deep += "\\L" + std::to_string(level);
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr)) << deep;
    WriteFile(deep + "\\file.bin");
    WriteFile(deep + "\\noextension");
    ASSERT_TRUE(CreateDirectoryA((deep + "\\empty").c_str(), nullptr));
  }
  EXPECT_TRUE(RemoveDirectoryTree(At("tree").c_str()));
  EXPECT_FALSE(Exists(At("tree")));
  EXPECT_TRUE(Exists(root_));

  ASSERT_TRUE(CreateDirectoryA(At("empty").c_str(), nullptr));
  EXPECT_TRUE(RemoveDirectoryTree(At("empty").c_str()));
  EXPECT_FALSE(Exists(At("empty")));

  EXPECT_TRUE(RemoveDirectoryTree(At("missing").c_str()));
  EXPECT_TRUE(RemoveDirectoryTree(At("missing\\deeper").c_str()));
}

TEST_F(PathFileTest, RemoveDirectoryTreeRemovesFolderWrittenWithTrailingSeparator) {
  for (const char* suffix : {"\\", "/", "\\\\", "/\\"}) {
    ASSERT_TRUE(CreateDirectoryTree(At("trail\\sub").c_str()));
    WriteFile(At("trail\\sub\\file"));
    EXPECT_TRUE(RemoveDirectoryTree((At("trail") + suffix).c_str())) << suffix;
    EXPECT_FALSE(Exists(At("trail"))) << suffix;
  }
}

TEST_F(PathFileTest, RemoveDirectoryTreeLeavesFilesAndReadOnlyFilesInPlace) {
  WriteFile(At("file"));
  EXPECT_FALSE(RemoveDirectoryTree(At("file").c_str()));
  EXPECT_TRUE(Exists(At("file")));

  ASSERT_TRUE(CreateDirectoryTree(At("guarded\\inner").c_str()));
  WriteFile(At("guarded\\inner\\locked"));
  ASSERT_TRUE(SetFileAttributesA(At("guarded\\inner\\locked").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(RemoveDirectoryTree(At("guarded").c_str()));
  EXPECT_TRUE(Exists(At("guarded\\inner\\locked")));
  EXPECT_TRUE(IsDirectory(At("guarded\\inner").c_str()));

  ASSERT_TRUE(SetFileAttributesA(At("guarded\\inner\\locked").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(RemoveDirectoryTree(At("guarded").c_str()));
  EXPECT_FALSE(Exists(At("guarded")));
}

TEST_F(PathFileTest, RemoveDirectoryTreeRefusesRootsAndRelativePaths) {
  ASSERT_TRUE(CreateDirectoryTree(At("rel\\sub").c_str()));
  WriteFile(At("rel\\sub\\file"));
  ASSERT_TRUE(SetCurrentDirectoryA(root_.c_str()));
  const std::string withoutDrive = root_.substr(2) + "\\rel";
  const std::string driveRelative = root_.substr(0, 2) + "rel";
  const std::string climbing = At("rel\\sub\\..");
  const std::string current = At("rel\\.\\sub");
  const std::string climbingAsWindowsReads = At("rel\\sub\\...");
  const std::string root = root_.substr(0, 3) + ".";

  for (const std::string& path :
       {std::string("rel"), std::string("rel\\sub"), std::string(".\\rel"), withoutDrive,
        driveRelative, climbing, current, climbingAsWindowsReads, root, std::string("C:."), std::string("C:")}) {
    EXPECT_FALSE(RemoveDirectoryTree(path.c_str())) << path;
  }
  EXPECT_TRUE(Exists(At("rel\\sub\\file")));

  // Drive roots in every spelling; Q: does not exist, so a root that were
  // let through would be reported as already removed.
  for (const char* root : {"C:\\", "C:/", "C:", "Q:\\", "Q:\\\\", "Q:/\\", "Q:"}) {
    EXPECT_FALSE(RemoveDirectoryTree(root)) << root;
  }
  EXPECT_TRUE(IsDirectory("C:\\windows"));
  EXPECT_FALSE(RemoveDirectoryTree(nullptr));
  EXPECT_FALSE(RemoveDirectoryTree(""));
}

// A link planted in a folder, or in its place, goes as a link: the folder
// it points to keeps everything in it.
TEST_F(PathFileTest, RemoveDirectoryTreeNeverEntersALink) {
  ASSERT_TRUE(CreateDirectoryTree(At("target\\inner").c_str()));
  WriteFile(At("target\\kept.txt"));
  WriteFile(At("target\\inner\\kept.txt"));
  ASSERT_TRUE(CreateDirectoryTree(At("work\\sub").c_str()));
  WriteFile(At("work\\sub\\file"));
  std::string why;
  if (!MakeFolderLink(At("work\\sub\\link"), At("target"), why)) GTEST_SKIP() << why;
  ASSERT_TRUE(MakeFolderLink(At("planted"), At("target"), why)) << why;

  for (const char* folder : {"work", "planted"}) {
    // Wine removes no link through Windows calls; there the link stays
    // and the removal reports that something is left.
    const bool removed = RemoveDirectoryTree(At(folder).c_str());
    EXPECT_EQ(removed, !Exists(At(folder))) << folder;
    EXPECT_TRUE(Exists(At("target\\kept.txt"))) << folder;
    EXPECT_TRUE(Exists(At("target\\inner\\kept.txt"))) << folder;
  }
  EXPECT_FALSE(Exists(At("work\\sub\\file")));
  for (const char* link : {"work\\sub\\link", "planted"}) {
    if (Exists(At(link))) {
      EXPECT_TRUE(RemoveFolderLink(At(link))) << link;
    }
  }
}

// Korean players' temporary folders often lie below a Korean user name; the
// helpers work on its bytes in the user's ANSI code page (949).
TEST_F(PathFileTest, FoldersNamedInTheUsersCodePage) {
  char name[64];
  BOOL lossy = FALSE;
  const int length = WideCharToMultiByte(CP_ACP, 0, L"\xC124\xCE58\xD3F4\xB354", -1, name,
                                         sizeof name, nullptr, &lossy);
  if (length == 0 || lossy) GTEST_SKIP() << "the user's code page has no Korean";

  const std::string folder = At(name);
  EXPECT_EQ(name, GetFileNameFromPath((folder + "\\").c_str()));
  EXPECT_EQ(folder, GetParentPath((folder + "\\x").c_str(), true));
  ASSERT_TRUE(CreateDirectoryTree((folder + "\\" + name + "\\" + name).c_str()));
  WriteFile(folder + "\\" + name + "\\" + name + ".cab");
  EXPECT_EQ(PathFile, GetPathType((folder + "\\" + name + "\\" + name + ".cab").c_str()));
  EXPECT_TRUE(IsDirectory((folder + "\\" + name).c_str()));
  EXPECT_TRUE(RemoveDirectoryTree((folder + "\\").c_str()));
  EXPECT_FALSE(Exists(folder));
}
