// Anti-aliased drawing with alpha (AGG's scanline rasteriser): paths of
// lines, curves, arcs and ellipses, filled by the non-zero or even-odd rule
// or stroked with a width, joins, caps and dashes, into a bitmap or a
// canvas's bitmap within its origin, device clip, clip region and an extra
// clip rectangle. 24- and 32-bit pixels and the levels of an 8-bit grey
// ramp are blended; other formats take the colour where coverage times alpha
// reaches one half.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/bitmap.h"
#include "platform/graphics.h"
#include "platform/region.h"
#include "platform/scan_convert.h"

#pragma GCC visibility push(default)
namespace redozir {

class TCanvas;

enum TAAFillRule { afrNonZero, afrEvenOdd };
enum TAALineJoin { aljMiter, aljRound, aljBevel };
enum TAALineCap { alcButt, alcRound, alcSquare };

// A path in pixel coordinates: (0, 0) is the top-left corner of the top-left
// pixel, whose centre is (0.5, 0.5).
class TAAPath {
 public:
  enum TCommand { cmMove, cmLine, cmQuad, cmCubic, cmClose };
  struct TElement {
    TCommand Cmd;
    double X[3];
    double Y[3];
  };

  void MoveTo(double x, double y);
  void LineTo(double x, double y);
  void QuadTo(double cx, double cy, double x, double y);
  void CurveTo(double c1x, double c1y, double c2x, double c2y, double x, double y);
  // An arc of the ellipse inscribed in (x, y, w, h) from startDeg sweeping
  // sweepDeg degrees, angles growing clockwise on screen; joined to the
  // current figure by a line, or starting one when there is none.
  void AddArc(double x, double y, double w, double h, double startDeg, double sweepDeg);
  // Closed figures of their own.
  void AddEllipse(double x, double y, double w, double h);
  void AddRectangle(double x, double y, double w, double h);
  void AddPolygon(const TPointD* pts, int count);
  void AddLines(const TPointD* pts, int count);
  void Close();

  bool Empty() const { return elements_.empty(); }
  const std::vector<TElement>& Elements() const { return elements_; }

 private:
  bool open_ = false;
  std::vector<TElement> elements_;
};

struct TAAStroke {
  double Width = 1;
  TAALineJoin Join = aljMiter;
  TAALineCap Cap = alcButt;
  double MiterLimit = 10;
  // Dash lengths in pixels: on, off, on, off, ... (empty: solid).
  std::vector<double> Dashes;
  double DashOffset = 0;
};

class TAARenderer {
 public:
  explicit TAARenderer(TBitmap& bmp);
  // Draws through the canvas: its origin, device clip and clip region apply.
  explicit TAARenderer(TCanvas& canvas);

  // An extra clip rectangle in the renderer's coordinates.
  void SetClipRect(const TRect& r);
  void ResetClipRect();
  // Off: pixels at least half covered are set whole, the others left alone;
  // a stroke of even width then moves half a pixel up and left, so that it
  // covers as many rows as its width (along pixel centres it would half
  // cover one more row on either side, and both would count).
  void SetAntiAlias(bool on) { antiAlias_ = on; }

  // alpha 0..255 (255 opaque).
  void Fill(const TAAPath& path, TColor color, int alpha = 255, TAAFillRule rule = afrNonZero);
  void Stroke(const TAAPath& path, const TAAStroke& stroke, TColor color, int alpha = 255);
  // Hatch pixels (the 8 x 8 patterns of TBrush, anchored at the bitmap's
  // origin) in the fore colour, the others in the back colour.
  void FillHatch(const TAAPath& path, TBrushStyle style, TColor fore, int foreAlpha, TColor back,
                 int backAlpha, TAAFillRule rule = afrNonZero);

 private:
  struct TPaint;
  void Render(const TAAPath& path, const TAAStroke* stroke, TAAFillRule rule, const TPaint& paint);

  TBitmap& bmp_;
  // The canvas drawn through, told what changed.
  TCanvas* canvas_ = nullptr;
  TPoint origin_;
  TRect bounds_;  // in the renderer's coordinates
  std::optional<TRegion> region_;
  std::optional<TRect> clipRect_;
  bool antiAlias_ = true;
};

}  // namespace redozir
#pragma GCC visibility pop
