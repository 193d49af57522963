// A thread for tests: the MinGW thread model the DLLs are built with has
// no std::thread. Runs the function at once; Join waits for its end, and
// so does the destructor when Join was not called.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <utility>

class TestThread {
 public:
  // The function lives on the heap, so a move (a vector growing) leaves
  // the running thread's copy where it is.
  explicit TestThread(std::function<void()> body)
      : body_(new std::function<void()>(std::move(body))),
        handle_(CreateThread(nullptr, 0, &TestThread::Run, body_.get(), 0, nullptr)) {}
  TestThread(TestThread&& other) noexcept
      : body_(std::move(other.body_)), handle_(std::exchange(other.handle_, nullptr)) {}
  TestThread(const TestThread&) = delete;
  TestThread& operator=(const TestThread&) = delete;
  ~TestThread() { Join(); }

  HANDLE Handle() const { return handle_; }

  void Join() {
    if (handle_ == nullptr) return;
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  static DWORD WINAPI Run(void* body) {
    (*static_cast<std::function<void()>*>(body))();
    return 0;
  }

  std::unique_ptr<std::function<void()>> body_;
  HANDLE handle_;
};
