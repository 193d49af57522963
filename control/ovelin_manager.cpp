#include "ovelin_manager.h"

#include <docobj.h>
#include <exdisp.h>
#include <shlguid.h>

#include <cwchar>

#include <new>

#include "ansi_string.h"
#include "com_ref.h"
#include "elevation.h"
#include "module.h"
#include "trusted_domain.h"

namespace {

const DWORD kSupportedSafety = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

const DISPID kDispidSetInPlaceActiveObject = 4;

// Script's null, undefined or "" where SetInPlaceActiveObject wants an
// object: the type library's argument conversion refuses them with a
// script error (DISP_E_TYPEMISMATCH), so the call answers "not activated"
// itself, as it does for a null object.
bool IsNoObjectArgument(const DISPPARAMS* params) {
  if (params == nullptr || params->cArgs != 1) return false;
  const VARIANT& arg = params->rgvarg[0];
  return arg.vt == VT_NULL || arg.vt == VT_EMPTY ||
         (arg.vt == VT_BSTR && SysStringLen(arg.bstrVal) == 0);
}

bool NeedsInstall(ResultCode code) {
  return code >= MODULE_NOTEXIST_REGINFO && code <= MODULE_NOTMATCH_VERSION;
}

// A URL is judged whole: one with a zero inside is not what the browser
// shows, and would be read only up to that zero.
bool IsTrustedUrl(BSTR url) {
  return url != nullptr && SysStringLen(url) == std::wcslen(url) && IsTrustedPageUrl(url);
}

}  // namespace

HRESULT COvelinActiveXManager::Create(IUnknown* outer, REFIID iid, void** object) {
  COvelinActiveXManager* manager = new (std::nothrow) COvelinActiveXManager(outer);
  if (manager == nullptr) return E_OUTOFMEMORY;
  // Hold the object while asking, so a failed request destroys it.
  manager->inner_.AddRef();
  HRESULT hr = manager->inner_.QueryInterface(iid, object);
  manager->inner_.Release();
  return hr;
}

COvelinActiveXManager::COvelinActiveXManager(IUnknown* outer)
    : inner_(this), outer_(outer != nullptr ? outer : &inner_) {
  ModuleLock();
}

COvelinActiveXManager::~COvelinActiveXManager() {
  if (site_ != nullptr) site_->Release();
  ModuleUnlock();
}

// --- IUnknown ---------------------------------------------------------------

STDMETHODIMP COvelinActiveXManager::CInner::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown)) {
    // Standing alone, the object's identity is its scripting interface;
    // aggregated, the outer object gets this non-delegating IUnknown.
    if (owner_->outer_ == this)
      *object = static_cast<IOvelinActiveXManager*>(owner_);
    else
      *object = static_cast<IUnknown*>(this);
  } else if (IsEqualIID(iid, IID_IOvelinActiveXManager) || IsEqualIID(iid, IID_IDispatch)) {
    *object = static_cast<IOvelinActiveXManager*>(owner_);
  } else if (IsEqualIID(iid, IID_IObjectWithSite)) {
    *object = static_cast<IObjectWithSite*>(owner_);
  } else if (IsEqualIID(iid, IID_IObjectSafety)) {
    *object = static_cast<IObjectSafety*>(owner_);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  static_cast<IUnknown*>(*object)->AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) COvelinActiveXManager::CInner::AddRef() {
  return static_cast<ULONG>(++owner_->references_);
}

STDMETHODIMP_(ULONG) COvelinActiveXManager::CInner::Release() {
  LONG count = --owner_->references_;
  if (count == 0) delete owner_;
  return static_cast<ULONG>(count);
}

STDMETHODIMP COvelinActiveXManager::QueryInterface(REFIID iid, void** object) {
  return outer_->QueryInterface(iid, object);
}
STDMETHODIMP_(ULONG) COvelinActiveXManager::AddRef() { return outer_->AddRef(); }
STDMETHODIMP_(ULONG) COvelinActiveXManager::Release() { return outer_->Release(); }

// --- IDispatch --------------------------------------------------------------

STDMETHODIMP COvelinActiveXManager::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

STDMETHODIMP COvelinActiveXManager::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return GetManagerTypeInfo(info);
}

STDMETHODIMP COvelinActiveXManager::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                                  DISPID* ids) {
  CComRef<ITypeInfo> info;
  HRESULT hr = GetManagerTypeInfo(info.Receive());
  if (FAILED(hr)) return hr;
  return info->GetIDsOfNames(names, count, ids);
}

STDMETHODIMP COvelinActiveXManager::Invoke(DISPID id, REFIID, LCID, WORD flags,
                                           DISPPARAMS* params, VARIANT* result,
                                           EXCEPINFO* exception, UINT* argError) {
  if (id == kDispidSetInPlaceActiveObject && (flags & DISPATCH_METHOD) != 0 &&
      IsNoObjectArgument(params)) {
    if (result != nullptr) {
      VariantInit(result);
      result->vt = VT_I4;
      result->lVal = 0;
    }
    return S_OK;
  }
  CComRef<ITypeInfo> info;
  HRESULT hr = GetManagerTypeInfo(info.Receive());
  if (FAILED(hr)) return hr;
  return info->Invoke(static_cast<IOvelinActiveXManager*>(this), id, flags, params, result,
                      exception, argError);
}

// --- Scripting methods ------------------------------------------------------

STDMETHODIMP COvelinActiveXManager::InstallActiveXObjectAsAdmin(BSTR bszClsID, BSTR bszCodebase,
                                                                BSTR bszNeedVersion, long* pRet) {
  if (!IsElevatedInstance() && !IsPageTrusted()) {
    lastResult_ = MODULE_INVALID_DOMAIN;
    return S_OK;
  }
  if (pRet != nullptr) *pRet = 0;
  CallEngine(bszClsID, bszCodebase, bszNeedVersion);
  if (lastResult_ == SUCCESS && pRet != nullptr) *pRet = 1;
  return S_OK;
}

STDMETHODIMP COvelinActiveXManager::InstallActiveXObject(BSTR bszClsID, BSTR bszCodebase,
                                                         BSTR bszNeedVersion, long* pRet) {
  if (!IsPageTrusted()) {
    lastResult_ = MODULE_INVALID_DOMAIN;
    return E_FAIL;
  }
  long installed = DispatchInstall(bszClsID, bszCodebase, bszNeedVersion);
  if (pRet != nullptr) *pRet = installed;
  return S_OK;
}

STDMETHODIMP COvelinActiveXManager::GetActiveXObject(BSTR bszClsID, BSTR bszCodebase,
                                                     BSTR bszNeedVersion, VARIANT* pVal) {
  if (!IsPageTrusted()) {
    lastResult_ = MODULE_INVALID_DOMAIN;
    return S_OK;
  }
  if (pVal == nullptr) {
    lastResult_ = COMMON_INVALID_PARAM;
    return S_OK;
  }
  pVal->vt = VT_DISPATCH;
  pVal->pdispVal = nullptr;
  // A second update control would carry no site, so it is never handed
  // out; a text that is no class id goes on to the module check.
  CLSID clsid = GUID_NULL;
  const bool isClsid = bszClsID != nullptr && SUCCEEDED(CLSIDFromString(bszClsID, &clsid));
  if (isClsid && IsEqualCLSID(clsid, CLSID_OvelinActiveXManager)) {
    lastResult_ = MODULE_NOTSAFE_FOR_SCRIPTING;
    return S_OK;
  }
  CAnsiString clsidText, needVersionText;
  if (!clsidText.ConvertNonNull(bszClsID) || !needVersionText.ConvertNonNull(bszNeedVersion)) {
    lastResult_ = COMMON_OUTOFMEMORY;
    return S_OK;
  }
  classes_.ForgetIfChanged();
  lastResult_ = classes_.CheckInstalledModule(clsidText.Get(), needVersionText.Get());
  if (lastResult_ != SUCCESS) {
    if (!NeedsInstall(lastResult_)) return S_OK;
    if (DispatchInstall(bszClsID, bszCodebase, bszNeedVersion) == 1)
      lastResult_ = classes_.CheckInstalledModule(clsidText.Get(), needVersionText.Get());
    if (lastResult_ != SUCCESS) return S_OK;
  }
  if (!isClsid) {
    lastResult_ = MODULE_CREATECONTROL_FAIL;
    return S_OK;
  }
  // Script gets only what the browser itself would let it script, judged
  // on the class that will run: a kill-bitted class, or this control
  // itself, is not even created, and an object that is not safe for
  // scripting is released unseen.
  CLSID runs;
  if (!classes_.ResolveScriptableClass(clsid, runs) || IsEqualCLSID(runs, CLSID_OvelinActiveXManager)) {
    lastResult_ = MODULE_NOTSAFE_FOR_SCRIPTING;
    return S_OK;
  }
  CComRef<IDispatch> control;
  if (FAILED(CoCreateInstance(runs, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              control.ReceiveVoid())) ||
      !control) {
    lastResult_ = MODULE_CREATECONTROL_FAIL;
    return S_OK;
  }
  // As in a browser, the object is placed on the page before it is asked.
  HandOverClientSite(control.Get());
  if (!classes_.IsSafeForScripting(runs, control.Get())) {
    lastResult_ = MODULE_NOTSAFE_FOR_SCRIPTING;
    return S_OK;
  }
  pVal->pdispVal = control.Detach();
  return S_OK;
}

STDMETHODIMP COvelinActiveXManager::SetInPlaceActiveObject(IDispatch* lpObject, long* pRet) {
  if (pRet == nullptr) return E_POINTER;
  *pRet = 0;
  if (lpObject == nullptr || !IsPageTrusted()) return S_OK;
  CComRef<IOleObject> object;
  if (FAILED(lpObject->QueryInterface(IID_IOleObject, object.ReceiveVoid()))) return S_OK;
  CComRef<IOleClientSite> clientSite;
  if (FAILED(object->GetClientSite(clientSite.Receive())) || !clientSite) return S_OK;
  HWND window = nullptr;
  CComRef<IOleInPlaceSite> inPlaceSite;
  if (SUCCEEDED(clientSite->QueryInterface(IID_IOleInPlaceSite, inPlaceSite.ReceiveVoid())) &&
      FAILED(inPlaceSite->GetWindow(&window)))
    window = nullptr;
  if (window == nullptr) return S_OK;
  RECT empty = {0, 0, 0, 0};
  if (SUCCEEDED(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite.Get(), 0, window,
                               &empty)))
    *pRet = 1;
  return S_OK;
}

STDMETHODIMP COvelinActiveXManager::GetLastError(long* pVal) {
  if (pVal != nullptr) *pVal = lastResult_;
  return S_OK;
}

STDMETHODIMP COvelinActiveXManager::GetLastErrorCodeString(BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  char text[260];
  FormatResultCode(lastResult_, text, sizeof(text));
  *pVal = AnsiToBstr(text);
  if (*pVal == nullptr) lastResult_ = COMMON_OUTOFMEMORY;
  return S_OK;
}

// --- IObjectWithSite --------------------------------------------------------

STDMETHODIMP COvelinActiveXManager::SetSite(IUnknown* site) {
  if (site != nullptr) {
    site->AddRef();
    everSited_ = true;
  }
  if (site_ != nullptr) site_->Release();
  site_ = site;
  return S_OK;
}

STDMETHODIMP COvelinActiveXManager::GetSite(REFIID iid, void** site) {
  if (site == nullptr) return E_POINTER;
  if (site_ == nullptr) {
    *site = nullptr;
    return E_FAIL;
  }
  return site_->QueryInterface(iid, site);
}

// --- IObjectSafety ----------------------------------------------------------

STDMETHODIMP COvelinActiveXManager::GetInterfaceSafetyOptions(REFIID iid, DWORD* supported,
                                                              DWORD* enabled) {
  if (supported == nullptr || enabled == nullptr) return E_POINTER;
  CComRef<IUnknown> answer;
  HRESULT hr = inner_.QueryInterface(iid, answer.ReceiveVoid());
  if (FAILED(hr)) {
    *supported = 0;
    *enabled = 0;
    return hr;
  }
  *supported = kSupportedSafety;
  *enabled = safetyOptions_;
  return S_OK;
}

STDMETHODIMP COvelinActiveXManager::SetInterfaceSafetyOptions(REFIID iid, DWORD mask,
                                                              DWORD enabled) {
  CComRef<IUnknown> answer;
  if (FAILED(inner_.QueryInterface(iid, answer.ReceiveVoid()))) return E_NOINTERFACE;
  if ((mask & ~kSupportedSafety) != 0) return E_FAIL;
  safetyOptions_ = (safetyOptions_ & ~mask) | (enabled & mask);
  return S_OK;
}

// --- Helpers ----------------------------------------------------------------

bool COvelinActiveXManager::IsPageTrusted() {
  CComRef<IServiceProvider> services;
  if (FAILED(GetSite(IID_IServiceProvider, services.ReceiveVoid())) || !services) return false;
  CComRef<IWebBrowser2> browser;
  CBstr url;
  if (FAILED(services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, browser.ReceiveVoid())) ||
      !browser || FAILED(browser->get_LocationURL(url.Receive())) || !IsTrustedUrl(url.Get()))
    return false;
  // The browser names its top page; a frame of another site inside it is
  // told apart only by its own document, so a site that names none could
  // be such a frame.
  CComRef<IHTMLDocument2> document;
  if (!FindHostingDocument(services.Get(), document.Receive())) return false;
  CBstr documentUrl;
  return SUCCEEDED(document->get_URL(documentUrl.Receive())) && IsTrustedUrl(documentUrl.Get());
}

bool COvelinActiveXManager::FindHostingDocument(IServiceProvider* services,
                                                IHTMLDocument2** document) {
  CComRef<IOleClientSite> clientSite;
  CComRef<IOleContainer> container;
  if (SUCCEEDED(GetSite(IID_IOleClientSite, clientSite.ReceiveVoid())) && clientSite &&
      SUCCEEDED(clientSite->GetContainer(container.Receive())) && container &&
      SUCCEEDED(container->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(document))) &&
      *document != nullptr)
    return true;
  return SUCCEEDED(services->QueryService(SID_SContainerDispatch, IID_IHTMLDocument2,
                                          reinterpret_cast<void**>(document))) &&
         *document != nullptr;
}

bool COvelinActiveXManager::IsElevatedInstance() const {
  return !everSited_ && RunsInComSurrogate();
}

void COvelinActiveXManager::HandOverClientSite(IDispatch* control) {
  CComRef<IOleObject> object;
  if (FAILED(control->QueryInterface(IID_IOleObject, object.ReceiveVoid()))) return;
  CComRef<IOleClientSite> clientSite;
  if (FAILED(GetSite(IID_IOleClientSite, clientSite.ReceiveVoid())) || !clientSite) return;
  object->SetClientSite(clientSite.Get());
}
