#include "crypt_chain.h"

#include <cstring>
#include <vector>

const char kCodeSigningUsage[] = "1.3.6.1.5.5.7.3.3";
const char kTimeStampingUsage[] = "1.3.6.1.5.5.7.3.8";

namespace {

// Link signatures whose digests can be made to collide.
bool IsWeakSignatureAlgorithm(const char* oid) {
  static const char* const kWeak[] = {
      "1.2.840.113549.1.1.2",  // md2RSA
      "1.2.840.113549.1.1.3",  // md4RSA
      "1.2.840.113549.1.1.4",  // md5RSA
      "1.3.14.3.2.3",          // md5RSA (OIW)
  };
  if (oid == nullptr) return true;
  for (const char* weak : kWeak)
    if (std::strcmp(oid, weak) == 0) return true;
  return false;
}

bool LeafAllows(PCCERT_CONTEXT leaf, const char* usage) {
  DWORD size = 0;
  if (!CertGetEnhancedKeyUsage(leaf, 0, nullptr, &size)) {
    // No usage list at all: the certificate serves every use.
    return GetLastError() == static_cast<DWORD>(CRYPT_E_NOT_FOUND);
  }
  std::vector<BYTE> buffer(size);
  auto* usages = reinterpret_cast<CERT_ENHKEY_USAGE*>(buffer.data());
  if (!CertGetEnhancedKeyUsage(leaf, 0, usages, &size)) return false;
  if (usages->cUsageIdentifier == 0) return GetLastError() == static_cast<DWORD>(CRYPT_E_NOT_FOUND);
  bool allowed = false;
  for (DWORD i = 0; i < usages->cUsageIdentifier; ++i)
    if (std::strcmp(usages->rgpszUsageIdentifier[i], usage) == 0) allowed = true;
  if (!allowed) return false;

  BYTE keyUsage = 0;
  if (CertGetIntendedKeyUsage(X509_ASN_ENCODING, leaf->pCertInfo, &keyUsage, 1))
    return (keyUsage & CERT_DIGITAL_SIGNATURE_KEY_USAGE) != 0;
  return true;  // no key usage extension: no restriction
}

}  // namespace

bool IsChainTrusted(PCCERT_CONTEXT certificate, HCERTSTORE extra, const FILETIME* time,
                    const char* usage, CCertChain& chain) {
  chain.Reset();
  CERT_CHAIN_PARA para = {};
  para.cbSize = sizeof(para);
  LPSTR usages[] = {const_cast<LPSTR>(usage)};
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  FILETIME at = {};
  if (time != nullptr) at = *time;
  if (!CertGetCertificateChain(nullptr, certificate, time != nullptr ? &at : nullptr, extra, &para,
                               0, nullptr, chain.Receive()) ||
      chain->cChain == 0)
    return false;
  // Revocation is not asked for, so its status is unknown by design.
  const DWORD kIgnored = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
  if ((chain->TrustStatus.dwErrorStatus & ~kIgnored) != 0) return false;

  CERT_CHAIN_POLICY_PARA policy = {};
  policy.cbSize = sizeof(policy);
  CERT_CHAIN_POLICY_STATUS status = {};
  status.cbSize = sizeof(status);
  const LPCSTR policyOid =
      std::strcmp(usage, kCodeSigningUsage) == 0 ? CERT_CHAIN_POLICY_AUTHENTICODE : CERT_CHAIN_POLICY_BASE;
  if (!CertVerifyCertificateChainPolicy(policyOid, chain.Get(), &policy, &status) ||
      status.dwError != 0)
    return false;

  const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
  if (simple->cElement == 0 || !LeafAllows(simple->rgpElement[0]->pCertContext, usage)) return false;
  // Every link below the root; the root is trusted for being one.
  for (DWORD i = 0; i + 1 < simple->cElement; ++i)
    if (IsWeakSignatureAlgorithm(
            simple->rgpElement[i]->pCertContext->pCertInfo->SignatureAlgorithm.pszObjId))
      return false;
  return true;
}
