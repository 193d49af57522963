// The package signature checks against real signed, unsigned and damaged
// packages: this platform's WinVerifyTrust, and the engine's own check.
#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <gtest/gtest.h>

#include "1_download/download_test_support.h"
#include "cabinet_test_support.h"
#include "install_job.h"
#include "local_file.h"
#include "test_thread.h"
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
      // Revocation, by the list that the signer's (or the time-stamping
      // authority's) distribution point serves. Checked twice in a row:
      // the second answer comes from the platform's cache of the list.
      {"cabinet/crl_unrevoked.cab", true},
      {"cabinet/crl_revoked.cab", false},
      {"cabinet/crl_revoked_tsa.cab", false},
      {"cabinet/crl_revoked_stamped.cab", false},  // stamped by a sound authority: still refused
      // Unknown status installs in this build (see signer_required_tests).
      {"cabinet/crl_offline.cab", true},            // the point answers 404
      {"cabinet/crl_forged.cab", true},             // a list the CA did not sign
  };
  for (int round = 0; round < 2; ++round)
    for (const auto& c : cases)
      EXPECT_EQ(PassesOwnSignatureCheck(PackageFile(c.package)), c.passes) << c.package;
  EXPECT_EQ(VerifySignedPackage(INVALID_HANDLE_VALUE), DLL_INVALID_SIGNCODE);
}

namespace {

const char kStalledList[] = "stall/1/status/ca/ca.crl";

// Waits until the server's log shows count requests of url, woken by each
// write to the log's folder.
void WaitForRequests(const std::string& url, int count) {
  std::string folder = WinePathOfHostPath(std::getenv("OV_PKG_LOG"));
  folder.erase(folder.find_last_of('\\'));
  HANDLE change = FindFirstChangeNotificationA(folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_SIZE |
                                                                          FILE_NOTIFY_CHANGE_LAST_WRITE);
  while (CountRequests(url) < count) {
    // A second's bound, in case a change goes unnoticed.
    if (change != INVALID_HANDLE_VALUE && WaitForSingleObject(change, 1000) == WAIT_OBJECT_0)
      FindNextChangeNotification(change);
  }
  if (change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change);
}

}  // namespace

// A distribution point that never answers: the player's cancel ends the
// signature stage at once with 5004; without a cancel the fetch's time-out
// ends it, and the unknown status lets the package through.
TEST(PackageRevocation, CancelEndsAStalledListFetch) {
  for (const bool cancels : {true, false}) {
    CScratchFolder work("ovsig-cancel");
    HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CInstallJob job(work.Path().c_str(), nullptr, cancel);
    std::string packagePath;
    int32_t timeStamp = 0;
    ASSERT_EQ(job.Download(ServerUrl("pkgs/cabinet/crl_stalled.cab").c_str(), packagePath, timeStamp),
              SUCCESS);
    const int before = CountRequests(kStalledList);
    ULONGLONG cancelledAt = 0;
    TestThread player([&] {
      if (!cancels) return;
      WaitForRequests(kStalledList, before + 1);
      cancelledAt = GetTickCount64();
      SetEvent(cancel);
    });
    const ULONGLONG start = GetTickCount64();
    const ResultCode result = job.VerifySignature();
    const ULONGLONG end = GetTickCount64();
    player.Join();
    std::printf("stalled list, %s: %d after %.2f s\n", cancels ? "cancelled" : "not cancelled",
                static_cast<int>(result), (end - (cancels ? cancelledAt : start)) / 1000.0);
    if (cancels) {
      EXPECT_EQ(result, DLL_USERCANCEL);
      EXPECT_LT(end - cancelledAt, 2000u);
    } else {
      EXPECT_EQ(result, SUCCESS);
      EXPECT_LT(end - start, 15000u);
    }
    CloseHandle(cancel);
  }
}
