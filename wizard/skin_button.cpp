#include "skin_button.h"

#include "resource_module.h"

bool IsToggleButtonStyle(LONG style) {
  LONG kind = style & 0xFF;
  return (kind & 0x0B) != 0x0B && ((kind & 0x06) != 0 || (kind & 0x09) == 0x09);
}

int ChooseStripEntry(bool enabled, bool toggle, bool checked, int state,
                     const StripEntry (&entries)[4]) {
  if (toggle) {
    if (enabled) return checked ? 1 : 0;
    if (checked) return entries[3].valid ? 3 : 1;
    return entries[2].valid ? 2 : 0;
  }
  if (!enabled) return entries[3].valid ? 3 : 0;
  if (state == BUTTON_PRESSED) return entries[2].valid ? 2 : (entries[1].valid ? 1 : 0);
  if (state == BUTTON_HOVER) return entries[1].valid ? 1 : 0;
  return 0;
}

void CSkinButton::SetStripImage(UINT id, int count) {
  ReleaseHeldCapture();
  for (StripEntry& entry : entries_) entry = StripEntry{};
  strip_.Reset(LoadBitmapA(GetResourceModule(), MAKEINTRESOURCEA(id)));

  HWND window = GetSafeHwnd();
  BITMAP record;
  if (window != nullptr && strip_.Get() != nullptr && count > 0 && count <= 4 &&
      GetObjectA(strip_.Get(), sizeof(record), &record) == sizeof(record)) {
    int height = record.bmHeight / count;
    int width = record.bmWidth;
    if (width > 0 && height > 0) {
      SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
      for (int i = 0; i < count; ++i) entries_[i] = StripEntry{1, 0, i * height, width, height};
    }
  }
  toggle_ = IsToggleButtonStyle(GetWindowLongA(window, GWL_STYLE));
  enabled_ = IsWindowEnabled(window) != FALSE;
}

void CSkinButton::SetStripImageAt(int x, int y, UINT id, int count) {
  SetStripImage(id, count);
  SetWindowPos(GetSafeHwnd(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void CSkinButton::EnableButton(bool enable) {
  enabled_ = enable;
  ReleaseHeldCapture();
  EnableWindow(GetSafeHwnd(), enable);
  visualState_ = BUTTON_NORMAL;
  pressed_ = false;
  Invalidate();
}

LRESULT CSkinButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(GetSafeHwnd(), &paint);
      Paint(dc);
      EndPaint(GetSafeHwnd(), &paint);
      return 0;
    }
    case WM_ERASEBKGND:
      Paint(reinterpret_cast<HDC>(wParam));
      return TRUE;
    case WM_MOUSEMOVE:
      if (enabled_) OnMouseMove(POINT{(short)LOWORD(lParam), (short)HIWORD(lParam)});
      return 0;
    case WM_LBUTTONDOWN:
      if (enabled_) OnLButtonDown();
      return 0;
    case WM_LBUTTONUP:
      if (enabled_) OnLButtonUp();
      return 0;
    // A double click's second press and the keyboard never click.
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_KEYDOWN:
    case WM_ENABLE:
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      // The native button draws its focus look straight to the screen;
      // the strip picture is put back over it.
      LRESULT result = Default(message, wParam, lParam);
      Invalidate();
      return result;
    }
    case WM_SHOWWINDOW: {
      LRESULT result = Default(message, wParam, lParam);
      if (!wParam) ReleaseHeldCapture();
      return result;
    }
    case WM_SETCURSOR:
      return TRUE;
    default:
      return Default(message, wParam, lParam);
  }
}

void CSkinButton::OnMouseMove(POINT point) {
  TakeCapture();
  RECT client;
  GetClientRect(GetSafeHwnd(), &client);
  if (PtInRect(&client, point)) {
    if (visualState_ == BUTTON_NORMAL) SetVisualState(BUTTON_HOVER);
    if (pressed_ && visualState_ != BUTTON_PRESSED) SetVisualState(BUTTON_PRESSED);
  } else if (pressed_) {
    SetVisualState(BUTTON_HOVER);
  } else if (captured_ && ReleaseCapture()) {
    captured_ = false;
    SetVisualState(BUTTON_NORMAL);
  }
}

void CSkinButton::OnLButtonDown() {
  TakeCapture();
  pressed_ = true;
  visualState_ = BUTTON_PRESSED;
  Invalidate();
}

void CSkinButton::OnLButtonUp() {
  ReleaseHeldCapture();
  if (!pressed_) return;
  pressed_ = false;
  HWND window = GetSafeHwnd();
  if (visualState_ == BUTTON_PRESSED) {
    if (toggle_ && (GetWindowLongA(window, GWL_STYLE) & 0xFF) == BS_AUTOCHECKBOX) {
      LRESULT check = SendMessageA(window, BM_GETCHECK, 0, 0);
      SendMessageA(window, BM_SETCHECK, 1 - check, 0);
    }
    PostMessageA(GetParent(window), WM_COMMAND, GetDlgCtrlID(window),
                 reinterpret_cast<LPARAM>(window));
  }
  visualState_ = BUTTON_NORMAL;
  Invalidate();
}

void CSkinButton::Paint(HDC dc) {
  if (dc == nullptr || strip_.Get() == nullptr) return;
  HWND window = GetSafeHwnd();
  bool checked = toggle_ && SendMessageA(window, BM_GETCHECK, 0, 0) == BST_CHECKED;
  bool enabled = IsWindowEnabled(window) != FALSE;
  const StripEntry& entry =
      entries_[ChooseStripEntry(enabled, toggle_, checked, visualState_, entries_)];
  if (!entry.valid) return;
  CMemoryDC memory(dc, strip_.Get());
  if (memory.Get() == nullptr) return;
  BitBlt(dc, 0, 0, entry.width, entry.height, memory.Get(), entry.x, entry.y, SRCCOPY);
}

void CSkinButton::SetVisualState(int state) {
  visualState_ = state;
  Invalidate();
}

void CSkinButton::TakeCapture() {
  if (captured_) return;
  SetCapture(GetSafeHwnd());
  captured_ = true;
}

void CSkinButton::ReleaseHeldCapture() {
  if (!captured_) return;
  ReleaseCapture();
  captured_ = false;
}
