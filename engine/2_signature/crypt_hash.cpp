#include "crypt_hash.h"

#include <cstring>

#include "hex_text.h"

bool CCryptHash::Start(ALG_ID algorithm) {
  if (provider_ || hash_) return false;
  if (!CryptAcquireContextA(provider_.Receive(), nullptr, nullptr, PROV_RSA_AES,
                            CRYPT_VERIFYCONTEXT))
    return false;
  return CryptCreateHash(provider_.Get(), algorithm, 0, 0, hash_.Receive()) != FALSE;
}

bool CCryptHash::Add(const void* data, size_t size) {
  if (!hash_) return false;
  // CryptHashData takes 32-bit lengths.
  const BYTE* bytes = static_cast<const BYTE*>(data);
  while (size > 0) {
    const DWORD part = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    if (!CryptHashData(hash_.Get(), bytes, part, 0)) return false;
    bytes += part;
    size -= part;
  }
  return true;
}

bool CCryptHash::Finish(std::vector<BYTE>& digest) {
  if (!hash_) return false;
  DWORD size = 0;
  DWORD sizeSize = sizeof(size);
  if (!CryptGetHashParam(hash_.Get(), HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &sizeSize, 0))
    return false;
  digest.resize(size);
  return CryptGetHashParam(hash_.Get(), HP_HASHVAL, digest.data(), &size, 0) != FALSE &&
         size == digest.size();
}

ALG_ID DigestAlgorithmOf(const char* oid) {
  static const struct {
    const char* oid;
    ALG_ID algorithm;
  } kAlgorithms[] = {
      {"1.3.14.3.2.26", CALG_SHA1},
      {"2.16.840.1.101.3.4.2.1", CALG_SHA_256},
      {"2.16.840.1.101.3.4.2.2", CALG_SHA_384},
      {"2.16.840.1.101.3.4.2.3", CALG_SHA_512},
  };
  if (oid == nullptr) return 0;
  for (const auto& entry : kAlgorithms)
    if (std::strcmp(oid, entry.oid) == 0) return entry.algorithm;
  return 0;
}

bool DigestOf(ALG_ID algorithm, const void* data, size_t size, std::vector<BYTE>& digest) {
  CCryptHash hash;
  return hash.Start(algorithm) && hash.Add(data, size) && hash.Finish(digest);
}

std::string Sha256Hex(const BYTE* data, DWORD size) {
  std::vector<BYTE> digest;
  if (!DigestOf(CALG_SHA_256, data, size, digest)) return "";
  return ToHexText(digest.data(), digest.size());
}
