#include "registry_key.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cstring>
#include <iterator>
#include <set>
#include <string>

namespace {

// Every test works below its own key under HKCU\Software\OVSetupTests and
// deletes it afterwards.
class RegistryKeyTest : public testing::Test {
 protected:
  void SetUp() override {
    path_ = "Software\\OVSetupTests\\" + std::to_string(GetCurrentProcessId()) +
            "-" + std::to_string(GetTickCount());
    ASSERT_EQ(ERROR_SUCCESS, scratch_.Create(HKEY_CURRENT_USER, path_.c_str()));
  }
  void TearDown() override {
    scratch_.Close();
    SHDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
    // The parent goes too once no other run holds a key in it.
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\OVSetupTests");
    HKEY gone = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_READ, &gone));
  }

  std::string Sub(const char* name) const { return path_ + "\\" + name; }
  bool Exists(const std::string& path) const {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(key);
    return true;
  }

  std::string path_;
  CRegistryKey scratch_;
};

}  // namespace

TEST_F(RegistryKeyTest, OpenModesOnMissingAndExistingKeys) {
  const std::string path = Sub("mode");
  CRegistryKey key;

  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.OpenKey(HKEY_CURRENT_USER, path.c_str(), OpenExisting));
  EXPECT_FALSE(key.IsOpen());
  EXPECT_FALSE(Exists(path));

  EXPECT_EQ(ERROR_SUCCESS, key.OpenKey(HKEY_CURRENT_USER, path.c_str(), CreateNewOnly));
  EXPECT_TRUE(key.IsOpen());
  EXPECT_TRUE(Exists(path));
  EXPECT_EQ(ERROR_SUCCESS, key.SetDWORD("kept", 7));

  // An existing key: 183, and the key is open on it.
  EXPECT_EQ(ERROR_ALREADY_EXISTS, key.OpenKey(HKEY_CURRENT_USER, path.c_str(), CreateNewOnly));
  ASSERT_TRUE(key.IsOpen());
  DWORD value = 0;
  EXPECT_EQ(ERROR_SUCCESS, key.QueryDWORD("kept", value));
  EXPECT_EQ(7u, value);

  EXPECT_EQ(ERROR_SUCCESS, key.OpenKey(HKEY_CURRENT_USER, path.c_str(), OpenExisting));
  EXPECT_EQ(ERROR_SUCCESS, key.QueryDWORD("kept", value));
  EXPECT_EQ(ERROR_SUCCESS, key.OpenKey(HKEY_CURRENT_USER, path.c_str(), OpenOrCreate));
  EXPECT_TRUE(key.ValueExists("kept"));

  // Recreate starts over with an empty key.
  EXPECT_EQ(ERROR_SUCCESS, key.OpenKey(HKEY_CURRENT_USER, path.c_str(), Recreate));
  EXPECT_TRUE(key.IsOpen());
  EXPECT_FALSE(key.ValueExists("kept"));

  const std::string fresh = Sub("fresh");
  EXPECT_EQ(ERROR_SUCCESS, key.OpenKey(HKEY_CURRENT_USER, fresh.c_str(), Recreate));
  EXPECT_TRUE(Exists(fresh));
  const std::string created = Sub("created");
  EXPECT_EQ(ERROR_SUCCESS, key.OpenKey(HKEY_CURRENT_USER, created.c_str(), OpenOrCreate));
  EXPECT_TRUE(Exists(created));

  for (int mode : {-1, 4, 100}) {
    EXPECT_EQ(ERROR_INVALID_PARAMETER, key.OpenKey(HKEY_CURRENT_USER, path.c_str(), static_cast<KeyOpenMode>(mode)));
  }
}

TEST_F(RegistryKeyTest, OpeningAgainClosesTheKeyHeldBefore) {
  CRegistryKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.OpenKey(HKEY_CURRENT_USER, Sub("a").c_str(), OpenOrCreate));
  ASSERT_EQ(ERROR_SUCCESS, key.SetDWORD("in-a", 1));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.OpenKey(HKEY_CURRENT_USER, Sub("b").c_str(), OpenExisting));
  EXPECT_FALSE(key.IsOpen());
  ASSERT_EQ(ERROR_SUCCESS, key.OpenKey(HKEY_CURRENT_USER, Sub("b").c_str(), OpenOrCreate));
  EXPECT_FALSE(key.ValueExists("in-a"));
}

TEST_F(RegistryKeyTest, RecreateRefusesKeyWithSubkeysAndLeavesItInPlace) {
  CRegistryKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.OpenKey(HKEY_CURRENT_USER, Sub("parent").c_str(), OpenOrCreate));
  ASSERT_EQ(ERROR_SUCCESS, key.SetDWORD("kept", 1));
  ASSERT_EQ(ERROR_SUCCESS, key.CreateSubKey("child"));
  key.Close();

  const LONG result = key.OpenKey(HKEY_CURRENT_USER, Sub("parent").c_str(), Recreate);
  EXPECT_NE(ERROR_SUCCESS, result);
  EXPECT_NE(ERROR_FILE_NOT_FOUND, result);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_TRUE(Exists(Sub("parent\\child")));
  ASSERT_EQ(ERROR_SUCCESS, key.OpenKey(HKEY_CURRENT_USER, Sub("parent").c_str(), OpenExisting));
  EXPECT_TRUE(key.ValueExists("kept"));
}

TEST_F(RegistryKeyTest, RecreateWithoutPathDeletesNothing) {
  ASSERT_EQ(ERROR_SUCCESS, scratch_.SetDWORD("kept", 1));
  CRegistryKey key;
  EXPECT_EQ(ERROR_INVALID_PARAMETER, scratch_.OpenSubKey("", key, Recreate));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, key.OpenKey(scratch_.GetHandle(), nullptr, Recreate));
  EXPECT_TRUE(Exists(path_));
  EXPECT_TRUE(scratch_.ValueExists("kept"));
}

TEST_F(RegistryKeyTest, SubKeysOpenRelativeToThisKey) {
  CRegistryKey sub;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, scratch_.OpenSubKey("s", sub, OpenExisting));
  EXPECT_EQ(ERROR_SUCCESS, scratch_.CreateSubKey("s"));
  EXPECT_EQ(ERROR_SUCCESS, scratch_.CreateSubKey("s"));
  EXPECT_TRUE(Exists(Sub("s")));
  EXPECT_EQ(ERROR_ALREADY_EXISTS, scratch_.OpenSubKey("s", sub, CreateNewOnly));
  EXPECT_TRUE(sub.IsOpen());
  EXPECT_EQ(ERROR_SUCCESS, scratch_.OpenSubKey("s\\deeper", sub, OpenOrCreate));
  EXPECT_TRUE(Exists(Sub("s\\deeper")));
  EXPECT_EQ(ERROR_INVALID_HANDLE, scratch_.OpenSubKey(nullptr, sub, OpenOrCreate));
  EXPECT_EQ(ERROR_INVALID_HANDLE, scratch_.CreateSubKey(nullptr));

  // A read-only key opens its subkeys read-only too.
  CRegistryKey reader(KEY_READ);
  ASSERT_EQ(ERROR_SUCCESS, reader.Open(HKEY_CURRENT_USER, path_.c_str()));
  CRegistryKey readSub(KEY_READ);
  ASSERT_EQ(ERROR_SUCCESS, reader.OpenSubKey("s", readSub, OpenExisting));
  EXPECT_EQ(ERROR_ACCESS_DENIED, readSub.SetDWORD("x", 1));
  readSub.SetAccess(KEY_ALL_ACCESS);
  ASSERT_EQ(ERROR_SUCCESS, reader.OpenSubKey("s", readSub, OpenExisting));
  EXPECT_EQ(ERROR_SUCCESS, readSub.SetDWORD("x", 1));
}

TEST_F(RegistryKeyTest, ValuesReadBackAsWritten) {
  EXPECT_EQ(ERROR_SUCCESS, scratch_.SetString("text", "pkg-42"));
  EXPECT_EQ(ERROR_SUCCESS, scratch_.SetString("", "default"));
  EXPECT_EQ(ERROR_SUCCESS, scratch_.SetDWORD("number", 0xFFFFFFFEu));
  const unsigned char bytes[] = {0, 1, 2, 0xFF};
  EXPECT_EQ(ERROR_SUCCESS, scratch_.SetBinary("bytes", bytes, sizeof bytes));
  std::string longText(5000, 'x');
  EXPECT_EQ(ERROR_SUCCESS, scratch_.SetString("long", longText.c_str()));

  std::string text;
  EXPECT_EQ(ERROR_SUCCESS, scratch_.QueryString("text", text));
  EXPECT_EQ("pkg-42", text);
  EXPECT_EQ(ERROR_SUCCESS, scratch_.QueryString("", text));
  EXPECT_EQ("default", text);
  EXPECT_EQ(ERROR_SUCCESS, scratch_.QueryString("long", text));
  EXPECT_EQ(longText, text);
  DWORD number = 0;
  EXPECT_EQ(ERROR_SUCCESS, scratch_.QueryDWORD("number", number));
  EXPECT_EQ(0xFFFFFFFEu, number);
  unsigned char read[8] = {};
  DWORD size = sizeof read;
  EXPECT_EQ(ERROR_SUCCESS, scratch_.QueryValue("bytes", REG_BINARY, read, &size));
  EXPECT_EQ(sizeof bytes, size);
  EXPECT_EQ(0, memcmp(bytes, read, sizeof bytes));

  EXPECT_TRUE(scratch_.ValueExists("bytes"));
  scratch_.DeleteValue("bytes");
  EXPECT_FALSE(scratch_.ValueExists("bytes"));
  EXPECT_FALSE(scratch_.ValueExists(nullptr));
}

TEST_F(RegistryKeyTest, EmptyStringIsStoredAsZeroBytes) {
  ASSERT_EQ(ERROR_SUCCESS, scratch_.SetString("empty", ""));
  DWORD type = 0;
  DWORD size = 99;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(scratch_.GetHandle(), "empty", nullptr, &type,
                                            nullptr, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(0u, size);
  std::string text = "before";
  EXPECT_EQ(ERROR_SUCCESS, scratch_.QueryString("empty", text));
  EXPECT_EQ("", text);
}

TEST_F(RegistryKeyTest, StringIsReadUpToItsFirstZeroByte) {
  const char raw[] = "abc\0def";
  ASSERT_EQ(ERROR_SUCCESS, scratch_.SetValue("raw", REG_SZ, raw, sizeof raw));
  std::string text;
  EXPECT_EQ(ERROR_SUCCESS, scratch_.QueryString("raw", text));
  EXPECT_EQ("abc", text);
}

TEST_F(RegistryKeyTest, TypeMismatchAndMissingValuesFail) {
  ASSERT_EQ(ERROR_SUCCESS, scratch_.SetValue("expand", REG_EXPAND_SZ, "%TEMP%", 7));
  ASSERT_EQ(ERROR_SUCCESS, scratch_.SetString("text", "12"));
  ASSERT_EQ(ERROR_SUCCESS, scratch_.SetDWORD("number", 12));
  const unsigned char four[] = {1, 2, 3, 4};
  ASSERT_EQ(ERROR_SUCCESS, scratch_.SetBinary("four", four, sizeof four));
  const unsigned char eight[8] = {1};
  ASSERT_EQ(ERROR_SUCCESS, scratch_.SetValue("wide", REG_DWORD, eight, sizeof eight));

  std::string text = "before";
  EXPECT_EQ(ERROR_INVALID_PARAMETER, scratch_.QueryString("expand", text));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, scratch_.QueryString("number", text));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, scratch_.QueryString("missing", text));
  EXPECT_EQ("before", text);

  DWORD value = 77;
  EXPECT_EQ(ERROR_INVALID_PARAMETER, scratch_.QueryDWORD("text", value));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, scratch_.QueryDWORD("four", value));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, scratch_.QueryDWORD("missing", value));
  EXPECT_EQ(ERROR_MORE_DATA, scratch_.QueryDWORD("wide", value));
  EXPECT_EQ(77u, value);

  char buffer[16];
  DWORD size = sizeof buffer;
  EXPECT_EQ(ERROR_INVALID_PARAMETER, scratch_.QueryValue("number", REG_BINARY, buffer, &size));
  EXPECT_EQ(ERROR_INVALID_HANDLE, scratch_.QueryStringRaw("text", buffer, nullptr));
  size = 1;
  EXPECT_EQ(ERROR_MORE_DATA, scratch_.QueryStringRaw("text", buffer, &size));

  EXPECT_EQ(ERROR_INVALID_HANDLE, scratch_.SetValue(nullptr, REG_SZ, "x", 1));
  EXPECT_EQ(ERROR_INVALID_HANDLE, scratch_.SetValue("x", REG_SZ, nullptr, 0));
  EXPECT_EQ(ERROR_INVALID_HANDLE, scratch_.SetString("x", nullptr));
  EXPECT_FALSE(scratch_.ValueExists("x"));
}

TEST_F(RegistryKeyTest, EnumeratesEveryValueName) {
  DWORD count = 99;
  DWORD longest = 99;
  ASSERT_TRUE(scratch_.QueryInfo(count, longest));
  EXPECT_EQ(0u, count);
  EXPECT_EQ(1u, longest);
  char buffer[64];
  EXPECT_FALSE(scratch_.EnumValueName(0, buffer, sizeof buffer));

  const std::string names[] = {"one", "a-longer-name", "x"};
  for (const std::string& name : names) ASSERT_EQ(ERROR_SUCCESS, scratch_.SetDWORD(name.c_str(), 1));
  ASSERT_TRUE(scratch_.QueryInfo(count, longest));
  EXPECT_EQ(3u, count);
  EXPECT_EQ(14u, longest);  // "a-longer-name" and its terminator

  std::multiset<std::string> seen;
  for (DWORD i = 0; i < count; ++i) {
    ASSERT_TRUE(scratch_.EnumValueName(i, buffer, longest)) << i;
    seen.insert(buffer);
  }
  EXPECT_EQ(std::multiset<std::string>(std::begin(names), std::end(names)), seen);
  EXPECT_FALSE(scratch_.EnumValueName(count, buffer, longest));
  // A buffer one character short of the longest name fails for it.
  bool shortFailed = false;
  for (DWORD i = 0; i < count; ++i) shortFailed |= !scratch_.EnumValueName(i, buffer, longest - 1);
  EXPECT_TRUE(shortFailed);
  EXPECT_FALSE(scratch_.EnumValueName(0, nullptr, longest));
}

TEST_F(RegistryKeyTest, DeleteSubTreeRemovesEverythingBelowOnlyThatSubkey) {
  ASSERT_EQ(ERROR_SUCCESS, scratch_.CreateSubKey("tree\\a\\b\\c"));
  ASSERT_EQ(ERROR_SUCCESS, scratch_.CreateSubKey("sibling"));
  scratch_.DeleteSubTree("tree");
  EXPECT_FALSE(Exists(Sub("tree")));
  EXPECT_TRUE(Exists(Sub("sibling")));
  scratch_.DeleteSubTree("missing");

  // No name would mean this key itself: nothing happens.
  ASSERT_EQ(ERROR_SUCCESS, scratch_.SetDWORD("kept", 1));
  scratch_.DeleteSubTree("");
  scratch_.DeleteSubTree(nullptr);
  EXPECT_TRUE(Exists(Sub("sibling")));
  EXPECT_TRUE(scratch_.ValueExists("kept"));
}

TEST_F(RegistryKeyTest, EveryOperationFailsOnClosedKey) {
  ASSERT_EQ(ERROR_SUCCESS, scratch_.SetDWORD("kept", 1));
  ASSERT_EQ(ERROR_SUCCESS, scratch_.CreateSubKey("child"));
  CRegistryKey closed;
  EXPECT_EQ(nullptr, closed.GetHandle());
  EXPECT_EQ(ERROR_SUCCESS, closed.Close());

  CRegistryKey other;
  EXPECT_EQ(ERROR_INVALID_HANDLE, closed.OpenSubKey("child", other, OpenOrCreate));
  EXPECT_FALSE(other.IsOpen());
  EXPECT_EQ(ERROR_INVALID_HANDLE, closed.CreateSubKey("child"));
  EXPECT_FALSE(closed.ValueExists("kept"));
  char buffer[16];
  DWORD size = sizeof buffer;
  EXPECT_EQ(ERROR_INVALID_HANDLE, closed.QueryValue("kept", REG_DWORD, buffer, &size));
  EXPECT_EQ(ERROR_INVALID_HANDLE, closed.QueryStringRaw("kept", buffer, &size));
  std::string text = "before";
  EXPECT_EQ(ERROR_INVALID_HANDLE, closed.QueryString("kept", text));
  EXPECT_EQ("before", text);
  DWORD value = 5;
  EXPECT_EQ(ERROR_INVALID_HANDLE, closed.QueryDWORD("kept", value));
  EXPECT_EQ(5u, value);
  EXPECT_EQ(ERROR_INVALID_HANDLE, closed.SetValue("v", REG_SZ, "x", 1));
  EXPECT_EQ(ERROR_INVALID_HANDLE, closed.SetString("v", "x"));
  EXPECT_EQ(ERROR_INVALID_HANDLE, closed.SetDWORD("v", 1));
  EXPECT_EQ(ERROR_INVALID_HANDLE, closed.SetBinary("v", buffer, 1));
  DWORD count = 9;
  DWORD longest = 9;
  EXPECT_FALSE(closed.QueryInfo(count, longest));
  EXPECT_EQ(9u, count);
  EXPECT_FALSE(closed.EnumValueName(0, buffer, sizeof buffer));
  closed.DeleteValue("kept");
  closed.DeleteSubTree("child");

  // A key that was open and is closed again behaves the same.
  CRegistryKey reopened;
  ASSERT_EQ(ERROR_SUCCESS, reopened.Open(HKEY_CURRENT_USER, path_.c_str()));
  EXPECT_EQ(ERROR_SUCCESS, reopened.Close());
  EXPECT_FALSE(reopened.IsOpen());
  EXPECT_EQ(ERROR_INVALID_HANDLE, reopened.SetDWORD("v", 1));
  reopened.DeleteValue("kept");
  reopened.DeleteSubTree("child");

  EXPECT_TRUE(scratch_.ValueExists("kept"));
  EXPECT_TRUE(Exists(Sub("child")));
  EXPECT_FALSE(scratch_.ValueExists("v"));
}
