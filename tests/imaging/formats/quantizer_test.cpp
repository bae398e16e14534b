#include <gtest/gtest.h>

#include <cmath>

#include "imaging/core/ie_quantizer.h"
#include "imaging/formats/test_images.h"

using namespace redozir;

TEST(IEQuantizer, FewColoursGiveAnExactPalette) {
  auto src = MakePalette(40, 30, 17);
  IEConvertTo24(*src);
  std::vector<TRGB> pal(256);
  TIEQuantizer q(src.get(), pal.data(), 0x7FFFFFF, 32);
  EXPECT_EQ(q.ColorCount(), 17);
  std::vector<TRGB> row(40);
  for (int y = 0; y < 30; ++y) {
    IEGetRowRGB24(*src, y, row.data());
    for (const TRGB& c : row) EXPECT_EQ(pal[q.RGBIndex(c)], c);
  }
  // Entries beyond the colours found are black.
  EXPECT_EQ(pal[20], TRGB{});
}

TEST(IEQuantizer, ManyColoursStayCloseAndIndexIsTheNearestEntry) {
  auto src = MakeRGB(128, 96);
  for (int n : {2, 16, 64, 256}) {
    std::vector<TRGB> pal(256);
    TIEQuantizer q(src.get(), pal.data(), 0x7FFFFFF, n);
    EXPECT_LE(q.ColorCount(), n);
    EXPECT_GE(q.ColorCount(), std::min(n, 2));
    double err = 0;
    std::vector<TRGB> row(128);
    for (int y = 0; y < 96; y += 5) {
      IEGetRowRGB24(*src, y, row.data());
      for (const TRGB& c : row) {
        int i = q.RGBIndex(c);
        auto d = [&](int k) {
          int dr = pal[k].r - c.r, dg = pal[k].g - c.g, db = pal[k].b - c.b;
          return dr * dr + dg * dg + db * db;
        };
        for (int k = 0; k < q.ColorCount(); ++k) ASSERT_LE(d(i), d(k));
        err += std::sqrt(double(d(i)));
        // The cache answers the same the second time.
        ASSERT_EQ(q.RGBIndex(c), i);
      }
    }
    err /= (128.0 * 20);
    // The image's colours fill two 255 x 255 squares (red 40 and 200): with
    // n entries the best tiling has cells of side 255 / sqrt(n / 2), whose
    // mean distance to their centre is 0.383 x side (8.6 for 256, 17.3 for 64).
    if (n == 256) {
      EXPECT_LT(err, 8.6 * 1.15);
    }
    if (n == 64) {
      EXPECT_LT(err, 17.3 * 1.15);
    }
  }
}

TEST(IEQuantizer, LimitSamplesRowsAndAnEmptyImageGivesOneEntry) {
  auto src = MakeRGB(64, 64);
  std::vector<TRGB> pal(256);
  TIEQuantizer q(src.get(), pal.data(), 64 * 4, 8);
  EXPECT_GE(q.ColorCount(), 2);
  TIEBitmap empty;
  TIEQuantizer e(&empty, pal.data(), 100, 4);
  EXPECT_EQ(e.ColorCount(), 1);
  EXPECT_EQ(e.RGBIndex(TRGB{1, 2, 3}), 0);
}
