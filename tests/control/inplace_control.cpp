// OVInPlace.dll: a small control that pages create through the update
// control, with the parts of IOleObject a browser uses to place a control
// on its page: SetClientSite, GetClientSite and DoVerb(in-place activate).
// It is safe for scripting by its registration (the implemented category),
// not through IObjectSafety, which it does not have.
// Scripting methods (IDispatch by hand):
//   Ping()              "pong"
//   HasClientSite()     true once a client site was handed over
//   IsInPlaceActive()   true once DoVerb activated it in a window
#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <shlwapi.h>

#include <string>

#include "com_object.h"

namespace {

// {5D6E7F80-1A2B-4C3D-8E9F-A0B1C2D3E4F5}
const CLSID kClsid = {0x5d6e7f80, 0x1a2b, 0x4c3d, {0x8e, 0x9f, 0xa0, 0xb1, 0xc2, 0xd3, 0xe4, 0xf5}};
const char kClassKey[] = "SOFTWARE\\Classes\\CLSID\\{5D6E7F80-1A2B-4C3D-8E9F-A0B1C2D3E4F5}";
const char kProgIdKey[] = "SOFTWARE\\Classes\\OVTest.InPlaceControl";

HMODULE g_module = nullptr;

enum { kPing = 1, kHasClientSite = 2, kIsInPlaceActive = 3 };

// Every method of IOleObject, refused with E_NOTIMPL.
class CNotImplOleObject : public IOleObject {
 public:
  STDMETHODIMP SetClientSite(IOleClientSite*) override { return E_NOTIMPL; }
  STDMETHODIMP GetClientSite(IOleClientSite**) override { return E_NOTIMPL; }
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return E_NOTIMPL; }
  STDMETHODIMP Close(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
  STDMETHODIMP DoVerb(LONG, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) override { return E_NOTIMPL; }
  STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
  STDMETHODIMP Update() override { return E_NOTIMPL; }
  STDMETHODIMP IsUpToDate() override { return E_NOTIMPL; }
  STDMETHODIMP GetUserClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
  STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  STDMETHODIMP GetMiscStatus(DWORD, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }
};

class CInPlaceControl : public CComObject<ComInterface<IDispatch, &IID_IDispatch>,
                                          ComInterface<CNotImplOleObject, &IID_IOleObject>> {
 public:
  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    static const struct {
      const wchar_t* name;
      DISPID id;
    } kMethods[] = {{L"Ping", kPing}, {L"HasClientSite", kHasClientSite},
                    {L"IsInPlaceActive", kIsInPlaceActive}};
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (const auto& method : kMethods)
      if (count == 1 && lstrcmpiW(names[0], method.name) == 0) {
        ids[0] = method.id;
        return S_OK;
      }
    return DISP_E_UNKNOWNNAME;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                      UINT*) override {
    VARIANT value;
    VariantInit(&value);
    switch (id) {
      case kPing:
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(L"pong");
        break;
      case kHasClientSite:
        value.vt = VT_BOOL;
        value.boolVal = site_ != nullptr ? VARIANT_TRUE : VARIANT_FALSE;
        break;
      case kIsInPlaceActive:
        value.vt = VT_BOOL;
        value.boolVal = window_ != nullptr ? VARIANT_TRUE : VARIANT_FALSE;
        break;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
    if (result != nullptr)
      *result = value;
    else
      VariantClear(&value);
    return S_OK;
  }

  // IOleObject: the client site and in-place activation.
  STDMETHODIMP SetClientSite(IOleClientSite* site) override {
    if (site != nullptr) site->AddRef();
    if (site_ != nullptr) site_->Release();
    site_ = site;
    return S_OK;
  }
  STDMETHODIMP GetClientSite(IOleClientSite** site) override {
    if (site == nullptr) return E_POINTER;
    *site = site_;
    if (site_ == nullptr) return E_FAIL;
    site_->AddRef();
    return S_OK;
  }
  STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND parent,
                      LPCRECT) override {
    if (verb != OLEIVERB_INPLACEACTIVATE || activeSite == nullptr || parent == nullptr)
      return E_NOTIMPL;
    IOleInPlaceSite* inPlace = nullptr;
    if (FAILED(activeSite->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace))))
      return E_NOINTERFACE;
    HRESULT hr = inPlace->CanInPlaceActivate() == S_OK ? inPlace->OnInPlaceActivate() : E_FAIL;
    if (SUCCEEDED(hr) && window_ == nullptr)
      window_ = CreateWindowExW(0, L"STATIC", L"in place", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20,
                                parent, nullptr, g_module, nullptr);
    inPlace->Release();
    if (SUCCEEDED(hr) && window_ == nullptr) hr = HRESULT_FROM_WIN32(GetLastError());
    return hr;
  }
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP Close(DWORD) override { return S_OK; }
  STDMETHODIMP Update() override { return S_OK; }
  STDMETHODIMP IsUpToDate() override { return S_OK; }
  STDMETHODIMP GetUserClassID(CLSID* clsid) override {
    *clsid = kClsid;
    return S_OK;
  }
  STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) override {
    *status = 0;
    return S_OK;
  }

 private:
  ~CInPlaceControl() override {
    if (site_ != nullptr) site_->Release();
    if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
  }

  IOleClientSite* site_ = nullptr;  // counted
  HWND window_ = nullptr;           // owned while the parent lives
};

class CFactory : public CStaticComObject<ComInterface<IClassFactory, &IID_IClassFactory>> {
 public:
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    CInPlaceControl* control = new CInPlaceControl();
    HRESULT hr = control->QueryInterface(iid, object);
    control->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

CFactory g_factory;

LONG SetDefault(HKEY root, const char* path, const char* value) {
  return RegSetValueA(root, path, REG_SZ, value, static_cast<DWORD>(lstrlenA(value)));
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, object);
}

// Controls may hold windows on the page: stay loaded for the process.
STDAPI DllCanUnloadNow() { return S_FALSE; }

// Machine-wide, as installed controls are, so the update control finds it.
STDAPI DllRegisterServer() {
  char path[MAX_PATH];
  if (GetModuleFileNameA(g_module, path, MAX_PATH) == 0) return E_FAIL;
  HKEY server = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kClassKey) + "\\InprocServer32").c_str(), 0,
                      nullptr, 0, KEY_ALL_ACCESS, nullptr, &server, nullptr) != ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  RegSetValueExA(server, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path), lstrlenA(path) + 1);
  RegSetValueExA(server, "ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>("Apartment"), 10);
  RegCloseKey(server);
  SetDefault(HKEY_LOCAL_MACHINE, (std::string(kClassKey) + "\\ProgID").c_str(), "OVTest.InPlaceControl");
  SetDefault(HKEY_LOCAL_MACHINE,
             (std::string(kClassKey) + "\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}").c_str(),
             "");
  SetDefault(HKEY_LOCAL_MACHINE, (std::string(kProgIdKey) + "\\CLSID").c_str(),
             "{5D6E7F80-1A2B-4C3D-8E9F-A0B1C2D3E4F5}");
  return S_OK;
}

STDAPI DllUnregisterServer() {
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, kClassKey);
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, kProgIdKey);
  return S_OK;
}
