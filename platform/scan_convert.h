// Aliased scan conversion of polygons by the classic rule: a pixel is inside
// when its centre is, with left and top edges inclusive, so polygons that
// share an edge neither overlap nor leave a gap.
#pragma once

#include <functional>
#include <vector>

#pragma GCC visibility push(default)
namespace redozir {

struct TPointD {
  double X = 0;
  double Y = 0;
};

// Closed polygons (the last point joins the first).
using TPolyPolygon = std::vector<std::vector<TPointD>>;

// Rows and columns to visit; spans outside are dropped before anything is
// allocated for them.
struct TScanWindow {
  int Left, Top, Right, Bottom;
};

// Calls emit(y, x0, x1) for each run [x0, x1) of pixels inside the polygons,
// rows in increasing order, runs of a row in increasing order and disjoint.
void ScanConvert(const TPolyPolygon& polys, bool winding, const TScanWindow& window,
                 const std::function<void(int y, int x0, int x1)>& emit);

// Runs of the pixels whose centres lie inside the ellipse with centre
// (cx, cy) and radii rx, ry (both > 0), rows in increasing order.
void ScanEllipse(double cx, double cy, double rx, double ry, const TScanWindow& window,
                 const std::function<void(int y, int x0, int x1)>& emit);
// Runs of the rectangle [x1, x2) x [y1, y2) with corners rounded by an
// ellipse of w x h (already clamped to the rectangle).
void ScanRoundRect(double x1, double y1, double x2, double y2, double w, double h, const TScanWindow& window,
                   const std::function<void(int y, int x0, int x1)>& emit);

}  // namespace redozir
#pragma GCC visibility pop
