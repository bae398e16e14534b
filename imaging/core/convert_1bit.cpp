// Threshold and ordered conversions to 1 bit, with the histogram and the
// average colour behind the automatic levels.
#include "imaging/core/convert_1bit.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "imaging/core/ie_pixel.h"
#include "imaging/core/pixel_rows.h"
#include "platform/numeric.h"

namespace redozir {

const std::uint8_t IEOrderedDitherMatrix[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},    {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},   {63, 31, 55, 23, 61, 29, 53, 21},
};

namespace {
// The level of the maximum-entropy split of the grey histogram; -2 when no
// split exists (a single grey level).
int EntropyLevel(TIEBitmap* bmp) {
  int hist[256];
  _IEGetGrayHistogram(bmp, hist);
  const double n = static_cast<double>(bmp->GetWidth()) * bmp->GetHeight();
  double p[256];
  double H = 0;
  for (int i = 0; i < 256; ++i) {
    p[i] = hist[i] / n;
    if (p[i] != 0) H -= p[i] * std::log(p[i]);
  }
  // Every real score beats the start, so a split between two levels is
  // always found.
  double best = -std::numeric_limits<double>::infinity();
  int T = -2;
  double P = 0, Hb = 0;
  for (int t = 1; t < 256; ++t) {
    P += p[t - 1];
    if (p[t - 1] > 0) Hb -= p[t - 1] * std::log(p[t - 1]);
    if (P > 0 && P < 1) {
      const double E = std::log(P * (1 - P)) + Hb / P + (H - Hb) / (1 - P);
      if (E > best) {
        best = E;
        T = t;
      }
    }
  }
  return T;
}
}  // namespace

void _IEGetGrayHistogram(TIEBitmap* Bitmap, int* Hist) {
  std::memset(Hist, 0, 256 * sizeof(int));
  if (!Bitmap) return;
  const int w = Bitmap->GetWidth();
  std::vector<TRGB> row(static_cast<size_t>(w));
  for (int y = 0; y < Bitmap->GetHeight(); ++y) {
    if (Bitmap->GetPixelFormat() == ie1g) {
      const std::uint8_t* p = Bitmap->GetScanline(y);
      for (int x = 0; x < w; ++x) ++Hist[(p[x >> 3] >> (7 - (x & 7))) & 1];
      continue;
    }
    IEReadRowRGB(Bitmap, y, row.data());
    // Grey formats count their own level, whatever the colour weights.
    const TIEPixelFormat pf = Bitmap->GetPixelFormat();
    if (pf == ie8g || pf == ie16g || pf == ie32f) {
      for (int x = 0; x < w; ++x) ++Hist[row[static_cast<size_t>(x)].r];
    } else {
      for (int x = 0; x < w; ++x) ++Hist[IEClampByte(IERGBToGray(row[static_cast<size_t>(x)]))];
    }
  }
}

void _IEGetAverageColor(TIEBitmap* Bitmap, int& R, int& G, int& B) {
  R = G = B = 128;
  if (!Bitmap) return;
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (w < 1 || h < 1) return;
  std::int64_t r = 0, g = 0, b = 0;
  std::vector<TRGB> row(static_cast<size_t>(w));
  for (int y = 0; y < h; ++y) {
    std::int64_t sr = 0, sg = 0, sb = 0;
    if (Bitmap->GetPixelFormat() == ieRGB48) {
      // 16-bit samples come to 0..255 by value x 255 / 65535, rounded.
      const auto* p = reinterpret_cast<const std::uint8_t*>(Bitmap->GetScanline(y));
      auto s8 = [](const std::uint8_t* q) {
        std::uint16_t v;
        std::memcpy(&v, q, 2);
        return Round(v * 255.0 / 65535);
      };
      for (int x = 0; x < w; ++x, p += 6) {
        sr += s8(p);
        sg += s8(p + 2);
        sb += s8(p + 4);
      }
    } else {
      IEReadRowRGB(Bitmap, y, row.data());
      for (const TRGB& c : row) {
        sr += c.r;
        sg += c.g;
        sb += c.b;
      }
    }
    r += sr / w;
    g += sg / w;
    b += sb / w;
  }
  R = static_cast<int>(r / h);
  G = static_cast<int>(g / h);
  B = static_cast<int>(b / h);
}

void _IEConvertTo1bitThreshold(TIEBitmap* Src, TIEBitmap* Dst, int Threshold, TIEProgressRecord Progress) {
  if (!Src || !Dst || Src == Dst) return;
  if (Src->GetPixelFormat() == ie1g) {
    Dst->AssignImage(Src);
    return;
  }
  const int w = Src->GetWidth(), h = Src->GetHeight();
  if (!Dst->Allocate(w, h, ie1g))
    throw EOutOfMemory("Cannot allocate a " + std::to_string(w) + " x " + std::to_string(h) + " bitmap");
  if (w < 1 || h < 1) return;  // an empty image has no rows to write
  Progress.SetRows(h);
  int T = Threshold;
  if (Threshold == -2) {
    T = EntropyLevel(Src);
  } else if (Threshold == -1) {
    int r, g, b;
    _IEGetAverageColor(Src, r, g, b);
    T = IERGBToGray(IECreateRGB(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                static_cast<std::uint8_t>(b)));
  }
  std::vector<TRGB> row(static_cast<size_t>(w));
  for (int y = 0; y < h; ++y) {
    std::uint8_t* d = Dst->GetScanline(y);
    IEReadRowRGB(Src, y, row.data());
    std::memset(d, 0, static_cast<size_t>((w + 7) / 8));
    for (int x = 0; x < w; ++x)
      if (IERGBToGray(row[static_cast<size_t>(x)]) >= T)
        d[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
    Progress.Report(y + 1);
  }
}

void _IEConvertTo1bitInPlace(TIEBitmap* Bitmap, int Threshold, TIEProgressRecord Progress) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1)
    return;
  TIEBitmap tmp;
  _IEConvertTo1bitThreshold(Bitmap, &tmp, Threshold, Progress);
  Bitmap->AssignImage(&tmp);
}

bool IEOrderedDitherBit(const TRGB& Pixel, int X, int Y) {
  const int v = Pixel.r > 250 && Pixel.g > 250 && Pixel.b > 250 ? 64 : IERGBToGray(Pixel) >> 2;
  return v > IEOrderedDitherMatrix[X & 7][Y & 7];
}

void IEConvertTo1bitOrderedInto(TIEBitmap* Src, TIEBitmap* Dst, TIEProgressRecord Progress) {
  if (!Src || !Dst || Src == Dst) return;
  const int w = Src->GetWidth(), h = Src->GetHeight();
  if (!Dst->Allocate(w, h, ie1g))
    throw EOutOfMemory("Cannot allocate a " + std::to_string(w) + " x " + std::to_string(h) + " bitmap");
  if (w < 1 || h < 1) return;
  Progress.SetRows(h);
  std::vector<TRGB> row(static_cast<size_t>(w));
  for (int y = 0; y < h; ++y) {
    const TRGB* s = row.data();
    if (Src->GetPixelFormat() == ie24RGB)
      s = reinterpret_cast<const TRGB*>(Src->GetScanline(y));
    else
      IEReadRowRGB(Src, y, row.data());
    std::uint8_t* d = Dst->GetScanline(y);
    std::memset(d, 0, static_cast<size_t>((w + 7) / 8));
    for (int x = 0; x < w; ++x)
      if (IEOrderedDitherBit(s[x], x, y)) d[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
    Progress.Report(y + 1);
  }
}

void _IEConvertTo1bitOrdered(TIEBitmap* Bitmap, TIEProgressRecord Progress) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1)
    return;
  TIEBitmap tmp;
  IEConvertTo1bitOrderedInto(Bitmap, &tmp, Progress);
  Bitmap->AssignImage(&tmp);
}

void _IEConvertToGray24(TIEBitmap* Bitmap, int X1, int Y1, int X2, int Y2, TIEProgressEvent* OnProgress,
                        TObject* Sender) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB) return;
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  const int x2 = std::min(X2, Bitmap->GetWidth()), y2 = std::min(Y2, Bitmap->GetHeight());
  if (X1 >= x2 || Y1 >= y2) return;
  TIEProgressRecord progress;
  progress.fOnProgress = OnProgress;
  progress.Sender = Sender;
  progress.SetRows(y2 - 1 - Y1);
  for (int y = Y1; y < y2; ++y) {
    auto* p = reinterpret_cast<TRGB*>(Bitmap->GetScanline(y));
    for (int x = X1; x < x2; ++x) {
      const auto g = static_cast<std::uint8_t>(IEClampByte(IERGBToGray(p[x])));
      p[x] = TRGB{g, g, g};
    }
    progress.Report(y - Y1 + 1);
  }
}

}  // namespace redozir
