// CSkinButton: a native button drawn from a vertical strip of up to four
// state pictures (normal, hover, pressed, disabled; for check boxes and
// radio buttons: check off, check on, disabled off, disabled on). It
// clicks on a left press and release inside it, never from the keyboard.
#pragma once

#include <windows.h>

#include "gdi_owners.h"
#include "subclassed_window.h"

// Where one state's picture lies in the strip.
struct StripEntry {
  int valid;
  int x;
  int y;
  int width;
  int height;
};

enum ButtonVisualState { BUTTON_NORMAL = 1, BUTTON_HOVER = 2, BUTTON_PRESSED = 3 };

// True for the check box, three-state, radio and group box kinds of the
// button style's low byte; never for push or owner-drawn buttons.
bool IsToggleButtonStyle(LONG style);

// The strip entry that shows a button: state is a ButtonVisualState,
// checked matters for toggle buttons only. The entry may be invalid, in
// which case nothing is drawn.
int ChooseStripEntry(bool enabled, bool toggle, bool checked, int state,
                     const StripEntry (&entries)[4]);

class CSkinButton : public CWnd {
 public:
  CSkinButton() = default;

  // Loads strip bitmap id from the resource module, cut into count states
  // (at most 4) stacked top to bottom, and sizes the button to one state.
  void SetStripImage(UINT id, int count);
  // SetStripImage, then moves the button to (x, y) of its parent's client
  // area.
  void SetStripImageAt(int x, int y, UINT id, int count);
  // Enables or disables the button window and resets its visual state.
  virtual void EnableButton(bool enable);

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnMouseMove(POINT point);
  void OnLButtonDown();
  void OnLButtonUp();
  void Paint(HDC dc);
  void SetVisualState(int state);
  void TakeCapture();
  void ReleaseHeldCapture();
  void Invalidate() { InvalidateRect(GetSafeHwnd(), nullptr, FALSE); }

  // All members belong to the window's thread.
  bool enabled_ = true;
  bool captured_ = false;
  bool pressed_ = false;
  int visualState_ = BUTTON_NORMAL;
  StripEntry entries_[4] = {};
  CBitmap strip_;
  bool toggle_ = false;
};
