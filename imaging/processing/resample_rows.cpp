// Rows of the common pixel formats read as 24-bit colour, for the
// resamplers' 24-bit copies and the renderer.
#include <cstring>

#include "imaging/processing/resample_internal.h"

bool IERowToRGB24Handles(TIEPixelFormat pf) {
  switch (pf) {
    case ie1g:
    case ie8p:
    case ie8g:
    case ie16g:
    case ie24RGB:
    case ie32RGB:
    case ieRGB48: return true;
    default: return false;
  }
}

void IERowToRGB24(TIEPixelFormat pf, const std::uint8_t* Row, int X0, int Count, const TRGB* Palette,
                  int PaletteLength, std::uint8_t* Out) {
  for (int i = 0; i < Count; ++i, Out += 3) {
    int x = X0 + i;
    switch (pf) {
      case ie1g: Out[0] = Out[1] = Out[2] = (Row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0; break;
      case ie8p: {
        int k = Row[x];
        TRGB c = k < PaletteLength ? Palette[k] : TRGB{};
        Out[0] = c.b;
        Out[1] = c.g;
        Out[2] = c.r;
        break;
      }
      case ie8g: Out[0] = Out[1] = Out[2] = Row[x]; break;
      case ie16g: {
        std::uint16_t v;
        std::memcpy(&v, Row + 2 * static_cast<std::size_t>(x), 2);
        Out[0] = Out[1] = Out[2] = static_cast<std::uint8_t>(v >> 8);
        break;
      }
      case ie24RGB: std::memcpy(Out, Row + 3 * static_cast<std::size_t>(x), 3); break;
      case ie32RGB: std::memcpy(Out, Row + 4 * static_cast<std::size_t>(x), 3); break;
      case ieRGB48: {
        TRGB48 c;
        std::memcpy(&c, Row + 6 * static_cast<std::size_t>(x), 6);
        Out[0] = static_cast<std::uint8_t>(c.b >> 8);
        Out[1] = static_cast<std::uint8_t>(c.g >> 8);
        Out[2] = static_cast<std::uint8_t>(c.r >> 8);
        break;
      }
      default: Out[0] = Out[1] = Out[2] = 0; break;
    }
  }
}
