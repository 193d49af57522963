// The engine's one export: one call is one install job.
#include <windows.h>

#include <cstring>

#include "agent_clsid.h"
#include "result_code.h"

extern "C" __declspec(dllexport) ResultCode __cdecl InstallActiveX(
    const GUID* caller, const char* clsid, const char* codebase, const char* needVersion) {
  // Only the update control may drive the engine; a null token is refused too.
  if (caller == nullptr || std::memcmp(caller, &kAgentClsid, sizeof(GUID)) != 0)
    return DLL_ETC_INVALID_OWNERCLSID;
  (void)clsid;
  (void)codebase;
  (void)needVersion;
  return DLL_UNKNOWN;
}
