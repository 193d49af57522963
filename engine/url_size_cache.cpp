#include "url_size_cache.h"

#include <mbstring.h>

#include <new>

#include "http_download.h"

namespace {

CUrlSizeCache g_urlSizeCache;

// Holds a critical section for the life of a scope.
class CCriticalSectionLock {
 public:
  explicit CCriticalSectionLock(CRITICAL_SECTION& section) : section_(section) {
    EnterCriticalSection(&section_);
  }
  ~CCriticalSectionLock() { LeaveCriticalSection(&section_); }
  CCriticalSectionLock(const CCriticalSectionLock&) = delete;
  CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

 private:
  CRITICAL_SECTION& section_;
};

bool SameUrl(const std::string& a, const char* b) {
  return _mbsicmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                  reinterpret_cast<const unsigned char*>(b)) == 0;
}

}  // namespace

CUrlSizeCache::CUrlSizeCache() { InitializeCriticalSection(&lock_); }

CUrlSizeCache::~CUrlSizeCache() { DeleteCriticalSection(&lock_); }

bool CUrlSizeCache::GetSize(const char* url, int64_t& size) {
  if (url == nullptr) return false;
  CCriticalSectionLock hold(lock_);
  for (const Entry& entry : entries_) {
    if (SameUrl(entry.url, url)) {
      size = entry.size;
      return true;
    }
  }

  int64_t probed = 0;
  {
    // Destroying the download abandons the body unread.
    CHttpDownload probe;
    if (probe.Open(url) != CHttpDownload::kOk) return false;
    if (probe.GetContentLength(probed) != CHttpDownload::kOk) return false;
  }
  try {
    entries_.push_back(Entry{url, probed});
  } catch (const std::bad_alloc&) {
    return false;
  }
  size = probed;
  return true;
}

bool GetUrlSize(const char* url, int64_t& size) { return g_urlSizeCache.GetSize(url, size); }
