#include "url_size_cache.h"

#include <new>

#include "ansi_string.h"
#include "size_probe.h"
#include "url_parts.h"

namespace {

CUrlSizeCache g_urlSizeCache;

}  // namespace

bool CUrlSizeCache::GetSize(const char* url, int64_t& size) {
  if (url == nullptr) return false;
  CCriticalSectionLock hold(lock_);
  for (const Entry& entry : entries_) {
    if (EqualsIgnoringCase(entry.url.c_str(), url)) {
      size = entry.size;
      return true;
    }
  }

  int64_t probed = 0;
  if (!Probe(url, probed)) return false;
  try {
    entries_.push_back(Entry{url, probed});
  } catch (const std::bad_alloc&) {
    return false;
  }
  size = probed;
  return true;
}

bool CUrlSizeCache::Probe(const char* url, int64_t& size) {
  // Split as the transfer splits it, so that both requests name the same
  // path; only http is fetched, and a user name or password in the URL is
  // never sent.
  UrlParts parts;
  if (*url == '\0' || !SplitUrl(url, ICU_BROWSER_MODE, parts) || parts.scheme != INTERNET_SCHEME_HTTP) return false;
  const INTERNET_PORT port = parts.port != 0 ? parts.port : INTERNET_DEFAULT_HTTP_PORT;

  CSizeProbe probe;
  {
    CCriticalSectionLock hold(probeLock_);
    probe_ = &probe;
  }
  const bool probed = probe.GetSize(parts.host, port, parts.path, size);
  CCriticalSectionLock hold(probeLock_);
  probe_ = nullptr;
  return probed;
}

void CUrlSizeCache::AbortProbe() {
  CCriticalSectionLock hold(probeLock_);
  if (probe_ != nullptr) probe_->Abort();
}

bool GetUrlSize(const char* url, int64_t& size) { return g_urlSizeCache.GetSize(url, size); }

void AbortUrlSizeProbe() { g_urlSizeCache.AbortProbe(); }
