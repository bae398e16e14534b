// Nearest-pixel rotation: the 1-bit and 8-bit engines that rotate in place,
// and _IERotateInto, which rotates any pixel format into a second bitmap.
// Every destination pixel takes the source pixel whose centre lies nearest to
// its inverse-rotated centre, so at small angles no row or column is lost.
#include <cmath>
#include <cstring>
#include <numbers>

#include "imaging/core/ie_pixel.h"
#include "imaging/core/ie_parallel.h"
#include "imaging/processing/ie_rotate.h"
#include "imaging/processing/rotate_common.h"
#include "platform/numeric.h"

namespace redozir {

namespace {

enum class TSizeRule { Trunc, Round };

// Dst (already allocated NW x NH in Src's format) receives Src rotated by
// Theta radians; Bg is the background pixel (BgBit for 1-bit images).
void MapNearest(TIEBitmap* Src, TIEBitmap* Dst, double theta, const std::vector<std::uint8_t>& bg, bool bgBit,
                const std::function<void(int)>& after) {
  int W = Src->GetWidth(), H = Src->GetHeight();
  int NW = Dst->GetWidth(), NH = Dst->GetHeight();
  double cs = std::cos(theta), sn = std::sin(theta);
  double csx = (W - 1) / 2.0, csy = (H - 1) / 2.0, cdx = (NW - 1) / 2.0, cdy = (NH - 1) / 2.0;
  std::vector<double> ax(static_cast<size_t>(NW)), bx(static_cast<size_t>(NW));
  for (int x = 0; x < NW; ++x) {
    ax[x] = (x - cdx) * cs + csx;
    bx[x] = (x - cdx) * sn + csy;
  }
  int bits = Src->GetBitCount();
  int n = bits / 8;
  TIERowTable s(Src), d(Dst);
  IEParallelForProgress(
      NH, static_cast<std::int64_t>(NW), s.Shareable() && d.Shareable(),
      [&](int b, int e) {
        for (int y = b; y < e; ++y) {
          double ry = y - cdy;
          double dxs = ry * sn, dys = ry * cs;
          std::uint8_t* out = d[y];
          for (int x = 0; x < NW; ++x) {
            // Both are bounded by the canvas sizes: the conversions cannot overflow.
            auto sx = static_cast<std::int64_t>(std::nearbyint(ax[x] - dxs));
            auto sy = static_cast<std::int64_t>(std::nearbyint(bx[x] + dys));
            bool inside = sx >= 0 && sx < W && sy >= 0 && sy < H;
            if (bits == 1) {
              IESetRowBit(out, x, inside ? IERowBit(s[static_cast<int>(sy)], sx) : bgBit);
            } else if (inside) {
              std::memcpy(out + static_cast<size_t>(x) * n, s[static_cast<int>(sy)] + sx * n,
                          static_cast<size_t>(n));
            } else {
              std::memcpy(out + static_cast<size_t>(x) * n, bg.data(), static_cast<size_t>(n));
            }
          }
        }
      },
      after);
}

// The canvas of a rotation by Theta: Trunc or Round of the rotated extents.
void RotatedSize(int W, int H, double theta, TSizeRule rule, int& NW, int& NH) {
  double c = std::fabs(std::cos(theta)), s = std::fabs(std::sin(theta));
  double w = W * c + H * s, h = W * s + H * c;
  NW = rule == TSizeRule::Trunc ? TruncInt(w) : RoundInt(w);
  NH = rule == TSizeRule::Trunc ? TruncInt(h) : RoundInt(h);
}

void Allocate(TIEBitmap* Dst, int w, int h, TIEBitmap* Src) {
  if (!Dst->Allocate(w, h, Src->GetPixelFormat()))
    throw EOutOfMemory("Cannot allocate a " + std::to_string(w) + " x " + std::to_string(h) + " bitmap");
  Src->CopyPaletteTo(Dst);
}

// Dst becomes the pixels of Bitmap turned (the alpha plane is not looked
// at); false when there is nothing to turn.
bool NearestInto(TIEBitmap* Bitmap, TIEBitmap& dst, double Angle, const std::vector<std::uint8_t>& bg,
                 bool bgBit, const std::function<void(int, int)>& progress) {
  if (Bitmap->GetWidth() == 0 || Bitmap->GetHeight() == 0) return false;
  double a = IEReduceAngle(Angle);
  if (std::isnan(a) || a == 0) return false;
  if (IEIsMultipleOf90(a)) {
    IERotateQuarter(Bitmap, &dst, IEQuarterOf(a));
  } else {
    double theta = a * std::numbers::pi / 180;
    int NW, NH;
    RotatedSize(Bitmap->GetWidth(), Bitmap->GetHeight(), theta, TSizeRule::Trunc, NW, NH);
    Allocate(&dst, NW, NH, Bitmap);
    if (NW > 0 && NH > 0) {
      double step = 100.0 / NH;
      std::function<void(int)> after;
      if (progress) after = [&](int y) { progress(y, TruncInt(y * step)); };
      MapNearest(Bitmap, &dst, theta, bg, bgBit, after);
    }
  }
  return true;
}

bool NearestAlpha(TIEBitmap* plane, TIEBitmap& out, double Angle) {
  return NearestInto(plane, out, Angle, {0}, false, nullptr);
}

}  // namespace

void _IERotate8bitNearest(TIEBitmap* Plane, std::uint8_t Background, double Angle) {
  TIEPixelFormat pf = Plane->GetPixelFormat();
  if (pf != ie8g && pf != ie8p) return;
  IETurnWithAlpha(
      Plane,
      [&](TIEBitmap* src, TIEBitmap& out) {
        return NearestInto(src, out, Angle, {Background}, false, nullptr);
      },
      [&](TIEBitmap* src, TIEBitmap& out) { return NearestAlpha(src, out, Angle); });
}

void _IERotate1bit(TIEBitmap* Bitmap, bool Background, const TIEProgressRecord& Progress, double Angle) {
  if (Bitmap->GetPixelFormat() != ie1g) return;
  std::function<void(int, int)> progress;
  if (Progress.Assigned()) progress = [&](int, int per) { (*Progress.fOnProgress)(Progress.Sender, per); };
  IETurnWithAlpha(
      Bitmap,
      [&](TIEBitmap* src, TIEBitmap& out) { return NearestInto(src, out, Angle, {}, Background, progress); },
      [&](TIEBitmap* src, TIEBitmap& out) { return NearestAlpha(src, out, Angle); });
}

void _IERotateInto(TIEBitmap* Src, TIEBitmap* Dst, TColor Background, TObject* Sender,
                   const TIEProgressEvent& OnProgress, double Angle) {
  if (!Src || !Dst) return;
  if (Src == Dst) {
    _IERotateInPlace(Src, Background, Sender, OnProgress, Angle);
    return;
  }
  double a = IEReduceAngle(Angle);
  int W = Src->GetWidth(), H = Src->GetHeight();
  if (std::isnan(a) || a == 0 || W == 0 || H == 0) {
    Dst->Assign(Src);
    return;
  }
  if (IEIsMultipleOf90(a)) {
    IERotateQuarter(Src, Dst, IEQuarterOf(a));
  } else {
    double theta = a * std::numbers::pi / 180;
    int NW, NH;
    RotatedSize(W, H, theta, TSizeRule::Round, NW, NH);
    Allocate(Dst, NW, NH, Src);
    if (NW > 0 && NH > 0) {
      std::vector<std::uint8_t> bg = IEBackgroundPixel(Src, Background);
      bg.resize(static_cast<size_t>(std::max(Src->GetBitCount() / 8, 1)));
      double step = 100.0 / NH;
      std::function<void(int)> after;
      if (OnProgress) after = [&](int y) { OnProgress(Sender, TruncInt(y * step)); };
      MapNearest(Src, Dst, theta, bg, IEBackgroundBit(IEColorToRGB(Background)), after);
    }
  }
  if (Dst->IsAlphaPlane()) return;
  if (TIEBitmap* alpha = IEAlphaToTurn(Src))
    _IERotateInto(alpha, Dst->GetAlphaChannel(), 0, nullptr, nullptr, Angle);
  else
    Dst->RemoveAlphaChannel();
}

void _IERotateInPlace(TIEBitmap* Bitmap, TColor Background, TObject* Sender,
                      const TIEProgressEvent& OnProgress, double Angle) {
  if (Bitmap->GetWidth() == 0 || Bitmap->GetHeight() == 0) return;
  IEGuardMemory("rotate the image", Bitmap, [&] {
    TIEBitmap rotated;
    rotated.SetMemoryThreshold(Bitmap->MemoryThreshold());
    _IERotateInto(Bitmap, &rotated, Background, Sender, OnProgress, Angle);
    // Both planes are taken while each still has its image's size.
    TIEBitmap* alpha = IEAlphaToTurn(Bitmap);
    TIEBitmap* turnedAlpha = IEAlphaToTurn(&rotated);
    IETakeResult(Bitmap, rotated);
    // A plane never lives in a platform bitmap: the exchange cannot fail.
    if (alpha && turnedAlpha) alpha->SwapImage(*turnedAlpha);
  });
}

}  // namespace redozir
