#include "elevation.h"

#include <objbase.h>

#include <cwchar>
#include <string>

#include "registry_key.h"
#include "security_descriptor.h"

namespace {

void WriteSecurityValue(CRegistryKey& key, const char* name, const char* sddl) {
  const CSecurityDescriptor descriptor(sddl);
  if (descriptor.Get() == nullptr) return;
  key.SetBinary(name, descriptor.Get(), GetSecurityDescriptorLength(descriptor.Get()));
}

// True when folder names the same folder as getFolder answers.
bool IsFolder(const std::wstring& folder, UINT(WINAPI* getFolder)(LPWSTR, UINT)) {
  wchar_t expected[MAX_PATH];
  UINT length = getFolder != nullptr ? getFolder(expected, MAX_PATH) : 0;
  return length > 0 && length < MAX_PATH && lstrcmpiW(folder.c_str(), expected) == 0;
}

}  // namespace

bool RunsInComSurrogate() {
  wchar_t image[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, image, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  const std::wstring path(image, length);
  const size_t slash = path.rfind(L'\\');
  if (slash == std::wstring::npos || lstrcmpiW(path.c_str() + slash + 1, L"dllhost.exe") != 0)
    return false;
  const std::wstring folder = path.substr(0, slash);
  // Only 64-bit Windows has the 32-bit system folder; XP's kernel32 may
  // lack the call.
  typedef UINT(WINAPI * GetFolderProc)(LPWSTR, UINT);
  GetFolderProc getWow64Folder = reinterpret_cast<GetFolderProc>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetSystemWow64DirectoryW")));
  return IsFolder(folder, GetSystemDirectoryW) || IsFolder(folder, getWow64Folder);
}

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
