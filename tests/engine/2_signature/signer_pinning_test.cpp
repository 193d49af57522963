// Publisher pinning. This program is built twice from the engine's own
// signature check: once as a build that pins no publisher, once with
// OV_TRUSTED_SIGNERS listing a retired thumbprint and the pinned CA's, as
// during a key rotation. The test CA is a second CA that the prefix trusts
// as well.
#include <gtest/gtest.h>

#include "cabinet_test_support.h"
#include "trusted_signers.h"

namespace {

#ifdef OV_TRUSTED_SIGNERS
const bool kPinnedBuild = true;
#else
const bool kPinnedBuild = false;
#endif

bool Passes(const char* package) { return PassesOwnSignatureCheck(PackageFile(package)); }

}  // namespace

TEST(SignerPinning, OnlyThePinnedPublishersPackagesPassWhenOneIsPinned) {
  ASSERT_EQ(AreSignersPinned(), kPinnedBuild);
  // Signed under the pinned CA: passes either way.
  EXPECT_TRUE(Passes("signer/pinned.cab"));
  // Signed under the second trusted CA: refused only where pins are set.
  EXPECT_EQ(Passes("cabinet/signed.cab"), !kPinnedBuild);
  // A signer that chains to no trusted root is refused pinned or not.
  EXPECT_FALSE(Passes("cabinet/untrusted.cab"));
  // Pinning never makes an altered package pass.
  EXPECT_FALSE(Passes("cabinet/altered.cab"));
}
