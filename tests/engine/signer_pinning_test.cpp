// Publisher pinning. This program is built twice from the engine's own
// signature check: once as the default build (no publisher pinned), once
// with OV_TRUSTED_SIGNERS listing a retired thumbprint and the pinned CA's,
// as during a key rotation. The test CA is a second CA that the prefix
// trusts as well.
#include <gtest/gtest.h>

#include "cabinet_test_support.h"
#include "package_signer.h"
#include "trusted_signers.h"

namespace {

#ifdef OV_TRUSTED_SIGNERS
const bool kPinnedBuild = true;
#else
const bool kPinnedBuild = false;
#endif

bool Passes(const char* package) { return VerifySignedPackage(PackageFile(package).c_str()); }

}  // namespace

TEST(SignerPinning, OnlyThePinnedPublishersPackagesPassWhenOneIsPinned) {
  ASSERT_EQ(AreSignersPinned(), kPinnedBuild);
  // Signed under the pinned CA: passes either way.
  EXPECT_TRUE(Passes("signer/pinned.cab"));
  // Signed under the second trusted CA: refused only where pins are set.
  EXPECT_EQ(Passes("cabinet/signed.cab"), !kPinnedBuild);
  EXPECT_EQ(Passes("cabinet/untrusted.cab"), !kPinnedBuild);
  // Pinning never makes an altered package pass.
  EXPECT_FALSE(Passes("cabinet/altered.cab"));
}
