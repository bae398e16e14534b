// Drawing of a selection mask over a canvas: the marching-ants outline, the
// inverted checker of the selected area and the darkening outside it. The
// pixels are touched directly in the canvas's bitmap because every effect is
// a per-pixel xor or shade of what is already there.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "imaging/core/ie_canvas_pixels.h"
#include "imaging/core/iemask.h"
#include "platform/bitmap.h"

namespace redozir {

namespace {

// Mask coordinate shown at screen coordinate s: floor((s - offset) / zoom),
// kept inside -1..size so that far-away pixels read as "outside".
int ScreenToMask(int s, int offset, double zoom, int size) {
  double m = std::floor((static_cast<double>(s) - offset) / zoom);
  if (!(m >= -1)) return -1;
  if (m > size) return size;
  return static_cast<int>(m);
}

// Mask pixel for each destination coordinate of a stretch of Src onto Dst.
std::vector<int> StretchMap(int dstFrom, int dstTo, int dstStart, int dstLen, int srcStart, int srcLen) {
  std::vector<int> map;
  map.reserve(static_cast<size_t>(std::max(0, dstTo - dstFrom)));
  for (int d = dstFrom; d < dstTo; ++d)
    map.push_back(static_cast<int>(srcStart + (static_cast<std::int64_t>(d - dstStart) * srcLen) / dstLen));
  return map;
}

}  // namespace

void TIEMask::DrawOutline(TCanvas* Canvas, int OffsetX, int OffsetY, double ZoomX, double ZoomY,
                          TColor ColorA, TColor ColorB, int Phase) {
  TIECanvasPixels target;
  if (IsEmpty() || !IECanvasPixels(Canvas, target)) return;
  if (!(ZoomX > 0) || !(ZoomY > 0) || !std::isfinite(ZoomX) || !std::isfinite(ZoomY)) return;
  TColor ca = ColorToRGB(ColorA), cb = ColorToRGB(ColorB);
  // Screen area of the bounding box, one pixel wider each way, clipped.
  const TRect& c = target.clip;
  auto lo = [](double v, int from, int to) {
    return static_cast<int>(std::clamp(std::floor(v), from - 1.0, to + 1.0));
  };
  int sx1 = std::max(c.Left, lo(OffsetX + X1 * ZoomX, c.Left, c.Right) - 1);
  int sy1 = std::max(c.Top, lo(OffsetY + Y1 * ZoomY, c.Top, c.Bottom) - 1);
  int sx2 = std::min(c.Right, lo(OffsetX + (X2 + 1.0) * ZoomX, c.Left, c.Right) + 2);
  int sy2 = std::min(c.Bottom, lo(OffsetY + (Y2 + 1.0) * ZoomY, c.Top, c.Bottom) + 2);
  if (sx1 >= sx2 || sy1 >= sy2) return;
  // Mask columns of screen columns sx1 - 1 .. sx2 (neighbours included).
  std::vector<int> mx(static_cast<size_t>(sx2 - sx1 + 2));
  for (int s = sx1 - 1; s <= sx2; ++s)
    mx[static_cast<size_t>(s - sx1 + 1)] = ScreenToMask(s, OffsetX, ZoomX, fWidth);
  std::vector<int> my(static_cast<size_t>(sy2 - sy1 + 2));
  for (int s = sy1 - 1; s <= sy2; ++s)
    my[static_cast<size_t>(s - sy1 + 1)] = ScreenToMask(s, OffsetY, ZoomY, fHeight);
  // The mask values under screen columns sx1 - 1 .. sx2 for the few mask rows
  // in use (rows only grow with sy, so the lowest row is the stale one).
  size_t n = mx.size();
  struct TRowCache {
    int row = INT32_MIN;
    std::vector<std::uint8_t> on;
  } cache[3];
  auto rowValues = [&](int row) -> const std::uint8_t* {
    TRowCache* slot = &cache[0];
    for (auto& r : cache) {
      if (r.row == row) return r.on.data();
      if (r.row < slot->row) slot = &r;
    }
    slot->row = row;
    slot->on.resize(n);
    for (size_t i = 0; i < n; ++i) slot->on[i] = GetPixel(mx[i], row) != 0;
    return slot->on.data();
  };
  for (int sy = sy1; sy < sy2; ++sy) {
    size_t j = static_cast<size_t>(sy - sy1);
    const std::uint8_t* up = rowValues(my[j]);
    const std::uint8_t* here = rowValues(my[j + 1]);
    const std::uint8_t* down = rowValues(my[j + 2]);
    for (int sx = sx1; sx < sx2; ++sx) {
      size_t i = static_cast<size_t>(sx - sx1 + 1);
      if (!here[i]) continue;
      if (here[i - 1] && here[i + 1] && up[i] && down[i]) continue;
      // Dashes of 4 pixels along both directions, shifted by the phase.
      std::int64_t k = static_cast<std::int64_t>(sx) + sy + Phase;
      std::int64_t dash = k >= 0 ? k / 4 : -((-k + 3) / 4);
      TColor col = (dash & 1) ? cb : ca;
      std::uint8_t* p = target.Pixel(sx, sy);
      p[0] = static_cast<std::uint8_t>(GetBValue(col));
      p[1] = static_cast<std::uint8_t>(GetGValue(col));
      p[2] = static_cast<std::uint8_t>(GetRValue(col));
    }
  }
}

namespace {

template <typename PerPixel>
void StretchWalk(TIEMask& mask, TCanvas* Canvas, const TRect& Dst, const TRect& Src, PerPixel f) {
  TIECanvasPixels target;
  if (Dst.IsEmpty() || Src.IsEmpty() || !IECanvasPixels(Canvas, target)) return;
  TRect area;
  if (!IntersectRect(area, Dst, target.clip)) return;
  auto xs = StretchMap(area.Left, area.Right, Dst.Left, Dst.Width(), Src.Left, Src.Width());
  auto ys = StretchMap(area.Top, area.Bottom, Dst.Top, Dst.Height(), Src.Top, Src.Height());
  for (int y = area.Top; y < area.Bottom; ++y) {
    int my = ys[static_cast<size_t>(y - area.Top)];
    for (int x = area.Left; x < area.Right; ++x)
      f(target.Pixel(x, y), x, y, mask.GetPixel(xs[static_cast<size_t>(x - area.Left)], my) != 0);
  }
}

}  // namespace

void TIEMask::StretchDrawXor(TCanvas* Canvas, const TRect& Dst, const TRect& Src) {
  if (IsEmpty()) return;
  StretchWalk(*this, Canvas, Dst, Src, [](std::uint8_t* p, int x, int y, bool on) {
    if (!on || ((x + y) & 1)) return;
    p[0] ^= 0xFF;
    p[1] ^= 0xFF;
    p[2] ^= 0xFF;
  });
}

void TIEMask::DrawOuter(TCanvas* Canvas, const TRect& Dst, const TRect& Src) {
  StretchWalk(*this, Canvas, Dst, Src, [](std::uint8_t* p, int, int, bool on) {
    if (on) return;
    p[0] >>= 1;
    p[1] >>= 1;
    p[2] >>= 1;
  });
}

}  // namespace redozir
