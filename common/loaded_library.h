// CLoadedLibrary owns one library, loaded by its full path for the length
// of a call, and unloads it however the call ends.
#pragma once

#include <windows.h>

class CLoadedLibrary {
 public:
  // Loads the library at path, a full path. The libraries it imports are
  // looked for in its own folder before the system's, never first in the
  // current folder. Get() is null when it cannot be loaded.
  explicit CLoadedLibrary(const char* path)
      : module_(LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) {}
  explicit CLoadedLibrary(const wchar_t* path)
      : module_(LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) {}
  ~CLoadedLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  CLoadedLibrary(const CLoadedLibrary&) = delete;
  CLoadedLibrary& operator=(const CLoadedLibrary&) = delete;

  HMODULE Get() const { return module_; }

 private:
  HMODULE module_;
};
