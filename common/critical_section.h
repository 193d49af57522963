// CCriticalSection: one critical section, initialised and deleted with its
// owner. It is entered only through CCriticalSectionLock, which holds it
// for the life of a scope.
#pragma once

#include <windows.h>

class CCriticalSection {
 public:
  CCriticalSection() { InitializeCriticalSection(&section_); }
  ~CCriticalSection() { DeleteCriticalSection(&section_); }
  CCriticalSection(const CCriticalSection&) = delete;
  CCriticalSection& operator=(const CCriticalSection&) = delete;

 private:
  friend class CCriticalSectionLock;
  CRITICAL_SECTION section_;
};

class CCriticalSectionLock {
 public:
  explicit CCriticalSectionLock(CCriticalSection& section) : section_(section.section_) {
    EnterCriticalSection(&section_);
  }
  ~CCriticalSectionLock() {
    if (held_) LeaveCriticalSection(&section_);
  }
  CCriticalSectionLock(const CCriticalSectionLock&) = delete;
  CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

  // For a wait on another thread inside the scope: Unlock lets go of the
  // section, Lock takes it again. The scope's end leaves it only if held.
  void Unlock() {
    LeaveCriticalSection(&section_);
    held_ = false;
  }
  void Lock() {
    EnterCriticalSection(&section_);
    held_ = true;
  }

 private:
  CRITICAL_SECTION& section_;
  bool held_ = true;
};
