// The class factory of the control object. The module keeps one, created
// on first request; every client reference beyond the module's own holds
// one module lock.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "com_object.h"

class CClassFactory : public CComObject<ComInterface<IClassFactory, &IID_IClassFactory>> {
 public:
  CClassFactory() = default;

  // The count starts with the module's reference.
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // Creates a control object, aggregated when outer is given (then only
  // IUnknown may be asked for).
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  ~CClassFactory() override = default;
};
