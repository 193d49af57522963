// Self-registration: the registry layout from the REGISTRY 101 script, the
// type library, and on Vista and later the AppID's permissions.
#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string>

#include "elevation.h"
#include "module.h"
#include "registrar.h"

namespace {

const char kAppId[] = "{B3E81C47-52D9-4F0A-A6E2-7C19D4058F3B}";

// The module's path with every single quote doubled, as the script's
// quoted texts need it.
bool GetScriptModulePath(std::string& path) {
  char buffer[MAX_PATH];
  DWORD length = GetModuleFileNameA(ModuleInstance(), buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  path.clear();
  for (DWORD i = 0; i < length; ++i) {
    path += buffer[i];
    if (buffer[i] == '\'') path += '\'';
  }
  return true;
}

bool LoadScript(std::string& script) {
  HRSRC found = FindResourceA(ModuleInstance(), MAKEINTRESOURCEA(101), "REGISTRY");
  HGLOBAL loaded = found != nullptr ? LoadResource(ModuleInstance(), found) : nullptr;
  const char* text = loaded != nullptr ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (text == nullptr) return false;
  script.assign(text, SizeofResource(ModuleInstance(), found));
  return true;
}

HRESULT RunScript(bool registering) {
  try {
    std::string script, module;
    if (!LoadScript(script) || !GetScriptModulePath(module)) return E_UNEXPECTED;
    return RunRegistrarScript(script.c_str(), module.c_str(), registering);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// The embedded type library, or else the ".tlb" beside the module; path
// receives where it came from.
HRESULT LoadModuleTypeLib(wchar_t (&path)[MAX_PATH], ITypeLib** library) {
  DWORD length = GetModuleFileNameW(ModuleInstance(), path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return E_UNEXPECTED;
  HRESULT hr = LoadTypeLib(path, library);
  if (SUCCEEDED(hr)) return hr;
  wchar_t* dot = wcsrchr(path, L'.');
  if (dot == nullptr || (dot - path) + 5 > MAX_PATH) return hr;
  wcscpy(dot, L".tlb");
  return LoadTypeLib(path, library);
}

HRESULT RegisterModuleTypeLib() {
  wchar_t path[MAX_PATH];
  ITypeLib* library = nullptr;
  HRESULT hr = LoadModuleTypeLib(path, &library);
  if (FAILED(hr)) return hr;
  wchar_t helpDir[MAX_PATH];
  wcscpy(helpDir, path);
  wchar_t* cut = helpDir;
  for (wchar_t* p = helpDir; *p != L'\0'; ++p)
    if (*p == L'\\' || *p == L'/' || *p == L':') cut = p + 1;
  *cut = L'\0';
  hr = RegisterTypeLib(library, path, helpDir);
  library->Release();
  return hr;
}

void UnregisterModuleTypeLib() {
  typedef HRESULT(WINAPI * UnRegisterTypeLibProc)(REFGUID, WORD, WORD, LCID, SYSKIND);
  HMODULE oleaut = GetModuleHandleA("oleaut32.dll");
  UnRegisterTypeLibProc unregister = oleaut == nullptr ? nullptr
      : reinterpret_cast<UnRegisterTypeLibProc>(
          reinterpret_cast<void (*)()>(GetProcAddress(oleaut, "UnRegisterTypeLib")));
  if (unregister == nullptr) return;
  wchar_t path[MAX_PATH];
  ITypeLib* library = nullptr;
  if (FAILED(LoadModuleTypeLib(path, &library))) return;
  TLIBATTR* attributes = nullptr;
  if (SUCCEEDED(library->GetLibAttr(&attributes))) {
    unregister(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
               attributes->lcid, attributes->syskind);
    library->ReleaseTLibAttr(attributes);
  }
  library->Release();
}

}  // namespace

STDAPI DllRegisterServer() {
  HRESULT hr = RunScript(true);
  if (SUCCEEDED(hr)) hr = RegisterModuleTypeLib();
  if (SUCCEEDED(hr)) WriteAppIdSecurity(kAppId);
  return hr;
}

STDAPI DllUnregisterServer() {
  RunScript(false);
  UnregisterModuleTypeLib();
  return S_OK;
}
