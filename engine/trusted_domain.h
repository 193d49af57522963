// The engine's half of the trusted-domain rule: only packages served from
// the portal's own domains are downloaded.
#pragma once

// True when the host of url, as WinINet reads it, ends with a trusted
// suffix. Scheme, port, user name and path play no part. False for a null
// URL, one WinINet cannot canonicalise or split, and an empty host.
bool IsTrustedCodebaseUrl(const char* url);
