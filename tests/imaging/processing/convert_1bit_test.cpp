#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "imaging/core/ie_pixel.h"
#include "imaging/core/convert_1bit.h"

using namespace redozir;

namespace {
TRGB Grey(int v) {
  return TRGB{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v)};
}
TRGB Rgb(int r, int g, int b) {
  return TRGB{static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(r)};
}
void FillRGB(TIEBitmap& b, TRGB c) {
  for (int y = 0; y < b.GetHeight(); ++y)
    for (int x = 0; x < b.GetWidth(); ++x) reinterpret_cast<TRGB*>(b.GetScanline(y))[x] = c;
}
void SetRGB(TIEBitmap& b, int x, int y, TRGB c) { reinterpret_cast<TRGB*>(b.GetScanline(y))[x] = c; }
bool Bit(TIEBitmap& b, int x, int y) { return (b.GetScanline(y)[x >> 3] >> (7 - (x & 7))) & 1; }
int CountSet(TIEBitmap& b) {
  int n = 0;
  for (int y = 0; y < b.GetHeight(); ++y)
    for (int x = 0; x < b.GetWidth(); ++x) n += Bit(b, x, y);
  return n;
}
}  // namespace

TEST(OrderedDither, KeepsWhiteAndBlackAndPinsTheMatrixOrientation) {
  TIEBitmap w(8, 8, ie24RGB), k(8, 8, ie24RGB);
  FillRGB(w, Rgb(251, 251, 251));
  FillRGB(k, Grey(0));
  _IEConvertTo1bitOrdered(&w);
  _IEConvertTo1bitOrdered(&k);
  ASSERT_EQ(w.GetPixelFormat(), ie1g);
  EXPECT_EQ(CountSet(w), 64);
  EXPECT_EQ(CountSet(k), 0);
  // Grey 12 gives v = 3: white only where the entry is below 3, that is
  // entries 0 (x 0, y 0), 2 (matrix row 0, column 4: x 0, y 4) and
  // 1 (row 4, column 4).
  TIEBitmap g(8, 8, ie24RGB);
  FillRGB(g, Grey(12));
  _IEConvertTo1bitOrdered(&g);
  EXPECT_EQ(CountSet(g), 3);
  EXPECT_TRUE(Bit(g, 0, 0));
  EXPECT_TRUE(Bit(g, 0, 4));
  EXPECT_TRUE(Bit(g, 4, 4));
  EXPECT_FALSE(Bit(g, 4, 0));
  // 250 in one channel is not "above 250": (255, 255, 250) is grey 254,
  // v = 63, black where the entry is 63 (x 7, y 0).
  TIEBitmap n(8, 1, ie24RGB);
  FillRGB(n, Rgb(255, 255, 250));
  _IEConvertTo1bitOrdered(&n);
  EXPECT_FALSE(Bit(n, 7, 0));
  EXPECT_EQ(CountSet(n), 7);
  // Only ie24RGB is converted.
  TIEBitmap e(4, 4, ie8g);
  _IEConvertTo1bitOrdered(&e);
  EXPECT_EQ(e.GetPixelFormat(), ie8g);
}

TEST(Threshold, BoundaryAndAutomaticLevels) {
  // A grey equal to the level is white, one below is black.
  TIEBitmap s(3, 1, ie8g), d;
  s.GetScanline(0)[0] = 99;
  s.GetScanline(0)[1] = 100;
  s.GetScanline(0)[2] = 101;
  _IEConvertTo1bitThreshold(&s, &d, 100);
  ASSERT_EQ(d.GetPixelFormat(), ie1g);
  EXPECT_FALSE(Bit(d, 0, 0));
  EXPECT_TRUE(Bit(d, 1, 0));
  EXPECT_TRUE(Bit(d, 2, 0));

  // Maximum entropy on one grey level: no split, all white.
  TIEBitmap one(5, 2, ie24RGB);
  FillRGB(one, Grey(90));
  _IEConvertTo1bitThreshold(&one, &d, -2);
  EXPECT_EQ(CountSet(d), 10);
  // On two levels it always splits between them, whatever their shares.
  for (int dark : {1, 3, 5, 7, 9}) {
    TIEBitmap two(10, 1, ie24RGB);
    for (int x = 0; x < 10; ++x) SetRGB(two, x, 0, Grey(x < dark ? 50 : 200));
    _IEConvertTo1bitThreshold(&two, &d, -2);
    for (int x = 0; x < 10; ++x) EXPECT_EQ(Bit(d, x, 0), x >= dark) << dark << " " << x;
  }
  // Average level: each row's sum divided by the width, then by the height.
  TIEBitmap avg(4, 2, ie24RGB);
  FillRGB(avg, Grey(0));
  SetRGB(avg, 0, 0, Grey(255));
  SetRGB(avg, 1, 0, Grey(255));
  SetRGB(avg, 2, 0, Grey(127));
  SetRGB(avg, 3, 0, Grey(126));
  int r, g, b;
  _IEGetAverageColor(&avg, r, g, b);
  EXPECT_EQ(r, (255 + 255 + 127 + 126) / 4 / 2);  // 190 / 2 = 95
  _IEConvertTo1bitThreshold(&avg, &d, -1);
  EXPECT_TRUE(Bit(d, 2, 0));
  EXPECT_TRUE(Bit(d, 3, 0));
  EXPECT_FALSE(Bit(d, 0, 1));

  // In place keeps the alpha plane and leaves other formats.
  TIEBitmap ip(2, 2, ie24RGB);
  FillRGB(ip, Grey(200));
  ip.GetAlphaChannel()->GetScanline(1)[1] = 33;
  _IEConvertTo1bitInPlace(&ip, 128);
  EXPECT_EQ(ip.GetPixelFormat(), ie1g);
  EXPECT_EQ(ip.GetAlpha(1, 1), 33);
  EXPECT_EQ(CountSet(ip), 4);
}

TEST(Threshold, ReadsEveryFormatAsColours) {
  struct Case {
    TIEPixelFormat pf;
    std::vector<std::uint8_t> px;
    int grey;
  } cases[] = {
      {ie8g, {77}, 77},
      {ie16g, {0xFF, 77}, 77},
      {ie24RGB, {100, 100, 100}, 100},
      {ie32RGB, {10, 200, 30, 0}, (30 * 21 + 200 * 71 + 10 * 8) / 100},
      {ieRGB48, {0, 30, 0, 200, 0, 10}, (30 * 21 + 200 * 71 + 10 * 8) / 100},
  };
  for (const auto& c : cases) {
    TIEBitmap s(1, 1, c.pf), d;
    std::memcpy(s.GetScanline(0), c.px.data(), c.px.size());
    _IEConvertTo1bitThreshold(&s, &d, c.grey);
    EXPECT_TRUE(Bit(d, 0, 0)) << int(c.pf);
    _IEConvertTo1bitThreshold(&s, &d, c.grey + 1);
    EXPECT_FALSE(Bit(d, 0, 0)) << int(c.pf);
  }
  TIEBitmap f(1, 1, ie32f), d;
  const float v = 0.5f;
  std::memcpy(f.GetScanline(0), &v, 4);
  _IEConvertTo1bitThreshold(&f, &d, 128);  // 127.5 rounds to 128
  EXPECT_TRUE(Bit(d, 0, 0));
  TIEBitmap p(1, 1, ie8p);
  p.SetPalette(5, Rgb(0, 255, 0));
  p.GetScanline(0)[0] = 5;
  _IEConvertTo1bitThreshold(&p, &d, 181);
  EXPECT_TRUE(Bit(d, 0, 0));
  _IEConvertTo1bitThreshold(&p, &d, 182);
  EXPECT_FALSE(Bit(d, 0, 0));
}

TEST(GrayHistogramAndAverage, CountsAndEmptyImages) {
  TIEBitmap b(3, 2, ie8g);
  const std::uint8_t v[6] = {0, 5, 5, 255, 5, 0};
  for (int i = 0; i < 6; ++i) b.GetScanline(i / 3)[i % 3] = v[i];
  int h[256];
  _IEGetGrayHistogram(&b, h);
  EXPECT_EQ(h[0], 2);
  EXPECT_EQ(h[5], 3);
  EXPECT_EQ(h[255], 1);
  TIEBitmap one(10, 1, ie1g);
  std::memset(one.GetScanline(0), 0xF0, 4);
  _IEGetGrayHistogram(&one, h);
  EXPECT_EQ(h[1], 6);
  EXPECT_EQ(h[0], 4);
  // Grey formats count their level itself, colour pixels their weighted grey.
  const int saved[3] = {gRedToGrayCoef, gGreenToGrayCoef, gBlueToGrayCoef};
  gRedToGrayCoef = gGreenToGrayCoef = gBlueToGrayCoef = 30;
  TIEBitmap g100(1, 1, ie8g), c100(1, 1, ie24RGB);
  g100.GetScanline(0)[0] = 100;
  std::memset(c100.GetScanline(0), 100, 3);
  _IEGetGrayHistogram(&g100, h);
  EXPECT_EQ(h[100], 1);
  _IEGetGrayHistogram(&c100, h);
  EXPECT_EQ(h[90], 1);
  gRedToGrayCoef = saved[0];
  gGreenToGrayCoef = saved[1];
  gBlueToGrayCoef = saved[2];

  int r, g, bl;
  TIEBitmap empty;
  _IEGetAverageColor(&empty, r, g, bl);
  EXPECT_EQ(r, 128);
  EXPECT_EQ(g, 128);
  EXPECT_EQ(bl, 128);
  TIEBitmap w48(1, 1, ieRGB48);
  const std::uint16_t words[3] = {65535, 32896, 128};  // 255, 128 (128.0), 0.498 -> 0
  std::memcpy(w48.GetScanline(0), words, 6);
  _IEGetAverageColor(&w48, r, g, bl);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 128);
  EXPECT_EQ(bl, 0);
}

TEST(TwoColors, AnswersOnlyForExactlyTwoColours) {
  TRGB c0, c1;
  TIEBitmap one(4, 3, ie24RGB);
  FillRGB(one, Rgb(1, 2, 3));
  EXPECT_EQ(_IETwoColorsTo1bit(&one, c0, c1), nullptr);

  // Lighter colour first: the result is inverted, Color0 the darker.
  TIEBitmap two(10, 2, ie24RGB);
  FillRGB(two, Rgb(250, 250, 250));
  SetRGB(two, 3, 0, Rgb(10, 0, 0));
  SetRGB(two, 9, 1, Rgb(10, 0, 0));
  auto r = _IETwoColorsTo1bit(&two, c0, c1);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(c0, Rgb(10, 0, 0));
  EXPECT_EQ(c1, Rgb(250, 250, 250));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(Bit(*r, x, y), !((x == 3 && y == 0) || (x == 9 && y == 1)));

  // A third colour mid-row, at the end of the first row, or in the last row.
  for (auto [x, y] : {std::pair{5, 0}, std::pair{9, 0}, std::pair{9, 1}, std::pair{0, 1}}) {
    TIEBitmap three;
    three.Assign(&two);
    SetRGB(three, x, y, Rgb(0, 0, 255));
    EXPECT_EQ(_IETwoColorsTo1bit(&three, c0, c1), nullptr) << x << " " << y;
  }
  // Other formats read as colours: an ie8g image of two levels.
  TIEBitmap g(3, 1, ie8g);
  g.GetScanline(0)[0] = 9;
  g.GetScanline(0)[1] = 200;
  g.GetScanline(0)[2] = 9;
  r = _IETwoColorsTo1bit(&g, c0, c1);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(c0, Grey(9));
  EXPECT_FALSE(Bit(*r, 0, 0));
  EXPECT_TRUE(Bit(*r, 1, 0));
}

TEST(NearestPaletteIndex, FirstOfEquallyNearEntries) {
  const TRGB pal[4] = {Rgb(0, 0, 0), Rgb(10, 10, 10), Rgb(30, 10, 10), Rgb(10, 10, 30)};
  EXPECT_EQ(_IENearestPaletteIndex(pal, 4, Rgb(20, 10, 20)), 1);  // 20 from 1, 20 from 2 and 3
  EXPECT_EQ(_IENearestPaletteIndex(pal, 4, Rgb(29, 10, 10)), 2);
  EXPECT_EQ(_IENearestPaletteIndex(pal, 4, Rgb(255, 255, 255)), 2);  // 715 beats 725
  EXPECT_EQ(_IENearestPaletteIndex(pal, 0, Rgb(9, 9, 9)), 0);
}

TEST(OneBitTBitmapTo24, ExpandsWholeAndPartialBytes) {
  TBitmap src(11, 2, pf1bit), dst(3, 3, pf8bit);
  src.ScanLine(0)[0] = 0x81;
  src.ScanLine(0)[1] = 0xA0;
  src.ScanLine(1)[1] = 0x20;
  std::vector<int> reports;
  TIEProgressEvent ev = [&](TObject*, int per) { reports.push_back(per); };
  TIEProgressRecord pr;
  pr.fOnProgress = &ev;
  _IEConvert1bitTBitmapTo24(&src, &dst, pr);
  ASSERT_EQ(dst.PixelFormat(), pf24bit);
  ASSERT_EQ(dst.Width(), 11);
  const bool want0[11] = {1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 1};
  for (int x = 0; x < 11; ++x) {
    EXPECT_EQ(dst.ScanLine(0)[3 * x], want0[x] ? 255 : 0) << x;
    EXPECT_EQ(dst.ScanLine(0)[3 * x + 2], want0[x] ? 255 : 0) << x;
    EXPECT_EQ(dst.ScanLine(1)[3 * x + 1], x == 10 ? 255 : 0) << x;
  }
  EXPECT_EQ(reports, (std::vector<int>{40, 80}));  // 100 / 2.5 per row
}

TEST(Gray24, RectangleOnlyWithProgressUpTo100) {
  TIEBitmap b(4, 3, ie24RGB);
  FillRGB(b, Rgb(100, 200, 50));
  std::vector<int> reports;
  TIEProgressEvent ev = [&](TObject*, int per) { reports.push_back(per); };
  _IEConvertToGray24(&b, 1, 1, 99, 99, &ev, nullptr);
  const int g = (100 * 21 + 200 * 71 + 50 * 8) / 100;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(reinterpret_cast<TRGB*>(b.GetScanline(y))[x],
                (x >= 1 && y >= 1) ? Grey(g) : Rgb(100, 200, 50));
  EXPECT_EQ(reports, (std::vector<int>{67, 100}));  // 100 / 1.5 per row, the last held at 100
}

TEST(PixelFormatChange, ToOneBitFollowsTheDitherByte) {
  // Ordered: grey 12 gives white only at the matrix entries below 3.
  TIEBitmap g(8, 8, ie8g);
  for (int y = 0; y < 8; ++y) std::memset(g.GetScanline(y), 12, 8);
  g.SetDitherMethod(0);
  g.SetPixelFormat(ie1g);
  ASSERT_EQ(g.GetPixelFormat(), ie1g);
  EXPECT_EQ(CountSet(g), 3);
  EXPECT_TRUE(Bit(g, 0, 4));
  // Threshold at the average level.
  TIEBitmap t(4, 1, ie8g);
  const std::uint8_t v[4] = {10, 20, 30, 40};  // average 25
  std::memcpy(t.GetScanline(0), v, 4);
  t.SetDitherMethod(1);
  t.SetPixelFormat(ie1g);
  EXPECT_FALSE(Bit(t, 1, 0));
  EXPECT_TRUE(Bit(t, 2, 0));
}

TEST(EmptyImages, AreLeftAloneByTheOneBitAndColourRoutines) {
  // A 0 x N bitmap has no row memory at all: a routine that walks its rows
  // hands a null row to memset or memcpy (UBSan stops there).
  for (auto [w, h] : {std::pair{0, 3}, std::pair{3, 0}}) {
    TIEBitmap src(w, h, ie24RGB), dst;
    for (int t : {-2, -1, 128}) {
      _IEConvertTo1bitThreshold(&src, &dst, t);
      EXPECT_EQ(dst.GetPixelFormat(), ie1g);
      EXPECT_EQ(dst.GetWidth(), w);
    }
    IEConvertTo1bitOrderedInto(&src, &dst);
    EXPECT_EQ(dst.GetHeight(), h);
    _IEConvertTo1bitInPlace(&src, -1);
    _IEConvertTo1bitOrdered(&src);
    EXPECT_EQ(src.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(src.GetWidth(), w);
    TRGB c0{}, c1{};
    EXPECT_EQ(_IETwoColorsTo1bit(&src, c0, c1), nullptr);
    _IEConvertToGray24(&src, 0, 0, 5, 5, nullptr, nullptr);
    EXPECT_EQ(src.GetHeight(), h);
  }
}
