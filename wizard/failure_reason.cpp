#include "failure_reason.h"

#include "resource.h"

int GetFailureReasonId(ResultCode code) {
  switch (code) {
    case DLL_INVALID_DOMAIN:
    case DLL_INVALID_SIGNCODE:
    case DLL_MISSING_MODULE:
    case DLL_UNKNOWN_TARGET:
      return IDS_REASON_INVALID_PACKAGE;
    case DLL_CANT_GETFILESIZE:
    case DLL_CANT_OPENURL:
    case DLL_CANT_READURL:
      return IDS_REASON_DOWNLOAD;
    case DLL_CANT_OPEN_WRITEFILE:
    case DLL_CANT_WRITEFILE:
      return IDS_REASON_SAVE;
    case DLL_CANT_ANALYZE_CABFILECOUNT:
    case DLL_CANT_OPEN_EXTRACTFILE:
      return IDS_REASON_OPEN_PACKAGE;
    case DLL_CANT_EXTRACTFILE:
      return IDS_REASON_EXTRACT;
    case DLL_CANT_LOADINFFILE:
      return IDS_REASON_READ_SETUP_INFO;
    case DLL_CANT_REGISTSERVER:
    case DLL_CANT_COPYFILE:
      return IDS_REASON_INSTALL_FILE;
    case DLL_LOADINF_NOTMATCH_NEEDVERSION:
      return IDS_REASON_VERSION;
    case DLL_REMOVE_CANT:
      return IDS_REASON_REMOVE_OLD;
    default:
      if (code >= DLL_LOADINF_CANT_FIND_ADDCODE && code <= DLL_LOADINF_NOTEXISTS_ANYITEM)
        return IDS_REASON_INVALID_SETUP_INFO;
      return 0;
  }
}
