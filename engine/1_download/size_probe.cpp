#include "size_probe.h"

#include <winhttp.h>

#include <cwchar>

#include "ansi_string.h"
#include "com_ref.h"
#include "this_module.h"

namespace {

// WinHTTP does not look at the browser's settings by itself: the named
// proxy the player's browser (and so the transfer through WinINet) uses, or
// else WinHTTP's own configuration.
HINTERNET OpenSession() {
  const CBstr agent(AnsiToBstr(ModuleBaseName().c_str()));
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG browser = {};
  HINTERNET session = nullptr;
  if (WinHttpGetIEProxyConfigForCurrentUser(&browser) && browser.lpszProxy != nullptr) {
    session = WinHttpOpen(agent.Get(), WINHTTP_ACCESS_TYPE_NAMED_PROXY, browser.lpszProxy,
                          browser.lpszProxyBypass != nullptr ? browser.lpszProxyBypass : WINHTTP_NO_PROXY_BYPASS, 0);
  } else {
    session = WinHttpOpen(agent.Get(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                          WINHTTP_NO_PROXY_BYPASS, 0);
  }
  if (browser.lpszAutoConfigUrl != nullptr) GlobalFree(browser.lpszAutoConfigUrl);
  if (browser.lpszProxy != nullptr) GlobalFree(browser.lpszProxy);
  if (browser.lpszProxyBypass != nullptr) GlobalFree(browser.lpszProxyBypass);
  return session;
}

// A header as text; false when it is missing or longer than the buffer.
bool QueryHeader(HINTERNET request, DWORD header, wchar_t* buffer, DWORD characters) {
  DWORD bytes = characters * sizeof(wchar_t);
  return WinHttpQueryHeaders(request, header, WINHTTP_HEADER_NAME_BY_INDEX, buffer, &bytes,
                             WINHTTP_NO_HEADER_INDEX) != FALSE;
}

// A DWORD option of a request. Windows XP's WinHTTP 5.1 refuses some that
// later versions take, with ERROR_WINHTTP_INVALID_OPTION.
bool SetRequestOption(HINTERNET request, DWORD option, DWORD value) {
  return WinHttpSetOption(request, option, &value, sizeof(value)) != FALSE;
}

}  // namespace

CSizeProbe::CSizeProbe() : session_(OpenSession()), connection_(nullptr), request_(nullptr), aborted_(false) {
  if (session_ != nullptr)
    WinHttpSetTimeouts(session_, 0, static_cast<int>(kConnectTimeoutMs), static_cast<int>(kSendTimeoutMs),
                       static_cast<int>(kReceiveTimeoutMs));
}

CSizeProbe::~CSizeProbe() {
  CloseRequest();
  if (connection_ != nullptr) WinHttpCloseHandle(connection_);
  if (session_ != nullptr) WinHttpCloseHandle(session_);
}

bool CSizeProbe::GetSize(const std::string& host, WORD port, const std::string& path, int64_t& size) {
  // Used unguarded: after Abort has closed it, WinHTTP fails every call on
  // it.
  const HINTERNET request = OpenRequest(host, port, path);
  if (request == nullptr) return false;
  const bool sent = WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
                    WinHttpReceiveResponse(request, nullptr);
  wchar_t text[80] = L"";
  const bool answered = sent && QueryHeader(request, WINHTTP_QUERY_STATUS_CODE, text, 80);
  const long status = answered ? std::wcstol(text, nullptr, 10) : 0;
  const bool hasLength = (status == HTTP_STATUS_OK || status == HTTP_STATUS_PARTIAL_CONTENT) &&
                         QueryHeader(request, WINHTTP_QUERY_CONTENT_LENGTH, text, 32);
  // Closing the request abandons the body unread and drops the connection.
  CloseRequest();
  if (!hasLength) return false;
  // A length must be a count of bytes: "-5" or "abc" would otherwise pass
  // as a size of -5 or 0.
  wchar_t* end = nullptr;
  const long long value = std::wcstoll(text, &end, 10);
  if (end == text || value < 0) return false;
  size = value;
  return true;
}

HINTERNET CSizeProbe::OpenRequest(const std::string& host, WORD port, const std::string& path) {
  if (session_ == nullptr) return nullptr;
  connection_ = WinHttpConnect(session_, CBstr(AnsiToBstr(host.c_str())).Get(), port, 0);
  if (connection_ == nullptr) return nullptr;

  HINTERNET request = nullptr;
  {
    CCriticalSectionLock hold(lock_);
    if (!aborted_) {
      const CBstr widePath(AnsiToBstr(path.c_str()));
      request_ = WinHttpOpenRequest(connection_, L"GET", widePath.Get(), L"HTTP/1.0",
                                    WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0);
    }
    request = request_;
  }
  if (request == nullptr) return nullptr;

  // WinHttpSetTimeouts leaves the wait for the response's headers at
  // WinHTTP's own default; where the option is refused, that default stands.
  SetRequestOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, kReceiveTimeoutMs);
  // A redirect has no size of the package: the probe must see the 30x itself.
  // Where neither switch is taken, the redirect is followed and the transfer,
  // which never follows one, fails on it instead.
  if (!SetRequestOption(request, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_REDIRECTS))
    SetRequestOption(request, WINHTTP_OPTION_REDIRECT_POLICY, WINHTTP_OPTION_REDIRECT_POLICY_NEVER);
  // As the transfer asks: an answer from the server, not from a cache on
  // the way.
  WinHttpAddRequestHeaders(request, L"Pragma: no-cache", static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD);
  return request;
}

void CSizeProbe::Abort() {
  {
    CCriticalSectionLock hold(lock_);
    aborted_ = true;
  }
  CloseRequest();
}

void CSizeProbe::CloseRequest() {
  CCriticalSectionLock hold(lock_);
  if (request_ != nullptr) WinHttpCloseHandle(request_);
  request_ = nullptr;
}
