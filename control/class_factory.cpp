#include "class_factory.h"

#include <new>

#include "module.h"
#include "ovelin_manager.h"

STDMETHODIMP CClassFactory::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef() {
  LONG count = InterlockedIncrement(&references_);
  if (count == 2) ModuleLock();  // the first client reference
  return static_cast<ULONG>(count);
}

STDMETHODIMP_(ULONG) CClassFactory::Release() {
  LONG count = InterlockedDecrement(&references_);
  if (count == 1) ModuleUnlock();  // back to the module's own reference
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  return COvelinActiveXManager::Create(outer, iid, object);
}

STDMETHODIMP CClassFactory::LockServer(BOOL lock) {
  if (lock)
    ModuleLock();
  else
    ModuleUnlock();
  return S_OK;
}
