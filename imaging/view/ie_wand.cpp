// The magic wand: a span seed fill (Heckbert's) over similar, unvisited
// pixels; the region's outline traced on a grid magnified four times with a
// chain code; the region or every similar pixel written into a mask.
#include "imaging/view/ie_wand.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"

namespace redozir {

namespace {

// The tracing grid is a byte per cell; more than this is refused.
constexpr std::int64_t kMaxWandGrid = kMaxBitmapBytes;

template <typename T>
std::vector<T> NewBlock(std::int64_t Count, const char* What) {
  if (Count < 0 || Count > kMaxWandGrid)
    throw EOutOfMemory(std::string("Magic wand: ") + What + " of " + std::to_string(Count) +
                       " cells is too large");
  try {
    return std::vector<T>(static_cast<size_t>(Count));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory(std::string("Magic wand: not enough memory for the ") + What);
  }
}

class TWandColor {
 public:
  TWandColor(TIEBitmap* B, int X, int Y, int Tolerance) : b_(B), tol_(Tolerance) {
    seed_ = B->GetPixels(X, Y);
  }
  bool Similar(int x, int y) const {
    if (x < 0 || y < 0 || x >= b_->Width() || y >= b_->Height()) return false;
    TRGB c = b_->GetPixels(x, y);
    return std::abs(c.r - seed_.r) <= tol_ && std::abs(c.g - seed_.g) <= tol_ &&
           std::abs(c.b - seed_.b) <= tol_;
  }

 private:
  TIEBitmap* b_;
  int tol_;
  TRGB seed_;
};

// The connected region of similar pixels around the seed: a visited bit per
// pixel and the region's box.
struct TWandRegion {
  int Width = 0, Height = 0;
  std::int64_t RowBytes = 0;
  std::vector<std::uint8_t> Visited;
  int MinX = 2147483647, MaxX = 0, MinY = 2147483647, MaxY = 0;

  bool Get(int x, int y) const { return (Visited[y * RowBytes + (x >> 3)] >> (7 - (x & 7))) & 1; }
  void Set(int x, int y) {
    Visited[y * RowBytes + (x >> 3)] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
    MinX = std::min(MinX, x);
    MaxX = std::max(MaxX, x);
    MinY = std::min(MinY, y);
    MaxY = std::max(MaxY, y);
  }
  bool Empty() const { return MinX > MaxX; }
};

struct TSpan {
  int Row, Left, Right, Dir;
};

TWandRegion FillRegion(TIEBitmap* B, int X, int Y, int Tolerance) {
  TWandRegion r;
  r.Width = B->Width();
  r.Height = B->Height();
  r.RowBytes = r.Width / 8 + 1;
  r.Visited = NewBlock<std::uint8_t>(r.RowBytes * r.Height, "visited map");
  TWandColor color(B, X, Y, Tolerance);
  auto open = [&](int x, int y) { return color.Similar(x, y) && !r.Get(x, y); };
  std::vector<TSpan> stack;
  stack.reserve(static_cast<size_t>(2) * static_cast<size_t>(r.Width));
  stack.push_back({Y, X, X, 1});
  stack.push_back({Y + 1, X, X, -1});
  while (!stack.empty()) {
    TSpan s = stack.back();
    stack.pop_back();
    int y = s.Row + s.Dir;
    if (y < 0 || y >= r.Height) continue;
    int x1 = s.Left, x2 = std::min(s.Right, r.Width - 1);
    int x = x1;
    while (x >= 0 && open(x, y)) {
      r.Set(x, y);
      --x;
    }
    int l;
    bool filling = x < x1;
    if (filling) {
      l = x + 1;
      if (l < x1) stack.push_back({y, l, x1 - 1, -s.Dir});
      x = x1 + 1;
    } else {
      // Nothing at x1: look for the next open pixel under the span.
      for (++x; x <= x2 && !open(x, y); ++x) {
      }
      l = x;
    }
    while (filling || x <= x2) {
      filling = false;
      while (x < r.Width && open(x, y)) {
        r.Set(x, y);
        ++x;
      }
      stack.push_back({y, l, x - 1, s.Dir});
      if (x > x2 + 1) stack.push_back({y, x2 + 1, x - 1, -s.Dir});
      for (++x; x <= x2 && !open(x, y); ++x) {
      }
      l = x;
    }
  }
  return r;
}

bool SeedInside(TIEBitmap* B, int X, int Y) {
  return B && X >= 0 && Y >= 0 && X < B->Width() && Y < B->Height();
}

// The eight steps of the chain code, in the order the trace tries them.
struct TStep {
  int dx, dy, code;
};
constexpr TStep kSteps[8] = {{1, 0, 0},  {0, -1, 2},  {-1, 0, 4}, {0, 1, 6},
                             {1, -1, 1}, {-1, -1, 3}, {-1, 1, 5}, {1, 1, 7}};
constexpr int kCodeDX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int kCodeDY[8] = {0, -1, -1, -1, 0, 1, 1, 1};

}  // namespace

std::vector<TPoint> IEMagicWandPolygon(TIEBitmap* Bitmap, int X, int Y, int Tolerance, bool MaxFilter) {
  std::vector<TPoint> points;
  if (!SeedInside(Bitmap, X, Y)) return points;
  TWandRegion r = FillRegion(Bitmap, X, Y, Tolerance);
  if (r.Empty()) return points;
  // The local map covers the region's box, one pixel wider every way (inside
  // the image) when the region grows.
  int grow = MaxFilter ? 1 : 0;
  int minX = std::max(r.MinX - grow, 0), maxX = std::min(r.MaxX + grow, r.Width - 1);
  int minY = std::max(r.MinY - grow, 0), maxY = std::min(r.MaxY + grow, r.Height - 1);
  std::int64_t bw = static_cast<std::int64_t>(maxX) - minX + 1,
               bh = static_cast<std::int64_t>(maxY) - minY + 1;
  std::vector<std::uint8_t> local = NewBlock<std::uint8_t>(bw * bh, "region map");
  for (int y = r.MinY; y <= r.MaxY; ++y)
    for (int x = r.MinX; x <= r.MaxX; ++x) {
      if (!r.Get(x, y)) continue;
      for (int yy = std::max(y - grow, minY); yy <= std::min(y + grow, maxY); ++yy)
        for (int xx = std::max(x - grow, minX); xx <= std::min(x + grow, maxX); ++xx)
          local[(yy - minY) * bw + (xx - minX)] = 1;
    }
  // Grid magnified four times with a margin of two cells: 1 inside the
  // region, 3 on its border, 2 once traced.
  std::int64_t gw = bw * 4 + 4, gh = bh * 4 + 4;
  if (gw > INT32_MAX || gh > INT32_MAX || gw * gh / gw != gh)
    throw EOutOfMemory("Magic wand: the region is too large to trace");
  std::vector<std::uint8_t> grid = NewBlock<std::uint8_t>(gw * gh, "tracing grid");
  auto cell = [&](std::int64_t cx, std::int64_t cy) -> std::uint8_t& { return grid[cy * gw + cx]; };
  for (std::int64_t y = 0; y < bh; ++y)
    for (std::int64_t x = 0; x < bw; ++x)
      if (local[y * bw + x])
        for (int j = 0; j < 4; ++j) std::fill_n(&cell(4 * x + 2, 4 * y + 2 + j), 4, std::uint8_t{1});
  for (std::int64_t y = 0; y < gh; ++y) {
    bool in = false;
    for (std::int64_t x = 0; x < gw; ++x) {
      bool one = cell(x, y) == 1;
      if (one && !in && x > 0) cell(x - 1, y) = 3;
      in = one;
    }
    in = false;
    for (std::int64_t x = gw - 1; x >= 0; --x) {
      bool one = cell(x, y) == 1;
      if (one && !in && x + 1 < gw) cell(x + 1, y) = 3;
      in = one;
    }
  }
  for (std::int64_t x = 0; x < gw; ++x) {
    bool in = false;
    for (std::int64_t y = 0; y < gh; ++y) {
      bool one = cell(x, y) == 1;
      if (one && !in && y > 0) cell(x, y - 1) = 3;
      in = one;
    }
    in = false;
    for (std::int64_t y = gh - 1; y >= 0; --y) {
      bool one = cell(x, y) == 1;
      if (one && !in && y + 1 < gh) cell(x, y + 1) = 3;
      in = one;
    }
  }
  // Start at the border cell nearest the top-left corner of the border's box.
  std::int64_t bx1 = gw, by1 = gh;
  for (std::int64_t y = 0; y < gh; ++y)
    for (std::int64_t x = 1; x < gw; ++x)
      if (cell(x, y) == 3) {
        bx1 = std::min(bx1, x);
        by1 = std::min(by1, y);
      }
  if (bx1 == gw) return points;
  std::int64_t sx = -1, sy = -1, best = INT64_MAX;
  for (std::int64_t y = 0; y < gh; ++y)
    for (std::int64_t x = 1; x < gw; ++x)
      if (cell(x, y) == 3) {
        std::int64_t d = (x - bx1) * (x - bx1) + (y - by1) * (y - by1);
        if (d < best) {
          best = d;
          sx = x;
          sy = y;
        }
      }
  auto isBorder = [&](std::int64_t x, std::int64_t y) {
    return x >= 0 && y >= 0 && x < gw && y < gh && cell(x, y) == 3;
  };
  std::vector<std::uint8_t> chain;
  std::int64_t cx = sx, cy = sy;
  cell(cx, cy) = 2;
  TStep preferred = kSteps[4];
  for (;;) {
    if (isBorder(cx + preferred.dx, cy + preferred.dy)) {
      cx += preferred.dx;
      cy += preferred.dy;
      cell(cx, cy) = 2;
      chain.push_back(static_cast<std::uint8_t>(preferred.code));
    }
    const TStep* found = nullptr;
    for (const TStep& s : kSteps)
      if (isBorder(cx + s.dx, cy + s.dy)) {
        found = &s;
        break;
      }
    if (!found) break;
    cx += found->dx;
    cy += found->dy;
    cell(cx, cy) = 2;
    chain.push_back(static_cast<std::uint8_t>(found->code));
    preferred = *found;
  }
  if (std::abs(sx - cx) <= 1 && std::abs(sy - cy) <= 1 && (sx != cx || sy != cy))
    for (const TStep& s : kSteps)
      if (cx + s.dx == sx && cy + s.dy == sy) chain.push_back(static_cast<std::uint8_t>(s.code));
  // Corners of the chain, back on pixel corners.
  std::int64_t px = sx - 1 + 4 * static_cast<std::int64_t>(minX),
               py = sy - 1 + 4 * static_cast<std::int64_t>(minY);
  auto corner = [&] { points.push_back(TPoint{static_cast<int>(px >> 2), static_cast<int>(py >> 2)}); };
  corner();
  int previous = chain.empty() ? -1 : chain.front();
  for (std::uint8_t code : chain) {
    if (code != previous) corner();
    previous = code;
    px += kCodeDX[code];
    py += kCodeDY[code];
  }
  return points;
}

void IEMagicWandMask(TIEBitmap* Bitmap, int X, int Y, int Value, TIEMask* Mask, int Tolerance,
                     bool MaxFilter) {
  if (!Mask || !SeedInside(Bitmap, X, Y)) return;
  TWandRegion r = FillRegion(Bitmap, X, Y, Tolerance);
  if (r.Empty()) return;
  int grow = MaxFilter ? 1 : 0;
  for (int y = r.MinY; y <= r.MaxY; ++y)
    for (int x = r.MinX; x <= r.MaxX; ++x) {
      if (!r.Get(x, y)) continue;
      for (int yy = std::max(y - grow, 0); yy <= std::min(y + grow, r.Height - 1); ++yy)
        for (int xx = std::max(x - grow, 0); xx <= std::min(x + grow, r.Width - 1); ++xx)
          Mask->SetPixel(xx, yy, Value);
    }
  Mask->SyncFull();
}

void IEMagicWandGlobal(TIEBitmap* Bitmap, int X, int Y, int Value, TIEMask* Mask, int Tolerance) {
  if (!Mask || !SeedInside(Bitmap, X, Y)) return;
  TWandColor color(Bitmap, X, Y, Tolerance);
  for (int y = 0; y < Bitmap->Height(); ++y)
    for (int x = 0; x < Bitmap->Width(); ++x)
      if (color.Similar(x, y)) Mask->SetPixel(x, y, Value);
  Mask->SyncFull();
}

// ---- the view's wand

void TRedozIrView::MagicWandSelect(int X, int Y, bool Additive) {
  TPoint p{X, Y};
  if (SelectionBase == iesbClientArea) {
    TIELayer* l = GetCurrentLayer();
    p = TPoint{LayerXScr2Bmp(l, X), LayerYScr2Bmp(l, Y)};
  }
  int w = fIEBitmap->Width(), h = fIEBitmap->Height();
  if (p.X < 0 || p.Y < 0 || p.X >= w || p.Y >= h) return;
  TIESelectionState& s = *fSel;
  if (MagicWandMode == 0) {
    std::vector<TPoint> traced =
        IEMagicWandPolygon(fIEBitmap, p.X, p.Y, MagicWandTolerance, MagicWandMaxFilter);
    if (!traced.empty()) {
      s.Selected = true;
      if (Additive && s.Poly.Count() > 0) {
        AppendSelectionBreak();
      } else {
        EmptySelectionPolygon();
        fSelectionMask->Empty();
      }
      for (const TPoint& q : traced) AppendSelectionPoint(std::clamp(q.X, 0, w), std::clamp(q.Y, 0, h));
      if (!Additive) fSelectionMask->Empty();
      EndSelect();
      s.Poly.Visible = true;
    }
  } else {
    if (!Additive) {
      EmptySelectionPolygon();
      fSelectionMask->Empty();
    }
    if (MagicWandMode == 1)
      IEMagicWandMask(fIEBitmap, p.X, p.Y, SelectionIntensity, fSelectionMask.get(), MagicWandTolerance,
                      MagicWandMaxFilter);
    else
      IEMagicWandGlobal(fIEBitmap, p.X, p.Y, SelectionIntensity, fSelectionMask.get(), MagicWandTolerance);
    s.Selected = !fSelectionMask->IsEmpty();
    s.Poly.Visible = true;
  }
  Paint();
}

}  // namespace redozir
