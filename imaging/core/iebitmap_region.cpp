// TIEBitmap's rectangle work: copies between bitmaps (clipped to both),
// moving a region, and the canvas size change.
#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>
#include <vector>

#include "imaging/core/ie_pixelrow.h"
#include "imaging/core/ie_rowband.h"
#include "imaging/core/iebitmap.h"
#include "imaging/core/bit_routines.h"

namespace redozir {

namespace {
bool Bit(const std::uint8_t* row, std::int64_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
void SetBit(std::uint8_t* row, std::int64_t x, bool v) {
  auto m = static_cast<std::uint8_t>(0x80 >> (x & 7));
  row[x >> 3] = v ? (row[x >> 3] | m) : (row[x >> 3] & ~m);
}

// Clips one axis of a copy to a source of extent sn and a destination of
// extent dn; false when nothing is left.
bool ClipAxis(std::int64_t& s, std::int64_t& d, std::int64_t& n, std::int64_t sn, std::int64_t dn) {
  if (s < 0) d -= s, n += s, s = 0;
  if (d < 0) s -= d, n += d, d = 0;
  n = std::min({n, sn - s, dn - d});
  return n > 0;
}

int NearestIndex(TIEBitmap* b, TRGB c) {
  int best = 0, bestD = 1 << 30;
  for (int i = 0; i < b->GetPaletteLength(); ++i) {
    TRGB p = b->GetPalette(i);
    int d = (c.r - p.r) * (c.r - p.r) + (c.g - p.g) * (c.g - p.g) + (c.b - p.b) * (c.b - p.b);
    if (d < bestD) bestD = d, best = i;
  }
  return best;
}
}  // namespace

void TIEBitmap::CopyRectTo(TIEBitmap* Dest, int SrcX, int SrcY, int DstX, int DstY, int RectWidth,
                           int RectHeight) {
  if (!Dest || RectWidth <= 0 || RectHeight <= 0) return;
  std::int64_t sx = SrcX, sy = SrcY, dx = DstX, dy = DstY, w = RectWidth, h = RectHeight;
  if (!ClipAxis(sx, dx, w, fWidth, Dest->fWidth) || !ClipAxis(sy, dy, h, fHeight, Dest->fHeight)) return;
  if (Dest == this) {
    // Overlapping rows of one bitmap go through a copy.
    TIEBitmap part;
    part.fMemoryThreshold = fMemoryThreshold;
    if (!part.Allocate(static_cast<int>(w), static_cast<int>(h), fPixelFormat))
      throw EOutOfMemory("Cannot allocate the copy of a region");
    CopyPaletteTo(&part);
    CopyRectTo(&part, static_cast<int>(sx), static_cast<int>(sy), 0, 0, static_cast<int>(w),
               static_cast<int>(h));
    part.CopyRectTo(this, 0, 0, static_cast<int>(dx), static_cast<int>(dy), static_cast<int>(w),
                    static_cast<int>(h));
    return;
  }
  TIEPixelFormat sp = fPixelFormat, dp = Dest->fPixelFormat;
  // A plane known to be opaque stays so only when opaque pixels come in.
  if (!fFull && (Dest->fIsAlpha || dp == ie8g)) Dest->fFull = false;
  std::vector<TRGB> rgb;
  std::vector<std::uint8_t> tmp;
  if (sp != dp && !(sp == ie1g && dp == ie24RGB)) {
    rgb.resize(static_cast<size_t>(w));
    tmp.resize(static_cast<size_t>(w) * 8);
  }
  std::int64_t bpp = fBitCount / 8, dbpp = Dest->fBitCount / 8;
  // Whole rows of the destination go through a sink (on the disk buffer,
  // through the file in bands); part rows keep the rest of the row.
  std::optional<TIERowSink> sink;
  if (dx == 0 && w == Dest->fWidth) sink.emplace(Dest, static_cast<int>(dy), static_cast<int>(h));
  for (std::int64_t y = 0; y < h; ++y) {
    const std::uint8_t* s = GetScanline(static_cast<int>(sy + y));
    std::uint8_t* d =
        sink ? sink->Row(static_cast<int>(dy + y)) : Dest->GetScanline(static_cast<int>(dy + y));
    if (sp == dp && sp == ie1g) {
      IECopyBits(d, s, static_cast<int>(dx), static_cast<int>(sx), static_cast<int>(w), fRowLen);
    } else if (sp == dp) {
      std::memmove(d + dx * bpp, s + sx * bpp, static_cast<size_t>(w * bpp));
    } else if (sp == ie1g && dp == ie24RGB) {
      for (std::int64_t x = 0; x < w; ++x) std::memset(d + (dx + x) * 3, Bit(s, sx + x) ? 255 : 0, 3);
    } else {
      // Other pairs are converted through RGB, as the pixel-format change does.
      IERowToRGB(sp, s, static_cast<int>(sx), static_cast<int>(w), fPalette.data(),
                 static_cast<int>(fPalette.size()), rgb.data());
      if (dp == ie1g) {
        for (std::int64_t x = 0; x < w; ++x) SetBit(d, dx + x, IEGrayOf(rgb[x]) >= 128);
      } else if (dp == ie8p) {
        for (std::int64_t x = 0; x < w; ++x)
          d[dx + x] = static_cast<std::uint8_t>(NearestIndex(Dest, rgb[x]));
      } else if (IERowFromRGB(dp, rgb.data(), static_cast<int>(w), tmp.data())) {
        std::memcpy(d + dx * dbpp, tmp.data(), static_cast<size_t>(w * dbpp));
      }
    }
  }
  if (sink) sink->Finish();
}

void TIEBitmap::MoveRegion(int x1, int y1, int x2, int y2, int DstX, int DstY, double FillColor, bool Fill) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  int cx1 = std::max(x1, 0), cy1 = std::max(y1, 0);
  int cx2 = std::min(x2, fWidth - 1), cy2 = std::min(y2, fHeight - 1);
  if (cx1 > cx2 || cy1 > cy2) return;
  // What was clipped off the source's top-left shifts the target alike.
  std::int64_t dx = static_cast<std::int64_t>(DstX) + (cx1 - x1),
               dy = static_cast<std::int64_t>(DstY) + (cy1 - y1);
  dx = std::clamp<std::int64_t>(dx, INT_MIN, INT_MAX);
  dy = std::clamp<std::int64_t>(dy, INT_MIN, INT_MAX);
  int w = cx2 - cx1 + 1, h = cy2 - cy1 + 1;
  TIEBitmap part;
  part.fMemoryThreshold = fMemoryThreshold;
  if (!part.Allocate(w, h, fPixelFormat)) throw EOutOfMemory("Cannot allocate the copy of a region");
  CopyRectTo(&part, cx1, cy1, 0, 0, w, h);
  if (Fill) FillRect(cx1, cy1, cx2, cy2, FillColor);
  part.CopyRectTo(this, 0, 0, static_cast<int>(dx), static_cast<int>(dy), w, h);
}

void TIEBitmap::Resize(int NewWidth, int NewHeight, double Background, int AlphaFill, int HorizAlign,
                       int VertAlign) {
  if (NewWidth < 0 || NewHeight < 0) throw EIEBitmapError("Negative bitmap size");
  if (NewWidth == fWidth && NewHeight == fHeight) return;
  auto offset = [](int align, int now, int want) {
    std::int64_t d = static_cast<std::int64_t>(want) - now;
    return static_cast<int>(align == 1 ? d / 2 : align == 2 ? d : 0);
  };
  int ox = offset(HorizAlign, fWidth, NewWidth), oy = offset(VertAlign, fHeight, NewHeight);
  TIEBitmap staging;
  staging.fRowAlign = fRowAlign;
  staging.fMemoryThreshold = fMemoryThreshold;
  if (!staging.Allocate(NewWidth, NewHeight, fPixelFormat))
    throw EOutOfMemory("Cannot allocate a " + std::to_string(NewWidth) + " x " + std::to_string(NewHeight) +
                       " bitmap");
  CopyPaletteTo(&staging);
  staging.Fill(Background);
  CopyRectTo(&staging, 0, 0, ox, oy, fWidth, fHeight);
  std::unique_ptr<TIEBitmap> plane;
  if (fAlpha && !fIsAlpha) {
    plane = std::make_unique<TIEBitmap>();
    plane->fIsAlpha = true;
    plane->fMemoryThreshold = fMemoryThreshold;
    if (!plane->AllocateAt(NewWidth, NewHeight, ie8g, staging.fLocation == ieFile ? ieFile : ieMemory))
      throw EOutOfMemory("Cannot allocate the alpha plane");
    plane->Fill(AlphaFill);
    fAlpha->CopyRectTo(plane.get(), 0, 0, ox, oy, fWidth, fHeight);
    bool grew = NewWidth > fWidth || NewHeight > fHeight || ox > 0 || oy > 0;
    plane->fFull = fAlpha->fFull && (!grew || AlphaFill >= 255);
  }
  bool full = fFull;
  TakeImage(staging);
  fFull = full;
  if (plane) {
    delete fAlpha;
    fAlpha = plane.release();
  }
}

void TIEBitmap::SetWidth(int Value) { Resize(Value, fHeight, 0, 255, 0, 0); }

void TIEBitmap::SetHeight(int Value) { Resize(fWidth, Value, 0, 255, 0, 0); }

}  // namespace redozir
