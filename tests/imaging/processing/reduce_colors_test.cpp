#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "imaging/core/ie_quantizer.h"
#include "imaging/processing/convert_row.h"
#include "imaging/processing/reduce_colors.h"

using namespace redozir;

namespace {
std::set<int> Colours(TIEBitmap& b) {
  std::set<int> s;
  for (int y = 0; y < b.GetHeight(); ++y) {
    auto* p = reinterpret_cast<TRGB*>(b.GetScanline(y));
    for (int x = 0; x < b.GetWidth(); ++x) s.insert(p[x].r << 16 | p[x].g << 8 | p[x].b);
  }
  return s;
}
void Gradient(TIEBitmap& b) {
  for (int y = 0; y < b.GetHeight(); ++y) {
    auto* p = reinterpret_cast<TRGB*>(b.GetScanline(y));
    for (int x = 0; x < b.GetWidth(); ++x)
      p[x] = TRGB{static_cast<std::uint8_t>(x * 4), static_cast<std::uint8_t>(y * 4),
                  static_cast<std::uint8_t>(x + y)};
  }
}
}  // namespace

TEST(ReduceColors, LimitsTheColoursAndReportsThePalette) {
  for (int n : {3, 16, 256}) {
    TIEBitmap b(64, 64, ie24RGB);
    Gradient(b);
    std::vector<TRGB> pal(static_cast<size_t>(n) + 1, TRGB{1, 2, 3});
    _IEReduceColors(&b, n, pal.data());
    ASSERT_EQ(b.GetPixelFormat(), ie24RGB);
    auto got = Colours(b);
    EXPECT_LE(got.size(), static_cast<size_t>(n));
    std::set<int> inPalette;
    for (int i = 0; i < n; ++i) inPalette.insert(pal[i].r << 16 | pal[i].g << 8 | pal[i].b);
    for (int c : got) EXPECT_TRUE(inPalette.count(c)) << n;
    EXPECT_EQ(pal[static_cast<size_t>(n)], (TRGB{1, 2, 3})) << "wrote past the palette";
  }
  // Few colours come through exactly.
  TIEBitmap two(4, 1, ie24RGB);
  auto* p = reinterpret_cast<TRGB*>(two.GetScanline(0));
  p[0] = p[1] = TRGB{1, 2, 3};
  p[2] = p[3] = TRGB{200, 100, 0};
  _IEReduceColors(&two, 8, nullptr);
  EXPECT_EQ(p[0], (TRGB{1, 2, 3}));
  EXPECT_EQ(p[3], (TRGB{200, 100, 0}));
}

TEST(ConvertRow, TwentyFourBitsToIndicesThroughTheQuantizer) {
  const std::vector<TRGB> colours = {{0, 0, 0}, {255, 255, 255}, {0, 0, 255}};
  TRGB pal[4];
  TIEQuantizer q(colours, pal, 4);
  const TRGB row[3] = {{0, 0, 250}, {250, 250, 250}, {3, 3, 3}};
  std::uint8_t d8[3];
  _IEConvertRow(row, d8, 24, 8, 3, {}, &q);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(pal[d8[i]], colours[static_cast<size_t>(2 - i)]);
  std::uint8_t d4[2] = {0, 0};
  _IEConvertRow(row, d4, 24, 4, 3, {}, &q);
  EXPECT_EQ(d4[0] >> 4, d8[0]);
  EXPECT_EQ(d4[0] & 15, d8[1]);
  EXPECT_EQ(d4[1] >> 4, d8[2]);
}
