// CRegistryWatch: tells whether anything under a few registry keys changed
// since it was last armed, so that answers read from those keys can be
// kept until then. Every key's change notification signals one event; a
// wait of the system's thread pool notes the signal in a flag (and in the
// Noticed event), and asking looks at the flag, then at the event itself,
// so a change finished before a question is seen by that question even
// while the pool's wait thread is busy elsewhere; one made while the
// caller asks may be seen by its next question only.
//
// A notification belongs to the thread that armed it (Windows drops it,
// signalling the event, when that thread ends): arm on the thread that
// asks.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "handle_owner.h"
#include "registry_key.h"

// Waits for a callback that is running to return, so that nothing it uses
// goes before it.
struct CUnregisterWait {
  void operator()(HANDLE wait) const { UnregisterWaitEx(wait, INVALID_HANDLE_VALUE); }
};

class CRegistryWatch {
 public:
  CRegistryWatch() = default;
  CRegistryWatch(const CRegistryWatch&) = delete;
  CRegistryWatch& operator=(const CRegistryWatch&) = delete;

  // Watches root\path and all below it from the next Arm. A key that does
  // not exist is watched through its nearest existing parent, so that its
  // creation counts as a change.
  void Add(HKEY root, const char* path);
  // Starts a fresh watch of every key. False when some key cannot be
  // watched; HasChanged then stays true.
  bool Arm();
  // True when a watched key has changed since the last Arm that
  // succeeded, or when there was none.
  bool HasChanged() const;
  // Signalled when a change has been noticed, until the next Arm: for a
  // caller that made a change itself and must know it will be seen.
  HANDLE Noticed() const { return noticed_.Get(); }

 private:
  static void CALLBACK OnChange(void* watch, BOOLEAN timedOut);

  struct CWatched {
    HKEY root;
    std::string path;
    CRegistryKey key{KEY_NOTIFY};
  };
  // Members used by the pool's callback come first, so that the wait,
  // unregistered before they go, is last.
  volatile LONG changed_ = 0;                     // set by the pool thread, cleared by Arm
  CKernelHandle signalled_;   // manual reset; signalled by the keys
  CKernelHandle noticed_;     // manual reset; set with changed_
  bool armed_ = false;                            // the caller's thread only
  std::vector<std::unique_ptr<CWatched>> watched_;  // the caller's thread only
  CHandleOwner<HANDLE, CUnregisterWait> wait_;
};
