// Whether a certificate of a trusted chain has been withdrawn: the
// revocation lists (CRLs) that its certificates name as distribution
// points, fetched through the platform's own retrieval (cryptnet.dll, which
// honours the proxy settings and caches a list until its next update) and
// judged here.
//
// The judging is the engine's, not CertVerifyRevocation's: this platform's
// takes a list without checking who signed it, and caches a certificate it
// found revoked as "not revoked" from then on. The retrieval runs on a
// thread of its own that the job can abandon when the player cancels, as
// the download does (CDownloadThread); each fetch is bounded by a time-out.
#pragma once

#include <windows.h>
#include <wincrypt.h>

enum RevocationStatus {
  kNotRevoked,          // every certificate checked against a list its issuer signed
  kRevocationUnknown,   // some list could not be had or trusted, none names a certificate
  kRevoked,             // a list signed by its issuer names a certificate
  kRevocationCancelled  // cancelEvent was set before the answer came
};

// The revocation status of every certificate below the root of the count
// chains (null entries are skipped), each judged by a list of its issuer's
// that names it or not: one signed by the issuer's key, issued under its
// name, and current (this update passed, next update not yet). A
// certificate that names no http distribution point, or whose lists cannot
// be fetched in time or fail those tests, is unknown. Any revoked
// certificate makes the whole revoked. Returns kRevocationCancelled as soon
// as cancelEvent (may be null) is set while the lists are being fetched.
RevocationStatus CheckRevocation(const PCCERT_CHAIN_CONTEXT* chains, size_t count, HANDLE cancelEvent);

// True when this build refuses a package whose revocation status is
// unknown (OV_REQUIRE_REVOCATION); by default such a package installs, as
// Windows' own code-signing policy lets it.
bool IsRevocationRequired();
