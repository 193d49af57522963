// GoogleTest's own thread start signal, on a Win32 event: the MinGW thread
// model the DLLs are built with has no std::mutex or std::condition_variable,
// which GoogleTest's default one needs. Forced into every C++ file of the
// tests (see tests/CMakeLists.txt) with GTEST_HAS_NOTIFICATION_ set.
#pragma once

#include <windows.h>

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() { CloseHandle(event_); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { SetEvent(event_); }
  void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};

}  // namespace internal
}  // namespace testing
