#include "registry_watch.h"

namespace {

const DWORD kChanges = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

}  // namespace

void CRegistryWatch::Add(HKEY root, const char* path) {
  std::string key = path;
  while (!key.empty() && key.back() == '\\') key.pop_back();
  for (const auto& watched : watched_)
    if (watched->root == root && watched->path == key) return;
  std::unique_ptr<CWatched> watched(new CWatched);
  watched->root = root;
  watched->path = key;
  watched_.push_back(std::move(watched));
  armed_ = false;
}

void CALLBACK CRegistryWatch::OnChange(void* context, BOOLEAN) {
  CRegistryWatch* watch = static_cast<CRegistryWatch*>(context);
  InterlockedExchange(&watch->changed_, 1);
  SetEvent(watch->noticed_.Get());
}

bool CRegistryWatch::Arm() {
  armed_ = false;
  // No callback may run while the flag is cleared; and closing a watched
  // key signals its notification, so every key is closed before the event
  // is reset.
  wait_.Reset();
  for (auto& watched : watched_) watched->key.Close();
  if (!signalled_) signalled_.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!noticed_) noticed_.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!signalled_ || !noticed_ || !ResetEvent(signalled_.Get()) || !ResetEvent(noticed_.Get()))
    return false;
  InterlockedExchange(&changed_, 0);
  for (auto& watched : watched_) {
    // Reopened each time: a key created since the last watch is then
    // watched itself instead of through its parent.
    std::string path = watched->path;
    LONG opened;
    while ((opened = watched->key.OpenKey(watched->root, path.c_str(), OpenExisting)) ==
               ERROR_FILE_NOT_FOUND &&
           !path.empty()) {
      const size_t separator = path.rfind('\\');
      path.erase(separator == std::string::npos ? 0 : separator);
    }
    if (opened != ERROR_SUCCESS ||
        RegNotifyChangeKeyValue(watched->key.GetHandle(), TRUE, kChanges, signalled_.Get(),
                                TRUE) != ERROR_SUCCESS)
      return false;
  }
  if (!RegisterWaitForSingleObject(wait_.Receive(), signalled_.Get(), OnChange, this, INFINITE,
                                   WT_EXECUTEINWAITTHREAD | WT_EXECUTEONLYONCE))
    return false;
  armed_ = true;
  return true;
}

bool CRegistryWatch::HasChanged() const {
  if (!armed_ || InterlockedCompareExchange(const_cast<volatile LONG*>(&changed_), 0, 0) != 0)
    return true;
  // The pool's wait thread may be busy with another process-wide wait; a
  // key's notification is in the event as soon as the change is made.
  return WaitForSingleObject(signalled_.Get(), 0) == WAIT_OBJECT_0;
}
