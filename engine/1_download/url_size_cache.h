// CUrlSizeCache: the package sizes that servers have announced to this
// process, so that a URL is probed with a request of its own only once
// while the engine is loaded.
//
// There is one instance, built when the engine module is loaded and
// destroyed when it is unloaded. Entries are never refreshed or removed
// before that; a failed probe leaves no entry, so the next call probes
// again. URLs are compared without regard to letter case.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "critical_section.h"

class CSizeProbe;

class CUrlSizeCache {
 public:
  CUrlSizeCache() = default;
  virtual ~CUrlSizeCache() = default;
  CUrlSizeCache(const CUrlSizeCache&) = delete;
  CUrlSizeCache& operator=(const CUrlSizeCache&) = delete;

  // The size announced for url: from the cache, or from the Content-Length
  // of a GET whose body is never read (status 200 or 206 required; see
  // CSizeProbe). False
  // for a null URL and a failed probe. Callers wait for each other, the
  // probe's network time included.
  bool GetSize(const char* url, int64_t& size);

  // Any thread: makes the probe in flight, if any, return false at once
  // (see CSizeProbe::Abort). A probe that starts later is not affected.
  void AbortProbe();

 private:
  struct Entry {
    std::string url;
    int64_t size;
  };

  // One probe of url, reachable by AbortProbe while it runs.
  bool Probe(const char* url, int64_t& size);

  CCriticalSection lock_;
  std::vector<Entry> entries_;  // guarded by lock_; in insertion order
  // Separate from lock_, which a probe holds for its whole network time.
  CCriticalSection probeLock_;
  CSizeProbe* probe_ = nullptr;  // guarded by probeLock_; the probe in flight, owned by Probe
};

// GetSize of the process's one CUrlSizeCache.
bool GetUrlSize(const char* url, int64_t& size);
// AbortProbe of the process's one CUrlSizeCache.
void AbortUrlSizeProbe();
