#include "trusted_domain.h"

#include <mbstring.h>

#include <string>

#include "domain_suffix.h"

namespace {

const unsigned char* AsBytes(const char* text) {
  return reinterpret_cast<const unsigned char*>(text);
}

// The host part of url, or an empty text when there is none. A browser
// ends the authority at "?", "#" and "\" as well as "/", and connects to
// what follows the last "@"; reading it the same way keeps
// "http://evil.example?.portal.net" and "http://a.portal.net:pw@evil.example"
// from passing as the portal.
std::string HostOfUrl(const char* url) {
  const unsigned char* separator = _mbsstr(AsBytes(url), AsBytes("://"));
  if (separator == nullptr) return std::string();
  const char* authority = reinterpret_cast<const char*>(separator) + 3;
  std::string host(authority, _mbscspn(AsBytes(authority), AsBytes("/?#\\")));

  const unsigned char* at = _mbsrchr(AsBytes(host.c_str()), '@');
  if (at != nullptr) host.erase(0, reinterpret_cast<const char*>(at) + 1 - host.c_str());
  host.resize(_mbscspn(AsBytes(host.c_str()), AsBytes(":")));
  return host;
}

}  // namespace

bool IsTrustedPageUrl(const char* url) {
  if (url == nullptr) return false;
  return HasTrustedSuffix(HostOfUrl(url).c_str());
}
