#include "module_check.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "registry_key.h"
#include "version.h"

namespace {

// The Distribution Unit record lists the files of the control; it is
// trusted only when it lists the server file itself under its long name.
ResultCode CheckRecordedFiles(const char* clsid, const char* serverPath) {
  const std::string path =
      std::string("SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units\\") + clsid +
      "\\Contains\\Files";
  CRegistryKey files(KEY_READ);
  if (files.OpenKey(HKEY_LOCAL_MACHINE, path.c_str(), OpenExisting) != ERROR_SUCCESS)
    return SUCCESS;
  char longPath[MAX_PATH];
  DWORD longLength = GetLongPathNameA(serverPath, longPath, MAX_PATH);
  if (longLength < 1 || longLength > MAX_PATH - 1) return SUCCESS;
  if (!files.ValueExists(longPath)) return SUCCESS;
  DWORD valueCount = 0, longestName = 0;
  if (!files.QueryInfo(valueCount, longestName) || longestName < 2) return SUCCESS;
  std::vector<char> name(longestName);
  for (DWORD index = 0; index < valueCount; ++index) {
    if (!files.EnumValueName(index, name.data(), longestName)) continue;
    if (name[0] != '\0' && !IsFilePresent(name.data())) return MODULE_NOTEXIST_DEPENDENCY_FILE;
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
  std::string serverPath;
  if (!GetInprocServerPath(clsid, serverPath)) return MODULE_NOTEXIST_REGINFO;
  if (!IsFilePresent(serverPath.c_str())) return MODULE_NOTEXIST_DLL_FILE;
  if (needVersion != nullptr && needVersion[0] != '\0') {
    CFileVersionInfo info;
    if (!info.Read(serverPath.c_str())) return MODULE_UNKNOWN_FILEVERSION;
    if (!IsVersionAtLeast(info.FileVersion, needVersion)) return MODULE_NOTMATCH_VERSION;
  }
  return CheckRecordedFiles(clsid, serverPath.c_str());
}
