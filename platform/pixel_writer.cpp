#include "platform/pixel_writer.h"

#include "platform/canvas.h"

#include <agg_pixfmt_rgb.h>
#include <agg_rendering_buffer.h>

#include <algorithm>
#include <cstring>

namespace redozir {

namespace {
// A run of one colour through AGG's pixel format over a single row.
template <typename PixFmt>
void CopyHline(std::uint8_t* row, int x0, int x1, std::uint32_t v) {
  agg::rendering_buffer rb(row, static_cast<unsigned>(x1), 1, 0);
  PixFmt pf(rb);
  pf.copy_hline(x0, 0, static_cast<unsigned>(x1 - x0),
                agg::rgba8(static_cast<agg::int8u>(v >> 16), static_cast<agg::int8u>(v >> 8),
                           static_cast<agg::int8u>(v)));
}
}  // namespace

std::uint32_t RawPixelValue(const TBitmap& bmp, TColor c) {
  c = ColorToRGB(c);
  std::uint32_t r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  switch (bmp.PixelFormat()) {
    case pf1bit:
    case pf4bit:
    case pf8bit: return static_cast<std::uint32_t>(bmp.NearestPaletteIndex(c));
    case pf15bit: return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
    case pf16bit: return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
    default: return (r << 16) | (g << 8) | b;
  }
}

std::uint32_t ApplyPenMode(TPenMode mode, std::uint32_t p, std::uint32_t d) {
  switch (mode) {
    case pmBlack: return 0;
    case pmWhite: return ~0u;
    case pmNop: return d;
    case pmNot: return ~d;
    case pmCopy: return p;
    case pmNotCopy: return ~p;
    case pmMergePenNot: return p | ~d;
    case pmMaskPenNot: return p & ~d;
    case pmMergeNotPen: return ~p | d;
    case pmMaskNotPen: return ~p & d;
    case pmMerge: return p | d;
    case pmNotMerge: return ~(p | d);
    case pmMask: return p & d;
    case pmNotMask: return ~(p & d);
    case pmXor: return p ^ d;
    case pmNotXor: return ~(p ^ d);
  }
  return p;
}

bool HatchBit(TBrushStyle style, int x, int y) {
  unsigned ux = static_cast<unsigned>(x) & 7, uy = static_cast<unsigned>(y) & 7;
  bool h = uy == 0, v = ux == 0, f = ((ux - uy) & 7) == 0, b = ((ux + uy) & 7) == 7;
  switch (style) {
    case bsHorizontal: return h;
    case bsVertical: return v;
    case bsFDiagonal: return f;
    case bsBDiagonal: return b;
    case bsCross: return h || v;
    case bsDiagCross: return f || b;
    default: return true;
  }
}

std::uint32_t ReadRaw(const std::uint8_t* row, int x, int bits) {
  switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case 8: return row[x];
    case 16: return row[2 * x] | (row[2 * x + 1] << 8);
    case 24: return row[3 * x] | (row[3 * x + 1] << 8) | (std::uint32_t(row[3 * x + 2]) << 16);
    default: return row[4 * x] | (row[4 * x + 1] << 8) | (std::uint32_t(row[4 * x + 2]) << 16);
  }
}

void WriteRaw(std::uint8_t* row, int x, int bits, std::uint32_t v) {
  switch (bits) {
    case 1: {
      std::uint8_t m = static_cast<std::uint8_t>(0x80 >> (x & 7));
      row[x >> 3] = (v & 1) ? (row[x >> 3] | m) : (row[x >> 3] & ~m);
      break;
    }
    case 4: {
      std::uint8_t& b = row[x >> 1];
      b = (x & 1) ? static_cast<std::uint8_t>((b & 0xF0) | (v & 15))
                  : static_cast<std::uint8_t>((b & 0x0F) | ((v & 15) << 4));
      break;
    }
    case 8: row[x] = static_cast<std::uint8_t>(v); break;
    case 16:
      row[2 * x] = static_cast<std::uint8_t>(v);
      row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
      break;
    case 24:
      row[3 * x] = static_cast<std::uint8_t>(v);
      row[3 * x + 1] = static_cast<std::uint8_t>(v >> 8);
      row[3 * x + 2] = static_cast<std::uint8_t>(v >> 16);
      break;
    default:
      // The fourth byte of a 32-bit pixel is left as it was.
      row[4 * x] = static_cast<std::uint8_t>(v);
      row[4 * x + 1] = static_cast<std::uint8_t>(v >> 8);
      row[4 * x + 2] = static_cast<std::uint8_t>(v >> 16);
      break;
  }
}

TPixelWriter::TPixelWriter(TBitmap& bmp, const TRegion* clip)
    : TPixelWriter(bmp, clip, {0, 0, bmp.Width(), bmp.Height()}, {0, 0}) {}

TPixelWriter::TPixelWriter(TBitmap& bmp, const TRegion* clip, const TRect& bounds, TPoint offset,
                           TCanvas* reportTo)
    : bmp_(bmp), clip_(clip), offset_(offset), bits_(bmp.BitCount()), reportTo_(reportTo) {
  // Never past the bitmap, whatever the caller's bounds say.
  TRect all{-offset.X, -offset.Y, bmp.Width() - offset.X, bmp.Height() - offset.Y};
  IntersectRect(bounds_, bounds, all);
  switch (bmp.PixelFormat()) {
    case pf15bit: mask_ = 0x7FFF; break;
    case pf16bit: mask_ = 0xFFFF; break;
    case pf24bit:
    case pf32bit: mask_ = 0xFFFFFF; break;
    default: mask_ = bits_ >= 24 ? 0xFFFFFFu : (1u << bits_) - 1; break;
  }
}

TPixelWriter::~TPixelWriter() {
  if (reportTo_ && !written_.IsEmpty()) reportTo_->Changed(written_);
}

void TPixelWriter::SetSolid(TColor c, TPenMode mode) {
  value_ = RawPixelValue(bmp_, c);
  mode_ = mode;
  hatch_ = bsSolid;
}

void TPixelWriter::SetRaw(std::uint32_t raw, TPenMode mode) {
  value_ = raw & mask_;
  mode_ = mode;
  hatch_ = bsSolid;
}

void TPixelWriter::SetHatch(TColor c, TBrushStyle style, TPenMode mode) {
  SetSolid(c, mode);
  hatch_ = style;
}

void TPixelWriter::Span(int y, int x0, int x1) {
  if (y < bounds_.Top || y >= bounds_.Bottom) return;
  x0 = std::max(x0, bounds_.Left);
  x1 = std::min(x1, bounds_.Right);
  if (x0 >= x1) return;
  if (!clip_) {
    RawSpan(y, x0, x1);
    return;
  }
  const std::vector<TSpan>* spans = clip_->SpansAt(y);
  if (!spans) return;
  for (const TSpan& s : *spans) {
    if (s.X1 <= x0) continue;
    if (s.X0 >= x1) break;
    RawSpan(y, std::max(s.X0, x0), std::min(s.X1, x1));
  }
}

void TPixelWriter::Region(const TRegion& r) {
  for (const TRegion::TBand& b : r.Bands()) {
    int top = std::max(b.Top, bounds_.Top), bottom = std::min(b.Bottom, bounds_.Bottom);
    for (int y = top; y < bottom; ++y)
      for (const TSpan& s : b.Spans) Span(y, s.X0, s.X1);
  }
}

void TPixelWriter::RawSpan(int y, int x0, int x1) {
  if (reportTo_) {
    if (written_.IsEmpty()) {
      written_ = {x0, y, x1, y + 1};
    } else {
      written_.Left = std::min(written_.Left, x0);
      written_.Right = std::max(written_.Right, x1);
      written_.Top = std::min(written_.Top, y);
      written_.Bottom = std::max(written_.Bottom, y + 1);
    }
  }
  y += offset_.Y;
  x0 += offset_.X;
  x1 += offset_.X;
  std::uint8_t* row = bmp_.ScanLine(y);
  if (mode_ == pmCopy && hatch_ == bsSolid) {
    switch (bits_) {
      case 8: std::memset(row + x0, static_cast<int>(value_), static_cast<size_t>(x1 - x0)); return;
      case 24: CopyHline<agg::pixfmt_bgr24>(row, x0, x1, value_); return;
      // bgrx: the fourth byte is left as it was.
      // (Written here: AGG's 32-bit rgb format steps between pixels past the
      // end of its three-byte pixel, which sanitizers report as undefined.)
      case 32:
        for (std::uint8_t* p = row + 4 * static_cast<std::ptrdiff_t>(x0);
             p < row + 4 * static_cast<std::ptrdiff_t>(x1); p += 4) {
          p[0] = static_cast<std::uint8_t>(value_);
          p[1] = static_cast<std::uint8_t>(value_ >> 8);
          p[2] = static_cast<std::uint8_t>(value_ >> 16);
        }
        return;
      case 1: {
        // Whole bytes at once in the middle of a long run.
        int x = x0;
        for (; x < x1 && (x & 7); ++x) WriteRaw(row, x, 1, value_);
        int full = (x1 - x) >> 3;
        if (full > 0) {
          std::memset(row + (x >> 3), value_ & 1 ? 0xFF : 0x00, static_cast<size_t>(full));
          x += full * 8;
        }
        for (; x < x1; ++x) WriteRaw(row, x, 1, value_);
        return;
      }
      default:
        for (int x = x0; x < x1; ++x) WriteRaw(row, x, bits_, value_);
        return;
    }
  }
  for (int x = x0; x < x1; ++x) {
    if (hatch_ != bsSolid && !HatchBit(hatch_, x, y)) continue;
    std::uint32_t d = ReadRaw(row, x, bits_);
    WriteRaw(row, x, bits_, ApplyPenMode(mode_, value_, d) & mask_);
  }
}

}  // namespace redozir
