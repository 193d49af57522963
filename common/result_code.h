// Result codes: the one vocabulary of failures shared by the control, the
// engine and the pages that script them. 0 is success; 1xxx are common,
// 2xxx the control's own work, 5xxx the engine's install job. The numbers
// and names are an external interface: pages and users see both.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int32_t ResultCode;

enum : ResultCode {
  SUCCESS = 0,

  COMMON_INVALID_PARAM = 1001,
  COMMON_OUTOFMEMORY = 1002,

  MODULE_NOTEXIST_REGINFO = 2001,
  MODULE_NOTEXIST_CLSID = 2002,
  MODULE_NOTEXIST_DLL_FILE = 2003,
  MODULE_NOTEXIST_DEPENDENCY_FILE = 2004,
  MODULE_UNKNOWN_FILEVERSION = 2005,
  MODULE_NOTMATCH_VERSION = 2006,
  MODULE_CREATECONTROL_FAIL = 2101,
  MODULE_CANT_LOAD_DLL = 2102,
  MODULE_CANT_FIND_PROC = 2103,
  MODULE_AUTH_ELEVATION_FAIL = 2104,
  MODULE_INVALID_DOMAIN = 2105,
  MODULE_NOTSAFE_FOR_SCRIPTING = 2106,

  DLL_INVALID_DOMAIN = 5001,
  DLL_INVALID_SIGNCODE = 5002,
  DLL_UNKNOWN = 5003,
  DLL_USERCANCEL = 5004,
  DLL_CANT_CREATETHREAD = 5005,
  DLL_CANT_GETFILESIZE = 5006,
  DLL_CANT_OPENURL = 5007,
  DLL_CANT_READURL = 5008,
  DLL_CANT_OPEN_WRITEFILE = 5009,
  DLL_CANT_WRITEFILE = 5010,
  DLL_CANT_ANALYZE_CABFILECOUNT = 5011,
  DLL_CANT_OPEN_EXTRACTFILE = 5012,
  DLL_CANT_EXTRACTFILE = 5013,
  DLL_CANT_LOADINFFILE = 5014,
  DLL_CANT_GET_OCCCACHE = 5015,
  DLL_CANT_REGISTSERVER = 5016,
  DLL_CANT_COPYFILE = 5017,
  DLL_MISSING_MODULE = 5018,
  DLL_UNKNOWN_TARGET = 5019,
  DLL_LOADINF_CANT_FIND_ADDCODE = 5101,
  DLL_LOADINF_CANT_GET_FULLSRCFILE = 5102,
  DLL_LOADINF_NOT_IMPLEMENT = 5103,
  DLL_LOADINF_NOT_INITED = 5104,
  DLL_LOADINF_ITEM_DUPLICATED = 5105,
  DLL_LOADINF_MISSING_INFFILE = 5106,
  DLL_LOADINF_MISSING_SRCPATH = 5107,
  DLL_LOADINF_MISSING_FILE = 5108,
  DLL_LOADINF_INVALID_DESTINFO = 5109,
  DLL_LOADINF_NOTEXISTS_ACTIVEXDLL = 5110,
  DLL_LOADINF_NOTEXISTS_ANYITEM = 5111,
  DLL_LOADINF_NOTMATCH_NEEDVERSION = 5112,
  DLL_REMOVE_CANT = 5201,
  DLL_REMOVE_FAIL_UNREGIST_DLL = 5202,
  DLL_ETC_INVALID_OWNERCLSID = 5901,
};

// The code's name ("DLL_CANT_OPENURL"), or null for a number that is not a
// result code. Static text; pure and thread-safe.
const char* GetResultCodeName(ResultCode code);

// Writes the code's name, or its signed decimal form when it has none, into
// buffer, cut to size - 1 characters and always terminated. False, and the
// buffer untouched, when buffer is null or size is 0.
bool FormatResultCode(ResultCode code, char* buffer, size_t size);
