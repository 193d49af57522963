#include "crypt_message.h"

#include <cstring>

#include "crypt_hash.h"
#include "crypt_owners.h"

bool MessageParam(HCRYPTMSG message, DWORD param, std::vector<BYTE>& value) {
  DWORD size = 0;
  if (!CryptMsgGetParam(message, param, 0, nullptr, &size) || size == 0) return false;
  value.resize(size);
  if (!CryptMsgGetParam(message, param, 0, value.data(), &size)) return false;
  value.resize(size);
  return true;
}

bool MessageDword(HCRYPTMSG message, DWORD param, DWORD& value) {
  DWORD size = sizeof(value);
  return CryptMsgGetParam(message, param, 0, &value, &size) != FALSE;
}

bool HasMessageDigest(const CRYPT_ATTRIBUTES& attributes, ALG_ID algorithm, const BYTE* data,
                      size_t size) {
  std::vector<BYTE> digest;
  if (algorithm == 0 || !DigestOf(algorithm, data, size, digest)) return false;
  for (DWORD i = 0; i < attributes.cAttr; ++i) {
    const CRYPT_ATTRIBUTE& attribute = attributes.rgAttr[i];
    if (std::strcmp(attribute.pszObjId, szOID_PKCS_9_MESSAGE_DIGEST) != 0) continue;
    if (attribute.cValue != 1) return false;
    CDecoded<CRYPT_DATA_BLOB> value;
    DWORD decodedSize = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_OCTET_STRING, attribute.rgValue[0].pbData,
                             attribute.rgValue[0].cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr,
                             value.Receive(), &decodedSize))
      return false;
    return value->cbData == digest.size() &&
           std::memcmp(value->pbData, digest.data(), digest.size()) == 0;
  }
  return false;
}

