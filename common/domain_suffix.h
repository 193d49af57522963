// The comparison behind the trusted-domain rule: a host is trusted when it
// ends with one of the portal's domain suffixes. Each DLL keeps its own
// suffix table and its own way of finding the host in a URL; only this
// test is common to both.
#pragma once

// True when host ends with one of suffixes (a list ended by a null entry),
// compared without regard to letter case in the ANSI code page. Every
// suffix starts with a dot, so only subdomains match, never the bare domain
// or a host that merely ends in the same letters. Null or empty host: false.
bool HasTrustedSuffix(const char* host, const char* const* suffixes);
