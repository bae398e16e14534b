// Size guard, RGB row access and depth conversion for the codecs.
#include "imaging/formats/ie_codec_util.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/ie_diskbuffer.h"
#include "imaging/core/ie_parallel.h"
#include "imaging/core/ie_pixelrow.h"
#include "imaging/core/ie_quantizer.h"
#include "imaging/core/ie_rowband.h"
#include "platform/bitmap.h"

namespace redozir {

void IECheckImageSize(const char* Format, std::int64_t Width, std::int64_t Height, std::int64_t BitsPerPixel,
                      std::int64_t Left, std::int64_t MaxRatio) {
  std::string f(Format);
  if (Width <= 0 || Height <= 0)
    throw EIEImageError(f + ": invalid image size " + std::to_string(Width) + " x " + std::to_string(Height));
  if (Width > 1000000 || Height > 1000000)
    throw EIEImageError(f + ": image size " + std::to_string(Width) + " x " + std::to_string(Height) +
                        " too large");
  if (BitsPerPixel <= 0 || BitsPerPixel > (1 << 20))
    throw EIEImageError(f + ": " + std::to_string(BitsPerPixel) + " bits per pixel");
  std::int64_t bytes = (Width * BitsPerPixel + 7) / 8 * Height;
  if (bytes > kMaxBitmapBytes)
    throw EIEImageError(f + ": image of " + std::to_string(Width) + " x " + std::to_string(Height) +
                        " pixels too large");
  std::int64_t allowance = MaxRatio > 1 ? 65536 : 0;
  if (Left < 0) Left = 0;
  if (bytes > Left * std::max<std::int64_t>(MaxRatio, 1) + allowance)
    throw EIEImageError(f + ": " + std::to_string(Width) + " x " + std::to_string(Height) +
                        " pixels cannot come from " + std::to_string(Left) + " bytes of data");
}

std::int64_t IEDefaultLoadMemoryBudget() { return IEUsableMemory() / 2; }

std::int64_t IELoadMemoryBudget(const TIOParamsVals& Params) {
  return Params.LoadMemoryBudget > 0 ? Params.LoadMemoryBudget : IEDefaultLoadMemoryBudget();
}

void IECheckLoadMemory(const char* Format, std::int64_t Width, std::int64_t Height, std::int64_t Bytes,
                       std::int64_t Budget) {
  if (Bytes <= Budget) return;
  // Sizes under 10 MB that are not whole MB in KB: "needs 2 MB, more than
  // 1 MB" would hide a budget of 1.9 MB. What is needed rounds up, the
  // budget down.
  auto size = [](std::int64_t b, bool up) {
    constexpr std::int64_t kMB = std::int64_t(1) << 20;
    const bool kb = b < 10 * kMB && b % kMB != 0;
    const std::int64_t unit = kb ? 1024 : kMB;
    return std::to_string((up ? b + unit - 1 : b) / unit) + (kb ? " KB" : " MB");
  };
  throw EIEImageError(std::string(Format) + ": reading " + std::to_string(Width) + " x " +
                      std::to_string(Height) + " pixels needs " + size(Bytes, true) +
                      ", more than the load memory budget of " + size(Budget, false));
}

void IECheckLoadMemory(const char* Format, std::int64_t Width, std::int64_t Height, std::int64_t Bytes,
                       const TIOParamsVals& Params) {
  IECheckLoadMemory(Format, Width, Height, Bytes, IELoadMemoryBudget(Params));
}

std::int64_t IEBitmapBytes(std::int64_t Width, std::int64_t Height, TIEPixelFormat pf, bool Alpha) {
  // Rows of whole 32-bit words, as a bitmap lays them out.
  auto rows = [&](int bits) { return (Width * bits + 31) / 32 * 4 * Height; };
  return rows(IEPixelFormatBits(pf)) + (Alpha ? rows(8) : 0);
}

bool IELoadKeepsFormat(TIEPixelFormat pf, const TIOParamsVals& Params) {
  return Params.NativePixelFormat || pf == ie1g || pf == ie24RGB || pf == ie16g || pf == ieRGB48;
}

void IECheckLoadBudget(const char* Format, std::int64_t Width, std::int64_t Height, TIEPixelFormat pf,
                       bool Alpha, std::int64_t Work, const TIOParamsVals& Params) {
  const std::int64_t copy = IELoadKeepsFormat(pf, Params) ? 0 : IEBitmapBytes(Width, Height, ie24RGB, false);
  IECheckLoadMemory(Format, Width, Height, IEBitmapBytes(Width, Height, pf, Alpha) + std::max(Work, copy),
                    Params);
}

void IEAllocImage(TIEBitmap& Bitmap, std::int64_t Width, std::int64_t Height, TIEPixelFormat pf,
                  const char* Format) {
  if (Width <= 0 || Height <= 0 || Width > 0x7FFFFFFF || Height > 0x7FFFFFFF ||
      !Bitmap.Allocate(static_cast<int>(Width), static_cast<int>(Height), pf))
    throw EIEImageError(std::string(Format) + ": cannot allocate a " + std::to_string(Width) + " x " +
                        std::to_string(Height) + " image");
}

void IEConvertTo24(TIEBitmap& Bitmap) {
  if (Bitmap.GetPixelFormat() == ie24RGB || Bitmap.GetWidth() == 0 || Bitmap.GetHeight() == 0) return;
  Bitmap.ConvertToPixelFormat(ie24RGB);
  if (Bitmap.GetPixelFormat() != ie24RGB) throw EIEImageError("cannot convert the image to 24 bits");
}

TIEBitmap* IEWriteSource(TIEBitmap& Source, TIEPixelFormat Want, int MaxColors, TIEBitmap& Temp) {
  const TIEPixelFormat pf = Source.GetPixelFormat();
  const int w = Source.GetWidth(), h = Source.GetHeight();
  MaxColors = std::clamp(MaxColors, 2, 256);
  if (pf == Want && (Want != ie8p || Source.PaletteUsed() <= MaxColors)) return &Source;
  // The copy lives where the picture does.
  Temp.SetMemoryThreshold(Source.MemoryThreshold());
  IEAllocImage(Temp, w, h, Want, "writer");
  std::vector<TRGB> row(static_cast<size_t>(w));
  // Temp's rows in order, through a sink (on the disk buffer, to the file in
  // bands).
  auto fill = [&](const auto& make) {
    TIERowSink sink(&Temp, 0, h);
    for (int y = 0; y < h; ++y) make(y, sink.Row(y));
    sink.Finish();
    return &Temp;
  };
  switch (Want) {
    case ie1g: {
      // A picture of pure black and white goes over exactly: the average-level
      // threshold of the bilevel conversion would turn an all-black page white.
      bool blackWhite = true;
      for (int y = 0; y < h && blackWhite; ++y) {
        IEGetRowRGB24(Source, y, row.data());
        blackWhite = std::all_of(row.begin(), row.end(), [](TRGB c) {
          return c == TRGB{0, 0, 0} || c == TRGB{255, 255, 255};
        });
      }
      // Otherwise the bitmap's own change to 1 bit honours its dither method
      // (the component's bilevel conversion mode); a plain threshold if it
      // cannot.
      if (!blackWhite) {
        Temp.Assign(&Source);
        Temp.ConvertToPixelFormat(ie1g);
        if (Temp.GetPixelFormat() == ie1g && Temp.GetWidth() == w && Temp.GetHeight() == h) return &Temp;
      }
      IEAllocImage(Temp, w, h, ie1g, "writer");
      return fill([&](int y, std::uint8_t* d) {
        IEGetRowRGB24(Source, y, row.data());
        std::memset(d, 0, static_cast<size_t>(Temp.GetRowLen()));
        for (int x = 0; x < w; ++x)
          if (IEGreyOf(row[x]) >= 128) d[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
      });
    }
    case ie8g:
      return fill([&](int y, std::uint8_t* d) {
        if (pf == ie16g) {
          const std::uint8_t* s = Source.GetScanline(y);
          for (int x = 0; x < w; ++x) d[x] = s[2 * x + 1];
        } else {
          IEGetRowRGB24(Source, y, row.data());
          for (int x = 0; x < w; ++x) d[x] = IEGreyOf(row[x]);
        }
      });
    case ie16g:
      return fill([&](int y, std::uint8_t* row8) {
        auto* d = reinterpret_cast<std::uint16_t*>(row8);
        if (pf == ieRGB48) {
          const auto* s = reinterpret_cast<const std::uint16_t*>(Source.GetScanline(y));
          for (int x = 0; x < w; ++x)
            d[x] = static_cast<std::uint16_t>((std::int64_t(s[3 * x]) * 21 + std::int64_t(s[3 * x + 1]) * 71 +
                                               std::int64_t(s[3 * x + 2]) * 8) /
                                              100);
          return;
        }
        IEGetRowRGB24(Source, y, row.data());
        for (int x = 0; x < w; ++x) d[x] = static_cast<std::uint16_t>(IEGreyOf(row[x]) * 257);
      });
    case ie24RGB:
      return fill([&](int y, std::uint8_t* d) { IEGetRowRGB24(Source, y, reinterpret_cast<TRGB*>(d)); });
    case ieRGB48:
      return fill([&](int y, std::uint8_t* row8) {
        auto* d = reinterpret_cast<std::uint16_t*>(row8);
        if (pf == ie16g) {
          const auto* s = reinterpret_cast<const std::uint16_t*>(Source.GetScanline(y));
          for (int x = 0; x < w; ++x) d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = s[x];
          return;
        }
        IEGetRowRGB24(Source, y, row.data());
        for (int x = 0; x < w; ++x) {
          d[3 * x] = static_cast<std::uint16_t>(row[x].r * 257);
          d[3 * x + 1] = static_cast<std::uint16_t>(row[x].g * 257);
          d[3 * x + 2] = static_cast<std::uint16_t>(row[x].b * 257);
        }
      });
    case ieCMYK:
      return fill([&](int y, std::uint8_t* d) {
        IEGetRowRGB24(Source, y, row.data());
        for (int x = 0; x < w; ++x) {
          int r = row[x].r, g = row[x].g, b = row[x].b;
          int k = 255 - std::max({r, g, b});
          auto ch = [k](int v) {
            return static_cast<std::uint8_t>(k == 255 ? 0 : (255 - v - k) * 255 / (255 - k));
          };
          d[4 * x] = ch(r);
          d[4 * x + 1] = ch(g);
          d[4 * x + 2] = ch(b);
          d[4 * x + 3] = static_cast<std::uint8_t>(k);
        }
      });
    case ie8p: {
      if (pf == ie8g && MaxColors >= 256) {
        for (int i = 0; i < 256; ++i) {
          auto v = static_cast<std::uint8_t>(i);
          Temp.SetPalette(i, TRGB{v, v, v});
        }
        Temp.SetPaletteUsed(256);
        return fill(
            [&](int y, std::uint8_t* d) { std::memcpy(d, Source.GetScanline(y), static_cast<size_t>(w)); });
      }
      std::vector<TRGB> pal(256);
      TIEQuantizer q(&Source, pal.data(), 0x7FFFFFF, MaxColors);
      for (int i = 0; i < q.ColorCount(); ++i) Temp.SetPalette(i, q.Palette()[i]);
      Temp.SetPaletteUsed(q.ColorCount());
      return fill([&](int y, std::uint8_t* d) {
        IEGetRowRGB24(Source, y, row.data());
        for (int x = 0; x < w; ++x) d[x] = static_cast<std::uint8_t>(q.RGBIndex(row[x]));
      });
    }
    default: throw EIEImageError("writer: unsupported target pixel format");
  }
}

TIEBitmap* IEAlphaToWrite(TIEBitmap& Bitmap) {
  if (!Bitmap.HasAlphaChannel()) return nullptr;
  TIEBitmap* a = Bitmap.GetAlphaChannel();
  const int w = Bitmap.GetWidth();
  for (int y = 0; y < Bitmap.GetHeight(); ++y) {
    const std::uint8_t* p = a->GetScanline(y);
    for (int x = 0; x < w; ++x)
      if (p[x] != 255) return a;
  }
  return nullptr;
}

TIEBitmap* IETwoColourSource(TIEBitmap& Bitmap, const TIOParamsVals& Params, TIEBitmap& Temp) {
  const TIEPixelFormat pf = Bitmap.GetPixelFormat();
  if (pf == ie8p && Bitmap.PaletteUsed() <= 2) return &Bitmap;
  if (pf != ie24RGB && pf != ie8p) return nullptr;
  const int w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
  TRGB found[2]{};
  int n = 0;
  std::vector<TRGB> row(static_cast<size_t>(w));
  for (int y = 0; y < h; ++y) {
    IEGetRowRGB24(Bitmap, y, row.data());
    for (const TRGB& c : row) {
      if ((n > 0 && c == found[0]) || (n > 1 && c == found[1])) continue;
      if (n == 2) return nullptr;
      found[n++] = c;
    }
  }
  auto blackOrWhite = [](TRGB c) { return c == TRGB{0, 0, 0} || c == TRGB{255, 255, 255}; };
  if (n == 0 || (blackOrWhite(found[0]) && (n == 1 || blackOrWhite(found[1])))) return nullptr;
  // The file's own order, so that a load and a save give the same indices.
  const TRGB* map = Params.ColorMap;
  if (n == 2 && map && Params.ColorMapCount == 2 &&
      ((map[0] == found[1] && map[1] == found[0]) || (map[0] == found[0] && map[1] == found[1]))) {
    found[0] = map[0];
    found[1] = map[1];
  }
  Temp.SetMemoryThreshold(Bitmap.MemoryThreshold());
  IEAllocImage(Temp, w, h, ie8p, "writer");
  Temp.SetPalette(0, found[0]);
  Temp.SetPalette(1, found[1]);
  Temp.SetPaletteUsed(n);
  TIERowSink sink(&Temp, 0, h);
  for (int y = 0; y < h; ++y) {
    IEGetRowRGB24(Bitmap, y, row.data());
    std::uint8_t* d = sink.Row(y);
    for (int x = 0; x < w; ++x) d[x] = row[x] == found[0] ? 0 : 1;
  }
  sink.Finish();
  return &Temp;
}

namespace {
// The stored pixel that lands at (X, Y) of the upright image.
void StoredPixel(int Orientation, int sw, int sh, int X, int Y, int& sx, int& sy) {
  switch (Orientation) {
    case 2: sx = sw - 1 - X, sy = Y; break;
    case 3: sx = sw - 1 - X, sy = sh - 1 - Y; break;
    case 4: sx = X, sy = sh - 1 - Y; break;
    case 5: sx = Y, sy = X; break;
    case 6: sx = Y, sy = sh - 1 - X; break;
    case 7: sx = sw - 1 - Y, sy = sh - 1 - X; break;
    case 8: sx = sw - 1 - Y, sy = X; break;
    default: sx = X, sy = Y;
  }
}

void Reorient(TIEBitmap& Src, TIEBitmap& Dst, int Orientation) {
  const int sw = Src.GetWidth(), sh = Src.GetHeight();
  const bool swap = Orientation >= 5;
  const int dw = swap ? sh : sw, dh = swap ? sw : sh;
  IEAllocImage(Dst, dw, dh, Src.GetPixelFormat(), "orientation");
  Src.CopyPaletteTo(&Dst);
  Dst.SetPaletteUsed(Src.PaletteUsed());
  const int bits = Src.GetBitCount();
  const int bytes = bits / 8;
  // All source rows at once (a disk-buffered source mapped once, not once a
  // row: a mapping per row also runs out of mappings on tall pictures).
  TIERowTable rows(&Src);
  TIERowSink sink(&Dst, 0, dh);
  for (int y = 0; y < dh; ++y) {
    std::uint8_t* d = sink.Row(y);
    if (bits == 1) std::memset(d, 0, static_cast<size_t>(Dst.GetRowLen()));
    for (int x = 0; x < dw; ++x) {
      int sx, sy;
      StoredPixel(Orientation, sw, sh, x, y, sx, sy);
      const std::uint8_t* s = rows[sy];
      if (bits == 1) {
        if ((s[sx >> 3] >> (7 - (sx & 7))) & 1) d[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
      } else {
        std::memcpy(d + static_cast<size_t>(x) * bytes, s + static_cast<size_t>(sx) * bytes,
                    static_cast<size_t>(bytes));
      }
    }
  }
  sink.Finish();
}

// Takes the turned image in place of the old one where a copy is not needed.
void TakeTurned(TIEBitmap& Bitmap, TIEBitmap& Turned) {
  if (Bitmap.Location() != ieTBitmap && Bitmap.RowAlign() == Turned.RowAlign())
    Bitmap.SwapImage(Turned);
  else
    Bitmap.AssignImage(&Turned);
}
}  // namespace

void IEApplyOrientation(TIEBitmap& Bitmap, int Orientation) {
  if (Orientation < 2 || Orientation > 8 || Bitmap.GetWidth() == 0) return;
  TIEBitmap turned;
  turned.SetMemoryThreshold(Bitmap.MemoryThreshold());
  Reorient(Bitmap, turned, Orientation);
  if (Bitmap.HasAlphaChannel()) {
    TIEBitmap* a = Bitmap.GetAlphaChannel();
    TIEBitmap plane;
    plane.SetMemoryThreshold(a->MemoryThreshold());
    Reorient(*a, plane, Orientation);
    TakeTurned(*a, plane);
    a->SyncFull();
  }
  TakeTurned(Bitmap, turned);
}

void IESetColorMap(TIOParamsVals& Params, const std::vector<TRGB>& Palette) {
  Params.AllocColorMap(static_cast<int>(Palette.size()));
  std::copy(Palette.begin(), Palette.end(), Params.ColorMap);
}

}  // namespace redozir
