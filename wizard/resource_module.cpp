#include "resource_module.h"

#include "this_module.h"

HINSTANCE GetResourceModule() { return GetThisModule(); }

std::string LoadResourceString(UINT id) {
  // Longer than any of the module's texts in any code page.
  char text[1024];
  int length = LoadStringA(GetResourceModule(), id, text, sizeof(text));
  return std::string(text, length > 0 ? length : 0);
}
