// A simple palette reduction.
#include "imaging/core/iebitmap_reduce.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "imaging/core/ie_pixelrow.h"

namespace {
void ReadRow(TIEBitmap* Src, int y, std::vector<TRGB>& rgb) {
  IERowToRGB(Src->GetPixelFormat(), Src->GetScanline(y), 0, Src->GetWidth(), Src->GetPaletteBuffer(),
             Src->GetPaletteLength(), rgb.data());
}
}  // namespace

void IEBitmapTo8bitPalette(TIEBitmap* Src, TIEBitmap* Dst) {
  int w = Src->GetWidth(), h = Src->GetHeight();
  std::vector<TRGB> rgb(static_cast<size_t>(w));
  auto key = [](TRGB c) { return (c.r << 16) | (c.g << 8) | c.b; };
  std::unordered_map<int, int> index;
  std::vector<TRGB> pal;
  for (int y = 0; y < h && pal.size() <= 256; ++y) {
    ReadRow(Src, y, rgb);
    for (const TRGB& c : rgb)
      if (index.emplace(key(c), static_cast<int>(pal.size())).second) {
        pal.push_back(c);
        if (pal.size() > 256) break;
      }
  }
  bool exact = pal.size() <= 256;
  if (!exact) {
    pal.clear();
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b)
          pal.push_back(TRGB{static_cast<std::uint8_t>(b * 51), static_cast<std::uint8_t>(g * 51),
                             static_cast<std::uint8_t>(r * 51)});
    for (int i = 0; i < 40; ++i) {
      auto v = static_cast<std::uint8_t>((i * 255 + 19) / 39);
      pal.push_back(TRGB{v, v, v});
    }
    index.clear();
  }
  auto nearest = [&](TRGB c) {
    auto [it, fresh] = index.emplace(key(c), 0);
    if (fresh) {
      int best = 0, bestD = 1 << 30;
      for (size_t i = 0; i < pal.size(); ++i) {
        int dr = c.r - pal[i].r, dg = c.g - pal[i].g, db = c.b - pal[i].b;
        int d = dr * dr + dg * dg + db * db;
        if (d < bestD) bestD = d, best = static_cast<int>(i);
      }
      it->second = best;
    }
    return it->second;
  };
  Dst->SetPaletteLength(256);
  for (size_t i = 0; i < 256; ++i) Dst->SetPalette(static_cast<int>(i), i < pal.size() ? pal[i] : TRGB{});
  Dst->SetPaletteUsed(static_cast<int>(pal.size()));
  for (int y = 0; y < h; ++y) {
    ReadRow(Src, y, rgb);
    std::uint8_t* row = Dst->GetScanline(y);
    for (int x = 0; x < w; ++x)
      row[x] = static_cast<std::uint8_t>(exact ? index[key(rgb[x])] : nearest(rgb[x]));
  }
}
