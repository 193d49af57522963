#include "bitmap_region.h"

namespace {

// Adds the runs of non-transparent pixels of row y, one rectangle a run.
void AddRowRuns(HDC dc, HRGN region, int y, int width, COLORREF transparent) {
  int x = 0;
  while (x < width) {
    while (x < width && GetPixel(dc, x, y) == transparent) ++x;
    if (x == width) return;
    int runStart = x;
    while (x < width && GetPixel(dc, x, y) != transparent) ++x;
    HRGN run = CreateRectRgn(runStart, y, x, y + 1);
    CombineRgn(region, region, run, RGN_OR);
    DeleteObject(run);
  }
}

}  // namespace

HRGN CBitmapRegion::BuildRegion(HBITMAP bitmap, COLORREF transparent) {
  BITMAP record;
  if (bitmap == nullptr || GetObjectA(bitmap, sizeof(record), &record) != sizeof(record))
    return nullptr;
  if (record.bmHeight <= 0 || record.bmWidth <= 1) return nullptr;

  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) return nullptr;
  HGDIOBJ previous = SelectObject(dc, bitmap);
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  for (int y = 0; region != nullptr && y < record.bmHeight; ++y)
    AddRowRuns(dc, region, y, record.bmWidth, transparent);
  SelectObject(dc, previous);
  DeleteDC(dc);
  return region;
}

bool CBitmapRegion::ApplyFromBitmap(HBITMAP bitmap, HWND window, COLORREF transparent) {
  if (window == nullptr) return false;
  HRGN region = BuildRegion(bitmap, transparent);
  if (region == nullptr) return false;
  if (SetWindowRgn(window, region, TRUE) == 0) {
    DeleteObject(region);
    return false;
  }
  return true;
}
