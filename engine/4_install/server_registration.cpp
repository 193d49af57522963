// Registering and unregistering in-process COM servers. Each server is
// loaded by its full path (CLoadedLibrary), its own imports looked for in
// its own folder first.
#include "server_registration.h"

#include <windows.h>

#include "loaded_library.h"

namespace {

typedef HRESULT(STDAPICALLTYPE* ServerEntryPoint)();

}  // namespace

bool CallDllEntryPoint(const char* path, const char* entryName) {
  if (path == nullptr) return false;
  CLoadedLibrary library(path);
  if (library.Get() == nullptr) return false;
  auto entry = reinterpret_cast<ServerEntryPoint>(
      reinterpret_cast<void*>(GetProcAddress(library.Get(), entryName)));
  if (entry == nullptr) return false;
  return SUCCEEDED(entry());
}

bool RegisterServer(const char* path) { return CallDllEntryPoint(path, "DllRegisterServer"); }

bool UnregisterServer(const char* path) { return CallDllEntryPoint(path, "DllUnregisterServer"); }
