// CDownloadThread: the thread and the worker share one state object, which
// the last of the two to let go of it deletes.
#include "download_thread.h"

#include <cstring>
#include <deque>

#include "critical_section.h"
#include "http_download.h"
#include "this_module.h"
#include "url_size_cache.h"

namespace {

const DWORD kStepSize = sizeof(CDownloadThread::Step::data);
// The body is asked of WinINet in reads of up to this many bytes: under
// Wine every read costs the round trips of a socket receive, and in 8 KiB
// pieces they cost more than the transfer itself (a 100 MiB package came
// in 2.5 times faster in 64 KiB pieces).
const DWORD kReadSize = 8 * kStepSize;
// The steps one read makes: its full steps, and at the body's end a short
// one and the read of nothing.
const size_t kStepsPerRead = kReadSize / kStepSize + 2;
// How far reads may run ahead of the worker: 256 KiB, and one read.
const size_t kMaxQueuedSteps = 32;
// The thread that waits for room is woken when the queue is down to this:
// one wake-up per many steps, not one per step.
const size_t kRoomAgain = kMaxQueuedSteps / 2;

}  // namespace

struct CDownloadThread::Shared {
  explicit Shared(const char* address) : url(address) {
    stepQueued = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    workerMoved = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  }
  ~Shared() {
    if (stepQueued != nullptr) CloseHandle(stepQueued);
    if (workerMoved != nullptr) CloseHandle(workerMoved);
  }
  Shared(const Shared&) = delete;
  Shared& operator=(const Shared&) = delete;

  void Drop() {
    if (InterlockedDecrement(&refs) == 0) delete this;
  }
  // The thread's side: queues count steps, waiting while the queue is
  // full. False once the worker has let go.
  bool Push(std::unique_ptr<Step>* batch, size_t count);
  bool Push(std::unique_ptr<Step> step) { return Push(&step, 1); }
  // The thread's side: waits for Proceed. False once the worker has let go.
  bool WaitForProceed();

  const std::string url;        // read-only
  HMODULE module = nullptr;     // the thread's reference on this code's module
  LONG refs = 2;                // the worker's and the thread's
  HANDLE stepQueued;            // owned; set for a worker that waits for a step
  HANDLE workerMoved;           // owned; set for a thread that waits for room or Proceed
  CCriticalSection lock;        // guards the members below
  std::deque<std::unique_ptr<Step>> steps;
  bool proceed = false;
  bool probing = true;          // the probe's step is not queued yet
  bool abandoned = false;       // the worker has let go
  bool workerWaiting = false;
  bool threadWaiting = false;
};

bool CDownloadThread::Shared::Push(std::unique_ptr<Step>* batch, size_t count) {
  CCriticalSectionLock hold(lock);
  while (steps.size() >= kMaxQueuedSteps && !abandoned) {
    threadWaiting = true;
    hold.Unlock();
    WaitForSingleObject(workerMoved, INFINITE);
    hold.Lock();
  }
  const bool wanted = !abandoned;
  probing = false;
  if (wanted)
    for (size_t i = 0; i < count; ++i) steps.push_back(std::move(batch[i]));
  if (workerWaiting) {
    workerWaiting = false;
    SetEvent(stepQueued);
  }
  return wanted;
}

bool CDownloadThread::Shared::WaitForProceed() {
  CCriticalSectionLock hold(lock);
  while (!proceed && !abandoned) {
    threadWaiting = true;
    hold.Unlock();
    WaitForSingleObject(workerMoved, INFINITE);
    hold.Lock();
  }
  return !abandoned;
}

CDownloadThread* CDownloadThread::Start(const char* url) {
  Shared* shared = new Shared(url);
  if (shared->stepQueued == nullptr || shared->workerMoved == nullptr ||
      (shared->module = ReferenceThisModule()) == nullptr) {
    delete shared;
    return nullptr;
  }
  HANDLE thread = CreateThread(nullptr, 0, &ThreadProc, shared, 0, nullptr);
  if (thread == nullptr) {
    FreeLibrary(shared->module);
    delete shared;
    return nullptr;
  }
  CloseHandle(thread);
  return new CDownloadThread(shared);
}

void CDownloadThread::Proceed() {
  CCriticalSectionLock hold(shared_->lock);
  shared_->proceed = true;
  if (shared_->threadWaiting) {
    shared_->threadWaiting = false;
    SetEvent(shared_->workerMoved);
  }
}

CDownloadThread::Wait CDownloadThread::Next(HANDLE cancelEvent, std::unique_ptr<Step>& step) {
  // GetTickCount, not its 64-bit form, which Windows XP lacks; the
  // difference of two readings is right across its wrap-around.
  const DWORD start = GetTickCount();
  CCriticalSectionLock hold(shared_->lock);
  while (shared_->steps.empty()) {
    shared_->workerWaiting = true;
    hold.Unlock();
    const DWORD elapsed = GetTickCount() - start;
    const DWORD left = elapsed < kHttpTimeoutMs ? kHttpTimeoutMs - elapsed : 0;
    const HANDLE events[] = {shared_->stepQueued, cancelEvent};
    const DWORD wait =
        WaitForMultipleObjects(cancelEvent != nullptr ? 2 : 1, events, FALSE, left);
    if (wait == WAIT_OBJECT_0 + 1) return kCancelled;
    if (wait != WAIT_OBJECT_0) return kTimedOut;
    hold.Lock();
  }
  step = std::move(shared_->steps.front());
  shared_->steps.pop_front();
  if (shared_->threadWaiting && shared_->steps.size() <= kRoomAgain) {
    shared_->threadWaiting = false;
    SetEvent(shared_->workerMoved);
  }
  return kStepTaken;
}

void CDownloadThread::Release() {
  bool probing;
  {
    CCriticalSectionLock hold(shared_->lock);
    shared_->abandoned = true;
    probing = shared_->probing;
    SetEvent(shared_->workerMoved);
  }
  // A probe given up on would hold the size cache for the next job until
  // its time-out; on Windows closing its request ends it at once.
  if (probing) AbortUrlSizeProbe();
  shared_->Drop();
  delete this;
}

void CDownloadThread::ReadBody(Shared& shared, CHttpDownload& http) {
  std::unique_ptr<char[]> buffer(new char[kReadSize]);
  DWORD held = 0;  // bytes at the buffer's start, fewer than a step
  for (;;) {
    // A read waits until it is full, so it asks for what makes the next
    // step whole, and then takes what else has arrived without waiting: a
    // slow line's steps keep coming one by one. Whatever keeps the second
    // from answering, the next read meets it too.
    const DWORD wanted = kStepSize - held;
    DWORD count = 0;
    const bool ok = http.Read(buffer.get() + held, wanted, count) == CHttpDownload::kOk;
    DWORD more = 0;
    if (ok && count == wanted &&
        http.ReadArrived(buffer.get() + kStepSize, kReadSize - kStepSize, more) ==
            CHttpDownload::kOk)
      count += more;
    held += count;
    const bool ended = !ok || count == 0;

    std::unique_ptr<Step> batch[kStepsPerRead];
    size_t steps = 0;
    DWORD taken = 0;
    // Full steps; at the body's end also the short rest, then the read of
    // nothing, as the worker expects them. A failed read passes on no
    // short rest, which the worker would take for the body's end.
    while (held - taken >= kStepSize || (ended && ok && held > taken)) {
      std::unique_ptr<Step>& step = batch[steps++];
      step.reset(new Step);
      step->ok = true;
      step->count = held - taken < kStepSize ? held - taken : kStepSize;
      std::memcpy(step->data, buffer.get() + taken, step->count);
      taken += step->count;
    }
    if (ended) {
      batch[steps].reset(new Step);
      batch[steps++]->ok = ok;
    }
    held -= taken;
    std::memmove(buffer.get(), buffer.get() + taken, held);
    if (!shared.Push(batch, steps) || ended) return;
  }
}

DWORD WINAPI CDownloadThread::ThreadProc(LPVOID param) {
  Shared* shared = static_cast<Shared*>(param);
  const HMODULE module = shared->module;
  {
    std::unique_ptr<Step> probe(new Step);
    probe->ok = GetUrlSize(shared->url.c_str(), probe->size);
    const bool probed = probe->ok;
    if (shared->Push(std::move(probe)) && probed && shared->WaitForProceed()) {
      CHttpDownload http;
      std::unique_ptr<Step> request(new Step);
      request->ok = http.Open(shared->url.c_str()) == CHttpDownload::kOk;
      request->hasLength = http.GetContentLength(request->announced) == CHttpDownload::kOk;
      request->hasLastModified = http.GetLastModified(request->lastModified) == CHttpDownload::kOk;
      const bool opened = request->ok;
      if (shared->Push(std::move(request)) && opened) ReadBody(*shared, http);
    }
  }
  shared->Drop();
  FreeLibraryAndExitThread(module, 0);
}
