#include "platform/scan_convert.h"

#include <algorithm>
#include <cmath>

namespace redozir {

namespace {
struct Edge {
  double x0, y0, x1, y1;  // y0 < y1
  int dir;
  int firstRow, lastRow;
};

// The first row whose centre (y + 0.5) lies at or below v.
long long FirstRowAtOrBelow(double v) {
  v = std::clamp(v, -1e15, 1e15);
  return static_cast<long long>(std::ceil(v - 0.5));
}
}  // namespace

void ScanConvert(const TPolyPolygon& polys, bool winding, const TScanWindow& w,
                 const std::function<void(int, int, int)>& emit) {
  if (w.Right <= w.Left || w.Bottom <= w.Top) return;
  std::vector<Edge> edges;
  for (const auto& poly : polys) {
    size_t n = poly.size();
    if (n < 2) continue;
    for (size_t i = 0; i < n; ++i) {
      TPointD a = poly[i], b = poly[(i + 1) % n];
      if (!std::isfinite(a.X) || !std::isfinite(a.Y) || !std::isfinite(b.X) || !std::isfinite(b.Y)) continue;
      if (a.Y == b.Y) continue;
      int dir = 1;
      if (a.Y > b.Y) {
        std::swap(a, b);
        dir = -1;
      }
      long long f = std::max<long long>(FirstRowAtOrBelow(a.Y), w.Top);
      long long l = std::min<long long>(FirstRowAtOrBelow(b.Y) - 1, w.Bottom - 1);
      if (f > l) continue;
      edges.push_back({a.X, a.Y, b.X, b.Y, dir, static_cast<int>(f), static_cast<int>(l)});
    }
  }
  if (edges.empty()) return;
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.firstRow < b.firstRow; });

  struct Crossing {
    double x;
    int dir;
  };
  std::vector<const Edge*> active;
  std::vector<Crossing> xs;
  size_t next = 0;
  int y = edges.front().firstRow;
  while (next < edges.size() || !active.empty()) {
    if (active.empty() && edges[next].firstRow > y) y = edges[next].firstRow;
    while (next < edges.size() && edges[next].firstRow == y) active.push_back(&edges[next++]);
    double yc = y + 0.5;
    xs.clear();
    for (const Edge* e : active) {
      // Computed from the end points each row, so long edges gather no error.
      double x = e->x0 + (yc - e->y0) * (e->x1 - e->x0) / (e->y1 - e->y0);
      xs.push_back({x, e->dir});
    }
    std::sort(xs.begin(), xs.end(), [](const Crossing& a, const Crossing& b) { return a.x < b.x; });
    int count = 0;
    bool inside = false;
    double start = 0;
    long long runX0 = 0, runX1 = 0;
    bool haveRun = false;
    auto flush = [&](double a, double b) {
      long long p0 = std::max<long long>(FirstRowAtOrBelow(a), w.Left);
      long long p1 = std::min<long long>(FirstRowAtOrBelow(b), w.Right);
      if (p0 >= p1) return;
      if (haveRun && p0 <= runX1) {
        runX1 = std::max(runX1, p1);
        return;
      }
      if (haveRun) emit(y, static_cast<int>(runX0), static_cast<int>(runX1));
      runX0 = p0;
      runX1 = p1;
      haveRun = true;
    };
    for (const Crossing& c : xs) {
      count += winding ? c.dir : 1;
      bool now = winding ? count != 0 : (count & 1) != 0;
      if (now && !inside) start = c.x;
      if (!now && inside) flush(start, c.x);
      inside = now;
    }
    if (haveRun) emit(y, static_cast<int>(runX0), static_cast<int>(runX1));
    active.erase(std::remove_if(active.begin(), active.end(), [y](const Edge* e) { return e->lastRow <= y; }),
                 active.end());
    ++y;
    if (y >= w.Bottom) break;
  }
}

namespace {
// Emits the pixels whose centres lie in [a, b) on row y, cut to the window.
void EmitRun(int y, double a, double b, const TScanWindow& w,
             const std::function<void(int, int, int)>& emit) {
  long long p0 = std::max<long long>(FirstRowAtOrBelow(a), w.Left);
  long long p1 = std::min<long long>(FirstRowAtOrBelow(b), w.Right);
  if (p0 < p1) emit(y, static_cast<int>(p0), static_cast<int>(p1));
}
}  // namespace

void ScanEllipse(double cx, double cy, double rx, double ry, const TScanWindow& w,
                 const std::function<void(int, int, int)>& emit) {
  if (!(rx > 0) || !(ry > 0)) return;
  long long y0 = std::max<long long>(FirstRowAtOrBelow(cy - ry), w.Top);
  long long y1 = std::min<long long>(FirstRowAtOrBelow(cy + ry), w.Bottom);
  for (long long y = y0; y < y1; ++y) {
    double t = (y + 0.5 - cy) / ry;
    double q = 1.0 - t * t;
    if (q <= 0) continue;
    double half = rx * std::sqrt(q);
    EmitRun(static_cast<int>(y), cx - half, cx + half, w, emit);
  }
}

void ScanRoundRect(double x1, double y1, double x2, double y2, double cw, double ch, const TScanWindow& w,
                   const std::function<void(int, int, int)>& emit) {
  if (!(x2 > x1) || !(y2 > y1)) return;
  double a = cw / 2, b = ch / 2;
  long long r0 = std::max<long long>(FirstRowAtOrBelow(y1), w.Top);
  long long r1 = std::min<long long>(FirstRowAtOrBelow(y2), w.Bottom);
  for (long long y = r0; y < r1; ++y) {
    double yc = y + 0.5;
    double inset = 0;
    if (a > 0 && b > 0) {
      double dy = 0;
      if (yc < y1 + b)
        dy = y1 + b - yc;
      else if (yc > y2 - b)
        dy = yc - (y2 - b);
      if (dy > 0) {
        double q = 1.0 - (dy / b) * (dy / b);
        if (q <= 0) continue;
        inset = a - a * std::sqrt(q);
      }
    }
    EmitRun(static_cast<int>(y), x1 + inset, x2 - inset, w, emit);
  }
}

}  // namespace redozir
