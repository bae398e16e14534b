// Copying and stretching bitmaps onto a canvas with raster operations, the
// clip-region calls and DrawEdge.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "platform/canvas.h"
#include "platform/numeric.h"
#include "platform/pixel_writer.h"

namespace redozir {

namespace {
struct Tap {
  int idx;
  double w;
};

// For each destination index, the source indices and weights that make it:
// the nearest pixel, the covered area when shrinking, or the two neighbours
// when enlarging. Indices outside [0, srcLimit) are dropped.
// Only the destination indices [from, to) are worked out.
std::vector<std::vector<Tap>> AxisTaps(int dstLen, int from, int to, int srcStart, int srcLen, int srcLimit,
                                       bool halftone, bool flip) {
  std::vector<std::vector<Tap>> taps(static_cast<size_t>(to - from));
  for (int i = from; i < to; ++i) {
    int k = flip ? dstLen - 1 - i : i;
    std::vector<Tap>& t = taps[static_cast<size_t>(i - from)];
    if (!halftone || srcLen == dstLen) {
      long long s = (static_cast<long long>(2 * k + 1) * srcLen) / (2LL * dstLen);
      t.push_back({static_cast<int>(srcStart + s), 1.0});
    } else if (dstLen < srcLen) {
      double a = double(k) * srcLen / dstLen, b = double(k + 1) * srcLen / dstLen;
      // Only source pixels inside the bitmap are visited.
      int s0 = std::max(static_cast<int>(std::floor(a)), -srcStart);
      double end = std::min<double>(b, double(srcLimit) - srcStart);
      for (int s = s0; s < end; ++s) {
        double w = std::min<double>(b, s + 1) - std::max<double>(a, s);
        if (w > 0) t.push_back({srcStart + s, w});
      }
    } else {
      double p = (k + 0.5) * srcLen / dstLen - 0.5;
      p = std::clamp(p, 0.0, double(srcLen - 1));
      int s0 = static_cast<int>(std::floor(p));
      double f = p - s0;
      t.push_back({srcStart + s0, 1.0 - f});
      if (f > 0 && s0 + 1 < srcLen) t.push_back({srcStart + s0 + 1, f});
    }
    std::erase_if(t, [&](const Tap& q) { return q.idx < 0 || q.idx >= srcLimit || q.w <= 0; });
    double sum = 0;
    for (const Tap& q : t) sum += q.w;
    for (Tap& q : t) q.w /= sum;
  }
  return taps;
}

std::uint32_t Rop3(std::uint32_t rop, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
  unsigned code = (rop >> 16) & 0xFF;
  std::uint32_t r = 0;
  for (unsigned i = 0; i < 8; ++i) {
    if (!(code & (1u << i))) continue;
    std::uint32_t m = ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    r |= m;
  }
  return r;
}

bool UsesSource(std::uint32_t rop) {
  unsigned c = (rop >> 16) & 0xFF;
  return ((c >> 2) & 0x33) != (c & 0x33);
}

std::uint32_t MaskOf(const TBitmap& b) {
  switch (b.PixelFormat()) {
    case pf15bit: return 0x7FFF;
    case pf16bit: return 0xFFFF;
    case pf24bit:
    case pf32bit: return 0xFFFFFF;
    default: return (1u << b.BitCount()) - 1;
  }
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  return a.PixelFormat() == b.PixelFormat() && (a.BitCount() > 8 || a.Palette() == b.Palette());
}

// Remembers the last colour's raw value: palette lookups are slow and runs
// of one colour are common.
class RawCache {
 public:
  explicit RawCache(const TBitmap& b) : b_(b) {}
  std::uint32_t operator()(TColor c) {
    if (c != last_) {
      last_ = c;
      raw_ = RawPixelValue(b_, c);
    }
    return raw_;
  }

 private:
  const TBitmap& b_;
  TColor last_ = -1;
  std::uint32_t raw_ = 0;
};

bool StretchWithMode(TCanvas* dc, int x, int y, int w, int h, const TBitmap& src, int sx, int sy, int sw,
                     int sh, std::uint32_t rop, int mode) {
  if (!dc || w == 0 || h == 0) return false;
  constexpr int kMaxExtent = 0x7FFFFFF;
  for (int v : {x, y, w, h, sx, sy, sw, sh})
    if (v < -kMaxExtent || v > kMaxExtent) return false;
  TBitmap& dst = *dc->Bitmap();
  if (dst.Empty()) return true;
  bool useSrc = UsesSource(rop);
  if (useSrc && (sw == 0 || sh == 0 || src.Empty())) return false;
  // Negative extents mirror: the rectangle runs from the given corner back.
  bool flipX = false, flipY = false;
  auto unmirror = [](int& pos, int& len, bool& flip) {
    if (len >= 0) return;
    pos += len + 1;
    len = -len;
    flip = !flip;
  };
  unmirror(x, w, flipX);
  unmirror(y, h, flipY);
  unmirror(sx, sw, flipX);
  unmirror(sy, sh, flipY);
  TRect vis;
  if (!IntersectRect(vis, dc->ClipRect(), {x, y, x + w, y + h})) return true;
  bool halftone = mode == HALFTONE;
  std::vector<std::vector<Tap>> tx, ty;
  if (useSrc) {
    tx = AxisTaps(w, vis.Left - x, vis.Right - x, sx, sw, src.Width(), halftone, flipX);
    ty = AxisTaps(h, vis.Top - y, vis.Bottom - y, sy, sh, src.Height(), halftone, flipY);
  }
  const TRegion* clip = dc->ClipRegion() ? &*dc->ClipRegion() : nullptr;
  int dbits = dst.BitCount(), sbits = src.BitCount();
  std::uint32_t mask = MaskOf(dst);
  bool rawCopy = useSrc && SamePixels(dst, src) && !halftone && !flipX && !flipY && sw == w && sh == h;
  RawCache raw(dst);
  std::uint32_t brushRaw = RawPixelValue(dst, dc->Brush.Color);
  std::uint32_t bkRaw = RawPixelValue(dst, clWhite);
  bool hatch = dc->Brush.Style != bsSolid && dc->Brush.Style != bsClear;
  std::vector<TSpan> whole{{vis.Left, vis.Right}};
  for (int yy = vis.Top; yy < vis.Bottom; ++yy) {
    const std::vector<Tap>* rowTaps = useSrc ? &ty[static_cast<size_t>(yy - vis.Top)] : nullptr;
    if (rowTaps && rowTaps->empty()) continue;
    const std::vector<TSpan>* spans = &whole;
    if (clip) {
      spans = clip->SpansAt(yy);
      if (!spans) continue;
    }
    std::uint8_t* drow = dst.ScanLine(yy + dc->Origin().Y);
    for (const TSpan& sp : *spans) {
      int x0 = std::max(sp.X0, vis.Left), x1 = std::min(sp.X1, vis.Right);
      for (int xx = x0; xx < x1; ++xx) {
        int bx = xx + dc->Origin().X;
        std::uint32_t s = 0;
        if (useSrc) {
          const std::vector<Tap>& colTaps = tx[static_cast<size_t>(xx - vis.Left)];
          if (colTaps.empty()) continue;
          if (rawCopy) {
            s = ReadRaw(src.ScanLine(rowTaps->front().idx), colTaps.front().idx, sbits);
          } else if (colTaps.size() == 1 && rowTaps->size() == 1) {
            s = raw(src.GetPixel(colTaps.front().idx, rowTaps->front().idx));
          } else {
            double r = 0, g = 0, b = 0;
            for (const Tap& ry : *rowTaps)
              for (const Tap& rx : colTaps) {
                TColor c = src.GetPixel(rx.idx, ry.idx);
                double wgt = ry.w * rx.w;
                r += GetRValue(c) * wgt;
                g += GetGValue(c) * wgt;
                b += GetBValue(c) * wgt;
              }
            s = raw(RGB(RoundClamp(r, 0, 255), RoundClamp(g, 0, 255), RoundClamp(b, 0, 255)));
          }
        }
        if (rop == SRCCOPY) {
          WriteRaw(drow, bx, dbits, s);
          continue;
        }
        std::uint32_t p = hatch && !HatchBit(dc->Brush.Style, xx, yy) ? bkRaw : brushRaw;
        std::uint32_t d = ReadRaw(drow, bx, dbits);
        WriteRaw(drow, bx, dbits, Rop3(rop, p, s, d) & mask);
      }
    }
  }
  return true;
}

}  // namespace

bool StretchBitmap(TCanvas* dc, int x, int y, int w, int h, const TBitmap& src, int sx, int sy, int sw,
                   int sh, std::uint32_t rop) {
  return dc && StretchWithMode(dc, x, y, w, h, src, sx, sy, sw, sh, rop, dc->StretchMode);
}

bool StretchBlt(TCanvas* dst, int x, int y, int w, int h, TCanvas* src, int sx, int sy, int sw, int sh,
                std::uint32_t rop) {
  if (!dst || (UsesSource(rop) && !src)) return false;
  if (!src) return StretchWithMode(dst, x, y, w, h, TBitmap(), 0, 0, sw, sh, rop, COLORONCOLOR);
  // Canvases on one bitmap may overlap: read from a snapshot.
  TBitmap copy;
  if (src->Bitmap() == dst->Bitmap()) copy.Assign(*src->Bitmap());
  const TBitmap& from = src->Bitmap() == dst->Bitmap() ? copy : *src->Bitmap();
  return StretchWithMode(dst, x, y, w, h, from, sx + src->Origin().X, sy + src->Origin().Y, sw, sh, rop,
                         dst->StretchMode);
}

bool BitBlt(TCanvas* dst, int x, int y, int w, int h, TCanvas* src, int sx, int sy, std::uint32_t rop) {
  if (!dst || w < 0 || h < 0) return false;
  if (w == 0 || h == 0) return true;
  if (!UsesSource(rop)) return PatBlt(dst, x, y, w, h, rop);
  if (!src) return false;
  TBitmap copy;
  if (src->Bitmap() == dst->Bitmap()) copy.Assign(*src->Bitmap());
  const TBitmap& from = src->Bitmap() == dst->Bitmap() ? copy : *src->Bitmap();
  return StretchWithMode(dst, x, y, w, h, from, sx + src->Origin().X, sy + src->Origin().Y, w, h, rop,
                         COLORONCOLOR);
}

bool PatBlt(TCanvas* dst, int x, int y, int w, int h, std::uint32_t rop) {
  if (!dst || UsesSource(rop)) return false;
  return StretchWithMode(dst, x, y, w, h, TBitmap(), 0, 0, 0, 0, rop, COLORONCOLOR);
}

void TCanvas::Draw(int x, int y, const TBitmap& bmp) {
  if (bmp.Empty()) return;
  // Drawing a canvas's own bitmap into it reads from a snapshot.
  TBitmap copy;
  if (&bmp == bitmap_) copy.Assign(bmp);
  StretchWithMode(this, x, y, bmp.Width(), bmp.Height(), &bmp == bitmap_ ? copy : bmp, 0, 0, bmp.Width(),
                  bmp.Height(), CopyMode, COLORONCOLOR);
}

void TCanvas::StretchDraw(const TRect& r, const TBitmap& bmp) {
  if (bmp.Empty()) return;
  TBitmap copy;
  if (&bmp == bitmap_) copy.Assign(bmp);
  StretchBitmap(this, r.Left, r.Top, r.Width(), r.Height(), &bmp == bitmap_ ? copy : bmp, 0, 0, bmp.Width(),
                bmp.Height(), CopyMode);
}

void TCanvas::CopyRect(const TRect& d, TCanvas& src, const TRect& s) {
  // A copy within one canvas may overlap itself: read from a snapshot.
  TBitmap copy;
  if (src.Bitmap() == bitmap_) copy.Assign(*bitmap_);
  const TBitmap& from = src.Bitmap() == bitmap_ ? copy : *src.Bitmap();
  StretchBitmap(this, d.Left, d.Top, d.Width(), d.Height(), from, s.Left + src.Origin().X,
                s.Top + src.Origin().Y, s.Width(), s.Height(), CopyMode);
}

int SetStretchBltMode(TCanvas* c, int mode) {
  if (!c || mode < BLACKONWHITE || mode > HALFTONE) return 0;
  int old = c->StretchMode;
  c->StretchMode = mode;
  return old;
}

int GetStretchBltMode(TCanvas* c) { return c ? c->StretchMode : 0; }

unsigned SetTextAlign(TCanvas* c, unsigned align) {
  if (!c) return 0xFFFFFFFF;
  unsigned old = c->TextAlign;
  c->TextAlign = align;
  return old;
}

int SetPolyFillMode(TCanvas* c, int mode) {
  if (!c || (mode != ALTERNATE && mode != WINDING)) return 0;
  int old = c->PolyFillMode;
  c->PolyFillMode = static_cast<TPolyFillMode>(mode);
  return old;
}

int SelectClipRgn(TCanvas* c, HRGN rgn) {
  if (!c) return ERROR;
  c->SetClipRegion(rgn);
  return c->ClipRegion() ? c->ClipRegion()->Kind() : SIMPLEREGION;
}

namespace {
TRegion CurrentClip(TCanvas* c) {
  if (c->ClipRegion()) return *c->ClipRegion();
  return TRegion::FromRect(c->VisibleBounds());
}
}  // namespace

int ExcludeClipRect(TCanvas* c, int l, int t, int r, int b) {
  if (!c) return ERROR;
  TRegion n = TRegion::Combine(CurrentClip(c), TRegion::FromRect({l, t, r, b}), RGN_DIFF);
  c->SetClipRegion(&n);
  return n.Kind();
}

int IntersectClipRect(TCanvas* c, int l, int t, int r, int b) {
  if (!c) return ERROR;
  TRegion n = TRegion::Combine(CurrentClip(c), TRegion::FromRect({l, t, r, b}), RGN_AND);
  c->SetClipRegion(&n);
  return n.Kind();
}

int GetClipBox(TCanvas* c, TRect& box) {
  if (!c) return ERROR;
  box = c->ClipRect();
  if (!c->ClipRegion()) return box.IsEmpty() ? NULLREGION : SIMPLEREGION;
  return c->ClipRegion()->Kind();
}

bool DrawEdge(TCanvas* c, TRect& r, unsigned edge, unsigned flags) {
  if (!c) return false;
  // Top-left and bottom-right colours of the outer and inner edges.
  struct Pair {
    TColor tl, br;
  };
  auto outer = [&]() -> std::optional<Pair> {
    if (edge & BDR_SUNKENOUTER) return Pair{clBtnShadow, clBtnHighlight};
    if (edge & BDR_RAISEDOUTER) return Pair{cl3DLight, cl3DDkShadow};
    return std::nullopt;
  }();
  auto inner = [&]() -> std::optional<Pair> {
    if (edge & BDR_SUNKENINNER) return Pair{cl3DDkShadow, cl3DLight};
    if (edge & BDR_RAISEDINNER) return Pair{clBtnHighlight, clBtnShadow};
    return std::nullopt;
  }();
  if (flags & BF_MONO) {
    if (outer) outer = Pair{clWindowFrame, clWindowFrame};
    if (inner) inner = Pair{clWindow, clWindow};
  } else if (flags & BF_FLAT) {
    if (outer) outer = Pair{clBtnShadow, clBtnShadow};
    if (inner) inner = Pair{clBtnFace, clBtnFace};
  }
  TRect q = r;
  TBrush saved = c->Brush;
  auto side = [&](const TRect& s, TColor col) {
    c->Brush.Style = bsSolid;
    c->Brush.Color = col;
    c->FillRect(s);
  };
  for (const auto& p : {outer, inner}) {
    if (!p || q.IsEmpty()) continue;
    if (flags & BF_LEFT) side({q.Left, q.Top, q.Left + 1, q.Bottom}, p->tl);
    if (flags & BF_TOP) side({q.Left, q.Top, q.Right, q.Top + 1}, p->tl);
    if (flags & BF_RIGHT) side({q.Right - 1, q.Top, q.Right, q.Bottom}, p->br);
    if (flags & BF_BOTTOM) side({q.Left, q.Bottom - 1, q.Right, q.Bottom}, p->br);
    // Drawn last, the bottom-right colour owns the bottom-left and top-right
    // corner pixels, as the platform draws them.
    if (flags & BF_LEFT) ++q.Left;
    if (flags & BF_TOP) ++q.Top;
    if (flags & BF_RIGHT) --q.Right;
    if (flags & BF_BOTTOM) --q.Bottom;
  }
  if ((flags & BF_MIDDLE) && !q.IsEmpty()) side(q, clBtnFace);
  c->Brush = saved;
  if (flags & BF_ADJUST) r = q;
  return true;
}

}  // namespace redozir
