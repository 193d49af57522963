// Owners for what the signature check gets from CryptoAPI: providers,
// hashes, messages, certificate stores, certificates, chains and decoded
// structures. Each releases what it holds when it goes; none is copied.
#pragma once

#include <windows.h>
#include <wincrypt.h>

template <class T, class Release>
class CCryptOwner {
 public:
  CCryptOwner() = default;
  explicit CCryptOwner(T value) : value_(value) {}
  ~CCryptOwner() {
    if (value_) Release()(value_);
  }
  CCryptOwner(const CCryptOwner&) = delete;
  CCryptOwner& operator=(const CCryptOwner&) = delete;

  T Get() const { return value_; }
  T operator->() const { return value_; }
  explicit operator bool() const { return value_ != T(); }
  // For out parameters; the object must be empty.
  T* Receive() { return &value_; }

 private:
  T value_ = T();
};

struct CReleaseProvider {
  void operator()(HCRYPTPROV provider) const { CryptReleaseContext(provider, 0); }
};
struct CDestroyHash {
  void operator()(HCRYPTHASH hash) const { CryptDestroyHash(hash); }
};
struct CCloseMessage {
  void operator()(HCRYPTMSG message) const { CryptMsgClose(message); }
};
struct CCloseStore {
  void operator()(HCERTSTORE store) const { CertCloseStore(store, 0); }
};
struct CFreeCertificate {
  void operator()(PCCERT_CONTEXT certificate) const { CertFreeCertificateContext(certificate); }
};
struct CFreeChain {
  void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
struct CFreeLocal {
  void operator()(void* memory) const { LocalFree(memory); }
};

typedef CCryptOwner<HCRYPTPROV, CReleaseProvider> CCryptProvider;
typedef CCryptOwner<HCRYPTHASH, CDestroyHash> CCryptHashHandle;
typedef CCryptOwner<HCRYPTMSG, CCloseMessage> CCryptMessage;
typedef CCryptOwner<HCERTSTORE, CCloseStore> CCertStore;
typedef CCryptOwner<PCCERT_CONTEXT, CFreeCertificate> CCertificate;
typedef CCryptOwner<PCCERT_CHAIN_CONTEXT, CFreeChain> CCertChain;
// A structure that CryptDecodeObjectEx allocated (CRYPT_DECODE_ALLOC_FLAG).
template <class T>
using CDecoded = CCryptOwner<T*, CFreeLocal>;
