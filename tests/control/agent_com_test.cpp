// The control as a COM server, called directly: class factory, module
// locks, aggregation, the interfaces it answers, site and safety options,
// out-pointer rules and the type information its IDispatch serves.
#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ov_manager.h"

namespace {

typedef HRESULT(STDAPICALLTYPE* GetClassObjectProc)(REFCLSID, REFIID, void**);
typedef HRESULT(STDAPICALLTYPE* PlainProc)();

template <class T>
T Export(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The DLL under test, loaded and registered once for the whole program.
class AgentTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitialize(nullptr);
    std::string path = std::string("Z:") + std::getenv("OV_AGENT_DLL");
    for (char& c : path)
      if (c == '/') c = '\\';
    module_ = LoadLibraryA(path.c_str());
    ASSERT_NE(nullptr, module_);
    getClassObject_ = Export<GetClassObjectProc>(module_, "DllGetClassObject");
    canUnloadNow_ = Export<PlainProc>(module_, "DllCanUnloadNow");
    ASSERT_EQ(S_OK, Export<PlainProc>(module_, "DllRegisterServer")());
  }

  static IClassFactory* Factory() {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(S_OK, getClassObject_(CLSID_OvelinActiveXManager, IID_IClassFactory,
                                    reinterpret_cast<void**>(&factory)));
    return factory;
  }

  static IOvelinActiveXManager* NewManager() {
    IClassFactory* factory = Factory();
    IOvelinActiveXManager* manager = nullptr;
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IOvelinActiveXManager,
                                            reinterpret_cast<void**>(&manager)));
    factory->Release();
    return manager;
  }

  static HMODULE module_;
  static GetClassObjectProc getClassObject_;
  static PlainProc canUnloadNow_;
};
HMODULE AgentTest::module_ = nullptr;
GetClassObjectProc AgentTest::getClassObject_ = nullptr;
PlainProc AgentTest::canUnloadNow_ = nullptr;

// An outer object for aggregation: counts its own references.
class COuter : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    return inner != nullptr ? inner->QueryInterface(iid, object) : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
  STDMETHODIMP_(ULONG) Release() override { return --references; }
  ULONG references = 1;
  IUnknown* inner = nullptr;
};

TEST_F(AgentTest, ClassFactoryAndModuleLockCount) {
  void* object = nullptr;
  EXPECT_EQ(E_POINTER, getClassObject_(CLSID_OvelinActiveXManager, IID_IClassFactory, nullptr));
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject_(IID_IDispatch, IID_IClassFactory, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(S_OK, canUnloadNow_());

  IClassFactory* factory = Factory();
  IClassFactory* again = Factory();
  EXPECT_EQ(factory, again) << "one cached factory per module";
  again->Release();
  EXPECT_EQ(S_FALSE, canUnloadNow_()) << "a client holds the factory";
  EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  factory->Release();
  EXPECT_EQ(S_FALSE, canUnloadNow_()) << "LockServer(TRUE) holds the module";
  factory = Factory();
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory->Release();
  EXPECT_EQ(S_OK, canUnloadNow_());

  IOvelinActiveXManager* manager = NewManager();
  EXPECT_EQ(S_FALSE, canUnloadNow_()) << "a live object holds the module";
  EXPECT_EQ(0u, manager->Release());
  EXPECT_EQ(S_OK, canUnloadNow_());
}

TEST_F(AgentTest, AggregationDelegatesToTheOuterObject) {
  IClassFactory* factory = Factory();
  COuter outer;
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IDispatch, &object));
  EXPECT_EQ(nullptr, object);
  ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)));
  factory->Release();

  IObjectSafety* safety = nullptr;
  ASSERT_EQ(S_OK, outer.inner->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety)));
  ULONG before = outer.references;
  safety->AddRef();
  EXPECT_EQ(before + 1, outer.references) << "AddRef goes to the outer object";
  safety->Release();
  IUnknown* identity = nullptr;
  ASSERT_EQ(S_OK, safety->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
  EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);
  identity->Release();
  safety->Release();
  EXPECT_EQ(S_FALSE, canUnloadNow_());
  EXPECT_EQ(0u, outer.inner->Release());
  EXPECT_EQ(S_OK, canUnloadNow_());
}

TEST_F(AgentTest, AnswersExactlyItsFiveInterfaces) {
  IOvelinActiveXManager* manager = NewManager();
  void* unknown = nullptr;
  void* dispatch = nullptr;
  ASSERT_EQ(S_OK, manager->QueryInterface(IID_IUnknown, &unknown));
  ASSERT_EQ(S_OK, manager->QueryInterface(IID_IDispatch, &dispatch));
  EXPECT_EQ(static_cast<void*>(manager), unknown);
  EXPECT_EQ(static_cast<void*>(manager), dispatch);
  static_cast<IUnknown*>(unknown)->Release();
  static_cast<IUnknown*>(dispatch)->Release();
  for (REFIID iid : {IID_IObjectWithSite, IID_IObjectSafety}) {
    IUnknown* answer = nullptr;
    EXPECT_EQ(S_OK, manager->QueryInterface(iid, reinterpret_cast<void**>(&answer)));
    if (answer != nullptr) answer->Release();
  }
  for (REFIID iid : {IID_IOleObject, IID_IClassFactory, IID_IPersist, IID_IOleClientSite}) {
    void* answer = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, manager->QueryInterface(iid, &answer));
    EXPECT_EQ(nullptr, answer);
  }
  manager->Release();
}

TEST_F(AgentTest, SiteAndSafetyOptions) {
  IOvelinActiveXManager* manager = NewManager();
  IObjectWithSite* withSite = nullptr;
  IObjectSafety* safety = nullptr;
  manager->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&withSite));
  manager->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety));
  ASSERT_NE(nullptr, withSite);
  ASSERT_NE(nullptr, safety);

  void* site = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_POINTER, withSite->GetSite(IID_IUnknown, nullptr));
  EXPECT_EQ(E_FAIL, withSite->GetSite(IID_IUnknown, &site));
  EXPECT_EQ(nullptr, site);
  COuter container;
  EXPECT_EQ(S_OK, withSite->SetSite(&container));
  EXPECT_EQ(2u, container.references) << "the site is held";
  EXPECT_EQ(S_OK, withSite->GetSite(IID_IUnknown, &site));
  EXPECT_EQ(static_cast<void*>(&container), site);
  container.Release();
  EXPECT_EQ(E_NOINTERFACE, withSite->GetSite(IID_IOleClientSite, &site));
  EXPECT_EQ(S_OK, withSite->SetSite(nullptr));
  EXPECT_EQ(1u, container.references) << "the old site is released";

  DWORD supported = 9, enabled = 9;
  EXPECT_EQ(E_POINTER, safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled));
  EXPECT_EQ(E_POINTER, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, nullptr));
  EXPECT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled));
  EXPECT_EQ(3u, supported);
  EXPECT_EQ(0u, enabled);
  EXPECT_EQ(E_NOINTERFACE, safety->GetInterfaceSafetyOptions(IID_IOleObject, &supported, &enabled));
  EXPECT_EQ(0u, supported);
  EXPECT_EQ(0u, enabled);

  EXPECT_EQ(S_OK, safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 1));
  safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled);
  EXPECT_EQ(1u, enabled);
  EXPECT_EQ(S_OK, safety->SetInterfaceSafetyOptions(IID_IUnknown, 2, 2));
  safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled);
  EXPECT_EQ(3u, enabled) << "options outside the mask keep their value";
  EXPECT_EQ(E_FAIL, safety->SetInterfaceSafetyOptions(IID_IDispatch, 4, 4));
  EXPECT_EQ(E_NOINTERFACE, safety->SetInterfaceSafetyOptions(IID_IOleObject, 1, 1));
  safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled);
  EXPECT_EQ(3u, enabled);

  safety->Release();
  withSite->Release();
  manager->Release();
}

// A site that offers nothing a page would: no browser, no document.
class CBareSite : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    *object = IsEqualIID(iid, IID_IUnknown) ? this : nullptr;
    return *object != nullptr ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
};

// An object that no page's browser vouches for, never given a site, given
// one without a browser, or whose site was taken away again (as when its
// element leaves the page while script keeps it), answers every page call
// with 2105; a test program is no COM surrogate, so the admin install
// refuses too. Out pointers are checked all the same.
TEST_F(AgentTest, WithoutAPageEveryCallIsRefused) {
  BSTR clsid = SysAllocString(L"{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A01}");
  BSTR codebase = SysAllocString(L"http://cdn.ovelin.net/pkgs/install/main4.cab");
  CBareSite bare;
  for (int hosting = 0; hosting < 3; ++hosting) {
    IOvelinActiveXManager* manager = NewManager();
    IObjectWithSite* withSite = nullptr;
    manager->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&withSite));
    if (hosting > 0) withSite->SetSite(&bare);
    if (hosting > 1) withSite->SetSite(nullptr);
    withSite->Release();

    BSTR text = nullptr;
    ASSERT_EQ(S_OK, manager->GetLastErrorCodeString(&text));
    EXPECT_STREQ(L"SUCCESS", text);
    SysFreeString(text);
    EXPECT_EQ(E_POINTER, manager->GetLastErrorCodeString(nullptr));

    long value = 7;
    EXPECT_EQ(S_OK, manager->InstallActiveXObjectAsAdmin(clsid, codebase, nullptr, &value));
    EXPECT_EQ(7, value) << "left untouched";
    long code = 0;
    manager->GetLastError(&code);
    EXPECT_EQ(2105, code) << hosting;
    manager->GetLastErrorCodeString(&text);
    EXPECT_STREQ(L"MODULE_INVALID_DOMAIN", text);
    SysFreeString(text);

    EXPECT_EQ(E_FAIL, manager->InstallActiveXObject(clsid, codebase, nullptr, &value));
    VARIANT control;
    VariantInit(&control);
    EXPECT_EQ(S_OK, manager->GetActiveXObject(clsid, codebase, nullptr, &control));
    EXPECT_EQ(VT_EMPTY, control.vt);
    EXPECT_EQ(S_OK, manager->GetActiveXObject(clsid, codebase, nullptr, nullptr));
    manager->GetLastError(&code);
    EXPECT_EQ(2105, code);
    EXPECT_EQ(S_OK, manager->GetLastError(nullptr));

    value = 7;
    EXPECT_EQ(S_OK, manager->SetInPlaceActiveObject(nullptr, &value));
    EXPECT_EQ(0, value);
    value = 7;
    EXPECT_EQ(S_OK, manager->SetInPlaceActiveObject(manager, &value));
    EXPECT_EQ(0, value);
    EXPECT_EQ(E_POINTER, manager->SetInPlaceActiveObject(manager, nullptr));
    manager->Release();
  }
  SysFreeString(clsid);
  SysFreeString(codebase);
}

std::wstring Name(ITypeInfo* info, MEMBERID id) {
  BSTR name = nullptr;
  info->GetDocumentation(id, &name, nullptr, nullptr, nullptr);
  std::wstring text = name != nullptr ? name : L"";
  SysFreeString(name);
  return text;
}

std::wstring HelpString(ITypeInfo* info, MEMBERID id) {
  BSTR help = nullptr;
  info->GetDocumentation(id, nullptr, &help, nullptr, nullptr);
  std::wstring text = help != nullptr ? help : L"";
  SysFreeString(help);
  return text;
}

TEST_F(AgentTest, TypeInformationIsTheScriptingContract) {
  IOvelinActiveXManager* manager = NewManager();
  UINT count = 0;
  EXPECT_EQ(S_OK, manager->GetTypeInfoCount(&count));
  EXPECT_EQ(1u, count);
  ITypeInfo* info = nullptr;
  ASSERT_EQ(S_OK, manager->GetTypeInfo(0, 0, &info));

  // A dual interface's type information is the dispatch view; its vtable
  // view lists the six methods after IUnknown's and IDispatch's seven.
  HREFTYPE vtableRef = 0;
  ITypeInfo* vtable = nullptr;
  ASSERT_EQ(S_OK, info->GetRefTypeOfImplType(-1, &vtableRef));
  ASSERT_EQ(S_OK, info->GetRefTypeInfo(vtableRef, &vtable));
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, vtable->GetTypeAttr(&attributes));
  EXPECT_TRUE(IsEqualGUID(IID_IOvelinActiveXManager, attributes->guid));
  EXPECT_EQ(TKIND_INTERFACE, attributes->typekind);
  EXPECT_EQ(TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE,
            attributes->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE));
  EXPECT_EQ(L"IOvelinAutoUpdater Interface", HelpString(vtable, MEMBERID_NIL));
  vtable->ReleaseTypeAttr(attributes);

  const struct {
    const wchar_t* name;
    std::vector<std::wstring> params;
    std::vector<VARTYPE> types;  // VT_PTR marks the [out, retval] pointer
    VARTYPE retvalType;
  } methods[] = {
      {L"InstallActiveXObjectAsAdmin", {L"bszClsID", L"bszCodebase", L"bszNeedVersion", L"pRet"},
       {VT_BSTR, VT_BSTR, VT_BSTR, VT_PTR}, VT_I4},
      {L"InstallActiveXObject", {L"bszClsID", L"bszCodebase", L"bszNeedVersion", L"pRet"},
       {VT_BSTR, VT_BSTR, VT_BSTR, VT_PTR}, VT_I4},
      {L"GetActiveXObject", {L"bszClsID", L"bszCodebase", L"bszNeedVersion", L"pVal"},
       {VT_BSTR, VT_BSTR, VT_BSTR, VT_PTR}, VT_VARIANT},
      {L"SetInPlaceActiveObject", {L"lpObject", L"pRet"}, {VT_DISPATCH, VT_PTR}, VT_I4},
      {L"GetLastError", {L"pVal"}, {VT_PTR}, VT_I4},
      {L"GetLastErrorCodeString", {L"pVal"}, {VT_PTR}, VT_BSTR},
  };
  for (UINT index = 0; index < 6; ++index) {
    const auto& expected = methods[index];
    FUNCDESC* function = nullptr;
    ASSERT_EQ(S_OK, vtable->GetFuncDesc(index, &function));
    EXPECT_EQ(static_cast<MEMBERID>(index + 1), function->memid) << expected.name;
    EXPECT_EQ(static_cast<SHORT>((7 + index) * sizeof(void*)), function->oVft) << expected.name;
    EXPECT_EQ(INVOKE_FUNC, function->invkind);
    EXPECT_EQ(VT_HRESULT, function->elemdescFunc.tdesc.vt);
    EXPECT_EQ(expected.name, Name(vtable, function->memid));
    EXPECT_EQ(std::wstring(L"method ") + expected.name, HelpString(vtable, function->memid));
    BSTR names[8] = {};
    UINT got = 0;
    vtable->GetNames(function->memid, names, 8, &got);
    ASSERT_EQ(expected.params.size() + 1, got);
    ASSERT_EQ(static_cast<SHORT>(expected.params.size()), function->cParams);
    for (UINT p = 0; p < expected.params.size(); ++p) {
      EXPECT_EQ(expected.params[p], names[p + 1]);
      const ELEMDESC& param = function->lprgelemdescParam[p];
      EXPECT_EQ(expected.types[p], param.tdesc.vt) << expected.name << " " << p;
      bool last = p + 1 == expected.params.size();
      USHORT flags = param.paramdesc.wParamFlags;
      if (last) {
        EXPECT_EQ(PARAMFLAG_FOUT | PARAMFLAG_FRETVAL, flags) << expected.name;
        EXPECT_EQ(expected.retvalType, param.tdesc.lptdesc->vt) << expected.name;
      } else {
        EXPECT_EQ(PARAMFLAG_FIN, flags) << expected.name;
      }
    }
    for (UINT n = 0; n < got; ++n) SysFreeString(names[n]);
    vtable->ReleaseFuncDesc(function);
  }
  FUNCDESC* extra = nullptr;
  EXPECT_NE(S_OK, vtable->GetFuncDesc(6, &extra)) << "exactly six methods";

  ITypeLib* library = nullptr;
  UINT index = 0;
  ASSERT_EQ(S_OK, info->GetContainingTypeLib(&library, &index));
  TLIBATTR* libAttributes = nullptr;
  library->GetLibAttr(&libAttributes);
  EXPECT_TRUE(IsEqualGUID(LIBID_OVMANAGERXLib, libAttributes->guid));
  EXPECT_EQ(1, libAttributes->wMajorVerNum);
  EXPECT_EQ(0, libAttributes->wMinorVerNum);
  EXPECT_EQ(0u, libAttributes->lcid);
  library->ReleaseTLibAttr(libAttributes);
  BSTR libName = nullptr, libHelp = nullptr;
  library->GetDocumentation(-1, &libName, &libHelp, nullptr, nullptr);
  EXPECT_STREQ(L"OVMANAGERXLib", libName);
  EXPECT_STREQ(L"OVManagerX 1.0 Type Library", libHelp);
  SysFreeString(libName);
  SysFreeString(libHelp);
  ITypeInfo* coclass = nullptr;
  ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(CLSID_OvelinActiveXManager, &coclass));
  EXPECT_EQ(L"OvelinActiveXManager", Name(coclass, MEMBERID_NIL));
  EXPECT_EQ(L"OvelinAutoUpdater Class", HelpString(coclass, MEMBERID_NIL));
  TYPEATTR* coclassAttributes = nullptr;
  coclass->GetTypeAttr(&coclassAttributes);
  EXPECT_EQ(TKIND_COCLASS, coclassAttributes->typekind);
  EXPECT_TRUE(coclassAttributes->wTypeFlags & TYPEFLAG_FCANCREATE);
  EXPECT_EQ(1, coclassAttributes->cImplTypes);
  coclass->ReleaseTypeAttr(coclassAttributes);
  INT implFlags = 0;
  coclass->GetImplTypeFlags(0, &implFlags);
  EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, implFlags);
  coclass->Release();
  library->Release();

  // Names resolve to the DISPIDs through the object's own IDispatch.
  const wchar_t* names[] = {L"InstallActiveXObjectAsAdmin", L"InstallActiveXObject", L"GetActiveXObject",
                            L"SetInPlaceActiveObject", L"GetLastError", L"GetLastErrorCodeString"};
  for (DISPID id = 1; id <= 6; ++id) {
    LPOLESTR name = const_cast<LPOLESTR>(names[id - 1]);
    DISPID got = 0;
    EXPECT_EQ(S_OK, manager->GetIDsOfNames(IID_NULL, &name, 1, 0, &got));
    EXPECT_EQ(id, got);
  }
  vtable->Release();
  info->Release();
  manager->Release();
}

}  // namespace
