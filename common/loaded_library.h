// CLoadedLibrary owns one library loaded with LoadLibraryA for the length of
// a call, and unloads it however the call ends.
#pragma once

#include <windows.h>

class CLoadedLibrary {
 public:
  // Loads name; Get() is null when it cannot be loaded.
  explicit CLoadedLibrary(const char* name) : module_(LoadLibraryA(name)) {}
  ~CLoadedLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  CLoadedLibrary(const CLoadedLibrary&) = delete;
  CLoadedLibrary& operator=(const CLoadedLibrary&) = delete;

  HMODULE Get() const { return module_; }

 private:
  HMODULE module_;
};
