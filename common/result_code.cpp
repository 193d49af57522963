#include "result_code.h"

#include <mbstring.h>
#include <stdio.h>

namespace {

struct CodeName {
  ResultCode code;
  const char* name;
};

#define OV_CODE(name) {name, #name}
const CodeName kCodeNames[] = {
    OV_CODE(SUCCESS),
    OV_CODE(COMMON_INVALID_PARAM),
    OV_CODE(COMMON_OUTOFMEMORY),
    OV_CODE(MODULE_NOTEXIST_REGINFO),
    OV_CODE(MODULE_NOTEXIST_CLSID),
    OV_CODE(MODULE_NOTEXIST_DLL_FILE),
    OV_CODE(MODULE_NOTEXIST_DEPENDENCY_FILE),
    OV_CODE(MODULE_UNKNOWN_FILEVERSION),
    OV_CODE(MODULE_NOTMATCH_VERSION),
    OV_CODE(MODULE_CREATECONTROL_FAIL),
    OV_CODE(MODULE_CANT_LOAD_DLL),
    OV_CODE(MODULE_CANT_FIND_PROC),
    OV_CODE(MODULE_AUTH_ELEVATION_FAIL),
    OV_CODE(MODULE_INVALID_DOMAIN),
    OV_CODE(MODULE_NOTSAFE_FOR_SCRIPTING),
    OV_CODE(DLL_INVALID_DOMAIN),
    OV_CODE(DLL_INVALID_SIGNCODE),
    OV_CODE(DLL_UNKNOWN),
    OV_CODE(DLL_USERCANCEL),
    OV_CODE(DLL_CANT_CREATETHREAD),
    OV_CODE(DLL_CANT_GETFILESIZE),
    OV_CODE(DLL_CANT_OPENURL),
    OV_CODE(DLL_CANT_READURL),
    OV_CODE(DLL_CANT_OPEN_WRITEFILE),
    OV_CODE(DLL_CANT_WRITEFILE),
    OV_CODE(DLL_CANT_ANALYZE_CABFILECOUNT),
    OV_CODE(DLL_CANT_OPEN_EXTRACTFILE),
    OV_CODE(DLL_CANT_EXTRACTFILE),
    OV_CODE(DLL_CANT_LOADINFFILE),
    OV_CODE(DLL_CANT_GET_OCCCACHE),
    OV_CODE(DLL_CANT_REGISTSERVER),
    OV_CODE(DLL_CANT_COPYFILE),
    OV_CODE(DLL_MISSING_MODULE),
    OV_CODE(DLL_UNKNOWN_TARGET),
    OV_CODE(DLL_LOADINF_CANT_FIND_ADDCODE),
    OV_CODE(DLL_LOADINF_CANT_GET_FULLSRCFILE),
    OV_CODE(DLL_LOADINF_NOT_IMPLEMENT),
    OV_CODE(DLL_LOADINF_NOT_INITED),
    OV_CODE(DLL_LOADINF_ITEM_DUPLICATED),
    OV_CODE(DLL_LOADINF_MISSING_INFFILE),
    OV_CODE(DLL_LOADINF_MISSING_SRCPATH),
    OV_CODE(DLL_LOADINF_MISSING_FILE),
    OV_CODE(DLL_LOADINF_INVALID_DESTINFO),
    OV_CODE(DLL_LOADINF_NOTEXISTS_ACTIVEXDLL),
    OV_CODE(DLL_LOADINF_NOTEXISTS_ANYITEM),
    OV_CODE(DLL_LOADINF_NOTMATCH_NEEDVERSION),
    OV_CODE(DLL_REMOVE_CANT),
    OV_CODE(DLL_REMOVE_FAIL_UNREGIST_DLL),
    OV_CODE(DLL_ETC_INVALID_OWNERCLSID),
};
#undef OV_CODE

}  // namespace

const char* GetResultCodeName(ResultCode code) {
  for (const CodeName& entry : kCodeNames) {
    if (entry.code == code) return entry.name;
  }
  return nullptr;
}

bool FormatResultCode(ResultCode code, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return false;
  if (const char* name = GetResultCodeName(code)) {
    _mbsnbcpy(reinterpret_cast<unsigned char*>(buffer),
              reinterpret_cast<const unsigned char*>(name), size);
  } else {
    _snprintf(buffer, size, "%d", static_cast<int>(code));
  }
  buffer[size - 1] = '\0';
  return true;
}
