// Owners for COM's counted references and BSTRs: each releases what it
// holds when it goes.
#pragma once

#include <windows.h>
#include <oleauto.h>

template <class T>
class CComRef {
 public:
  CComRef() = default;
  ~CComRef() { Reset(); }
  CComRef(const CComRef&) = delete;
  CComRef& operator=(const CComRef&) = delete;

  T* Get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // For out parameters (QueryInterface and the like); releases first.
  void** ReceiveVoid() {
    Reset();
    return reinterpret_cast<void**>(&pointer_);
  }
  T** Receive() {
    Reset();
    return &pointer_;
  }
  void Reset() {
    if (pointer_ != nullptr) pointer_->Release();
    pointer_ = nullptr;
  }
  // Hands the reference to the caller, who releases it.
  T* Detach() {
    T* pointer = pointer_;
    pointer_ = nullptr;
    return pointer;
  }

 private:
  T* pointer_ = nullptr;
};

class CBstr {
 public:
  CBstr() = default;
  explicit CBstr(BSTR text) : text_(text) {}
  ~CBstr() { SysFreeString(text_); }
  CBstr(const CBstr&) = delete;
  CBstr& operator=(const CBstr&) = delete;

  BSTR Get() const { return text_; }
  BSTR* Receive() {
    SysFreeString(text_);
    text_ = nullptr;
    return &text_;
  }

 private:
  BSTR text_ = nullptr;
};
