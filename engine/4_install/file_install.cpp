// The install stage: removing the old version of a control, copying the
// package's files to their folders and registering its servers.
#include "file_install.h"

#include <windows.h>

#include <cstdio>

#include "install_journal.h"
#include "install_package.h"
#include "install_records.h"
#include "local_file.h"
#include "path_util.h"
#include "registry_key.h"
#include "registry_snapshot.h"
#include "version.h"
#include "server_registration.h"

namespace {

// Cache folder candidates: the base folder, then CONFLICT.1 to CONFLICT.98.
constexpr int kLastConflictFolder = 98;

std::string JoinPath(const char* folder, const std::string& name) {
  return std::string(folder) + "\\" + name;
}

// True when one of the first count paths names path, ignoring case.
bool ContainsPath(const std::vector<std::string>& paths, const std::string& path, size_t count) {
  for (size_t i = 0; i < count && i < paths.size(); ++i)
    if (IsSamePath(paths[i], path)) return true;
  return false;
}

std::string TrimmedFolder(const char* path) {
  std::string folder = path;
  TrimTrailingSlashes(folder);
  return folder;
}

}  // namespace

bool GetSystemFolders(std::string& windowsFolder, std::string& systemFolder) {
  char folder[MAX_PATH];
  UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  windowsFolder = TrimmedFolder(folder);
  length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  systemFolder = TrimmedFolder(folder);
  return true;
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

  OldVersion old;
  result = FindOldVersion(old);
  if (result == SUCCESS) result = RefuseDowngrade(old);
  if (result != SUCCESS) return result;
  if (IsCancelled()) return DLL_USERCANCEL;

  if (listener_) listener_->OnStartInstall(static_cast<int32_t>(items_.size()) + 1);
  std::string cacheFolder, windowsFolder, systemFolder;
  if (!GetTargetFolders(old, cacheFolder, windowsFolder, systemFolder))
    return DLL_CANT_GET_OCCCACHE;
  if (IsCancelled()) return DLL_USERCANCEL;

  // Nothing of the old version is touched until every new file is beside
  // its destination; from the first change on, the journal can undo it. A
  // journal that cannot be written, or one left by an install nobody could
  // finish, lets nothing change.
  CInstallJournal journal(journalPath_);
  if (!journal.IsIntact()) return DLL_CANT_COPYFILE;
  result = StageFiles(cacheFolder, windowsFolder, systemFolder, journal);
  if (result == SUCCESS && IsCancelled()) result = DLL_USERCANCEL;
  if (result == SUCCESS) {
    if (listener_) listener_->OnWriteRegistry();
    result = journal.SavedRecords(SnapshotRecords(old)) ? ReplaceOldVersion(old, journal)
                                                         : DLL_CANT_COPYFILE;
  }
  if (result == SUCCESS && !RewriteRecords(journal)) result = DLL_CANT_COPYFILE;
  if (result != SUCCESS) {
    // What cannot be put back now stays journalled; the next job finishes
    // the undo before it changes anything.
    journal.RollBack();
    return result;
  }
  journal.Commit();
  return SUCCESS;
}

ResultCode CInstallPackage::FindOldVersion(OldVersion& old) {
  std::string serverPath;
  if (GetInprocServerPath(clsid_.c_str(), serverPath)) {
    if (listener_) listener_->OnRemoveOldVersion();
    if (GetPathType(serverPath.c_str()) == PathFile) {
      // A server some browser window has loaded cannot be replaced; leave
      // everything as it is.
      if (!CanOpenForWriting(serverPath.c_str())) return DLL_REMOVE_CANT;
      old.serverPath = serverPath;
      old.releasedFiles.push_back(serverPath);
    }
  }
  CDistributionUnit::ListFiles(clsid_.c_str(), old.recordedFiles, old.releasedFiles);
  return SUCCESS;
}

ResultCode CInstallPackage::RefuseDowngrade(const OldVersion& old) const {
  // A server without a readable version sets no floor; the needed-version
  // test has already made sure the new file carries one.
  uint64_t installed = 0;
  uint64_t offered = 0;
  if (!ReadFileVersion(old.serverPath.c_str(), &installed) ||
      !ReadFileVersion(mainItem_->sourcePath.c_str(), &offered))
    return SUCCESS;
  if (CompareVersion(offered, installed) != -1) return SUCCESS;
  uint64_t needed = 0;
  if (ParseVersion(needVersion_.c_str(), &needed) && needed == offered) return SUCCESS;
  return DLL_LOADINF_NOTMATCH_NEEDVERSION;
}

ResultCode CInstallPackage::StageFiles(const std::string& cacheFolder,
                                       const std::string& windowsFolder,
                                       const std::string& systemFolder, CInstallJournal& journal) {
  if (GetPathType(cacheFolder.c_str()) == PathMissing && !journal.MadeFolder(cacheFolder))
    return DLL_CANT_COPYFILE;
  ResultCode result = CopyItem(&infItem_, cacheFolder.c_str(), windowsFolder.c_str(),
                               systemFolder.c_str(), journal);
  for (const auto& item : items_) {
    if (result != SUCCESS) break;
    if (item->sourcePath.empty()) continue;
    result = CopyItem(item.get(), cacheFolder.c_str(), windowsFolder.c_str(), systemFolder.c_str(),
                      journal);
  }
  return result;
}

ResultCode CInstallPackage::ReplaceOldVersion(const OldVersion& old, CInstallJournal& journal) {
  if (!old.serverPath.empty()) journal.UnregisteredOldServer(old.serverPath);

  // Every file that goes away or is replaced waits beside itself until the
  // new version is recorded. A released file that cannot be moved stays,
  // as it stayed when its deletion failed; one that must make room for a
  // new file ends the install.
  std::vector<const InstallItem*> placed;
  if (!infItem_.destPath.empty()) placed.push_back(&infItem_);
  for (const auto& item : items_)
    if (!item->destPath.empty()) placed.push_back(item.get());
  std::vector<std::string> leaving = old.releasedFiles;
  for (const InstallItem* item : placed) leaving.push_back(item->destPath);
  std::vector<std::pair<std::string, bool>> moves;  // path, and whether it must make room
  for (size_t i = 0; i < leaving.size(); ++i) {
    const std::string& path = leaving[i];
    if (ContainsPath(leaving, path, i) || GetPathType(path.c_str()) != PathFile) continue;
    const bool mustMove = i >= old.releasedFiles.size();
    // A set-aside file left by an earlier install that could not delete it
    // must not pass for this one's; while a journal names it, it may be
    // the only copy of a working control, and stays.
    const std::string aside = SetAsidePath(path);
    if (GetPathType(aside.c_str()) != PathMissing &&
        (IsNamedByJournal(journalPath_, aside) || !DeleteFileA(aside.c_str()))) {
      if (mustMove) return DLL_CANT_COPYFILE;
      continue;
    }
    journal.SetAside(path, aside);
    moves.emplace_back(path, mustMove);
  }
  for (const InstallItem* item : placed)
    if (!journal.Placed(StagedPath(item->destPath), item->destPath)) return DLL_CANT_COPYFILE;

  // One flush puts every step above on the disk before the first is done;
  // undo tells from the disk which of them were.
  if (!journal.Flush()) return DLL_CANT_COPYFILE;
  if (!old.serverPath.empty()) UnregisterServer(old.serverPath.c_str());
  for (const auto& move : moves)
    if (!MoveFileExA(move.first.c_str(), SetAsidePath(move.first).c_str(), 0) && move.second)
      return DLL_CANT_COPYFILE;
  for (const InstallItem* item : placed)
    if (!MoveFileExA(StagedPath(item->destPath).c_str(), item->destPath.c_str(), 0))
      return DLL_CANT_COPYFILE;

  for (const auto& item : items_) {
    if (!item->registerServer) continue;
    if (!journal.Registered(item->destPath)) return DLL_CANT_COPYFILE;
    if (!RegisterServer(item->destPath.c_str())) return DLL_CANT_REGISTSERVER;
  }
  return SUCCESS;
}

CRegistrySnapshot CInstallPackage::SnapshotRecords(const OldVersion& old) const {
  CRegistrySnapshot snapshot;
  std::string recordPath;
  FormatDistributionUnitPath(clsid_.c_str(), recordPath);
  snapshot.CaptureKey(HKEY_LOCAL_MACHINE, recordPath);
  // The control's own statistics key: writing its "iexplore" subkey may
  // create it.
  snapshot.CaptureKey(HKEY_CURRENT_USER, GetParentPath(StatisticsKeyPath(clsid_.c_str()).c_str(), true));
  std::vector<std::string> files = old.recordedFiles;
  for (const auto& item : items_)
    if (!item->destPath.empty()) files.push_back(item->destPath);
  for (size_t i = 0; i < files.size(); ++i) {
    if (ContainsPath(files, files[i], i)) continue;  // an upgrade names most files twice
    snapshot.CaptureKey(HKEY_LOCAL_MACHINE, ModuleUsageKeyPath(files[i].c_str()));
    snapshot.CaptureValue(HKEY_LOCAL_MACHINE, kSharedDllsKeyPath, files[i]);
  }
  return snapshot;
}

bool CInstallPackage::RewriteRecords(CInstallJournal& journal) {
  if (!journal.RewritingRecords()) return false;
  // The old files were set aside already; the record only lets them go.
  CDistributionUnit record;
  const bool oldRecordReleased = record.Remove(clsid_.c_str(), false);
  WriteInstallRecords(oldRecordReleased);
  return true;
}

bool CInstallPackage::GetTargetFolders(const OldVersion& old, std::string& cacheFolder,
                                       std::string& windowsFolder,
                                       std::string& systemFolder) const {
  std::string base;
  if (!GetActiveXCacheFolder(base)) return false;
  TrimTrailingSlashes(base);

  std::string candidate = base;
  for (int n = 1; HasConflict(candidate.c_str(), old); ++n) {
    if (n > kLastConflictFolder) return false;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "\\CONFLICT.%d", n);
    candidate = base + suffix;
  }
  cacheFolder = candidate;
  return GetSystemFolders(windowsFolder, systemFolder);
}

bool CInstallPackage::HasConflict(const char* folder, const OldVersion& old) const {
  for (const auto& item : items_) {
    if (item->destDir != DestCacheFolder) continue;
    const std::string path = JoinPath(folder, item->name);
    if (GetPathType(path.c_str()) == PathMissing) continue;
    // A file of the old version makes room, unless another process holds it.
    if (!ContainsPath(old.releasedFiles, path, old.releasedFiles.size()) ||
        !CanOpenForWriting(path.c_str()))
      return true;
  }
  return false;
}

ResultCode CInstallPackage::CopyItem(InstallItem* item, const char* cacheFolder,
                                     const char* windowsFolder, const char* systemFolder,
                                     CInstallJournal& journal) {
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

  // A file that another process holds (a shared DLL it has loaded) could
  // not be replaced later: find out before the old version is touched.
  if (GetPathType(item->destPath.c_str()) == PathFile && !CanOpenForWriting(item->destPath.c_str()))
    return DLL_CANT_COPYFILE;
  const std::string staged = StagedPath(item->destPath);
  if (!journal.Staged(staged) || !CopyFileA(item->sourcePath.c_str(), staged.c_str(), FALSE))
    return DLL_CANT_COPYFILE;
  FILETIME creation, lastWrite;
  if (ReadFileTimes(item->sourcePath.c_str(), creation, lastWrite))
    WriteFileTimes(staged.c_str(), creation, lastWrite);

  if (listener_) listener_->OnInstallFileDone();
  return SUCCESS;
}

std::string CInstallPackage::StagedPath(const std::string& path) { return path + ".~ovnew"; }

std::string CInstallPackage::SetAsidePath(const std::string& path) { return path + ".~ovold"; }
