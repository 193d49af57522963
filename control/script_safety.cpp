#include "script_safety.h"

#include <objsafe.h>

#include <cstdio>

#include "com_ref.h"
#include "registry_key.h"

namespace {

const DWORD kKillBit = 0x400;
const char kSafeForScriptingCategory[] = "{7DD95801-9882-11CF-9FA9-00AA006C42C4}";

// The class id in registry form, with braces, upper case.
bool ClsidText(REFCLSID clsid, char (&text)[40]) {
  wchar_t wide[40];
  if (StringFromGUID2(clsid, wide, 40) == 0) return false;
  return WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr) > 0;
}

bool IsInSafeForScriptingCategory(const char* clsidText) {
  char path[160];
  std::snprintf(path, sizeof(path), "CLSID\\%s\\Implemented Categories\\%s", clsidText,
                kSafeForScriptingCategory);
  CRegistryKey key(KEY_READ);
  return key.OpenKey(HKEY_CLASSES_ROOT, path, OpenExisting) == ERROR_SUCCESS;
}

}  // namespace

bool IsKillBitSet(REFCLSID clsid) {
  char clsidText[40];
  // A class id that cannot be written out cannot be looked up: refuse it.
  if (!ClsidText(clsid, clsidText)) return true;
  char path[160];
  std::snprintf(path, sizeof(path),
                "SOFTWARE\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\%s", clsidText);
  CRegistryKey key(KEY_READ);
  DWORD flags = 0;
  if (key.OpenKey(HKEY_LOCAL_MACHINE, path, OpenExisting) != ERROR_SUCCESS ||
      key.QueryDWORD("Compatibility Flags", flags) != ERROR_SUCCESS)
    return false;
  return (flags & kKillBit) != 0;
}

bool IsSafeForScripting(REFCLSID clsid, IUnknown* object) {
  char clsidText[40];
  if (ClsidText(clsid, clsidText) && IsInSafeForScriptingCategory(clsidText)) return true;
  if (object == nullptr) return false;
  CComRef<IObjectSafety> safety;
  if (FAILED(object->QueryInterface(IID_IObjectSafety, safety.ReceiveVoid())) || !safety)
    return false;
  return safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                           INTERFACESAFE_FOR_UNTRUSTED_CALLER) == S_OK;
}
