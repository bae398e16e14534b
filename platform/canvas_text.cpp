// The text calls of TCanvas: measuring through the current text measurer,
// drawing glyphs from FreeType with the font's colour, alignment, rotation,
// opaque cells and clipping.
#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/canvas.h"
#include "platform/font.h"
#include "platform/pixel_writer.h"
#include "platform/scan_convert.h"

namespace redozir {

namespace {
// The region text may touch, in canvas coordinates.
TRegion TextClip(const TCanvas& c, const TRect* clipRect) {
  if (!c.ClipRegion()) {
    // Two rectangles meet in one: no region arithmetic for the common case.
    TRect r = c.VisibleBounds();
    if (clipRect && !IntersectRect(r, r, *clipRect)) return {};
    return TRegion::FromRect(r);
  }
  TRegion r = c.ClipRegion()
                  ? TRegion::Combine(*c.ClipRegion(), TRegion::FromRect(c.VisibleBounds()), RGN_AND)
                  : TRegion::FromRect(c.VisibleBounds());
  if (clipRect) r = TRegion::Combine(r, TRegion::FromRect(*clipRect), RGN_AND);
  return r;
}

// A rectangle along the base line, from `from` to `to` pixels of advance and
// from `top` to `bottom` pixels below it, turned by the escapement.
TPolyPolygon BaselineBox(double ox, double oy, double ux, double uy, double from, double to, double top,
                         double bottom) {
  // u runs along the base line, v = (-uy, ux) turned a quarter clockwise
  // on screen, that is downwards for unrotated text.
  double vx = -uy, vy = ux;
  auto p = [&](double a, double b) { return TPointD{ox + a * ux + b * vx, oy + a * uy + b * vy}; };
  return {{p(from, top), p(to, top), p(to, bottom), p(from, bottom)}};
}

bool Whole(double d) { return d == std::floor(d) && std::abs(d) < 1e9; }

// A box of unrotated text on whole pixels covers the pixels whose centres it
// holds: its own rectangle, without scan conversion.
void FillRect(TCanvas& c, const TRegion& clip, double x0, double y0, double x1, double y1, TColor color) {
  TRect v = c.VisibleBounds();
  TPixelWriter w(*c.Bitmap(), &clip, v, c.Origin(), &c);
  w.SetSolid(color);
  TRect r = Rect(static_cast<int>(std::min(x0, x1)), static_cast<int>(std::min(y0, y1)),
                 static_cast<int>(std::max(x0, x1)), static_cast<int>(std::max(y0, y1)));
  if (IntersectRect(r, r, v))
    for (int y = r.Top; y < r.Bottom; ++y) w.Span(y, r.Left, r.Right);
}

void FillPolys(TCanvas& c, const TRegion& clip, const TPolyPolygon& polys, TColor color) {
  const auto& p = polys.front();
  if (polys.size() == 1 && p.size() == 4 && p[0].Y == p[1].Y && p[1].X == p[2].X && p[2].Y == p[3].Y &&
      p[3].X == p[0].X && Whole(p[0].X) && Whole(p[0].Y) && Whole(p[2].X) && Whole(p[2].Y))
    return FillRect(c, clip, p[0].X, p[0].Y, p[2].X, p[2].Y, color);
  TRect v = c.VisibleBounds();
  TPixelWriter w(*c.Bitmap(), &clip, v, c.Origin(), &c);
  w.SetSolid(color);
  TRegionBuilder area;
  ScanConvert(polys, true, {v.Left, v.Top, v.Right, v.Bottom}, std::ref(area));
  w.Region(area.Finish());
}

// FillPolys of a BaselineBox; unrotated, without building the polygon (a
// character at a time, text fills many small boxes).
void FillBox(TCanvas& c, const TRegion& clip, double ox, double oy, double ux, double uy, double from,
             double to, double top, double bottom, TColor color) {
  if (ux == 1 && uy == 0 && Whole(ox + from) && Whole(oy + top) && Whole(ox + to) && Whole(oy + bottom))
    return FillRect(c, clip, ox + from, oy + top, ox + to, oy + bottom, color);
  FillPolys(c, clip, BaselineBox(ox, oy, ux, uy, from, to, top, bottom), color);
}

// Blends a glyph's coverage at (left, top) in canvas coordinates: 24- and
// 32-bit pixels and the levels of an 8-bit grey ramp mix with the colour,
// the other formats take it where the coverage reaches one half.
void BlendGlyph(TCanvas& c, const TRegion& clip, const TGlyphImage& g, int left, int top, TColor color) {
  TBitmap& bmp = *c.Bitmap();
  int bits = bmp.BitCount();
  bool blend = bits == 24 || bits == 32;
  const bool grey = bmp.IsGreyRamp();
  std::uint32_t raw = RawPixelValue(bmp, color);
  int cr = GetRValue(color), cg = GetGValue(color), cb = GetBValue(color);
  TPoint o = c.Origin();
  c.Changed({left, top, left + g.Width, top + g.Rows});
  for (int gy = 0; gy < g.Rows; ++gy) {
    int y = top + gy;
    const std::vector<TSpan>* spans = clip.SpansAt(y);
    if (!spans) continue;
    std::uint8_t* row = bmp.ScanLine(y + o.Y);
    const std::uint8_t* cov = g.Coverage.data() + static_cast<size_t>(gy) * g.Width;
    for (const TSpan& s : *spans) {
      int x0 = std::max(s.X0, left), x1 = std::min(s.X1, left + g.Width);
      for (int x = x0; x < x1; ++x) {
        unsigned a = cov[x - left];
        if (a == 0) continue;
        int bx = x + o.X;
        auto mix = [a](std::uint8_t d, int s) {
          return static_cast<std::uint8_t>((d * (255 - a) + s * a + 127) / 255);
        };
        if (grey) {
          row[bx] = mix(row[bx], static_cast<int>(raw));
          continue;
        }
        if (!blend) {
          if (a >= 128) WriteRaw(row, bx, bits, raw);
          continue;
        }
        std::uint8_t* p = row + static_cast<std::ptrdiff_t>(bx) * (bits / 8);
        p[0] = mix(p[0], cb);
        p[1] = mix(p[1], cg);
        p[2] = mix(p[2], cr);
      }
    }
  }
}

void DrawTextLine(TCanvas& c, int x, int y, unsigned options, const TRect* rect, const std::u32string& text) {
  if (c.Bitmap()->Empty()) return;
  TRegion clip = TextClip(c, (options & ETO_CLIPPED) ? rect : nullptr);
  if ((options & ETO_OPAQUE) && rect) {
    TPixelWriter w(*c.Bitmap(), &clip, c.VisibleBounds(), c.Origin(), &c);
    w.SetSolid(c.Brush.Color);
    w.Region(TRegion::FromRect(*rect));
  }
  auto inst = GetFontInstance(c.Font);
  if (!inst || text.empty()) return;
  TTextMetric tm = inst->Metrics();
  long long width = 0;
  for (char32_t ch : text) width += inst->Advance(ch);
  bool updateCP = c.TextAlign & TA_UPDATECP;
  if (updateCP) {
    x = c.PenPos.X;
    y = c.PenPos.Y;
  }
  double angle = c.Font.Escapement / 10.0 * 3.14159265358979323846 / 180.0;
  double ux = std::cos(angle), uy = -std::sin(angle);
  if (c.Font.Escapement % 3600 == 0) ux = 1, uy = 0;
  double dx = 0, dy = 0;
  switch (c.TextAlign & TA_CENTER) {
    case TA_RIGHT: dx = -double(width); break;
    case TA_CENTER: dx = -double(width / 2); break;
    default: break;
  }
  switch (c.TextAlign & TA_BASELINE) {
    case TA_BASELINE: break;
    case TA_BOTTOM: dy = -tm.tmDescent; break;
    default: dy = tm.tmAscent; break;
  }
  // The base line's origin: along u by dx, and down (v = (-uy, ux)) by dy.
  double ox = x + dx * ux - dy * uy, oy = y + dx * uy + dy * ux;
  if (c.Brush.Style != bsClear)
    FillBox(c, clip, ox, oy, ux, uy, 0, double(width), -tm.tmAscent, tm.tmDescent, c.Brush.Color);
  TColor color = ColorToRGB(c.Font.Color);
  // Glyphs are placed in double: an origin near either end of the int range
  // is legal, and only glyphs that reach the visible area are drawn.
  const TRect v = c.VisibleBounds();
  double px = ox, py = oy;
  for (char32_t ch : text) {
    const TGlyphImage& g = inst->Glyph(ch);
    const double left = std::round(px) + g.Left, top = std::round(py) - g.Top;
    if (g.Width > 0 && g.Rows > 0 && left < v.Right && left + g.Width > v.Left && top < v.Bottom &&
        top + g.Rows > v.Top)
      BlendGlyph(c, clip, g, static_cast<int>(left), static_cast<int>(top), color);
    px += g.AdvanceX;
    py += g.AdvanceY;
  }
  int off, thick;
  if (c.Font.Style & fsUnderline) {
    inst->UnderlineMetrics(off, thick);
    FillBox(c, clip, ox, oy, ux, uy, 0, double(width), off, off + thick, color);
  }
  if (c.Font.Style & fsStrikeOut) {
    inst->StrikeOutMetrics(off, thick);
    FillBox(c, clip, ox, oy, ux, uy, 0, double(width), off, off + thick, color);
  }
  if (updateCP && (c.TextAlign & TA_CENTER) == TA_LEFT)
    c.PenPos.X = static_cast<int>(std::min<long long>(x + width, std::numeric_limits<int>::max()));
}
}  // namespace

void TCanvas::TextOut(int x, int y, const std::string& text) {
  DrawTextLine(*this, x, y, TextFlags & ~(ETO_OPAQUE | ETO_CLIPPED), nullptr,
               CharsetToUnicode(text, Font.Charset));
}

void TCanvas::TextOutW(int x, int y, const std::u16string& text) {
  DrawTextLine(*this, x, y, TextFlags & ~(ETO_OPAQUE | ETO_CLIPPED), nullptr, Utf16ToUnicode(text));
}

void TCanvas::TextRect(const TRect& r, int x, int y, const std::string& text) {
  unsigned options = ETO_CLIPPED | TextFlags | (Brush.Style != bsClear ? ETO_OPAQUE : 0);
  DrawTextLine(*this, x, y, options, &r, CharsetToUnicode(text, Font.Charset));
}

void TCanvas::TextRectW(const TRect& r, int x, int y, const std::u16string& text) {
  unsigned options = ETO_CLIPPED | TextFlags | (Brush.Style != bsClear ? ETO_OPAQUE : 0);
  DrawTextLine(*this, x, y, options, &r, Utf16ToUnicode(text));
}

void TCanvas::ExtTextOutW(int x, int y, unsigned options, const TRect* rect, const std::u16string& text) {
  DrawTextLine(*this, x, y, options, rect, Utf16ToUnicode(text));
}

TSize TCanvas::TextExtent(const std::string& text) {
  return CurrentTextMeasurer().Extent(Font, CharsetToUnicode(text, Font.Charset));
}

TSize TCanvas::TextExtentW(const std::u16string& text) {
  return CurrentTextMeasurer().Extent(Font, Utf16ToUnicode(text));
}

int TCanvas::TextWidth(const std::string& text) { return TextExtent(text).cx; }
int TCanvas::TextHeight(const std::string& text) { return TextExtent(text).cy; }
TTextMetric TCanvas::GetTextMetrics() { return CurrentTextMeasurer().Metrics(Font); }

}  // namespace redozir
