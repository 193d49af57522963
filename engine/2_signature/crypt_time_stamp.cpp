#include "crypt_time_stamp.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "crypt_chain.h"
#include "crypt_hash.h"
#include "crypt_message.h"
#include "crypt_owners.h"

namespace {

const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
const char kTimeStampTokenOid[] = "1.3.6.1.4.1.311.3.3.1";
const char kCountersignatureOid[] = "1.2.840.113549.1.9.6";
const char kTimeStampDataOid[] = "1.2.840.113549.1.9.16.1.4";

// One DER element: its tag and contents, within a buffer already read.
struct DerElement {
  BYTE tag = 0;
  const BYTE* contents = nullptr;
  size_t size = 0;
};

// Reads the element at data (size bytes left) and moves past it.
bool ReadElement(const BYTE*& data, size_t& size, DerElement& element) {
  if (size < 2) return false;
  size_t header = 2;
  size_t length = data[1];
  if (length & 0x80) {
    const size_t lengthBytes = length & 0x7F;
    if (lengthBytes == 0 || lengthBytes > 4 || size < 2 + lengthBytes) return false;
    length = 0;
    for (size_t i = 0; i < lengthBytes; ++i) length = (length << 8) | data[2 + i];
    header += lengthBytes;
  }
  if (length > size - header) return false;
  element.tag = data[0];
  element.contents = data + header;
  element.size = length;
  data += header + length;
  size -= header + length;
  return true;
}

// The dotted form of an OBJECT IDENTIFIER's contents.
std::string DottedOid(const DerElement& oid) {
  if (oid.tag != 0x06 || oid.size == 0) return "";
  std::string text = std::to_string(oid.contents[0] / 40) + "." + std::to_string(oid.contents[0] % 40);
  unsigned long long arc = 0;
  for (size_t i = 1; i < oid.size; ++i) {
    if (arc > (~0ull >> 7)) return "";
    arc = (arc << 7) | (oid.contents[i] & 0x7F);
    if ((oid.contents[i] & 0x80) == 0) {
      text += "." + std::to_string(arc);
      arc = 0;
    }
  }
  return text;
}

// A GeneralizedTime "YYYYMMDDHHMMSS[.f...]Z" as a FILETIME.
bool ParseGeneralizedTime(const DerElement& element, FILETIME& time) {
  if (element.tag != 0x18 || element.size < 15 || element.contents[element.size - 1] != 'Z')
    return false;
  const std::string text(reinterpret_cast<const char*>(element.contents), element.size);
  SYSTEMTIME st = {};
  unsigned year, month, day, hour, minute, second;
  char after = 0;
  if (std::sscanf(text.c_str(), "%4u%2u%2u%2u%2u%2u%c", &year, &month, &day, &hour, &minute,
                  &second, &after) != 7 ||
      (after != 'Z' && after != '.'))
    return false;
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(day);
  st.wHour = static_cast<WORD>(hour);
  st.wMinute = static_cast<WORD>(minute);
  st.wSecond = static_cast<WORD>(second);
  return SystemTimeToFileTime(&st, &time) != FALSE;
}

// TSTInfo: version, policy, messageImprint { algorithm, digest }, serial
// number, genTime, ... The imprint must be the digest of stamped.
bool ReadTimeStampData(const BYTE* data, size_t size, const CRYPT_DATA_BLOB& stamped, FILETIME& time) {
  DerElement info, version, policy, imprint, serial, generated;
  if (!ReadElement(data, size, info) || info.tag != 0x30) return false;
  const BYTE* fields = info.contents;
  size_t left = info.size;
  if (!ReadElement(fields, left, version) || version.tag != 0x02 ||
      !ReadElement(fields, left, policy) || policy.tag != 0x06 ||
      !ReadElement(fields, left, imprint) || imprint.tag != 0x30 ||
      !ReadElement(fields, left, serial) || serial.tag != 0x02 ||
      !ReadElement(fields, left, generated))
    return false;

  const BYTE* parts = imprint.contents;
  size_t partsLeft = imprint.size;
  DerElement algorithm, digest, oid;
  if (!ReadElement(parts, partsLeft, algorithm) || algorithm.tag != 0x30 ||
      !ReadElement(parts, partsLeft, digest) || digest.tag != 0x04)
    return false;
  const BYTE* algorithmParts = algorithm.contents;
  size_t algorithmLeft = algorithm.size;
  if (!ReadElement(algorithmParts, algorithmLeft, oid)) return false;
  const ALG_ID digestAlgorithm = DigestAlgorithmOf(DottedOid(oid).c_str());
  std::vector<BYTE> expected;
  if (digestAlgorithm == 0 || !DigestOf(digestAlgorithm, stamped.pbData, stamped.cbData, expected) ||
      expected.size() != digest.size || std::memcmp(expected.data(), digest.contents, digest.size) != 0)
    return false;
  return ParseGeneralizedTime(generated, time);
}

// One RFC 3161 token (a DER ContentInfo) over signer's signature value.
bool VerifyToken(const CRYPT_ATTR_BLOB& token, const CMSG_SIGNER_INFO& signer, HCERTSTORE carried,
                 FILETIME& time, CCertChain& chain) {
  CCryptMessage message(CryptMsgOpenToDecode(kEncoding, 0, 0, 0, nullptr, nullptr));
  if (!message || !CryptMsgUpdate(message.Get(), token.pbData, token.cbData, TRUE)) return false;
  DWORD type = 0;
  DWORD signers = 0;
  std::vector<BYTE> contentType, content, signerInfo, signerId;
  if (!MessageDword(message.Get(), CMSG_TYPE_PARAM, type) || type != CMSG_SIGNED ||
      !MessageDword(message.Get(), CMSG_SIGNER_COUNT_PARAM, signers) || signers != 1 ||
      !MessageParam(message.Get(), CMSG_INNER_CONTENT_TYPE_PARAM, contentType) ||
      std::strcmp(reinterpret_cast<const char*>(contentType.data()), kTimeStampDataOid) != 0 ||
      !MessageParam(message.Get(), CMSG_CONTENT_PARAM, content) ||
      !MessageParam(message.Get(), CMSG_SIGNER_INFO_PARAM, signerInfo) ||
      !MessageParam(message.Get(), CMSG_SIGNER_CERT_INFO_PARAM, signerId))
    return false;
  // The content is the TSTInfo's DER; some decoders leave the OCTET STRING
  // that carries it around it.
  const BYTE* data = content.data();
  size_t size = content.size();
  DerElement wrapped;
  if (size > 0 && data[0] == 0x04) {
    if (!ReadElement(data, size, wrapped)) return false;
    data = wrapped.contents;
    size = wrapped.size;
  }

  // The authority's certificate: in the token, or among the package's.
  CCertStore own(CertOpenStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, message.Get()));
  CCertStore all(CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr));
  if (!own || !all || !CertAddStoreToCollection(all.Get(), own.Get(), 0, 0) ||
      (carried != nullptr && !CertAddStoreToCollection(all.Get(), carried, 0, 0)))
    return false;
  CCertificate authority(CertGetSubjectCertificateFromStore(
      all.Get(), kEncoding, reinterpret_cast<PCERT_INFO>(signerId.data())));
  const auto& tokenSigner = *reinterpret_cast<const CMSG_SIGNER_INFO*>(signerInfo.data());
  if (!authority ||
      !CryptMsgControl(message.Get(), 0, CMSG_CTRL_VERIFY_SIGNATURE, authority->pCertInfo) ||
      !HasMessageDigest(tokenSigner.AuthAttrs, DigestAlgorithmOf(tokenSigner.HashAlgorithm.pszObjId),
                        data, size) ||
      !ReadTimeStampData(data, size, signer.EncryptedHash, time))
    return false;
  return IsChainTrusted(authority.Get(), all.Get(), &time, kTimeStampingUsage, chain);
}

// The signingTime attribute among attributes, when there is exactly one.
bool ReadSigningTime(const CRYPT_ATTRIBUTES& attributes, FILETIME& time) {
  for (DWORD i = 0; i < attributes.cAttr; ++i) {
    const CRYPT_ATTRIBUTE& attribute = attributes.rgAttr[i];
    if (std::strcmp(attribute.pszObjId, szOID_RSA_signingTime) != 0) continue;
    DWORD size = sizeof(time);
    return attribute.cValue == 1 &&
           CryptDecodeObjectEx(X509_ASN_ENCODING, PKCS_UTC_TIME, attribute.rgValue[0].pbData,
                               attribute.rgValue[0].cbData, 0, nullptr, &time, &size);
  }
  return false;
}

// The signature of a countersignature (value: its DER SignerInfo, counter:
// the same decoded) over its authenticated attributes, verified with the
// key of authority. Authenticode signs the attributes' DER as a SET, so
// the bytes are taken as they stand in value, not encoded again.
// (CryptMsgVerifyCountersignatureEncoded would do this; this platform's
// answers every call with a failure.)
bool SignsAttributes(const CRYPT_ATTR_BLOB& value, const CMSG_SIGNER_INFO& counter,
                     PCCERT_CONTEXT authority) {
  const BYTE* data = value.pbData;
  size_t size = value.cbData;
  DerElement info, version, id, algorithm, attributes;
  if (!ReadElement(data, size, info) || info.tag != 0x30) return false;
  const BYTE* fields = info.contents;
  size_t left = info.size;
  if (!ReadElement(fields, left, version) || !ReadElement(fields, left, id) ||
      !ReadElement(fields, left, algorithm))
    return false;
  const BYTE* start = fields;
  if (!ReadElement(fields, left, attributes) || attributes.tag != 0xA0) return false;
  std::vector<BYTE> signedBytes(start, fields);
  signedBytes[0] = 0x31;  // SET OF, in place of the [0] of the SignerInfo

  CCryptProvider provider;
  CCryptKey key;
  CCryptHashHandle hash;
  const ALG_ID digestAlgorithm = DigestAlgorithmOf(counter.HashAlgorithm.pszObjId);
  if (digestAlgorithm == 0 ||
      !CryptAcquireContextA(provider.Receive(), nullptr, nullptr, PROV_RSA_AES,
                            CRYPT_VERIFYCONTEXT) ||
      !CryptImportPublicKeyInfo(provider.Get(), X509_ASN_ENCODING,
                                &authority->pCertInfo->SubjectPublicKeyInfo, key.Receive()) ||
      !CryptCreateHash(provider.Get(), digestAlgorithm, 0, 0, hash.Receive()) ||
      !CryptHashData(hash.Get(), signedBytes.data(), static_cast<DWORD>(signedBytes.size()), 0))
    return false;
  // CryptoAPI takes signatures least significant byte first.
  std::vector<BYTE> signature(counter.EncryptedHash.pbData,
                              counter.EncryptedHash.pbData + counter.EncryptedHash.cbData);
  std::reverse(signature.begin(), signature.end());
  return CryptVerifySignatureA(hash.Get(), signature.data(), static_cast<DWORD>(signature.size()),
                               key.Get(), nullptr, 0) != FALSE;
}

// One Authenticode countersignature (a DER SignerInfo) of signer; its
// authority's certificate is among carried.
bool VerifyCountersignature(const CRYPT_ATTR_BLOB& value, const CMSG_SIGNER_INFO& signer,
                            HCERTSTORE carried, FILETIME& time, CCertChain& chain) {
  CDecoded<CMSG_SIGNER_INFO> counter;
  DWORD size = 0;
  if (carried == nullptr ||
      !CryptDecodeObjectEx(kEncoding, PKCS7_SIGNER_INFO, value.pbData, value.cbData,
                           CRYPT_DECODE_ALLOC_FLAG, nullptr, counter.Receive(), &size))
    return false;
  CERT_INFO id = {};
  id.Issuer = counter->Issuer;
  id.SerialNumber = counter->SerialNumber;
  CCertificate authority(CertGetSubjectCertificateFromStore(carried, kEncoding, &id));
  if (!authority || !SignsAttributes(value, *counter.Get(), authority.Get()) ||
      !HasMessageDigest(counter->AuthAttrs, DigestAlgorithmOf(counter->HashAlgorithm.pszObjId),
                        signer.EncryptedHash.pbData, signer.EncryptedHash.cbData) ||
      !ReadSigningTime(counter->AuthAttrs, time))
    return false;
  return IsChainTrusted(authority.Get(), carried, &time, kTimeStampingUsage, chain);
}

}  // namespace

bool FindTrustedSigningTime(const CMSG_SIGNER_INFO& signer, HCERTSTORE carried, FILETIME& time,
                            CCertChain& authorityChain) {
  for (DWORD i = 0; i < signer.UnauthAttrs.cAttr; ++i) {
    const CRYPT_ATTRIBUTE& attribute = signer.UnauthAttrs.rgAttr[i];
    if (attribute.cValue != 1) continue;
    if (std::strcmp(attribute.pszObjId, kTimeStampTokenOid) == 0 &&
        VerifyToken(attribute.rgValue[0], signer, carried, time, authorityChain))
      return true;
    if (std::strcmp(attribute.pszObjId, kCountersignatureOid) == 0 &&
        VerifyCountersignature(attribute.rgValue[0], signer, carried, time, authorityChain))
      return true;
  }
  authorityChain.Reset();
  return false;
}
