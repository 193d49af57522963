// Version numbers ("1.0.0.5") and the version information of a file.
//
// A version text has exactly four numbers; spaces are ignored and "," counts
// as ".", so the resource form "1, 0, 0, 5" reads the same. It packs into 64
// bits, 16 per number, most significant first; each number keeps only its
// low 16 bits.
#pragma once

#include <cstdint>

// Packs text into version. False, with version untouched, for a null text,
// a text without exactly four numbers, or when no memory can be had.
bool ParseVersion(const char* text, uint64_t* version);

// -1, 0 or 1 as a is below, equal to or above b (unsigned).
int CompareVersion(uint64_t a, uint64_t b);

// Lenient "have >= need": true also when either text does not parse or
// when need is 0.0.0.0.
bool IsVersionAtLeast(const char* have, const char* need);

// True when the file at path has a version resource whose FileVersion is
// IsVersionAtLeast need. A null path fails and a null need passes; a file
// without a version resource never passes, even an empty need.
bool FileVersionAtLeast(const char* path, const char* need);

// The FileVersion of the file at path, packed. False, with version
// untouched, when the file has no version resource or its FileVersion does
// not parse.
bool ReadFileVersion(const char* path, uint64_t* version);

// The version resource of one file: the fixed part and twelve string
// values, read in the user's language where the file offers it. The
// strings are private heap copies; a value the file lacks stays null.
class CFileVersionInfo {
 public:
  CFileVersionInfo();
  virtual ~CFileVersionInfo();
  CFileVersionInfo(const CFileVersionInfo&) = delete;
  CFileVersionInfo& operator=(const CFileVersionInfo&) = delete;

  // Zeroes the fixed part and frees every string.
  virtual void Clear();

  // Loads the version resource of path. False when the file has none or it
  // cannot be read; the record is then empty. The strings come from the
  // Translation entry in the user's language, else a neutral one, else an
  // English one, else the first; without a Translation value, from the
  // first common table that holds a FileVersion, else they stay null.
  bool Read(const char* path);

  // VS_FIXEDFILEINFO, all zero unless the resource's root value is exactly
  // 52 bytes long.
  unsigned char fixedInfo[52];
  char* CompanyName;
  char* FileDescription;
  char* FileVersion;  // normalised: no spaces, "," replaced by "."
  char* InternalName;
  char* LegalCopyright;
  char* OriginalFileName;
  char* ProductName;
  char* ProductVersion;
  char* Comments;
  char* LegalTrademarks;
  char* PrivateBuild;
  char* SpecialBuild;
};
