// Registering and unregistering in-process COM servers.
#include "server_registration.h"

#include <windows.h>

namespace {

typedef HRESULT(STDAPICALLTYPE* ServerEntryPoint)();

// Unloads the library when the call is done, whichever way it ends.
class CLoadedLibrary {
 public:
  explicit CLoadedLibrary(const char* path) : module_(LoadLibraryA(path)) {}
  ~CLoadedLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  CLoadedLibrary(const CLoadedLibrary&) = delete;
  CLoadedLibrary& operator=(const CLoadedLibrary&) = delete;
  HMODULE Get() const { return module_; }

 private:
  HMODULE module_;
};

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
