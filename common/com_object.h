// The IUnknown of this system's own COM objects: QueryInterface over the
// interfaces an object names, and its reference count.
//
//   class CSite : public CComObject<ComInterface<IOleClientSite, &IID_IOleClientSite>,
//                                   ComInterface<IOleInPlaceSite, &IID_IOleWindow,
//                                                &IID_IOleInPlaceSite>> { ... };
//
// The first interface named stands for IUnknown, the object's identity.
#pragma once

#include <windows.h>
#include <unknwn.h>

// An interface an object implements, with the interface IDs its
// QueryInterface answers with it: its own, and those of the interfaces it
// extends that callers may ask for (IDispatch, IOleWindow).
template <class Interface, const IID*... Ids>
class ComInterface : public Interface {
 protected:
  static bool Answers(REFIID iid) { return (IsEqualIID(iid, *Ids) || ...); }
};

// QueryInterface for the objects below: the interface is counted through
// the object's own AddRef.
template <class First, class... Others>
class CComInterfaces : public First, public Others... {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    IUnknown* found = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || First::Answers(iid))
      found = static_cast<First*>(this);
    else
      (void)((Others::Answers(iid) && (found = static_cast<Others*>(this)) != nullptr) || ...);
    *object = found;
    if (found == nullptr) return E_NOINTERFACE;
    found->AddRef();
    return S_OK;
  }
};

// A counted object, created with one reference by new; the last Release
// deletes it.
template <class First, class... Others>
class CComObject : public CComInterfaces<First, Others...> {
 public:
  CComObject(const CComObject&) = delete;
  CComObject& operator=(const CComObject&) = delete;

  STDMETHODIMP_(ULONG) AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  STDMETHODIMP_(ULONG) Release() override {
    LONG count = InterlockedDecrement(&references_);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

 protected:
  CComObject() = default;
  virtual ~CComObject() = default;

 private:
  LONG references_ = 1;  // interlocked
};

// An object that lives as long as its module, as a class object kept in a
// static variable does: counting would change nothing.
template <class First, class... Others>
class CStaticComObject : public CComInterfaces<First, Others...> {
 public:
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
};
