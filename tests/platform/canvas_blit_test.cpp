#include <gtest/gtest.h>

#include "draw_test_util.h"
#include "platform/canvas.h"

using namespace redozir;

namespace {
// A w x 1 24-bit bitmap whose grey levels are given.
void GreyRow(TBitmap& b, std::initializer_list<int> levels) {
  b.SetPixelFormat(pf24bit);
  b.SetSize(static_cast<int>(levels.size()), 1);
  int x = 0;
  for (int v : levels) b.SetPixel(x++, 0, RGB(v, v, v));
}

std::vector<int> Greys(const TBitmap& b, int y = 0) {
  std::vector<int> out;
  for (int x = 0; x < b.Width(); ++x) out.push_back(GetRValue(b.GetPixel(x, y)));
  return out;
}
}  // namespace

TEST(CanvasBlit, RasterOperationsCombineSourcePatternAndDestination) {
  const TColor S = RGB(0x0F, 0xF0, 0x33), D = RGB(0x55, 0xAA, 0xCC), P = RGB(0x12, 0x34, 0x56);
  auto ch = [](TColor c, int i) { return (c >> (8 * i)) & 0xFF; };
  auto each = [&](auto f) {
    return RGB(f(ch(P, 0), ch(S, 0), ch(D, 0)) & 0xFF, f(ch(P, 1), ch(S, 1), ch(D, 1)) & 0xFF,
               f(ch(P, 2), ch(S, 2), ch(D, 2)) & 0xFF);
  };
  struct Case {
    std::uint32_t rop;
    TColor expect;
  } cases[] = {
      {SRCCOPY, S},
      {SRCPAINT, each([](int, int s, int d) { return s | d; })},
      {SRCAND, each([](int, int s, int d) { return s & d; })},
      {SRCINVERT, each([](int, int s, int d) { return s ^ d; })},
      {SRCERASE, each([](int, int s, int d) { return s & ~d; })},
      {NOTSRCCOPY, each([](int, int s, int) { return ~s; })},
      {NOTSRCERASE, each([](int, int s, int d) { return ~(s | d); })},
      {MERGECOPY, each([](int p, int s, int) { return p & s; })},
      {MERGEPAINT, each([](int, int s, int d) { return ~s | d; })},
      {PATCOPY, P},
      {PATPAINT, each([](int p, int s, int d) { return p | ~s | d; })},
      {PATINVERT, each([](int p, int, int d) { return p ^ d; })},
      {DSTINVERT, each([](int, int, int d) { return ~d; })},
      {BLACKNESS, clBlack},
      {WHITENESS, clWhite},
  };
  for (const Case& c : cases) {
    TBitmap src(2, 2, pf24bit), dst(3, 3, pf24bit);
    src.Canvas()->Brush.Color = S;
    src.Canvas()->FillRect({0, 0, 2, 2});
    dst.Canvas()->Brush.Color = D;
    dst.Canvas()->FillRect({0, 0, 3, 3});
    dst.Canvas()->Brush.Color = P;
    EXPECT_TRUE(BitBlt(dst.Canvas(), 1, 1, 2, 2, src.Canvas(), 0, 0, c.rop));
    EXPECT_EQ(dst.GetPixel(1, 1), c.expect) << std::hex << c.rop;
    EXPECT_EQ(dst.GetPixel(2, 2), c.expect) << std::hex << c.rop;
    EXPECT_EQ(dst.GetPixel(0, 0), D) << std::hex << c.rop;
  }
}

TEST(CanvasBlit, CopiesAcrossFormatsAndClipsAtBorders) {
  TBitmap src;
  TCanvas* s = WhiteBitmap(src, 4, 4, pf24bit)->Canvas();
  s->Brush.Color = clBlack;
  s->FillRect({0, 0, 2, 2});
  for (TPixelFormat pf : kDrawFormats) {
    TBitmap dst;
    TCanvas* d = WhiteBitmap(dst, 5, 3, pf)->Canvas();
    BitBlt(d, 3, -1, 4, 4, s, 0, 0, SRCCOPY);
    EXPECT_EQ(Picture(dst), Rows({"...##", ".....", "....."})) << pf;
    d->Draw(-1, 1, src);
    EXPECT_EQ(Picture(dst), Rows({"...##", "#....", "#...."})) << pf;
  }
  // Palette to colour goes through the palette.
  TBitmap mono(2, 1, pf1bit), rgb(2, 1, pf24bit);
  mono.SetPixel(1, 0, clWhite);
  rgb.Canvas()->Draw(0, 0, mono);
  EXPECT_EQ(rgb.GetPixel(0, 0), clBlack);
  EXPECT_EQ(rgb.GetPixel(1, 0), clWhite);
}

TEST(CanvasBlit, OverlappingCopyWithinOneCanvasReadsTheOldPixels) {
  TBitmap b;
  GreyRow(b, {10, 20, 30, 40, 50});
  BitBlt(b.Canvas(), 1, 0, 4, 1, b.Canvas(), 0, 0, SRCCOPY);
  EXPECT_EQ(Greys(b), (std::vector<int>{10, 10, 20, 30, 40}));
}

TEST(CanvasBlit, StretchModes) {
  struct Case {
    int mode;
    std::initializer_list<int> src;
    int w;
    std::vector<int> expect;
  } cases[] = {
      // Nearest: source index (2i + 1) * sw / (2w).
      {COLORONCOLOR, {0, 100}, 4, {0, 0, 100, 100}},
      {COLORONCOLOR, {0, 100, 200, 255}, 2, {100, 255}},
      // Halftone shrinking averages the covered area: (0 + 100) / 2, (200 + 255) / 2 = 227.5 -> 228.
      {HALFTONE, {0, 100, 200, 255}, 2, {50, 228}},
      // 3 -> 2: [0, 1.5) and [1.5, 3): (0 + 0.5 * 90) / 1.5 = 30, (0.5 * 90 + 180) / 1.5 = 150.
      {HALFTONE, {0, 90, 180}, 2, {30, 150}},
      // Halftone enlarging interpolates at (i + 0.5) * sw / w - 0.5: 0, 0.25, 0.75, 1 (clamped).
      {HALFTONE, {0, 200}, 4, {0, 50, 150, 200}},
  };
  for (const Case& c : cases) {
    TBitmap src, dst(c.w, 1, pf24bit);
    GreyRow(src, c.src);
    SetStretchBltMode(dst.Canvas(), c.mode);
    dst.Canvas()->StretchDraw({0, 0, c.w, 1}, src);
    EXPECT_EQ(Greys(dst), c.expect) << "mode " << c.mode << " width " << c.w;
  }
}

TEST(CanvasBlit, NegativeExtentsMirror) {
  TBitmap src, dst(3, 1, pf24bit);
  GreyRow(src, {10, 20, 30});
  // Width -3 from x = 2 covers pixels 2, 1, 0.
  StretchBitmap(dst.Canvas(), 2, 0, -3, 1, src, 0, 0, 3, 1, SRCCOPY);
  EXPECT_EQ(Greys(dst), (std::vector<int>{30, 20, 10}));
  StretchBitmap(dst.Canvas(), 0, 0, 3, 1, src, 2, 0, -3, 1, SRCCOPY);
  EXPECT_EQ(Greys(dst), (std::vector<int>{30, 20, 10}));
  StretchBitmap(dst.Canvas(), 2, 0, -3, 1, src, 2, 0, -3, 1, SRCCOPY);
  EXPECT_EQ(Greys(dst), (std::vector<int>{10, 20, 30}));
}

TEST(CanvasBlit, ClipRegionAndSourceOutsideItsBitmap) {
  TBitmap src;
  TCanvas* s = WhiteBitmap(src, 2, 2, pf24bit)->Canvas();
  s->Brush.Color = clBlack;
  s->FillRect({0, 0, 2, 2});
  TBitmap dst;
  TCanvas* d = WhiteBitmap(dst, 4, 2, pf8bit)->Canvas();
  HRGN r = CreateRectRgn(1, 0, 3, 1);
  SelectClipRgn(d, r);
  DeleteObject(r);
  BitBlt(d, 0, 0, 4, 2, s, 0, 0, SRCCOPY);
  EXPECT_EQ(Picture(dst), Rows({".#..", "...."}));
  SelectClipRgn(d, nullptr);
  // Columns whose source lies outside the source bitmap stay as they were.
  BitBlt(d, 0, 1, 4, 1, s, -1, 0, SRCCOPY);
  EXPECT_EQ(Picture(dst), Rows({".#..", ".##."}));
  EXPECT_FALSE(BitBlt(d, 0, 0, 2, 2, nullptr, 0, 0, SRCCOPY));
  EXPECT_TRUE(PatBlt(d, 0, 0, 4, 2, BLACKNESS));
  EXPECT_EQ(Picture(dst), Rows({"####", "####"}));
}

TEST(CanvasBlit, GradientFillSteps16BitChannels) {
  TRIVERTEX v[2];
  v[0] = {0, 0, 0, 0, 0, 0};
  v[1] = {4, 4, 0xFF00, 0x8000, 0, 0};
  GRADIENT_RECT r{0, 1};
  // Step t of 4: (0xFF00 t / 4) >> 8 = 0, 63, 127, 191; green (0x8000 t / 4) >> 8 = 0, 32, 64, 96.
  for (unsigned mode : {GRADIENT_FILL_RECT_V, GRADIENT_FILL_RECT_H}) {
    TBitmap b(4, 4, pf24bit);
    EXPECT_TRUE(GradientFill(b.Canvas(), v, 2, &r, 1, mode));
    for (int t = 0; t < 4; ++t) {
      TColor p = mode == GRADIENT_FILL_RECT_V ? b.GetPixel(3, t) : b.GetPixel(t, 3);
      EXPECT_EQ(p, RGB((0xFF00 * t / 4) >> 8, (0x8000 * t / 4) >> 8, 0)) << mode << " step " << t;
    }
  }
  GRADIENT_RECT bad{0, 2};
  TBitmap b(4, 4, pf24bit);
  EXPECT_FALSE(GradientFill(b.Canvas(), v, 2, &bad, 1, GRADIENT_FILL_RECT_H));
  EXPECT_FALSE(GradientFill(b.Canvas(), v, 2, &r, 1, 2));
}

TEST(CanvasBlit, PaletteFormatsCombineIndices) {
  // 1 bit: index 1 (white) xor index 0 (black) is white; twice restores black.
  TBitmap src(2, 1, pf1bit), dst(2, 1, pf1bit);
  src.SetPixel(0, 0, clWhite);
  BitBlt(dst.Canvas(), 0, 0, 2, 1, src.Canvas(), 0, 0, SRCINVERT);
  EXPECT_EQ(dst.GetPixel(0, 0), clWhite);
  EXPECT_EQ(dst.GetPixel(1, 0), clBlack);
  BitBlt(dst.Canvas(), 0, 0, 2, 1, src.Canvas(), 0, 0, SRCINVERT);
  EXPECT_EQ(dst.GetPixel(0, 0), clBlack);
  // 8 bits: inverting index 0 gives index 255, the white end of the greys.
  TBitmap p(1, 1, pf8bit);
  p.SetPixel(0, 0, clBlack);
  PatBlt(p.Canvas(), 0, 0, 1, 1, DSTINVERT);
  EXPECT_EQ(p.ScanLine(0)[0], 255);
  EXPECT_EQ(p.GetPixel(0, 0), clWhite);
  // A halftone shrink into a palette bitmap takes the nearest entry of the average.
  TBitmap grey;
  grey.SetPixelFormat(pf24bit);
  grey.SetSize(2, 1);
  grey.SetPixel(0, 0, clBlack);
  grey.SetPixel(1, 0, clWhite);
  TBitmap one(1, 1, pf8bit);
  SetStretchBltMode(one.Canvas(), HALFTONE);
  one.Canvas()->StretchDraw({0, 0, 1, 1}, grey);
  // (0 + 255) / 2 = 127.5 rounds to 128.
  EXPECT_EQ(one.NearestPaletteIndex(RGB(128, 128, 128)), one.ScanLine(0)[0]);
}

// A bitmap of the device's format is drawn as one of 32 bits, raster
// operations and pens included (their masks once shifted a 32-bit one by 32).
TEST(CanvasBlit, DeviceFormatBitmapsTakeRasterOperations) {
  TBitmap b(2, 1, pfDevice);
  b.SetPixel(0, 0, RGB(0x12, 0x34, 0x56));
  PatBlt(b.Canvas(), 0, 0, 2, 1, DSTINVERT);
  EXPECT_EQ(b.GetPixel(0, 0), RGB(0xED, 0xCB, 0xA9));
  b.Canvas()->Pen.Mode = pmNot;
  b.Canvas()->MoveTo(0, 0);
  b.Canvas()->LineTo(2, 0);
  EXPECT_EQ(b.GetPixel(0, 0), RGB(0x12, 0x34, 0x56));
  EXPECT_EQ(b.GetPixel(1, 0), clBlack);
}
