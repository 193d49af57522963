// CInstallPackage: one unpacked package on its way into the system.
//
// The package's setup information file (an INI-style *.inf file in the
// extraction folder) lists its files in section "Add.Code"; each listed
// name has a section of its own saying where the file comes from, where it
// goes, whether it is a COM server to register, its CLSID and its version.
// LoadSetupInfo turns that file into the ordered install items; Install
// removes the previous version of the requested control, copies and
// registers the items and writes the registry records the browser's own
// code download writes. Every operation returns a result code (0 on
// success) unless it says otherwise.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "install_progress.h"
#include "result_code.h"

// Where an item goes.
enum InstallDestDir : int32_t {
  DestCacheFolder = 0,    // the browser's downloaded-controls folder
  DestWindowsFolder = 1,  // "DestDir" 10
  DestSystemFolder = 2,   // "DestDir" 11
};

// One file of the package.
struct InstallItem {
  std::string name;         // the "Add.Code" key: the file's name in the package
  std::string sourcePath;   // extraction folder + "\" + name
  std::string destPath;     // empty until the file has been copied
  std::string fileVersion;  // "FileVersion" as written
  std::string clsid;        // "clsid" as written
  InstallDestDir destDir = DestCacheFolder;
  bool registerServer = false;  // call its DllRegisterServer once copied
};

class CInstallJournal;
class CRegistrySnapshot;

// What removing the installed version of the requested control takes away,
// found before anything is changed.
struct OldVersion {
  std::string serverPath;                  // its registered server file; empty when none exists
  std::vector<std::string> recordedFiles;  // the files its record lists
  std::vector<std::string> releasedFiles;  // the files removal deletes: the server, the
                                           // recorded files nothing else counts, the
                                           // setup information file
};

class CInstallPackage {
 public:
  CInstallPackage();
  virtual ~CInstallPackage();
  CInstallPackage(const CInstallPackage&) = delete;
  CInstallPackage& operator=(const CInstallPackage&) = delete;

  // Resets, then keeps copies of the arguments (null texts become empty).
  // The package is ready once extractionFolder and codebase are non-empty;
  // the listener (not owned, may be null) is kept even when it is not.
  void Init(IInstallProgress* listener, const char* extractionFolder, const char* clsid,
            const char* codebase, const char* needVersion, int32_t timeStamp);
  // Frees every item and forgets every input; the package is not ready.
  void Reset();

  // Finds the setup information file in the extraction folder and reads
  // it. 5104 when not ready, 5106 when there is none.
  ResultCode LoadSetupInfo();
  // Reads the items of the file at path, picks the main control item and
  // applies the needed-version test. On failure the items read so far stay
  // listed until the next Reset.
  ResultCode ReadSetupInfo(const char* path);
  // Reads the section of one "Add.Code" name and lists its item.
  ResultCode ParseItem(const char* path, const char* name);
  // The listed item of that name, compared without regard to case; null
  // when there is none.
  InstallItem* FindItem(const char* name) const;
  // "<extraction folder>\<name>"; false when not ready, or when name is
  // null or would leave the extraction folder (absolute, a drive letter,
  // a ".." segment).
  bool GetSourcePath(const char* name, std::string& out) const;

  // Where the install stage writes its journal (see CInstallJournal); with
  // none, a failed install is still undone but a killed one is not.
  void SetJournalPath(const std::string& path) { journalPath_ = path; }

  // The whole installation: read, remove the old version, copy, register,
  // record. All or nothing: when a step fails or the player cancels, the
  // system is put back as it was, old version, records and all.
  ResultCode Install();
  // Finds what removing the requested CLSID's installed version takes
  // away, changing nothing. 5201 when its registered server file is in use.
  // Install then refuses a package older than that server (5112) unless
  // the needed version is exactly the package's.
  ResultCode FindOldVersion(OldVersion& old);
  // The cache folder (the downloaded-controls folder, or its first
  // CONFLICT.n without a clash), the Windows and the System folder, all
  // without trailing separators. False when the downloaded-controls folder
  // is not configured or all 99 candidates clash.
  bool GetTargetFolders(const OldVersion& old, std::string& cacheFolder,
                        std::string& windowsFolder, std::string& systemFolder) const;
  // True when a cache-destined item already has a file or folder of its
  // name in folder that the old version's removal does not take away.
  bool HasConflict(const char* folder, const OldVersion& old) const;
  // Copies one item beside its destination under a temporary name
  // (StagedPath) and sets its destPath. 5017 when the copy fails or when a
  // file already at the destination could not be replaced (in use).
  ResultCode CopyItem(InstallItem* item, const char* cacheFolder, const char* windowsFolder,
                      const char* systemFolder, CInstallJournal& journal);
  // Writes the Distribution Unit record, module usage, shared counts and
  // the user's statistics for the installed items. A record that cannot be
  // written is skipped.
  void WriteInstallRecords(bool oldRecordReleased);

  // Where a file is copied before it replaces the one at path.
  static std::string StagedPath(const std::string& path);
  // Where an old file waits while its replacement is installed.
  static std::string SetAsidePath(const std::string& path);

  const std::vector<std::unique_ptr<InstallItem>>& items() const { return items_; }
  const InstallItem& infItem() const { return infItem_; }
  const InstallItem* mainItem() const { return mainItem_; }
  bool ready() const { return ready_; }

 private:
  bool IsCancelled() const;
  // Stages every file: the setup information file, then the items.
  ResultCode StageFiles(const std::string& cacheFolder, const std::string& windowsFolder,
                        const std::string& systemFolder, CInstallJournal& journal);
  // Unregisters the old server, sets the old files aside, moves the staged
  // files into place and registers the new servers.
  ResultCode ReplaceOldVersion(const OldVersion& old, CInstallJournal& journal);
  // The records an install rewrites, as they are now.
  CRegistrySnapshot SnapshotRecords(const OldVersion& old) const;
  // Rewrites the records: the old version's released, the new one's
  // written. False, with nothing rewritten, when the journal cannot say so.
  bool RewriteRecords(CInstallJournal& journal);
  bool IsRequestedControl(const InstallItem& item) const;
  // 5112 when the main control file is older than the installed server,
  // unless the needed version names exactly the package's version: only a
  // page that asks for that version rolls a control back.
  ResultCode RefuseDowngrade(const OldVersion& old) const;
  // One value of a section into text; false when absent or empty.
  bool ReadProfileValue(const char* path, const char* section, const char* key,
                        std::string& text) const;

  std::vector<std::unique_ptr<InstallItem>> items_;  // owned, "Add.Code" order
  InstallItem infItem_;                               // the setup information file itself
  InstallItem* mainItem_ = nullptr;                   // points into items_
  std::string extractionFolder_;
  std::string codebase_;
  std::string clsid_;
  std::string needVersion_;
  bool ready_ = false;
  int32_t timeStamp_ = 0;
  IInstallProgress* listener_ = nullptr;  // not owned; skipped when null
  std::string journalPath_;
};
