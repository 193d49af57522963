// A small in-process COM server: the control that the install tests
// package, install, register and later create from script. Each build
// gets its own class id (SAMPLE_CLSID) and version (SAMPLE_VERSION);
// SAMPLE_REGISTER_FAILS builds the one whose registration fails, and
// SAMPLE_UNREGISTER_CRASHES one whose unregistration ends its process. Like a
// portal's controls, each says through IObjectSafety that it is safe for
// scripting; SAMPLE_REFUSES_SAFETY builds the one that refuses to, and
// SAMPLE_REPORTS_SAFETY one whose GetVersion tells which safety options its
// caller set for IDispatch.
#include <windows.h>

#include <objsafe.h>
#include <oleauto.h>
#include <olectl.h>
#include <shlwapi.h>

#include <new>

#include "sample_control.h"

#ifndef SAMPLE_VERSION
#define SAMPLE_VERSION "0.0.0.0"
#endif

namespace {

HMODULE g_module = nullptr;
LONG g_locks = 0;  // live objects and server locks; guarded by Interlocked*

// The samples stay small by doing without the C++ library: fixed buffers
// and the process heap.
#define WIDEN2(text) L##text
#define WIDEN(text) WIDEN2(text)

const char kClassKeyPath[] = "SOFTWARE\\Classes\\CLSID\\" SAMPLE_CLSID;

CLSID SampleClsid() {
  CLSID clsid = GUID_NULL;
  CLSIDFromString(const_cast<LPOLESTR>(WIDEN(SAMPLE_CLSID)), &clsid);
  return clsid;
}

// The type information of IOVSample, from the library in this module's
// resources. The caller releases it.
HRESULT LoadSampleTypeInfo(ITypeInfo** info) {
  wchar_t path[MAX_PATH];
  if (GetModuleFileNameW(g_module, path, MAX_PATH) == 0) return E_FAIL;
  ITypeLib* library = nullptr;
  HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &library);
  if (FAILED(hr)) return hr;
  hr = library->GetTypeInfoOfGuid(IID_IOVSample, info);
  library->Release();
  return hr;
}

class CSampleControl : public IOVSample, public IObjectSafety {
 public:
  CSampleControl() { InterlockedIncrement(&g_locks); }
  virtual ~CSampleControl() {
    if (typeInfo_) typeInfo_->Release();
    InterlockedDecrement(&g_locks);
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IOVSample) {
      *object = static_cast<IOVSample*>(this);
      AddRef();
      return S_OK;
    }
    if (iid == IID_IObjectSafety) {
      *object = static_cast<IObjectSafety*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) {
      this->~CSampleControl();
      HeapFree(GetProcessHeap(), 0, this);
    }
    return refs;
  }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (index != 0) return DISP_E_BADINDEX;
    HRESULT hr = EnsureTypeInfo();
    if (FAILED(hr)) return hr;
    typeInfo_->AddRef();
    *info = typeInfo_;
    return S_OK;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                             DISPID* ids) override {
    HRESULT hr = EnsureTypeInfo();
    return FAILED(hr) ? hr : DispGetIDsOfNames(typeInfo_, names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override {
    HRESULT hr = EnsureTypeInfo();
    if (FAILED(hr)) return hr;
    return DispInvoke(static_cast<IOVSample*>(this), typeInfo_, id, flags, params, result,
                      exception, argError);
  }

  // Safe for untrusted callers and data on its scripting interface.
  STDMETHODIMP GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) override {
    if (supported == nullptr || enabled == nullptr) return E_POINTER;
    *supported = *enabled = 0;
    if (iid != IID_IDispatch && iid != IID_IOVSample) return E_NOINTERFACE;
    *supported = kSafety;
    *enabled = safety_;
    return S_OK;
  }
  STDMETHODIMP SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) override {
    if (iid != IID_IDispatch && iid != IID_IOVSample) return E_NOINTERFACE;
#ifdef SAMPLE_REFUSES_SAFETY
    (void)mask;
    (void)enabled;
    return E_FAIL;
#else
    if (mask & ~kSafety) return E_FAIL;
    safety_ = (safety_ & ~mask) | (enabled & mask);
    if (iid == IID_IDispatch) dispatchSafety_ = (dispatchSafety_ & ~mask) | (enabled & mask);
    return S_OK;
#endif
  }

  STDMETHODIMP GetVersion(BSTR* version) override {
    if (version == nullptr) return E_POINTER;
#ifdef SAMPLE_REPORTS_SAFETY
    wchar_t text[40];
    wsprintfW(text, L"IDispatch options %lu", static_cast<unsigned long>(dispatchSafety_));
    *version = SysAllocString(text);
#else
    *version = SysAllocString(WIDEN(SAMPLE_VERSION));
#endif
    return *version ? S_OK : E_OUTOFMEMORY;
  }

 private:
  HRESULT EnsureTypeInfo() { return typeInfo_ ? S_OK : LoadSampleTypeInfo(&typeInfo_); }

  static const DWORD kSafety = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

  LONG refs_ = 1;
  ITypeInfo* typeInfo_ = nullptr;  // owned; loaded on first use
  DWORD safety_ = 0;
  DWORD dispatchSafety_ = 0;  // what was set asking about IDispatch itself
};

class CSampleFactory : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // The factory is a static object; it counts as a server lock instead.
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&g_locks); }
  STDMETHODIMP_(ULONG) Release() override { return InterlockedDecrement(&g_locks); }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(CSampleControl));
    if (memory == nullptr) return E_OUTOFMEMORY;
    CSampleControl* control = new (memory) CSampleControl;
    HRESULT hr = control->QueryInterface(iid, object);
    control->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock)
      InterlockedIncrement(&g_locks);
    else
      InterlockedDecrement(&g_locks);
    return S_OK;
  }
};

CSampleFactory g_factory;

[[maybe_unused]] LONG SetString(HKEY key, const char* name, const char* value) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                        static_cast<DWORD>(lstrlenA(value) + 1));
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid != SampleClsid()) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() { return g_locks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
#if defined(SAMPLE_REGISTER_FAILS)
  return SELFREG_E_CLASS;
#elif defined(SAMPLE_REGISTER_WAITS)
  // Tells the test that registration has begun, then waits to be killed or
  // let go, and fails.
  HANDLE waiting = CreateEventA(nullptr, TRUE, FALSE, "ov_register_waiting");
  if (waiting != nullptr) SetEvent(waiting);
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, "ov_register_release");
  WaitForSingleObject(release, INFINITE);
  return SELFREG_E_CLASS;
#else
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(g_module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return SELFREG_E_CLASS;
  HKEY classKey = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kClassKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                      nullptr, &classKey, nullptr) != ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  SetString(classKey, "", "Ovelin sample control " SAMPLE_VERSION);
  HKEY serverKey = nullptr;
  LONG status = RegCreateKeyExA(classKey, "InprocServer32", 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &serverKey, nullptr);
  RegCloseKey(classKey);
  if (status != ERROR_SUCCESS) return SELFREG_E_CLASS;
  status = SetString(serverKey, "", path);
  if (status == ERROR_SUCCESS) status = SetString(serverKey, "ThreadingModel", "Apartment");
  RegCloseKey(serverKey);
  return status == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
#endif
}

STDAPI DllUnregisterServer() {
#ifdef SAMPLE_UNREGISTER_CRASHES
  // A bad build that takes its host down. An access violation would bring
  // up the platform's debugger; ending the process at once is the same for
  // the caller, which never gets control back.
  TerminateProcess(GetCurrentProcess(), 0xC0000005);
#endif
  DWORD status = SHDeleteKeyA(HKEY_LOCAL_MACHINE, kClassKeyPath);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}
