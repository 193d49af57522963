#include "module_check.h"

#include "path_util.h"
#include "registry_key.h"
#include "registry_watch.h"
#include "version.h"

namespace {

const char kDistributionUnits[] = "SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units";

// The server file's attributes, size and times; attributes
// INVALID_FILE_ATTRIBUTES when there is no such file.
WIN32_FILE_ATTRIBUTE_DATA ReadFileStamp(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetPathAttributes(path.c_str(), data)) data.dwFileAttributes = INVALID_FILE_ATTRIBUTES;
  return data;
}

bool IsFile(const WIN32_FILE_ATTRIBUTE_DATA& data) {
  return data.dwFileAttributes != INVALID_FILE_ATTRIBUTES &&
         (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// A file replaced in place gets another size, creation or write time, so an
// equal stamp keeps what was read from the file and its record. Reading
// the file may move its last access time, which therefore does not count.
bool SameStamp(const WIN32_FILE_ATTRIBUTE_DATA& a, const WIN32_FILE_ATTRIBUTE_DATA& b) {
  return a.dwFileAttributes == b.dwFileAttributes && a.nFileSizeHigh == b.nFileSizeHigh &&
         a.nFileSizeLow == b.nFileSizeLow && SameTime(a.ftCreationTime, b.ftCreationTime) &&
         SameTime(a.ftLastWriteTime, b.ftLastWriteTime);
}

// The Distribution Unit record lists the files of the control; it is
// trusted only when it lists the server file itself under its long name.
void ReadRecordedFiles(const char* clsid, const char* serverPath,
                       std::vector<std::string>& recorded) {
  const std::string path = std::string(kDistributionUnits) + "\\" + clsid + "\\Contains\\Files";
  CRegistryKey files(KEY_READ);
  if (files.OpenKey(HKEY_LOCAL_MACHINE, path.c_str(), OpenExisting) != ERROR_SUCCESS) return;
  char longPath[MAX_PATH];
  DWORD longLength = GetLongPathNameA(serverPath, longPath, MAX_PATH);
  if (longLength < 1 || longLength > MAX_PATH - 1) return;
  if (!files.ValueExists(longPath)) return;
  DWORD valueCount = 0, longestName = 0;
  if (!files.QueryInfo(valueCount, longestName) || longestName < 2) return;
  std::vector<char> name(longestName);
  for (DWORD index = 0; index < valueCount; ++index) {
    if (files.EnumValueName(index, name.data(), longestName) && name[0] != '\0')
      recorded.push_back(name.data());
  }
}

void ReadModuleRecord(const char* clsid, CModuleRecord& record) {
  record = CModuleRecord();
  record.read = true;
  record.registered = GetInprocServerPath(clsid, record.serverPath);
  if (!record.registered) return;
  record.server = ReadFileStamp(record.serverPath);
  if (!IsFile(record.server)) return;
  ReadRecordedFiles(clsid, record.serverPath.c_str(), record.recordedFiles);
  std::string jobFolder;
  if (GetJobFolder(jobFolder)) record.journalPath = GetJournalPath(GetWorkFolderPath(jobFolder));
}

}  // namespace

ResultCode CheckInstalledModule(const char* clsid, const char* needVersion) {
  CModuleRecord record;
  return CheckInstalledModule(clsid, needVersion, record);
}

ResultCode CheckInstalledModule(const char* clsid, const char* needVersion, CModuleRecord& record) {
  if (clsid == nullptr) return COMMON_INVALID_PARAM;
  if (record.read && record.registered &&
      !SameStamp(ReadFileStamp(record.serverPath), record.server))
    record.read = false;
  if (!record.read) ReadModuleRecord(clsid, record);
  if (!record.registered) return MODULE_NOTEXIST_REGINFO;
  if (!IsFile(record.server)) return MODULE_NOTEXIST_DLL_FILE;
  if (needVersion != nullptr && needVersion[0] != '\0') {
    if (!record.versionRead) {
      CFileVersionInfo info;
      record.hasVersion = info.Read(record.serverPath.c_str());
      if (info.FileVersion != nullptr) record.fileVersion = info.FileVersion;
      record.versionRead = true;
    }
    if (!record.hasVersion) return MODULE_UNKNOWN_FILEVERSION;
    if (!IsVersionAtLeast(record.fileVersion.c_str(), needVersion)) return MODULE_NOTMATCH_VERSION;
  }
  for (const std::string& file : record.recordedFiles)
    if (GetPathType(file.c_str()) != PathFile) return MODULE_NOTEXIST_DEPENDENCY_FILE;
  // The journal's folder may refuse this process a look: only a journal
  // that is surely not there lets the control count as installed.
  if (!record.journalPath.empty() && MayExist(record.journalPath.c_str()))
    return MODULE_NOTEXIST_DEPENDENCY_FILE;
  return SUCCESS;
}

void WatchModuleCheckKeys(CRegistryWatch& watch) {
  watch.Add(HKEY_LOCAL_MACHINE, kMachineClassIdsKey);
  watch.Add(HKEY_LOCAL_MACHINE, kDistributionUnits);
  watch.Add(HKEY_LOCAL_MACHINE, kActiveXCacheKey);
}
