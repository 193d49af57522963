#include "module_check.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "scoped_key.h"
#include "text_format.h"
#include "version.h"

namespace {

const size_t kKeyPathSize = 1024;

// The Distribution Unit record lists the files of the control; it is
// trusted only when it lists the server file itself under its long name.
ResultCode CheckRecordedFiles(const char* clsid, const char* serverPath) {
  std::unique_ptr<char[]> path = FormatText(
      "SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units\\%s\\Contains\\Files", clsid);
  if (!path || std::strlen(path.get()) >= kKeyPathSize) return SUCCESS;
  CScopedKey files;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.get(), 0, KEY_READ, files.Receive()) != ERROR_SUCCESS)
    return SUCCESS;
  char longPath[MAX_PATH];
  DWORD longLength = GetLongPathNameA(serverPath, longPath, MAX_PATH);
  if (longLength < 1 || longLength > MAX_PATH - 1) return SUCCESS;
  if (RegQueryValueExA(files.Get(), longPath, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return SUCCESS;
  DWORD valueCount = 0, longestName = 0;
  if (RegQueryInfoKeyA(files.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &valueCount, &longestName, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
      longestName < 1)
    return SUCCESS;
  std::unique_ptr<char[]> name(new (std::nothrow) char[longestName + 1]);
  if (!name) return SUCCESS;
  for (DWORD index = 0; index < valueCount; ++index) {
    DWORD nameLength = longestName + 1;
    if (RegEnumValueA(files.Get(), index, name.get(), &nameLength, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS)
      continue;
    if (name[0] != '\0' && !IsFilePresent(name.get())) return MODULE_NOTEXIST_DEPENDENCY_FILE;
  }
  return SUCCESS;
}

}  // namespace

// One attribute query answers it all: a folder and a drive root carry
// FILE_ATTRIBUTE_DIRECTORY, and a pattern ("*", "?") names no file. It
// replaces a drive-type test and a directory search, which cost several
// times what creating the control does: Wine answers GetDriveTypeA by
// asking its mount manager in another process.
bool IsFilePresent(const char* path) {
  if (path == nullptr || std::strpbrk(path, "*?") != nullptr) return false;
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

ResultCode CheckInstalledModule(const char* clsid, const char* needVersion) {
  if (clsid == nullptr) return COMMON_INVALID_PARAM;
  std::unique_ptr<char[]> keyPath = FormatText("SOFTWARE\\Classes\\CLSID\\%s\\InprocServer32", clsid);
  // A text this long names no registered class; refuse it before any
  // fixed-size buffer sees it.
  if (!keyPath || std::strlen(keyPath.get()) >= kKeyPathSize) return MODULE_NOTEXIST_REGINFO;
  char serverPath[kKeyPathSize];
  LONG size = sizeof(serverPath);
  if (RegQueryValueA(HKEY_LOCAL_MACHINE, keyPath.get(), serverPath, &size) != ERROR_SUCCESS)
    return MODULE_NOTEXIST_REGINFO;
  if (!IsFilePresent(serverPath)) return MODULE_NOTEXIST_DLL_FILE;
  if (needVersion != nullptr && needVersion[0] != '\0') {
    CFileVersionInfo info;
    if (!info.Read(serverPath)) return MODULE_UNKNOWN_FILEVERSION;
    if (!IsVersionAtLeast(info.FileVersion, needVersion)) return MODULE_NOTMATCH_VERSION;
  }
  return CheckRecordedFiles(clsid, serverPath);
}
