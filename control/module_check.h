// Installed-module check: is the control named by a CLSID usable on this
// machine? Reads HKEY_LOCAL_MACHINE and the file system only; changes
// nothing.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "result_code.h"

class CRegistryWatch;

// What a check of one class read from the registry, and from the version
// resource of its server file, kept so that the next check of the class
// reads only the file system. It stays true while the registry keys that
// WatchModuleCheckKeys names are unchanged and the server file has the
// size and times it had when the record was read.
struct CModuleRecord {
  bool read = false;
  bool registered = false;                // an InprocServer32 default value
  std::string serverPath;
  WIN32_FILE_ATTRIBUTE_DATA server = {};  // attributes INVALID_FILE_ATTRIBUTES: no such file
  std::vector<std::string> recordedFiles; // the Distribution Unit record's, when it lists the server
  std::string journalPath;                // empty when the machine names no ActiveX cache
  bool versionRead = false;
  bool hasVersion = false;                // a version resource
  std::string fileVersion;
};

// 0 when the CLSID is registered machine-wide as an in-process server whose
// file is present, at least needVersion (empty or null: any version), and
// whose Distribution Unit record lists no missing file. Otherwise the first
// reason, in this order: 1001 (null clsid), 2001 (no InprocServer32 default
// value, or a CLSID text too long for a key path), 2003 (server file
// missing), 2005 (no version resource), 2006 (version too old), 2004 (a
// recorded file missing, or an install journal left by an install nobody
// has finished: what is registered may be half of it, and the install
// that follows completes or undoes it first).
ResultCode CheckInstalledModule(const char* clsid, const char* needVersion);
// The same, from record where it holds what an earlier check of clsid
// read, and filling it in where it does not.
ResultCode CheckInstalledModule(const char* clsid, const char* needVersion, CModuleRecord& record);

// The keys whose change makes a CModuleRecord stale.
void WatchModuleCheckKeys(CRegistryWatch& watch);
