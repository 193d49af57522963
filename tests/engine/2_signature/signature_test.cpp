// The package signature checks against real signed, unsigned and damaged
// packages: this platform's WinVerifyTrust, and the engine's own check.
#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <gtest/gtest.h>

#include "cabinet_test_support.h"
#include "local_file.h"
#include "platform_verdict.h"
#include "own_check.h"

namespace {

// WinVerifyTrust's status for a package, read through a handle the way the
// job holds it (by path alone when the file cannot be opened).
int32_t StatusOf(const std::string& relative) {
  const std::string path = PackageFile(relative);
  CLocalFile file;
  file.Open(path.c_str(), CLocalFile::ExistingForRead, FILE_ATTRIBUTE_NORMAL);
  int32_t status = 12345;
  EXPECT_TRUE(VerifyPackageSignature(path.c_str(), file.Handle(), status)) << relative;
  return status;
}

}  // namespace

// Only a check that was made and answered 0 lets a package through: the
// platform reports failures of its own steps with positive codes.
TEST(PackageSignature, OnlyACleanVerdictPasses) {
  const struct {
    bool checked;
    int32_t status;
    ResultCode verdict;
  } cases[] = {
      {true, 0, SUCCESS},
      {true, ERROR_SHARING_VIOLATION, DLL_INVALID_SIGNCODE},
      {true, ERROR_OUTOFMEMORY, DLL_INVALID_SIGNCODE},
      {true, static_cast<int32_t>(TRUST_E_NOSIGNATURE), DLL_INVALID_SIGNCODE},
      {true, static_cast<int32_t>(CERT_E_EXPIRED), DLL_INVALID_SIGNCODE},
      {false, 0, DLL_INVALID_SIGNCODE},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SignatureVerdict(c.checked, c.status), c.verdict) << c.checked << " " << c.status;
}

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
// positive status, which the job's verdict refuses as it refuses any but 0.
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
  EXPECT_FALSE(VerifyPackageSignature(nullptr, INVALID_HANDLE_VALUE, status));
  EXPECT_EQ(status, 12345);
}

// The engine's own check judges the signature's integrity and, unlike this
// platform's WinVerifyTrust, the signer's chain: its root must be trusted,
// its leaf must allow code signing, and each certificate must be valid when
// the package was signed, as a trusted time stamp tells, or else now.
TEST(PackageSigner, OnlyIntactSignaturesOfTrustedSignersPass) {
  const struct {
    const char* package;
    bool passes;
  } cases[] = {
      {"cabinet/signed.cab", true},
      {"cabinet/times.cab", true},          // written by our own cabinet writer
      {"cabinet/hostile_parent.cab", true},
      {"signer/pinned.cab", true},
      {"cabinet/stamped.cab", true},        // time-stamped now by the loopback authority
      // Expired, but time-stamped while its certificate was valid.
      {"cabinet/expired_stamped.cab", true},
      {"cabinet/expired_countersigned.cab", true},  // an Authenticode countersignature
      {"cabinet/expired.cab", false},              // no time stamp: judged now
      // Stamped inside its validity by an authority under an untrusted
      // root: judged now.
      {"cabinet/expired_stamped_untrusted_tsa.cab", false},
      // Stamped after the certificate expired.
      {"cabinet/expired_stamped_late.cab", false},
      {"cabinet/expired_countersigned_late.cab", false},
      {"cabinet/untrusted.cab", false},
      {"cabinet/selfsigned.cab", false},
      {"cabinet/web.cab", false},           // a web server's certificate: no code signing
      {"cabinet/md5.cab", false},           // the CA signed the signer's certificate with MD5
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
    EXPECT_EQ(PassesOwnSignatureCheck(PackageFile(c.package)), c.passes) << c.package;
  EXPECT_FALSE(VerifySignedPackage(INVALID_HANDLE_VALUE));
}
