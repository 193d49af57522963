// The publishers that this build pins: the build setting OV_TRUSTED_SIGNERS,
// SHA-256 thumbprints of certificates. A package is accepted only when its
// signer's chain holds one of them; a build without any accepts every
// signer that the platform trusts.
#pragma once

#include <string>

bool AreSignersPinned();

// thumbprint: upper-case hexadecimal, as Sha256Hex writes it.
bool IsPinnedSigner(const std::string& thumbprint);
