// The engine's own judgement of a certificate's chain, made the same way
// for a package's signer and for the time-stamping authority that dated its
// signature, so that whom the engine trusts never rests on the platform's
// verdict alone.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "crypt_owners.h"

// Extended key usages that a leaf must allow.
extern const char kCodeSigningUsage[];
extern const char kTimeStampingUsage[];

// True when the chain that the platform builds for certificate, with the
// certificates of extra (may be null) to help it, at time (null: now)
//  - ends in a root that this machine trusts, every certificate valid at
//    that time and no error in the chain's status;
//  - passes the platform's Authenticode chain policy (code signing) or its
//    base policy (time stamping);
//  - has a leaf that allows usage (no usage list allows every use) and, if
//    it lists key usages, digital signatures;
//  - has no link signed with MD5 or MD2.
// chain receives the chain, also when it is refused.
bool IsChainTrusted(PCCERT_CONTEXT certificate, HCERTSTORE extra, const FILETIME* time,
                    const char* usage, CCertChain& chain);
