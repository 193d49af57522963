// The engine's one export: one call is one install job.
#include <windows.h>

#include <cstring>

#include "agent_clsid.h"
#include "install_worker.h"
#include "result_code.h"

namespace {

struct WorkerCall {
  const char* clsid;
  const char* codebase;
  const char* needVersion;
  ResultCode result;  // written by the worker, read after it has ended
};

DWORD WINAPI WorkerRoutine(LPVOID parameter) {
  auto* call = static_cast<WorkerCall*>(parameter);
  call->result = RunInstallWorker(call->codebase, call->clsid, call->needVersion, nullptr);
  return 0;
}

}  // namespace

extern "C" __declspec(dllexport) ResultCode __cdecl InstallActiveX(
    const GUID* caller, const char* clsid, const char* codebase, const char* needVersion) {
  // Only the update control may drive the engine; a null token is refused too.
  if (caller == nullptr || std::memcmp(caller, &kAgentClsid, sizeof(GUID)) != 0)
    return DLL_ETC_INVALID_OWNERCLSID;
  if (clsid == nullptr || codebase == nullptr) return COMMON_INVALID_PARAM;

  // The job runs in an apartment of its own, never in the caller's.
  WorkerCall call = {clsid, codebase, needVersion ? needVersion : "", DLL_UNKNOWN};
  HANDLE worker = CreateThread(nullptr, 0, WorkerRoutine, &call, 0, nullptr);
  if (worker == nullptr) return DLL_CANT_CREATETHREAD;
  WaitForSingleObject(worker, INFINITE);
  CloseHandle(worker);
  return call.result;
}
