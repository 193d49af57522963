#include "web_browser.h"

STDMETHODIMP CWebBrowser::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
      IsEqualIID(iid, IID_IWebBrowser) || IsEqualIID(iid, IID_IWebBrowserApp) ||
      IsEqualIID(iid, IID_IWebBrowser2)) {
    *object = static_cast<IWebBrowser2*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CWebBrowser::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

STDMETHODIMP_(ULONG) CWebBrowser::Release() {
  LONG count = InterlockedDecrement(&references_);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

STDMETHODIMP CWebBrowser::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP CWebBrowser::get_LocationURL(BSTR* url) {
  if (url == nullptr) return E_POINTER;
  *url = SysAllocStringLen(url_.data(), static_cast<UINT>(url_.size()));
  return *url != nullptr ? S_OK : E_OUTOFMEMORY;
}
