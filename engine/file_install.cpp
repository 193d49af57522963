// The install stage: removing the old version of a control, copying the
// package's files to their folders and registering its servers.
#include "file_install.h"

#include <windows.h>

#include <cstdio>

#include "install_package.h"
#include "install_records.h"
#include "local_file.h"
#include "path_util.h"
#include "registry_key.h"
#include "server_registration.h"

namespace {

// Cache folder candidates: the base folder, then CONFLICT.1 to CONFLICT.98.
constexpr int kLastConflictFolder = 98;

std::string JoinPath(const char* folder, const std::string& name) {
  return std::string(folder) + "\\" + name;
}

std::string TrimmedFolder(const char* path) {
  std::string folder = path;
  TrimTrailingSlashes(folder);
  return folder;
}

}  // namespace

bool GetActiveXCacheFolder(std::string& folder) {
  CRegistryKey key;
  if (key.OpenKey(HKEY_LOCAL_MACHINE,
                  "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ActiveX Cache",
                  OpenExisting) != ERROR_SUCCESS)
    return false;
  return key.QueryString("0", folder) == ERROR_SUCCESS && !folder.empty();
}

bool CanOpenForWriting(const char* path) {
  if (path == nullptr) return false;
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

ResultCode CInstallPackage::Install() {
  ResultCode result = LoadSetupInfo();
  if (result != SUCCESS) return result;
  if (IsCancelled()) return DLL_USERCANCEL;

  int32_t oldRecordReleased = 0;
  result = RemoveOldVersion(oldRecordReleased);
  if (result != SUCCESS) return result;
  if (IsCancelled()) return DLL_USERCANCEL;

  if (listener_) listener_->OnStartInstall(static_cast<int32_t>(items_.size()) + 1);
  std::string cacheFolder, windowsFolder, systemFolder;
  if (!GetTargetFolders(cacheFolder, windowsFolder, systemFolder)) return DLL_CANT_GET_OCCCACHE;
  if (IsCancelled()) return DLL_USERCANCEL;

  result = CopyItem(&infItem_, cacheFolder.c_str(), windowsFolder.c_str(), systemFolder.c_str());
  if (result != SUCCESS) return result;
  for (const auto& item : items_) {
    if (item->sourcePath.empty()) continue;
    result = CopyItem(item.get(), cacheFolder.c_str(), windowsFolder.c_str(), systemFolder.c_str());
    if (result != SUCCESS) return result;
  }
  if (IsCancelled()) return DLL_USERCANCEL;

  if (listener_) listener_->OnWriteRegistry();
  for (const auto& item : items_)
    if (item->registerServer && !RegisterServer(item->destPath.c_str())) return DLL_CANT_REGISTSERVER;

  WriteInstallRecords(oldRecordReleased);
  return SUCCESS;
}

ResultCode CInstallPackage::RemoveOldVersion(int32_t& oldRecordReleased) {
  std::string serverPath;
  if (GetInprocServerPath(clsid_.c_str(), serverPath)) {
    if (listener_) listener_->OnRemoveOldVersion();
    if (GetPathType(serverPath.c_str()) == PathFile) {
      // A server some browser window has loaded cannot be replaced; leave
      // everything as it is.
      if (!CanOpenForWriting(serverPath.c_str())) {
        oldRecordReleased = 0;
        return DLL_REMOVE_CANT;
      }
      UnregisterServer(serverPath.c_str());
      DeleteFileA(serverPath.c_str());
    }
  }
  CDistributionUnit record;
  oldRecordReleased = record.Remove(clsid_.c_str());
  return SUCCESS;
}

bool CInstallPackage::GetTargetFolders(std::string& cacheFolder, std::string& windowsFolder,
                                       std::string& systemFolder) const {
  std::string base;
  if (!GetActiveXCacheFolder(base)) return false;
  TrimTrailingSlashes(base);

  std::string candidate = base;
  for (int n = 1; HasConflict(candidate.c_str()); ++n) {
    if (n > kLastConflictFolder) return false;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "\\CONFLICT.%d", n);
    candidate = base + suffix;
  }
  cacheFolder = candidate;

  // A folder that does not fit the buffer would leave an empty text, and
  // items would be copied to the drive's root: refuse instead.
  char folder[MAX_PATH];
  UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  windowsFolder = TrimmedFolder(folder);
  length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  systemFolder = TrimmedFolder(folder);
  return true;
}

bool CInstallPackage::HasConflict(const char* folder) const {
  for (const auto& item : items_)
    if (item->destDir == DestCacheFolder &&
        GetPathType(JoinPath(folder, item->name).c_str()) != PathMissing)
      return true;
  return false;
}

ResultCode CInstallPackage::CopyItem(InstallItem* item, const char* cacheFolder,
                                     const char* windowsFolder, const char* systemFolder) {
  if (item == nullptr || cacheFolder == nullptr || windowsFolder == nullptr ||
      systemFolder == nullptr)
    return COMMON_INVALID_PARAM;
  if (IsCancelled()) return DLL_USERCANCEL;
  if (listener_) listener_->OnInstallFile(item->name.c_str());

  const char* folder = nullptr;
  switch (item->destDir) {
    case DestCacheFolder:
      EnsureDirectory(cacheFolder);
      folder = cacheFolder;
      break;
    case DestWindowsFolder: folder = windowsFolder; break;
    case DestSystemFolder: folder = systemFolder; break;
    default: return DLL_UNKNOWN_TARGET;
  }
  item->destPath = JoinPath(folder, item->name);

  if (!CopyFileA(item->sourcePath.c_str(), item->destPath.c_str(), FALSE)) return DLL_CANT_COPYFILE;
  FILETIME creation, lastWrite;
  if (ReadFileTimes(item->sourcePath.c_str(), creation, lastWrite))
    WriteFileTimes(item->destPath.c_str(), creation, lastWrite);

  if (listener_) listener_->OnInstallFileDone();
  return SUCCESS;
}
