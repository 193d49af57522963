#include "class_factory.h"

#include <new>

#include "module.h"
#include "ovelin_manager.h"

STDMETHODIMP_(ULONG) CClassFactory::AddRef() {
  ULONG count = CComObject::AddRef();
  if (count == 2) ModuleLock();  // the first client reference
  return count;
}

STDMETHODIMP_(ULONG) CClassFactory::Release() {
  ULONG count = CComObject::Release();
  if (count == 1) ModuleUnlock();  // back to the module's own reference
  return count;
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
