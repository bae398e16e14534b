// Rectangle lists and the shaped regions of the region transitions.
#include "imaging/processing/transition_regions.h"

#include <algorithm>
#include <cmath>

#include "imaging/processing/transition_random.h"
#include "platform/numeric.h"

namespace redozir {

namespace {
constexpr int kRectsPerGrowth = 500;
}  // namespace

void TComplexRegion::Clear() {
  fRects.clear();
  fRects.shrink_to_fit();
  fCapacity = 0;
  fBounds = {2147483647, 2147483647, -2147483647, -2147483647};
}

void TComplexRegion::AddRect(int X1, int Y1, int X2, int Y2) {
  if (Count() == fCapacity) {
    fCapacity += kRectsPerGrowth;
    fRects.reserve(static_cast<size_t>(fCapacity));
  }
  fRects.push_back({X1, Y1, X2, Y2});
  fBounds.Left = std::min(fBounds.Left, X1);
  fBounds.Top = std::min(fBounds.Top, Y1);
  fBounds.Right = std::max(fBounds.Right, X2);
  fBounds.Bottom = std::max(fBounds.Bottom, Y2);
}

std::optional<TRegion> TComplexRegion::CreateRegion() const {
  if (fCapacity == 0) return std::nullopt;
  return TRegion::FromRects(fRects.data(), Count());
}

std::optional<TRegion> IEBarsRegion(int X, int Y, int W, int H, int VMode, int HMode) {
  TComplexRegion r;
  const int band = std::min(W, H) / 50 + 1;
  if (HMode != 0) {
    for (int y = X > W ? band : 0; y < H + band; y += 2 * band) {
      if (X > W) {
        if (HMode == 1 || HMode == 4) r.AddRect(2 * W - X, y, W, y + band);
        if (HMode == 2 || HMode == 5) r.AddRect(0, y, X - W, y + band);
        r.AddRect(0, y - band, W, y);
      } else {
        if (HMode == 1 || HMode == 5) r.AddRect(W - X, y, W, y + band);
        if (HMode == 2 || HMode == 4) r.AddRect(0, y, X, y + band);
        if (HMode == 3) {
          r.AddRect(0, y + band, X, y + 2 * band);
          r.AddRect(W - X, y, W, y + band);
        }
      }
    }
  }
  if (VMode != 0) {
    for (int x = Y > H ? band : 0; x < W + band; x += 2 * band) {
      if (Y > H) {
        if (VMode == 1 || VMode == 4) r.AddRect(x, 2 * H - Y, x + band, H);
        if (VMode == 2 || VMode == 5) r.AddRect(x, 0, x + band, Y - H);
        r.AddRect(x - band, 0, x, H);
      } else {
        if (VMode == 1 || VMode == 5) r.AddRect(x, H - Y, x + band, H);
        if (VMode == 2 || VMode == 4) r.AddRect(x, 0, x + band, Y);
        if (VMode == 3) {
          r.AddRect(x, H - Y, x + band, H);
          r.AddRect(x + band, 0, x + 2 * band, Y);
        }
      }
    }
  }
  return r.CreateRegion();
}

std::optional<TRegion> IEShreddedRegion(int X, int Y, int W, int H, int VMode, int HMode) {
  TComplexRegion r;
  const int t = std::min(W, H) / 200 + 1;
  const int rw = W % t, rh = H % t, mx = W / 2, my = H / 2;
  if (HMode != 0) {
    const int jitter = X < W ? W / 10 : 0;
    for (int y = 0; y < H; y += t) {
      const int len = IERandom(2 * jitter) - jitter + X, e = y + t + rh;
      switch (HMode) {
        case 1: r.AddRect(W - len, y, W, e); break;
        case 2: r.AddRect(0, y, len, e); break;
        case 3:
          r.AddRect(mx - len / 2, y, mx, e);
          r.AddRect(mx, y, mx + (len - len / 2), e);
          break;
        default: r.AddRect(W - (len - len / 2), y, W, e); r.AddRect(0, y, len / 2, e);
      }
    }
  }
  if (VMode != 0) {
    const int jitter = Y < H ? H / 10 : 0;
    for (int x = 0; x < W; x += t) {
      const int len = IERandom(2 * jitter) + Y - jitter, e = x + t + rw;
      switch (VMode) {
        case 1: r.AddRect(x, H - len, e, H); break;
        case 2: r.AddRect(x, 0, e, len); break;
        case 3:
          r.AddRect(x, my - len / 2, e, my);
          r.AddRect(x, my, e, my + (len - len / 2));
          break;
        default: r.AddRect(x, H - (len - len / 2), e, H); r.AddRect(x, 0, e, len / 2);
      }
    }
  }
  return r.CreateRegion();
}

namespace {
// The cells of a speckled edge: big is a tenth of the side while the wipe
// runs; k counts cells ahead of the edge, the nearer ones more often drawn.
struct TSpeckle {
  int cell, step, n, thr;
  explicit TSpeckle(int big)
      : cell(std::max(big / 20, 2)), step(cell / 2), n(big / cell), thr((3 * big) / (4 * cell)) {}
  bool Drawn(int k) const { return IERandom(k) <= (k <= thr ? 1 : 0); }
};
}  // namespace

std::optional<TRegion> IESpeckledRegion(int X, int Y, int W, int H, int VMode, int HMode) {
  TComplexRegion r;
  if (HMode != 0) {
    const TSpeckle s(X < W ? W / 10 : 0);
    for (int y = 0; y < H; y += s.step) {
      if (HMode == 1) {
        r.AddRect(W - X, y, W, y + s.cell);
        for (int k = s.n; k >= 1; --k) {
          if (!s.Drawn(k)) continue;
          const int x = W - X - k * s.cell;
          r.AddRect(x, y, x + s.cell, y + s.cell);
        }
      } else {
        r.AddRect(0, y, X, y + s.cell);
        for (int k = s.n; k >= 1; --k) {
          if (!s.Drawn(k)) continue;
          const int x = X + k * s.cell;
          r.AddRect(x - s.cell, y, x, y + s.cell);
        }
      }
    }
  }
  if (VMode != 0) {
    const TSpeckle s(Y < H ? H / 10 : 0);
    for (int x = 0; x < W; x += s.step) {
      if (VMode == 1) {
        r.AddRect(x, H - Y, x + s.cell, H);
        for (int k = s.n; k >= 1; --k) {
          if (!s.Drawn(k)) continue;
          const int y = H - Y - k * s.cell;
          r.AddRect(x, y, x + s.cell, y + s.cell);
        }
      } else {
        r.AddRect(x, 0, x + s.cell, Y);
        for (int k = s.n; k >= 1; --k) {
          if (!s.Drawn(k)) continue;
          const int y = Y + k * s.cell;
          r.AddRect(x, y - s.cell, x + s.cell, y);
        }
      }
    }
  }
  return r.CreateRegion();
}

std::optional<TRegion> IEArcRegion(int CX, int CY, int Radius, double StartAngle, double EndAngle,
                                   int Count) {
  if (Count < 0) return std::nullopt;
  std::vector<TPoint> pts;
  pts.reserve(static_cast<size_t>(Count) + 1);
  pts.push_back({CX, CY});
  for (int k = 0; k < Count; ++k) {
    const double a = StartAngle + k * (EndAngle - StartAngle) / Count;
    pts.push_back({RoundInt(Radius * std::cos(a)) + CX, RoundInt(Radius * std::sin(a)) + CY});
  }
  return IEPolygonRegion(pts.data(), static_cast<int>(pts.size()));
}

std::optional<TRegion> IEPolygonRegion(const TPoint* Points, int Count) {
  if (!Points || Count <= 0) return std::nullopt;
  return TRegion::FromPolygon(Points, Count, WINDING);
}

std::optional<TRegion> IETriangleRegion(int X1, int Y1, int X2, int Y2, int X3, int Y3) {
  const TPoint pts[] = {{X1, Y1}, {X2, Y2}, {X3, Y3}};
  return IEPolygonRegion(pts, 3);
}

}  // namespace redozir
