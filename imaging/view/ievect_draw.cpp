// Drawing of one vector object: every kind through the anti-aliased canvas,
// and the ruler being created.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_pixel.h"
#include "imaging/core/iebitmap.h"
#include "imaging/core/iegdiplus.h"
#include "imaging/view/ievect.h"
#include "imaging/view/ievect_internal.h"
#include "platform/bitmap.h"
#include "platform/font.h"

namespace redozir {

std::function<void(const TIEVDrawOp&)> IEVDrawRecorder;

namespace {

constexpr int kEmptyLo = 2000000000;

// The canvas the objects draw through: it forwards to the anti-aliased
// canvas, grows the drawn rectangle and tells the recorder.
class TPainter {
 public:
  TPainter(TBitmap* Target, bool AntiAlias, TIEVObjectRecord& R)
      : TPainter(Target->Canvas(), Target->Width(), Target->Height(), AntiAlias, R) {}
  // A canvas of Width x Height pixels; one without a bitmap (a window's)
  // draws without anti-aliasing.
  TPainter(TCanvas* Canvas, int Width, int Height, bool AntiAlias, TIEVObjectRecord& R)
      : fTarget(Canvas),
        fWidth(Width),
        fHeight(Height),
        fCanvas(Canvas, AntiAlias, Canvas->Bitmap() != nullptr),
        fRec(R) {}
  TIECanvas& C() { return fCanvas; }

  void Add(int X, int Y) {
    TRect& d = fRec.DrawnRect;
    d.Left = std::min(d.Left, X);
    d.Top = std::min(d.Top, Y);
    d.Right = std::max(d.Right, X);
    d.Bottom = std::max(d.Bottom, Y);
  }
  void Record(TIEVDrawOp::TKind k, std::vector<TPoint> pts, const std::string& text = {}) {
    if (!IEVDrawRecorder) return;
    TIEVDrawOp op;
    op.Kind = k;
    op.Points = std::move(pts);
    op.PenWidth = static_cast<int>(fCanvas.Pen()->GetWidth());
    op.RoundCaps = RoundCaps;
    op.Text = text;
    IEVDrawRecorder(op);
  }
  void Line(int x1, int y1, int x2, int y2) {
    Record(TIEVDrawOp::Line, {{x1, y1}, {x2, y2}});
    // Round caps through the stroker: the ends are covered once, so a
    // transparent pen is as light there as along the line (the plain
    // canvas rounds the ends of wide lines itself).
    TIEPen* pen = fCanvas.Pen();
    const std::uint8_t cap = pen->GetLineCap();
    if (RoundCaps) pen->SetLineCap(2);
    fCanvas.DrawLine(x1, y1, x2, y2);
    pen->SetLineCap(cap);
  }
  void Rect(int x1, int y1, int x2, int y2) {
    Record(TIEVDrawOp::Rect, {{x1, y1}, {x2, y2}});
    fCanvas.Rectangle(x1, y1, x2, y2);
  }
  void Ellipse(int x1, int y1, int x2, int y2) {
    Record(TIEVDrawOp::Ellipse, {{x1, y1}, {x2, y2}});
    fCanvas.Ellipse(x1, y1, x2, y2);
  }
  void Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
    Record(TIEVDrawOp::Arc, {{x1, y1}, {x2, y2}, {x3, y3}, {x4, y4}});
    fCanvas.Arc(x1, y1, x2, y2, x3, y3, x4, y4);
  }
  void Polygon(const std::vector<TPoint>& p) {
    Record(TIEVDrawOp::Polygon, p);
    fCanvas.Polygon(p);
  }
  void Polyline(const std::vector<TPoint>& p) {
    Record(TIEVDrawOp::Polyline, p);
    fCanvas.Polyline(p);
  }
  void Text(const TRect& clip, int x, int y, const std::string& t) {
    Record(TIEVDrawOp::TextOut, {{x, y}, {clip.Left, clip.Top}, {clip.Right, clip.Bottom}}, t);
    // Glyphs never reach outside the target.
    TRect c = clip;
    c.Left = std::max(c.Left, 0);
    c.Top = std::max(c.Top, 0);
    c.Right = std::min(c.Right, fWidth);
    c.Bottom = std::min(c.Bottom, fHeight);
    if (c.Right > c.Left && c.Bottom > c.Top) fCanvas.TextRectEx(c, x, y, t);
  }
  // A character centred on its base line point, when the point is on the target.
  void CharAt(double x, double y, char ch) {
    const int ix = IEVClipCoord(x), iy = IEVClipCoord(y);
    const int reach = std::abs(fTarget->Font.Height) + 1;
    if (ix < -reach || iy < -reach || ix > fWidth + reach || iy > fHeight + reach) return;
    const std::string t(1, ch);
    Record(TIEVDrawOp::TextOut, {{ix, iy}}, t);
    TCanvas* c = fTarget;
    const unsigned old = c->TextAlign;
    c->TextAlign = TA_CENTER | TA_BASELINE;
    fCanvas.TextOut(ix, iy, t);
    c->TextAlign = old;
  }
  bool RoundCaps = false;

 private:
  TCanvas* fTarget;
  int fWidth, fHeight;
  TIECanvas fCanvas;
  TIEVObjectRecord& fRec;
};

// A font height in target pixels, clamped to what the platform draws.
int FontPixels(double h) {
  if (!std::isfinite(h)) return 0;
  return static_cast<int>(std::clamp(h, -double(kMaxFontPixels), double(kMaxFontPixels)));
}

double Dist(double x1, double y1, double x2, double y2) { return std::hypot(x2 - x1, y2 - y1); }

}  // namespace

void IEVDrawBitmapFrame(int& X1, int& Y1, int& X2, int& Y2, const TIEVObjectRecord& R, TIEBitmap* Target,
                        int Width);

namespace {

// Beyond this many destination pixels a bitmap object is not resampled whole:
// a small bitmap stretched over a huge rectangle would need that much memory.
constexpr std::int64_t kWholeStretchPixels = std::int64_t(1) << 24;

// The part of a huge stretch that lands on a W x H target, sampled from the
// nearest source pixel, with its alpha; nullptr when none of it lands there.
std::unique_ptr<TIEBitmap> NearestVisiblePart(TIEBitmap* Bmp, int X1, int Y1, int X2, int Y2, int W, int H,
                                              TRect& Vis) {
  Vis = TRect{std::max(X1, 0), std::max(Y1, 0), std::min(X2, W - 1) + 1, std::min(Y2, H - 1) + 1};
  if (Vis.Right <= Vis.Left || Vis.Bottom <= Vis.Top) return nullptr;
  const std::int64_t dw = std::int64_t(X2) - X1 + 1, dh = std::int64_t(Y2) - Y1 + 1;
  auto sx = [&](int x) { return static_cast<int>((std::int64_t(x) - X1) * Bmp->Width() / dw); };
  auto sy = [&](int y) { return static_cast<int>((std::int64_t(y) - Y1) * Bmp->Height() / dh); };
  const int s0 = sx(Vis.Left), s1 = sx(Vis.Right - 1), t0 = sy(Vis.Top), t1 = sy(Vis.Bottom - 1);
  TIEBitmap part(s1 - s0 + 1, t1 - t0 + 1, ie24RGB);
  Bmp->CopyRectTo(&part, s0, t0, 0, 0, part.Width(), part.Height());
  const bool alpha = Bmp->HasAlphaChannel();
  if (alpha)
    Bmp->GetAlphaChannel()->CopyRectTo(part.GetAlphaChannel(), s0, t0, 0, 0, part.Width(), part.Height());
  auto out = TIEBitmap::CreateSized(Vis.Width(), Vis.Height(), ie24RGB);
  for (int y = Vis.Top; y < Vis.Bottom; ++y) {
    const TRGB* src = reinterpret_cast<const TRGB*>(part.GetScanline(sy(y) - t0));
    TRGB* dst = reinterpret_cast<TRGB*>(out->GetScanline(y - Vis.Top));
    for (int x = Vis.Left; x < Vis.Right; ++x) dst[x - Vis.Left] = src[sx(x) - s0];
    if (alpha) {
      const std::uint8_t* sa = part.GetAlphaChannel()->GetScanline(sy(y) - t0);
      std::uint8_t* da = out->GetAlphaChannel()->GetScanline(y - Vis.Top);
      for (int x = Vis.Left; x < Vis.Right; ++x) da[x - Vis.Left] = sa[sx(x) - s0];
    }
  }
  return out;
}

void DrawBitmapObjectInto(TRedozIrVect& V, TBitmap* Target, TIEVObjectRecord& R, int X1, int Y1, int X2,
                          int Y2, TIEBitmap* Work, int FrameWidth, TPainter& P) {
  TIEBitmap* bmp = R.BitmapIdx >= 0 && R.BitmapIdx < static_cast<int>(V.SharedBitmaps().size())
                       ? V.SharedBitmaps()[static_cast<std::size_t>(R.BitmapIdx)].Bitmap.get()
                       : nullptr;
  if (!bmp || bmp->Width() <= 0 || bmp->Height() <= 0) {
    P.Line(X1, Y1, X2, Y2);
    P.Line(X2, Y1, X1, Y2);
    P.Rect(X1, Y1, X2 + 1, Y2 + 1);
    return;
  }
  if (X1 > X2) std::swap(X1, X2);
  if (Y1 > Y2) std::swap(Y1, Y2);
  if (R.BitmapBorder) {
    if (Work) {
      IEVDrawBitmapFrame(X1, Y1, X2, Y2, R, Work, FrameWidth);
    } else {
      TIEBitmap wrap;
      wrap.AttachTBitmap(Target, false);
      IEVDrawBitmapFrame(X1, Y1, X2, Y2, R, &wrap, FrameWidth);
    }
  }
  if (X2 < X1 || Y2 < Y1) return;
  const TResampleFilter filter = V.GestureMoved ? rfNone : V.BitmapResampleFilter();
  const int transp = std::clamp(R.Transparency, 0, 255);
  P.Record(TIEVDrawOp::Bitmap, {{X1, Y1}, {X2, Y2}});
  if ((std::int64_t(X2) - X1 + 1) * (std::int64_t(Y2) - Y1 + 1) > kWholeStretchPixels) {
    TRect vis;
    const int w = Work ? Work->Width() : Target->Width(), h = Work ? Work->Height() : Target->Height();
    std::unique_ptr<TIEBitmap> part = NearestVisiblePart(bmp, X1, Y1, X2, Y2, w, h, vis);
    if (!part) return;
    if (Work) {
      part->StretchRectTo(Work, vis.Left, vis.Top, vis.Width(), vis.Height(), 0, 0, vis.Width(), vis.Height(),
                          rfNone, transp);
    } else {
      std::unique_ptr<TIERenderCaches> caches;
      part->RenderToTBitmapEx(Target, caches, nullptr, vis.Left, vis.Top, vis.Width(), vis.Height(), 0, 0,
                              vis.Width(), vis.Height(), true, false, transp, rfNone, true, 0);
    }
    return;
  }
  if (Work) {
    bmp->StretchRectTo(Work, X1, Y1, X2 - X1 + 1, Y2 - Y1 + 1, 0, 0, bmp->Width(), bmp->Height(), filter,
                       transp);
  } else {
    std::unique_ptr<TIERenderCaches> caches;
    bmp->RenderToTBitmapEx(Target, caches, nullptr, X1, Y1, X2 - X1 + 1, Y2 - Y1 + 1, 0, 0, bmp->Width(),
                           bmp->Height(), true, false, transp, filter, true, 0);
  }
}

// Measurement text set-up of rulers and angles.
void MeasureSetup(TPainter& P, const TIEVObjectRecord& R, double zy) {
  TIECanvas& C = P.C();
  C.Pen()->SetMode(pmCopy);
  C.Pen()->SetWidth(static_cast<float>(std::clamp(R.PenWidth, 1, kIEVMaxPenWidth)));
  C.Pen()->SetStyle(psSolid);
  C.Pen()->SetColor(R.PenColor);
  if (R.Font) C.Font().Name = R.Font->FaceName();
  const int h = R.Font ? R.Font->lfHeight : 12;
  C.Font().Height = -std::max(3, FontPixels(std::trunc(std::abs(double(h)) * zy)));
  C.Font().Color = R.PenColor;
  if (IESystemTextCharset() == GREEK_CHARSET) C.Font().Charset = GREEK_CHARSET;
  C.Brush()->SetStyle(bsClear);
}

void DrawRuler(TRedozIrVect& V, TPainter& P, TIEVObjectRecord& R, int X1, int Y1, int X2, int Y2, double zx,
               double zy, bool New) {
  if (X1 == X2 && Y1 == Y2) return;
  MeasureSetup(P, R, zy);
  TIECanvas& C = P.C();
  P.Line(X1, Y1, X2, Y2);
  P.Add(X1, Y1);
  P.Add(X2, Y2);
  const double dx = double(X2) - X1, dy = double(Y2) - Y1, L = std::hypot(dx, dy);
  double ux, uy;
  if (dy == 0) {
    ux = 0, uy = -1;
  } else if (dx == 0) {
    ux = Y1 >= Y2 ? -1 : 1, uy = 0;
  } else if (dx * dy > 0) {
    ux = std::abs(dy) / L, uy = -std::abs(dx) / L;
  } else {
    ux = -std::abs(dy) / L, uy = -std::abs(dx) / L;
  }
  const double vx = dx / L, vy = dy / L;
  double lx = 1, ly = 1;
  V.UnitLengths(static_cast<TIEUnits>(std::min<int>(R.RulerUnit, kIEUnitCount - 1)), lx, ly);
  // The stored ruler measures its own image pixels, which the zoomed and
  // scrolled end points on the target only approximate; the ruler being
  // created measures what it shows.
  const double imgDx = std::abs(double(R.x2) - R.x1), imgDy = std::abs(double(R.y2) - R.y1);
  const double value =
      New ? std::hypot(std::abs(dx) * lx / zx, std::abs(dy) * ly / zy) : std::hypot(imgDx * lx, imgDy * ly);
  if (R.RulerType == 0) {
    const double lxp = lx * 10 / zx, lyp = ly * 10 / zy;
    if (lxp == 0 || lyp == 0 || !std::isfinite(lxp) || !std::isfinite(lyp)) return;
    const int minX = std::min(X1, X2), maxX = std::max(X1, X2), minY = std::min(Y1, Y2),
              maxY = std::max(Y1, Y2);
    for (int n = 0; n <= kIEVMaxRulerTicks; ++n) {
      const double ox = n / lxp * vx, oy = n / lyp * vy;
      const double tx = X1 + std::trunc(ox), ty = Y1 + std::trunc(oy);
      if (tx >= minX && tx <= maxX && ty >= minY && ty <= maxY) {
        const int half = n % 10 == 0 ? 12 : (n % 5 == 0 ? 8 : 6);
        const double hx = std::trunc(half * zx), hy = std::trunc(half * zy);
        const double sx = X1 + ox + hx * ux, sy = Y1 + oy + hy * uy;
        P.Line(static_cast<int>(std::trunc(sx)), static_cast<int>(std::trunc(sy)),
               static_cast<int>(std::trunc(X1 + ox - hx * ux)),
               static_cast<int>(std::trunc(Y1 + oy - hy * uy)));
        if (n % 10 == 0) {
          const std::string label = std::to_string(n / 10);
          const double h = 2.0 * C.TextHeight(label) + 1, w = C.TextWidth(label) / 2;
          int lx0, ly0;
          if (dx * dy > 0) {
            lx0 = IEVClipCoord(std::trunc(sx + h * ux - 2 * w * ux + w * uy));
            ly0 = IEVClipCoord(std::trunc(sy + h * uy - w * ux) + 20);
          } else {
            lx0 = IEVClipCoord(std::trunc(sx + h * ux + w * uy));
            ly0 = IEVClipCoord(std::trunc(sy + h * uy + w * ux) + 20);
          }
          C.TextOut(lx0, ly0, label);
          P.Record(TIEVDrawOp::TextOut, {{lx0, ly0}}, label);
          P.Add(lx0 - 15, ly0 - 15);
          P.Add(lx0 + 15, ly0 + 15);
        }
      }
      if (std::trunc(std::hypot(ox, oy)) >= L) break;
    }
    return;
  }
  if (R.RulerType > 3) return;
  const double sx = std::trunc(ux * std::trunc(9 * zx)), sy = std::trunc(uy * std::trunc(9 * zy));
  P.Line(IEVClipCoord(X1 + sx), IEVClipCoord(Y1 + sy), IEVClipCoord(X1 - sx), IEVClipCoord(Y1 - sy));
  P.Line(IEVClipCoord(X2 + sx), IEVClipCoord(Y2 + sy), IEVClipCoord(X2 - sx), IEVClipCoord(Y2 - sy));
  // Zoomed, the strokes reach past the label's margin: the ruler being
  // created repaints what they covered.
  for (double s : {1.0, -1.0}) {
    P.Add(IEVClipCoord(X1 + s * sx), IEVClipCoord(Y1 + s * sy));
    P.Add(IEVClipCoord(X2 + s * sx), IEVClipCoord(Y2 + s * sy));
  }
  const double theta = IELineAngle(X1, Y1, X2, Y2);
  double A = 2 * M_PI - theta;
  bool r = true;
  if (V.UprightLabels && theta >= M_PI / 2 - 0.000001 && theta <= 3 * M_PI / 2) {
    A = M_PI - theta;
    r = false;
  }
  std::string text = IEFormatFloat(value, V.FloatPrecision, V.FloatDigits) + " " +
                     IEUnitName(static_cast<TIEUnits>(std::min<int>(R.RulerUnit, kIEUnitCount - 1)));
  if (V.OnPresentMeasure) V.OnPresentMeasure(&V, text, value, ievtLENGTH);
  C.Font().Escapement = static_cast<int>(std::trunc(-A * 1800 / M_PI));
  const double ca = std::cos(A), sa = std::sin(A);
  if (R.RulerType == 1) text = " " + text;
  if (R.RulerType == 3) text += " ";
  const int tw = C.TextWidth(text), th = C.TextHeight(text);
  double px, py;
  if (R.RulerType == 1) {
    px = r ? X1 : X2, py = r ? Y1 : Y2;
  } else if (R.RulerType == 2) {
    px = r ? X1 + std::trunc(ca * (L - tw) / 2) : X1 - std::trunc(ca * (tw + L) / 2);
    py = r ? Y1 + std::trunc(sa * (L - tw) / 2) : Y1 - std::trunc(sa * (tw + L) / 2);
  } else {
    px = (r ? X1 : X2) + std::trunc(ca * (L - tw));
    py = (r ? Y1 : Y2) + std::trunc(sa * (L - tw));
  }
  const int ix = IEVClipCoord(px), iy = IEVClipCoord(py);
  C.TextOut(ix, iy, text);
  P.Record(TIEVDrawOp::TextOut, {{ix, iy}}, text);
  const int fx = ix + IEVClipCoord(std::trunc(tw * ca - th * sa)),
            fy = iy + IEVClipCoord(std::trunc(tw * sa + th * ca));
  for (TPoint q : {TPoint{ix, iy}, TPoint{fx, fy}}) {
    P.Add(q.X - 15, q.Y - 15);
    P.Add(q.X + 15, q.Y + 15);
  }
  C.Font().Escapement = 0;
}

void DrawAngle(TRedozIrVect& V, TPainter& P, TIEVObjectRecord& R, int Factor, bool OnScreen) {
  constexpr int kUnset = -1000000;
  const auto& ap = R.AnglePoints;
  if (ap[0].X == kUnset) return;
  const double zy = (OnScreen ? V.ZoomY() / 100.0 : 1.0) * Factor;
  MeasureSetup(P, R, zy);
  std::vector<TPoint> pts;
  for (TPoint p : ap) {
    if (p.X == kUnset) break;
    TPoint q{IEVClipCoord((OnScreen ? V.ObjXBmp2Scr(p.X) : p.X) * Factor),
             IEVClipCoord((OnScreen ? V.ObjYBmp2Scr(p.Y) : p.Y) * Factor)};
    pts.push_back(q);
    P.Add(q.X, q.Y);
  }
  P.Polyline(pts);
  if (pts.size() < 3) return;
  double d = IEThreePointAngle(ap[0].X, ap[0].Y, ap[1].X, ap[1].Y, ap[2].X, ap[2].Y) * 180 / M_PI;
  const bool mirrored = V.SmallerAngle && d >= 180;
  if (mirrored) d = 360 - d;
  TIECanvas& C = P.C();
  // The canvas reads its text in the font's code page: the sign is one byte there.
  const std::string label =
      IEFormatFloat(d, V.FloatPrecision, V.FloatDigits) + IESignText(U'\u00B0', C.Font().Charset);
  const TPoint v = pts[1];
  C.TextOut(v.X, v.Y, label);
  P.Record(TIEVDrawOp::TextOut, {v}, label);
  P.Add(v.X, v.Y);
  P.Add(v.X + C.TextWidth(label), v.Y + C.TextHeight(label));
  const int rr = std::min(static_cast<int>(Dist(v.X, v.Y, pts[0].X, pts[0].Y)) / 4,
                          static_cast<int>(Dist(v.X, v.Y, pts[2].X, pts[2].Y)) / 4);
  const TPoint a = mirrored ? pts[2] : pts[0], b = mirrored ? pts[0] : pts[2];
  P.Arc(v.X - rr, v.Y - rr, v.X + rr, v.Y + rr, a.X, a.Y, b.X, b.Y);
  P.Add(v.X - rr, v.Y - rr);
  P.Add(v.X + rr, v.Y + rr);
}

// A text along its path (points as fractions of the rectangle): the
// characters spaced evenly over the path's length from its start.
void DrawTextOnPath(TPainter& P, const TIEVObjectRecord& R, int X1, int Y1, int X2, int Y2) {
  std::vector<std::array<double, 2>> pts;
  for (const TIEVDPoint& q : R.Path)
    pts.push_back({X1 + (std::isfinite(q.x) ? q.x : 0.0) * (double(X2) - X1),
                   Y1 + (std::isfinite(q.y) ? q.y : 0.0) * (double(Y2) - Y1)});
  double total = 0;
  for (std::size_t i = 1; i < pts.size(); ++i)
    total += Dist(pts[i - 1][0], pts[i - 1][1], pts[i][0], pts[i][1]);
  const double step = std::isfinite(total) ? total / double(R.Text.size()) : 0.0;
  std::size_t seg = 0;
  double segStart = 0;  // path length before segment seg
  for (std::size_t i = 0; i < R.Text.size(); ++i) {
    const double d = step * double(i);
    while (seg + 1 < pts.size() - 1 &&
           segStart + Dist(pts[seg][0], pts[seg][1], pts[seg + 1][0], pts[seg + 1][1]) <= d) {
      segStart += Dist(pts[seg][0], pts[seg][1], pts[seg + 1][0], pts[seg + 1][1]);
      ++seg;
    }
    double x = pts[seg][0], y = pts[seg][1];
    if (seg + 1 < pts.size()) {
      const double len = Dist(pts[seg][0], pts[seg][1], pts[seg + 1][0], pts[seg + 1][1]);
      const double f = len > 0 ? std::clamp((d - segStart) / len, 0.0, 1.0) : 0.0;
      x += (pts[seg + 1][0] - x) * f;
      y += (pts[seg + 1][1] - y) * f;
    }
    P.CharAt(x, y, R.Text[i]);
  }
}

}  // namespace

// ---- bitmap objects

void IEVDrawBitmapFrame(int& X1, int& Y1, int& X2, int& Y2, const TIEVObjectRecord& R, TIEBitmap* Target,
                        int Width) {
  if (!Target || Target->PixelFormat() != ie24RGB || Width <= 0) return;
  const int w = Target->Width(), h = Target->Height();
  if (w <= 0 || h <= 0) return;
  Width = std::min(Width, std::max(w, h));
  const TRGB c = IEColorToRGB(R.PenColor);
  TIEBitmap* a = Target->HasAlphaChannel() ? Target->GetAlphaChannel() : nullptr;
  auto put = [&](int x, int y) {
    reinterpret_cast<TRGB*>(Target->GetScanline(y))[x] = c;
    if (a) a->GetScanline(y)[x] = 255;
  };
  for (int i = 0; i < Width; ++i) {
    const int L = std::clamp(X1, 0, w - 1), T = std::clamp(Y1, 0, h - 1);
    const int Rr = std::clamp(X2, 0, w - 1), B = std::clamp(Y2, 0, h - 1);
    for (int y : {Y1, Y2})
      if (y >= 0 && y < h)
        for (int x = L; x <= Rr; ++x) put(x, y);
    for (int x : {X1, X2})
      if (x >= 0 && x < w)
        for (int y = T; y <= B; ++y) put(x, y);
    ++X1, ++Y1, --X2, --Y2;
  }
}

// ---- one object

namespace {

// One object on its target: its corners converted (zoom, scroll and
// supersampling), the zoom factors and the target pen width.
struct TObjectDraw {
  TRedozIrVect& V;
  TIEVObjectRecord& R;
  TPainter& P;
  TBitmap* Target;
  TIEBitmap* Work;
  int hobj;
  int Factor;
  bool OnScreen, DrawingAlpha;
  double zx, zy;
  int penW;
  int X1, Y1, X2, Y2;

  int Cx(double x) const { return IEVClipCoord((OnScreen ? V.ObjXBmp2Scr(x) : x) * Factor); }
  int Cy(double y) const { return IEVClipCoord((OnScreen ? V.ObjYBmp2Scr(y) : y) * Factor); }
};

// A triangle at the end (ex, ey) of a line coming from (ox, oy): shape 2
// points out of the line, shape 1 into it; other shapes draw nothing.
void DrawLineEndShape(TObjectDraw& D, int Shape, int ex, int ey, int ox, int oy) {
  if (Shape != 1 && Shape != 2) return;
  // Along an axis the direction is exact: sin(pi) is not 0, and a shape point
  // a hair short of its pixel would truncate into the next one.
  const double dx = double(ex) - ox, dy = double(ey) - oy;
  double ca = dx < 0 ? -1 : 1, sa = 0;
  if (dx == 0 && dy != 0) {
    ca = 0, sa = dy < 0 ? -1 : 1;
  } else if (dy != 0) {
    const double a = std::atan2(dy, dx);
    ca = std::cos(a), sa = std::sin(a);
  }
  const double sw = D.R.ShapeWidth * D.zx / 2, sh = D.R.ShapeHeight * D.zy;
  const double bx = ex - sh * ca, by = ey - sh * sa;
  const double nx = -sa * sw, ny = ca * sw;
  std::vector<TPoint> t;
  if (Shape == 2)
    t = {{ex, ey},
         {IEVClipCoord(bx + nx), IEVClipCoord(by + ny)},
         {IEVClipCoord(bx - nx), IEVClipCoord(by - ny)}};
  else
    t = {{IEVClipCoord(bx), IEVClipCoord(by)},
         {IEVClipCoord(ex + nx), IEVClipCoord(ey + ny)},
         {IEVClipCoord(ex - nx), IEVClipCoord(ey - ny)}};
  D.P.Polygon(t);
  for (TPoint p : t) D.P.Add(p.X, p.Y);
}

// The label of a line with label: a box on the outer side of its anchor end,
// the text in it, and the box kept in image pixels for the hit tests.
void DrawLineLabel(TObjectDraw& D) {
  TIEVObjectRecord& R = D.R;
  TPainter& P = D.P;
  TIECanvas& C = P.C();
  const int Factor = D.Factor;
  TPoint anchor{D.X2, D.Y2}, other{D.X1, D.Y1};
  if (R.LabelPosition == 1) std::swap(anchor, other);
  if (R.Font) C.Font() = R.Font->ToFont();
  C.Font().Quality = IEVFontQuality(R.FontQuality);
  C.Font().Height = FontPixels(std::trunc(C.Font().Height * D.zy / Factor * Factor));
  C.Font().Color = R.PenColor;
  const int tw = C.TextWidth(R.Text), th = C.TextHeight(R.Text);
  const int left = anchor.X < other.X ? anchor.X - tw : anchor.X;
  const int top = anchor.Y < other.Y ? anchor.Y - th : anchor.Y;
  const TBrushStyle oldBs = C.Brush()->GetStyle();
  C.Brush()->SetColor(R.LabelBrushColor);
  C.Brush()->SetStyle(static_cast<TBrushStyle>(R.LabelBrushStyle));
  C.Pen()->SetStyle(R.LabelShape == 0 ? psClear : psSolid);
  C.Pen()->SetWidth(1);
  if (R.LabelShape == 3) {
    P.Ellipse(left, top - th, left + tw + 1, top + 2 * th + 1);
    P.Add(left, top - th);
    P.Add(left + tw, top + 2 * th);
  } else if (R.LabelShape == 2) {
    P.Record(TIEVDrawOp::Rect, {{left, top}, {left + tw + 1, top + th + 1}});
    C.RoundRect(left, top, left + tw + 1, top + th + 1, 10, 10);
  } else {
    P.Rect(left, top, left + tw + 1, top + th + 1);
  }
  P.Add(left, top);
  P.Add(left + tw + 1, top + th + 1);
  C.Brush()->SetStyle(bsClear);
  // A turned label starts where the turn keeps it inside its box.
  const double a = C.Font().Escapement / 10.0 * M_PI / 180.0, ca = std::cos(a), sa = std::sin(a);
  const int voff = static_cast<int>(std::trunc(th - th * ca + tw * sa)) / 2;
  int hoff = 0;
  switch (R.TextAlign) {
    case 0: hoff = std::abs(static_cast<int>(std::trunc(th * sa))); break;
    case 1: hoff = static_cast<int>(std::trunc(tw - tw * ca)); break;
    case 2:
    case 3: hoff = static_cast<int>(std::trunc(tw - tw * ca - th * sa)) / 2; break;
    default: break;
  }
  P.Text(TRect{left, top, left + tw, top + th}, left + hoff, top + voff, R.Text);
  C.Brush()->SetStyle(oldBs);
  TRedozIrVect& V = D.V;
  R.LabelRect = TRect{IEVClipCoord(V.ObjXScr2Bmp(left / Factor)), IEVClipCoord(V.ObjYScr2Bmp(top / Factor)),
                      IEVClipCoord(V.ObjXScr2Bmp((left + tw) / Factor)),
                      IEVClipCoord(V.ObjYScr2Bmp((top + th) / Factor))};
  if (!D.OnScreen)
    R.LabelRect = TRect{left / Factor, top / Factor, (left + tw) / Factor, (top + th) / Factor};
}

void DrawLineObject(TObjectDraw& D) {
  D.P.RoundCaps = D.penW > 1;
  D.P.Line(D.X1, D.Y1, D.X2, D.Y2);
  D.P.RoundCaps = false;
  DrawLineEndShape(D, D.R.BeginShape, D.X1, D.Y1, D.X2, D.Y2);
  DrawLineEndShape(D, D.R.EndShape, D.X2, D.Y2, D.X1, D.Y1);
  if (D.R.Kind == ievkLINELABEL && !D.R.Text.empty()) DrawLineLabel(D);
}

void DrawBoxObject(TObjectDraw& D) {
  if (!D.R.SolidFill) {
    D.P.Rect(D.X1, D.Y1, D.X2 + 1, D.Y2 + 1);
    return;
  }
  // Straight into the pixels, clipped to the bitmap.
  TBitmap* T = D.Target;
  const int l = std::max(std::min(D.X1, D.X2), 0), r = std::min(std::max(D.X1, D.X2), T->Width() - 1);
  const int t = std::max(std::min(D.Y1, D.Y2), 0), b = std::min(std::max(D.Y1, D.Y2), T->Height() - 1);
  D.P.Record(TIEVDrawOp::FillRect, {{l, t}, {r, b}});
  const TRGB c = IEColorToRGB(D.R.BrushColor);
  for (int y = t; y <= b; ++y) {
    std::uint8_t* row = T->ScanLine(y);
    if (T->BitCount() == 8) {
      std::fill(row + l, row + r + 1, static_cast<std::uint8_t>(D.R.BrushColor & 0xFF));
    } else if (T->BitCount() == 24) {
      for (int x = l; x <= r; ++x) {
        row[3 * x] &= c.b;
        row[3 * x + 1] &= c.g;
        row[3 * x + 2] &= c.r;
      }
    }
  }
}

void DrawArcObject(TObjectDraw& D) {
  const int X1 = D.X1, Y1 = D.Y1;
  const double rx = (double(D.X2) - X1) / 2, ry = (double(D.Y2) - Y1) / 2;
  const double a0 = std::isfinite(D.R.ArcStart) ? D.R.ArcStart : 0,
               a1 = std::isfinite(D.R.ArcEnd) ? D.R.ArcEnd : 0;
  D.P.Arc(X1, Y1, D.X2 + 1, D.Y2 + 1, IEVClipCoord(std::nearbyint(X1 + rx + rx * std::cos(a0))),
          IEVClipCoord(std::nearbyint(Y1 + ry + ry * std::sin(a0))),
          IEVClipCoord(std::nearbyint(X1 + rx + rx * std::cos(a1))),
          IEVClipCoord(std::nearbyint(Y1 + ry + ry * std::sin(a1))));
}

void DrawBitmapObject(TObjectDraw& D) {
  // Zoomed, the bitmap reaches to the end of its last image pixel.
  const bool zoomed = D.V.ZoomObjectsWidth;
  const int bx2 = zoomed && D.zx != 1.0 ? D.Cx(double(D.R.x2) + 1) - 1 : D.X2;
  const int by2 = zoomed && D.zy != 1.0 ? D.Cy(double(D.R.y2) + 1) - 1 : D.Y2;
  DrawBitmapObjectInto(D.V, D.Target, D.R, D.X1, D.Y1, bx2, by2, D.Work, D.penW, D.P);
}

void DrawTextObject(TObjectDraw& D) {
  TIEVObjectRecord& R = D.R;
  TPainter& P = D.P;
  TIECanvas& C = P.C();
  const int X1 = D.X1, Y1 = D.Y1, X2 = D.X2, Y2 = D.Y2;
  if (R.Text.empty()) return;
  if (D.hobj == D.V.EditingObject()) {
    C.Brush()->SetStyle(bsClear);
    P.Rect(X1 - 1, Y1 - 1, X2 + 1, Y2 + 1);
    return;
  }
  if (R.Font) C.Font() = R.Font->ToFont();
  C.Font().Quality = IEVFontQuality(R.FontQuality);
  const int fh = C.Font().Height;
  C.Font().Height = FontPixels(fh == 0 ? double(Y2 - Y1) : std::trunc(fh * D.zy));
  C.Font().Color = R.PenColor;
  if (!R.Path.empty()) {
    DrawTextOnPath(P, R, X1, Y1, X2, Y2);
    return;
  }
  const double a = C.Font().Escapement / 10.0 * M_PI / 180.0;
  P.Rect(X1, Y1, X2 + 1, Y2 + 1);
  C.Brush()->SetStyle(bsClear);
  const int tw = C.TextWidth(R.Text), th = C.TextHeight(R.Text);
  // Offsets in double and clipped: an absurd pen width or zoom must
  // not overflow the integer placement.
  const double v = std::trunc(std::trunc((Y2 - Y1) - th * std::cos(a) + tw * std::sin(a)) / 2);
  const double m = R.PenStyle == psClear ? 0 : IEVClipCoord(std::nearbyint((R.PenWidth + 1.0) * D.zx));
  double h = 0;
  switch (R.TextAlign) {
    case 0: h = std::abs(std::trunc(th * std::sin(a))) + m; break;
    case 1: h = std::trunc((X2 - X1) - tw * std::cos(a)) - m; break;
    case 2:
    case 3: h = std::trunc(std::trunc((X2 - X1) - tw * std::cos(a) - th * std::sin(a)) / 2); break;
    default: break;
  }
  P.Text(TRect{X1, Y1, X2, Y2}, IEVClipCoord(X1 + h), IEVClipCoord(Y1 + v), R.Text);
}

void DrawMemoObject(TObjectDraw& D) {
  TIEVObjectRecord& R = D.R;
  if (D.hobj == D.V.EditingObject()) return;
  if (R.BkBitmap && !D.DrawingAlpha)
    DrawBitmapObjectInto(D.V, D.Target, R, D.X1, D.Y1, D.X2, D.Y2, nullptr, D.penW, D.P);
  TIETextControl tc(nullptr);
  TIETextMemo memo;
  memo.Text = R.Text;
  memo.Records = R.CharInfo;
  if (R.AttrIndices) memo.Indices = *R.AttrIndices;
  IEVSetupMemoControl(tc, R);
  tc.SetMemo(std::move(memo));
  tc.Init();
  tc.SetZoom(std::clamp(D.zy, 0.01, 100.0));
  D.P.Record(TIEVDrawOp::TextOut, {{D.X1, D.Y1}, {D.X2, D.Y2}}, R.Text);
  tc.LayoutAndDraw(&D.P.C(), D.X1, D.Y1, IEVClipCoord(std::abs(double(R.x2) - R.x1) + 1),
                   IEVClipCoord(std::abs(double(R.y2) - R.y1) + 1));
}

void DrawPolylineObject(TObjectDraw& D) {
  TIEVObjectRecord& R = D.R;
  const auto& b = R.PointsBox;
  if (R.Points.empty() || (b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] == 0)) return;
  const TIEVPointsMap map(R);
  std::vector<TPoint> pts;
  R.DrawnPoints.clear();
  for (TPoint p : R.Points) {
    // Halves to even, as the editing finds the points.
    const TPoint q{D.Cx(IEVClipCoord(std::nearbyint(map.X(p.X)))),
                   D.Cy(IEVClipCoord(std::nearbyint(map.Y(p.Y))))};
    pts.push_back(q);
    R.DrawnPoints.push_back(TPoint{q.X / D.Factor, q.Y / D.Factor});
    D.P.Add(q.X, q.Y);
  }
  if (R.Closed)
    D.P.Polygon(pts);
  else
    D.P.Polyline(pts);
}

void DrawExtendedObject(TObjectDraw& D) {
  // A missing extended object is skipped.
  if (!D.R.Extended.p) return;
  TIEBitmap wrap;
  wrap.AttachTBitmap(D.Target, false);
  D.R.Extended.p->Draw(&wrap, TRect{D.X1, D.Y1, D.X2, D.Y2}, D.zx, D.zy, D.DrawingAlpha);
}

}  // namespace

bool TRedozIrVect::DrawObject(TBitmap* Target, TIEVObjectRecord& R, int hobj, TIEBitmap* Work,
                              bool DrawingAlpha, int Factor, bool OnScreen, bool ClipTest) {
  if (!Target || Target->Empty()) return false;
  Factor = std::max(Factor, 1);
  const double zx = (OnScreen ? ZoomX() / 100.0 : 1.0) * Factor;
  const double zy = (OnScreen ? ZoomY() / 100.0 : 1.0) * Factor;
  if (R.Kind == ievkBOX && R.SolidFill) R.PenWidth = 1;
  const int penW =
      std::clamp(ZoomObjectsWidth ? static_cast<int>(std::ceil(std::max(1.0, R.PenWidth * std::min(zx, zy))))
                                  : R.PenWidth,
                 0, kIEVMaxPenWidth);
  // Through the work bitmap the alpha pass carries the transparency as
  // coverage times it: drawn transparent there too, the colour would take it twice.
  const int transp = Work || DrawingAlpha ? 255 : std::clamp(R.Transparency, 0, 255);
  const bool aa = fObjAntialias && (!Dragging || !FastDrag);
  TPainter P(Target, aa, R);
  TObjectDraw D{*this, R, P, Target, Work, hobj, Factor, OnScreen, DrawingAlpha, zx, zy, penW, 0, 0, 0, 0};
  D.X1 = D.Cx(R.x1), D.Y1 = D.Cy(R.y1), D.X2 = D.Cx(R.x2), D.Y2 = D.Cy(R.y2);
  const int X1 = D.X1, Y1 = D.Y1, X2 = D.X2, Y2 = D.Y2;
  TIECanvas& C = P.C();
  C.Pen()->SetMode(pmCopy);
  C.Pen()->SetColor(R.PenColor);
  C.Pen()->SetStyle(static_cast<TPenStyle>(R.PenStyle));
  C.Pen()->SetWidth(static_cast<float>(penW));
  C.Pen()->SetTransparency(transp);
  C.Brush()->SetColor(R.BrushColor);
  C.Brush()->SetStyle(static_cast<TBrushStyle>(R.BrushStyle));
  C.Brush()->SetTransparency(transp);
  R.DrawnRect = TRect{kEmptyLo, kEmptyLo, -kEmptyLo, -kEmptyLo};
  R.DrawnPenWidth = penW;
  if (!(R.Style & ievsVisible)) return false;
  if (ClipTest) {
    const int l = std::min(X1, X2) - penW, r = std::max(X1, X2) + penW;
    const int t = std::min(Y1, Y2) - penW, b = std::max(Y1, Y2) + penW;
    if (r < 0 || b < 0 || l >= Target->Width() || t >= Target->Height()) return false;
  }
  const TRect dest{X1, Y1, X2, Y2};
  bool handled = false;
  if (OnBeforeDrawObject) OnBeforeDrawObject(this, hobj, Target, dest, DrawingAlpha, handled);
  if (!handled) {
    switch (R.Kind) {
      case ievkLINE:
      case ievkLINELABEL: DrawLineObject(D); break;
      case ievkBOX: DrawBoxObject(D); break;
      case ievkELLIPSE: P.Ellipse(X1, Y1, X2 + 1, Y2 + 1); break;
      case ievkARC: DrawArcObject(D); break;
      case ievkBITMAP: DrawBitmapObject(D); break;
      case ievkTEXT: DrawTextObject(D); break;
      case ievkMEMO: DrawMemoObject(D); break;
      case ievkRULER: DrawRuler(*this, P, R, X1, Y1, X2, Y2, zx, zy, false); break;
      case ievkPOLYLINE: DrawPolylineObject(D); break;
      case ievkANGLE: DrawAngle(*this, P, R, Factor, OnScreen); break;
      case ievkEXTENDED: DrawExtendedObject(D); break;
      default: break;
    }
    if (R.Kind != ievkRULER && R.Kind != ievkANGLE && R.Kind != ievkPOLYLINE) {
      P.Add(X1, Y1);
      P.Add(X2, Y2);
    }
  }
  if (OnAfterDrawObject) {
    bool h2 = false;
    OnAfterDrawObject(this, hobj, Target, dest, DrawingAlpha, h2);
  }
  ++fObjectsDrawn;
  return true;
}

// ---- the ruler being created

TRect TRedozIrVect::DrawNewRulerOn(TCanvas* Canvas, TPoint P1, TPoint P2) {
  if (!Canvas) return TRect{};
  TIEVObjectRecord& R = fTemplate;
  const TRect drawn = R.DrawnRect;
  const TFont font = Canvas->Font;
  R.DrawnRect = TRect{kEmptyLo, kEmptyLo, -kEmptyLo, -kEmptyLo};
  {
    TPainter P(Canvas, ClientWidth(), ClientHeight(), fObjAntialias, R);
    DrawRuler(*this, P, R, P1.X, P1.Y, P2.X, P2.Y, ZoomX() / 100.0, ZoomY() / 100.0, true);
  }
  TRect r = R.DrawnRect;
  R.DrawnRect = drawn;
  Canvas->Font = font;
  if (r.Left > r.Right) return TRect{};
  return r;
}

}  // namespace redozir
