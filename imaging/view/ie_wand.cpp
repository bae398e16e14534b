// The magic wand: a span seed fill (Heckbert's) over similar, unvisited
// pixels; the region's outline traced on a grid magnified four times with a
// chain code; the region or every similar pixel written into a mask.
#include "imaging/view/ie_wand.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <deque>
#include <new>

#include "imaging/core/ie_pixelrow.h"
#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"

namespace redozir {

namespace {

template <typename T>
std::vector<T> NewBlock(std::int64_t Count, const char* What) {
  if (Count < 0 || Count > kMaxBitmapBytes)
    throw EOutOfMemory(std::string("Magic wand: ") + What + " of " + std::to_string(Count) +
                       " bytes is too large");
  try {
    return std::vector<T>(static_cast<size_t>(Count));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory(std::string("Magic wand: not enough memory for the ") + What);
  }
}

// A bit per pixel, rows of (width div 8) + 1 bytes, most significant bit first.
struct TWandBits {
  std::int64_t RowBytes = 0;
  std::vector<std::uint8_t> Bits;
  TWandBits(std::int64_t Width, std::int64_t Height, const char* What)
      : RowBytes(Width / 8 + 1), Bits(NewBlock<std::uint8_t>(RowBytes * Height, What)) {}
  bool Get(std::int64_t x, std::int64_t y) const {
    return (Bits[y * RowBytes + (x >> 3)] >> (7 - (x & 7))) & 1;
  }
  void Set(std::int64_t x, std::int64_t y) {
    Bits[y * RowBytes + (x >> 3)] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
  }
};

// Similarity to the seed's colour, each channel within the tolerance; a row
// is read (as GetPixels reads a pixel) when the fill first reaches it.
class TWandColor {
 public:
  TWandColor(TIEBitmap* B, int X, int Y, int Tolerance)
      : b_(B), tol_(Tolerance), seed_(B->GetPixels(X, Y)), row_(NewBlock<TRGB>(B->Width(), "colour row")) {}
  bool Similar(TRGB c) const {
    return std::abs(c.r - seed_.r) <= tol_ && std::abs(c.g - seed_.g) <= tol_ &&
           std::abs(c.b - seed_.b) <= tol_;
  }
  const TRGB* Row(int y) {
    IERowToRGB(b_->GetPixelFormat(), b_->GetScanline(y), 0, b_->Width(), b_->GetPaletteBuffer(),
               b_->GetPaletteLength(), row_.data());
    return row_.data();
  }

 private:
  TIEBitmap* b_;
  int tol_;
  TRGB seed_;
  std::vector<TRGB> row_;
};

// The connected region of similar pixels around the seed: a visited bit per
// pixel and the region's box. A row's similarity is read when the fill first
// reaches the row; runs are walked a byte of pixels at a time where they can.
class TWandRegion {
 public:
  int Width, Height;
  TWandBits Visited;
  int MinX = 2147483647, MaxX = 0, MinY = 2147483647, MaxY = 0;

  TWandRegion(TIEBitmap* B, int X, int Y, int Tolerance)
      : Width(B->Width()),
        Height(B->Height()),
        Visited(Width, Height, "visited map"),
        similar_(Width, Height, "similarity map"),
        color_(B, X, Y, Tolerance),
        rowRead_(NewBlock<std::uint8_t>(Height, "row list")) {}
  bool Get(int x, int y) const { return Visited.Get(x, y); }
  bool Empty() const { return MinX > MaxX; }
  bool Open(int x, int y) {
    if (x < 0 || x >= Width) return false;
    ReadRow(y);
    return similar_.Get(x, y) && !Visited.Get(x, y);
  }
  // Marks the open run from x on row y, walking by Step (1 or -1), and returns
  // the first pixel past it.
  int Walk(int x, int y, int Step) {
    ReadRow(y);
    int from = x;
    std::uint8_t* vis = &Visited.Bits[y * Visited.RowBytes];
    const std::uint8_t* sim = &similar_.Bits[y * similar_.RowBytes];
    for (;;) {
      if (x < 0 || x >= Width) break;
      bool wholeByte = Step > 0 ? (x & 7) == 0 && x + 8 <= Width : (x & 7) == 7;
      if (wholeByte && (sim[x >> 3] & ~vis[x >> 3] & 0xFF) == 0xFF) {
        vis[x >> 3] = 0xFF;
        x += 8 * Step;
        continue;
      }
      std::uint8_t bit = static_cast<std::uint8_t>(0x80 >> (x & 7));
      if (!(sim[x >> 3] & bit) || (vis[x >> 3] & bit)) break;
      vis[x >> 3] |= bit;
      x += Step;
    }
    if (x != from) {
      MinX = std::min(MinX, Step > 0 ? from : x + 1);
      MaxX = std::max(MaxX, Step > 0 ? x - 1 : from);
      MinY = std::min(MinY, y);
      MaxY = std::max(MaxY, y);
    }
    return x;
  }

 private:
  void ReadRow(int y) {
    if (rowRead_[y]) return;
    const TRGB* c = color_.Row(y);
    for (int i = 0; i < Width; ++i)
      if (color_.Similar(c[i])) similar_.Set(i, y);
    rowRead_[y] = 1;
  }
  TWandBits similar_;
  TWandColor color_;
  std::vector<std::uint8_t> rowRead_;
};

struct TSpan {
  int Row, Left, Right, Dir;
};

TWandRegion FillRegion(TIEBitmap* B, int X, int Y, int Tolerance) {
  TWandRegion r(B, X, Y, Tolerance);
  auto open = [&](int x, int y) { return r.Open(x, y); };
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
    int x = x1 >= 0 ? r.Walk(x1, y, -1) : x1;
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
      x = r.Walk(x, y, 1);
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

// The outline is traced on a grid magnified four times with a margin of two
// cells: each pixel of the region fills the 4 x 4 cells from (4x + 2, 4y + 2),
// and the border is every other cell beside one of those (left, right, above
// or below). The grid is never made: a cell is told from the region's map,
// and only the border cells the trace has passed are remembered, in tiles
// made as the trace first enters them, so that memory follows the outline's
// length instead of the region's area.
class TWandGrid {
 public:
  TWandGrid(const TWandBits& Local, std::int64_t bw, std::int64_t bh)
      : local_(Local),
        bw_(bw),
        bh_(bh),
        gw_(bw * 4 + 4),
        gh_(bh * 4 + 4),
        tilesX_((gw_ + kTile - 1) / kTile),
        index_(NewBlock<std::int32_t>(tilesX_ * ((gh_ + kTile - 1) / kTile), "trace index")) {}

  bool Inside(std::int64_t cx, std::int64_t cy) const {
    if (cx < 2 || cy < 2) return false;
    std::int64_t lx = (cx - 2) >> 2, ly = (cy - 2) >> 2;
    return lx < bw_ && ly < bh_ && local_.Get(lx, ly);
  }
  // A border cell the trace has not passed yet.
  bool Open(std::int64_t cx, std::int64_t cy) const {
    if (cx < 0 || cy < 0 || cx >= gw_ || cy >= gh_ || Inside(cx, cy)) return false;
    if (!(Inside(cx - 1, cy) || Inside(cx + 1, cy) || Inside(cx, cy - 1) || Inside(cx, cy + 1))) return false;
    std::int32_t t = index_[(cy / kTile) * tilesX_ + cx / kTile];
    return t == 0 || !((tiles_[t - 1][Bit(cx, cy) >> 6] >> (Bit(cx, cy) & 63)) & 1);
  }
  void Pass(std::int64_t cx, std::int64_t cy) {
    std::int32_t& t = index_[(cy / kTile) * tilesX_ + cx / kTile];
    if (t == 0) {
      tiles_.emplace_back();
      t = static_cast<std::int32_t>(tiles_.size());
    }
    tiles_[t - 1][Bit(cx, cy) >> 6] |= std::uint64_t{1} << (Bit(cx, cy) & 63);
  }

 private:
  static constexpr std::int64_t kTile = 128;
  static std::int64_t Bit(std::int64_t cx, std::int64_t cy) { return (cy % kTile) * kTile + cx % kTile; }
  const TWandBits& local_;
  std::int64_t bw_, bh_, gw_, gh_, tilesX_;
  std::vector<std::int32_t> index_;
  std::deque<std::array<std::uint64_t, kTile * kTile / 64>> tiles_;
};

// The region's map over its box, grown by one pixel every way (inside the
// image) with MaxFilter.
TWandBits LocalMap(const TWandRegion& r, int minX, int maxX, int minY, int maxY, bool grow) {
  std::int64_t bw = static_cast<std::int64_t>(maxX) - minX + 1,
               bh = static_cast<std::int64_t>(maxY) - minY + 1;
  TWandBits local(bw, bh, "region map");
  std::vector<std::uint8_t> any(static_cast<size_t>(bw) + 2);
  for (int y = minY; y <= maxY; ++y) {
    std::int64_t ly = y - minY;
    if (!grow) {
      // Eight pixels at a time, shifted from the image's columns to the box's.
      const std::uint8_t* src = &r.Visited.Bits[y * r.Visited.RowBytes];
      std::uint8_t* dst = &local.Bits[ly * local.RowBytes];
      int shift = minX & 7;
      for (std::int64_t lx = 0; lx < bw; lx += 8) {
        std::int64_t p = (minX + lx) >> 3;
        unsigned v = static_cast<unsigned>(src[p]) << shift;
        if (shift && p + 1 < r.Visited.RowBytes) v |= src[p + 1] >> (8 - shift);
        if (bw - lx < 8) v &= 0xFF00u >> (bw - lx);
        dst[lx >> 3] = static_cast<std::uint8_t>(v);
      }
      continue;
    }
    // any[i]: a visited pixel in column minX - 1 + i, rows y - 1 .. y + 1.
    std::fill(any.begin(), any.end(), std::uint8_t{0});
    for (int yy = std::max(y - 1, r.MinY); yy <= std::min(y + 1, r.MaxY); ++yy)
      for (int x = std::max(minX - 1, r.MinX); x <= std::min(maxX + 1, r.MaxX); ++x)
        if (r.Get(x, yy)) any[x - minX + 1] = 1;
    for (std::int64_t lx = 0; lx < bw; ++lx)
      if (any[lx] | any[lx + 1] | any[lx + 2]) local.Set(lx, ly);
  }
  return local;
}

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
  if (bw * 4 + 4 > INT32_MAX || bh * 4 + 4 > INT32_MAX)
    throw EOutOfMemory("Magic wand: the region is too large to trace");
  TWandBits local = LocalMap(r, minX, maxX, minY, maxY, MaxFilter);
  TWandGrid grid(local, bw, bh);
  // Start at the border cell nearest the top-left corner of the border's box,
  // which is always (1, 1): the region's map touches all four sides of its
  // box. The nearest cell of each side of a pixel is its first, so only those
  // are weighed; rows and columns stop once they cannot come nearer; ties go
  // to the first cell in row order.
  std::int64_t sx = -1, sy = -1, best = INT64_MAX;
  auto weigh = [&](std::int64_t cx, std::int64_t cy) {
    std::int64_t d = (cx - 1) * (cx - 1) + (cy - 1) * (cy - 1);
    if (d < best || (d == best && (cy < sy || (cy == sy && cx < sx)))) {
      best = d;
      sx = cx;
      sy = cy;
    }
  };
  for (std::int64_t ly = 0; ly < bh && 16 * ly * ly <= best; ++ly)
    for (std::int64_t lx = 0; lx < bw && 16 * lx * lx <= best; ++lx) {
      if (!local.Get(lx, ly)) continue;
      if (ly == 0 || !local.Get(lx, ly - 1)) weigh(4 * lx + 2, 4 * ly + 1);
      if (lx == 0 || !local.Get(lx - 1, ly)) weigh(4 * lx + 1, 4 * ly + 2);
      if (lx == bw - 1 || !local.Get(lx + 1, ly)) weigh(4 * lx + 6, 4 * ly + 2);
      if (ly == bh - 1 || !local.Get(lx, ly + 1)) weigh(4 * lx + 2, 4 * ly + 6);
    }
  if (sx < 0) return points;
  // Corners of the chain, back on pixel corners, taken as the trace goes.
  std::int64_t px = sx - 1 + 4 * static_cast<std::int64_t>(minX),
               py = sy - 1 + 4 * static_cast<std::int64_t>(minY);
  auto corner = [&] { points.push_back(TPoint{static_cast<int>(px >> 2), static_cast<int>(py >> 2)}); };
  corner();
  int previous = -1;
  auto chain = [&](int code) {
    if (previous >= 0 && code != previous) corner();
    previous = code;
    px += kCodeDX[code];
    py += kCodeDY[code];
  };
  std::int64_t cx = sx, cy = sy;
  grid.Pass(cx, cy);
  TStep preferred = kSteps[4];
  for (;;) {
    if (grid.Open(cx + preferred.dx, cy + preferred.dy)) {
      cx += preferred.dx;
      cy += preferred.dy;
      grid.Pass(cx, cy);
      chain(preferred.code);
    }
    const TStep* found = nullptr;
    for (const TStep& s : kSteps)
      if (grid.Open(cx + s.dx, cy + s.dy)) {
        found = &s;
        break;
      }
    if (!found) break;
    cx += found->dx;
    cy += found->dy;
    grid.Pass(cx, cy);
    chain(found->code);
    preferred = *found;
  }
  if (std::abs(sx - cx) <= 1 && std::abs(sy - cy) <= 1 && (sx != cx || sy != cy))
    for (const TStep& s : kSteps)
      if (cx + s.dx == sx && cy + s.dy == sy) chain(s.code);
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
  for (int y = 0; y < Bitmap->Height(); ++y) {
    const TRGB* c = color.Row(y);
    for (int x = 0; x < Bitmap->Width(); ++x)
      if (color.Similar(c[x])) Mask->SetPixel(x, y, Value);
  }
  Mask->SyncFull();
}

std::vector<TPoint> IEMaskPolygon(const TIEMask& Mask, int MaxRegions) {
  std::vector<TPoint> points;
  if (Mask.IsEmpty()) return points;
  // The mask as a grey picture (set pixels white) that the wand traces,
  // region by region, without a tolerance.
  TIEBitmap picture;
  if (!picture.Allocate(Mask.Width(), Mask.Height(), ie8g))
    throw EOutOfMemory("Cannot allocate the mask's picture to trace");
  for (int y = 0; y < Mask.Height(); ++y) {
    std::uint8_t* row = picture.GetScanline(y);
    for (int x = 0; x < Mask.Width(); ++x) row[x] = Mask.GetPixel(x, y) ? 255 : 0;
  }
  TIEMask taken;  // the regions traced so far
  taken.AllocateBits(Mask.Width(), Mask.Height(), 1);
  int n = 0;
  for (int y = Mask.Y1; y <= Mask.Y2 && n < MaxRegions; ++y)
    for (int x = Mask.X1; x <= Mask.X2 && n < MaxRegions; ++x) {
      if (!Mask.GetPixel(x, y) || taken.GetPixel(x, y)) continue;
      std::vector<TPoint> outline = IEMagicWandPolygon(&picture, x, y, 0, false);
      IEMagicWandMask(&picture, x, y, 1, &taken, 0, false);
      if (!points.empty()) points.push_back(TPoint{IESELBREAK, IESELBREAK});
      points.insert(points.end(), outline.begin(), outline.end());
      ++n;
    }
  return points;
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
