#include <gtest/gtest.h>

#include <cstring>

#include "iebitmap_test_util.h"
#include "imaging/core/ie_color.h"
#include "imaging/core/ie_workbitmap.h"
#include "imaging/core/iebitmap.h"

using namespace redozir;

using namespace testutil;

namespace {
// A w x h ie8g bitmap whose pixel (x, y) holds 10 y + x.
void Numbered(TIEBitmap& b, int w, int h) {
  b.Allocate(w, h, ie8g);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.GetScanline(y)[x] = static_cast<std::uint8_t>(10 * y + x);
}
int At(TIEBitmap& b, int x, int y) { return b.GetScanline(y)[x]; }
}  // namespace

TEST(IEBitmapRegion, CopyRectToClipsToBothBitmaps) {
  struct Case {
    int sx, sy, dx, dy, w, h;
    int fx, fy;     // a destination pixel that must be copied ...
    int from;       // ... from this source value
    int untouched;  // count of destination pixels left at 255
  } cases[] = {
      {0, 0, 0, 0, 5, 5, 4, 4, 44, 0},        // whole 5 x 5 into 5 x 5
      {-2, -1, 0, 0, 4, 4, 0, 0, 0, 25 - 6},  // source clipped: 2 x 3 land at (2, 1)
      {3, 3, 4, 4, 9, 9, 4, 4, 33, 24},       // both clipped: one pixel
      {0, 0, -3, 0, 5, 1, 0, 0, 3, 23},       // destination clipped on the left
      {0, 0, 5, 5, 3, 3, 0, 0, 255, 25},      // outside: nothing
      {0, 0, 0, 0, 0, 3, 0, 0, 255, 25},      // empty width
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.sx) + "," + std::to_string(c.sy) + " -> " + std::to_string(c.dx));
    TIEBitmap src, dst(5, 5, ie8g);
    Numbered(src, 5, 5);
    dst.Fill(255);
    src.CopyRectTo(&dst, c.sx, c.sy, c.dx, c.dy, c.w, c.h);
    int left = 0;
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 5; ++x) left += At(dst, x, y) == 255;
    EXPECT_EQ(left, c.untouched);
    if (c.from != 255) {
      int x = c.fx + (c.sx < 0 ? -c.sx : 0), y = c.fy + (c.sy < 0 ? -c.sy : 0);
      EXPECT_EQ(At(dst, x, y), c.from);
    }
  }
}

TEST(IEBitmapRegion, CopyRectToBetweenFormats) {
  // 1 bit into 24 bits expands to 0 and 255, at any bit offset.
  TIEBitmap bits(20, 2, ie1g);
  bits.Fill(0);
  bits.FillRect(9, 1, 11, 1, 1);
  TIEBitmap rgb(6, 2, ie24RGB);
  rgb.Fill(RGB(7, 7, 7));
  bits.CopyRectTo(&rgb, 8, 0, 1, 0, 10, 2);
  EXPECT_EQ(rgb.GetPixels(0, 1), (TRGB{7, 7, 7}));
  EXPECT_EQ(rgb.GetPixels(1, 1), (TRGB{0, 0, 0}));
  EXPECT_EQ(rgb.GetPixels(2, 1), (TRGB{255, 255, 255}));
  EXPECT_EQ(rgb.GetPixels(4, 1), (TRGB{255, 255, 255}));
  EXPECT_EQ(rgb.GetPixels(5, 1), (TRGB{0, 0, 0}));
  // 1 bit into 1 bit at another offset keeps the neighbouring bits.
  TIEBitmap other(16, 2, ie1g);
  other.Fill(1);
  bits.CopyRectTo(&other, 9, 1, 3, 1, 4, 1);
  for (int x = 0; x < 16; ++x) EXPECT_EQ(other.GetPixels(x, 1).r, x == 6 ? 0 : 255) << x;
  // Any bit offsets, pixel by pixel against the source.
  TIEBitmap noise;
  Paint24(noise, 70, 3, Content::BlackWhite, 11);
  noise.ConvertToPixelFormat(ie1g);
  for (int sx : {0, 3, 8, 13}) {
    for (int dx : {0, 1, 7, 9, 16}) {
      TIEBitmap to(64, 3, ie1g);
      to.Fill(1);
      noise.CopyRectTo(&to, sx, 0, dx, 1, 41, 2);
      for (int x = 0; x < 64; ++x) {
        bool in = x >= dx && x < dx + 41;
        ASSERT_EQ(to.GetPixels(x, 2).r, in ? noise.GetPixels(sx + x - dx, 1).r : 255)
            << sx << " " << dx << " " << x;
        ASSERT_EQ(to.GetPixels(x, 0).r, 255);
      }
    }
  }
  // Other pairs go through RGB.
  TIEBitmap cmyk(2, 1, ieCMYK);
  rgb.CopyRectTo(&cmyk, 2, 1, 0, 0, 2, 1);
  EXPECT_EQ(cmyk.GetPixels(0, 0), (TRGB{255, 255, 255}));
  EXPECT_EQ(cmyk.GetPixels(1, 0), (TRGB{255, 255, 255}));
}

TEST(IEBitmapRegion, MoveRegionWithinTheBitmap) {
  TIEBitmap b;
  Numbered(b, 6, 4);
  // Overlapping move one to the right, filling what is uncovered.
  b.MoveRegion(3, 2, 0, 0, 1, 0, 99, true);  // corners in any order
  EXPECT_EQ(At(b, 0, 0), 99);
  EXPECT_EQ(At(b, 1, 0), 0);
  EXPECT_EQ(At(b, 4, 2), 23);
  EXPECT_EQ(At(b, 5, 2), 25);
  EXPECT_EQ(At(b, 0, 3), 30);
  // A source partly outside moves only its inside part, keeping its place.
  TIEBitmap c;
  Numbered(c, 6, 4);
  c.MoveRegion(-2, 0, 1, 0, 2, 3, 0, false);  // (0..1, 0) goes to (4..5, 3)
  EXPECT_EQ(At(c, 4, 3), 0);
  EXPECT_EQ(At(c, 5, 3), 1);
  EXPECT_EQ(At(c, 3, 3), 33);
  c.MoveRegion(10, 10, 20, 20, 0, 0, 0, true);  // entirely outside: nothing
  EXPECT_EQ(At(c, 0, 0), 0);
}

TEST(IEBitmapRegion, ResizeAlignsTheOldPixelsAndFillsTheRest) {
  struct Case {
    int w, h, ha, va;
    int x, y;  // where the old (0, 0) lands (may be outside)
  } cases[] = {
      {8, 6, 0, 0, 0, 0}, {8, 6, 1, 1, 1, 1}, {8, 6, 2, 2, 2, 2}, {3, 2, 2, 2, -3, -2}, {4, 4, 1, 0, -1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " " + std::to_string(c.ha));
    TIEBitmap b;
    Numbered(b, 6, 4);
    b.GetAlphaChannel()->Fill(100);
    b.Resize(c.w, c.h, 200, 7, c.ha, c.va);
    ASSERT_EQ(b.GetWidth(), c.w);
    ASSERT_EQ(b.GetHeight(), c.h);
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        int ox = x - c.x, oy = y - c.y;
        bool old = ox >= 0 && oy >= 0 && ox < 6 && oy < 4;
        ASSERT_EQ(At(b, x, y), old ? 10 * oy + ox : 200) << x << "," << y;
        ASSERT_EQ(b.GetAlpha(x, y), old ? 100 : 7);
      }
  }
  TIEBitmap d;
  Numbered(d, 3, 3);
  d.SetWidth(5);
  d.SetHeight(2);
  EXPECT_EQ(d.GetWidth(), 5);
  EXPECT_EQ(d.GetHeight(), 2);
  EXPECT_EQ(At(d, 2, 1), 12);
  EXPECT_THROW(d.Resize(-1, 3, 0, 0, 0, 0), EIEBitmapError);
}

TEST(IEBitmapRegion, FillSetsEveryFormatAndTheFullFlag) {
  TColor orange = RGB(255, 128, 0);
  TRGB o{0, 128, 255};
  for (TIEPixelFormat pf : kAllFormats) {
    SCOPED_TRACE(static_cast<int>(pf));
    TIEBitmap b(5, 3, pf);
    bool colour = pf == ie24RGB || pf == ieCMYK || pf == ieRGB48 || pf == ieCIELab || pf == ie32RGB;
    if (colour) {
      b.Fill(orange);
      TRGB want = pf == ieCIELab ? IECIELabToRGB(IERGBToCIELab(o)) : o;
      EXPECT_EQ(b.GetPixels(4, 2), want);
      b.FillRect(10, 10, 3, 1, clBlue);  // clipped to (3..4, 1..2)
      EXPECT_EQ(b.GetPixels(3, 1).b, 255);
      EXPECT_EQ(b.GetPixels(2, 1), want);
    }
  }
  TIEBitmap g(4, 4, ie16g);
  g.Fill(0x1234);
  EXPECT_EQ(g.GetScanline(3)[6] | (g.GetScanline(3)[7] << 8), 0x1234);
  TIEBitmap f(2, 2, ie32f);
  f.Fill(0.25);
  float v;
  std::memcpy(&v, f.GetScanline(1) + 4, 4);
  EXPECT_EQ(v, 0.25f);
  // A system colour resolves, whatever sign its value carries as a double.
  TIEBitmap s(1, 1, ie24RGB);
  s.Fill(static_cast<double>(clBtnFace));
  TColor face = ColorToRGB(clBtnFace);
  EXPECT_EQ(s.GetPixels(0, 0),
            (TRGB{static_cast<std::uint8_t>(GetBValue(face)), static_cast<std::uint8_t>(GetGValue(face)),
                  static_cast<std::uint8_t>(GetRValue(face))}));
  // The Full flag of an alpha plane follows what is known of its bytes.
  TIEBitmap img(4, 4, ie24RGB);
  TIEBitmap* a = img.GetAlphaChannel();
  a->Fill(255);
  EXPECT_TRUE(a->Full());
  a->FillRect(1, 1, 1, 1, 0);
  EXPECT_FALSE(a->Full());
  a->FillRect(1, 1, 1, 1, 255);
  img.SyncFull();
  EXPECT_TRUE(a->Full());
  TIEBitmap opaque(2, 2, ie8g), clear(2, 2, ie8g);
  opaque.Fill(255);
  clear.Fill(0);
  opaque.CopyRectTo(a, 0, 0, 1, 1, 2, 2);
  EXPECT_TRUE(a->Full());
  clear.CopyRectTo(a, 0, 0, 1, 1, 2, 2);
  EXPECT_FALSE(a->Full());
  a->Fill(255);
  EXPECT_TRUE(a->Full());
  EXPECT_TRUE(img.Full());
}

TEST(IEBitmapRegion, WorkAndDibBitmaps) {
  TIEWorkBitmap w(10, 3, 24);
  ASSERT_TRUE(w.Allocated());
  EXPECT_EQ(w.GetScanline(2) - w.GetScanline(0), 2 * 32);
  EXPECT_THROW(w.GetScanline(3), ERangeError);
  TIEWorkBitmap none(0, 3, 24);
  EXPECT_FALSE(none.Allocated());
  EXPECT_EQ(none.GetScanline(0), nullptr);

  TIEDibbitmap d;
  EXPECT_FALSE(d.AllocateBits(0, 5, 24));
  EXPECT_FALSE(d.AllocateBits(5, 5, 8));
  ASSERT_TRUE(d.AllocateBits(9, 2, 1));
  EXPECT_EQ(d.GetPixelFormat(), ie1g);
  EXPECT_EQ(d.GetRowLen(), 4);
  EXPECT_NE(d.Canvas(), nullptr);
  // Works through the base operations, both ways.
  TIEBitmap src;
  Paint24(src, 7, 3, Content::Colour);
  src.ConvertToPixelFormat(ieCMYK);
  TIEBaseBitmap* base = &d;
  base->Assign(&src);
  EXPECT_EQ(d.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(d.GetWidth(), 7);
  TIEBitmap rgb;
  rgb.Assign(&src);
  rgb.ConvertToPixelFormat(ie24RGB);
  EXPECT_EQ(std::memcmp(d.GetScanline(2), rgb.GetScanline(2), 21), 0);
  TIEBitmap back;
  back.Assign(base);
  EXPECT_EQ(back.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(PixelBytes(back), PixelBytes(rgb));
}
