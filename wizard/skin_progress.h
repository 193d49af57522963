// CSkinProgressCtrl: a native progress bar with a 64-bit range and
// position, drawn from slices of one small image: a track (left cap,
// stretched middle, right cap) and over it a fill (left end, stretched
// middle, right end) as long as the position's share of the range.
//
// Image columns: 0-2 track left cap, 3-4 fill left end, 5-9 fill middle,
// 10-12 fill right end, 13-16 track middle, 17 track right cap. The
// image's rows are stretched to the bar's height.
#pragma once

#include <windows.h>

#include <cstdint>

#include "critical_section.h"
#include "gdi_owners.h"
#include "subclassed_window.h"

// a * b / c without overflow for 0 < a <= c; 0 when any of them is 0 or a
// is above c.
int64_t MulDiv64(int64_t a, int64_t b, int64_t c);

// The 32-bit upper end and position that the native control is told.
int32_t NativeProgressUpper(int64_t range);
int32_t NativeProgressPos(int64_t position, int64_t range);

// Length in pixels of the fill of a bar clientWidth wide at percent; one
// short of the width when full. The fill is drawn only from kMinFillLength.
int ProgressFillLength(int clientWidth, float percent);
const int kMinFillLength = 7;

// How often values set from other threads reach the screen: 10 pictures a
// second. Each picture of the bar and the status line costs a paint of
// both; at 20 a second the painting alone took half the processor time
// that the wizard adds to a fast download.
const UINT kRefreshMs = 100;

class CSkinProgressCtrl : public CWnd {
 public:
  CSkinProgressCtrl() = default;

  // Loads bitmap id of the resource module as the image. 0 on success, 1
  // when the bitmap's record cannot be read (the bar is then imageless).
  int SetImageResource(UINT id, bool redraw);
  // Takes ownership of image (null clears it); results as above.
  int SetImage(HBITMAP image, bool redraw);
  void ClearImage(bool deleteImage);

  // Range and position may be set from any thread. On the window's thread
  // the native control and the picture follow at once; from another thread
  // they follow on the window's thread within kRefreshMs, so that a job
  // reporting thousands of blocks never waits for a paint.
  // A range below 1 becomes 1; the position is kept.
  void SetRange64(int64_t range);
  // Clamped to 0 .. range.
  void SetPos64(int64_t position);
  void OffsetPos64(int64_t delta);
  void Fill();
  int64_t GetRange64() const;
  int64_t GetPos64() const;

 protected:
  void OnSubclassed() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  bool Paint(HDC dc);
  // Tells the native control the current values, on the window's thread,
  // or leaves them for the next refresh.
  void TellNative();
  void Refresh();

  // Guards range_, position_ and stale_: written by the job's worker, read
  // by the paint on the window's thread. Never held while a message is
  // sent.
  mutable CCriticalSection lock_;
  int64_t range_ = 100;
  int64_t position_ = 0;
  bool stale_ = false;  // the native control has not been told yet
  // Set once on the window's thread before any other thread uses the bar.
  DWORD windowThread_ = 0;
  // The window's thread only.
  CBitmap image_;
  int imageWidth_ = 0;
  int imageHeight_ = 0;
};
