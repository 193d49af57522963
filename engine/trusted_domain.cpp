#include "trusted_domain.h"

#include <windows.h>
#include <wininet.h>

#include "domain_suffix.h"
#include "url_parts.h"

bool IsTrustedCodebaseUrl(const char* url) {
  if (url == nullptr) return false;
  // Canonical form without escaping: the host is what WinINet will connect to.
  UrlParts parts;
  if (!SplitUrl(url, ICU_NO_ENCODE, parts)) return false;
  return HasTrustedSuffix(parts.host.c_str());
}
