// Installed-module check: is the control named by a CLSID usable on this
// machine? Reads HKEY_LOCAL_MACHINE and the file system only; changes
// nothing.
#pragma once

#include "result_code.h"

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
