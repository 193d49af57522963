// CMessageBoxWatcher answers the message boxes that appear while a page
// runs, in this process or another (the engine's window may run in the COM
// surrogate), as a player would: it prints each box's title and text as
//   msgbox[host]: TITLE: TEXT     (or msgbox[other] for another process)
// and presses the first button of the policy that the box has. A dialog
// with a progress bar (the setup window) is printed once as
//   window[host]: TITLE           (or window[other])
#pragma once

#include <windows.h>

#include <set>
#include <vector>

class CMessageBoxWatcher {
 public:
  // buttons: IDOK, IDCANCEL, IDYES, IDNO... in order of preference; empty
  // leaves every box on screen (only recorded).
  explicit CMessageBoxWatcher(const std::vector<int>& buttons);
  ~CMessageBoxWatcher();  // stops and joins the thread
  CMessageBoxWatcher(const CMessageBoxWatcher&) = delete;
  CMessageBoxWatcher& operator=(const CMessageBoxWatcher&) = delete;

  bool Start();

 private:
  static DWORD WINAPI ThreadMain(void* self);
  static BOOL CALLBACK OnTopLevelWindow(HWND window, LPARAM self);
  void Inspect(HWND window);

  std::vector<int> buttons_;   // read-only while the thread runs
  std::set<HWND> handled_;     // the thread's own
  HANDLE stop_ = nullptr;      // event; owned
  HANDLE thread_ = nullptr;    // owned
};
