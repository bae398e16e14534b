// Clip regions: sets of pixels kept as bands of disjoint runs, built from
// rectangles, ellipses, round rectangles, polygons and rectangle lists and
// combined with OR, AND, XOR and DIFF; HRGN-style functions on top.
#pragma once

#include <vector>

#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

struct TSpan {
  int X0 = 0;
  int X1 = 0;  // one past the last pixel
  friend bool operator==(const TSpan&, const TSpan&) = default;
};

enum TPolyFillMode { pfAlternate = 1, pfWinding = 2 };
constexpr int ALTERNATE = pfAlternate;
constexpr int WINDING = pfWinding;

constexpr int RGN_AND = 1;
constexpr int RGN_OR = 2;
constexpr int RGN_XOR = 3;
constexpr int RGN_DIFF = 4;
constexpr int RGN_COPY = 5;

constexpr int ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;

// Coordinates of a region are cut at +-2^27; rows that a shape region (an
// ellipse, a round rectangle or a polygon) may cover are cut at +-2^18, so
// that an absurd shape cannot exhaust memory or time.
constexpr int kRegionLimit = 1 << 27;
constexpr int kShapeRegionLimit = 1 << 18;

class TRegion {
 public:
  struct TBand {
    int Top = 0;
    int Bottom = 0;  // one past the last row
    std::vector<TSpan> Spans;
    friend bool operator==(const TBand&, const TBand&) = default;
  };

  TRegion() = default;
  static TRegion FromRect(const TRect& r);
  // The union of the rectangles (empty ones are skipped).
  static TRegion FromRects(const TRect* rects, int count);
  // The pixels whose centres lie inside the ellipse inscribed in the box.
  static TRegion FromEllipse(int x1, int y1, int x2, int y2);
  // A rectangle with corners rounded by a w x h ellipse, clamped to the box.
  static TRegion FromRoundRect(int x1, int y1, int x2, int y2, int w, int h);
  static TRegion FromPolygon(const TPoint* pts, int count, int fillMode);
  static TRegion FromPolyPolygon(const TPoint* pts, const int* counts, int polyCount, int fillMode);

  static TRegion Combine(const TRegion& a, const TRegion& b, int mode);

  bool IsEmpty() const { return bands_.empty(); }
  // The bounding rectangle; the zero rectangle when empty.
  TRect Bounds() const;
  bool Contains(int x, int y) const;
  bool IntersectsRect(const TRect& r) const;
  void Offset(int dx, int dy);
  // NULLREGION, SIMPLEREGION (one rectangle) or COMPLEXREGION.
  int Kind() const;
  // The region as rectangles, band by band, top to bottom and left to right.
  std::vector<TRect> Rects() const;
  // The runs of row y, or nullptr when the row holds none.
  const std::vector<TSpan>* SpansAt(int y) const;
  const std::vector<TBand>& Bands() const { return bands_; }

  // Appends a row's runs (rows in increasing order, runs sorted and disjoint);
  // consecutive rows with equal runs share a band.
  void AppendRow(int y, const std::vector<TSpan>& spans);

  friend bool operator==(const TRegion&, const TRegion&) = default;

 private:
  std::vector<TBand> bands_;
};

// Gathers the runs that a scan converter emits row by row into a region.
class TRegionBuilder {
 public:
  void operator()(int y, int x0, int x1) {
    if (y != y_) Flush();
    y_ = y;
    spans_.push_back({x0, x1});
  }
  TRegion Finish() {
    Flush();
    return std::move(r_);
  }

 private:
  void Flush() {
    if (!spans_.empty()) r_.AppendRow(y_, spans_);
    spans_.clear();
  }
  TRegion r_;
  int y_ = 0;
  std::vector<TSpan> spans_;
};

// GDI-style handles: a region object owned by whoever created it until
// DeleteObject.
using HRGN = TRegion*;
HRGN CreateRectRgn(int x1, int y1, int x2, int y2);
HRGN CreateRectRgnIndirect(const TRect& r);
HRGN CreateEllipticRgn(int x1, int y1, int x2, int y2);
HRGN CreateRoundRectRgn(int x1, int y1, int x2, int y2, int w, int h);
HRGN CreatePolygonRgn(const TPoint* pts, int count, int fillMode);
HRGN CreatePolyPolygonRgn(const TPoint* pts, const int* counts, int polyCount, int fillMode);
HRGN CreateRectListRgn(const TRect* rects, int count);
// dst := a op b (RGN_COPY takes a alone); answers the kind of dst, ERROR on
// a null handle.
int CombineRgn(HRGN dst, HRGN a, HRGN b, int mode);
bool DeleteObject(HRGN rgn);
int OffsetRgn(HRGN rgn, int dx, int dy);
bool PtInRegion(HRGN rgn, int x, int y);
bool RectInRegion(HRGN rgn, const TRect& r);
int GetRgnBox(HRGN rgn, TRect& box);
bool EqualRgn(HRGN a, HRGN b);

}  // namespace redozir
#pragma GCC visibility pop
