#include "web_browser.h"

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
