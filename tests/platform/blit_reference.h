// The blits as they were drawn before the row paths: pixel by pixel, with
// every tap worked out per row and column. The row paths must give the same
// bytes; the tests draw through both and compare.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/canvas.h"
#include "platform/numeric.h"
#include "platform/pixel_writer.h"

namespace redozir::blit_reference {
struct Tap {
  int idx;
  double w;
};

// For each destination index, the source indices and weights that make it:
// the nearest pixel, the covered area when shrinking, or the two neighbours
// when enlarging. Indices outside [0, srcLimit) are dropped.
// Only the destination indices [from, to) are worked out.
inline std::vector<std::vector<Tap>> AxisTaps(int dstLen, int from, int to, int srcStart, int srcLen,
                                              int srcLimit, bool halftone, bool flip) {
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

inline std::uint32_t Rop3(std::uint32_t rop, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
  unsigned code = (rop >> 16) & 0xFF;
  std::uint32_t r = 0;
  for (unsigned i = 0; i < 8; ++i) {
    if (!(code & (1u << i))) continue;
    std::uint32_t m = ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    r |= m;
  }
  return r;
}

inline bool UsesSource(std::uint32_t rop) {
  unsigned c = (rop >> 16) & 0xFF;
  return ((c >> 2) & 0x33) != (c & 0x33);
}

inline std::uint32_t MaskOf(const TBitmap& b) {
  switch (b.PixelFormat()) {
    case pf15bit: return 0x7FFF;
    case pf16bit: return 0xFFFF;
    case pf24bit:
    case pf32bit: return 0xFFFFFF;
    default: return (1u << b.BitCount()) - 1;
  }
}

inline bool SamePixels(const TBitmap& a, const TBitmap& b) {
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

inline bool StretchWithMode(TCanvas* dc, int x, int y, int w, int h, const TBitmap& src, int sx, int sy,
                            int sw, int sh, std::uint32_t rop, int mode) {
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

}  // namespace redozir::blit_reference
