// Entry points of the update control's COM server and its module state.
#include "module.h"

#include <objbase.h>

#include <new>

#include "class_factory.h"
#include "critical_section.h"
#include "ov_manager.h"

namespace {

HINSTANCE g_instance = nullptr;
LONG g_lockCount = 0;  // interlocked

// The locks live as long as the module: the C runtime makes them before
// DllMain's attach and deletes them after its detach.
// Guards g_factory: DllGetClassObject may be called from any thread.
CCriticalSection g_factoryLock;
CClassFactory* g_factory = nullptr;  // the module's own reference

// Guards the one-time load of g_typeInfo.
CCriticalSection g_typeInfoLock;
ITypeInfo* g_typeInfo = nullptr;  // the module's own reference

}  // namespace

HINSTANCE ModuleInstance() { return g_instance; }

void ModuleLock() { InterlockedIncrement(&g_lockCount); }
void ModuleUnlock() { InterlockedDecrement(&g_lockCount); }
LONG ModuleLockCount() { return InterlockedCompareExchange(&g_lockCount, 0, 0); }

HRESULT GetManagerTypeInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  CCriticalSectionLock hold(g_typeInfoLock);
  HRESULT hr = S_OK;
  if (g_typeInfo == nullptr) {
    ITypeLib* library = nullptr;
    hr = LoadRegTypeLib(LIBID_OVMANAGERXLib, 1, 0, LOCALE_NEUTRAL, &library);
    if (SUCCEEDED(hr)) {
      hr = library->GetTypeInfoOfGuid(IID_IOvelinActiveXManager, &g_typeInfo);
      library->Release();
    }
  }
  if (g_typeInfo != nullptr) {
    g_typeInfo->AddRef();
    *info = g_typeInfo;
  }
  return hr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_instance = instance;
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    // At process exit (reserved non-null) COM and OLE Automation may be
    // gone already; releasing into them then would crash, and the memory
    // goes with the process anyway.
    if (reserved == nullptr) {
      if (g_factory != nullptr) g_factory->Release();
      if (g_typeInfo != nullptr) g_typeInfo->Release();
    }
    g_factory = nullptr;
    g_typeInfo = nullptr;
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_OvelinActiveXManager)) return CLASS_E_CLASSNOTAVAILABLE;
  CCriticalSectionLock hold(g_factoryLock);
  if (g_factory == nullptr) g_factory = new (std::nothrow) CClassFactory();
  return g_factory != nullptr ? g_factory->QueryInterface(iid, object) : E_OUTOFMEMORY;
}

STDAPI DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }
