#include "elevation_parser.h"

#include <shlwapi.h>

#include <new>

const CLSID CLSID_ElevationStandIn = {
    0x7e8f9a0b, 0x2c3d, 0x4e5f, {0x9a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f, 0x6a, 0x7b}};
const char kStandInSettingsKey[] = "Software\\OVElevationStandIn";

namespace {

const wchar_t kPrefix[] = L"Elevation:";
const wchar_t kRequest[] = L"Administrator!new:";

// Owns one open registry key.
class CSettingsKey {
 public:
  CSettingsKey() {
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kStandInSettingsKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                        nullptr, &key_, nullptr) != ERROR_SUCCESS)
      key_ = nullptr;
  }
  ~CSettingsKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  CSettingsKey(const CSettingsKey&) = delete;
  CSettingsKey& operator=(const CSettingsKey&) = delete;

  void Record(const wchar_t* name) {
    if (key_ == nullptr) return;
    RegSetValueExW(key_, L"LastName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                   static_cast<DWORD>((lstrlenW(name) + 1) * sizeof(wchar_t)));
  }

  bool Declines() const {
    DWORD decline = 0, size = sizeof(decline), type = 0;
    return key_ != nullptr &&
           RegQueryValueExA(key_, "Decline", nullptr, &type, reinterpret_cast<BYTE*>(&decline),
                            &size) == ERROR_SUCCESS &&
           type == REG_DWORD && decline != 0;
  }

 private:
  HKEY key_ = nullptr;
};

// The class ID that follows "[Elevation:]Administrator!new:" in name.
HRESULT RequestedClass(const wchar_t* name, CLSID* clsid) {
  const int prefixLength = lstrlenW(kPrefix), requestLength = lstrlenW(kRequest);
  if (StrCmpNIW(name, kPrefix, prefixLength) == 0) name += prefixLength;
  if (StrCmpNIW(name, kRequest, requestLength) != 0) return MK_E_SYNTAX;
  // CLSIDFromString takes a non-const text but does not change it.
  if (FAILED(CLSIDFromString(const_cast<LPOLESTR>(name + requestLength), clsid)))
    return MK_E_SYNTAX;
  return S_OK;
}

class CElevationParser final
    : public CComObject<ComInterface<IParseDisplayName, &IID_IParseDisplayName>> {
 public:
  // Releasing an instance ends the server's message loop.
  ~CElevationParser() override { PostQuitMessage(0); }

  STDMETHODIMP ParseDisplayName(IBindCtx*, LPOLESTR name, ULONG* eaten,
                                IMoniker** moniker) override {
    if (name == nullptr || eaten == nullptr || moniker == nullptr) return E_POINTER;
    *eaten = 0;
    *moniker = nullptr;
    // The caller's bind context is not asked for its options: this
    // platform's proxy for it does not carry them.
    CSettingsKey settings;
    settings.Record(name);
    if (settings.Declines()) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
    CLSID clsid;
    HRESULT hr = RequestedClass(name, &clsid);
    if (FAILED(hr)) return hr;
    // The elevated instance always lives in another process, whatever
    // context the caller asked for.
    IUnknown* object = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                          reinterpret_cast<void**>(&object));
    if (FAILED(hr)) return hr;
    // Bound by pointer: the caller's binding then only asks it for the
    // interface, and the moniker carries the object across by value.
    hr = CreatePointerMoniker(object, moniker);
    object->Release();
    if (SUCCEEDED(hr)) *eaten = static_cast<ULONG>(lstrlenW(name));
    return hr;
  }
};

}  // namespace

STDMETHODIMP CElevationParserFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  CElevationParser* parser = new (std::nothrow) CElevationParser();
  if (parser == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = parser->QueryInterface(iid, object);
  parser->Release();
  return hr;
}

STDMETHODIMP CElevationParserFactory::LockServer(BOOL) { return S_OK; }
