// CWnd: a native control of a dialog taken over by a C++ object. The
// object's WindowProc sees every message first and hands the ones it does
// not handle to the control's own procedure with Default.
#pragma once

#include <windows.h>

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();  // gives a still existing window its own procedure back
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // Null before SubclassDlgItem and after the window is destroyed.
  HWND GetSafeHwnd() const { return hwnd_; }

  // Takes over the control id of parent. False when there is no such
  // control or this object already has a window.
  bool SubclassDlgItem(int id, HWND parent);
  bool SubclassWindow(HWND window);
  void UnsubclassWindow();

 protected:
  // Called on the window's thread once the window is taken over.
  virtual void OnSubclassed() {}
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // The control's own handling of a message.
  LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // Set and cleared on the window's thread; other threads only read it
  // while the window exists.
  HWND hwnd_ = nullptr;
  WNDPROC baseProc_ = nullptr;
};
