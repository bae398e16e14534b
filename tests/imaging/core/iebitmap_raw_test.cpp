#include <gtest/gtest.h>

#include <cstring>

#include "iebitmap_test_util.h"
#include "imaging/core/iebitmap.h"
#include "platform/byte_reader.h"

using namespace redozir;

using namespace testutil;

namespace {
std::vector<std::uint8_t> Raw(TIEBitmap& b) {
  TMemoryStream m;
  b.SaveRawToStream(m);
  return m.Bytes();
}
void Patch32(std::vector<std::uint8_t>& v, size_t at, std::uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<std::uint8_t>(x >> (8 * i));
}
}  // namespace

TEST(IEBitmapRaw, SaveThenLoadGivesTheSameBitmapForEveryFormat) {
  for (TIEPixelFormat pf : kAllFormats) {
    for (bool alpha : {false, true}) {
      SCOPED_TRACE(std::to_string(pf) + (alpha ? " with alpha" : ""));
      TIEBitmap b;
      Paint24(b, 19, 6, pf == ie1g ? Content::BlackWhite : Content::Colour, pf);
      b.ConvertToPixelFormat(pf);
      b.SetDitherMethod(1);
      if (alpha) b.GetAlphaChannel()->FillRect(2, 1, 5, 4, 9);
      std::vector<std::uint8_t> bytes = Raw(b);
      ASSERT_EQ(std::string(bytes.begin(), bytes.begin() + 12), "TIEBITMAPRAW");
      TIEBitmap c(2, 2, ie8g);
      c.GetAlphaChannel();  // a stale plane goes when the record has none
      TMemoryStream m(bytes);
      ASSERT_TRUE(c.LoadRawFromStream(m));
      EXPECT_EQ(m.Position(), m.Size());
      EXPECT_EQ(c.GetPixelFormat(), pf);
      EXPECT_EQ(c.GetWidth(), 19);
      EXPECT_EQ(c.GetHeight(), 6);
      EXPECT_EQ(c.DitherMethod(), 1);
      EXPECT_EQ(PixelBytes(c), PixelBytes(b));
      EXPECT_EQ(c.GetPaletteLength(), b.GetPaletteLength());
      for (int i = 0; i < b.GetPaletteLength(); ++i) ASSERT_EQ(c.GetPalette(i), b.GetPalette(i));
      ASSERT_EQ(c.HasAlphaChannel(), alpha);
      if (alpha) {
        EXPECT_EQ(PixelBytes(*c.GetAlphaChannel()), PixelBytes(*b.GetAlphaChannel()));
      }
      // Saving what was loaded gives the same bytes.
      EXPECT_EQ(Raw(c), bytes);
    }
  }
}

TEST(IEBitmapRaw, LoadsIntoTheDiskBufferAndAPlatformBitmap) {
  TIEBitmap b;
  Paint24(b, 40, 30, Content::Colour);
  b.GetAlphaChannel()->Fill(7);
  std::vector<std::uint8_t> bytes = Raw(b);
  TIEBitmap disk;
  disk.SetMemoryThreshold(100);
  TMemoryStream m1(bytes);
  ASSERT_TRUE(disk.LoadRawFromStream(m1));
  EXPECT_EQ(disk.Location(), ieFile);
  EXPECT_EQ(PixelBytes(disk), PixelBytes(b));
  TBitmap vcl(1, 1, pf24bit);
  TIEBitmap attached;
  attached.AttachTBitmap(&vcl);
  TMemoryStream m2(bytes);
  ASSERT_TRUE(attached.LoadRawFromStream(m2));
  EXPECT_EQ(vcl.Width(), 40);
  EXPECT_EQ(vcl.GetPixel(3, 4), RGB(b.GetPixels(3, 4).r, b.GetPixels(3, 4).g, b.GetPixels(3, 4).b));
}

TEST(IEBitmapRaw, BadRecordsFailAndLeaveTheBitmapAsItWas) {
  TIEBitmap src;
  Paint24(src, 9, 4, Content::Colour);
  src.GetAlphaChannel()->Fill(3);
  std::vector<std::uint8_t> good = Raw(src);
  // Offsets: version 12, palette length 16, used 20, width 24 (no palette),
  // height 28, format 32, flags 33, dither 34, alignment 35, rows 36.
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    bool raises;  // else answers False
  };
  auto with = [&](auto change) {
    std::vector<std::uint8_t> v = good;
    change(v);
    return v;
  };
  Case cases[] = {
      {"another signature", with([](auto& v) { v[0] = 'X'; }), false},
      {"too short for a signature", std::vector<std::uint8_t>(good.begin(), good.begin() + 5), false},
      {"empty", {}, false},
      {"unknown version", with([](auto& v) { Patch32(v, 12, 2); }), true},
      {"huge palette", with([](auto& v) { Patch32(v, 16, 0x7FFFFFFF); }), true},
      {"palette beyond the data", with([](auto& v) { Patch32(v, 16, 1000); }), true},
      {"entries in use beyond the palette", with([](auto& v) { Patch32(v, 20, 1); }), true},
      {"negative width", with([](auto& v) { Patch32(v, 24, 0xFFFFFFFF); }), true},
      {"huge size", with([](auto& v) { Patch32(v, 24, 0x7FFFFFFF), Patch32(v, 28, 0x7FFFFFFF); }), true},
      {"rows beyond the data", with([](auto& v) { Patch32(v, 28, 5); }), true},
      {"pixel format 0", with([](auto& v) { v[32] = 0; }), true},
      {"pixel format 11", with([](auto& v) { v[32] = 11; }), true},
      {"unknown flag", with([](auto& v) { v[33] |= 8; }), true},
      {"bad dither", with([](auto& v) { v[34] = 2; }), true},
      {"bad alignment", with([](auto& v) { v[35] = 24; }), true},
      {"truncated rows", std::vector<std::uint8_t>(good.begin(), good.begin() + 50), true},
      {"truncated alpha plane", std::vector<std::uint8_t>(good.begin(), good.end() - 1), true},
      {"bad alpha flags", with([](auto& v) { v[36 + 27 * 4] = 4; }), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TIEBitmap b;
    Paint24(b, 3, 2, Content::Colour, 99);
    b.ConvertToPixelFormat(ie8g);
    b.GetAlphaChannel()->Fill(200);
    std::string before = PixelBytes(b), alphaBefore = PixelBytes(*b.GetAlphaChannel());
    TMemoryStream m(c.bytes);
    if (c.raises) {
      EXPECT_THROW(b.LoadRawFromStream(m), EFormatError);
    } else {
      EXPECT_FALSE(b.LoadRawFromStream(m));
      if (c.bytes.size() >= 12) {
        EXPECT_EQ(m.Position(), 0);
      }
    }
    EXPECT_EQ(b.GetPixelFormat(), ie8g);
    EXPECT_EQ(b.GetWidth(), 3);
    EXPECT_EQ(PixelBytes(b), before);
    ASSERT_TRUE(b.HasAlphaChannel());
    EXPECT_EQ(PixelBytes(*b.GetAlphaChannel()), alphaBefore);
  }
}
