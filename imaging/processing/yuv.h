// YUV (BT.601, studio range) to RGB for the video-frame readers.
#pragma once

#include <cstdint>

#pragma GCC visibility push(default)
namespace redozir {

// Writes blue, green, red of one pixel to Dst (3 bytes).
void IEYUVToRGB(int Y, int U, int V, void* Dst);

// The tables behind IEYUVToRGB, for row loops that convert many pixels of
// byte samples: blue by Y and U, red by Y and V, and 1000 x the terms of
// green.
struct TIEYUVTables {
  std::uint8_t blue[256][256];
  std::uint8_t red[256][256];
  int y[256], gu[256], gv[256];
  TIEYUVTables();
};
const TIEYUVTables& IEYUVTables();
// Green when 1000 x its value, N, is a tie or out of the byte range.
std::uint8_t IEYUVGreenSlow(int Y, int U, int V);

// IEYUVToRGB for byte samples through the tables.
inline void IEYUVToRGBBytes(const TIEYUVTables& t, std::uint8_t Y, std::uint8_t U, std::uint8_t V,
                            std::uint8_t* Dst) {
  Dst[0] = t.blue[Y][U];
  const int n = t.y[Y] - t.gv[V] - t.gu[U];
  Dst[1] = (n >= 0 && n < 255500 && n % 1000 != 500) ? static_cast<std::uint8_t>((n + 500) / 1000)
                                                     : IEYUVGreenSlow(Y, U, V);
  Dst[2] = t.red[Y][V];
}

}  // namespace redozir
#pragma GCC visibility pop
