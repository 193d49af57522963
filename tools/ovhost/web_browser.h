// CWebBrowser: the browser object a hosted control reaches through its
// site's IServiceProvider (SID_SWebBrowserApp). It knows the page's URL and
// nothing else; every other browser operation is refused with E_NOTIMPL.
#pragma once

#include <windows.h>
#include <exdisp.h>

#include "not_impl_web_browser.h"
#include "url_object.h"

class CWebBrowser : public CUrlObject<CNotImplWebBrowser2, &IID_IDispatch, &IID_IWebBrowser,
                                      &IID_IWebBrowserApp, &IID_IWebBrowser2> {
 public:
  using CUrlObject::CUrlObject;

  // The page URL given on the command line.
  STDMETHODIMP get_LocationURL(BSTR* url) override { return ReportUrl(url); }
};
