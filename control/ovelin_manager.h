// COvelinActiveXManager: the control object that pages script. It checks
// whether another control is installed at a needed version, has the engine
// install it when it is not, and hands it back to script; the outcome of
// the last install-related call is kept as a result code.
//
// Apartment-threaded: every call arrives on the page's thread, so no member
// is guarded. The object can be aggregated; its interfaces then delegate
// IUnknown to the outer object.
#pragma once

#include <windows.h>
#include <objsafe.h>
#include <mshtml.h>
#include <ocidl.h>

#include "class_cache.h"
#include "ov_manager.h"
#include "result_code.h"

class COvelinActiveXManager : public IOvelinActiveXManager,
                              public IObjectWithSite,
                              public IObjectSafety {
 public:
  // Creates an object (aggregated when outer is given) and asks it for iid;
  // the object is destroyed again when that fails.
  static HRESULT Create(IUnknown* outer, REFIID iid, void** object);

  COvelinActiveXManager(const COvelinActiveXManager&) = delete;
  COvelinActiveXManager& operator=(const COvelinActiveXManager&) = delete;

  // IUnknown, delegated to the controlling unknown.
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IDispatch, from the registered type library.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

  // IOvelinActiveXManager: every method returns S_OK except
  // InstallActiveXObject on an untrusted page (E_FAIL) and the null out
  // pointers noted below (E_POINTER).
  STDMETHODIMP InstallActiveXObjectAsAdmin(BSTR bszClsID, BSTR bszCodebase, BSTR bszNeedVersion,
                                           long* pRet) override;
  STDMETHODIMP InstallActiveXObject(BSTR bszClsID, BSTR bszCodebase, BSTR bszNeedVersion,
                                    long* pRet) override;
  STDMETHODIMP GetActiveXObject(BSTR bszClsID, BSTR bszCodebase, BSTR bszNeedVersion,
                                VARIANT* pVal) override;
  // A null pRet: E_POINTER, nothing done. On an untrusted page: 0,
  // nothing activated.
  STDMETHODIMP SetInPlaceActiveObject(IDispatch* lpObject, long* pRet) override;
  STDMETHODIMP GetLastError(long* pVal) override;
  // A null pVal: E_POINTER, nothing allocated. A failed conversion leaves
  // pVal null and stores 1002.
  STDMETHODIMP GetLastErrorCodeString(BSTR* pVal) override;

  // IObjectWithSite
  STDMETHODIMP SetSite(IUnknown* site) override;
  STDMETHODIMP GetSite(REFIID iid, void** site) override;

  // IObjectSafety: both safe-for-untrusted options, on every interface the
  // object answers.
  STDMETHODIMP GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) override;
  STDMETHODIMP SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) override;

 private:
  // The non-delegating IUnknown that owns the object's lifetime.
  class CInner : public IUnknown {
   public:
    explicit CInner(COvelinActiveXManager* owner) : owner_(owner) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

   private:
    COvelinActiveXManager* owner_;
  };

  explicit COvelinActiveXManager(IUnknown* outer);
  virtual ~COvelinActiveXManager();

  // Pass when the browser's URL and the URL of the document that hosts
  // this object are both http or https pages of a trusted domain. Fails
  // closed: no site, no browser service, no hosting document or no URL is
  // no page of the portal.
  bool IsPageTrusted();
  // The elevated instance: made by COM in the system's surrogate for
  // another process and never given a site. Only its admin install runs
  // without a page; a page's instance always has had a site.
  bool IsElevatedInstance() const;
  // The document of this object's site: the client site's container, or
  // the container that the site's services name; false when neither leads
  // to one.
  bool FindHostingDocument(IServiceProvider* services, IHTMLDocument2** document);
  // Runs the install in this process or in an elevated instance; 1 when
  // the engine reported success. May set the last result code.
  long DispatchInstall(BSTR clsid, BSTR codebase, BSTR needVersion);
  long InstallElevated(BSTR clsid, BSTR codebase, BSTR needVersion);
  // Loads the engine, runs one install job and stores its result.
  void CallEngine(BSTR clsid, BSTR codebase, BSTR needVersion);
  // Gives a newly created control this object's client site.
  void HandOverClientSite(IDispatch* control);

  CInner inner_;
  IUnknown* outer_;          // the controlling unknown: outer object or &inner_; not counted
  LONG references_ = 0;      // counted by inner_
  IUnknown* site_ = nullptr; // counted
  bool everSited_ = false;   // set by the first SetSite with a site; never cleared
  DWORD safetyOptions_ = 0;
  ResultCode lastResult_ = SUCCESS;
  // What the registry says of the classes this page asked for; dropped
  // after every install this object runs or has run.
  CClassCache classes_;
};
