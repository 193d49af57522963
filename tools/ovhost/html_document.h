// CHtmlDocument: the document that holds the page's controls, reached
// through the site's IServiceProvider (SID_SContainerDispatch) as in a
// browser. It knows its own URL, which differs from the browser's when the
// page is a frame, and nothing else; every other document operation is
// refused with E_NOTIMPL.
#pragma once

#include <windows.h>
#include <mshtml.h>

#include "not_impl_html_document.h"
#include "url_object.h"

class CHtmlDocument : public CUrlObject<CNotImplHtmlDocument2, &IID_IDispatch, &IID_IHTMLDocument,
                                        &IID_IHTMLDocument2> {
 public:
  using CUrlObject::CUrlObject;

  STDMETHODIMP get_URL(BSTR* url) override { return ReportUrl(url); }
};
