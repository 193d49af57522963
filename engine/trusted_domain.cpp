#include "trusted_domain.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

#include "domain_suffix.h"

namespace {

const char* const kTrustedDomainSuffixes[] = {
    "." OV_PORTAL_DOMAIN ".net",
    "." OV_PORTAL_DOMAIN ".com",
    nullptr,
};

const DWORD kUrlBufferLength = 2084;  // INTERNET_MAX_URL_LENGTH

// The URL in WinINet's canonical form, without escaping; false when WinINet
// refuses it. Long URLs get a buffer of the size WinINet asks for.
bool CanonicalizeUrl(const char* url, std::vector<char>& canonical) {
  canonical.assign(kUrlBufferLength, '\0');
  DWORD length = kUrlBufferLength;
  if (InternetCanonicalizeUrlA(url, canonical.data(), &length, ICU_NO_ENCODE)) return true;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  canonical.assign(length + 1, '\0');
  length = static_cast<DWORD>(canonical.size());
  return InternetCanonicalizeUrlA(url, canonical.data(), &length, ICU_NO_ENCODE) != FALSE;
}

}  // namespace

const char* const* GetTrustedDomainSuffixes() { return kTrustedDomainSuffixes; }

bool IsTrustedCodebaseUrl(const char* url) {
  if (url == nullptr) return false;
  std::vector<char> canonical;
  if (!CanonicalizeUrl(url, canonical)) return false;

  // One byte more than WinINet is told, so the texts always stay terminated.
  char host[kUrlBufferLength + 1] = "";
  char path[kUrlBufferLength + 1] = "";
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host;
  parts.dwHostNameLength = kUrlBufferLength;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = kUrlBufferLength;
  if (!InternetCrackUrlA(canonical.data(), 0, 0, &parts)) return false;
  return HasTrustedSuffix(host, kTrustedDomainSuffixes);
}
