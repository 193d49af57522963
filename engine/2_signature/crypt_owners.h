// Owners for what the signature check gets from CryptoAPI: providers,
// keys, hashes, messages, certificate stores, certificates, revocation
// lists, chains and decoded structures. Each releases what it holds when it
// goes; none is copied.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "handle_owner.h"

struct CReleaseProvider {
  void operator()(HCRYPTPROV provider) const { CryptReleaseContext(provider, 0); }
};
struct CDestroyKey {
  void operator()(HCRYPTKEY key) const { CryptDestroyKey(key); }
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
struct CFreeCrl {
  void operator()(PCCRL_CONTEXT crl) const { CertFreeCRLContext(crl); }
};
struct CFreeChain {
  void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
struct CFreeLocal {
  void operator()(void* memory) const { LocalFree(memory); }
};

typedef CHandleOwner<HCRYPTPROV, CReleaseProvider> CCryptProvider;
typedef CHandleOwner<HCRYPTKEY, CDestroyKey> CCryptKey;
typedef CHandleOwner<HCRYPTHASH, CDestroyHash> CCryptHashHandle;
typedef CHandleOwner<HCRYPTMSG, CCloseMessage> CCryptMessage;
typedef CHandleOwner<HCERTSTORE, CCloseStore> CCertStore;
typedef CHandleOwner<PCCERT_CONTEXT, CFreeCertificate> CCertificate;
typedef CHandleOwner<PCCRL_CONTEXT, CFreeCrl> CCrl;
typedef CHandleOwner<PCCERT_CHAIN_CONTEXT, CFreeChain> CCertChain;
// A structure that CryptDecodeObjectEx allocated (CRYPT_DECODE_ALLOC_FLAG).
template <class T>
using CDecoded = CHandleOwner<T*, CFreeLocal>;
