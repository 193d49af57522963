#include "domain_suffix.h"

#include <mbstring.h>

#include <cstring>

const char* const kTrustedDomainSuffixes[] = {
    "." OV_PORTAL_DOMAIN ".net",
    "." OV_PORTAL_DOMAIN ".com",
    nullptr,
};

bool HasTrustedSuffix(const char* host) {
  if (host == nullptr || *host == '\0') return false;
  const size_t hostLength = std::strlen(host);
  for (const char* const* suffixes = kTrustedDomainSuffixes; *suffixes != nullptr; ++suffixes) {
    const size_t suffixLength = std::strlen(*suffixes);
    if (suffixLength > hostLength) continue;
    // Lengths count bytes. A suffix starts with "." and a trail byte of a
    // double-byte character is never ".", so a match cannot begin inside one.
    const unsigned char* tail =
        reinterpret_cast<const unsigned char*>(host) + hostLength - suffixLength;
    if (_mbsnbicmp(tail, reinterpret_cast<const unsigned char*>(*suffixes), suffixLength) == 0)
      return true;
  }
  return false;
}
