// Reduction of any bitmap to an ie8p one through the colour quantiser.
#include "imaging/core/iebitmap_reduce.h"

#include <vector>

#include "imaging/core/ie_rowband.h"
#include "imaging/core/ie_quantizer.h"

namespace redozir {

void IEBitmapTo8bitPalette(TIEBitmap* Src, TIEBitmap* Dst) {
  int w = Src->GetWidth(), h = Src->GetHeight();
  if (w < 1 || h < 1) return;
  // The quantiser samples 24-bit rows; other formats are handed to it
  // through the bitmap's own converters.
  TIEBitmap rgb24;
  TIEBitmap* sample = Src;
  if (Src->GetPixelFormat() != ie24RGB) {
    rgb24.SetMemoryThreshold(Src->MemoryThreshold());
    if (!rgb24.Allocate(w, h, ie24RGB)) throw EOutOfMemory("Cannot allocate the colour sample");
    rgb24.ConvertFrom(Src);
    sample = &rgb24;
  }
  std::vector<TRGB> pal(256);
  TIEQuantizer q(sample, pal.data(), 0x7FFFFFF, 256);
  int count = q.ColorCount();
  Dst->SetPaletteLength(256);
  for (int i = 0; i < 256; ++i) Dst->SetPalette(i, i < count ? pal[i] : TRGB{});
  Dst->SetPaletteUsed(count);
  TIERowSink sink(Dst, 0, h);
  for (int y = 0; y < h; ++y) {
    const auto* rgb = reinterpret_cast<const TRGB*>(sample->GetScanline(y));
    std::uint8_t* row = sink.Row(y);
    for (int x = 0; x < w; ++x) row[x] = static_cast<std::uint8_t>(q.RGBIndex(rgb[x]));
  }
  sink.Finish();
}

}  // namespace redozir
