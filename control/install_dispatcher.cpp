// The install path of the control object: in this process before Vista,
// otherwise through an elevated instance in the COM surrogate; and the one
// call into the engine that either path ends in.
#include <new>
#include <string>

#include "ansi_string.h"
#include "com_ref.h"
#include "elevation.h"
#include "loaded_library.h"
#include "ovelin_manager.h"
#include "this_module.h"

namespace {

typedef ResultCode(__cdecl* InstallActiveXProc)(const GUID* caller, const char* clsid,
                                                const char* codebase, const char* needVersion);

// The engine beside this control's own file, by its full path: by its bare
// name it would also be looked for in the host's current folder and PATH,
// which in the elevated surrogate anyone may have written to. Empty when the
// control's own path cannot be had. Read in UTF-16, so that a folder name
// outside the ANSI code page still loads.
std::wstring EnginePath() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(GetThisModule(), path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  const std::wstring self(path, length);
  const size_t slash = self.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return std::wstring();
  return self.substr(0, slash + 1) + L"OVSetupCore.dll";
}

}  // namespace

long COvelinActiveXManager::DispatchInstall(BSTR clsid, BSTR codebase, BSTR needVersion) {
  if (!IsPageTrusted()) {
    lastResult_ = MODULE_INVALID_DOMAIN;
    return 0;
  }
  if (!IsElevationCapable()) {
    long installed = 0;
    InstallActiveXObjectAsAdmin(clsid, codebase, needVersion, &installed);
    return installed;
  }
  return InstallElevated(clsid, codebase, needVersion);
}

long COvelinActiveXManager::InstallElevated(BSTR clsid, BSTR codebase, BSTR needVersion) {
  CComRef<IOvelinActiveXManager> elevated;
  if (FAILED(CreateElevatedInstance(nullptr, CLSID_OvelinActiveXManager, IID_IOvelinActiveXManager,
                                    elevated.ReceiveVoid()))) {
    lastResult_ = MODULE_AUTH_ELEVATION_FAIL;
    return 0;
  }
  long installed = 0;
  const HRESULT called = elevated->InstallActiveXObjectAsAdmin(clsid, codebase, needVersion, &installed);
  classes_.Forget();
  if (FAILED(called)) {
    lastResult_ = MODULE_AUTH_ELEVATION_FAIL;
    return 0;
  }
  // On success this object's code stays as it was; on failure the elevated
  // instance knows why.
  if (installed == 0) {
    long code = lastResult_;
    elevated->GetLastError(&code);
    lastResult_ = code;
  }
  return installed;
}

void COvelinActiveXManager::CallEngine(BSTR clsid, BSTR codebase, BSTR needVersion) {
  const std::wstring enginePath = EnginePath();
  CLoadedLibrary engine(enginePath.c_str());
  if (enginePath.empty() || engine.Get() == nullptr) {
    lastResult_ = MODULE_CANT_LOAD_DLL;
    return;
  }
  InstallActiveXProc install =
      reinterpret_cast<InstallActiveXProc>(
          reinterpret_cast<void (*)()>(GetProcAddress(engine.Get(), "InstallActiveX")));
  if (install == nullptr) {
    lastResult_ = MODULE_CANT_FIND_PROC;
    return;
  }
  CAnsiString clsidText, codebaseText, needVersionText;
  if (!clsidText.Convert(clsid) || !codebaseText.Convert(codebase) ||
      !needVersionText.Convert(needVersion)) {
    lastResult_ = COMMON_OUTOFMEMORY;
    return;
  }
  lastResult_ = install(&CLSID_OvelinActiveXManager, clsidText.Get(), codebaseText.Get(),
                        needVersionText.Get());
  classes_.Forget();
}
