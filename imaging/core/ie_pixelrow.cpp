// Row converters between the pixel formats of TIEBitmap and 24-bit RGB.
#include "imaging/core/ie_pixelrow.h"

#include <algorithm>
#include <cstring>

#include "imaging/core/ie_color.h"
#include "imaging/core/iebitmap.h"
#include "imaging/core/iebitmap_render.h"
#include "platform/numeric.h"
#include "platform/simd_level.h"

namespace redozir {

namespace {
void PutWord(std::uint8_t* p, unsigned v) {
  p[0] = static_cast<std::uint8_t>(v & 0xFF);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
std::uint8_t Byte(int v) { return static_cast<std::uint8_t>(v); }
}  // namespace

namespace {
// One reader per pixel format; each reads Count pixels from pixel X0.
void Row1g(const std::uint8_t* Row, int X0, int Count, const TRGB*, int, TRGB* Out) {
  for (int i = 0; i < Count; ++i) {
    const int x = X0 + i;
    const std::uint8_t v = (Row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    Out[i] = TRGB{v, v, v};
  }
}
void Row8p(const std::uint8_t* Row, int X0, int Count, const TRGB* Palette, int PaletteLen, TRGB* Out) {
  Row += X0;
  for (int i = 0; i < Count; ++i) Out[i] = Row[i] < PaletteLen ? Palette[Row[i]] : TRGB{};
}
void Row8g(const std::uint8_t* Row, int X0, int Count, const TRGB*, int, TRGB* Out) {
  IEGreyRowToRGB(Row + X0, Count, Out);
}
void Row16g(const std::uint8_t* Row, int X0, int Count, const TRGB*, int, TRGB* Out) {
  Row += 2 * static_cast<std::size_t>(X0);
  for (int i = 0; i < Count; ++i) {
    const std::uint8_t v = Row[2 * i + 1];
    Out[i] = TRGB{v, v, v};
  }
}
void Row24(const std::uint8_t* Row, int X0, int Count, const TRGB*, int, TRGB* Out) {
  std::memcpy(Out, Row + 3 * static_cast<std::size_t>(X0), 3 * static_cast<std::size_t>(Count));
}
void Row32(const std::uint8_t* Row, int X0, int Count, const TRGB*, int, TRGB* Out) {
  IE32RowToRGB(Row + 4 * static_cast<std::size_t>(X0), Count, Out);
}
void Row32f(const std::uint8_t* Row, int X0, int Count, const TRGB*, int, TRGB* Out) {
  Row += 4 * static_cast<std::size_t>(X0);
  for (int i = 0; i < Count; ++i) {
    float f;
    std::memcpy(&f, Row + 4 * i, 4);
    const std::uint8_t v = Byte(RoundClamp(static_cast<double>(f) * 255.0, 0, 255));
    Out[i] = TRGB{v, v, v};
  }
}
void RowCMYK(const std::uint8_t* Row, int X0, int Count, const TRGB*, int, TRGB* Out) {
  Row += 4 * static_cast<std::size_t>(X0);
  for (int i = 0; i < Count; ++i) {
    const std::uint8_t* p = Row + 4 * i;
    Out[i] = IEConvertCMYKToRGB(TCMYK{p[0], p[1], p[2], p[3]});
  }
}
void RowLab(const std::uint8_t* Row, int X0, int Count, const TRGB*, int, TRGB* Out) {
  Row += 3 * static_cast<std::size_t>(X0);
  for (int i = 0; i < Count; ++i) {
    const std::uint8_t* p = Row + 3 * i;
    Out[i] = IECIELabToRGB(TCIELab{p[0], static_cast<std::int8_t>(p[1]), static_cast<std::int8_t>(p[2])});
  }
}
void Row48(const std::uint8_t* Row, int X0, int Count, const TRGB*, int, TRGB* Out) {
  Row += 6 * static_cast<std::size_t>(X0);
  for (int i = 0; i < Count; ++i) {
    const std::uint8_t* p = Row + 6 * i;
    Out[i] = TRGB{p[5], p[3], p[1]};
  }
}
void RowNone(const std::uint8_t*, int, int Count, const TRGB*, int, TRGB* Out) {
  std::fill_n(Out, Count, TRGB{});
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has && SIMDLevelAllowed() >= TSIMDLevel::AVX2;
}
}  // namespace

namespace pixel_rows {
void GreyToRGBScalar(const std::uint8_t* Grey, int Count, TRGB* Out) {
  for (int i = 0; i < Count; ++i) Out[i] = TRGB{Grey[i], Grey[i], Grey[i]};
}
void Row32ToRGBScalar(const std::uint8_t* Row, int Count, TRGB* Out) {
  for (int i = 0; i < Count; ++i) std::memcpy(&Out[i], Row + 4 * i, 3);
}
void MixRowScalar(const TRGB* S, const std::uint8_t* Alpha, std::uint8_t* D, int Count, int Transparency) {
  for (int x = 0; x < Count; ++x, D += 3) {
    const int w = Alpha ? std::min<int>(Alpha[x], Transparency) : Transparency;
    D[0] = IERenderMix(S[x].b, D[0], w);
    D[1] = IERenderMix(S[x].g, D[1], w);
    D[2] = IERenderMix(S[x].r, D[2], w);
  }
}
}  // namespace pixel_rows

void IEMixRow(const TRGB* S, const std::uint8_t* Alpha, std::uint8_t* D, int Count, int Transparency) {
  if (HasAvx2())
    pixel_rows::MixRowAvx2(S, Alpha, D, Count, Transparency);
  else
    pixel_rows::MixRowScalar(S, Alpha, D, Count, Transparency);
}

void IEGreyRowToRGB(const std::uint8_t* Grey, int Count, TRGB* Out) {
  if (HasAvx2())
    pixel_rows::GreyToRGBAvx2(Grey, Count, Out);
  else
    pixel_rows::GreyToRGBScalar(Grey, Count, Out);
}

void IE32RowToRGB(const std::uint8_t* Row, int Count, TRGB* Out) {
  if (HasAvx2())
    pixel_rows::Row32ToRGBAvx2(Row, Count, Out);
  else
    pixel_rows::Row32ToRGBScalar(Row, Count, Out);
}

TIERowToRGBFunc IERowToRGBFor(TIEPixelFormat pf) {
  switch (pf) {
    case ie1g: return Row1g;
    case ie8p: return Row8p;
    case ie8g: return Row8g;
    case ie16g: return Row16g;
    case ie24RGB: return Row24;
    case ie32RGB: return Row32;
    case ie32f: return Row32f;
    case ieCMYK: return RowCMYK;
    case ieCIELab: return RowLab;
    case ieRGB48: return Row48;
    default: return RowNone;
  }
}

void IERowToRGB(TIEPixelFormat pf, const std::uint8_t* Row, int X0, int Count, const TRGB* Palette,
                int PaletteLen, TRGB* Out) {
  if (Count > 0) IERowToRGBFor(pf)(Row, X0, Count, Palette, PaletteLen, Out);
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

void IEGetRowRGB24(TIEBitmap& Bitmap, int Y, TRGB* Out) {
  IERowToRGB(Bitmap.GetPixelFormat(), Bitmap.GetScanline(Y), 0, Bitmap.GetWidth(), Bitmap.GetPaletteBuffer(),
             Bitmap.GetPaletteLength(), Out);
}

}  // namespace redozir
