// Row converters between the pixel formats of TIEBitmap and 24-bit RGB.
#include "imaging/core/ie_pixelrow.h"

#include <cstring>

#include "imaging/core/ie_color.h"
#include "platform/numeric.h"

namespace redozir {

namespace {
void PutWord(std::uint8_t* p, unsigned v) {
  p[0] = static_cast<std::uint8_t>(v & 0xFF);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
std::uint8_t Byte(int v) { return static_cast<std::uint8_t>(v); }
}  // namespace

void IERowToRGB(TIEPixelFormat pf, const std::uint8_t* Row, int X0, int Count, const TRGB* Palette,
                int PaletteLen, TRGB* Out) {
  for (int i = 0; i < Count; ++i) {
    int x = X0 + i;
    TRGB& o = Out[i];
    switch (pf) {
      case ie1g: {
        std::uint8_t v = (Row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        o = TRGB{v, v, v};
        break;
      }
      case ie8p: o = Row[x] < PaletteLen ? Palette[Row[x]] : TRGB{}; break;
      case ie8g: o = TRGB{Row[x], Row[x], Row[x]}; break;
      case ie16g: {
        std::uint8_t v = Row[2 * x + 1];
        o = TRGB{v, v, v};
        break;
      }
      case ie24RGB: std::memcpy(&o, Row + 3 * x, 3); break;
      case ie32RGB: std::memcpy(&o, Row + 4 * x, 3); break;
      case ie32f: {
        float f;
        std::memcpy(&f, Row + 4 * x, 4);
        std::uint8_t v = Byte(RoundClamp(static_cast<double>(f) * 255.0, 0, 255));
        o = TRGB{v, v, v};
        break;
      }
      case ieCMYK: {
        const std::uint8_t* p = Row + 4 * x;
        o = IEConvertCMYKToRGB(TCMYK{p[0], p[1], p[2], p[3]});
        break;
      }
      case ieCIELab: {
        const std::uint8_t* p = Row + 3 * x;
        o = IECIELabToRGB(TCIELab{p[0], static_cast<std::int8_t>(p[1]), static_cast<std::int8_t>(p[2])});
        break;
      }
      case ieRGB48: {
        const std::uint8_t* p = Row + 6 * x;
        o = TRGB{p[5], p[3], p[1]};
        break;
      }
      default: o = TRGB{}; break;
    }
  }
}

bool IERowFromRGB(TIEPixelFormat pf, const TRGB* In, int Count, std::uint8_t* Row) {
  switch (pf) {
    case ie8g:
      for (int x = 0; x < Count; ++x) Row[x] = Byte(IEGrayOf(In[x]));
      return true;
    case ie16g:
      for (int x = 0; x < Count; ++x) PutWord(Row + 2 * x, IEGrayOf(In[x]) * 257u);
      return true;
    case ie24RGB: std::memcpy(Row, In, static_cast<size_t>(Count) * 3); return true;
    case ie32RGB:
      for (int x = 0; x < Count; ++x) {
        std::memcpy(Row + 4 * x, &In[x], 3);
        Row[4 * x + 3] = 0;
      }
      return true;
    case ie32f:
      for (int x = 0; x < Count; ++x) {
        float f = static_cast<float>(IEGrayOf(In[x]) / 255.0);
        std::memcpy(Row + 4 * x, &f, 4);
      }
      return true;
    case ieCMYK:
      for (int x = 0; x < Count; ++x) {
        TCMYK c = IEConvertRGBToCMYK(In[x]);
        std::memcpy(Row + 4 * x, &c, 4);
      }
      return true;
    case ieCIELab:
      for (int x = 0; x < Count; ++x) {
        TCIELab c = IERGBToCIELab(In[x]);
        std::memcpy(Row + 3 * x, &c, 3);
      }
      return true;
    case ieRGB48:
      // v x 257 spreads a byte over the word, so the high byte gives it back.
      for (int x = 0; x < Count; ++x) {
        PutWord(Row + 6 * x, In[x].r * 257u);
        PutWord(Row + 6 * x + 2, In[x].g * 257u);
        PutWord(Row + 6 * x + 4, In[x].b * 257u);
      }
      return true;
    default: return false;
  }
}

}  // namespace redozir
