// CCryptHash: one digest computed in steps, by the platform's AES provider,
// the one that knows the SHA-2 family besides SHA-1.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "crypt_owners.h"

class CCryptHash {
 public:
  CCryptHash() = default;
  CCryptHash(const CCryptHash&) = delete;
  CCryptHash& operator=(const CCryptHash&) = delete;

  // Starts a digest with algorithm (CALG_SHA1, CALG_SHA_256, ...); false
  // when the platform cannot compute it.
  bool Start(ALG_ID algorithm);
  // Each false when the digest was not started or the platform fails.
  bool Add(const void* data, size_t size);
  bool Finish(std::vector<BYTE>& digest);

 private:
  CCryptProvider provider_;
  CCryptHashHandle hash_;
};

// The digest algorithms that a signature may name: SHA-1 and SHA-2. MD5
// and MD2 are refused, since colliding contents can be made for them.
// 0 for any other object identifier.
ALG_ID DigestAlgorithmOf(const char* oid);

// The digest of data in one step; false when the platform cannot make it.
bool DigestOf(ALG_ID algorithm, const void* data, size_t size, std::vector<BYTE>& digest);

// The SHA-256 digest of data in upper-case hexadecimal; empty on failure.
std::string Sha256Hex(const BYTE* data, DWORD size);
