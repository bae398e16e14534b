#include "imaging/core/iegdiplus.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "imaging/core/ie_geometry.h"
#include "platform/font.h"
#include "platform/numeric.h"

namespace redozir {

// ---- binding

// Constant-initialised, and set by nothing but the program and the views:
// a library started after views exist, or after the program switched the
// back end off, finds them as they are.
bool GDIPlusAllowed = true;

namespace {
bool gBackEndPresent = true;
bool gLoaded = false;
int gLoadCount = 0;

// Dash patterns of the pen styles, in multiples of the pen width (on, off,
// on, off, ...).
struct TDashPattern {
  TPenStyle Style;
  std::array<double, 6> Steps;
  int Count;
};
constexpr TDashPattern kDashPatterns[] = {
    {psDash, {3, 1}, 2},
    {psDot, {1, 1}, 2},
    {psDashDot, {3, 1, 1, 1}, 4},
    {psDashDotDot, {3, 1, 1, 1, 1, 1}, 6},
};

// Integer canvas coordinates name pixel centres; the back end's (0, 0) is
// the corner of the first pixel.
constexpr double kCentre = 0.5;
}  // namespace

void IEGDIPSetBackEndPresent(bool present) { gBackEndPresent = present; }

void IEGDIPLoadLibrary() {
  ++gLoadCount;
  if (!gLoaded && GDIPlusAllowed && gBackEndPresent) gLoaded = true;
}

void IEGDIPUnloadLibrary() {
  // An unload without a matching load leaves the count at 0.
  if (gLoadCount > 0) --gLoadCount;
  if (gLoaded && gLoadCount == 0) gLoaded = false;
}

bool IEGDIPLoaded() { return gLoaded; }
bool IEGDIPAvailable() { return GDIPlusAllowed && gLoaded; }
int IEGDIPLoadCount() { return gLoadCount; }

// ---- TIEPen

TIEPen::TIEPen(TPen* APen)
    : fPen(APen), fColor(APen->Color), fWidth(static_cast<float>(APen->Width)), fStyle(APen->Style) {}

void TIEPen::SetColor(TColor v) {
  fColor = v;
  fPen->Color = v;
}

void TIEPen::SetTransparency(int v) { fTransparency = std::clamp(v, 0, 255); }

void TIEPen::SetWidth(float v) {
  fWidth = v;
  fPen->Width = TruncClamp(v, 0, 0x7FFFFFFF);
}

void TIEPen::SetStyle(TPenStyle v) {
  fStyle = v;
  fPen->Style = v;
}

void TIEPen::SetMode(TPenMode v) { fPen->Mode = v; }

void TIEPen::SetHandle(const TPen& pen) { *fPen = pen; }

TAAStroke TIEPen::Stroke() const {
  TAAStroke s;
  // Below one pixel the pen is a one-pixel hairline.
  s.Width = std::isfinite(fWidth) && fWidth >= 1.0f ? fWidth : 1.0;
  switch (fLineJoin) {
    case 1: s.Join = aljBevel; break;
    case 2: s.Join = aljRound; break;
    default: s.Join = aljMiter; break;
  }
  s.Cap = fLineCap == 2 ? alcRound : fLineCap == 1 ? alcSquare : alcButt;
  for (const TDashPattern& p : kDashPatterns)
    if (p.Style == fStyle)
      for (int i = 0; i < p.Count; ++i) s.Dashes.push_back(p.Steps[i] * s.Width);
  return s;
}

// ---- TIEBrush

TIEBrush::TIEBrush(TBrush* ABrush) : fBrush(ABrush), fColor(ABrush->Color), fStyle(ABrush->Style) {}

void TIEBrush::SetColor(TColor v) {
  fColor = v;
  fBrush->Color = v;
}

void TIEBrush::SetStyle(TBrushStyle v) {
  fStyle = v;
  fBrush->Style = v;
}

void TIEBrush::FillPath(TAARenderer& r, const TAAPath& path, TAAFillRule rule) const {
  switch (fStyle) {
    case bsSolid:
      if (fTransparency > 0) r.Fill(path, ColorToRGB(fColor), fTransparency, rule);
      break;
    case bsHorizontal:
    case bsVertical:
    case bsFDiagonal:
    case bsBDiagonal:
    case bsCross:
    case bsDiagCross:
      r.FillHatch(path, fStyle, ColorToRGB(fColor), fTransparency, ColorToRGB(fBackColor), fBackTransparency,
                  rule);
      break;
    default:  // clear: alpha 0, nothing to draw
      break;
  }
}

// ---- TIECanvas

TIECanvas::TIECanvas(TCanvas* ACanvas, bool AntiAlias, bool UseGDIPlus)
    : fCanvas(ACanvas),
      fPen(std::make_unique<TIEPen>(&ACanvas->Pen)),
      fPenPos(ACanvas->PenPos),
      fBrush(std::make_unique<TIEBrush>(&ACanvas->Brush)) {
  fUseGDIPlus = IEGDIPAvailable() && UseGDIPlus;
  if (fUseGDIPlus) {
    if (!ACanvas->Bitmap()) throw EIECanvasError("Cannot create TIECanvas. GdipCreateFromHDC failed.");
    fGraphics = std::make_unique<TAARenderer>(*ACanvas);
  }
  SetSmoothingMode(AntiAlias ? iesmAntiAlias : iesmHighSpeed);
}

TIECanvas::~TIECanvas() = default;

void TIECanvas::SetSmoothingMode(int Mode) {
  // The canvas counts modes from 1: 3 (high quality) and 5 (antialias) blend
  // edges, the others do not.
  if (fGraphics) fGraphics->SetAntiAlias(Mode == 3 || Mode == iesmAntiAlias);
}

void TIECanvas::SetPenPos(TPoint P) {
  fPenPos = P;
  if (!fUseGDIPlus) fCanvas->MoveTo(P.X, P.Y);
}

void TIECanvas::MoveTo(int X, int Y) {
  fPenPos = {X, Y};
  if (!fUseGDIPlus) fCanvas->MoveTo(X, Y);
}

void TIECanvas::StrokePath(const TAAPath& path) {
  if (!fPen->Visible()) return;
  fGraphics->Stroke(path, fPen->Stroke(), ColorToRGB(fPen->GetColor()), fPen->GetTransparency());
}

void TIECanvas::LineTo(int X, int Y) {
  if (fUseGDIPlus) {
    DrawLine(fPenPos.X, fPenPos.Y, X, Y);
  } else {
    fCanvas->LineTo(X, Y);
  }
  fPenPos = {X, Y};
}

void TIECanvas::DrawLine(int X1, int Y1, int X2, int Y2) {
  if (fUseGDIPlus) {
    TAAPath p;
    p.MoveTo(X1 + kCentre, Y1 + kCentre);
    p.LineTo(X2 + kCentre, Y2 + kCentre);
    StrokePath(p);
  } else {
    // Through the plain canvas a line is a two-point polygon, so that both
    // end points are drawn.
    TPoint pts[2] = {{X1, Y1}, {X2, Y2}};
    fCanvas->Polygon(pts, 2);
  }
}

namespace {
// The box of two corners given in either order, as the back end takes it:
// from the first pixel's centre, one pixel less than the corners' span.
// False when nothing is left to draw.
bool CentredBox(int X1, int Y1, int X2, int Y2, double& x, double& y, double& w, double& h) {
  if (X1 > X2) std::swap(X1, X2);
  if (Y1 > Y2) std::swap(Y1, Y2);
  x = X1 + kCentre;
  y = Y1 + kCentre;
  w = X2 - X1 - 1;
  h = Y2 - Y1 - 1;
  return w > 0 && h > 0;
}
}  // namespace

void TIECanvas::FillRect(const TRect& R) {
  if (!fUseGDIPlus) {
    fCanvas->FillRect(R);
    return;
  }
  double x, y, w, h;
  if (!CentredBox(R.Left, R.Top, R.Right, R.Bottom, x, y, w, h)) return;
  TAAPath p;
  p.AddRectangle(x, y, w, h);
  fBrush->FillPath(*fGraphics, p, afrNonZero);
}

void TIECanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
  if (!fUseGDIPlus) {
    fCanvas->Rectangle(X1, Y1, X2, Y2);
    return;
  }
  double x, y, w, h;
  if (!CentredBox(X1, Y1, X2, Y2, x, y, w, h)) return;
  TAAPath p;
  p.AddRectangle(x, y, w, h);
  fBrush->FillPath(*fGraphics, p, afrNonZero);
  StrokePath(p);
}

void TIECanvas::Ellipse(int X1, int Y1, int X2, int Y2) {
  if (!fUseGDIPlus) {
    fCanvas->Ellipse(X1, Y1, X2, Y2);
    return;
  }
  // A rectangle given right to left or bottom to top names the same box.
  double x, y, w, h;
  if (!CentredBox(X1, Y1, X2, Y2, x, y, w, h)) return;
  TAAPath p;
  p.AddEllipse(x, y, w, h);
  fBrush->FillPath(*fGraphics, p, afrNonZero);
  StrokePath(p);
}

namespace {
std::vector<TPointD> PixelCentres(const std::vector<TPoint>& Points) {
  std::vector<TPointD> pts;
  pts.reserve(Points.size());
  for (const TPoint& q : Points) pts.push_back({q.X + kCentre, q.Y + kCentre});
  return pts;
}
}  // namespace

void TIECanvas::Polygon(const std::vector<TPoint>& Points) {
  if (!fUseGDIPlus) {
    fCanvas->Polygon(Points);
    return;
  }
  if (Points.size() < 2) return;
  std::vector<TPointD> pts = PixelCentres(Points);
  TAAPath p;
  p.AddPolygon(pts.data(), static_cast<int>(pts.size()));
  // The outline first, then the fill over it, by the alternate rule.
  StrokePath(p);
  fBrush->FillPath(*fGraphics, p, afrEvenOdd);
}

void TIECanvas::Polyline(const std::vector<TPoint>& Points) {
  if (!fUseGDIPlus) {
    fCanvas->Polyline(Points);
    return;
  }
  if (Points.size() < 2) return;
  std::vector<TPointD> pts = PixelCentres(Points);
  TAAPath p;
  p.AddLines(pts.data(), static_cast<int>(pts.size()));
  StrokePath(p);
}

void TIECanvas::Arc(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4) {
  if (!fUseGDIPlus) {
    fCanvas->Arc(X1, Y1, X2, Y2, X3, Y3, X4, Y4);
    return;
  }
  int cx = (X1 + X2) / 2, cy = (Y1 + Y2) / 2;
  double a = IELineAngle(cx, cy, X4, Y4) * 180.0 / std::numbers::pi;
  double s = IEThreePointAngle(X3, Y3, cx, cy, X4, Y4) * 180.0 / std::numbers::pi;
  double w = X2 - X1 + 1, h = Y2 - Y1 + 1;
  if (w <= 0 || h <= 0) return;
  // Rays that coincide close the arc, as the platform canvas draws it.
  if (s == 0) s = 360;
  TAAPath p;
  p.AddArc(X1 + kCentre, Y1 + kCentre, w, h, -a, s);
  StrokePath(p);
}

void TIECanvas::RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3) {
  if (!fUseGDIPlus) {
    fCanvas->RoundRect(X1, Y1, X2, Y2, X3, Y3);
    return;
  }
  if (X1 > X2) std::swap(X1, X2);
  if (Y1 > Y2) std::swap(Y1, Y2);
  int w = X2 - X1, h = Y2 - Y1;
  if (w <= 1 || h <= 1) return;
  X3 = std::min(X3, w);
  Y3 = std::min(Y3, h);
  TAAPath p;
  double l = X1 + kCentre, t = Y1 + kCentre, r = X2 + kCentre, b = Y2 + kCentre;
  if (X3 <= 0 || Y3 <= 0) {
    // No corner to round: the plain rectangle.
    p.AddRectangle(l, t, w, h);
  } else {
    p.AddArc(l, t, X3, Y3, 180, 90);
    p.AddArc(r - X3, t, X3, Y3, 270, 90);
    p.AddArc(r - X3, b - Y3, X3, Y3, 0, 90);
    p.AddArc(l, b - Y3, X3, Y3, 90, 90);
    p.Close();
  }
  fBrush->FillPath(*fGraphics, p, afrEvenOdd);
  StrokePath(p);
}

void TIECanvas::TextRectEx(const TRect& R, int X, int Y, const std::string& Text) {
  // Clipped only: unlike TextRect the rectangle is not filled, so that
  // characters drawn one by one into the same rectangle keep each other.
  std::u16string wide;
  for (char32_t ch : CharsetToUnicode(Text, fCanvas->Font.Charset))
    wide.push_back(ch < 0x10000 ? static_cast<char16_t>(ch) : u'\uFFFD');
  fCanvas->ExtTextOutW(X, Y, fCanvas->TextFlags | ETO_CLIPPED, &R, wide);
}

}  // namespace redozir
