#include "ui_driver.h"

#include <cstdlib>
#include <cwchar>

std::wstring FromUtf8(const char* text) {
  wchar_t buffer[1024];
  int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, buffer, 1024);
  return std::wstring(buffer, length > 0 ? length - 1 : 0);
}

std::wstring Widen(const std::string& ansi) {
  wchar_t buffer[1024];
  int length = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, buffer, 1024);
  return std::wstring(buffer, length > 0 ? length - 1 : 0);
}

const SetupTexts& ExpectedTexts() {
  static const SetupTexts english = {
      L"Ovelin ActiveX Setup Wizard.",
      L"Do you want to cancel?\r\nCannot execute ActiveX if ActiveX installation canceled.",
      L"ActiveX installation failed.",
      L"Reason : \r\n",
      L"Download failed.",
      L"Invalid setup information file.",
      L"Downloading... ( %d/%d KB )",
      L"Extracting ( %d/%d )",
      L"Installing...( %d/%d )",
      false};
  static const SetupTexts korean = {
      FromUtf8("오벨린 ActiveX 설치 마법사"),
      FromUtf8("ActiveX설치를 취소하시겠습니까?\r\n설치 취소(실패)시 해당 ActiveX 가 실행되지 않습니다. "),
      FromUtf8("오류가 발생하여 ActiveX 설치를 완료하지 못했습니다."),
      FromUtf8("이유 : "),
      FromUtf8("파일을 다운로드 할 수 없습니다."),
      FromUtf8("설치 정보 파일이 잘못되었습니다."),
      FromUtf8("다운로드중... ( %d/%d KB )"),
      FromUtf8("설치 파일 추출중... ( %d/%d )"),
      FromUtf8("파일 설치중... ( %d/%d )"),
      true};
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_KOREAN ? korean : english;
}

namespace {

// The id of the bar in the window's template; only the wizard has one.
const int kProgressBarId = 10001;

struct Search {
  bool wantWizard;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
  Search* search = reinterpret_cast<Search*>(param);
  wchar_t className[64], title[256];
  if (!IsWindowVisible(window) || GetWindowThreadProcessId(window, nullptr) == 0) return TRUE;
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId()) return TRUE;
  GetClassNameW(window, className, 64);
  GetWindowTextW(window, title, 256);
  if (wcscmp(className, L"#32770") != 0 || ExpectedTexts().title != title) return TRUE;
  bool isWizard = GetDlgItem(window, kProgressBarId) != nullptr;
  if (isWizard != search->wantWizard) return TRUE;
  search->found = window;
  return FALSE;
}

HWND FindTopLevel(bool wizard) {
  Search search = {wizard, nullptr};
  EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The round trip of WaitUntilHandled: a message that no window knows, so
// that DefWindowProc answers it, and what the window's thread found in its
// queue when it took it.
UINT SyncMessage() {
  static const UINT message = RegisterWindowMessageW(L"OVSetupTestDriverSync");
  return message;
}
std::atomic<bool> gQueueWasEmpty{false};

// On the window's thread, as it takes a sent message.
LRESULT CALLBACK NoteQueue(int code, WPARAM fromThisThread, LPARAM param) {
  const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(param);
  if (code == HC_ACTION && call->message == SyncMessage())
    gQueueWasEmpty = HIWORD(GetQueueStatus(QS_POSTMESSAGE | QS_INPUT | QS_PAINT)) == 0;
  return CallNextHookEx(nullptr, code, fromThisThread, param);
}

// The windows whose refresh timers WaitForRefresh waits for, and whether
// their threads have taken a tick of them.
std::atomic<HWND> gRefreshed[2];
std::atomic<bool> gTicked[2];

// On the window's thread, as it takes a message from its queue.
LRESULT CALLBACK NoteTimers(int code, WPARAM removed, LPARAM param) {
  const MSG* message = reinterpret_cast<const MSG*>(param);
  if (code == HC_ACTION && removed == PM_REMOVE && message->message == WM_TIMER)
    for (int i = 0; i < 2; ++i)
      if (message->hwnd == gRefreshed[i]) gTicked[i] = true;
  return CallNextHookEx(nullptr, code, removed, param);
}

// The top-level window of window, when this process owns it.
HWND OwnTopLevel(HWND window) {
  DWORD process = 0;
  if (window == nullptr || GetWindowThreadProcessId(window, &process) == 0 ||
      process != GetCurrentProcessId())
    return nullptr;
  return GetAncestor(window, GA_ROOT);
}

void WaitUntilMouseHandled() {
  POINT cursor;
  GetCursorPos(&cursor);
  HWND window = OwnTopLevel(WindowFromPoint(cursor));
  if (window != nullptr) WaitUntilHandled(window);
}

void SendMouse(DWORD flags) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  SendInput(1, &input, sizeof(input));
  WaitUntilMouseHandled();
}

}  // namespace

// A message sent to the window comes back once its thread asks for its
// next message, but a thread takes the messages sent to it before those
// posted and before input: the round trip is repeated until the thread's
// queue held nothing else, and then once more, so that what a modal loop
// does when it finds its queue empty (a dialog shows itself then) is done
// too.
bool WaitUntilHandled(HWND window, DWORD timeoutMs) {
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, &NoteQueue, nullptr,
                                 GetWindowThreadProcessId(window, nullptr));
  if (hook == nullptr) return false;
  const DWORD start = GetTickCount();
  int emptyInARow = 0;
  while (emptyInARow < 2 && GetTickCount() - start < timeoutMs) {
    gQueueWasEmpty = false;
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, SyncMessage(), 0, 0, SMTO_NORMAL, timeoutMs, &answer)) break;
    emptyInARow = gQueueWasEmpty ? emptyInARow + 1 : 0;
  }
  UnhookWindowsHookEx(hook);
  return emptyInARow == 2;
}

bool WaitForRefresh(HWND wizard, DWORD timeoutMs) {
  gRefreshed[0] = wizard;
  gRefreshed[1] = GetDlgItem(wizard, kProgressBarId);
  gTicked[0] = gTicked[1] = false;
  HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, &NoteTimers, nullptr,
                                 GetWindowThreadProcessId(wizard, nullptr));
  if (hook == nullptr) return false;
  const DWORD start = GetTickCount();
  while (!(gTicked[0] && gTicked[1]) && GetTickCount() - start < timeoutMs) Sleep(10);
  UnhookWindowsHookEx(hook);
  return gTicked[0] && gTicked[1] && WaitUntilHandled(wizard, timeoutMs);
}

HWND FindSetupWindow() { return FindTopLevel(true); }

HWND FindSetupMessageBox() { return FindTopLevel(false); }

HWND WaitFor(HWND (*find)(), DWORD timeoutMs) {
  DWORD start = GetTickCount();
  do {
    HWND window = find();
    if (window != nullptr) return window;
    Sleep(20);
  } while (GetTickCount() - start < timeoutMs);
  return nullptr;
}

std::wstring MessageBoxText(HWND box) {
  wchar_t text[1024] = L"";
  GetDlgItemTextW(box, 0xFFFF, text, 1024);
  return text;
}

void PressBoxButton(HWND box, int id) {
  PostMessageW(GetDlgItem(box, id), BM_CLICK, 0, 0);
}

void AnswerBox(HWND box, int id) {
  PressBoxButton(box, id);
  while (IsWindow(box)) Sleep(20);
}

std::vector<std::wstring> AnswerBoxesUntil(const std::atomic<bool>& done, int answer) {
  std::vector<std::wstring> texts;
  while (!done) {
    HWND box = FindSetupMessageBox();
    if (box == nullptr) {
      Sleep(20);
      continue;
    }
    texts.push_back(MessageBoxText(box));
    AnswerBox(box, answer);
  }
  return texts;
}

POINT ClientToScreenPoint(HWND window, int x, int y) {
  POINT point = {x, y};
  ClientToScreen(window, &point);
  return point;
}

void MouseMoveTo(POINT screen) {
  SetCursorPos(screen.x, screen.y);
  SendMouse(MOUSEEVENTF_MOVE);  // a zero move: the window under it hears of it
}

void MouseDown() {
  // A press soon after another at the same place reaches the window as the
  // second half of a double click: this one waits until it cannot.
  static POINT lastPress;
  static DWORD lastPressTime;
  static bool pressed = false;
  POINT cursor;
  GetCursorPos(&cursor);
  if (pressed && std::abs(cursor.x - lastPress.x) <= GetSystemMetrics(SM_CXDOUBLECLK) &&
      std::abs(cursor.y - lastPress.y) <= GetSystemMetrics(SM_CYDOUBLECLK)) {
    while (GetTickCount() - lastPressTime <= GetDoubleClickTime()) Sleep(10);
  }
  SendMouse(MOUSEEVENTF_LEFTDOWN);
  lastPress = cursor;
  lastPressTime = GetTickCount();
  pressed = true;
}

void MouseUp() { SendMouse(MOUSEEVENTF_LEFTUP); }

void TypeKey(WORD key) {
  INPUT inputs[2] = {};
  inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
  inputs[0].ki.wVk = inputs[1].ki.wVk = key;
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, inputs, sizeof(INPUT));
  HWND window = OwnTopLevel(GetForegroundWindow());
  if (window != nullptr) WaitUntilHandled(window);
}

void BringToFront(HWND window) {
  SetForegroundWindow(window);
  const DWORD start = GetTickCount();
  while (GetForegroundWindow() != window && GetTickCount() - start < 5000) Sleep(10);
  WaitUntilHandled(window);
}
