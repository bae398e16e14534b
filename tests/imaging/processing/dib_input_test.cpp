#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "dib_builder.h"
#include "imaging/processing/dib_input.h"
#include "imaging/processing/video_frames.h"
#include "imaging/processing/yuv.h"
#include "platform/byte_reader.h"

using namespace redozir;

namespace {
TRGB Px(TIEBitmap& b, int x, int y) { return reinterpret_cast<TRGB*>(b.GetScanline(y))[x]; }
TRGB Rgb(int r, int g, int b) {
  return TRGB{static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(r)};
}
int Load(const TDIBBuilder& d, TIEBitmap& dst) {
  return _CopyDIBtoBitmapEx(d.b.data(), static_cast<std::int64_t>(d.b.size()), &dst);
}
TRGB YUV(int y, int u, int v) {
  TRGB c;
  IEYUVToRGB(y, u, v, &c);
  return c;
}
}  // namespace

TEST(YUVToRGB, StudioRangeEndsAndSaturatedColours) {
  EXPECT_EQ(YUV(235, 128, 128), Rgb(255, 255, 255));  // 1.164 x 219 = 254.9
  EXPECT_EQ(YUV(16, 128, 128), Rgb(0, 0, 0));
  EXPECT_EQ(YUV(81, 90, 240), Rgb(254, 0, 0));        // red: 75.66 + 178.75 = 254.4; green -0.5 gives 0
  EXPECT_EQ(YUV(41, 240, 110), Rgb(0, 0, 255));       // blue: 29.1 + 226.0 = 255.1
  EXPECT_EQ(YUV(126, 128, 128), Rgb(128, 128, 128));  // 1.164 x 110 = 128.04
}

// The integer path with its extended-precision tie-break against the
// formula computed wholly in extended precision.
TEST(YUVToRGB, MatchesTheExtendedPrecisionFormula) {
  auto ref = [](long double v) {
    long double r = std::nearbyint(v);
    return static_cast<int>(r < 0 ? 0 : r > 255 ? 255 : r);
  };
  int ties = 0;
  for (int y = 0; y < 256; ++y)
    for (int u = y % 3; u < 256; u += 3)
      for (int v = u % 5; v < 256; v += 5) {
        TRGB c = YUV(y, u, v);
        const long double Y = y, U = u, V = v;
        ASSERT_EQ(c.b, ref(1.164L * (Y - 16) + 2.018L * (U - 128))) << y << " " << u << " " << v;
        ASSERT_EQ(c.g, ref(1.164L * (Y - 16) - 0.813L * (V - 128) - 0.391L * (U - 128)))
            << y << " " << u << " " << v;
        ASSERT_EQ(c.r, ref(1.164L * (Y - 16) + 1.596L * (V - 128))) << y << " " << u << " " << v;
        if ((1164 * (y - 16) + 1596 * (v - 128)) % 1000 == 500) ++ties;
      }
  EXPECT_GT(ties, 0);
}

TEST(DIBInput, VideoFramesByHand) {
  // YUY2 2 x 1: Y 235 and 16 with neutral chroma give white then black.
  TIEBitmap b;
  TDIBBuilder yuy2;
  yuy2.Header(2, 1, 16, IEFourCC("YUY2")).Bytes({235, 128, 16, 128});
  EXPECT_EQ(Load(yuy2, b), 16);
  ASSERT_EQ(b.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(Px(b, 0, 0), Rgb(255, 255, 255));
  EXPECT_EQ(Px(b, 1, 0), Rgb(0, 0, 0));

  // I420 and YV12 of a 2 x 2 saturated red (Y 81, U 90, V 240): the same
  // bytes in the other plane order read as another colour.
  TDIBBuilder i420, yv12;
  i420.Header(2, 2, 12, IEFourCC("I420")).Bytes({81, 81, 81, 81, 90, 240});
  yv12.Header(2, 2, 12, IEFourCC("YV12")).Bytes({81, 81, 81, 81, 240, 90});
  TIEBitmap a, c;
  Load(i420, a);
  Load(yv12, c);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) {
      EXPECT_EQ(Px(a, x, y), Rgb(254, 0, 0));
      EXPECT_EQ(Px(c, x, y), Rgb(254, 0, 0));
    }
  TDIBBuilder swapped;
  swapped.Header(2, 2, 12, IEFourCC("YV12")).Bytes({81, 81, 81, 81, 90, 240});
  Load(swapped, c);
  EXPECT_EQ(Px(c, 0, 0), YUV(81, 240, 90));
}

TEST(DIBInput, EveryPackedLayoutPlacesItsSamples) {
  // Each layout, two units wide where a unit is small, one or two rows;
  // expected pixels from the layout table.
  struct Case {
    const char* fourcc;
    int w, h;
    std::vector<int> bytes;
    std::vector<std::vector<int>> yuv;  // per pixel in destination order (row 0 first)
  } cases[] = {
      {"IYU1",
       4,
       1,
       {100, 50, 60, 200, 70, 80},
       {{50, 100, 200}, {60, 100, 200}, {70, 100, 200}, {80, 100, 200}}},
      {"IYU2", 2, 1, {100, 50, 200, 110, 60, 210}, {{50, 100, 200}, {60, 110, 210}}},
      {"UYVY", 2, 1, {100, 50, 200, 60}, {{50, 100, 200}, {60, 100, 200}}},
      {"UYNV", 2, 1, {100, 50, 200, 60}, {{50, 100, 200}, {60, 100, 200}}},
      {"YUY2", 2, 1, {50, 100, 60, 200}, {{50, 100, 200}, {60, 100, 200}}},
      {"YUNV", 2, 1, {50, 100, 60, 200}, {{50, 100, 200}, {60, 100, 200}}},
      {"YVYU", 2, 1, {50, 200, 60, 100}, {{50, 100, 200}, {60, 100, 200}}},
      {"Y211", 4, 1, {50, 100, 60, 200}, {{50, 100, 200}, {50, 100, 200}, {60, 100, 200}, {60, 100, 200}}},
      // bottom-up: the first stored row is the last destination row
      {"cyuv",
       2,
       2,
       {100, 50, 200, 60, 110, 70, 210, 80},
       {{70, 110, 210}, {80, 110, 210}, {50, 100, 200}, {60, 100, 200}}},
      {"Y41P",
       8,
       1,
       {100, 10, 200, 11, 110, 12, 210, 13, 14, 15, 16, 17},
       {{10, 100, 200},
        {11, 100, 200},
        {12, 100, 200},
        {13, 100, 200},
        {14, 110, 210},
        {15, 110, 210},
        {16, 110, 210},
        {17, 110, 210}}},
  };
  for (const auto& c : cases) {
    TDIBBuilder d;
    d.Header(c.w, c.h, 16, IEFourCC(*reinterpret_cast<const char(*)[5]>(c.fourcc)));
    for (int v : c.bytes) d.Bytes({v});
    TIEBitmap b;
    Load(d, b);
    ASSERT_EQ(b.GetWidth(), c.w) << c.fourcc;
    for (size_t i = 0; i < c.yuv.size(); ++i) {
      const int x = static_cast<int>(i) % c.w, y = static_cast<int>(i) / c.w;
      EXPECT_EQ(Px(b, x, y), YUV(c.yuv[i][0], c.yuv[i][1], c.yuv[i][2])) << c.fourcc << " pixel " << i;
    }
  }
}

TEST(DIBInput, CLJRFieldsAreBroughtToEightBits) {
  // V = 63, U = 0, Y0 = 31, Y1 = 0, Y2 = 16, Y3 = 1.
  const std::uint32_t w = 63u | 0u << 6 | 31u << 12 | 0u << 17 | 16u << 22 | 1u << 27;
  TDIBBuilder d;
  d.Header(4, 1, 8, IEFourCC("CLJR")).U32(w);
  TIEBitmap b;
  Load(d, b);
  EXPECT_EQ(Px(b, 0, 0), YUV(255, 0, 255));
  EXPECT_EQ(Px(b, 1, 0), YUV(0, 0, 255));
  EXPECT_EQ(Px(b, 2, 0), YUV(132, 0, 255));
  EXPECT_EQ(Px(b, 3, 0), YUV(8, 0, 255));
}

TEST(DIBInput, OddPlanarSizesStayInsideThePlanes) {
  // 3 x 3 I420: chroma planes 1 x 1; the last row and column reuse them.
  TDIBBuilder d;
  d.Header(3, 3, 12, IEFourCC("I420")).Fill(9, 126).Bytes({90, 240});
  d.b.shrink_to_fit();
  TIEBitmap b;
  Load(d, b);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Px(b, x, y), YUV(126, 90, 240));
  // 1 x 5 YVU9: no chroma at all, neutral.
  TDIBBuilder e;
  e.Header(1, 5, 9, IEFourCC("YVU9")).Fill(5, 235);
  Load(e, b);
  for (int y = 0; y < 5; ++y) EXPECT_EQ(Px(b, 0, y), Rgb(255, 255, 255));
  // 5 x 4 YVU9: one chroma sample for columns 0-3, column 4 reuses it.
  TDIBBuilder f;
  f.Header(5, 4, 9, IEFourCC("YVU9")).Fill(20, 81).Bytes({240, 90});
  Load(f, b);
  EXPECT_EQ(Px(b, 4, 3), Rgb(254, 0, 0));
  // YUY2 of odd width: the unstored last pixel is black.
  TDIBBuilder g;
  g.Header(3, 1, 16, IEFourCC("YUY2")).Bytes({235, 128, 235, 128});
  Load(g, b);
  EXPECT_EQ(Px(b, 1, 0), Rgb(255, 255, 255));
  EXPECT_EQ(Px(b, 2, 0), Rgb(0, 0, 0));
}

TEST(DIBInput, UncompressedLayoutsByHand) {
  TIEBitmap b;
  // 16 bits, BI_RGB 5-5-5: 0x7FFF gives 248 per channel.
  TDIBBuilder d16;
  d16.Header(1, 1, 16).Bytes({0xFF, 0x7F, 0, 0});
  EXPECT_EQ(Load(d16, b), 16);
  EXPECT_EQ(Px(b, 0, 0), Rgb(248, 248, 248));
  // 16 bits, bit fields 5-6-5: 0xF800 is red 248.
  TDIBBuilder d565;
  d565.Header(2, 1, 16, 3).U32(0xF800);
  d565.U32(0x07E0);
  d565.U32(0x001F);
  d565.Bytes({0x00, 0xF8, 0xE0, 0x07});
  Load(d565, b);
  EXPECT_EQ(Px(b, 0, 0), Rgb(248, 0, 0));
  EXPECT_EQ(Px(b, 1, 0), Rgb(0, 252, 0));
  // 4 bits of width 5: the fifth pixel is the high nibble of the third byte.
  TDIBBuilder d4;
  d4.Header(5, 1, 4, 0, 6);
  for (int i = 0; i < 6; ++i) d4.Quad(10 * i, 0, 0);
  d4.Bytes({0x01, 0x23, 0x45, 0x00});
  Load(d4, b);
  ASSERT_EQ(b.GetWidth(), 5);
  for (int x = 0; x < 5; ++x) EXPECT_EQ(Px(b, x, 0), Rgb(10 * x, 0, 0));
  // 8 bits with biClrUsed 16: the pixels start 64 bytes after the header.
  TDIBBuilder d8;
  d8.Header(2, 1, 8, 0, 16);
  for (int i = 0; i < 16; ++i) d8.Quad(i, 2 * i, 3 * i);
  d8.Bytes({15, 3, 0, 0});
  ASSERT_EQ(d8.b.size(), 40u + 64 + 4);
  Load(d8, b);
  EXPECT_EQ(Px(b, 0, 0), Rgb(15, 30, 45));
  EXPECT_EQ(Px(b, 1, 0), Rgb(3, 6, 9));
  // 32 bits: byte 3 dropped; two rows bottom-up.
  TDIBBuilder d32;
  d32.Header(1, 2, 32).Bytes({1, 2, 3, 4, 5, 6, 7, 8});
  Load(d32, b);
  EXPECT_EQ(Px(b, 0, 1), Rgb(3, 2, 1));
  EXPECT_EQ(Px(b, 0, 0), Rgb(7, 6, 5));
  // 24 bits, negative height: top-down.
  TDIBBuilder d24;
  d24.Header(1, -2, 24).Bytes({1, 2, 3, 0, 4, 5, 6, 0});
  Load(d24, b);
  ASSERT_EQ(b.GetHeight(), 2);
  EXPECT_EQ(Px(b, 0, 0), Rgb(3, 2, 1));
  EXPECT_EQ(Px(b, 0, 1), Rgb(6, 5, 4));
}

TEST(DIBInput, OneBitKeepsItsBitsAndItsColours) {
  TIEBitmap b;
  TDIBBuilder bw;
  bw.Header(10, 1, 1).Quad(0, 0, 0).Quad(255, 255, 255).Bytes({0xA5, 0x80, 0, 0});
  EXPECT_EQ(Load(bw, b), 1);
  ASSERT_EQ(b.GetPixelFormat(), ie1g);
  EXPECT_EQ(b.GetScanline(0)[0], 0xA5);
  EXPECT_EQ(b.GetScanline(0)[1] & 0xC0, 0x80);
  // White listed first: the same picture comes out with inverted bits.
  TDIBBuilder wb;
  wb.Header(10, 1, 1).Quad(255, 255, 255).Quad(0, 0, 0).Bytes({0x5A, 0x7F, 0, 0});
  Load(wb, b);
  ASSERT_EQ(b.GetPixelFormat(), ie1g);
  EXPECT_EQ(b.GetScanline(0)[0], 0xA5);
  EXPECT_EQ(b.GetScanline(0)[1] & 0xC0, 0x80);
  // Any other pair of colours is kept in 24 bits.
  TDIBBuilder rg;
  rg.Header(2, 1, 1).Quad(255, 0, 0).Quad(0, 0, 255).Bytes({0x40, 0, 0, 0});
  Load(rg, b);
  ASSERT_EQ(b.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(Px(b, 0, 0), Rgb(255, 0, 0));
  EXPECT_EQ(Px(b, 1, 0), Rgb(0, 0, 255));
}

TEST(DIBInput, BitsArgumentReplacesThePixelsButNotTheTable) {
  TDIBBuilder d;
  d.Header(2, 1, 8, 0, 2).Quad(1, 1, 1).Quad(9, 9, 9).Bytes({0, 0, 0, 0});
  const std::uint8_t bits[4] = {1, 0, 0, 0};
  TIEBitmap b;
  _CopyDIBtoBitmapEx(d.b.data(), static_cast<std::int64_t>(d.b.size()), &b, bits, 4);
  EXPECT_EQ(Px(b, 0, 0), Rgb(9, 9, 9));
  EXPECT_EQ(Px(b, 1, 0), Rgb(1, 1, 1));
  EXPECT_THROW(_CopyDIBtoBitmapEx(d.b.data(), static_cast<std::int64_t>(d.b.size()), &b, bits, 3),
               EFormatError);
}

TEST(DIBInput, RefusesWhatDoesNotFitTheBlockAndLeavesTheBitmap) {
  auto mk = [](auto f) {
    TDIBBuilder d;
    f(d);
    return d;
  };
  struct Case {
    const char* what;
    TDIBBuilder d;
  } cases[] = {
      {"header cut short", mk([](TDIBBuilder& d) {
         d.Header(1, 1, 24);
         d.b.resize(30);
       })},
      {"header size below 40", mk([](TDIBBuilder& d) {
         d.Header(1, 1, 24).Fill(4, 0);
         d.b[0] = 12;
       })},
      {"header size past the block", mk([](TDIBBuilder& d) {
         d.Header(1, 1, 24).Fill(4, 0);
         d.b[0] = 200;
       })},
      {"zero width", mk([](TDIBBuilder& d) { d.Header(0, 1, 24).Fill(4, 0); })},
      {"negative width", mk([](TDIBBuilder& d) { d.Header(-4, 1, 24).Fill(4, 0); })},
      {"zero height", mk([](TDIBBuilder& d) { d.Header(1, 0, 24).Fill(4, 0); })},
      {"most negative height", mk([](TDIBBuilder& d) { d.Header(1, INT32_MIN, 24).Fill(4, 0); })},
      {"huge size, little data", mk([](TDIBBuilder& d) { d.Header(100000, 100000, 24).Fill(64, 0); })},
      {"pixels cut short", mk([](TDIBBuilder& d) { d.Header(2, 2, 24).Fill(12, 0); })},
      {"colour count above 2^bits", mk([](TDIBBuilder& d) { d.Header(1, 1, 4, 0, 17).Fill(17 * 4 + 4, 0); })},
      {"colour table past the block", mk([](TDIBBuilder& d) { d.Header(1, 1, 8).Fill(40, 0); })},
      {"index beyond the table", mk([](TDIBBuilder& d) {
         d.Header(2, 1, 8, 0, 2).Fill(8, 0).Bytes({1, 2, 0, 0});
       })},
      {"1-bit index beyond a 1-entry table", mk([](TDIBBuilder& d) {
         d.Header(3, 1, 1, 0, 1).Fill(4, 0).Bytes({0x20, 0, 0, 0});
       })},
      {"mask shift out of range", mk([](TDIBBuilder& d) {
         d.Header(1, 1, 16, 3).U32(0x0001);  // red one bit wide at the bottom
         d.U32(0x0002);
         d.U32(0xFFFF);
         d.Fill(4, 0);
       })},
      {"masks past the block", mk([](TDIBBuilder& d) { d.Header(1, 1, 16, 3).U32(0xF800); })},
      {"video frame cut short", mk([](TDIBBuilder& d) { d.Header(4, 4, 12, IEFourCC("I420")).Fill(23, 0); })},
      // Rows narrower than one unit store nothing: no height needs a byte.
      {"YUY2 one pixel wide",
       mk([](TDIBBuilder& d) { d.Header(1, 1000, 16, IEFourCC("YUY2")).Fill(40, 0); })},
      {"Y41P seven pixels wide",
       mk([](TDIBBuilder& d) { d.Header(7, 1000, 12, IEFourCC("Y41P")).Fill(40, 0); })},
  };
  for (auto& c : cases) {
    TIEBitmap b(3, 3, ie8g);
    b.GetScanline(1)[1] = 42;
    EXPECT_THROW(Load(c.d, b), EFormatError) << c.what;
    EXPECT_EQ(b.GetWidth(), 3) << c.what;
    EXPECT_EQ(b.GetPixelFormat(), ie8g) << c.what;
    EXPECT_EQ(b.GetScanline(1)[1], 42) << c.what;
  }
  TIEBitmap b;
  EXPECT_THROW(_CopyDIBtoBitmapEx(nullptr, 0, &b), EFormatError);
}

TEST(DIBInput, TheFrameDecoderChecksItsDestinationAndItsBytes) {
  const std::uint8_t yuy2[16] = {235, 128, 16, 128, 235, 128, 16, 128, 235, 128, 16, 128, 235, 128, 16, 128};
  struct Case {
    const char* what;
    TIEPixelFormat pf;
    int w, h;
    std::int64_t size;
  } cases[] = {
      {"grey destination", ie8g, 4, 2, 16},
      {"32-bit destination", ie32RGB, 4, 2, 16},
      {"bytes for half the rows", ie24RGB, 4, 2, 8},
      {"narrower than a unit", ie24RGB, 1, 2, 16},
  };
  for (const auto& c : cases) {
    TIEBitmap d(c.w, c.h, c.pf);
    d.GetScanline(0)[0] = 42;
    EXPECT_THROW(IEDecodeVideoFrame(IEFourCC("YUY2"), yuy2, c.size, &d, false), EFormatError) << c.what;
    EXPECT_EQ(d.GetScanline(0)[0], 42) << c.what;
  }
  TIEBitmap d(4, 2, ie24RGB);
  IEDecodeVideoFrame(IEFourCC("YUY2"), yuy2, 16, &d, false);
  EXPECT_EQ(d.GetScanline(1)[9], 0);  // the last pixel: Y 16, black
  EXPECT_EQ(d.GetScanline(1)[6], 255);
}

TEST(DIBInput, UnsupportedLayoutsEmptyTheBitmapAndSaySo) {
  struct Case {
    int bits;
    std::uint32_t compression;
  } cases[] = {
      {8, 1}, {4, 2}, {24, 3}, {32, 1}, {16, 2}, {12, 0}, {24, IEFourCC("MJPG")}, {1, 3},
  };
  for (const auto& c : cases) {
    TDIBBuilder d;
    d.Header(2, 2, c.bits, c.compression).Fill(2048, 0);
    TIEBitmap b(3, 3, ie24RGB);
    try {
      Load(d, b);
      ADD_FAILURE() << "no exception for " << c.bits << " bits, compression " << c.compression;
    } catch (const EFormatError& e) {
      EXPECT_NE(std::string(e.what()).find("unsupported"), std::string::npos) << e.what();
    }
    EXPECT_EQ(b.GetWidth(), 0);
    EXPECT_EQ(b.GetHeight(), 0);
  }
}
