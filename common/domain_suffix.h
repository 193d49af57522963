// The trusted-domain rule: a host is trusted when it ends with one of the
// portal's domain suffixes. The control checks the page's host with it, the
// engine the codebase's host; each DLL finds the host in its own way.
#pragma once

// The trusted domain suffixes (".<portal>.net", ".<portal>.com", in that
// order), each with its leading dot, ended by a null entry.
extern const char* const kTrustedDomainSuffixes[];

// True when host ends with one of kTrustedDomainSuffixes, compared without
// regard to letter case in the ANSI code page. Every suffix starts with a
// dot, so only subdomains match, never the bare domain or a host that
// merely ends in the same letters. Null or empty host: false.
bool HasTrustedSuffix(const char* host);
