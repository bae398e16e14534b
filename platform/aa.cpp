#include "platform/aa.h"

#include <agg_bezier_arc.h>
#include <agg_conv_curve.h>
#include <agg_conv_dash.h>
#include <agg_conv_stroke.h>
#include <agg_conv_transform.h>
#include <agg_gamma_functions.h>
#include <agg_pixfmt_rgb.h>
#include <agg_rasterizer_scanline_aa.h>
#include <agg_rendering_buffer.h>
#include <agg_scanline_u.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/aa_agg.h"
#include "platform/canvas.h"
#include "platform/pixel_writer.h"

namespace {
// The table of cell blocks of this thread's rasterizer, while it has one.
// AGG frees the table only with blocks in it, and loses it when the first
// block cannot be had: TCellTableGuard frees it then.
thread_local agg::cell_aa** tCellTable = nullptr;
}  // namespace

template <>
struct agg::pod_allocator<agg::cell_aa*> {
  static agg::cell_aa** allocate(unsigned num) { return tCellTable = new agg::cell_aa*[num]; }
  static void deallocate(agg::cell_aa** ptr, unsigned) {
    if (ptr == tCellTable) tCellTable = nullptr;
    delete[] ptr;
  }
};

namespace redozir {

namespace {
// Outlives the rasterizer of one drawing (declared before it).
struct TCellTableGuard {
  TCellTableGuard() = default;
  TCellTableGuard(const TCellTableGuard&) = delete;
  TCellTableGuard& operator=(const TCellTableGuard&) = delete;
  ~TCellTableGuard() {
    delete[] tCellTable;
    tCellTable = nullptr;
  }
};
}  // namespace

void TAAPath::MoveTo(double x, double y) {
  elements_.push_back({cmMove, {x}, {y}});
  open_ = true;
}

void TAAPath::LineTo(double x, double y) {
  if (!open_) return MoveTo(x, y);
  elements_.push_back({cmLine, {x}, {y}});
}

void TAAPath::QuadTo(double cx, double cy, double x, double y) {
  if (!open_) MoveTo(cx, cy);
  elements_.push_back({cmQuad, {cx, x}, {cy, y}});
}

void TAAPath::CurveTo(double c1x, double c1y, double c2x, double c2y, double x, double y) {
  if (!open_) MoveTo(c1x, c1y);
  elements_.push_back({cmCubic, {c1x, c2x, x}, {c1y, c2y, y}});
}

void TAAPath::AddArc(double x, double y, double w, double h, double startDeg, double sweepDeg) {
  constexpr double kDeg = std::numbers::pi / 180;
  agg::bezier_arc arc(x + w / 2, y + h / 2, w / 2, h / 2, startDeg * kDeg, sweepDeg * kDeg);
  const double* v = arc.vertices();
  unsigned n = arc.num_vertices();  // coordinates: 2 for the start, 6 per curve
  if (n < 2) return;
  if (open_)
    LineTo(v[0], v[1]);
  else
    MoveTo(v[0], v[1]);
  for (unsigned i = 2; i + 5 < n; i += 6) CurveTo(v[i], v[i + 1], v[i + 2], v[i + 3], v[i + 4], v[i + 5]);
}

void TAAPath::AddEllipse(double x, double y, double w, double h) {
  open_ = false;
  AddArc(x, y, w, h, 0, 360);
  Close();
}

void TAAPath::AddRectangle(double x, double y, double w, double h) {
  TPointD pts[4] = {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
  AddPolygon(pts, 4);
}

void TAAPath::AddPolygon(const TPointD* pts, int count) {
  if (count < 1) return;
  open_ = false;
  AddLines(pts, count);
  Close();
}

void TAAPath::AddLines(const TPointD* pts, int count) {
  for (int i = 0; i < count; ++i) {
    if (i == 0 && !open_)
      MoveTo(pts[i].X, pts[i].Y);
    else
      LineTo(pts[i].X, pts[i].Y);
  }
}

void TAAPath::Close() {
  if (!open_) return;
  elements_.push_back({cmClose, {}, {}});
  open_ = false;
}

struct TAARenderer::TPaint {
  TColor fore, back;
  int foreAlpha, backAlpha;
  TBrushStyle hatch;
};

TAARenderer::TAARenderer(TBitmap& bmp) : bmp_(bmp), bounds_{0, 0, bmp.Width(), bmp.Height()} {}

TAARenderer::TAARenderer(TCanvas& canvas)
    : bmp_(*canvas.Bitmap()), canvas_(&canvas), origin_(canvas.Origin()), bounds_(canvas.VisibleBounds()) {
  if (canvas.ClipRegion()) region_ = *canvas.ClipRegion();
}

void TAARenderer::SetClipRect(const TRect& r) { clipRect_ = r; }
void TAARenderer::ResetClipRect() { clipRect_.reset(); }

void TAARenderer::Fill(const TAAPath& path, TColor color, int alpha, TAAFillRule rule) {
  Render(path, nullptr, rule, {color, color, alpha, 0, bsSolid});
}

void TAARenderer::Stroke(const TAAPath& path, const TAAStroke& stroke, TColor color, int alpha) {
  Render(path, &stroke, afrNonZero, {color, color, alpha, 0, bsSolid});
}

void TAARenderer::FillHatch(const TAAPath& path, TBrushStyle style, TColor fore, int foreAlpha, TColor back,
                            int backAlpha, TAAFillRule rule) {
  Render(path, nullptr, rule, {fore, back, foreAlpha, backAlpha, style});
}

namespace {
// AGG turns coordinates into 24.8 fixed point in an int: a path whose points
// (with the pen around them) reach past this bound, or are not finite, is not
// drawn rather than overflowing there.
constexpr double kAAMaxCoord = 4194304.0;  // 2^22

bool InRasterRange(const TAAPath& path, TPoint origin, const TAAStroke* stroke) {
  double pen = 0;
  if (stroke) {
    if (!std::isfinite(stroke->Width) || std::fabs(stroke->Width) > kAAMaxCoord) return false;
    pen = std::fabs(stroke->Width) *
          std::max(1.0, std::isfinite(stroke->MiterLimit) ? stroke->MiterLimit : 1.0);
  }
  for (const TAAPath::TElement& e : path.Elements()) {
    int n = e.Cmd == TAAPath::cmCubic ? 3 : e.Cmd == TAAPath::cmQuad ? 2 : e.Cmd == TAAPath::cmClose ? 0 : 1;
    for (int i = 0; i < n; ++i) {
      double x = e.X[i] + origin.X, y = e.Y[i] + origin.Y;
      if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) + pen > kAAMaxCoord ||
          std::fabs(y) + pen > kAAMaxCoord)
        return false;
    }
  }
  return true;
}

TAggPath ToAgg(const TAAPath& path) {
  TAggPath ps;
  for (const TAAPath::TElement& e : path.Elements()) {
    switch (e.Cmd) {
      case TAAPath::cmMove: ps.move_to(e.X[0], e.Y[0]); break;
      case TAAPath::cmLine: ps.line_to(e.X[0], e.Y[0]); break;
      case TAAPath::cmQuad: ps.curve3(e.X[0], e.Y[0], e.X[1], e.Y[1]); break;
      case TAAPath::cmCubic: ps.curve4(e.X[0], e.Y[0], e.X[1], e.Y[1], e.X[2], e.Y[2]); break;
      case TAAPath::cmClose: ps.close_polygon(); break;
    }
  }
  return ps;
}

template <typename Source>
void SetStroke(agg::conv_stroke<Source>& s, const TAAStroke& st) {
  s.width(std::clamp(st.Width, 0.0, 1e6));
  s.line_join(st.Join == aljRound   ? agg::round_join
              : st.Join == aljBevel ? agg::bevel_join
                                    : agg::miter_join);
  s.line_cap(st.Cap == alcRound ? agg::round_cap : st.Cap == alcSquare ? agg::square_cap : agg::butt_cap);
  s.miter_limit(std::max(st.MiterLimit, 1.0));
}

agg::int8u Alpha(int a) { return static_cast<agg::int8u>(std::clamp(a, 0, 255)); }

agg::rgba8 Rgba(TColor c, int alpha) {
  c = ColorToRGB(c);
  return agg::rgba8(static_cast<agg::int8u>(GetRValue(c)), static_cast<agg::int8u>(GetGValue(c)),
                    static_cast<agg::int8u>(GetBValue(c)), Alpha(alpha));
}

// Blends coverage runs into the rows of one pixel format.
template <typename PixFmt>
class Blender {
 public:
  Blender(TBitmap& bmp, const agg::rgba8& fore, const agg::rgba8& back, TBrushStyle hatch)
      : rb_(bmp.Bits(), static_cast<unsigned>(bmp.Width()), static_cast<unsigned>(bmp.Height()),
            static_cast<int>(bmp.RowBytes())),
        pf_(rb_),
        fore_(fore),
        back_(back),
        hatch_(hatch) {}
  void Run(int x, int y, int len, const agg::int8u* covers) {
    if (hatch_ == bsSolid) {
      pf_.blend_solid_hspan(x, y, static_cast<unsigned>(len), fore_, covers);
      return;
    }
    for (int i = 0; i < len; ++i)
      pf_.blend_pixel(x + i, y, HatchBit(hatch_, x + i, y) ? fore_ : back_, covers[i]);
  }

 private:
  agg::rendering_buffer rb_;
  PixFmt pf_;
  agg::rgba8 fore_, back_;
  TBrushStyle hatch_;
};

// 32-bit rows (bgrx) blended a pixel at a time as three-byte pixels, with
// AGG's own blender: its 32-bit rgb format steps between pixels past the end
// of its three-byte pixel type, which sanitizers report as undefined.
class TBgrx32 {
 public:
  explicit TBgrx32(agg::rendering_buffer& rb) : rb_(rb) {}
  void blend_solid_hspan(int x, int y, unsigned len, const agg::rgba8& c, const agg::int8u* covers) {
    for (unsigned i = 0; i < len; ++i) blend_pixel(x + static_cast<int>(i), y, c, covers[i]);
  }
  void blend_pixel(int x, int y, const agg::rgba8& c, agg::int8u cover) {
    agg::rendering_buffer one(rb_.row_ptr(y) + 4 * static_cast<std::ptrdiff_t>(x), 1, 1, 3);
    agg::pixfmt_bgr24 pf(one);
    pf.blend_pixel(0, 0, c, cover);
  }

 private:
  agg::rendering_buffer& rb_;
};

// Palette and 16-bit formats: the colour where coverage times alpha reaches
// one half, nothing elsewhere.
class ThresholdBlender {
 public:
  ThresholdBlender(TBitmap& bmp, TColor fore, int foreAlpha, TColor back, int backAlpha, TBrushStyle hatch)
      : bmp_(bmp),
        rawFore_(RawPixelValue(bmp, fore)),
        rawBack_(RawPixelValue(bmp, back)),
        foreAlpha_(Alpha(foreAlpha)),
        backAlpha_(Alpha(backAlpha)),
        hatch_(hatch) {}
  void Run(int x, int y, int len, const agg::int8u* covers) {
    std::uint8_t* row = bmp_.ScanLine(y);
    for (int i = 0; i < len; ++i) {
      bool fore = hatch_ == bsSolid || HatchBit(hatch_, x + i, y);
      int a = fore ? foreAlpha_ : backAlpha_;
      if (covers[i] * a >= 128 * 255) WriteRaw(row, x + i, bmp_.BitCount(), fore ? rawFore_ : rawBack_);
    }
  }

 private:
  TBitmap& bmp_;
  std::uint32_t rawFore_, rawBack_;
  int foreAlpha_, backAlpha_;
  TBrushStyle hatch_;
};

// An 8-bit grey ramp: its bytes are levels, blended towards the colour's
// level by coverage times alpha.
class GreyBlender {
 public:
  GreyBlender(TBitmap& bmp, TColor fore, int foreAlpha, TColor back, int backAlpha, TBrushStyle hatch)
      : bmp_(bmp),
        fore_(static_cast<int>(RawPixelValue(bmp, fore))),
        back_(static_cast<int>(RawPixelValue(bmp, back))),
        foreAlpha_(Alpha(foreAlpha)),
        backAlpha_(Alpha(backAlpha)),
        hatch_(hatch) {}
  void Run(int x, int y, int len, const agg::int8u* covers) {
    std::uint8_t* row = bmp_.ScanLine(y) + x;
    for (int i = 0; i < len; ++i) {
      const bool fore = hatch_ == bsSolid || HatchBit(hatch_, x + i, y);
      const int k = covers[i] * (fore ? foreAlpha_ : backAlpha_);  // up to 255 * 255
      const int d = (fore ? fore_ : back_) - row[i];
      row[i] = static_cast<std::uint8_t>(row[i] + (d * k + (d < 0 ? -32512 : 32512)) / 65025);
    }
  }

 private:
  TBitmap& bmp_;
  int fore_, back_;
  int foreAlpha_, backAlpha_;
  TBrushStyle hatch_;
};
}  // namespace

void TAARenderer::Render(const TAAPath& path, const TAAStroke* stroke, TAAFillRule rule,
                         const TPaint& paint) {
  if (bmp_.Empty() || path.Empty()) return;
  TRect box = bounds_;
  if (clipRect_ && !IntersectRect(box, box, *clipRect_)) return;
  // Never past the bitmap, in device coordinates.
  TRect dev{box.Left + origin_.X, box.Top + origin_.Y, box.Right + origin_.X, box.Bottom + origin_.Y};
  if (!IntersectRect(dev, dev, {0, 0, bmp_.Width(), bmp_.Height()})) return;
  if (!InRasterRange(path, origin_, stroke)) return;

  TAggPath ps = ToAgg(path);
  agg::conv_curve<TAggPath> curve(ps);
  double shift = 0;
  if (stroke && !antiAlias_ && stroke->Width >= 2 && std::fmod(stroke->Width, 2.0) == 0) shift = -0.5;
  agg::trans_affine mtx = agg::trans_affine_translation(origin_.X + shift, origin_.Y + shift);
  const TCellTableGuard cells;
  agg::rasterizer_scanline_aa<> ras;
  if (!antiAlias_) ras.gamma(agg::gamma_threshold(0.5));
  ras.clip_box(dev.Left, dev.Top, dev.Right, dev.Bottom);
  ras.filling_rule(rule == afrEvenOdd ? agg::fill_even_odd : agg::fill_non_zero);
  if (stroke && !stroke->Dashes.empty()) {
    using Dash = agg::conv_dash<agg::conv_curve<TAggPath>>;
    Dash dash(curve);
    for (size_t i = 0; i + 1 < stroke->Dashes.size(); i += 2)
      dash.add_dash(std::max(stroke->Dashes[i], 0.0), std::max(stroke->Dashes[i + 1], 0.0));
    if (stroke->Dashes.size() % 2) dash.add_dash(std::max(stroke->Dashes.back(), 0.0), 0.0);
    dash.dash_start(stroke->DashOffset);
    agg::conv_stroke<Dash> st(dash);
    SetStroke(st, *stroke);
    agg::conv_transform<agg::conv_stroke<Dash>> t(st, mtx);
    ras.add_path(t);
  } else if (stroke) {
    agg::conv_stroke<agg::conv_curve<TAggPath>> st(curve);
    SetStroke(st, *stroke);
    agg::conv_transform<decltype(st)> t(st, mtx);
    ras.add_path(t);
  } else {
    agg::conv_transform<agg::conv_curve<TAggPath>> t(curve, mtx);
    ras.add_path(t);
  }
  if (!ras.rewind_scanlines()) return;
  if (canvas_) {
    TRect hit;
    if (IntersectRect(hit, dev, {ras.min_x(), ras.min_y(), ras.max_x() + 1, ras.max_y() + 1}))
      canvas_->Changed(
          {hit.Left - origin_.X, hit.Top - origin_.Y, hit.Right - origin_.X, hit.Bottom - origin_.Y});
  }

  auto sweep = [&](auto& blender) {
    agg::scanline_u8 sl;
    sl.reset(ras.min_x(), ras.max_x());
    while (ras.sweep_scanline(sl)) {
      int y = sl.y();
      unsigned n = sl.num_spans();
      auto span = sl.begin();
      const std::vector<TSpan>* clip = nullptr;
      if (region_) {
        clip = region_->SpansAt(y - origin_.Y);
        if (!clip) continue;
      }
      for (; n--; ++span) {
        int x0 = span->x, x1 = span->x + span->len;
        if (!clip) {
          blender.Run(x0, y, x1 - x0, span->covers);
          continue;
        }
        for (const TSpan& s : *clip) {
          int a = std::max(x0, s.X0 + origin_.X), b = std::min(x1, s.X1 + origin_.X);
          if (a < b) blender.Run(a, y, b - a, span->covers + (a - x0));
        }
      }
    }
  };
  switch (bmp_.BitCount()) {
    case 24: {
      Blender<agg::pixfmt_bgr24> b(bmp_, Rgba(paint.fore, paint.foreAlpha), Rgba(paint.back, paint.backAlpha),
                                   paint.hatch);
      sweep(b);
      break;
    }
    case 32: {
      // bgrx: the fourth byte is left as it was.
      Blender<TBgrx32> b(bmp_, Rgba(paint.fore, paint.foreAlpha), Rgba(paint.back, paint.backAlpha),
                         paint.hatch);
      sweep(b);
      break;
    }
    default: {
      if (bmp_.IsGreyRamp()) {
        GreyBlender b(bmp_, paint.fore, paint.foreAlpha, paint.back, paint.backAlpha, paint.hatch);
        sweep(b);
        break;
      }
      ThresholdBlender b(bmp_, paint.fore, paint.foreAlpha, paint.back, paint.backAlpha, paint.hatch);
      sweep(b);
      break;
    }
  }
}

}  // namespace redozir
