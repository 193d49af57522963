// The engine's one export: one call is one install job.
#include <windows.h>

#include <cstring>

#include "agent_clsid.h"
#include "install_worker.h"
#include "result_code.h"
#include "setup_dlg.h"

extern "C" __declspec(dllexport) ResultCode __cdecl InstallActiveX(
    const GUID* caller, const char* clsid, const char* codebase, const char* needVersion) {
  // Only the update control may drive the engine; a null token is refused too.
  if (caller == nullptr || std::memcmp(caller, &kAgentClsid, sizeof(GUID)) != 0)
    return DLL_ETC_INVALID_OWNERCLSID;
  // The wizard runs modally on this thread while the job runs on its worker.
  CSetupDlg dialog(&RunInstallWorker);
  return dialog.RunSetup(clsid, codebase, needVersion);
}
