// Hand-made BMP, PCX and Targa files around given pixel data, for the tests
// of run-length and header consistency rules (the data may break them).
#pragma once

#include <cstdint>
#include <vector>

namespace hostile {
inline void PutLE(std::vector<std::uint8_t>& v, std::uint32_t x, int n) {
  for (int i = 0; i < n; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}
}  // namespace hostile

// A bottom-up RLE8 or RLE4 BMP of w x h with four colours.
inline std::vector<std::uint8_t> HandMadeRleBmp(int w, int h, bool rle4,
                                                const std::vector<std::uint8_t>& data) {
  using hostile::PutLE;
  const std::uint32_t offset = 14 + 40 + 4 * 4;
  std::vector<std::uint8_t> f = {'B', 'M'};
  PutLE(f, offset + static_cast<std::uint32_t>(data.size()), 4);
  PutLE(f, 0, 4);
  PutLE(f, offset, 4);
  PutLE(f, 40, 4);
  PutLE(f, static_cast<std::uint32_t>(w), 4);
  PutLE(f, static_cast<std::uint32_t>(h), 4);
  PutLE(f, 1, 2);
  PutLE(f, rle4 ? 4 : 8, 2);
  PutLE(f, rle4 ? 2 : 1, 4);
  PutLE(f, static_cast<std::uint32_t>(data.size()), 4);
  PutLE(f, 2835, 4);
  PutLE(f, 2835, 4);
  PutLE(f, 4, 4);
  PutLE(f, 0, 4);
  for (std::uint32_t c : {0x000000u, 0xFF0000u, 0x00FF00u, 0x0000FFu}) PutLE(f, c, 4);
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

// A run-length coded PCX (version 5) of w x h; a 256-colour file gets no palette.
inline std::vector<std::uint8_t> HandMadePcx(int bpp, int planes, int w, int h, int bytesPerLine,
                                             const std::vector<std::uint8_t>& data) {
  using hostile::PutLE;
  std::vector<std::uint8_t> f = {0x0A, 5, 1, static_cast<std::uint8_t>(bpp)};
  PutLE(f, 0, 2);
  PutLE(f, 0, 2);
  PutLE(f, static_cast<std::uint32_t>(w - 1), 2);
  PutLE(f, static_cast<std::uint32_t>(h - 1), 2);
  PutLE(f, 72, 2);
  PutLE(f, 72, 2);
  for (int i = 0; i < 48; ++i) f.push_back(static_cast<std::uint8_t>(i * 5));
  f.push_back(0);
  f.push_back(static_cast<std::uint8_t>(planes));
  PutLE(f, static_cast<std::uint32_t>(bytesPerLine), 2);
  f.resize(128, 0);
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

// A run-length coded 8-bit grey Targa (type 11) of w x h, bottom-up.
inline std::vector<std::uint8_t> HandMadeRleTga(int w, int h, const std::vector<std::uint8_t>& data) {
  using hostile::PutLE;
  std::vector<std::uint8_t> f = {0, 0, 11};
  PutLE(f, 0, 2);
  PutLE(f, 0, 2);
  f.push_back(0);
  PutLE(f, 0, 4);
  PutLE(f, static_cast<std::uint32_t>(w), 2);
  PutLE(f, static_cast<std::uint32_t>(h), 2);
  f.push_back(8);
  f.push_back(0);
  f.insert(f.end(), data.begin(), data.end());
  return f;
}
