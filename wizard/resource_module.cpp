#include "resource_module.h"

HINSTANCE GetResourceModule() {
  // The module that holds this function; the loader keeps it mapped while
  // its code runs, so the reference count need not change.
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&GetResourceModule), &module);
  return module;
}

std::string LoadResourceString(UINT id) {
  // Longer than any of the module's texts in any code page.
  char text[1024];
  int length = LoadStringA(GetResourceModule(), id, text, sizeof(text));
  return std::string(text, length > 0 ? length : 0);
}
