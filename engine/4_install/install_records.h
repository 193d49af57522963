// The registry records of an installed control, kept the way the browser's
// own code download keeps them, so that the browser and the update
// control's module check see the control as installed:
//
// - its Distribution Unit record, HKLM "SOFTWARE\Microsoft\Code Store
//   Database\Distribution Units\<CLSID>", listing its files, its codebase,
//   its setup information file and its version;
// - per installed file, a ModuleUsage key naming the controls that use it
//   and a SharedDlls reference count (both parent keys are only opened,
//   never created: a system without them records nothing there);
// - per user, the Ext\Stats entry with the domains allowed to use it.
//
// <CLSID> is the CLSID text exactly as the caller passed it, braces or not.
// Failures to write or delete a record are never reported.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "registry_key.h"

// Owner of one open Distribution Unit record key.
class CDistributionUnit {
 public:
  CDistributionUnit();
  virtual ~CDistributionUnit();  // closes the record key
  CDistributionUnit(const CDistributionUnit&) = delete;
  CDistributionUnit& operator=(const CDistributionUnit&) = delete;

  // Opens the record of clsid; with recreate, deletes it first (which fails
  // while it still has subkeys) and creates it anew with "Installer" =
  // "MSICD" and "SystemComponent" = 0. False for a null clsid or when the
  // key cannot be had.
  bool Open(const char* clsid, bool recreate);
  bool OpenRecord(const char* clsid) { return Open(clsid, false); }
  bool RecreateRecord(const char* clsid) { return Open(clsid, true); }
  void Close() { record_.Close(); }

  // Opens a subkey of the open record into key.
  bool OpenSubKey(const char* name, CRegistryKey& key, KeyOpenMode mode);
  // "Contains\Files", recreated empty.
  bool OpenContainsFiles(CRegistryKey& key);
  // "DownloadInformation" (CODEBASE, INF) and "InstalledVersion" (default
  // value, LastModified). False for a null text or when either subkey
  // cannot be opened; the value writes are not checked.
  bool WriteDownloadInformation(const char* codebase, const char* infPath, const char* version,
                                int32_t timeStamp);

  // The machine's counts of who uses each installed file.
  enum UsageKey { ModuleUsage, SharedDlls };
  // Opens which, an existing key under HKLM. A Win32 error code.
  static LONG OpenUsageKey(UsageKey which, CRegistryKey& key);

  // Releases every file of clsid's record (usage value, shared count; the
  // file is deleted once nothing counts it), deletes its setup information
  // file and then the whole record. True when there was no record or it is
  // gone, false when the record key could not be deleted. Without
  // deleteReleasedFiles the files stay where they are: an install that set
  // them aside itself only has the record let them go.
  bool Remove(const char* clsid, bool deleteReleasedFiles = true);

  // What Remove would take away, changing nothing: recorded gets every
  // file clsid's record lists; released gets those that Remove would
  // delete, and the setup information file.
  static void ListFiles(const char* clsid, std::vector<std::string>& recorded,
                        std::vector<std::string>& released);

 private:
  // Drops clsid's use of one installed file.
  static void ReleaseFile(const char* path, const char* clsid, CRegistryKey& usage,
                          CRegistryKey& shared, bool deleteReleasedFile);
  // The shared count of path once one reference is dropped: a missing or
  // unreadable count, or one stored as 0, counts as one reference.
  static DWORD CountAfterRelease(const char* path, const CRegistryKey& shared);

  CRegistryKey record_;
};

// "SOFTWARE\Microsoft\Code Store Database\Distribution Units\<clsid>".
void FormatDistributionUnitPath(const char* clsid, std::string& path);
// "Thu, 01 Jan 1970 00:00:00 GMT"; empty when the time cannot be converted.
void FormatGmtTime(int32_t time, std::string& text);
// A path with every "\" replaced by "/": the name of its ModuleUsage key.
std::string ModuleUsageKeyName(const char* path);
// HKLM "SOFTWARE\...\ModuleUsage\<file path with "/" for "\">".
std::string ModuleUsageKeyPath(const char* file);
// HKLM key of the shared files' counts.
extern const char kSharedDllsKeyPath[];
// HKCU "Software\...\Ext\Stats\<clsid>\iexplore".
std::string StatisticsKeyPath(const char* clsid);
