// The time at which a package was signed, as a time-stamping authority
// vouches for it: an RFC 3161 token that the signer's unsigned attributes
// carry. A signature checked at that time keeps verifying after its
// certificate has expired, as Windows lets it.
#pragma once

#include <windows.h>
#include <wincrypt.h>


// True, with time, when signer carries a time stamp whose token
//  - is a SignedData of one signer over time-stamp data, its signature and
//    its messageDigest attribute verified with its own certificate;
//  - stamps the digest of signer's signature value (SHA-1 or SHA-2);
//  - is signed by a certificate whose chain the platform trusts at the
//    time stamped, for time stamping (IsChainTrusted).
// carried: the package's certificates, which may hold the authority's.
// False for no time stamp and for one that fails any of these.
bool FindTrustedSigningTime(const CMSG_SIGNER_INFO& signer, HCERTSTORE carried, FILETIME& time);
