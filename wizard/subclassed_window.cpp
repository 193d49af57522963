#include "subclassed_window.h"

CWnd::~CWnd() { UnsubclassWindow(); }

bool CWnd::SubclassDlgItem(int id, HWND parent) {
  return SubclassWindow(GetDlgItem(parent, id));
}

bool CWnd::SubclassWindow(HWND window) {
  if (window == nullptr || hwnd_ != nullptr) return false;
  // The object is found through the window's user data, which the native
  // button and progress classes leave to their owners.
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  baseProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
  hwnd_ = window;
  OnSubclassed();
  return true;
}

void CWnd::UnsubclassWindow() {
  if (hwnd_ == nullptr) return;
  SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(baseProc_));
  SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
  hwnd_ = nullptr;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return Default(message, wParam, lParam);
}

LRESULT CWnd::Default(UINT message, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcA(baseProc_, hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK CWnd::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* self = reinterpret_cast<CWnd*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  if (message != WM_NCDESTROY) return self->WindowProc(message, wParam, lParam);
  // The window is going: let its own procedure finish, then forget it.
  WNDPROC baseProc = self->baseProc_;
  self->UnsubclassWindow();
  return CallWindowProcA(baseProc, window, message, wParam, lParam);
}
