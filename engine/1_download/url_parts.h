// A URL as WinINet splits it, after canonicalising it the way the caller
// asks: the download and the trusted-domain rule must read the same host.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

struct UrlParts {
  INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
  std::string host;
  INTERNET_PORT port = 0;  // 0 when the URL names none
  std::string path;        // the URL path with its query text
};

// InternetCanonicalizeUrlA with canonicalizeFlags (a long URL gets a buffer
// of the size WinINet asks for), then InternetCrackUrlA into host and path
// of at most 2084 characters each. False when either step refuses the URL
// or a part does not fit.
bool SplitUrl(const char* url, DWORD canonicalizeFlags, UrlParts& parts);
