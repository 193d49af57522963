#include "bitmap_region.h"

#include "gdi_owners.h"

namespace {

// Adds the runs of non-transparent pixels of row y, one rectangle a run.
void AddRowRuns(HDC dc, HRGN region, int y, int width, COLORREF transparent) {
  int x = 0;
  while (x < width) {
    while (x < width && GetPixel(dc, x, y) == transparent) ++x;
    if (x == width) return;
    int runStart = x;
    while (x < width && GetPixel(dc, x, y) != transparent) ++x;
    CRegion run(CreateRectRgn(runStart, y, x, y + 1));
    CombineRgn(region, region, run.Get(), RGN_OR);
  }
}

}  // namespace

HRGN CBitmapRegion::BuildRegion(HBITMAP bitmap, COLORREF transparent) {
  BITMAP record;
  if (bitmap == nullptr || GetObjectA(bitmap, sizeof(record), &record) != sizeof(record))
    return nullptr;
  if (record.bmHeight <= 0 || record.bmWidth <= 1) return nullptr;

  CMemoryDC dc(nullptr, bitmap);
  if (dc.Get() == nullptr) return nullptr;
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  for (int y = 0; region != nullptr && y < record.bmHeight; ++y)
    AddRowRuns(dc.Get(), region, y, record.bmWidth, transparent);
  return region;
}

bool CBitmapRegion::ApplyFromBitmap(HBITMAP bitmap, HWND window, COLORREF transparent) {
  if (window == nullptr) return false;
  CRegion region(BuildRegion(bitmap, transparent));
  if (region.Get() == nullptr) return false;
  if (SetWindowRgn(window, region.Get(), TRUE) == 0) return false;
  region.Detach();  // the window's now
  return true;
}
