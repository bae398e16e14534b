// Copying and stretching bitmaps onto a canvas with raster operations, the
// clip-region calls and DrawEdge. Copies run by rows: same-format rows are
// moved whole, 24- and 32-bit rows are converted a row at a time, stretches
// read through column tables made once per call; only what is left (palette
// conversions, halftone areas, raster operations) goes pixel by pixel.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "platform/blit_rows.h"
#include "platform/canvas.h"
#include "platform/numeric.h"
#include "platform/pixel_writer.h"

namespace redozir {

namespace {
struct Tap {
  int idx;
  double w;
};

// For each destination index of one axis, the source indices and weights that
// make it, all in one array: the taps of index i are Taps[Start[i] ..
// Start[i + 1]).
struct TAxis {
  std::vector<int> Start;
  std::vector<Tap> Taps;
  int Count(int i) const { return Start[static_cast<size_t>(i) + 1] - Start[static_cast<size_t>(i)]; }
  const Tap* First(int i) const { return Taps.data() + Start[static_cast<size_t>(i)]; }
  // The one source index of a nearest-pixel axis (-1 for none).
  int Source(int i) const { return Count(i) ? First(i)->idx : -1; }
};

// The taps: the nearest pixel, the covered area when shrinking, or the two
// neighbours when enlarging. Indices outside [0, srcLimit) are dropped.
// Only the destination indices [from, to) are worked out.
TAxis AxisTaps(int dstLen, int from, int to, int srcStart, int srcLen, int srcLimit, bool halftone,
               bool flip) {
  TAxis a;
  a.Start.reserve(static_cast<size_t>(to - from) + 1);
  a.Taps.reserve(static_cast<size_t>(to - from));
  for (int i = from; i < to; ++i) {
    a.Start.push_back(static_cast<int>(a.Taps.size()));
    size_t first = a.Taps.size();
    int k = flip ? dstLen - 1 - i : i;
    if (!halftone || srcLen == dstLen) {
      long long s = (static_cast<long long>(2 * k + 1) * srcLen) / (2LL * dstLen);
      a.Taps.push_back({static_cast<int>(srcStart + s), 1.0});
    } else if (dstLen < srcLen) {
      double lo = double(k) * srcLen / dstLen, hi = double(k + 1) * srcLen / dstLen;
      // Only source pixels inside the bitmap are visited.
      int s0 = std::max(static_cast<int>(std::floor(lo)), -srcStart);
      double end = std::min<double>(hi, double(srcLimit) - srcStart);
      for (int s = s0; s < end; ++s) {
        double w = std::min<double>(hi, s + 1) - std::max<double>(lo, s);
        if (w > 0) a.Taps.push_back({srcStart + s, w});
      }
    } else {
      double p = (k + 0.5) * srcLen / dstLen - 0.5;
      p = std::clamp(p, 0.0, double(srcLen - 1));
      int s0 = static_cast<int>(std::floor(p));
      double f = p - s0;
      a.Taps.push_back({srcStart + s0, 1.0 - f});
      if (f > 0 && s0 + 1 < srcLen) a.Taps.push_back({srcStart + s0 + 1, f});
    }
    auto dropped = std::remove_if(a.Taps.begin() + static_cast<std::ptrdiff_t>(first), a.Taps.end(),
                                  [&](const Tap& q) { return q.idx < 0 || q.idx >= srcLimit || q.w <= 0; });
    a.Taps.erase(dropped, a.Taps.end());
    double sum = 0;
    for (size_t j = first; j < a.Taps.size(); ++j) sum += a.Taps[j].w;
    for (size_t j = first; j < a.Taps.size(); ++j) a.Taps[j].w /= sum;
  }
  a.Start.push_back(static_cast<int>(a.Taps.size()));
  return a;
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
    // A device or custom bitmap is one of 32 bits: its colour is 24 bits too.
    default: return b.BitCount() >= 24 ? 0xFFFFFFu : (1u << b.BitCount()) - 1;
  }
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  return a.PixelFormat() == b.PixelFormat() && (a.BitCount() > 8 || a.Palette() == b.Palette());
}

bool TrueColour(int bits) { return bits == 24 || bits == 32; }

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

// How one run of a destination row is filled from its source row.
enum TRunKind {
  rkPixels,     // pixel by pixel through colours (or raw values), any raster operation
  rkMove,       // same bytes per pixel, source columns in order: one move
  rkMove32,     // 32 to 32 bits in order, the fourth byte kept
  rk24To32,     // 24 to 32 bits in order
  rk32To24,     // 32 to 24 bits in order
  rkColumns24,  // 24 or 32 bits on both sides through the column table
  rkPalette     // a palette source onto 24 or 32 bits through the column table
};

struct TBlit {
  TBlit(TCanvas* canvas, TBitmap& to, const TBitmap& from) : dc(canvas), dst(to), src(from) {}
  TCanvas* dc;
  TBitmap& dst;
  const TBitmap& src;
  std::uint32_t rop = SRCCOPY;
  bool useSrc = false;
  bool rawCopy = false;
  TRect vis;
  const TAxis* tx = nullptr;
  const TAxis* ty = nullptr;
  // The column table: for each column the byte of its source pixel in its
  // row (rkColumns24) or the pixel (rkPalette); -1 for none.
  const std::ptrdiff_t* colBytes = nullptr;
  TRunKind kind = rkPixels;
  // Destination column x reads source column x + shift (the in-order kinds).
  int shift = 0;
  // Walk the runs right to left (a copy onto itself moving right).
  bool backwards = false;
  int dbits = 0, sbits = 0;
  std::uint32_t mask = 0;
  std::uint32_t brushRaw = 0, bkRaw = 0;
  bool hatch = false;
  // A palette source's raw value in the destination for each index (empty
  // for other sources): the colour of the index, as GetPixel gives it.
  std::vector<std::uint32_t> paletteRaw;
};

// The columns [x0, x1) of a destination row through the column table: put
// (the destination pixel, the column's table entry) for every column read.
template <typename Put>
void ThroughColumns(const TBlit& b, int x0, int x1, std::uint8_t* drow, Put put) {
  int db = b.dbits / 8;
  std::uint8_t* d = drow + static_cast<std::ptrdiff_t>(x0 + b.dc->Origin().X) * db;
  const std::ptrdiff_t* cols = b.colBytes + (x0 - b.vis.Left);
  for (int i = 0; i < x1 - x0; ++i, d += db)
    if (cols[i] >= 0) put(d, cols[i]);
}

// A halftone row of 24- or 32-bit source pixels (HalftoneRow): the rows
// and weights of the row's taps, the column taps as offsets and weights, and
// room for the values of one run.
struct THalftoneRow {
  std::vector<const std::uint8_t*> Rows;
  std::vector<double> RowW;
  const int* ColStart = nullptr;
  std::vector<int> ColByte;
  std::vector<double> ColW;
  std::vector<std::uint32_t> Values;
};

// One run [x0, x1) of canvas row yy, its source row srow (nullptr without
// a source); ht for an area of 24- or 32-bit source pixels.
void Run(const TBlit& b, RawCache& raw, int yy, int x0, int x1, std::uint8_t* drow, int srcY,
         const std::uint8_t* srow, THalftoneRow* ht) {
  int ox = b.dc->Origin().X;
  switch (b.kind) {
    case rkMove: {
      int bytes = b.dbits / 8;
      std::memmove(drow + static_cast<std::ptrdiff_t>(x0 + ox) * bytes,
                   srow + static_cast<std::ptrdiff_t>(x0 + b.shift) * bytes,
                   static_cast<size_t>(x1 - x0) * static_cast<size_t>(bytes));
      return;
    }
    case rkMove32: MoveRow32(drow + (x0 + ox) * 4LL, srow + (x0 + b.shift) * 4LL, x1 - x0); return;
    case rk24To32: Row24To32(drow + (x0 + ox) * 4LL, srow + (x0 + b.shift) * 3LL, x1 - x0); return;
    case rk32To24: Row32To24(drow + (x0 + ox) * 3LL, srow + (x0 + b.shift) * 4LL, x1 - x0); return;
    case rkColumns24:
      ThroughColumns(b, x0, x1, drow, [&](std::uint8_t* d, std::ptrdiff_t c) {
        d[0] = srow[c];
        d[1] = srow[c + 1];
        d[2] = srow[c + 2];
      });
      return;
    case rkPalette:
      ThroughColumns(b, x0, x1, drow, [&](std::uint8_t* d, std::ptrdiff_t c) {
        std::uint32_t v = b.paletteRaw[b.sbits == 8 ? srow[c] : ReadRaw(srow, static_cast<int>(c), b.sbits)];
        d[0] = static_cast<std::uint8_t>(v);
        d[1] = static_cast<std::uint8_t>(v >> 8);
        d[2] = static_cast<std::uint8_t>(v >> 16);
      });
      return;
    case rkPixels: break;
  }
  int rowIndex = yy - b.vis.Top;
  int n = x1 - x0;
  if (ht) {
    HalftoneRow(ht->Rows.data(), ht->RowW.data(), static_cast<int>(ht->Rows.size()),
                ht->ColStart + (x0 - b.vis.Left), ht->ColByte.data(), ht->ColW.data(), n, ht->Values.data());
    if (b.rop == SRCCOPY && TrueColour(b.dbits)) {
      // 0x00RRGGBB is the raw value of 24- and 32-bit pixels.
      int db = b.dbits / 8;
      std::uint8_t* d = drow + static_cast<std::ptrdiff_t>(x0 + ox) * db;
      for (int i = 0; i < n; ++i, d += db) {
        std::uint32_t v = ht->Values[static_cast<size_t>(i)];
        if (v == kNoTaps) continue;
        d[0] = static_cast<std::uint8_t>(v);
        d[1] = static_cast<std::uint8_t>(v >> 8);
        d[2] = static_cast<std::uint8_t>(v >> 16);
      }
      return;
    }
  }
  for (int i = 0; i < n; ++i) {
    int xx = b.backwards ? x1 - 1 - i : x0 + i;
    int bx = xx + ox;
    std::uint32_t s = 0;
    if (b.useSrc) {
      int colIndex = xx - b.vis.Left;
      int cols = b.tx->Count(colIndex);
      if (!cols) continue;
      const Tap* col = b.tx->First(colIndex);
      if (ht) {
        // One tap of weight 1 gives its own bytes, as GetPixel would.
        std::uint32_t v = ht->Values[static_cast<size_t>(xx - x0)];
        s = raw(RGB(v >> 16, (v >> 8) & 0xFF, v & 0xFF));
      } else if (b.rawCopy) {
        s = ReadRaw(srow, col->idx, b.sbits);
      } else if (cols == 1 && b.ty->Count(rowIndex) == 1) {
        s = b.paletteRaw.empty() ? raw(b.src.GetPixel(col->idx, srcY))
                                 : b.paletteRaw[ReadRaw(srow, col->idx, b.sbits)];
      } else {
        double r = 0, g = 0, bl = 0;
        const Tap* rows = b.ty->First(rowIndex);
        for (int j = 0; j < b.ty->Count(rowIndex); ++j)
          for (int k = 0; k < cols; ++k) {
            TColor c = b.src.GetPixel(col[k].idx, rows[j].idx);
            double wgt = rows[j].w * col[k].w;
            r += GetRValue(c) * wgt;
            g += GetGValue(c) * wgt;
            bl += GetBValue(c) * wgt;
          }
        s = raw(RGB(RoundClamp(r, 0, 255), RoundClamp(g, 0, 255), RoundClamp(bl, 0, 255)));
      }
    }
    if (b.rop == SRCCOPY) {
      WriteRaw(drow, bx, b.dbits, s);
      continue;
    }
    std::uint32_t p = b.hatch && !HatchBit(b.dc->Brush.Style, xx, yy) ? b.bkRaw : b.brushRaw;
    std::uint32_t d = ReadRaw(drow, bx, b.dbits);
    WriteRaw(drow, bx, b.dbits, Rop3(b.rop, p, s, d) & b.mask);
  }
}

// The source rows [first, last] of a bitmap, for a stretch of a bitmap onto
// itself: what it reads is kept before it is drawn over.
void KeepSourceRows(TBitmap& rows, const TBitmap& src, int first, int last) {
  rows.SetPixelFormat(src.PixelFormat());
  rows.SetPalette(src.Palette());
  rows.SetSize(src.Width(), last - first + 1);
  for (int y = first; y <= last; ++y)
    std::memcpy(rows.ScanLine(y - first), src.ScanLine(y), static_cast<size_t>(src.RowBytes()));
}

bool StretchWithMode(TCanvas* dc, int x, int y, int w, int h, const TBitmap& source, int sx, int sy, int sw,
                     int sh, std::uint32_t rop, int mode) {
  if (!dc || w == 0 || h == 0) return false;
  constexpr int kMaxExtent = 0x7FFFFFF;
  for (int v : {x, y, w, h, sx, sy, sw, sh})
    if (v < -kMaxExtent || v > kMaxExtent) return false;
  TBitmap& dst = *dc->Bitmap();
  if (dst.Empty()) return true;
  bool useSrc = UsesSource(rop);
  if (useSrc && (sw == 0 || sh == 0 || source.Empty())) return false;
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
  TAxis tx, ty;
  if (useSrc) {
    tx = AxisTaps(w, vis.Left - x, vis.Right - x, sx, sw, source.Width(), halftone, flipX);
    ty = AxisTaps(h, vis.Top - y, vis.Bottom - y, sy, sh, source.Height(), halftone, flipY);
  }
  bool nearest = !halftone || (sw == w && sh == h);
  bool inOrderX = useSrc && sw == w && !flipX && nearest;
  bool inOrderY = useSrc && sh == h && !flipY && nearest;
  TPoint org = dc->Origin();
  // A copy of a bitmap onto itself that only moves the pixels runs in an
  // order that reads every pixel before it is drawn over; any other reads
  // from a copy of the source rows it needs.
  bool self = useSrc && &source == &dst;
  bool moveOnly = self && inOrderX && inOrderY;
  TBitmap kept;
  const TBitmap* from = &source;
  if (self && !moveOnly) {
    int first = source.Height(), last = -1;
    for (const Tap& t : ty.Taps) {
      first = std::min(first, t.idx);
      last = std::max(last, t.idx);
    }
    if (last < first) return true;
    KeepSourceRows(kept, source, first, last);
    for (Tap& t : ty.Taps) t.idx -= first;
    from = &kept;
  }
  const TBitmap& src = *from;
  TBlit b(dc, dst, src);
  b.rop = rop;
  b.useSrc = useSrc;
  b.vis = vis;
  b.tx = &tx;
  b.ty = &ty;
  b.dbits = dst.BitCount();
  b.sbits = useSrc ? src.BitCount() : 0;
  b.mask = MaskOf(dst);
  b.rawCopy = useSrc && SamePixels(dst, src) && !halftone && !flipX && !flipY && sw == w && sh == h;
  b.brushRaw = RawPixelValue(dst, dc->Brush.Color);
  b.bkRaw = RawPixelValue(dst, clWhite);
  b.hatch = dc->Brush.Style != bsSolid && dc->Brush.Style != bsClear;
  if (useSrc && !b.rawCopy && b.sbits <= 8) {
    const std::vector<TRGBQuad>& pal = src.Palette();
    b.paletteRaw.resize(size_t(1) << b.sbits);
    for (size_t i = 0; i < b.paletteRaw.size(); ++i) {
      TColor c = i < pal.size() ? RGB(pal[i].rgbRed, pal[i].rgbGreen, pal[i].rgbBlue) : clBlack;
      b.paletteRaw[i] = RawPixelValue(dst, c);
    }
  }
  int dy = 0;
  if (useSrc && rop == SRCCOPY && nearest) {
    bool colour = TrueColour(b.dbits) && TrueColour(b.sbits);
    if (inOrderX && colour) {
      b.kind = b.dbits == b.sbits ? (b.dbits == 24 ? rkMove : rkMove32) : b.dbits == 32 ? rk24To32 : rk32To24;
    } else if (colour) {
      b.kind = rkColumns24;
    } else if (b.rawCopy && (b.dbits == 8 || b.dbits == 16)) {
      b.kind = rkMove;
    } else if (!b.paletteRaw.empty() && TrueColour(b.dbits)) {
      b.kind = rkPalette;
    }
  }
  std::vector<std::ptrdiff_t> colBytes;
  // With every column read, a row that reads the same source row as the one
  // drawn before it (an enlargement) is a copy of that row.
  bool everyColumn = true;
  bool columns = b.kind == rkColumns24 || b.kind == rkPalette;
  if (columns) {
    int step = b.kind == rkColumns24 ? b.sbits / 8 : 1;
    colBytes.resize(static_cast<size_t>(vis.Width()));
    for (int i = 0; i < vis.Width(); ++i) {
      int c = tx.Source(i);
      colBytes[static_cast<size_t>(i)] = c < 0 ? -1 : static_cast<std::ptrdiff_t>(c) * step;
      everyColumn = everyColumn && c >= 0;
    }
    b.colBytes = colBytes.data();
  }
  if (inOrderX) b.shift = sx - x;
  // Runs whose source columns lie outside the source bitmap are cut off.
  int colLo = vis.Left, colHi = vis.Right;
  if (b.kind != rkPixels && !columns) {
    colLo = std::max(colLo, x - sx);
    colHi = std::min(colHi, x - sx + src.Width());
  }
  if (moveOnly) {
    // In bitmap coordinates the pixels move by (dx, dy).
    dy = (y + org.Y) - (sy);
    int dx = (x + org.X) - (sx);
    b.backwards = dy == 0 && dx > 0;
  }
  const TRegion* clip = dc->ClipRegion() ? &*dc->ClipRegion() : nullptr;
  RawCache raw(dst);
  std::vector<TSpan> whole{{vis.Left, vis.Right}};
  int rows = vis.Bottom - vis.Top;
  bool repeatRows = columns && everyColumn && !clip;
  int lastSrcY = -1;
  const std::uint8_t* lastRow = nullptr;
  // Halftone areas of 24- or 32-bit pixels go a row at a time. The last
  // source row is read from a padded copy when a four-byte read of its last
  // pixel would pass the end of the bitmap.
  bool weighRows = useSrc && !nearest && TrueColour(b.sbits);
  THalftoneRow ht;
  std::vector<std::uint8_t> lastPadded;
  if (weighRows) {
    ht.ColStart = tx.Start.data();
    for (const Tap& t : tx.Taps) {
      ht.ColByte.push_back(t.idx * (b.sbits / 8));
      ht.ColW.push_back(t.w);
    }
    ht.Values.resize(static_cast<size_t>(vis.Width()));
    if (src.RowBytes() < static_cast<std::int64_t>(src.Width()) * (b.sbits / 8) + 1) {
      lastPadded.assign(static_cast<size_t>(src.RowBytes()) + 4, 0);
      std::memcpy(lastPadded.data(), src.ScanLine(src.Height() - 1), static_cast<size_t>(src.RowBytes()));
    }
  }
  for (int i = 0; i < rows; ++i) {
    // Moving down over itself, the bottom row goes first.
    int yy = dy > 0 ? vis.Bottom - 1 - i : vis.Top + i;
    int srcY = -1;
    const std::uint8_t* srow = nullptr;
    if (useSrc) {
      const Tap* t = ty.First(yy - vis.Top);
      if (!ty.Count(yy - vis.Top)) continue;
      srcY = t->idx;
      srow = src.ScanLine(srcY);
      if (weighRows) {
        ht.Rows.clear();
        ht.RowW.clear();
        for (int j = 0; j < ty.Count(yy - vis.Top); ++j) {
          bool last = t[j].idx == src.Height() - 1 && !lastPadded.empty();
          ht.Rows.push_back(last ? lastPadded.data() : src.ScanLine(t[j].idx));
          ht.RowW.push_back(t[j].w);
        }
      }
    }
    const std::vector<TSpan>* spans = &whole;
    if (clip) {
      spans = clip->SpansAt(yy);
      if (!spans) continue;
    }
    std::uint8_t* drow = dst.ScanLine(yy + org.Y);
    if (repeatRows) {
      std::ptrdiff_t at = static_cast<std::ptrdiff_t>(vis.Left + org.X) * (b.dbits / 8);
      if (srcY == lastSrcY) {
        if (b.dbits == 24)
          std::memcpy(drow + at, lastRow + at, static_cast<size_t>(vis.Width()) * 3);
        else
          MoveRow32(drow + at, lastRow + at, vis.Width());
        continue;
      }
      lastSrcY = srcY;
      lastRow = drow;
    }
    size_t n = spans->size();
    for (size_t j = 0; j < n; ++j) {
      const TSpan& sp = (*spans)[b.backwards ? n - 1 - j : j];
      int x0 = std::max({sp.X0, vis.Left, colLo}), x1 = std::min({sp.X1, vis.Right, colHi});
      if (x0 < x1) Run(b, raw, yy, x0, x1, drow, srcY, srow, weighRows ? &ht : nullptr);
    }
  }
  dc->Changed(vis);
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
  return StretchWithMode(dst, x, y, w, h, *src->Bitmap(), sx + src->Origin().X, sy + src->Origin().Y, sw, sh,
                         rop, dst->StretchMode);
}

bool BitBlt(TCanvas* dst, int x, int y, int w, int h, TCanvas* src, int sx, int sy, std::uint32_t rop) {
  if (!dst || w < 0 || h < 0) return false;
  if (w == 0 || h == 0) return true;
  if (!UsesSource(rop)) return PatBlt(dst, x, y, w, h, rop);
  if (!src) return false;
  return StretchWithMode(dst, x, y, w, h, *src->Bitmap(), sx + src->Origin().X, sy + src->Origin().Y, w, h,
                         rop, COLORONCOLOR);
}

bool PatBlt(TCanvas* dst, int x, int y, int w, int h, std::uint32_t rop) {
  if (!dst || UsesSource(rop)) return false;
  return StretchWithMode(dst, x, y, w, h, TBitmap(), 0, 0, 0, 0, rop, COLORONCOLOR);
}

void TCanvas::Draw(int x, int y, const TBitmap& bmp) {
  if (bmp.Empty()) return;
  StretchWithMode(this, x, y, bmp.Width(), bmp.Height(), bmp, 0, 0, bmp.Width(), bmp.Height(), CopyMode,
                  COLORONCOLOR);
}

void TCanvas::StretchDraw(const TRect& r, const TBitmap& bmp) {
  if (bmp.Empty()) return;
  StretchBitmap(this, r.Left, r.Top, r.Width(), r.Height(), bmp, 0, 0, bmp.Width(), bmp.Height(), CopyMode);
}

void TCanvas::CopyRect(const TRect& d, TCanvas& src, const TRect& s) {
  StretchBitmap(this, d.Left, d.Top, d.Width(), d.Height(), *src.Bitmap(), s.Left + src.Origin().X,
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
