#include "own_check.h"

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstring>
#include <vector>

#include "authenticode_digest.h"
#include "crypt_chain.h"
#include "crypt_hash.h"
#include "crypt_message.h"
#include "crypt_owners.h"
#include "crypt_revocation.h"
#include "crypt_time_stamp.h"
#include "trusted_signers.h"

namespace {

const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// SpcIndirectDataContent's data type for a cabinet.
const char kCabinetDataOid[] = "1.3.6.1.4.1.311.2.1.25";

bool SameBytes(const std::vector<BYTE>& a, const BYTE* b, DWORD size) {
  return a.size() == size && std::memcmp(a.data(), b, size) == 0;
}

// The signer's messageDigest attribute must be the digest of the content
// octets of the indirect data: Authenticode leaves out the SEQUENCE's own
// tag and length.
bool SignsContent(const CMSG_SIGNER_INFO& signer, const std::vector<BYTE>& content) {
  if (content.size() < 2 || content[0] != 0x30) return false;
  size_t header = 2;
  if (content[1] & 0x80) header += content[1] & 0x7F;
  if (header >= content.size()) return false;
  return HasMessageDigest(signer.AuthAttrs, DigestAlgorithmOf(signer.HashAlgorithm.pszObjId),
                          content.data() + header, content.size() - header);
}

// The chain holds a pinned certificate that every link below it leads to
// by a verified signature.
bool ChainsToPinnedSigner(PCCERT_CHAIN_CONTEXT chain) {
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

// Whether the signer or the package's time-stamping authority has been
// withdrawn. Revoked is refused whatever the time stamp says: a revocation
// list tells when a key was reported lost, not since when it was lost.
ResultCode RevocationVerdict(const CCertChain& signerChain, const CCertChain& authorityChain,
                             HANDLE cancelEvent) {
  const PCCERT_CHAIN_CONTEXT chains[] = {signerChain.Get(), authorityChain.Get()};
  switch (CheckRevocation(chains, 2, cancelEvent)) {
    case kNotRevoked:
      return SUCCESS;
    case kRevocationUnknown:
      return IsRevocationRequired() ? DLL_INVALID_SIGNCODE : SUCCESS;
    case kRevocationCancelled:
      return DLL_USERCANCEL;
    case kRevoked:
      break;
  }
  return DLL_INVALID_SIGNCODE;
}

// Every check of VerifySignedPackage but revocation; chain and
// authorityChain receive the signer's chain and the time-stamping
// authority's (empty without a trusted time stamp).
bool IsSignatureTrusted(HANDLE file, CCabinetDigestStream* streamed, CCertChain& chain,
                        CCertChain& authorityChain) {
  CSignedCabinet cabinet;
  std::vector<BYTE> signedData;
  if (!cabinet.Open(file) || !cabinet.ReadSignedData(signedData)) return false;

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
  const auto& signerFields = *reinterpret_cast<const CMSG_SIGNER_INFO*>(signerInfo.data());
  if (!signer ||
      !CryptMsgControl(message.Get(), 0, CMSG_CTRL_VERIFY_SIGNATURE, signer->pCertInfo) ||
      !SignsContent(signerFields, content))
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
  if (algorithm == 0 || !cabinet.ComputeDigest(algorithm, streamed, digest) ||
      !SameBytes(digest, indirect->Digest.pbData, indirect->Digest.cbData))
    return false;

  // The signer is judged when it signed, as a trusted time stamp tells;
  // without one, now: a certificate that has expired since no longer does.
  FILETIME signingTime = {};
  const bool timeStamped =
      FindTrustedSigningTime(signerFields, carried.Get(), signingTime, authorityChain);
  if (!IsChainTrusted(signer.Get(), carried.Get(), timeStamped ? &signingTime : nullptr,
                      kCodeSigningUsage, chain))
    return false;
  return !AreSignersPinned() || ChainsToPinnedSigner(chain.Get());
}

}  // namespace

ResultCode VerifySignedPackage(HANDLE file, CCabinetDigestStream* streamed, HANDLE cancelEvent) {
  CCertChain chain, authorityChain;
  if (!IsSignatureTrusted(file, streamed, chain, authorityChain)) return DLL_INVALID_SIGNCODE;
  // Last, since it may wait on the network: only a signature that holds
  // otherwise is worth a fetch.
  return RevocationVerdict(chain, authorityChain, cancelEvent);
}
