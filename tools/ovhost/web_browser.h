// CWebBrowser: the browser object a hosted control reaches through its
// site's IServiceProvider (SID_SWebBrowserApp). It knows the page's URL and
// nothing else; every other browser operation is refused with E_NOTIMPL.
#pragma once

#include <windows.h>
#include <exdisp.h>

#include <string>

#include "com_object.h"
#include "not_impl_web_browser.h"

class CWebBrowser
    : public CComObject<ComInterface<CNotImplWebBrowser2, &IID_IDispatch, &IID_IWebBrowser,
                                     &IID_IWebBrowserApp, &IID_IWebBrowser2>> {
 public:
  explicit CWebBrowser(const std::wstring& url) : url_(url) {}

  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  // The page URL given on the command line.
  STDMETHODIMP get_LocationURL(BSTR* url) override;

 private:
  std::wstring url_;
};
