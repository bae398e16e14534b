// Soft shadows: the drop shadow an object casts through its alpha plane
// (blurred, shifted, then composited with the shadow colour outside the
// object) and the shadow drawn around an image on a view's background.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "imaging/core/ie_filters.h"
#include "imaging/core/ie_pixel.h"
#include "imaging/processing/ie_blur.h"
#include "platform/numeric.h"

namespace redozir {

namespace {

// Moves the inclusive rectangle of an 8-bit plane by (dx, dy); the part of
// the rectangle left uncovered becomes 0 and what leaves the plane is cut.
void ShiftRegion(TIEBitmap* plane, int x1, int y1, int x2, int y2, int dx, int dy) {
  int w = x2 - x1 + 1, h = y2 - y1 + 1;
  std::vector<std::uint8_t> copy(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    std::copy_n(plane->GetScanline(y1 + y) + x1, w, copy.data() + static_cast<size_t>(y) * w);
  for (int y = y1; y <= y2; ++y) std::fill_n(plane->GetScanline(y) + x1, w, std::uint8_t{0});
  int W = plane->GetWidth(), H = plane->GetHeight();
  for (int y = 0; y < h; ++y) {
    std::int64_t ty = static_cast<std::int64_t>(y1) + y + dy;
    if (ty < 0 || ty >= H) continue;
    std::uint8_t* row = plane->GetScanline(static_cast<int>(ty));
    for (int x = 0; x < w; ++x) {
      std::int64_t tx = static_cast<std::int64_t>(x1) + x + dx;
      if (tx >= 0 && tx < W) row[tx] = copy[static_cast<size_t>(y) * w + x];
    }
  }
}

int ClampCoord(std::int64_t v, int hi) { return static_cast<int>(std::clamp<std::int64_t>(v, 0, hi)); }

}  // namespace

int _IEAddSoftShadow(TIEBitmap* Bitmap, int OffsetX, int OffsetY, double Radius, int Intensity,
                     TRGB ShadowColor, int X1, int Y1, int X2, int Y2) {
  bool box = Radius == 0;
  if (box) Radius = 2.0;
  if (std::isnan(Radius)) return 1;
  std::int64_t off = std::max(std::llabs(OffsetX), std::llabs(OffsetY));
  std::int64_t margin64 = Trunc(std::clamp(Radius * 5, -1e9, 1e9)) + 2 * off;
  int margin = static_cast<int>(std::clamp<std::int64_t>(margin64, 1, std::numeric_limits<int>::max() / 4));
  int half = margin / 2;

  TIEPixelFormat pf = Bitmap->GetPixelFormat();
  int W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  // Only these two formats can show the shadow; elsewhere the object's
  // alpha would be blurred for nothing.
  if ((pf != ie24RGB && pf != ie1g) || W == 0 || H == 0 || X1 > X2 || Y1 > Y2) return margin;

  TIEBitmap* alpha = Bitmap->GetAlphaChannel();
  alpha->SetFull(false);
  int wx1 = ClampCoord(static_cast<std::int64_t>(X1) - margin, W - 1);
  int wy1 = ClampCoord(static_cast<std::int64_t>(Y1) - margin, H - 1);
  int wx2 = ClampCoord(static_cast<std::int64_t>(X2) + margin, W - 1);
  int wy2 = ClampCoord(static_cast<std::int64_t>(Y2) + margin, H - 1);
  int ww = wx2 - wx1 + 1;
  // Everything the blur and the shift may change lies in the widened rectangle.
  std::vector<std::uint8_t> saved(static_cast<size_t>(ww) * (wy2 - wy1 + 1));
  for (int y = wy1; y <= wy2; ++y)
    std::copy_n(alpha->GetScanline(y) + wx1, ww, saved.data() + static_cast<size_t>(y - wy1) * ww);

  int bx1 = ClampCoord(static_cast<std::int64_t>(X1) - half, W - 1);
  int by1 = ClampCoord(static_cast<std::int64_t>(Y1) - half, H - 1);
  int bx2 = ClampCoord(static_cast<std::int64_t>(X2) + half, W - 1);
  int by2 = ClampCoord(static_cast<std::int64_t>(Y2) + half, H - 1);
  if (box)
    _IEApplyFilter8bit(alpha, IEPredefinedFilters()[1].Filter, bx1, by1, bx2 + 1, by2 + 1);
  else
    _IEBlurRect8bit(alpha, bx1, by1, bx2, by2, Radius);
  if (OffsetX != 0 || OffsetY != 0) ShiftRegion(alpha, bx1, by1, bx2, by2, OffsetX, OffsetY);

  Intensity = std::clamp(Intensity, 0, 100);
  double factor = 3 - Intensity / 100.0 * 2;
  const int colour[3] = {ShadowColor.b, ShadowColor.g, ShadowColor.r};
  for (int y = wy1; y <= wy2; ++y) {
    const std::uint8_t* so = saved.data() + static_cast<size_t>(y - wy1) * ww;
    std::uint8_t* a = alpha->GetScanline(y) + wx1;
    std::uint8_t* row = Bitmap->GetScanline(y);
    for (int i = 0; i < ww; ++i) {
      int o = so[i], s = a[i];
      int x = wx1 + i;
      if (pf == ie1g) {
        if (o == 0 && s != 0)
          row[x >> 3] &= static_cast<std::uint8_t>(~(0x80 >> (x & 7)));
        else
          a[i] = static_cast<std::uint8_t>(o);
        continue;
      }
      std::uint8_t* p = row + 3 * x;
      if (o == 0 && s != 0) {
        for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(colour[c]);
        if (factor != 1) a[i] = static_cast<std::uint8_t>(s / factor);
      } else if (o > 0 && o < 255) {
        double fo = o / 255.0, fs = s / 255.0;
        for (int c = 0; c < 3; ++c) {
          auto mix = static_cast<int>(colour[c] * fs + p[c] * (1 - fs));
          p[c] = static_cast<std::uint8_t>(static_cast<int>(p[c] * fo + mix * (1 - fo)));
        }
        a[i] = static_cast<std::uint8_t>(static_cast<int>(((1 - fo) * fs + fo) * 255));
      } else {
        a[i] = static_cast<std::uint8_t>(o);
      }
    }
  }
  return margin;
}

void IEDrawSoftShadow(TIEBitmap* Target, const TRect& ImageRect, TColor Background) {
  constexpr int kOffset = 4;
  constexpr double kSigma = 3.0;
  constexpr int kReach = 9;  // three sigmas of blur
  if (Target->GetPixelFormat() != ie24RGB || ImageRect.IsEmpty()) return;
  int W = Target->GetWidth(), H = Target->GetHeight();
  // The shadow is the image rectangle moved by the offset and blurred; a
  // blurred rectangle is the product of two blurred steps, one per axis.
  TIEGaussKernel kernel;
  IEBuildGaussKernel(kernel, kSigma);
  auto profile = [&](int lo, int hi, int origin, int count) {
    std::vector<std::uint8_t> step(static_cast<size_t>(count)), out(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) step[i] = (origin + i >= lo && origin + i < hi) ? 255 : 0;
    IEConvolveRow(kernel, step.data(), out.data(), count);
    return out;
  };
  std::int64_t ex1 = std::max<std::int64_t>(static_cast<std::int64_t>(ImageRect.Left) + kOffset - kReach, 0);
  std::int64_t ey1 = std::max<std::int64_t>(static_cast<std::int64_t>(ImageRect.Top) + kOffset - kReach, 0);
  std::int64_t ex2 = std::min<std::int64_t>(static_cast<std::int64_t>(ImageRect.Right) + kOffset + kReach, W);
  std::int64_t ey2 =
      std::min<std::int64_t>(static_cast<std::int64_t>(ImageRect.Bottom) + kOffset + kReach, H);
  if (ex1 >= ex2 || ey1 >= ey2) return;
  int x0 = static_cast<int>(ex1), y0 = static_cast<int>(ey1);
  int nx = static_cast<int>(ex2 - ex1), ny = static_cast<int>(ey2 - ey1);
  // The profiles run with the reach of zeros beyond the area, so that the
  // cut at the bitmap's edge does not repeat a lit edge pixel.
  auto px = profile(ImageRect.Left + kOffset, ImageRect.Right + kOffset, x0 - kReach, nx + 2 * kReach);
  auto py = profile(ImageRect.Top + kOffset, ImageRect.Bottom + kOffset, y0 - kReach, ny + 2 * kReach);
  TRGB bg = IEColorToRGB(Background);
  const int base[3] = {bg.b, bg.g, bg.r};
  for (int j = 0; j < ny; ++j) {
    int y = y0 + j;
    std::uint8_t* row = Target->GetScanline(y);
    for (int i = 0; i < nx; ++i) {
      int x = x0 + i;
      if (ImageRect.Contains(x, y)) continue;
      // Darkness up to a half of the background.
      int d = px[i + kReach] * py[j + kReach] / 255;
      for (int c = 0; c < 3; ++c) row[3 * x + c] = static_cast<std::uint8_t>(base[c] * (510 - d) / 510);
    }
  }
}

}  // namespace redozir
