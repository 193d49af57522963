// CUrlObject: a page object that knows one URL and answers nothing else;
// the browser and the document derive from it, each over its interface's
// E_NOTIMPL stubs, and answer their URL property with ReportUrl.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "com_object.h"

template <class NotImplInterface, const IID*... Ids>
class CUrlObject : public CComObject<ComInterface<NotImplInterface, Ids...>> {
 public:
  explicit CUrlObject(const std::wstring& url) : url_(url) {}

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }

 protected:
  // A copy of the URL for the caller to free.
  HRESULT ReportUrl(BSTR* url) const {
    if (url == nullptr) return E_POINTER;
    *url = SysAllocStringLen(url_.data(), static_cast<UINT>(url_.size()));
    return *url != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  std::wstring url_;
};
