#include "skin_progress.h"

#include <commctrl.h>

#include <cmath>

#include "resource_module.h"

namespace {

const int64_t kNativeMax = 0x7FFFFFFF;
const UINT_PTR kRefreshTimer = 1;

// One slice of the image, stretched to the destination columns over the
// bar's whole height.
void DrawSlice(HDC target, int destX, int destWidth, int height, HDC image, int srcX,
               int srcWidth, int imageHeight) {
  if (destWidth <= 0) return;
  StretchBlt(target, destX, 0, destWidth, height, image, srcX, 0, srcWidth, imageHeight, SRCCOPY);
}

}  // namespace

int64_t MulDiv64(int64_t a, int64_t b, int64_t c) {
  if (a == 0 || b == 0 || c == 0 || a > c) return 0;
  if (b <= int64_t{0xFFFFFFFF} / a) return a * b / c;
  return static_cast<int64_t>(std::trunc(static_cast<double>(a) / c * b));
}

int32_t NativeProgressUpper(int64_t range) {
  return static_cast<int32_t>(range < kNativeMax ? range : kNativeMax);
}

int32_t NativeProgressPos(int64_t position, int64_t range) {
  if (range <= kNativeMax) return static_cast<int32_t>(position);
  return static_cast<int32_t>(MulDiv64(position, kNativeMax, range));
}

int ProgressFillLength(int clientWidth, float percent) {
  // The factor is a float on purpose: a full bar stops one pixel short of
  // the right edge, where the track's cap stays visible.
  const float kPercentToShare = 0.01f;
  int length = static_cast<int>(static_cast<double>(clientWidth) * kPercentToShare * percent);
  if (length > clientWidth) length = clientWidth - 1;
  return length;
}

int CSkinProgressCtrl::SetImageResource(UINT id, bool redraw) {
  HANDLE image = LoadImageA(GetResourceModule(), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0,
                            LR_DEFAULTCOLOR);
  return SetImage(static_cast<HBITMAP>(image), redraw);
}

int CSkinProgressCtrl::SetImage(HBITMAP image, bool redraw) {
  ClearImage(true);
  image_.Reset(image);
  HWND window = GetSafeHwnd();
  if (image != nullptr) {
    BITMAP record;
    if (GetObjectA(image, sizeof(record), &record) != sizeof(record)) {
      ClearImage(true);
      return 1;
    }
    imageWidth_ = record.bmWidth;
    imageHeight_ = record.bmHeight;
    LONG_PTR exStyle = GetWindowLongPtrA(window, GWL_EXSTYLE);
    if (exStyle & WS_EX_STATICEDGE)
      SetWindowLongPtrA(window, GWL_EXSTYLE, exStyle & ~LONG_PTR{WS_EX_STATICEDGE});
  }
  if (redraw && window != nullptr) InvalidateRect(window, nullptr, TRUE);
  return 0;
}

void CSkinProgressCtrl::ClearImage(bool deleteImage) {
  if (deleteImage)
    image_.Reset();
  else
    image_.Detach();
  imageWidth_ = 0;
  imageHeight_ = 0;
}

void CSkinProgressCtrl::SetRange64(int64_t range) {
  {
    CCriticalSectionLock hold(lock_);
    range_ = range < 2 ? 1 : range;
    stale_ = true;
  }
  TellNative();
}

void CSkinProgressCtrl::SetPos64(int64_t position) {
  {
    CCriticalSectionLock hold(lock_);
    position_ = position < 0 ? 0 : (position > range_ ? range_ : position);
    stale_ = true;
  }
  TellNative();
}

void CSkinProgressCtrl::OffsetPos64(int64_t delta) { SetPos64(GetPos64() + delta); }

void CSkinProgressCtrl::Fill() { SetPos64(GetRange64()); }

int64_t CSkinProgressCtrl::GetRange64() const {
  CCriticalSectionLock hold(lock_);
  return range_;
}

int64_t CSkinProgressCtrl::GetPos64() const {
  CCriticalSectionLock hold(lock_);
  return position_;
}

void CSkinProgressCtrl::OnSubclassed() {
  windowThread_ = GetCurrentThreadId();
  SetTimer(GetSafeHwnd(), kRefreshTimer, kRefreshMs, nullptr);
}

void CSkinProgressCtrl::TellNative() {
  if (GetSafeHwnd() != nullptr && GetCurrentThreadId() == windowThread_) Refresh();
}

void CSkinProgressCtrl::Refresh() {
  bool stale;
  int64_t range, position;
  {
    CCriticalSectionLock hold(lock_);
    stale = stale_;
    range = range_;
    position = position_;
    stale_ = false;
  }
  if (!stale) return;
  // The native control repaints itself, and so the picture, on a change.
  Default(PBM_SETRANGE32, 0, NativeProgressUpper(range));
  Default(PBM_SETPOS, NativeProgressPos(position, range), 0);
}

LRESULT CSkinProgressCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kRefreshTimer) {
    Refresh();
    return 0;
  }
  if (message == WM_DESTROY) KillTimer(GetSafeHwnd(), kRefreshTimer);
  if (message != WM_PAINT || image_.Get() == nullptr) return Default(message, wParam, lParam);
  PAINTSTRUCT paint;
  HWND window = GetSafeHwnd();
  HDC dc = BeginPaint(window, &paint);
  bool painted = Paint(dc);
  EndPaint(window, &paint);
  if (painted) return 0;
  // Nothing was drawn: the native control paints the invalid area again.
  InvalidateRect(window, nullptr, TRUE);
  return Default(message, wParam, lParam);
}

bool CSkinProgressCtrl::Paint(HDC dc) {
  if (dc == nullptr) return false;
  RECT client;
  GetClientRect(GetSafeHwnd(), &client);
  const int width = client.right, height = client.bottom;
  CDoubleBuffer buffer(dc, width, height);
  CMemoryDC imageDc(dc, image_.Get());
  if (!buffer.Ok() || imageDc.Get() == nullptr) return false;
  HDC memory = buffer.Dc(), source = imageDc.Get();
  // Rows are dropped, not blended, when the image is shrunk to the bar.
  SetStretchBltMode(memory, COLORONCOLOR);

  int64_t range = GetRange64(), position = GetPos64();
  float percent = static_cast<float>(100.0 / static_cast<double>(range) * position);
  const int hi = imageHeight_;
  DrawSlice(memory, 0, 3, height, source, 0, 3, hi);
  DrawSlice(memory, 3, width - 4, height, source, 13, 4, hi);
  DrawSlice(memory, width - 1, 1, height, source, 17, 1, hi);
  int fill = ProgressFillLength(width, percent);
  if (fill >= kMinFillLength) {
    DrawSlice(memory, 1, 2, height, source, 3, 2, hi);
    DrawSlice(memory, 3, fill - 5, height, source, 5, 5, hi);
    DrawSlice(memory, fill - 3, 3, height, source, 10, 3, hi);
  }
  buffer.CopyTo(dc);
  return true;
}
