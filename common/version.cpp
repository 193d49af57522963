#include "version.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

// Version resources write "1, 0, 0, 5"; spaces go and "," becomes ".".
void NormaliseVersionText(char* text) {
  char* out = text;
  for (const char* in = text; *in != '\0'; ++in) {
    if (*in == ' ') continue;
    *out++ = (*in == ',') ? '.' : *in;
  }
  *out = '\0';
}

// atoi's reading of a piece (leading white space, a sign, digits up to the
// first other character), but the arithmetic wraps instead of overflowing,
// so that an oversized number still packs as its low 16 bits.
uint32_t ParseVersionNumber(const char* piece, const char* end) {
  while (piece < end && (*piece == '\t' || *piece == '\n' || *piece == '\v' ||
                         *piece == '\f' || *piece == '\r')) {
    ++piece;
  }
  bool negative = false;
  if (piece < end && (*piece == '+' || *piece == '-')) {
    negative = (*piece == '-');
    ++piece;
  }
  uint32_t value = 0;
  for (; piece < end && *piece >= '0' && *piece <= '9'; ++piece) {
    value = value * 10u + static_cast<uint32_t>(*piece - '0');
  }
  return negative ? 0u - value : value;
}

char* CopyString(const char* text) {
  const size_t size = strlen(text) + 1;
  char* copy = static_cast<char*>(malloc(size));
  if (copy != nullptr) memcpy(copy, text, size);
  return copy;
}

struct LangCodePage {
  WORD language;
  WORD codePage;
};

// The entry for language: an exact match first, else the first entry with
// the same low 8 bits (the primary language of the common languages).
const LangCodePage* FindLanguage(const LangCodePage* entries, size_t count,
                                 WORD language) {
  for (size_t i = 0; i < count; ++i) {
    if (entries[i].language == language) return &entries[i];
  }
  for (size_t i = 0; i < count; ++i) {
    if ((entries[i].language & 0xFF) == (language & 0xFF)) return &entries[i];
  }
  return nullptr;
}

std::string StringTablePrefix(LangCodePage entry) {
  char prefix[40];
  snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04X%04X\\",
           entry.language, entry.codePage);
  return prefix;
}

bool HasValue(const void* block, const std::string& path) {
  void* value = nullptr;
  UINT length = 0;
  return VerQueryValueA(block, path.c_str(), &value, &length) != FALSE;
}

// The string table to read: the Translation entry in the user's language,
// else a neutral one, else an English one, else the first.
//
// A resource without Translation names no table. Then the first of the
// tables that resource compilers commonly write (the user's language in
// Unicode or the ANSI code page, then US English, then neutral) that holds
// a FileVersion is used; with none of them, the strings stay null.
bool ChooseStringTable(const void* block, std::string& prefix) {
  void* value = nullptr;
  UINT length = 0;
  const WORD userLanguage = GetUserDefaultLangID();
  if (VerQueryValueA(block, "\\VarFileInfo\\Translation", &value, &length) &&
      length >= sizeof(LangCodePage)) {
    const auto* entries = static_cast<const LangCodePage*>(value);
    const size_t count = length / sizeof(LangCodePage);
    const LangCodePage* chosen = FindLanguage(entries, count, userLanguage);
    if (chosen == nullptr) chosen = FindLanguage(entries, count, 0x0000);
    if (chosen == nullptr) chosen = FindLanguage(entries, count, 0x0009);
    if (chosen == nullptr) chosen = &entries[0];
    prefix = StringTablePrefix(*chosen);
    return true;
  }
  const WORD ansiCodePage = static_cast<WORD>(GetACP());
  const LangCodePage guesses[] = {
      {userLanguage, 1200}, {userLanguage, ansiCodePage},
      {0x0409, 1200},       {0x0409, 1252},
      {0x0000, 1200},       {0x0000, 1252},
  };
  for (const LangCodePage& guess : guesses) {
    prefix = StringTablePrefix(guess);
    if (HasValue(block, prefix + "FileVersion")) return true;
  }
  return false;
}

}  // namespace

bool ParseVersion(const char* text, uint64_t* version) {
  if (text == nullptr || version == nullptr) return false;
  std::unique_ptr<char[]> copy(new (std::nothrow) char[strlen(text) + 1]);
  if (!copy) return false;
  strcpy(copy.get(), text);
  NormaliseVersionText(copy.get());

  uint32_t numbers[4] = {0, 0, 0, 0};
  size_t count = 0;
  const char* piece = copy.get();
  for (;;) {
    const char* end = strchr(piece, '.');
    if (end == nullptr) end = piece + strlen(piece);
    if (count < 4) numbers[count] = ParseVersionNumber(piece, end);
    ++count;
    if (*end == '\0') break;
    piece = end + 1;
  }
  if (count != 4) return false;

  const uint64_t high = ((numbers[0] & 0xFFFFu) << 16) | (numbers[1] & 0xFFFFu);
  const uint64_t low = ((numbers[2] & 0xFFFFu) << 16) | (numbers[3] & 0xFFFFu);
  *version = (high << 32) | low;
  return true;
}

int CompareVersion(uint64_t a, uint64_t b) {
  if (a < b) return -1;
  return a == b ? 0 : 1;
}

bool IsVersionAtLeast(const char* have, const char* need) {
  uint64_t haveVersion = 0;
  uint64_t needVersion = 0;
  if (!ParseVersion(have, &haveVersion)) return true;
  if (!ParseVersion(need, &needVersion)) return true;
  if (needVersion == 0) return true;
  return CompareVersion(haveVersion, needVersion) != -1;
}

bool FileVersionAtLeast(const char* path, const char* need) {
  if (path == nullptr) return false;
  if (need == nullptr) return true;
  CFileVersionInfo info;
  if (!info.Read(path)) return false;
  return IsVersionAtLeast(info.FileVersion, need);
}

bool ReadFileVersion(const char* path, uint64_t* version) {
  if (path == nullptr) return false;
  CFileVersionInfo info;
  return info.Read(path) && ParseVersion(info.FileVersion, version);
}

CFileVersionInfo::CFileVersionInfo()
    : CompanyName(nullptr),
      FileDescription(nullptr),
      FileVersion(nullptr),
      InternalName(nullptr),
      LegalCopyright(nullptr),
      OriginalFileName(nullptr),
      ProductName(nullptr),
      ProductVersion(nullptr),
      Comments(nullptr),
      LegalTrademarks(nullptr),
      PrivateBuild(nullptr),
      SpecialBuild(nullptr) {
  memset(fixedInfo, 0, sizeof fixedInfo);
}

CFileVersionInfo::~CFileVersionInfo() { CFileVersionInfo::Clear(); }

void CFileVersionInfo::Clear() {
  memset(fixedInfo, 0, sizeof fixedInfo);
  char** strings[] = {&CompanyName,    &FileDescription, &FileVersion,
                      &InternalName,   &LegalCopyright,  &OriginalFileName,
                      &ProductName,    &ProductVersion,  &Comments,
                      &LegalTrademarks, &PrivateBuild,   &SpecialBuild};
  for (char** member : strings) {
    free(*member);
    *member = nullptr;
  }
}

namespace {

// Large enough for the version resources that controls carry.
const DWORD kVersionBlockGuess = 8192;

// The file's version block, in a buffer with the room that VerQueryValueA
// needs for its ANSI copies; null when there is none. Most blocks fit the
// guess, and are then read with one mapping of the file instead of two
// (asking for the size maps it too, a millisecond each on Wine).
std::unique_ptr<char[]> ReadVersionBlock(const char* path) {
  std::unique_ptr<char[]> block(new (std::nothrow) char[kVersionBlockGuess]);
  if (block && GetFileVersionInfoA(path, 0, kVersionBlockGuess, block.get())) {
    // A block is cut short to the buffer silently: its own length tells.
    WORD length = 0;
    memcpy(&length, block.get(), sizeof length);
    if (length > 0 && 2 * DWORD{length} + 4 <= kVersionBlockGuess) return block;
  }
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return nullptr;
  block.reset(new (std::nothrow) char[size]);
  if (!block || !GetFileVersionInfoA(path, 0, size, block.get())) return nullptr;
  return block;
}

}  // namespace

bool CFileVersionInfo::Read(const char* path) {
  Clear();
  if (path == nullptr) return false;
  std::unique_ptr<char[]> block = ReadVersionBlock(path);
  if (!block) return false;

  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueA(block.get(), "\\", &value, &length) &&
      length == sizeof fixedInfo) {
    memcpy(fixedInfo, value, sizeof fixedInfo);
  }

  std::string prefix;
  if (!ChooseStringTable(block.get(), prefix)) return true;
  const struct {
    const char* name;
    char** member;
  } strings[] = {
      {"CompanyName", &CompanyName},
      {"FileDescription", &FileDescription},
      {"FileVersion", &FileVersion},
      {"InternalName", &InternalName},
      {"LegalCopyright", &LegalCopyright},
      {"OriginalFileName", &OriginalFileName},
      {"ProductName", &ProductName},
      {"ProductVersion", &ProductVersion},
      {"Comments", &Comments},
      {"LegalTrademarks", &LegalTrademarks},
      {"PrivateBuild", &PrivateBuild},
      {"SpecialBuild", &SpecialBuild},
  };
  for (const auto& entry : strings) {
    if (!VerQueryValueA(block.get(), (prefix + entry.name).c_str(), &value,
                        &length)) {
      continue;
    }
    *entry.member = CopyString(static_cast<const char*>(value));
  }
  if (FileVersion != nullptr) NormaliseVersionText(FileVersion);
  return true;
}
