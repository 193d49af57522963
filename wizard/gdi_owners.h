// Owners of the wizard's GDI objects and memory device contexts: each
// releases what it holds in its destructor.
#pragma once

#include <windows.h>

#include "handle_owner.h"

struct CDeleteGdiObject {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};

// Owns one GDI object (a bitmap, a region) and deletes it.
template <class Handle>
using CGdiObject = CHandleOwner<Handle, CDeleteGdiObject>;

typedef CGdiObject<HBITMAP> CBitmap;
typedef CGdiObject<HRGN> CRegion;

// A memory device context compatible with another (null: with the
// screen), with one object selected into it for its whole life. The
// selection is undone before the context is deleted, so that the object
// can be deleted afterwards.
class CMemoryDC {
 public:
  CMemoryDC(HDC compatible, HGDIOBJ selected) : dc_(CreateCompatibleDC(compatible)) {
    if (dc_ != nullptr && selected != nullptr) previous_ = SelectObject(dc_, selected);
  }
  ~CMemoryDC() {
    if (dc_ == nullptr) return;
    if (previous_ != nullptr) SelectObject(dc_, previous_);
    DeleteDC(dc_);
  }
  CMemoryDC(const CMemoryDC&) = delete;
  CMemoryDC& operator=(const CMemoryDC&) = delete;

  // Null when the context could not be made.
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ previous_ = nullptr;
};

// The back buffer of a paint: a bitmap of the painted size in a memory
// context compatible with the target. A picture is drawn on Dc() and then
// copied to the target at once, so the screen never shows it half drawn.
class CDoubleBuffer {
 public:
  CDoubleBuffer(HDC target, int width, int height)
      : width_(width),
        height_(height),
        canvas_(CreateCompatibleBitmap(target, width, height)),
        memory_(target, canvas_.Get()) {}

  // False when the bitmap or the context could not be made.
  bool Ok() const { return canvas_.Get() != nullptr && memory_.Get() != nullptr; }
  HDC Dc() const { return memory_.Get(); }
  // Copies the whole picture to (0, 0) of target.
  void CopyTo(HDC target) const {
    BitBlt(target, 0, 0, width_, height_, memory_.Get(), 0, 0, SRCCOPY);
  }

 private:
  int width_;
  int height_;
  CBitmap canvas_;    // declared before memory_: deleted once memory_ has let go of it
  CMemoryDC memory_;
};
