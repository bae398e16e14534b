// The two-colour test that lets the writers store a two-colour image in 1
// bit, the nearest palette entry, and the 1-bit platform bitmap expansion.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/core/ie_pixel.h"
#include "imaging/processing/bitmap_ops.h"
#include "imaging/core/convert_1bit.h"
#include "imaging/core/pixel_rows.h"

namespace redozir {

namespace {
// Entry b: the 8 pixels of byte b, most significant bit first, 3 bytes each.
struct TExpandTable {
  std::uint8_t v[256][24];
  constexpr TExpandTable() : v() {
    for (int b = 0; b < 256; ++b)
      for (int i = 0; i < 24; ++i) v[b][i] = (b & (0x80 >> (i / 3))) ? 255 : 0;
  }
};
constexpr TExpandTable kExpand;

// The grey value taken as a byte, as the comparison of the two colours has it.
inline std::uint8_t GreyByte(const TRGB& c) { return static_cast<std::uint8_t>(IERGBToGray(c)); }
}  // namespace

std::unique_ptr<TIEBitmap> _IETwoColorsTo1bit(TIEBitmap* Src, TRGB& Color0, TRGB& Color1) {
  if (!Src || Src->GetWidth() < 1 || Src->GetHeight() < 1) return nullptr;  // no colour at all
  const int w = Src->GetWidth(), h = Src->GetHeight();
  auto out = std::make_unique<TIEBitmap>();
  if (!out->Allocate(w, h, ie1g))
    throw EOutOfMemory("Cannot allocate a " + std::to_string(w) + " x " + std::to_string(h) + " bitmap");
  // The colours met so far: a third one ends the test at once.
  int found = 0;
  std::vector<TRGB> buf(static_cast<size_t>(w));
  for (int y = 0; y < h; ++y) {
    const TRGB* row;
    if (Src->GetPixelFormat() == ie24RGB) {
      row = reinterpret_cast<const TRGB*>(Src->GetScanline(y));
    } else {
      IEReadRowRGB(Src, y, buf.data());
      row = buf.data();
    }
    std::uint8_t* d = out->GetScanline(y);
    std::memset(d, 0, static_cast<size_t>(out->GetRowLen()));
    for (int x = 0; x < w; ++x) {
      const TRGB& c = row[x];
      if (found > 0 && c == Color0) continue;
      if (found > 1 && c == Color1) {
        d[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
        continue;
      }
      if (found == 0) {
        Color0 = c;
        found = 1;
      } else if (found == 1) {
        Color1 = c;
        found = 2;
        d[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
      } else {
        return nullptr;
      }
    }
  }
  if (found != 2) return nullptr;
  if (GreyByte(Color1) < GreyByte(Color0)) {
    _IENegative1bit(out.get());
    std::swap(Color0, Color1);
  }
  return out;
}

int _IENearestPaletteIndex(const TRGB* Palette, int Count, TRGB Color) {
  int best = 0, bestDist = 1000;
  for (int i = 0; i < Count; ++i) {
    const TRGB& p = Palette[i];
    const int d = std::abs(p.r - Color.r) + std::abs(p.g - Color.g) + std::abs(p.b - Color.b);
    if (d < bestDist) {
      bestDist = d;
      best = i;
    }
  }
  return best;
}

void _IEConvert1bitTBitmapTo24(TBitmap* Src, TBitmap* Dst, TIEProgressRecord Progress) {
  if (!Src || !Dst || Src == Dst || Src->PixelFormat() != pf1bit) return;
  const int w = Src->Width(), h = Src->Height();
  Dst->SetSize(1, 1);
  Dst->SetPixelFormat(pf24bit);
  Dst->SetSize(w, h);
  Progress.SetRows(h);
  const int whole = w / 8, rest = w & 7;
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* s = Src->ScanLine(y);
    std::uint8_t* d = Dst->ScanLine(y);
    for (int i = 0; i < whole; ++i, d += 24) std::memcpy(d, kExpand.v[s[i]], 24);
    if (rest) std::memcpy(d, kExpand.v[s[whole]], static_cast<size_t>(rest) * 3);
    Progress.Report(y + 1);
  }
}

}  // namespace redozir
