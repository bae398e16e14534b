#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/formats/byte_order.h"
#include "imaging/processing/convert_row.h"

using namespace redozir;

TEST(ByteOrder, SwapsExchangeTheOuterChannelsOfEveryPixel) {
  for (int n : {0, 1, 3, 4, 5, 6, 9, 10, 11, 40}) {
    std::vector<std::uint8_t> src(static_cast<size_t>(3 * n) + 3, 0xEE);
    for (size_t i = 0; i < static_cast<size_t>(3 * n); ++i) src[i] = static_cast<std::uint8_t>(i);
    std::vector<std::uint8_t> dst(src.size(), 0xEE);
    IECopyAndSwapRB(dst.data(), src.data(), n);
    auto inplace = src;
    IESwapRB(inplace.data(), n);
    auto row = src;
    IESwapRBRow(row.data(), 999, n);
    for (int p = 0; p < n; ++p) {
      EXPECT_EQ(dst[3 * p], src[3 * p + 2]);
      EXPECT_EQ(dst[3 * p + 1], src[3 * p + 1]);
      EXPECT_EQ(dst[3 * p + 2], src[3 * p]);
    }
    EXPECT_EQ(dst[3 * n], 0xEE) << "wrote past the pixels";
    EXPECT_EQ(std::vector<std::uint8_t>(dst.begin(), dst.begin() + 3 * n),
              std::vector<std::uint8_t>(inplace.begin(), inplace.begin() + 3 * n));
    EXPECT_EQ(row, inplace);
  }
  std::uint16_t w[6] = {1, 2, 3, 4, 5, 6};
  IESwapRB48(w, 2);
  EXPECT_EQ(std::vector<int>(w, w + 6), (std::vector<int>{3, 2, 1, 6, 5, 4}));
}

TEST(ConvertRow, EachPairByHand) {
  const TRGB pal[3] = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  struct Case {
    int sb, db, w;
    std::vector<std::uint8_t> src, want;
  } cases[] = {
      {1, 1, 10, {0xA5, 0xC0}, {0xA5, 0xC0}},
      {1, 8, 4, {0xA0}, {1, 0, 1, 0}},
      {1, 4, 3, {0xA0}, {0x10, 0x10}},
      {4, 8, 3, {0x21, 0x70}, {2, 1, 7}},
      {8, 1, 10, {1, 0, 0, 1, 0, 0, 0, 1, 1, 0}, {0x91, 0x80}},
      {1, 24, 2, {0x40}, {1, 2, 3, 4, 5, 6}},
      {4, 24, 3, {0x12, 0x00}, {4, 5, 6, 7, 8, 9, 1, 2, 3}},
      {8, 24, 2, {2, 9}, {7, 8, 9, 0, 0, 0}},  // index past the palette: black
      {32, 24, 2, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 5, 6, 7}},
      {24, 24, 1, {9, 8, 7}, {9, 8, 7}},
      {16, 24, 1, {1, 2}, {0xCC, 0xCC, 0xCC}},  // no such pair: untouched
  };
  for (const auto& c : cases) {
    std::vector<std::uint8_t> dst(c.want.size(), 0);
    if (c.sb == 16) dst.assign(3, 0xCC);
    _IEConvertRow(c.src.data(), dst.data(), static_cast<std::uint16_t>(c.sb),
                  static_cast<std::uint16_t>(c.db), static_cast<std::uint16_t>(c.w), pal, nullptr);
    EXPECT_EQ(dst, c.want) << c.sb << " -> " << c.db;
  }
}
