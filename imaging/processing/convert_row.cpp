// Row conversion between 1, 4, 8, 24 and 32 bits per pixel.
#include "imaging/processing/convert_row.h"

#include <cstring>

#include "imaging/core/ie_quantizer.h"

namespace redozir {

namespace {
inline int Bit(const std::uint8_t* s, int x) { return (s[x >> 3] >> (7 - (x & 7))) & 1; }
inline int Nibble(const std::uint8_t* s, int x) { return (s[x >> 1] >> (x & 1 ? 0 : 4)) & 15; }
inline void OrNibble(std::uint8_t* d, int x, int v) {
  d[x >> 1] = static_cast<std::uint8_t>(d[x >> 1] | ((v & 15) << (x & 1 ? 0 : 4)));
}
}  // namespace

void _IEConvertRow(const void* Src, void* Dst, std::uint16_t SrcBitCount, std::uint16_t DstBitCount,
                   std::uint16_t Width, std::span<const TRGB> Palette, TIEQuantizer* Quantizer) {
  const auto* s = static_cast<const std::uint8_t*>(Src);
  auto* d = static_cast<std::uint8_t*>(Dst);
  const int w = Width;
  auto entry = [&](int i) { return i < static_cast<int>(Palette.size()) ? Palette[i] : TRGB{}; };
  auto put24 = [&](int x, TRGB c) { std::memcpy(d + 3 * x, &c, 3); };
  const int pair = SrcBitCount << 8 | DstBitCount;
  switch (pair) {
    case 1 << 8 | 1: std::memcpy(d, s, static_cast<size_t>((w + 7) / 8)); break;
    case 4 << 8 | 4: std::memcpy(d, s, static_cast<size_t>((w + 1) / 2)); break;
    case 8 << 8 | 8: std::memcpy(d, s, static_cast<size_t>(w)); break;
    case 24 << 8 | 24: std::memcpy(d, s, static_cast<size_t>(w) * 3); break;
    case 1 << 8 | 4:
      for (int x = 0; x < w; ++x) OrNibble(d, x, Bit(s, x));
      break;
    case 1 << 8 | 8:
      for (int x = 0; x < w; ++x) d[x] = static_cast<std::uint8_t>(Bit(s, x));
      break;
    case 4 << 8 | 8:
      for (int x = 0; x < w; ++x) d[x] = static_cast<std::uint8_t>(Nibble(s, x));
      break;
    case 1 << 8 | 24:
      for (int x = 0; x < w; ++x) put24(x, entry(Bit(s, x)));
      break;
    case 4 << 8 | 24:
      for (int x = 0; x < w; ++x) put24(x, entry(Nibble(s, x)));
      break;
    case 8 << 8 | 24:
      for (int x = 0; x < w; ++x) put24(x, entry(s[x]));
      break;
    case 8 << 8 | 1:
      std::memset(d, 0, static_cast<size_t>((w + 7) / 8));
      for (int x = 0; x < w; ++x)
        d[x >> 3] = static_cast<std::uint8_t>(d[x >> 3] | ((s[x] != 0) << (7 - (x & 7))));
      break;
    case 24 << 8 | 4:
      if (!Quantizer) break;
      for (int x = 0; x < w; ++x) OrNibble(d, x, Quantizer->RGBIndex(reinterpret_cast<const TRGB*>(s)[x]));
      break;
    case 24 << 8 | 8:
      if (!Quantizer) break;
      for (int x = 0; x < w; ++x)
        d[x] = static_cast<std::uint8_t>(Quantizer->RGBIndex(reinterpret_cast<const TRGB*>(s)[x]));
      break;
    case 32 << 8 | 24:
      for (int x = 0; x < w; ++x) std::memcpy(d + 3 * x, s + 4 * x, 3);
      break;
    default: break;
  }
}

}  // namespace redozir
