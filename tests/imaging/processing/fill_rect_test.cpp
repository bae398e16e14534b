#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/processing/fill_rect.h"

using namespace redozir;

namespace {
bool Bit(TIEBitmap& b, int x, int y) { return (b.GetScanline(y)[x >> 3] >> (7 - (x & 7))) & 1; }
}  // namespace

TEST(FillRect, OneBitColumnsLeaveTheNeighbouringBitsAlone) {
  for (bool on : {true, false}) {
    TIEBitmap b(20, 3, ie1g);
    // Alternating bits, so that a change on either side shows.
    for (int y = 0; y < 3; ++y) std::memset(b.GetScanline(y), 0xAA, b.GetRowLen());
    TRGB c = on ? TRGB{0, 0, 255} : TRGB{255, 255, 0};  // red 255 sets, red 0 clears
    _IEFillRect(&b, 3, 1, 13, 2, c, nullptr, nullptr);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 20; ++x) {
        bool inside = y == 1 && x >= 3 && x <= 12;
        EXPECT_EQ(Bit(b, x, y), inside ? on : x % 2 == 0) << x << "," << y;
      }
  }
}

TEST(FillRect, RectangleIsCutToTheBitmapAndProgressEndsAt100) {
  TIEBitmap b(10, 6, ie24RGB);
  b.Fill(0);
  std::vector<int> seen;
  TIEProgressEvent ev = [&](TObject*, int per) { seen.push_back(per); };
  _IEFillRect(&b, -5, 4, 3, 99, TRGB{1, 2, 3}, ev, nullptr);
  EXPECT_EQ(seen, (std::vector<int>{67, 100}));  // 100 / 1.5 per row, the last one limited
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 10; ++x)
      EXPECT_EQ(b.GetScanline(y)[3 * x + 2], (y >= 4 && x < 3) ? 3 : 0) << x << "," << y;
  seen.clear();
  _IEFillRect(&b, 5, 2, 6, 3, TRGB{1, 2, 3}, ev, nullptr);
  EXPECT_EQ(seen, std::vector<int>{100});
  seen.clear();
  _IEFillRect(&b, 6, 2, 5, 3, TRGB{9, 9, 9}, ev, nullptr);    // inverted: nothing
  _IEFillRect(&b, 10, 0, 20, 6, TRGB{9, 9, 9}, ev, nullptr);  // outside: nothing
  EXPECT_TRUE(seen.empty());
}

TEST(FillRect, GreyAndPaletteImagesTakeTheirOwnValue) {
  TIEBitmap g(4, 2, ie8g);
  g.Fill(0);
  _IEFillRect(&g, 0, 0, 4, 2, TRGB{10, 20, 250}, nullptr, nullptr);
  EXPECT_EQ(g.GetScanline(1)[3], (250 * 21 + 20 * 71 + 10 * 8) / 100);

  TIEBitmap p(4, 2, ie8p);
  p.Fill(0);
  for (int i = 0; i < 256; ++i) p.SetPalette(i, TRGB{0, 0, 0});
  p.SetPalette(7, TRGB{0, 200, 0});
  _IEFillRect(&p, 0, 0, 4, 2, TRGB{10, 190, 5}, nullptr, nullptr);
  EXPECT_EQ(p.GetScanline(0)[0], 7) << "the nearest entry, not the colour as an index";
}
