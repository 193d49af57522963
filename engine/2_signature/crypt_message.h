// Reading a decoded PKCS #7 message: its parameters and the messageDigest
// attribute of a signer.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <vector>

// The digest that a messageDigest attribute among attributes holds equals
// the digest of data with algorithm. False when there is not exactly one.
bool HasMessageDigest(const CRYPT_ATTRIBUTES& attributes, ALG_ID algorithm, const BYTE* data,
                      size_t size);

// Parameters of a decoded message, read whole.
bool MessageParam(HCRYPTMSG message, DWORD param, std::vector<BYTE>& value);
bool MessageDword(HCRYPTMSG message, DWORD param, DWORD& value);
