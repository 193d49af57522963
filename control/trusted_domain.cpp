#include "trusted_domain.h"

#include <cwchar>
#include <string>

#include "domain_suffix.h"

namespace {

// The length of the "http://" or "https://" that url starts with, compared
// as ASCII without regard to case; 0 for any other start.
size_t WebSchemeLength(const wchar_t* url) {
  static const wchar_t* const kSchemes[] = {L"http://", L"https://"};
  for (const wchar_t* scheme : kSchemes) {
    size_t length = 0;
    while (scheme[length] != L'\0' && url[length] != L'\0' &&
           (url[length] | 0x20) == (scheme[length] | 0x20))
      ++length;
    if (scheme[length] == L'\0') return length;
  }
  return 0;
}

// A browser ends the authority at "?", "#" and "\" as well as "/", and
// connects to what follows the last "@"; reading it the same way keeps
// "http://evil.example?.portal.net" and "http://a.portal.net:pw@evil.example"
// from passing as the portal.
std::wstring HostOfAuthority(const wchar_t* authority) {
  std::wstring host(authority, std::wcscspn(authority, L"/?#\\"));
  const size_t at = host.rfind(L'@');
  if (at != std::wstring::npos) host.erase(0, at + 1);
  const size_t colon = host.find(L':');
  if (colon != std::wstring::npos) host.resize(colon);
  return host;
}

}  // namespace

bool IsTrustedPageUrl(const wchar_t* url) {
  if (url == nullptr) return false;
  const size_t schemeLength = WebSchemeLength(url);
  if (schemeLength == 0) return false;
  const std::wstring host = HostOfAuthority(url + schemeLength);
  std::string narrow;
  narrow.reserve(host.size());
  for (wchar_t c : host) {
    if (c <= L' ' || c > L'~') return false;
    narrow += static_cast<char>(c);
  }
  return HasTrustedSuffix(narrow.c_str());
}
