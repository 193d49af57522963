// Publisher pinning and required revocation. This program is built three
// times from the engine's own signature check: as a build that pins no
// publisher, with OV_TRUSTED_SIGNERS listing a retired thumbprint and the
// pinned CA's, as during a key rotation, and with OV_REQUIRE_REVOCATION.
// The test CA is a second CA that the prefix trusts as well.
#include <gtest/gtest.h>

#include "cabinet_test_support.h"
#include "crypt_revocation.h"
#include "trusted_signers.h"

namespace {

#ifdef OV_TRUSTED_SIGNERS
const bool kPinnedBuild = true;
#else
const bool kPinnedBuild = false;
#endif
#ifdef OV_REQUIRE_REVOCATION
const bool kRequiredBuild = true;
#else
const bool kRequiredBuild = false;
#endif

bool Passes(const char* package) { return PassesOwnSignatureCheck(PackageFile(package)); }

}  // namespace

TEST(SignerPinning, OnlyThePinnedPublishersPackagesPassWhenOneIsPinned) {
  ASSERT_EQ(AreSignersPinned(), kPinnedBuild);
  // The pinned CA names no distribution point: that build refuses them all.
  if (kRequiredBuild) GTEST_SKIP();
  // Signed under the pinned CA: passes either way.
  EXPECT_TRUE(Passes("signer/pinned.cab"));
  // Signed under the second trusted CA: refused only where pins are set.
  EXPECT_EQ(Passes("cabinet/signed.cab"), !kPinnedBuild);
  // A signer that chains to no trusted root is refused pinned or not.
  EXPECT_FALSE(Passes("cabinet/untrusted.cab"));
  // Pinning never makes an altered package pass.
  EXPECT_FALSE(Passes("cabinet/altered.cab"));
}

// What the status of the signer's (and its time-stamping authority's)
// certificate makes of a package: revoked is refused by every build;
// unknown (no distribution point, a point that answers 404, a list that
// its issuer did not sign) only by a build that requires revocation.
TEST(SignerRevocation, UnknownStatusRefusesOnlyWhereRevocationIsRequired) {
  ASSERT_EQ(IsRevocationRequired(), kRequiredBuild);
  const struct {
    const char* package;
    bool known;
    bool revoked;
  } cases[] = {
      {"cabinet/signed.cab", false, false},
      {"cabinet/crl_offline.cab", false, false},
      {"cabinet/crl_forged.cab", false, false},
      {"cabinet/crl_unrevoked.cab", true, false},
      {"cabinet/crl_revoked.cab", true, true},
      {"cabinet/crl_revoked_tsa.cab", true, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Passes(c.package), !kPinnedBuild && !c.revoked && (c.known || !kRequiredBuild))
        << c.package;
}
