// CScopedKey owns one open registry key and closes it when it goes.
#pragma once

#include <windows.h>

class CScopedKey {
 public:
  CScopedKey() = default;
  ~CScopedKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  CScopedKey(const CScopedKey&) = delete;
  CScopedKey& operator=(const CScopedKey&) = delete;

  HKEY Get() const { return key_; }
  // For the out parameter of RegOpenKeyExA and friends; the key must be
  // closed (fresh) when it is handed out.
  HKEY* Receive() { return &key_; }

 private:
  HKEY key_ = nullptr;
};
