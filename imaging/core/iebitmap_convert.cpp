// TIEBitmap's pixel-format change: direct paths where a format pair has
// one that loses less than 24 bits would, every other pair through 24-bit
// rows; and GetPixels, one pixel read as RGB.
#include <cstring>
#include <vector>

#include "imaging/core/ie_pixelrow.h"
#include "imaging/core/ie_rowband.h"
#include "imaging/core/iebitmap.h"
#include "imaging/core/iebitmap_reduce.h"
#include "imaging/core/convert_1bit.h"
#include "platform/numeric.h"

namespace redozir {

namespace {
unsigned Word(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
void PutWord(std::uint8_t* p, unsigned v) {
  p[0] = static_cast<std::uint8_t>(v & 0xFF);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
float Float(const std::uint8_t* p) {
  float f;
  std::memcpy(&f, p, 4);
  return f;
}
void PutFloat(std::uint8_t* p, float f) { std::memcpy(p, &f, 4); }
unsigned Gray16(const std::uint8_t* rgb48) {
  return (Word(rgb48) * 21 + Word(rgb48 + 2) * 71 + Word(rgb48 + 4) * 8) / 100;
}
unsigned FloatTo16(const std::uint8_t* p) {
  return static_cast<unsigned>(RoundClamp(static_cast<double>(Float(p)) * 65535.0, 0, 65535));
}

// One row of a direct path between two formats of 16 bits or more per
// sample; false when the pair has none.
bool DirectRow(TIEPixelFormat sp, const std::uint8_t* s, TIEPixelFormat dp, std::uint8_t* d, int w) {
  switch (dp) {
    case ie16g:
      if (sp == ie32f) {
        for (int x = 0; x < w; ++x) PutWord(d + 2 * x, FloatTo16(s + 4 * x));
      } else if (sp == ieRGB48) {
        for (int x = 0; x < w; ++x) PutWord(d + 2 * x, Gray16(s + 6 * x));
      } else {
        return false;
      }
      return true;
    case ie32f:
      if (sp == ie16g) {
        for (int x = 0; x < w; ++x) PutFloat(d + 4 * x, static_cast<float>(Word(s + 2 * x) / 65535.0));
      } else if (sp == ieRGB48) {
        for (int x = 0; x < w; ++x) PutFloat(d + 4 * x, static_cast<float>(Gray16(s + 6 * x) / 65535.0));
      } else {
        return false;
      }
      return true;
    case ieRGB48:
      if (sp != ie16g && sp != ie32f) return false;
      for (int x = 0; x < w; ++x) {
        unsigned v = sp == ie16g ? Word(s + 2 * x) : FloatTo16(s + 4 * x);
        for (int c = 0; c < 3; ++c) PutWord(d + 6 * x + 2 * c, v);
      }
      return true;
    default: return false;
  }
}
}  // namespace

void TIEBitmap::SetPixelFormat(TIEPixelFormat pf) {
  if (pf != fPixelFormat) ConvertToPixelFormat(pf);
}

void TIEBitmap::ConvertToPixelFormat(TIEPixelFormat pf) {
  if (IEPixelFormatBits(pf) == 0 || pf == fPixelFormat) return;
  if (fWidth == 0 || fHeight == 0) {
    if (!Allocate(fWidth, fHeight, pf)) throw EOutOfMemory("Cannot change the pixel format");
    return;
  }
  TIEBitmap staging;
  staging.fRowAlign = fRowAlign;
  staging.fMemoryThreshold = fMemoryThreshold;
  staging.fDitherMethod = fDitherMethod;
  if (!staging.Allocate(fWidth, fHeight, pf))
    throw EOutOfMemory("Cannot allocate a " + std::to_string(fWidth) + " x " + std::to_string(fHeight) +
                       " bitmap");
  staging.ConvertFrom(this);
  TakeImage(staging);
}

void TIEBitmap::ConvertFrom(TIEBitmap* Source) {
  if (!Source || Source == this) return;
  int w = Source->fWidth, h = Source->fHeight;
  if ((fWidth != w || fHeight != h) && !Allocate(w, h, fPixelFormat))
    throw EOutOfMemory("Cannot allocate a " + std::to_string(w) + " x " + std::to_string(h) + " bitmap");
  if (w == 0 || h == 0) return;
  TIEPixelFormat sp = Source->fPixelFormat, dp = fPixelFormat;
  if (sp == dp) {
    CopyRowsFrom(*Source);
    fPalette = Source->fPalette;
    fPaletteUsed = Source->fPaletteUsed;
    SyncVclPalette();
    return;
  }
  if (dp == ie1g) {
    if (fDitherMethod == 1)
      _IEConvertTo1bitThreshold(Source, this, -1);
    else
      IEConvertTo1bitOrderedInto(Source, this);
    return;
  }
  if (dp == ie8p) {
    if (sp != ie1g && sp != ie8g) {
      IEBitmapTo8bitPalette(Source, this);
      return;
    }
    // Black and white, or grey levels, map onto a palette without loss.
    int n = sp == ie1g ? 2 : 256;
    fPalette.assign(256, TRGB{});
    for (int i = 0; i < n; ++i) {
      auto v = static_cast<std::uint8_t>(sp == ie1g ? i * 255 : i);
      fPalette[i] = TRGB{v, v, v};
    }
    fPaletteUsed = n;
    SyncVclPalette();
    TIERowSink sink(this, 0, h);
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* s = Source->GetScanline(y);
      std::uint8_t* d = sink.Row(y);
      if (sp == ie8g)
        std::memcpy(d, s, static_cast<size_t>(w));
      else
        for (int x = 0; x < w; ++x) d[x] = (s[x >> 3] >> (7 - (x & 7))) & 1;
    }
    sink.Finish();
    return;
  }
  std::vector<TRGB> rgb(static_cast<size_t>(w));
  TIERowSink sink(this, 0, h);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* s = Source->GetScanline(y);
    std::uint8_t* d = sink.Row(y);
    if (DirectRow(sp, s, dp, d, w)) continue;
    IERowToRGB(sp, s, 0, w, Source->fPalette.data(), static_cast<int>(Source->fPalette.size()), rgb.data());
    IERowFromRGB(dp, rgb.data(), w, d);
  }
  sink.Finish();
}

TRGB TIEBitmap::GetPixels(int X, int Y) {
  TRGB c;
  IERowToRGB(fPixelFormat, GetScanline(Y), X, 1, fPalette.data(), static_cast<int>(fPalette.size()), &c);
  return c;
}

}  // namespace redozir
