#include "message_box_watcher.h"

#include <iterator>
#include <string>

#include "output.h"

namespace {

std::wstring WindowText(HWND window) {
  wchar_t text[2048];
  int length = GetWindowTextW(window, text, 2048);
  return std::wstring(text, length > 0 ? static_cast<size_t>(length) : 0);
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64];
  int length = GetClassNameW(window, name, 64);
  return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

// What a message box is made of: static texts and push buttons. The setup
// window is a dialog too, but it carries a progress bar.
struct CBoxParts {
  std::wstring text;
  bool hasProgress = false;
};

BOOL CALLBACK CollectPart(HWND child, LPARAM parts) {
  CBoxParts* box = reinterpret_cast<CBoxParts*>(parts);
  std::wstring name = ClassOf(child);
  if (lstrcmpiW(name.c_str(), L"msctls_progress32") == 0) box->hasProgress = true;
  if (lstrcmpiW(name.c_str(), L"Static") == 0) {
    std::wstring text = WindowText(child);
    if (text.size() > box->text.size()) box->text = text;
  }
  return TRUE;
}

}  // namespace

CMessageBoxWatcher::CMessageBoxWatcher(const std::vector<int>& buttons) : buttons_(buttons) {}

CMessageBoxWatcher::~CMessageBoxWatcher() {
  if (thread_ != nullptr) {
    SetEvent(stop_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  if (stop_ != nullptr) CloseHandle(stop_);
}

bool CMessageBoxWatcher::Start() {
  stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (stop_ == nullptr) return false;
  thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
  return thread_ != nullptr;
}

DWORD WINAPI CMessageBoxWatcher::ThreadMain(void* self) {
  CMessageBoxWatcher* watcher = static_cast<CMessageBoxWatcher*>(self);
  while (WaitForSingleObject(watcher->stop_, 100) == WAIT_TIMEOUT) {
    // Forget closed boxes, so that a new box that gets an old handle counts.
    for (auto it = watcher->handled_.begin(); it != watcher->handled_.end();)
      it = IsWindow(*it) ? std::next(it) : watcher->handled_.erase(it);
    EnumWindows(OnTopLevelWindow, reinterpret_cast<LPARAM>(watcher));
  }
  return 0;
}

BOOL CALLBACK CMessageBoxWatcher::OnTopLevelWindow(HWND window, LPARAM self) {
  reinterpret_cast<CMessageBoxWatcher*>(self)->Inspect(window);
  return TRUE;
}

void CMessageBoxWatcher::Inspect(HWND window) {
  if (!IsWindowVisible(window) || ClassOf(window) != L"#32770") return;
  if (handled_.count(window) != 0) return;
  CBoxParts parts;
  EnumChildWindows(window, CollectPart, reinterpret_cast<LPARAM>(&parts));
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  const wchar_t* where = process == GetCurrentProcessId() ? L"[host]: " : L"[other]: ";
  if (parts.hasProgress) {
    handled_.insert(window);
    PrintLine(std::wstring(L"window") + where + WindowText(window));
    return;
  }
  if (parts.text.empty()) return;
  handled_.insert(window);
  // One line per box: its line breaks become " | ".
  for (size_t at = parts.text.find_first_of(L"\r\n"); at != std::wstring::npos;
       at = parts.text.find_first_of(L"\r\n", at)) {
    size_t end = parts.text.find_first_not_of(L"\r\n", at);
    parts.text.replace(at, (end == std::wstring::npos ? parts.text.size() : end) - at, L" | ");
    at += 3;
  }
  PrintLine(std::wstring(L"msgbox") + where + WindowText(window) + L": " + parts.text);
  for (int id : buttons_) {
    HWND button = GetDlgItem(window, id);
    if (button == nullptr) continue;
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return;
  }
}
