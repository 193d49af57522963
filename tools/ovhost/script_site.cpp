#include "script_site.h"

#include <docobj.h>
#include <objsafe.h>
#include <shlguid.h>

#include "host_object.h"
#include "html_document.h"
#include "output.h"
#include "web_browser.h"

CScriptSite::CScriptSite(const CPageHosting& hosting)
    : window_(hosting.window),
      host_(new CHostObject(hosting.url, this)),
      browser_(hosting.withBrowser ? new CWebBrowser(hosting.url) : nullptr),
      document_(hosting.withDocument ? new CHtmlDocument(hosting.documentUrl) : nullptr) {}

CScriptSite::~CScriptSite() {
  host_->Release();
  if (browser_ != nullptr) browser_->Release();
  if (document_ != nullptr) document_->Release();
}

bool CScriptSite::Failed() const { return scriptFailed_ || host_->Failed(); }

STDMETHODIMP CScriptSite::GetLCID(LCID* lcid) {
  if (lcid == nullptr) return E_POINTER;
  *lcid = GetUserDefaultLCID();
  return S_OK;
}

STDMETHODIMP CScriptSite::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  if (item != nullptr) *item = nullptr;
  if (name == nullptr || lstrcmpiW(name, L"host") != 0) return TYPE_E_ELEMENTNOTFOUND;
  if ((mask & SCRIPTINFO_IUNKNOWN) != 0 && item != nullptr) {
    host_->AddRef();
    *item = host_;
  }
  return S_OK;
}

STDMETHODIMP CScriptSite::GetDocVersionString(BSTR* version) {
  if (version == nullptr) return E_POINTER;
  *version = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CScriptSite::OnScriptError(IActiveScriptError* error) {
  scriptFailed_ = true;
  EXCEPINFO exception = {};
  DWORD context = 0;
  ULONG line = 0;
  LONG column = 0;
  error->GetExceptionInfo(&exception);
  error->GetSourcePosition(&context, &line, &column);
  std::wstring description = exception.bstrDescription != nullptr ? exception.bstrDescription : L"";
  wchar_t code[16];
  wsprintfW(code, L"0x%08lx", static_cast<unsigned long>(exception.scode));
  PrintLine(L"ERROR: line " + std::to_wstring(line + 1) + L": " + code + L" " + description);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return S_OK;
}

STDMETHODIMP CScriptSite::QueryService(REFGUID service, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (IsEqualGUID(service, SID_SWebBrowserApp))
    return browser_ != nullptr ? browser_->QueryInterface(iid, object) : E_NOINTERFACE;
  if (IsEqualGUID(service, SID_SContainerDispatch))
    return document_ != nullptr ? document_->QueryInterface(iid, object) : E_NOINTERFACE;
  if (IsEqualGUID(service, SID_SInternetHostSecurityManager)) return QueryInterface(iid, object);
  return E_NOINTERFACE;
}

STDMETHODIMP CScriptSite::ProcessUrlAction(DWORD, BYTE* policy, DWORD size, BYTE*, DWORD, DWORD,
                                           DWORD) {
  if (policy != nullptr && size >= sizeof(DWORD)) *reinterpret_cast<DWORD*>(policy) = URLPOLICY_ALLOW;
  return S_OK;
}

STDMETHODIMP CScriptSite::QueryCustomPolicy(REFGUID key, BYTE** policy, DWORD* size, BYTE* context,
                                            DWORD contextSize, DWORD) {
  if (policy == nullptr || size == nullptr) return E_POINTER;
  *policy = nullptr;
  *size = 0;
  if (!IsEqualGUID(key, GUID_CUSTOM_CONFIRMOBJECTSAFETY)) return INET_E_DEFAULT_ACTION;
  // As a browser would: ask a control that knows safety options to be
  // safe for untrusted callers. A control without them is scripted anyway;
  // this host trusts the pages its user gives it.
  if (context != nullptr && contextSize >= sizeof(CONFIRMSAFETY)) {
    CONFIRMSAFETY* confirm = reinterpret_cast<CONFIRMSAFETY*>(context);
    IObjectSafety* safety = nullptr;
    if (confirm->pUnk != nullptr &&
        SUCCEEDED(confirm->pUnk->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety)))) {
      safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                        INTERFACESAFE_FOR_UNTRUSTED_CALLER);
      safety->Release();
    }
  }
  DWORD* allow = static_cast<DWORD*>(CoTaskMemAlloc(sizeof(DWORD)));
  if (allow == nullptr) return E_OUTOFMEMORY;
  *allow = URLPOLICY_ALLOW;
  *policy = reinterpret_cast<BYTE*>(allow);
  *size = sizeof(DWORD);
  return S_OK;
}

STDMETHODIMP CScriptSite::GetContainer(IOleContainer** container) {
  if (container == nullptr) return E_POINTER;
  *container = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP CScriptSite::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = window_;
  return window_ != nullptr ? S_OK : E_FAIL;
}

STDMETHODIMP CScriptSite::CanInPlaceActivate() { return window_ != nullptr ? S_OK : S_FALSE; }

STDMETHODIMP CScriptSite::OnInPlaceActivate() {
  PrintLine(L"site: in-place active");
  return S_OK;
}

STDMETHODIMP CScriptSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                           LPRECT position, LPRECT clip,
                                           LPOLEINPLACEFRAMEINFO info) {
  // The page has no frame or document window of its own to offer.
  if (frame != nullptr) *frame = nullptr;
  if (document != nullptr) *document = nullptr;
  RECT area = {0, 0, 0, 0};
  if (window_ != nullptr) GetClientRect(window_, &area);
  if (position != nullptr) *position = area;
  if (clip != nullptr) *clip = area;
  if (info != nullptr) {
    info->fMDIApp = FALSE;
    info->hwndFrame = window_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
  }
  return S_OK;
}
