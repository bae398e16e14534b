// Row reading as colours, one loop per pixel format.
#include "imaging/processing/pixel_rows.h"

#include <cstring>

#include "platform/numeric.h"

namespace {
inline TRGB Grey(std::uint8_t v) { return TRGB{v, v, v}; }
}  // namespace

bool IEReadRowRGB(TIEBitmap* Bitmap, int Y, TRGB* Out) {
  const int w = Bitmap->GetWidth();
  const std::uint8_t* p = Bitmap->GetScanline(Y);
  switch (Bitmap->GetPixelFormat()) {
    case ie1g:
      for (int x = 0; x < w; ++x) Out[x] = Grey((p[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0);
      return true;
    case ie8p:
      for (int x = 0; x < w; ++x) Out[x] = Bitmap->GetPalette(p[x]);
      return true;
    case ie8g:
      for (int x = 0; x < w; ++x) Out[x] = Grey(p[x]);
      return true;
    case ie16g:
      for (int x = 0; x < w; ++x) Out[x] = Grey(p[2 * x + 1]);
      return true;
    case ie24RGB: std::memcpy(Out, p, static_cast<size_t>(w) * 3); return true;
    case ie32RGB:
      for (int x = 0; x < w; ++x) Out[x] = TRGB{p[4 * x], p[4 * x + 1], p[4 * x + 2]};
      return true;
    case ie32f:
      for (int x = 0; x < w; ++x) {
        float f;
        std::memcpy(&f, p + 4 * x, 4);
        Out[x] = Grey(static_cast<std::uint8_t>(RoundClamp(static_cast<double>(f) * 255, 0, 255)));
      }
      return true;
    case ieRGB48:
      // Words red, green, blue; the high byte of a little-endian word is its second.
      for (int x = 0; x < w; ++x) Out[x] = TRGB{p[6 * x + 5], p[6 * x + 3], p[6 * x + 1]};
      return true;
    default: return false;
  }
}
