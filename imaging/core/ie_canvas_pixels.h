// Direct pixel access to what a canvas draws on, for the imaging core's
// per-pixel effects (xor, shading) that a pen or brush cannot express.
#pragma once

#include <cstdint>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

// A canvas's bitmap rows (24 or 32 bits), the canvas origin on that bitmap,
// and the area that may be touched, in canvas coordinates.
struct TIECanvasPixels {
  TBitmap* bitmap = nullptr;
  int bpp = 0;
  TPoint origin;
  TRect clip;

  std::uint8_t* Pixel(int x, int y) const {
    return bitmap->ScanLine(y + origin.Y) + static_cast<std::int64_t>(x + origin.X) * bpp;
  }
};

// The bytes per pixel of a bitmap this access can reach (24 or 32 bits), 0 otherwise.
inline int IEDirectPixelBytes(const TBitmap* b) {
  if (!b || b->Empty()) return 0;
  return b->PixelFormat() == pf24bit ? 3 : b->PixelFormat() == pf32bit ? 4 : 0;
}

// False when the canvas draws on nothing this access can reach (no bitmap,
// another pixel format, or an empty clip).
inline bool IECanvasPixels(TCanvas* Canvas, TIECanvasPixels& t) {
  if (!Canvas) return false;
  TBitmap* b = Canvas->Bitmap();
  t.bpp = IEDirectPixelBytes(b);
  if (t.bpp == 0) return false;
  TRect area = Rect(0, 0, b->Width(), b->Height());
  if (Canvas->HasDeviceClip() && !IntersectRect(area, area, Canvas->DeviceClip())) return false;
  t.bitmap = b;
  t.origin = Canvas->Origin();
  t.clip =
      Rect(area.Left - t.origin.X, area.Top - t.origin.Y, area.Right - t.origin.X, area.Bottom - t.origin.Y);
  return true;
}

// The same for a bitmap drawn on directly.
inline bool IEBitmapPixels(TBitmap* b, TIECanvasPixels& t) {
  t.bpp = IEDirectPixelBytes(b);
  if (t.bpp == 0) return false;
  t.bitmap = b;
  t.origin = Point(0, 0);
  t.clip = Rect(0, 0, b->Width(), b->Height());
  return true;
}

}  // namespace redozir
#pragma GCC visibility pop
