#include "package_signer.h"

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstring>
#include <vector>

#include "authenticode_digest.h"
#include "crypt_hash.h"
#include "crypt_owners.h"
#include "trusted_signers.h"

namespace {

const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// SpcIndirectDataContent's data type for a cabinet.
const char kCabinetDataOid[] = "1.3.6.1.4.1.311.2.1.25";

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

bool Digest(ALG_ID algorithm, const BYTE* data, size_t size, std::vector<BYTE>& digest) {
  CCryptHash hash;
  return hash.Start(algorithm) && hash.Add(data, size) && hash.Finish(digest);
}

bool SameBytes(const std::vector<BYTE>& a, const BYTE* b, DWORD size) {
  return a.size() == size && std::memcmp(a.data(), b, size) == 0;
}

// The signer's messageDigest attribute must be the digest of the content
// octets of the indirect data: Authenticode leaves out the SEQUENCE's own
// tag and length.
bool SignsContent(const CMSG_SIGNER_INFO& signer, const std::vector<BYTE>& content) {
  const ALG_ID algorithm = DigestAlgorithmOf(signer.HashAlgorithm.pszObjId);
  if (algorithm == 0 || content.size() < 2 || content[0] != 0x30) return false;
  size_t header = 2;
  if (content[1] & 0x80) header += content[1] & 0x7F;
  if (header >= content.size()) return false;
  std::vector<BYTE> digest;
  if (!Digest(algorithm, content.data() + header, content.size() - header, digest)) return false;

  for (DWORD i = 0; i < signer.AuthAttrs.cAttr; ++i) {
    const CRYPT_ATTRIBUTE& attribute = signer.AuthAttrs.rgAttr[i];
    if (std::strcmp(attribute.pszObjId, szOID_PKCS_9_MESSAGE_DIGEST) != 0) continue;
    if (attribute.cValue != 1) return false;
    CDecoded<CRYPT_DATA_BLOB> value;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_OCTET_STRING, attribute.rgValue[0].pbData,
                             attribute.rgValue[0].cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr,
                             value.Receive(), &size))
      return false;
    return SameBytes(digest, value->pbData, value->cbData);
  }
  return false;
}

// The chain from the signer up to its root, as the platform builds it with
// the certificates that the SignedData carries, holds a pinned certificate
// that every link below it leads to by a verified signature.
bool ChainsToPinnedSigner(PCCERT_CONTEXT signer, HCERTSTORE carried) {
  CERT_CHAIN_PARA para = {};
  para.cbSize = sizeof(para);
  CCertChain chain;
  if (!CertGetCertificateChain(nullptr, signer, nullptr, carried, &para, 0, nullptr,
                               chain.Receive()) ||
      chain->cChain == 0)
    return false;
  const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
  for (DWORD i = 0; i < simple->cElement; ++i) {
    PCCERT_CONTEXT certificate = simple->rgpElement[i]->pCertContext;
    if (i > 0 &&
        !CryptVerifyCertificateSignatureEx(
            0, X509_ASN_ENCODING, CRYPT_VERIFY_CERT_SIGN_SUBJECT_CERT,
            const_cast<CERT_CONTEXT*>(simple->rgpElement[i - 1]->pCertContext),
            CRYPT_VERIFY_CERT_SIGN_ISSUER_CERT, const_cast<CERT_CONTEXT*>(certificate), 0,
            nullptr))
      return false;
    if (IsPinnedSigner(Sha256Hex(certificate->pbCertEncoded, certificate->cbCertEncoded)))
      return true;
  }
  return false;
}

}  // namespace

bool VerifySignedPackage(const char* packagePath) {
  CSignedCabinet cabinet;
  std::vector<BYTE> signedData;
  if (!cabinet.Open(packagePath) || !cabinet.ReadSignedData(signedData)) return false;

  // The AES provider verifies SHA-2 signatures on every platform version.
  CCryptProvider provider;
  if (!CryptAcquireContextA(provider.Receive(), nullptr, nullptr, PROV_RSA_AES,
                            CRYPT_VERIFYCONTEXT))
    return false;
  CCryptMessage message(CryptMsgOpenToDecode(kEncoding, 0, 0, provider.Get(), nullptr, nullptr));
  if (!message || !CryptMsgUpdate(message.Get(), signedData.data(),
                                  static_cast<DWORD>(signedData.size()), TRUE))
    return false;
  DWORD type = 0;
  DWORD signers = 0;
  std::vector<BYTE> contentType, content, signerInfo, signerId;
  if (!MessageDword(message.Get(), CMSG_TYPE_PARAM, type) || type != CMSG_SIGNED) return false;
  if (!MessageDword(message.Get(), CMSG_SIGNER_COUNT_PARAM, signers) || signers != 1) return false;
  if (!MessageParam(message.Get(), CMSG_INNER_CONTENT_TYPE_PARAM, contentType) ||
      std::strcmp(reinterpret_cast<const char*>(contentType.data()), SPC_INDIRECT_DATA_OBJID) != 0)
    return false;
  if (!MessageParam(message.Get(), CMSG_CONTENT_PARAM, content) ||
      !MessageParam(message.Get(), CMSG_SIGNER_INFO_PARAM, signerInfo) ||
      !MessageParam(message.Get(), CMSG_SIGNER_CERT_INFO_PARAM, signerId))
    return false;

  // The signer: its certificate from the SignedData, its signature over the
  // signed attributes, and those attributes' digest of the indirect data.
  CCertStore carried(CertOpenStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, message.Get()));
  if (!carried) return false;
  CCertificate signer(CertGetSubjectCertificateFromStore(
      carried.Get(), kEncoding, reinterpret_cast<PCERT_INFO>(signerId.data())));
  if (!signer ||
      !CryptMsgControl(message.Get(), 0, CMSG_CTRL_VERIFY_SIGNATURE, signer->pCertInfo) ||
      !SignsContent(*reinterpret_cast<const CMSG_SIGNER_INFO*>(signerInfo.data()), content))
    return false;

  // The indirect data names the cabinet's digest and its algorithm.
  CDecoded<SPC_INDIRECT_DATA_CONTENT> indirect;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, SPC_INDIRECT_DATA_CONTENT_STRUCT, content.data(),
                           static_cast<DWORD>(content.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr,
                           indirect.Receive(), &size))
    return false;
  if (indirect->Data.pszObjId == nullptr ||
      std::strcmp(indirect->Data.pszObjId, kCabinetDataOid) != 0)
    return false;
  const ALG_ID algorithm = DigestAlgorithmOf(indirect->DigestAlgorithm.pszObjId);
  std::vector<BYTE> digest;
  if (algorithm == 0 || !cabinet.ComputeDigest(algorithm, digest) ||
      !SameBytes(digest, indirect->Digest.pbData, indirect->Digest.cbData))
    return false;

  return !AreSignersPinned() || ChainsToPinnedSigner(signer.Get(), carried.Get());
}
