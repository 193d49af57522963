#include "elevation.h"

#include <objbase.h>
#include <sddl.h>

#include <cwchar>
#include <string>

#include "registry_key.h"

namespace {

void WriteSecurityValue(CRegistryKey& key, const char* name, const char* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                            nullptr))
    return;
  key.SetBinary(name, descriptor, GetSecurityDescriptorLength(descriptor));
  LocalFree(descriptor);
}

}  // namespace

bool IsElevationCapable() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
         version.dwMajorVersion > 5;
}

HRESULT CreateElevatedInstance(HWND owner, REFCLSID clsid, REFIID iid, void** object) {
  wchar_t clsidText[50];
  if (StringFromGUID2(clsid, clsidText, 50) == 0) return E_INVALIDARG;
  wchar_t moniker[300];
  swprintf(moniker, 300, L"Elevation:Administrator!new:%ls", clsidText);
  BIND_OPTS3 options = {};
  options.cbStruct = sizeof(options);
  options.dwClassContext = CLSCTX_LOCAL_SERVER;
  options.hwnd = owner;
  return CoGetObject(moniker, &options, iid, object);
}

void WriteAppIdSecurity(const char* appId) {
  if (appId == nullptr || !IsElevationCapable()) return;
  CRegistryKey key(KEY_WRITE);
  if (key.OpenKey(HKEY_CLASSES_ROOT, (std::string("AppID\\") + appId).c_str(), OpenOrCreate) !=
      ERROR_SUCCESS)
    return;
  WriteSecurityValue(key, "LaunchPermission", "O:BAG:BAD:(A;;0xb;;;WD)S:(ML;;NX;;;LW)");
  WriteSecurityValue(key, "AccessPermission", "O:BAG:BAD:(A;;0x3;;;IU)(A;;0x3;;;SY)");
}
