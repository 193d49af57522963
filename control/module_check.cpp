#include "module_check.h"

#include <windows.h>

#include <string>
#include <vector>

#include "path_util.h"
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
    if (name[0] != '\0' && GetPathType(name.data()) != PathFile)
      return MODULE_NOTEXIST_DEPENDENCY_FILE;
  }
  return SUCCESS;
}

}  // namespace

ResultCode CheckInstalledModule(const char* clsid, const char* needVersion) {
  if (clsid == nullptr) return COMMON_INVALID_PARAM;
  std::string serverPath;
  if (!GetInprocServerPath(clsid, serverPath)) return MODULE_NOTEXIST_REGINFO;
  if (GetPathType(serverPath.c_str()) != PathFile) return MODULE_NOTEXIST_DLL_FILE;
  if (needVersion != nullptr && needVersion[0] != '\0') {
    CFileVersionInfo info;
    if (!info.Read(serverPath.c_str())) return MODULE_UNKNOWN_FILEVERSION;
    if (!IsVersionAtLeast(info.FileVersion, needVersion)) return MODULE_NOTMATCH_VERSION;
  }
  const ResultCode result = CheckRecordedFiles(clsid, serverPath.c_str());
  if (result != SUCCESS) return result;
  std::string jobFolder;
  if (GetJobFolder(jobFolder) &&
      GetPathType(GetJournalPath(GetWorkFolderPath(jobFolder)).c_str()) != PathMissing)
    return MODULE_NOTEXIST_DEPENDENCY_FILE;
  return SUCCESS;
}
