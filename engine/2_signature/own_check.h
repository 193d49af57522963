// The engine's own check of a package's Authenticode signature, made after
// the platform's verdict and before any cabinet reader opens the file, so
// that the one check which keeps strangers' code off the machine does not
// rest on one platform function alone.
#pragma once

#include <windows.h>

#include "result_code.h"

class CCabinetDigestStream;

// SUCCESS when the package that file (an open handle with read access)
// holds is a signed cabinet (CSignedCabinet) whose SignedData
//  - has exactly one signer, whose signature over its signed attributes
//    verifies with the certificate that the SignedData carries for it;
//  - signs, through the messageDigest attribute, Authenticode indirect data
//    for a cabinet whose digest (SHA-1 or SHA-2, as the data names it)
//    equals the digest of the file (streamed: the SHA-256 digest made while
//    the file was written, may be null);
//  - has a signer whose chain this machine trusts for code signing
//    (IsChainTrusted) at the time a trusted time stamp names
//    (FindTrustedSigningTime: an RFC 3161 token or an Authenticode
//    countersignature), or now when there is none;
//  - when this build pins publishers, chains from the signer up to one of
//    them, every link's signature verified;
//  - and whose signer and time-stamping authority no certificate below
//    their roots has been revoked (CheckRevocation), or whose revocation
//    status is unknown and the build does not require it.
// DLL_USERCANCEL when cancelEvent (may be null) is set while revocation
// lists are being fetched; DLL_INVALID_SIGNCODE for everything else,
// including a file that cannot be read.
ResultCode VerifySignedPackage(HANDLE file, CCabinetDigestStream* streamed = nullptr,
                               HANDLE cancelEvent = nullptr);
