// The time at which a package was signed, as a time-stamping authority
// vouches for it: an RFC 3161 token or an Authenticode countersignature
// that the signer's unsigned attributes carry. A signature checked at that
// time keeps verifying after its certificate has expired, as Windows lets
// it.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "crypt_owners.h"

// True, with time, when signer carries a time stamp that
//  - as an RFC 3161 token, is a SignedData of one signer over time-stamp
//    data, its signature and messageDigest attribute verified with its own
//    certificate, whose imprint is the digest of signer's signature value;
//  - as a countersignature, has a signature over its attributes that
//    verifies with its authority's key, and attributes that hold the digest
//    of signer's signature value and a signing time;
//  - either way (SHA-1 or SHA-2) is signed by a certificate whose chain the
//    platform trusts for time stamping at the time stamped (IsChainTrusted).
// carried: the package's certificates, which may hold the authority's.
// authorityChain receives the authority's chain, for its revocation check.
// False for no time stamp and for one that fails any of these; the chain
// is then empty.
bool FindTrustedSigningTime(const CMSG_SIGNER_INFO& signer, HCERTSTORE carried, FILETIME& time,
                            CCertChain& authorityChain);
