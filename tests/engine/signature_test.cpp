// The package signature checks against real signed, unsigned and damaged
// packages: this platform's WinVerifyTrust, and the engine's own check.
#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <gtest/gtest.h>

#include "cabinet_test_support.h"
#include "package_signature.h"
#include "package_signer.h"

namespace {

int32_t StatusOf(const std::string& relative) {
  int32_t status = 12345;
  EXPECT_TRUE(VerifyPackageSignature(PackageFile(relative).c_str(), status)) << relative;
  return status;
}

}  // namespace

// The test CA must be a trusted root of the prefix for the signed packages
// to mean anything; the package fixture imports it into the registry.
TEST(PackageSignature, TestCaIsTrustedRootOfThePrefix) {
  HCERTSTORE root = CertOpenSystemStoreA(0, "ROOT");
  ASSERT_NE(root, nullptr);
  PCCERT_CONTEXT cert = CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_A,
                                                   "Ovelin Test Root ca", nullptr);
  EXPECT_NE(cert, nullptr);
  if (cert != nullptr) CertFreeCertificateContext(cert);
  CertCloseStore(root, 0);
}

TEST(PackageSignature, SignedPackagesPass) {
  EXPECT_EQ(StatusOf("cabinet/signed.cab"), 0);
  EXPECT_EQ(StatusOf("cabinet/times.cab"), 0);
  // A signed program is signed all the same; the cabinet reader refuses it.
  EXPECT_EQ(StatusOf("cabinet/program.cab"), 0);
}

TEST(PackageSignature, UnsignedAndForeignFilesFailWithTheirVerdict) {
  EXPECT_EQ(StatusOf("cabinet/unsigned.cab"), static_cast<int32_t>(TRUST_E_NOSIGNATURE));
  EXPECT_EQ(StatusOf("cabinet/notcab.bin"), static_cast<int32_t>(TRUST_E_SUBJECT_FORM_UNKNOWN));
}

// This platform answers a missing file with ERROR_FILE_NOT_FOUND (2), a
// positive status that the job's rule lets pass; the cabinet reader then
// refuses the file. What matters here is that it is never 0.
TEST(PackageSignature, MissingFileIsNeverTrusted) {
  EXPECT_NE(StatusOf("cabinet/missing.cab"), 0);
}

// Windows refuses these; this platform's WinVerifyTrust does not check the
// digest of a cabinet, the signer's chain or its validity period, and
// passes them. Either verdict is the platform's to make.
TEST(PackageSignature, PlatformJudgesAlteredUntrustedAndExpiredSignatures) {
  const struct {
    const char* package;
    HRESULT windowsVerdict;
  } cases[] = {
      {"cabinet/altered.cab", TRUST_E_BAD_DIGEST},
      {"cabinet/untrusted.cab", CERT_E_UNTRUSTEDROOT},
      {"cabinet/expired.cab", CERT_E_EXPIRED},
  };
  for (const auto& c : cases) {
    const int32_t status = StatusOf(c.package);
    EXPECT_TRUE(status == 0 || status == static_cast<int32_t>(c.windowsVerdict))
        << c.package << ": 0x" << std::hex << status;
  }
}

TEST(PackageSignature, NoPathMeansNoCheck) {
  int32_t status = 12345;
  EXPECT_FALSE(VerifyPackageSignature(nullptr, status));
  EXPECT_EQ(status, 12345);
}

// The engine's own check judges the signature's integrity, not the chain's
// trust (the platform's part): a signer of an untrusted or expired
// certificate passes it, every altered or foreign file fails it.
TEST(PackageSigner, OnlyIntactSignedCabinetsPass) {
  const struct {
    const char* package;
    bool intact;
  } cases[] = {
      {"cabinet/signed.cab", true},
      {"cabinet/times.cab", true},          // written by our own cabinet writer
      {"cabinet/hostile_parent.cab", true},
      {"cabinet/untrusted.cab", true},
      {"cabinet/expired.cab", true},
      {"signer/pinned.cab", true},
      {"cabinet/altered.cab", false},
      {"cabinet/altered/header.cab", false},
      {"cabinet/altered/signature.cab", false},
      {"cabinet/altered/truncated.cab", false},
      {"cabinet/unsigned.cab", false},
      {"cabinet/program.cab", false},
      {"cabinet/notcab.bin", false},
      {"cabinet/missing.cab", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(VerifySignedPackage(PackageFile(c.package).c_str()), c.intact) << c.package;
  EXPECT_FALSE(VerifySignedPackage(nullptr));
}
