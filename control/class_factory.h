// The class factory of the control object. The module keeps one, created
// on first request; every client reference beyond the module's own holds
// one module lock.
#pragma once

#include <windows.h>
#include <unknwn.h>

class CClassFactory : public IClassFactory {
 public:
  CClassFactory() = default;
  CClassFactory(const CClassFactory&) = delete;
  CClassFactory& operator=(const CClassFactory&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // Creates a control object, aggregated when outer is given (then only
  // IUnknown may be asked for).
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  virtual ~CClassFactory() = default;

  LONG references_ = 1;  // interlocked; starts with the module's reference
};
