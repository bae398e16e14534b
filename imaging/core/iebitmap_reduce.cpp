// Threshold and ordered dither to 1 bit, and a simple palette reduction.
#include "imaging/core/iebitmap_reduce.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "imaging/core/ie_pixelrow.h"

namespace {
constexpr std::uint8_t kOrdered[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},    {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},   {63, 31, 55, 23, 61, 29, 53, 21},
};

void ReadRow(TIEBitmap* Src, int y, std::vector<TRGB>& rgb) {
  IERowToRGB(Src->GetPixelFormat(), Src->GetScanline(y), 0, Src->GetWidth(), Src->GetPaletteBuffer(),
             Src->GetPaletteLength(), rgb.data());
}

template <typename Bit>
void Write1bit(TIEBitmap* Src, TIEBitmap* Dst, Bit white) {
  int w = Src->GetWidth();
  std::vector<TRGB> rgb(static_cast<size_t>(w));
  std::vector<std::uint8_t> bits(static_cast<size_t>(Dst->GetRowLen()));
  for (int y = 0; y < Src->GetHeight(); ++y) {
    ReadRow(Src, y, rgb);
    std::fill(bits.begin(), bits.end(), 0);
    for (int x = 0; x < w; ++x)
      if (white(rgb[x], x, y)) bits[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
    std::memcpy(Dst->GetScanline(y), bits.data(), bits.size());
  }
}
}  // namespace

void IEBitmapTo1bitAverage(TIEBitmap* Src, TIEBitmap* Dst) {
  int w = Src->GetWidth(), h = Src->GetHeight();
  if (w <= 0 || h <= 0) return;
  // The average of per-row averages, each truncated, as the conversion
  // routines compute it.
  std::int64_t sr = 0, sg = 0, sb = 0;
  std::vector<TRGB> rgb(static_cast<size_t>(w));
  for (int y = 0; y < h; ++y) {
    ReadRow(Src, y, rgb);
    std::int64_t r = 0, g = 0, b = 0;
    for (const TRGB& c : rgb) r += c.r, g += c.g, b += c.b;
    sr += r / w, sg += g / w, sb += b / w;
  }
  int level = IEGrayOf(static_cast<int>(sr / h), static_cast<int>(sg / h), static_cast<int>(sb / h));
  Write1bit(Src, Dst, [&](TRGB c, int, int) { return IEGrayOf(c) >= level; });
}

void IEBitmapTo1bitOrdered(TIEBitmap* Src, TIEBitmap* Dst) {
  Write1bit(Src, Dst, [](TRGB c, int x, int y) {
    int v = (c.r > 250 && c.g > 250 && c.b > 250) ? 64 : (IEGrayOf(c) >> 2);
    return v > kOrdered[x & 7][y & 7];
  });
}

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
