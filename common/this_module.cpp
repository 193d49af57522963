#include "this_module.h"

namespace {

HMODULE ModuleOfThisCode(DWORD flags) {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | flags,
                     reinterpret_cast<LPCSTR>(&ModuleOfThisCode), &module);
  return module;
}

}  // namespace

HMODULE GetThisModule() { return ModuleOfThisCode(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT); }

HMODULE ReferenceThisModule() { return ModuleOfThisCode(0); }

std::string ModuleBaseName() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(GetThisModule(), path, MAX_PATH);
  std::string name = path;
  const size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}
