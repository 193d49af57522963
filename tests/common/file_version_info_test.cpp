// Reads the version resources of the vi_*.dll files built beside this
// program. It runs once as an English and once as a Korean user (OV_LANG);
// each table block names itself in its strings, so the tests see which
// block was chosen for that user.
#include "version.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool IsKoreanRun() {
  const char* lang = getenv("OV_LANG");
  return lang != nullptr && strcmp(lang, "ko") == 0;
}

std::string TestFile(const char* name) {
  char self[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path(self, length);
  return path.substr(0, path.find_last_of('\\') + 1) + name;
}

std::string Text(const char* member) { return member != nullptr ? member : "(null)"; }

// Every member holds "<value name> <block>"; FileVersion holds the block's
// language and code page in decimal.
void ExpectStringsOfBlock(const CFileVersionInfo& info, const std::string& block,
                          const char* dll) {
  SCOPED_TRACE(std::string(dll) + " read as block " + block);
  const unsigned language = std::stoul(block.substr(0, 4), nullptr, 16);
  const unsigned codePage = std::stoul(block.substr(4, 4), nullptr, 16);
  EXPECT_EQ("1.0." + std::to_string(language) + "." + std::to_string(codePage),
            Text(info.FileVersion));
  const struct {
    const char* name;
    char* member;
  } members[] = {
      {"CompanyName", info.CompanyName},
      {"FileDescription", info.FileDescription},
      {"InternalName", info.InternalName},
      {"LegalCopyright", info.LegalCopyright},
      {"OriginalFilename", info.OriginalFileName},
      {"ProductName", info.ProductName},
      {"ProductVersion", info.ProductVersion},
      {"Comments", info.Comments},
      {"LegalTrademarks", info.LegalTrademarks},
      {"PrivateBuild", info.PrivateBuild},
      {"SpecialBuild", info.SpecialBuild},
  };
  for (const auto& m : members) EXPECT_EQ(std::string(m.name) + " " + block, Text(m.member));
}

void ExpectNoStrings(const CFileVersionInfo& info) {
  for (const char* member :
       {info.CompanyName, info.FileDescription, info.FileVersion, info.InternalName,
        info.LegalCopyright, info.OriginalFileName, info.ProductName, info.ProductVersion,
        info.Comments, info.LegalTrademarks, info.PrivateBuild, info.SpecialBuild}) {
    EXPECT_EQ(nullptr, member);
  }
}

VS_FIXEDFILEINFO Fixed(const CFileVersionInfo& info) {
  VS_FIXEDFILEINFO fixed;
  static_assert(sizeof fixed == sizeof info.fixedInfo, "the fixed part is 52 bytes");
  memcpy(&fixed, info.fixedInfo, sizeof fixed);
  return fixed;
}

}  // namespace

TEST(FileVersionInfoTest, RunsAsTheIntendedUser) {
  EXPECT_EQ(IsKoreanRun() ? 0x0412 : 0x0409, GetUserDefaultLangID());
}

TEST(FileVersionInfoTest, ChoosesTheTableForTheUsersLanguage) {
  const struct {
    const char* dll;
    const char* english;  // block read for a user of 0x0409; "" for none
    const char* korean;   // and for a user of 0x0412
  } cases[] = {
      // The user's language exactly.
      {"vi_ko_en.dll", "040904E4", "041204B0"},
      // The same primary language (low 8 bits), else the first entry.
      {"vi_ko_uk.dll", "080904B0", "041204B0"},
      {"vi_ja_ko2.dll", "041104B0", "081204B0"},
      {"vi_ko.dll", "041204B0", "041204B0"},
      // Neutral next, exactly or by its low 8 bits.
      {"vi_ko_neutral.dll", "000004B0", "041204B0"},
      {"vi_en_neutral.dll", "040904B0", "000004B0"},
      {"vi_ja_userdefault.dll", "040004B0", "040004B0"},
      // English next: 0x0009 exactly before any other 0x??09.
      {"vi_uk_english.dll", "080904B0", "000904B0"},
      {"vi_ja_uk.dll", "080904B0", "080904B0"},
      // Without Translation: the first common table that has a FileVersion.
      {"vi_en_untranslated.dll", "040904B0", "040904B0"},
      {"vi_ko_untranslated.dll", "", "041204B0"},
      // A block of some 20 KiB, read whole.
      {"vi_many_ko_last.dll", "040904E4", "041204B0"},
  };
  for (const auto& c : cases) {
    const std::string block = IsKoreanRun() ? c.korean : c.english;
    CFileVersionInfo info;
    ASSERT_TRUE(info.Read(TestFile(c.dll).c_str())) << c.dll;
    EXPECT_EQ(0xFEEF04BDu, Fixed(info).dwSignature) << c.dll;
    if (block.empty()) {
      ExpectNoStrings(info);
    } else {
      ExpectStringsOfBlock(info, block, c.dll);
    }
  }
}

TEST(FileVersionInfoTest, FixedPartWithoutStringTables) {
  CFileVersionInfo info;
  ASSERT_TRUE(info.Read(TestFile("vi_fixed_only.dll").c_str()));
  const VS_FIXEDFILEINFO fixed = Fixed(info);
  EXPECT_EQ(0xFEEF04BDu, fixed.dwSignature);
  EXPECT_EQ(0x00010002u, fixed.dwFileVersionMS);
  EXPECT_EQ(0x00030004u, fixed.dwFileVersionLS);
  EXPECT_EQ(0x00050006u, fixed.dwProductVersionMS);
  EXPECT_EQ(0x00070008u, fixed.dwProductVersionLS);
  ExpectNoStrings(info);
}

TEST(FileVersionInfoTest, FilesWithoutVersionResourceReadAsEmpty) {
  CFileVersionInfo info;
  ASSERT_TRUE(info.Read(TestFile("vi_ko_en.dll").c_str()));
  ASSERT_NE(nullptr, info.FileVersion);

  // A failed read leaves nothing of the record read before.
  for (const std::string& path :
       {TestFile("vi_none.dll"), TestFile("missing.dll"), TestFile("CTestTestfile.cmake")}) {
    EXPECT_FALSE(info.Read(path.c_str())) << path;
    ExpectNoStrings(info);
    for (unsigned char byte : info.fixedInfo) EXPECT_EQ(0, byte) << path;
  }
  EXPECT_FALSE(info.Read(nullptr));

  info.Clear();
  ExpectNoStrings(info);
}

TEST(FileVersionInfoTest, FileVersionAtLeastComparesTheUsersTable) {
  const std::string koEn = TestFile("vi_ko_en.dll");
  // Korean users read 1.0.1042.1200, English users 1.0.1033.1252.
  EXPECT_EQ(IsKoreanRun(), FileVersionAtLeast(koEn.c_str(), "1.0.1042.1200"));
  EXPECT_EQ(IsKoreanRun(), FileVersionAtLeast(koEn.c_str(), "1, 0, 1034, 0"));
  EXPECT_TRUE(FileVersionAtLeast(koEn.c_str(), "1.0.1033.1200"));
  EXPECT_FALSE(FileVersionAtLeast(koEn.c_str(), "1.0.1043.0"));
  EXPECT_FALSE(FileVersionAtLeast(koEn.c_str(), "2.0.0.0"));
  EXPECT_TRUE(FileVersionAtLeast(koEn.c_str(), "0.0.0.0"));
  EXPECT_TRUE(FileVersionAtLeast(koEn.c_str(), "2.0.0"));
  EXPECT_TRUE(FileVersionAtLeast(koEn.c_str(), nullptr));

  // Without a FileVersion string any need passes.
  EXPECT_TRUE(FileVersionAtLeast(TestFile("vi_fixed_only.dll").c_str(), "99.0.0.0"));

  // Without a version resource nothing passes, not even no need at all.
  const std::string none = TestFile("vi_none.dll");
  for (const char* need : {"", "0.0.0.0", "1.2.3", "1.0.0.0"}) {
    EXPECT_FALSE(FileVersionAtLeast(none.c_str(), need)) << need;
  }
  EXPECT_FALSE(FileVersionAtLeast(TestFile("missing.dll").c_str(), ""));
  EXPECT_FALSE(FileVersionAtLeast(nullptr, "1.0.0.0"));
}
