// The shape calls of TCanvas: lines, polygons, rectangles, ellipses, arcs and
// round rectangles, with pen styles, widths and modes.
#include <agg_conv_stroke.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/aa_agg.h"
#include "platform/canvas.h"
#include "platform/pixel_writer.h"
#include "platform/scan_convert.h"

namespace redozir {

namespace {
// Cosmetic dash patterns in pixels: on, off, on, off, ...
const std::vector<int>& StylePattern(TPenStyle s) {
  static const std::vector<int> dash{18, 6}, dot{3, 3}, dashDot{9, 6, 3, 6}, dashDotDot{9, 3, 3, 3, 3, 3},
      alternate{1, 1}, none{};
  switch (s) {
    case psDash: return dash;
    case psDot: return dot;
    case psDashDot: return dashDot;
    case psDashDotDot: return dashDotDot;
    case psAlternate: return alternate;
    default: return none;
  }
}

bool StyleOn(const std::vector<int>& pat, long long step) {
  if (pat.empty()) return true;
  int total = 0;
  for (int v : pat) total += v;
  long long k = ((step % total) + total) % total;
  for (size_t i = 0; i < pat.size(); ++i) {
    if (k < pat[i]) return i % 2 == 0;
    k -= pat[i];
  }
  return true;
}

TRect Ordered(int x1, int y1, int x2, int y2) {
  return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

template <typename F>
TRegion Collect(F&& scan) {
  TRegionBuilder b;
  scan(std::ref(b));
  return b.Finish();
}

// A point on the ellipse in the direction of (dx, dy) from its centre.
double EllipseParam(double rx, double ry, double dx, double dy) {
  // Screen y grows downwards; angles run counter-clockwise as seen.
  return std::atan2(rx * -dy, ry * dx);
}

std::vector<TPointD> ArcPoints(double cx, double cy, double rx, double ry, double t0, double sweep) {
  double r = std::max(rx, ry);
  int n = static_cast<int>(std::clamp(
      std::ceil(std::numbers::pi * std::sqrt(10 * std::max(r, 1.0)) * sweep / (2 * std::numbers::pi)), 4.0,
      20000.0));
  std::vector<TPointD> pts;
  pts.reserve(n + 1);
  for (int i = 0; i <= n; ++i) {
    double t = t0 + sweep * i / n;
    pts.push_back({cx + rx * std::cos(t), cy - ry * std::sin(t)});
  }
  return pts;
}
}  // namespace

// Everything the shape calls share: the writer set up for the pen or brush.
struct TCanvasAccess {
  TCanvas& c;

  const TRegion* Clip() const { return c.clip_ ? &*c.clip_ : nullptr; }
  TScanWindow Window() const {
    TRect v = c.VisibleBounds();
    return {v.Left, v.Top, v.Right, v.Bottom};
  }
  TPixelWriter Writer() const { return TPixelWriter(*c.bitmap_, Clip(), c.VisibleBounds(), c.origin_, &c); }
  bool PenVisible() const { return c.Pen.Style != psClear && c.Pen.Mode != pmNop; }
  bool BrushVisible() const { return c.Brush.Style != bsClear; }
  int PenWidth() const { return std::max(c.Pen.Width, 1); }

  void PaintPen(const TRegion& r) {
    TPixelWriter w = Writer();
    w.SetSolid(c.Pen.Color, c.Pen.Mode);
    w.Region(r);
  }
  void PaintBrush(const TRegion& r, TPenMode mode) {
    if (!BrushVisible()) return;
    TPixelWriter w = Writer();
    if (c.Brush.Style == bsSolid)
      w.SetSolid(c.Brush.Color, mode);
    else
      w.SetHatch(c.Brush.Color, c.Brush.Style, mode);
    w.Region(r);
  }

  TRegion Polys(const TPolyPolygon& p, bool winding) {
    return Collect([&](auto emit) { ScanConvert(p, winding, Window(), emit); });
  }
  TRegion EllipseRgn(double l, double t, double r, double b) {
    return Collect(
        [&](auto emit) { ScanEllipse((l + r) / 2, (t + b) / 2, (r - l) / 2, (b - t) / 2, Window(), emit); });
  }
  TRegion RoundRgn(double l, double t, double r, double b, double cw, double ch) {
    cw = std::clamp(cw, 0.0, std::max(r - l, 0.0));
    ch = std::clamp(ch, 0.0, std::max(b - t, 0.0));
    return Collect([&](auto emit) { ScanRoundRect(l, t, r, b, cw, ch, Window(), emit); });
  }

  // A one-pixel line by the midpoint rule, its end point left out; pixels
  // outside the bitmap are skipped without being walked.
  void ThinLine(TPixelWriter& w, int x0, int y0, int x1, int y1, const std::vector<int>& pat) {
    long long dx = static_cast<long long>(x1) - x0, dy = static_cast<long long>(y1) - y0;
    long long adx = std::llabs(dx), ady = std::llabs(dy);
    long long n = std::max(adx, ady);
    int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    bool xMajor = adx >= ady;
    long long major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
    int mStart = xMajor ? x0 : y0, mStep = xMajor ? sx : sy;
    TRect v = c.VisibleBounds();
    long long first = xMajor ? v.Left : v.Top, last = (xMajor ? v.Right : v.Bottom) - 1LL;
    // Steps i whose major coordinate lies inside [first, last].
    long long lo = 0, hi = n - 1;
    if (mStep > 0) {
      lo = std::max(lo, first - mStart);
      hi = std::min(hi, last - mStart);
    } else {
      lo = std::max(lo, mStart - last);
      hi = std::min(hi, mStart - first);
    }
    for (long long i = lo; i <= hi; ++i) {
      if (!StyleOn(pat, c.styleStep_ + i)) continue;
      long long off = major ? (2 * i * minor + major - 1) / (2 * major) : 0;
      long long px = xMajor ? x0 + i * sx : x0 + off * sx;
      long long py = xMajor ? y0 + off * sy : y0 + i * sy;
      if (px < v.Left || py < v.Top || px >= v.Right || py >= v.Bottom) continue;
      w.Pixel(static_cast<int>(px), static_cast<int>(py));
    }
    c.styleStep_ += static_cast<int>(n % 1000003);
  }

  // Strokes a connected line with the pen: thin lines pixel by pixel, wide
  // ones as an outline with round ends and joins filled once.
  void Stroke(const TPoint* pts, int count, bool closed) {
    if (!PenVisible() || count < 1 || c.bitmap_->Empty()) return;
    int width = PenWidth();
    if (width <= 1) {
      TPixelWriter w = Writer();
      w.SetSolid(c.Pen.Color, c.Pen.Mode);
      const std::vector<int>& pat = StylePattern(c.Pen.Style);
      for (int i = 0; i + 1 < count; ++i) ThinLine(w, pts[i].X, pts[i].Y, pts[i + 1].X, pts[i + 1].Y, pat);
      if (closed && count > 1) ThinLine(w, pts[count - 1].X, pts[count - 1].Y, pts[0].X, pts[0].Y, pat);
      return;
    }
    TAggPath path;
    path.move_to(pts[0].X + 0.5, pts[0].Y + 0.5);
    for (int i = 1; i < count; ++i) path.line_to(pts[i].X + 0.5, pts[i].Y + 0.5);
    if (count == 1) path.line_to(pts[0].X + 0.5, pts[0].Y + 0.5);
    if (closed) path.close_polygon();
    agg::conv_stroke<TAggPath> stroke(path);
    stroke.width(width);
    stroke.line_cap(agg::round_cap);
    stroke.line_join(agg::round_join);
    TPolyPolygon polys;
    stroke.rewind(0);
    double x, y;
    unsigned cmd;
    while (!agg::is_stop(cmd = stroke.vertex(&x, &y))) {
      if (agg::is_move_to(cmd)) polys.emplace_back();
      if (agg::is_vertex(cmd) && !polys.empty()) polys.back().push_back({x, y});
    }
    PaintPen(Polys(polys, true));
  }

  // The pen's ring around a box-bounded shape and the brush's inside: the
  // pen is centred on the box edge, or kept inside it with psInsideFrame.
  struct Frame {
    double l, t, r, b;  // outer edge of the pen
    double w;           // pen width (0: no pen)
  };
  Frame FrameFor(const TRect& box) {
    Frame f{double(box.Left), double(box.Top), double(box.Right), double(box.Bottom), 0};
    if (!PenVisible()) {
      // With no pen the shape covers one pixel less to the right and bottom.
      f.r -= 1;
      f.b -= 1;
      return f;
    }
    int w = PenWidth();
    f.w = w;
    if (c.Pen.Style != psInsideFrame && w > 1) {
      int lo = (w - 1) / 2, hi = w - 1 - lo;
      f.l -= lo;
      f.t -= lo;
      f.r += hi;
      f.b += hi;
    }
    return f;
  }
};

TCanvas::TCanvas(TBitmap* bitmap) : bitmap_(bitmap ? bitmap : &none_) {}

void TCanvas::MoveTo(int x, int y) {
  PenPos = {x, y};
  styleStep_ = 0;
}

void TCanvas::LineTo(int x, int y) {
  TPoint pts[2] = {PenPos, {x, y}};
  TCanvasAccess{*this}.Stroke(pts, 2, false);
  PenPos = {x, y};
}

void TCanvas::Polyline(const TPoint* pts, int count) {
  if (!pts || count < 2) return;
  styleStep_ = 0;
  TCanvasAccess{*this}.Stroke(pts, count, false);
}

void TCanvas::Polygon(const TPoint* pts, int count) {
  if (!pts || count < 2 || bitmap_->Empty()) return;
  TCanvasAccess a{*this};
  if (a.BrushVisible()) {
    TPolyPolygon p(1);
    for (int i = 0; i < count; ++i) p[0].push_back({double(pts[i].X), double(pts[i].Y)});
    a.PaintBrush(a.Polys(p, PolyFillMode == pfWinding), Pen.Mode);
  }
  styleStep_ = 0;
  a.Stroke(pts, count, true);
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  if (bitmap_->Empty()) return;
  TCanvasAccess a{*this};
  auto f = a.FrameFor(Ordered(x1, y1, x2, y2));
  auto rect = [](double l, double t, double r, double b) {
    return TRegion::FromRect({int(l), int(t), int(r), int(b)});
  };
  TRegion outer = rect(f.l, f.t, f.r, f.b);
  TRegion inner = rect(f.l + f.w, f.t + f.w, f.r - f.w, f.b - f.w);
  a.PaintBrush(inner, Pen.Mode);
  if (f.w > 0) a.PaintPen(TRegion::Combine(outer, inner, RGN_DIFF));
}

void TCanvas::FillRect(const TRect& r) {
  if (bitmap_->Empty()) return;
  TCanvasAccess{*this}.PaintBrush(TRegion::FromRect(r), pmCopy);
}

void TCanvas::FrameRect(const TRect& r) {
  if (bitmap_->Empty() || r.IsEmpty()) return;
  TRegion outer = TRegion::FromRect(r);
  TRegion inner = TRegion::FromRect({r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1});
  TCanvasAccess{*this}.PaintBrush(TRegion::Combine(outer, inner, RGN_DIFF), pmCopy);
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  if (bitmap_->Empty()) return;
  TCanvasAccess a{*this};
  auto f = a.FrameFor(Ordered(x1, y1, x2, y2));
  TRegion inner = a.EllipseRgn(f.l + f.w, f.t + f.w, f.r - f.w, f.b - f.w);
  a.PaintBrush(inner, Pen.Mode);
  if (f.w > 0) a.PaintPen(TRegion::Combine(a.EllipseRgn(f.l, f.t, f.r, f.b), inner, RGN_DIFF));
}

void TCanvas::RoundRect(int x1, int y1, int x2, int y2, int x3, int y3) {
  if (bitmap_->Empty()) return;
  TCanvasAccess a{*this};
  TRect box = Ordered(x1, y1, x2, y2);
  auto f = a.FrameFor(box);
  double cw = std::abs(double(x3)), ch = std::abs(double(y3));
  TRegion inner = a.RoundRgn(f.l + f.w, f.t + f.w, f.r - f.w, f.b - f.w, cw - 2 * f.w, ch - 2 * f.w);
  a.PaintBrush(inner, Pen.Mode);
  if (f.w > 0) a.PaintPen(TRegion::Combine(a.RoundRgn(f.l, f.t, f.r, f.b, cw, ch), inner, RGN_DIFF));
}

namespace {
// Start parameter and sweep of the counter-clockwise arc between two rays.
void ArcRange(const TRect& box, int x3, int y3, int x4, int y4, double& t0, double& sweep) {
  double cx = (double(box.Left) + box.Right) / 2, cy = (double(box.Top) + box.Bottom) / 2;
  double rx = std::max(box.Width() / 2.0, 0.5), ry = std::max(box.Height() / 2.0, 0.5);
  t0 = EllipseParam(rx, ry, x3 - cx, y3 - cy);
  double t1 = EllipseParam(rx, ry, x4 - cx, y4 - cy);
  sweep = t1 - t0;
  while (sweep <= 0) sweep += 2 * std::numbers::pi;
}
}  // namespace

void TCanvas::Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  if (bitmap_->Empty()) return;
  TCanvasAccess a{*this};
  if (!a.PenVisible()) return;
  TRect box = Ordered(x1, y1, x2, y2);
  auto f = a.FrameFor(box);
  // The ellipse's ring (as Ellipse draws it) cut by the wedge between the rays.
  TRegion ring = TRegion::Combine(a.EllipseRgn(f.l, f.t, f.r, f.b),
                                  a.EllipseRgn(f.l + f.w, f.t + f.w, f.r - f.w, f.b - f.w), RGN_DIFF);
  double cx = (double(box.Left) + box.Right) / 2, cy = (double(box.Top) + box.Bottom) / 2;
  double a0 = std::atan2(-(y3 - cy), x3 - cx), a1 = std::atan2(-(y4 - cy), x4 - cx);
  double sweep = a1 - a0;
  while (sweep <= 0) sweep += 2 * std::numbers::pi;
  double radius = 2 * (f.r - f.l + f.b - f.t) + 4;
  std::vector<TPointD> wedge{{cx, cy}};
  int steps = static_cast<int>(std::ceil(sweep / (std::numbers::pi / 8)));
  for (int i = 0; i <= steps; ++i) {
    double t = a0 + sweep * i / steps;
    wedge.push_back({cx + radius * std::cos(t), cy - radius * std::sin(t)});
  }
  a.PaintPen(TRegion::Combine(ring, a.Polys({wedge}, true), RGN_AND));
}

namespace {
std::vector<TPoint> SectorPoints(const TRect& box, int x3, int y3, int x4, int y4, bool pie) {
  double t0, sweep;
  ArcRange(box, x3, y3, x4, y4, t0, sweep);
  // The outline runs through pixel centres of the box's last row and column.
  double cx = (double(box.Left) + box.Right - 1) / 2, cy = (double(box.Top) + box.Bottom - 1) / 2;
  std::vector<TPointD> arc = ArcPoints(cx, cy, (box.Width() - 1) / 2.0, (box.Height() - 1) / 2.0, t0, sweep);
  std::vector<TPoint> pts;
  for (const TPointD& p : arc) {
    TPoint q{static_cast<int>(std::lround(p.X)), static_cast<int>(std::lround(p.Y))};
    if (pts.empty() || !(pts.back() == q)) pts.push_back(q);
  }
  if (pie) pts.push_back({static_cast<int>(std::lround(cx)), static_cast<int>(std::lround(cy))});
  return pts;
}
}  // namespace

void TCanvas::Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  std::vector<TPoint> pts = SectorPoints(Ordered(x1, y1, x2, y2), x3, y3, x4, y4, true);
  Polygon(pts);
}

void TCanvas::Chord(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  std::vector<TPoint> pts = SectorPoints(Ordered(x1, y1, x2, y2), x3, y3, x4, y4, false);
  Polygon(pts);
}

void TCanvas::FillRgn(const TRegion& rgn) {
  if (bitmap_->Empty()) return;
  TCanvasAccess{*this}.PaintBrush(rgn, pmCopy);
}

TColor TCanvas::Pixels(int x, int y) const {
  if (!VisibleBounds().Contains(x, y)) return clNone;
  return bitmap_->GetPixel(x + origin_.X, y + origin_.Y);
}

void TCanvas::SetPixel(int x, int y, TColor c) {
  if (bitmap_->Empty()) return;
  TPixelWriter w = TCanvasAccess{*this}.Writer();
  w.SetSolid(c, pmCopy);
  w.Pixel(x, y);
}

void TCanvas::SetClipRegion(const TRegion* rgn) {
  if (rgn)
    clip_ = *rgn;
  else
    clip_.reset();
}

TRect TCanvas::VisibleBounds() const {
  TRect all{0, 0, bitmap_->Width(), bitmap_->Height()};
  if (hasDeviceClip_) IntersectRect(all, all, deviceClip_);
  if (all.IsEmpty()) return {};
  return {all.Left - origin_.X, all.Top - origin_.Y, all.Right - origin_.X, all.Bottom - origin_.Y};
}

void TCanvas::Changed(const TRect& r) {
  TRect v;
  if (!IntersectRect(v, r, VisibleBounds())) return;
  BitmapRectChanged({v.Left + origin_.X, v.Top + origin_.Y, v.Right + origin_.X, v.Bottom + origin_.Y});
}

TRect TCanvas::ClipRect() const {
  TRect all = VisibleBounds();
  if (!clip_) return all;
  TRect r;
  IntersectRect(r, all, clip_->Bounds());
  return r;
}

}  // namespace redozir
