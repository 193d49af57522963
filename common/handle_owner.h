// CHandleOwner: the one owner of a handle that some call releases (a GDI
// object, a CryptoAPI provider, a certificate...). Release is a function
// object that frees a non-empty handle; the owner calls it when it goes or
// when it takes another handle. Never copied.
#pragma once

#include <windows.h>

template <class T, class Release>
class CHandleOwner {
 public:
  CHandleOwner() = default;
  explicit CHandleOwner(T value) : value_(value) {}
  ~CHandleOwner() { Reset(); }
  CHandleOwner(const CHandleOwner&) = delete;
  CHandleOwner& operator=(const CHandleOwner&) = delete;

  T Get() const { return value_; }
  T operator->() const { return value_; }
  explicit operator bool() const { return value_ != T(); }
  // For out parameters; the owner must be empty.
  T* Receive() { return &value_; }
  // Frees the handle held and holds value (may be empty) instead.
  void Reset(T value = T()) {
    if (value_ != T()) Release()(value_);
    value_ = value;
  }
  // Hands the handle over to the caller, or to the system.
  T Detach() {
    T value = value_;
    value_ = T();
    return value;
  }

 private:
  T value_ = T();
};

// A kernel object's handle (an event, a thread), closed with CloseHandle.
struct CCloseHandle {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
typedef CHandleOwner<HANDLE, CCloseHandle> CKernelHandle;
