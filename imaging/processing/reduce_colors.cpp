// Colour reduction of a 24-bit image through the quantiser's palette.
#include <algorithm>
#include <vector>

#include "imaging/core/ie_quantizer.h"
#include "imaging/processing/reduce_colors.h"

namespace redozir {

void _IEReduceColors(TIEBitmap* Bitmap, int NColors, TRGB* Palette, TIEProgressRecord Progress) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB || NColors < 1) return;
  const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (w < 1 || h < 1) return;
  // The quantiser builds at most 1024 entries; a larger request keeps the
  // caller's remaining entries as they are.
  const int n = std::min(NColors, kIEQuantizerMaxColors);
  std::vector<TRGB> own;
  TRGB* pal = Palette;
  if (!pal) {
    own.resize(static_cast<size_t>(n));
    pal = own.data();
  }
  Progress.SetRows(h);
  TIEQuantizer q(Bitmap, pal, 0x7FFFFFF, n);
  const int count = q.ColorCount();
  for (int y = 0; y < h; ++y) {
    auto* p = reinterpret_cast<TRGB*>(Bitmap->GetScanline(y));
    for (int x = 0; x < w; ++x) {
      const int i = q.RGBIndex(p[x]);
      if (i >= 0 && i < count) p[x] = pal[i];
    }
    Progress.Report(y + 1);
  }
}

}  // namespace redozir
