// CScriptSite: the page as the script engine and the controls it creates
// see it. For the engine it is the IActiveScriptSite (errors, the "host"
// item) with a security manager that lets the page create controls. The
// engine hands the same object to every control it creates as its site:
// IServiceProvider answers SID_SWebBrowserApp with a browser that reports
// the page URL and SID_SContainerDispatch with the document that holds the
// controls, and IOleClientSite and IOleInPlaceSite put the controls on the
// page's window.
#pragma once

#include <windows.h>
#include <activscp.h>
#include <ocidl.h>
#include <servprov.h>
#include <urlmon.h>

#include <string>

#include "com_object.h"

class CHostObject;
class CHtmlDocument;
class CWebBrowser;

// How the page is hosted.
struct CPageHosting {
  std::wstring url;          // the browser's URL
  std::wstring documentUrl;  // the URL of the document holding the controls
  HWND window = nullptr;     // the page's window; not owned, may be null
  bool withBrowser = true;   // false: no browser service, as in a host without one
  bool withDocument = true;  // false: no SID_SContainerDispatch, no container
};

class CScriptSite
    : public CComObject<ComInterface<IActiveScriptSite, &IID_IActiveScriptSite>,
                        ComInterface<IServiceProvider, &IID_IServiceProvider>,
                        ComInterface<IInternetHostSecurityManager, &IID_IInternetHostSecurityManager>,
                        ComInterface<IOleClientSite, &IID_IOleClientSite>,
                        ComInterface<IOleInPlaceSite, &IID_IOleWindow, &IID_IOleInPlaceSite>> {
 public:
  // A null window makes IOleInPlaceSite::GetWindow fail, as in a
  // container that has none.
  explicit CScriptSite(const CPageHosting& hosting);

  // True once the page called host.fail or an error ended its script.
  bool Failed() const;

  // IActiveScriptSite
  STDMETHODIMP GetLCID(LCID* lcid) override;
  STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override;
  STDMETHODIMP GetDocVersionString(BSTR* version) override;
  STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
  STDMETHODIMP OnStateChange(SCRIPTSTATE) override { return S_OK; }
  // Prints the error as "ERROR: line N: description" and marks the run failed.
  STDMETHODIMP OnScriptError(IActiveScriptError* error) override;
  STDMETHODIMP OnEnterScript() override { return S_OK; }
  STDMETHODIMP OnLeaveScript() override { return S_OK; }

  // IServiceProvider
  STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** object) override;

  // IInternetHostSecurityManager: the page may run and script any control.
  STDMETHODIMP GetSecurityId(BYTE*, DWORD*, DWORD_PTR) override { return E_NOTIMPL; }
  STDMETHODIMP ProcessUrlAction(DWORD action, BYTE* policy, DWORD size, BYTE* context,
                                DWORD contextSize, DWORD flags, DWORD reserved) override;
  STDMETHODIMP QueryCustomPolicy(REFGUID key, BYTE** policy, DWORD* size, BYTE* context,
                                 DWORD contextSize, DWORD reserved) override;

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return S_OK; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetContainer(IOleContainer** container) override;
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow, IOleInPlaceSite. Activation is printed as
  // "site: in-place active" so that a page's test can see it happen.
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP CanInPlaceActivate() override;
  STDMETHODIMP OnInPlaceActivate() override;
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

 private:
  ~CScriptSite() override;

  HWND window_;               // not owned
  CHostObject* host_;         // counted
  CWebBrowser* browser_;      // counted; null without a browser service
  CHtmlDocument* document_;   // counted; null without a document
  bool scriptFailed_ = false;
};
