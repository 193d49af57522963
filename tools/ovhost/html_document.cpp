#include "html_document.h"

STDMETHODIMP CHtmlDocument::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP CHtmlDocument::get_URL(BSTR* url) {
  if (url == nullptr) return E_POINTER;
  *url = SysAllocStringLen(url_.data(), static_cast<UINT>(url_.size()));
  return *url != nullptr ? S_OK : E_OUTOFMEMORY;
}
