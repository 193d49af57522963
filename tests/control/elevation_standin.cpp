// OVElevation.dll: stands in for the system's elevation moniker in the test
// prefix, where Wine has none. Registered as the "Elevation" ProgID, its
// class object parses "Elevation:Administrator!new:{clsid}" and creates the
// object with the class context of the caller's bind options; with
// CLSCTX_LOCAL_SERVER COM starts the class's DllSurrogate, so the object
// runs in dllhost.exe as the elevated instance would. There is no consent
// prompt to show; HKCU\Software\OVElevationStandIn "Decline" (DWORD 1)
// answers every request as a user who declines it. Each request records
// its display name and class context there ("LastName",
// "LastClassContext") for the tests to read.
#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include <string>

namespace {

// {7E8F9A0B-2C3D-4E5F-9A1B-2C3D4E5F6A7B}
const CLSID kClsid = {0x7e8f9a0b, 0x2c3d, 0x4e5f, {0x9a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f, 0x6a, 0x7b}};
const char kClsidText[] = "{7E8F9A0B-2C3D-4E5F-9A1B-2C3D4E5F6A7B}";
const char kSettingsKey[] = "Software\\OVElevationStandIn";

HMODULE g_module = nullptr;

void Record(const wchar_t* name, DWORD classContext) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExW(key, L"LastName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                 static_cast<DWORD>((lstrlenW(name) + 1) * sizeof(wchar_t)));
  RegSetValueExA(key, "LastClassContext", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&classContext),
                 sizeof(classContext));
  RegCloseKey(key);
}

bool Declines() {
  DWORD decline = 0, size = sizeof(decline);
  return RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, "Decline", RRF_RT_REG_DWORD, nullptr, &decline,
                      &size) == ERROR_SUCCESS &&
         decline != 0;
}

class CElevationParser : public IParseDisplayName, public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IParseDisplayName))
      *object = static_cast<IParseDisplayName*>(this);
    else if (IsEqualIID(iid, IID_IClassFactory))
      *object = static_cast<IClassFactory*>(this);
    else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  // One static object for the process: counting would change nothing.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP ParseDisplayName(IBindCtx* context, LPOLESTR name, ULONG* eaten, IMoniker** moniker) override {
    if (name == nullptr || eaten == nullptr || moniker == nullptr) return E_POINTER;
    *moniker = nullptr;
    BIND_OPTS3 options = {};
    options.cbStruct = sizeof(options);
    if (context == nullptr || FAILED(context->GetBindOptions(&options))) return E_INVALIDARG;
    Record(name, options.dwClassContext);
    if (Declines()) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
    const wchar_t* rest = name;
    if (StrCmpNIW(rest, L"Elevation:", 10) == 0) rest += 10;
    if (StrCmpNIW(rest, L"Administrator!new:", 18) != 0) return MK_E_SYNTAX;
    CLSID clsid;
    if (FAILED(CLSIDFromString(const_cast<LPOLESTR>(rest + 18), &clsid))) return MK_E_SYNTAX;
    // The object is made now and bound by pointer: the moniker that
    // CoGetObject binds next then only asks it for the interface.
    IUnknown* object = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, options.dwClassContext, IID_IUnknown,
                                  reinterpret_cast<void**>(&object));
    if (FAILED(hr)) return hr;
    hr = CreatePointerMoniker(object, moniker);
    object->Release();
    if (SUCCEEDED(hr)) *eaten = static_cast<ULONG>(lstrlenW(name));
    return hr;
  }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    return outer != nullptr ? CLASS_E_NOAGGREGATION : QueryInterface(iid, object);
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

CElevationParser g_parser;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_parser.QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() { return S_FALSE; }

STDAPI DllRegisterServer() {
  char path[MAX_PATH];
  if (GetModuleFileNameA(g_module, path, MAX_PATH) == 0) return E_FAIL;
  std::string classKey = std::string("CLSID\\") + kClsidText;
  HKEY server = nullptr;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, (classKey + "\\InprocServer32").c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS, nullptr, &server, nullptr) != ERROR_SUCCESS)
    return E_FAIL;
  RegSetValueExA(server, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path), lstrlenA(path) + 1);
  RegSetValueExA(server, "ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>("Both"), 5);
  RegCloseKey(server);
  RegSetValueA(HKEY_CLASSES_ROOT, "Elevation\\CLSID", REG_SZ, kClsidText, lstrlenA(kClsidText));
  return S_OK;
}

STDAPI DllUnregisterServer() {
  SHDeleteKeyA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + kClsidText).c_str());
  SHDeleteKeyA(HKEY_CLASSES_ROOT, "Elevation");
  return S_OK;
}
