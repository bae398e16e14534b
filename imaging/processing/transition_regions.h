// The clip regions of the region transitions: TComplexRegion, which turns a
// list of rectangles into one region, and the builders of bars, shredded
// strips, speckled edges, arcs, polygons and triangles. A builder answers no
// region (nullopt) when it has nothing to build from; an effect then draws
// nothing.
#pragma once

#include <optional>
#include <vector>

#include "platform/region.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

class TComplexRegion {
 public:
  TComplexRegion() { Clear(); }

  // Forgets every rectangle; the bounds go back to the empty start value.
  void Clear();
  // Appends the rectangle as given (empty and overlapping ones included) and
  // widens the bounds; room grows 500 rectangles at a time.
  void AddRect(int X1, int Y1, int X2, int Y2);
  // The union of the rectangles; nullopt when none was ever added.
  std::optional<TRegion> CreateRegion() const;

  int Count() const { return static_cast<int>(fRects.size()); }
  int Capacity() const { return fCapacity; }
  const std::vector<TRect>& Rects() const { return fRects; }
  // The union of the rectangles' corners: Left = Top = 2147483647 and
  // Right = Bottom = -2147483647 while empty.
  TRect Bounds() const { return fBounds; }

 private:
  std::vector<TRect> fRects;
  int fCapacity = 0;
  TRect fBounds;
};

// Alternating bars of Min(W, H) div 50 + 1 pixels: rows driven by X and
// HMode, columns by Y and VMode (modes 0 to 5; X and Y run to 2W and 2H, to
// W and H for mode 3).
std::optional<TRegion> IEBarsRegion(int X, int Y, int W, int H, int VMode, int HMode);
// Ragged strips whose lengths scatter around X (rows) and Y (columns); every
// call draws fresh lengths from the shared generator.
std::optional<TRegion> IEShreddedRegion(int X, int Y, int W, int H, int VMode, int HMode);
// A wipe edge at X (rows) or Y (columns) with cells scattered ahead of it.
std::optional<TRegion> IESpeckledRegion(int X, int Y, int W, int H, int VMode, int HMode);
// The fan from the centre through Count points on the circle, from
// StartAngle towards EndAngle (radians; the end itself is left out).
std::optional<TRegion> IEArcRegion(int CX, int CY, int Radius, double StartAngle, double EndAngle, int Count);
// The polygon of the points, winding fill.
std::optional<TRegion> IEPolygonRegion(const TPoint* Points, int Count);
std::optional<TRegion> IETriangleRegion(int X1, int Y1, int X2, int Y2, int X3, int Y3);

}  // namespace redozir
#pragma GCC visibility pop
