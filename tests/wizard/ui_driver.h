// Drives the setup window as a player would, from a second thread of the
// test process: finds windows by class and title, presses their buttons,
// moves and clicks the mouse and types keys through the system's input
// queue.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

// The texts the player sees, in the language of this run's user.
struct SetupTexts {
  std::wstring title;
  std::wstring cancelQuestion;
  std::wstring failed;
  std::wstring reasonLabel;
  std::wstring downloadFailed;   // the reason of 5006 to 5008
  std::wstring invalidSetupInfo; // the reason of 5101 to 5111
  std::wstring downloading;      // with %d/%d
  std::wstring extracting;
  std::wstring installing;
  bool korean;
};
const SetupTexts& ExpectedTexts();
std::wstring Widen(const std::string& ansi);  // system code page
std::wstring FromUtf8(const char* text);

// The setup window on screen, or null.
HWND FindSetupWindow();
// A message box titled as the setup window, or null.
HWND FindSetupMessageBox();
HWND WaitFor(HWND (*find)(), DWORD timeoutMs);
std::wstring MessageBoxText(HWND box);
// Presses the box's button (IDYES, IDNO, IDOK) as a click does.
void PressBoxButton(HWND box, int id);
// Presses the button and waits until the box has closed.
void AnswerBox(HWND box, int id);
// Answers every setup message box with answer until done is set; their
// texts in the order they were shown.
std::vector<std::wstring> AnswerBoxesUntil(const std::atomic<bool>& done, int answer);

// Waits until the thread of window has taken every message posted to it
// and every input queued for it so far, and has handled them, paints
// included; a message that opened a modal loop (a message box) counts as
// handled once that loop waits. False when that takes over timeoutMs or
// the window is gone. One driver thread at a time.
bool WaitUntilHandled(HWND window, DWORD timeoutMs = 5000);
// Waits until the setup window shows what its job has reported so far:
// the job's values reach the screen at the next refresh of the window and
// of its bar.
bool WaitForRefresh(HWND wizard, DWORD timeoutMs = 5000);

// Mouse and keyboard, in the wizard's client coordinates. Each returns
// once the window of this process that takes the input has handled it.
POINT ClientToScreenPoint(HWND window, int x, int y);
void MouseMoveTo(POINT screen);
void MouseDown();
void MouseUp();
void TypeKey(WORD key);
void BringToFront(HWND window);

// Runs body on its own thread; Join waits for it.
class CDriverThread {
 public:
  template <typename Body>
  explicit CDriverThread(Body body) : body_(new Holder<Body>(body)) {
    thread_ = CreateThread(nullptr, 0, &Run, body_, 0, nullptr);
  }
  ~CDriverThread() {
    Join();
    delete body_;
  }
  void Join() {
    if (thread_ == nullptr) return;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
  }

 private:
  struct Callable {
    virtual ~Callable() = default;
    virtual void Call() = 0;
  };
  template <typename Body>
  struct Holder : Callable {
    explicit Holder(Body b) : body(b) {}
    void Call() override { body(); }
    Body body;
  };
  static DWORD WINAPI Run(LPVOID callable) {
    static_cast<Callable*>(callable)->Call();
    return 0;
  }
  Callable* body_;
  HANDLE thread_;
};
