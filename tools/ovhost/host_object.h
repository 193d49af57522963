// CHostObject: the page's "host" object, its line to the person or test
// that runs it:
//   host.echo(a, b, ...)  prints the arguments as one line
//   host.fail(message)    prints "FAIL: message"; ovhost then exits 1
//   host.url              the page URL
//   host.place(control)   puts a control on the page as an <object> tag
//                         would: gives it the page's client site through
//                         IOleObject::SetClientSite; true when it took it
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <oleidl.h>

#include <string>

#include "com_object.h"

class CHostObject : public CComObject<ComInterface<IDispatch, &IID_IDispatch>> {
 public:
  // clientSite: the page's client site for host.place; not counted, it
  // outlives this object.
  CHostObject(const std::wstring& url, IOleClientSite* clientSite)
      : url_(url), clientSite_(clientSite) {}

  bool Failed() const { return failed_; }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

 private:
  // The arguments as the page wrote them, joined by spaces.
  static std::wstring JoinArguments(const DISPPARAMS* params);

  std::wstring url_;
  IOleClientSite* clientSite_;
  bool failed_ = false;  // the page's thread only
};
