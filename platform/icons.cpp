// The standard icons, drawn on a 32-unit square scaled to the rectangle and
// centred in it, so that they stay sharp at any size.
#include "platform/icons.h"

#include <algorithm>

#include "platform/aa.h"
#include "platform/canvas.h"

namespace redozir {

namespace {

constexpr double kGrid = 32;

// Maps the 32-unit design square into the rectangle.
struct TIconFrame {
  double X, Y, S;
  double Px(double v) const { return X + v * S; }
  double Py(double v) const { return Y + v * S; }
  double L(double v) const { return v * S; }
};

void Ellipse(TAAPath& p, const TIconFrame& f, double cx, double cy, double r) {
  p.AddEllipse(f.Px(cx - r), f.Py(cy - r), f.L(2 * r), f.L(2 * r));
}

void Disc(TAARenderer& aa, const TIconFrame& f, TColor Fill, TColor Edge) {
  TAAPath disc;
  Ellipse(disc, f, 16, 16, 15);
  aa.Fill(disc, Fill);
  TAAStroke edge;
  edge.Width = std::max(f.L(1), 1.0);
  aa.Stroke(disc, edge, Edge);
}

TAAStroke Round(const TIconFrame& f, double Width) {
  TAAStroke s;
  s.Width = f.L(Width);
  s.Cap = alcRound;
  s.Join = aljRound;
  return s;
}

void Dot(TAARenderer& aa, const TIconFrame& f, double cx, double cy, double r, TColor c) {
  TAAPath p;
  Ellipse(p, f, cx, cy, r);
  aa.Fill(p, c);
}

void DrawError(TAARenderer& aa, const TIconFrame& f) {
  Disc(aa, f, RGB(214, 48, 49), RGB(150, 20, 20));
  TAAPath cross;
  cross.MoveTo(f.Px(11), f.Py(11));
  cross.LineTo(f.Px(21), f.Py(21));
  cross.MoveTo(f.Px(21), f.Py(11));
  cross.LineTo(f.Px(11), f.Py(21));
  aa.Stroke(cross, Round(f, 3.5), clWhite);
}

void DrawWarning(TAARenderer& aa, const TIconFrame& f) {
  TAAPath tri;
  const TPointD pts[] = {{f.Px(16), f.Py(2.5)}, {f.Px(30.5), f.Py(28.5)}, {f.Px(1.5), f.Py(28.5)}};
  tri.AddPolygon(pts, 3);
  aa.Fill(tri, RGB(250, 204, 40));
  TAAStroke edge = Round(f, 1.5);
  aa.Stroke(tri, edge, RGB(160, 110, 0));
  TAAPath bar;
  const TPointD b[] = {
      {f.Px(14.4), f.Py(10)}, {f.Px(17.6), f.Py(10)}, {f.Px(16.8), f.Py(20.5)}, {f.Px(15.2), f.Py(20.5)}};
  bar.AddPolygon(b, 4);
  aa.Fill(bar, clBlack);
  Dot(aa, f, 16, 24.5, 1.9, clBlack);
}

void DrawInformation(TAARenderer& aa, const TIconFrame& f) {
  Disc(aa, f, RGB(38, 110, 205), RGB(20, 60, 140));
  Dot(aa, f, 16, 9.5, 2.3, clWhite);
  TAAPath bar;
  bar.AddRectangle(f.Px(14), f.Py(13.5), f.L(4), f.L(11));
  aa.Fill(bar, clWhite);
}

void DrawQuestion(TAARenderer& aa, const TIconFrame& f) {
  Disc(aa, f, RGB(38, 110, 205), RGB(20, 60, 140));
  TAAPath hook;
  // From the left of the bowl over its top and down its right side to the
  // bottom, then straight down: the question mark's stroke.
  hook.AddArc(f.Px(11), f.Py(6.5), f.L(10), f.L(10), 180, 270);
  hook.LineTo(f.Px(16), f.Py(19.5));
  aa.Stroke(hook, Round(f, 3), clWhite);
  Dot(aa, f, 16, 24.5, 2, clWhite);
}

void DrawApplication(TAARenderer& aa, const TIconFrame& f) {
  TAAPath window;
  window.AddRectangle(f.Px(2), f.Py(4), f.L(28), f.L(24));
  aa.Fill(window, clWhite);
  TAAPath title;
  title.AddRectangle(f.Px(2), f.Py(4), f.L(28), f.L(6));
  aa.Fill(title, RGB(38, 110, 205));
  TAAStroke edge;
  edge.Width = std::max(f.L(1), 1.0);
  aa.Stroke(window, edge, RGB(80, 80, 80));
}

}  // namespace

bool IsStandardIcon(int Icon) { return Icon >= IDI_APPLICATION && Icon <= IDI_ASTERISK; }

bool DrawStandardIcon(TCanvas& Canvas, const TRect& R, int Icon) {
  if (!IsStandardIcon(Icon) || R.Width() <= 0 || R.Height() <= 0) return false;
  const double side = std::min(R.Width(), R.Height());
  const TIconFrame f{R.Left + (R.Width() - side) / 2, R.Top + (R.Height() - side) / 2, side / kGrid};
  TAARenderer aa(Canvas);
  switch (Icon) {
    case IDI_HAND: DrawError(aa, f); break;
    case IDI_QUESTION: DrawQuestion(aa, f); break;
    case IDI_EXCLAMATION: DrawWarning(aa, f); break;
    case IDI_ASTERISK: DrawInformation(aa, f); break;
    default: DrawApplication(aa, f); break;
  }
  return true;
}

}  // namespace redozir
