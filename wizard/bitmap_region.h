// CBitmapRegion: the outline of a window cut from a bitmap. Every pixel of
// the bitmap that is not the transparent colour belongs to the window.
#pragma once

#include <windows.h>

class CBitmapRegion {
 public:
  // The region of the pixels of bitmap that are not transparent, in the
  // bitmap's coordinates; the caller owns it. Null when the bitmap cannot
  // be read, is 1 pixel wide or less, or has no rows.
  static HRGN BuildRegion(HBITMAP bitmap, COLORREF transparent);

  // Shapes window with BuildRegion; the window owns the region from then
  // on. False, and the window untouched, when either handle is null or no
  // region can be built.
  static bool ApplyFromBitmap(HBITMAP bitmap, HWND window, COLORREF transparent);
};
