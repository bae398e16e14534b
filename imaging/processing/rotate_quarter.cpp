// Quarter turns of any pixel format by copying whole pixels (bits for 1-bit
// images), and the angle, alpha and background helpers of the engines.
#include <cmath>
#include <cstring>

#include "imaging/core/ie_pixel.h"
#include "imaging/processing/fill_rect.h"
#include "imaging/core/ie_parallel.h"
#include "imaging/processing/ie_rotate.h"
#include "imaging/processing/rotate_common.h"

namespace redozir {

bool IEIsMultipleOf90(double Angle) {
  return std::isfinite(Angle) && std::trunc(Angle) == Angle && std::fmod(Angle, 90.0) == 0.0;
}

double IEReduceAngle(double Angle) {
  if (!std::isfinite(Angle)) return std::nan("");
  double a = std::fmod(Angle, 360.0);  // exact
  if (a > 180.0) a -= 360.0;
  if (a <= -180.0) a += 360.0;
  return a;
}

int IEQuarterOf(double Angle) {
  double a = std::fmod(Angle, 360.0);
  if (a < 0) a += 360.0;
  return static_cast<int>(a / 90.0) & 3;
}

TIEBitmap* IEAlphaToTurn(TIEBitmap* Bitmap) {
  if (Bitmap->IsAlphaPlane() || !Bitmap->HasAlphaChannel()) return nullptr;
  return Bitmap->GetAlphaChannel();
}

std::vector<std::uint8_t> IEBackgroundPixel(TIEBitmap* Bitmap, TColor Color) {
  TIEPixelFormat pf = Bitmap->GetPixelFormat();
  if (pf == ie1g || pf == ienull) return {};
  TIEBitmap one(1, 1, pf);
  if (one.GetWidth() != 1) throw EOutOfMemory("Cannot allocate a 1 x 1 bitmap for the background");
  one.Fill(IEColorFillValue(Bitmap, Color));
  const std::uint8_t* p = one.GetScanline(0);
  return std::vector<std::uint8_t>(p, p + one.GetBitCount() / 8);
}

namespace {

constexpr int kTile = 32;

template <int N>
void TurnPixels(const TIERowTable& s, const TIERowTable& d, int W, int H, int quarter, bool parallel) {
  // Destination size: W x H for a half turn, H x W for quarter turns.
  int dw = quarter == 2 ? W : H;
  int dh = quarter == 2 ? H : W;
  int tilesY = (dh + kTile - 1) / kTile;
  IEParallelFor(tilesY, static_cast<std::int64_t>(dw) * kTile, parallel, [&](int tb, int te) {
    for (int ty = tb; ty < te; ++ty) {
      int y0 = ty * kTile, y1 = std::min(dh, y0 + kTile);
      for (int x0 = 0; x0 < dw; x0 += kTile) {
        int x1 = std::min(dw, x0 + kTile);
        for (int y = y0; y < y1; ++y) {
          std::uint8_t* drow = d[y];
          for (int x = x0; x < x1; ++x) {
            const std::uint8_t* sp;
            if (quarter == 1)  // destination (x, y) = source (W - 1 - y, x)
              sp = s[x] + static_cast<size_t>(W - 1 - y) * N;
            else if (quarter == 3)  // destination (x, y) = source (y, H - 1 - x)
              sp = s[H - 1 - x] + static_cast<size_t>(y) * N;
            else
              sp = s[H - 1 - y] + static_cast<size_t>(W - 1 - x) * N;
            std::memcpy(drow + static_cast<size_t>(x) * N, sp, N);
          }
        }
      }
    }
  });
}

void TurnBits(const TIERowTable& s, const TIERowTable& d, int W, int H, int quarter) {
  int dw = quarter == 2 ? W : H;
  int dh = quarter == 2 ? H : W;
  for (int y = 0; y < dh; ++y)
    for (int x = 0; x < dw; ++x) {
      bool v = quarter == 1   ? IERowBit(s[x], W - 1 - y)
               : quarter == 3 ? IERowBit(s[H - 1 - x], y)
                              : IERowBit(s[H - 1 - y], W - 1 - x);
      IESetRowBit(d[y], x, v);
    }
}

}  // namespace

void IERotateQuarter(TIEBitmap* Src, TIEBitmap* Dst, int Quarter) {
  if (!Src || !Dst || Src == Dst) throw EIEBitmapError("IERotateQuarter needs two distinct bitmaps");
  Quarter &= 3;
  int W = Src->GetWidth(), H = Src->GetHeight();
  TIEPixelFormat pf = Src->GetPixelFormat();
  if (Quarter == 0) {
    Dst->AssignImage(Src);
    return;
  }
  int dw = Quarter == 2 ? W : H, dh = Quarter == 2 ? H : W;
  if (!Dst->Allocate(dw, dh, pf))
    throw EOutOfMemory("Cannot allocate a " + std::to_string(dw) + " x " + std::to_string(dh) + " bitmap");
  Src->CopyPaletteTo(Dst);
  if (pf == ie8p || pf == ie1g) Dst->SetPaletteUsed(Src->PaletteUsed());
  if (W == 0 || H == 0) return;
  TIERowTable s(Src), d(Dst);
  bool par = s.Shareable() && d.Shareable();
  switch (Src->GetBitCount()) {
    case 1: TurnBits(s, d, W, H, Quarter); break;
    case 8: TurnPixels<1>(s, d, W, H, Quarter, par); break;
    case 16: TurnPixels<2>(s, d, W, H, Quarter, par); break;
    case 24: TurnPixels<3>(s, d, W, H, Quarter, par); break;
    case 32: TurnPixels<4>(s, d, W, H, Quarter, par); break;
    case 48: TurnPixels<6>(s, d, W, H, Quarter, par); break;
    default: break;
  }
}

}  // namespace redozir
