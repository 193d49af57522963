#include "http_download.h"

#include "this_module.h"
#include "url_parts.h"

#include <cstdlib>
#include <string>

namespace {

const DWORD kConnectTimeoutMs = 10000;
const DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_EXISTING_CONNECT |
                            INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT |
                            INTERNET_FLAG_PRAGMA_NOCACHE;

// A header as text; false when it is missing or longer than the buffer.
bool QueryHeader(HINTERNET request, DWORD header, char* buffer, DWORD size) {
  DWORD length = size;
  return HttpQueryInfoA(request, header, buffer, &length, nullptr) != FALSE;
}

// Windows hands the session's time-outs down to its connections and
// requests; Wine does not, and ignores a receive time-out set on the
// session alone, so every handle gets them.
void SetTimeouts(HINTERNET handle) {
  const struct {
    DWORD option;
    DWORD milliseconds;
  } kTimeouts[] = {{INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs},
                   {INTERNET_OPTION_SEND_TIMEOUT, kHttpTimeoutMs},
                   {INTERNET_OPTION_RECEIVE_TIMEOUT, kHttpTimeoutMs}};
  for (const auto& timeout : kTimeouts) {
    DWORD value = timeout.milliseconds;
    InternetSetOptionA(handle, timeout.option, &value, sizeof(value));
  }
}

}  // namespace

CHttpDownload::CHttpDownload() : internet_(nullptr), connection_(nullptr), request_(nullptr) {
  internet_ = InternetOpenA(ModuleBaseName().c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (internet_ != nullptr) SetTimeouts(internet_);
}

CHttpDownload::~CHttpDownload() {
  Close();
  if (internet_ != nullptr) InternetCloseHandle(internet_);
}

CHttpDownload::Status CHttpDownload::OpenUrl(const char* url) {
  if (url == nullptr || *url == '\0') return kEmptyUrl;
  // As a browser would send it: unsafe characters before any "?" or "#"
  // escaped, "." and ".." segments resolved. A host or path longer than its
  // buffer fails the split.
  UrlParts parts;
  if (!SplitUrl(url, ICU_BROWSER_MODE, parts)) return kBadUrl;
  // WinINet splits https, ftp and others just as well; only http is fetched.
  if (parts.scheme != INTERNET_SCHEME_HTTP) return kBadUrl;
  const INTERNET_PORT port = parts.port != 0 ? parts.port : INTERNET_DEFAULT_HTTP_PORT;

  Close();
  if (internet_ == nullptr) return kCannotConnect;
  // A user name or password in the URL is never sent.
  connection_ = InternetConnectA(internet_, parts.host.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 1);
  if (connection_ == nullptr) return kCannotConnect;
  SetTimeouts(connection_);
  request_ = HttpOpenRequestA(connection_, "GET", parts.path.c_str(), "HTTP/1.0", nullptr, nullptr, kRequestFlags, 1);
  if (request_ == nullptr) {
    Close();
    return kCannotConnect;
  }
  SetTimeouts(request_);
  return kOk;
}

CHttpDownload::Status CHttpDownload::Send() {
  if (request_ == nullptr) return kNoRequest;
  if (!HttpSendRequestA(request_, nullptr, 0, nullptr, 0)) {
    Close();
    return kSendFailed;
  }
  char text[80] = "";
  if (!QueryHeader(request_, HTTP_QUERY_STATUS_CODE, text, sizeof(text))) {
    Close();
    return kNoStatusCode;
  }
  const long status = std::atol(text);
  if (status != HTTP_STATUS_OK && status != HTTP_STATUS_PARTIAL_CONTENT) {
    Close();
    return kUnexpectedStatus;
  }
  return kOk;
}

CHttpDownload::Status CHttpDownload::Open(const char* url) {
  const Status status = OpenUrl(url);
  return status != kOk ? status : Send();
}

CHttpDownload::Status CHttpDownload::GetContentLength(int64_t& size) const {
  if (request_ == nullptr) return kNoRequest;
  char text[32] = "";
  if (!QueryHeader(request_, HTTP_QUERY_CONTENT_LENGTH, text, sizeof(text))) return kNoContentLength;
  // A length must be a count of bytes: "-5" or "abc" would otherwise pass
  // as a size of -5 or 0.
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (end == text || value < 0) return kNoContentLength;
  size = value;
  return kOk;
}

CHttpDownload::Status CHttpDownload::GetLastModified(SYSTEMTIME& utcTime) const {
  if (request_ == nullptr) return kNoRequest;
  // Read as text: asking WinINet for a SYSTEMTIME (HTTP_QUERY_FLAG_SYSTEMTIME)
  // crashes Wine's WinINet on dates written in older or unusual forms.
  char text[128] = "";
  if (!QueryHeader(request_, HTTP_QUERY_LAST_MODIFIED, text, sizeof(text))) return kNoLastModified;
  if (!InternetTimeToSystemTimeA(text, &utcTime, 0)) return kNoLastModified;
  return kOk;
}

CHttpDownload::Status CHttpDownload::Read(void* buffer, DWORD size, DWORD& count) {
  count = 0;
  if (request_ == nullptr) return kNoRequest;
  if (!InternetReadFile(request_, buffer, size, &count)) return kReadFailed;
  return kOk;
}

CHttpDownload::Status CHttpDownload::ReadArrived(void* buffer, DWORD size, DWORD& count) {
  count = 0;
  if (request_ == nullptr) return kNoRequest;
  INTERNET_BUFFERSA part = {};
  part.dwStructSize = sizeof(part);
  part.lpvBuffer = buffer;
  part.dwBufferLength = size;
  if (!InternetReadFileExA(request_, &part, IRF_NO_WAIT, 0)) return kReadFailed;
  count = part.dwBufferLength;
  return kOk;
}

void CHttpDownload::Close() {
  if (request_ != nullptr) InternetCloseHandle(request_);
  if (connection_ != nullptr) InternetCloseHandle(connection_);
  request_ = nullptr;
  connection_ = nullptr;
}
