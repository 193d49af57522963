#include "url_parts.h"

#include <vector>

namespace {

const DWORD kUrlBufferLength = 2084;  // INTERNET_MAX_URL_LENGTH

bool CanonicalizeUrl(const char* url, DWORD flags, std::vector<char>& canonical) {
  canonical.assign(kUrlBufferLength, '\0');
  DWORD length = kUrlBufferLength;
  if (InternetCanonicalizeUrlA(url, canonical.data(), &length, flags)) return true;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  canonical.assign(length + 1, '\0');
  length = static_cast<DWORD>(canonical.size());
  return InternetCanonicalizeUrlA(url, canonical.data(), &length, flags) != FALSE;
}

}  // namespace

bool SplitUrl(const char* url, DWORD canonicalizeFlags, UrlParts& parts) {
  if (url == nullptr) return false;
  std::vector<char> canonical;
  if (!CanonicalizeUrl(url, canonicalizeFlags, canonical)) return false;

  // One byte more than WinINet is told, so the texts always stay terminated.
  std::vector<char> host(kUrlBufferLength + 1, '\0');
  std::vector<char> path(kUrlBufferLength + 1, '\0');
  URL_COMPONENTSA cracked = {};
  cracked.dwStructSize = sizeof(cracked);
  cracked.lpszHostName = host.data();
  cracked.dwHostNameLength = kUrlBufferLength;
  cracked.lpszUrlPath = path.data();
  cracked.dwUrlPathLength = kUrlBufferLength;
  if (!InternetCrackUrlA(canonical.data(), 0, 0, &cracked)) return false;
  parts.scheme = cracked.nScheme;
  parts.host = host.data();
  parts.port = cracked.nPort;
  parts.path = path.data();
  return true;
}
