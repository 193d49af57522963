#include "script_safety.h"

#include <objsafe.h>

#include <cstdio>
#include <string>

#include "com_ref.h"
#include "registry_key.h"
#include "registry_watch.h"

namespace {

// IDispatchEx, which script engines use when an object offers it; the
// import libraries do not carry its IID.
const IID kIidDispatchEx = {0xa6ef9860, 0xc720, 0x11d0, {0x93, 0x37, 0x00, 0xa0, 0xc9, 0x0d, 0xca, 0xa9}};
const DWORD kKillBit = 0x400;
const char kSafeForScriptingCategory[] = "{7DD95801-9882-11CF-9FA9-00AA006C42C4}";
// The browser honours the kill bit in both places; policy writes the second.
const char* const kKillBitRoots[] = {
    "SOFTWARE\\Microsoft\\Internet Explorer\\ActiveX Compatibility",
    "SOFTWARE\\Policies\\Microsoft\\Internet Explorer\\ActiveX Compatibility",
};

// The class id in registry form, with braces, upper case.
bool ClsidText(REFCLSID clsid, char (&text)[40]) {
  wchar_t wide[40];
  if (StringFromGUID2(clsid, wide, 40) == 0) return false;
  return WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr) > 0;
}

bool IsKillBitSet(const char* clsidText) {
  for (const char* root : kKillBitRoots) {
    char path[160];
    std::snprintf(path, sizeof(path), "%s\\%s", root, clsidText);
    CRegistryKey key(KEY_READ);
    DWORD flags = 0;
    if (key.OpenKey(HKEY_LOCAL_MACHINE, path, OpenExisting) == ERROR_SUCCESS &&
        key.QueryDWORD("Compatibility Flags", flags) == ERROR_SUCCESS && (flags & kKillBit) != 0)
      return true;
  }
  return false;
}

// The class that creating clsid runs: the one named by the default value of
// its TreatAs key, as CoGetTreatAsClass reads it, in one open of that key.
// False, refusing the class, when the key is there but names no class.
bool ReadTreatAs(const char* clsidText, REFCLSID clsid, CLSID& runs) {
  runs = clsid;
  char path[80];
  std::snprintf(path, sizeof(path), "CLSID\\%s\\TreatAs", clsidText);
  CRegistryKey key(KEY_READ);
  const LONG opened = key.OpenKey(HKEY_CLASSES_ROOT, path, OpenExisting);
  if (opened == ERROR_FILE_NOT_FOUND) return true;
  std::string text;
  wchar_t wide[40];
  return opened == ERROR_SUCCESS && key.QueryString("", text) == ERROR_SUCCESS &&
         MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, 40) > 0 &&
         SUCCEEDED(CLSIDFromString(wide, &runs));
}

// Asks safety for untrusted callers on iid as a browser does: the option
// must be one the object supports, and setting it must succeed.
bool AcceptsUntrustedCallers(IObjectSafety* safety, REFIID iid) {
  DWORD supported = 0, enabled = 0;
  return SUCCEEDED(safety->GetInterfaceSafetyOptions(iid, &supported, &enabled)) &&
         (supported & INTERFACESAFE_FOR_UNTRUSTED_CALLER) != 0 &&
         SUCCEEDED(safety->SetInterfaceSafetyOptions(iid, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                                     INTERFACESAFE_FOR_UNTRUSTED_CALLER));
}

}  // namespace

bool ResolveScriptableClass(REFCLSID clsid, CLSID& runs) {
  char clsidText[40];
  // A class id that cannot be written out cannot be looked up: refuse it.
  if (!ClsidText(clsid, clsidText) || !ReadTreatAs(clsidText, clsid, runs) || IsKillBitSet(clsidText))
    return false;
  if (IsEqualCLSID(runs, clsid)) return true;
  char runsText[40];
  return ClsidText(runs, runsText) && !IsKillBitSet(runsText);
}

bool AcceptsScripting(IUnknown* object, bool& hasObjectSafety) {
  hasObjectSafety = false;
  if (object == nullptr) return false;
  CComRef<IObjectSafety> safety;
  if (FAILED(object->QueryInterface(IID_IObjectSafety, safety.ReceiveVoid())) || !safety)
    return false;
  hasObjectSafety = true;
  CComRef<IUnknown> dispatchEx;
  if (SUCCEEDED(object->QueryInterface(kIidDispatchEx, dispatchEx.ReceiveVoid())) && dispatchEx &&
      !AcceptsUntrustedCallers(safety.Get(), kIidDispatchEx))
    return false;
  return AcceptsUntrustedCallers(safety.Get(), IID_IDispatch);
}

bool IsInSafeForScriptingCategory(REFCLSID clsid) {
  char clsidText[40];
  if (!ClsidText(clsid, clsidText)) return false;
  char path[160];
  std::snprintf(path, sizeof(path), "CLSID\\%s\\Implemented Categories\\%s", clsidText,
                kSafeForScriptingCategory);
  CRegistryKey key(KEY_READ);
  return key.OpenKey(HKEY_CLASSES_ROOT, path, OpenExisting) == ERROR_SUCCESS;
}

void WatchScriptSafetyKeys(CRegistryWatch& watch) {
  // TreatAs and the categories are read through HKEY_CLASSES_ROOT, which
  // shows the user's classes over the machine's.
  watch.Add(HKEY_LOCAL_MACHINE, kMachineClassIdsKey);
  watch.Add(HKEY_CURRENT_USER, "Software\\Classes\\CLSID");
  for (const char* root : kKillBitRoots) watch.Add(HKEY_LOCAL_MACHINE, root);
}
