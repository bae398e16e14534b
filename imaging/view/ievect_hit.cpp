// Hit tests of the vector objects: the distance from a point to an object
// and the object under the mouse.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/view/ievect.h"

namespace redozir {

namespace {

constexpr double kFar = std::numeric_limits<double>::max();

struct TDPoint {
  double X, Y;
};

double SegDist(double px, double py, double x1, double y1, double x2, double y2) {
  const double dx = x2 - x1, dy = y2 - y1, l2 = dx * dx + dy * dy;
  if (l2 == 0) return std::hypot(px - x1, py - y1);
  const double t = std::clamp(((px - x1) * dx + (py - y1) * dy) / l2, 0.0, 1.0);
  return std::hypot(px - (x1 + t * dx), py - (y1 + t * dy));
}

// Even-odd rule: a ray to the right crosses the outline an odd number of times.
bool InsideEvenOdd(const std::vector<TDPoint>& P, double X, double Y) {
  bool in = false;
  for (std::size_t i = 0, j = P.size() - 1; i < P.size(); j = i++) {
    if ((P[i].Y > Y) != (P[j].Y > Y) && X < (P[j].X - P[i].X) * (Y - P[i].Y) / (P[j].Y - P[i].Y) + P[i].X)
      in = !in;
  }
  return in;
}

// The points of a polyline scaled from its point box to its rectangle, in image pixels.
std::vector<TDPoint> PolylinePoints(const TIEVObjectRecord& R) {
  const TIEVPointsMap map(R);
  std::vector<TDPoint> pts;
  pts.reserve(R.Points.size());
  for (TPoint p : R.Points) pts.push_back({map.X(p.X), map.Y(p.Y)});
  return pts;
}

}  // namespace

double TRedozIrVect::GetObjectDistance(int hobj, double X, double Y) const {
  const TIEVObjectRecord* r = GetObjectRecord(hobj);
  if (!r) return kFar;
  const double x1 = std::min(r->x1, r->x2), x2 = std::max(r->x1, r->x2);
  const double y1 = std::min(r->y1, r->y2), y2 = std::max(r->y1, r->y2);
  const double pen = std::max(1, r->PenWidth) / 2.0;
  auto boxEdge = [&] {
    return std::min({SegDist(X, Y, x1, y1, x2, y1), SegDist(X, Y, x2, y1, x2, y2),
                     SegDist(X, Y, x2, y2, x1, y2), SegDist(X, Y, x1, y2, x1, y1)});
  };
  const bool inside = X >= x1 && X <= x2 && Y >= y1 && Y <= y2;
  switch (r->Kind) {
    case ievkLINE:
    case ievkRULER:
    case ievkLINELABEL: {
      // A ruler, and a line of one pixel, is as near as its segment.
      double d = SegDist(X, Y, r->x1, r->y1, r->x2, r->y2);
      if (r->Kind != ievkRULER && r->PenWidth > 1) d -= r->PenWidth / 2.0;
      if (r->Kind == ievkLINELABEL && X >= r->LabelRect.Left && X <= r->LabelRect.Right &&
          Y >= r->LabelRect.Top && Y <= r->LabelRect.Bottom)
        d = 0;
      return std::max(d, 0.0);
    }
    case ievkBOX:
      if (inside && (r->BrushStyle != bsClear || r->SolidFill || ObjBoxFillTest)) return 0;
      return std::max(boxEdge() - pen, 0.0);
    case ievkELLIPSE:
    case ievkARC: {
      const double rx = (x2 - x1) / 2, ry = (y2 - y1) / 2, cx = x1 + rx, cy = y1 + ry;
      if (rx <= 0 || ry <= 0) return std::max(SegDist(X, Y, x1, y1, x2, y2) - pen, 0.0);
      const double k = std::hypot((X - cx) / rx, (Y - cy) / ry);
      if (k <= 1 && r->Kind == ievkELLIPSE && r->BrushStyle != bsClear) return 0;
      return std::max(std::abs(k - 1) * std::min(rx, ry) - pen, 0.0);
    }
    case ievkBITMAP: {
      if (!inside) return boxEdge();
      const TIEBitmap* b = r->BitmapIdx >= 0 && r->BitmapIdx < static_cast<int>(fBitmaps.size())
                               ? fBitmaps[static_cast<std::size_t>(r->BitmapIdx)].Bitmap.get()
                               : nullptr;
      if (!ObjAlphaHitTest || !b || !b->HasAlphaChannel() || b->Width() <= 0 || b->Height() <= 0) return 0;
      // The bitmap is stretched over x1..x2 and y1..y2, both ends included.
      const int bx = std::clamp(static_cast<int>((X - x1) * b->Width() / (x2 - x1 + 1)), 0, b->Width() - 1);
      const int by = std::clamp(static_cast<int>((Y - y1) * b->Height() / (y2 - y1 + 1)), 0, b->Height() - 1);
      return const_cast<TIEBitmap*>(b)->GetAlpha(bx, by) == 0 ? 1000 : 0;
    }
    case ievkPOLYLINE: {
      if (r->Points.empty()) return kFar;
      const std::vector<TDPoint> p = PolylinePoints(*r);
      if (r->Closed && r->BrushStyle != bsClear && p.size() > 2 && InsideEvenOdd(p, X, Y)) return 0;
      double d = std::hypot(X - p[0].X, Y - p[0].Y);
      for (std::size_t i = 1; i < p.size(); ++i)
        d = std::min(d, SegDist(X, Y, p[i - 1].X, p[i - 1].Y, p[i].X, p[i].Y));
      if (r->Closed && p.size() > 2) d = std::min(d, SegDist(X, Y, p.back().X, p.back().Y, p[0].X, p[0].Y));
      return std::max(d - pen, 0.0);
    }
    case ievkANGLE: {
      const auto& a = r->AnglePoints;
      double d = SegDist(X, Y, a[0].X, a[0].Y, a[1].X, a[1].Y);
      if (a[2].X != -1000000) d = std::min(d, SegDist(X, Y, a[1].X, a[1].Y, a[2].X, a[2].Y));
      return std::max(d - pen, 0.0);
    }
    default: return inside ? 0 : boxEdge();
  }
}

int TRedozIrVect::FindObjectAt(int X, int Y, bool SelectableOnly) {
  const double bx = XScr2Bmp(X), by = YScr2Bmp(Y);
  // The part of the image the view shows, in image pixels.
  const TRect ir = ImageRect();
  const bool clipped = ir.Right > ir.Left && ir.Bottom > ir.Top;
  const int vx1 = XScr2Bmp(ir.Left), vy1 = YScr2Bmp(ir.Top);
  const int vx2 = XScr2Bmp(ir.Right - 1), vy2 = YScr2Bmp(ir.Bottom - 1);
  double limit = kFar;
  if (ObjSelectionTolerance >= 0) limit = ObjSelectionTolerance / std::max(ZoomX() / 100.0, 1e-6);
  int best = IEV_NONE;
  double bestD = kFar;
  for (auto it = fDrawOrder.rbegin(); it != fDrawOrder.rend(); ++it) {
    const TIEVObjectRecord& r = fRecords[static_cast<std::size_t>(*it)];
    if (!(r.Style & ievsVisible) || (SelectableOnly && !(r.Style & ievsSelectable))) continue;
    if (clipped && (std::max(r.x1, r.x2) < vx1 || std::min(r.x1, r.x2) > vx2 || std::max(r.y1, r.y2) < vy1 ||
                    std::min(r.y1, r.y2) > vy2))
      continue;
    const double d = GetObjectDistance(*it, bx, by);
    if (d < bestD && d <= limit) {
      bestD = d;
      best = *it;
    }
  }
  return best;
}

}  // namespace redozir
