#include <gtest/gtest.h>

#include <cstring>

#include "iebitmap_test_util.h"
#include "imaging/core/iebitmap.h"
#include "platform/canvas.h"

using namespace redozir;

using namespace testutil;

namespace {
struct Snapshot {
  TIEPixelFormat pf;
  int w, h;
  std::string pixels, alpha;
  std::vector<TRGB> palette;
};
Snapshot Take(TIEBitmap& b) {
  Snapshot s{b.GetPixelFormat(), b.GetWidth(), b.GetHeight(), PixelBytes(b), "", {}};
  if (b.HasAlphaChannel()) s.alpha = PixelBytes(*b.GetAlphaChannel());
  s.palette.push_back(TRGB{static_cast<std::uint8_t>(b.PaletteUsed()), 0, 0});
  for (int i = 0; i < b.GetPaletteLength(); ++i) s.palette.push_back(b.GetPalette(i));
  return s;
}
void ExpectSame(const Snapshot& a, const Snapshot& b) {
  EXPECT_EQ(a.pf, b.pf);
  EXPECT_EQ(a.w, b.w);
  EXPECT_EQ(a.h, b.h);
  EXPECT_EQ(a.pixels, b.pixels);
  EXPECT_EQ(a.alpha, b.alpha);
  EXPECT_EQ(a.palette, b.palette);
}
}  // namespace

TEST(IEBitmapLocation, MovesBetweenAllThreeLocationsKeepPixelsPaletteAndAlpha) {
  for (TIEPixelFormat pf : {ie1g, ie8p, ie8g, ie24RGB, ie32RGB}) {
    for (bool alpha : {false, true}) {
      SCOPED_TRACE(std::to_string(pf) + (alpha ? " with alpha" : ""));
      TIEBitmap b;
      Paint24(b, 37, 11, pf == ie1g ? Content::BlackWhite : Content::Colour, pf);
      b.ConvertToPixelFormat(pf);
      if (pf == ie8p) b.SetPalette(200, TRGB{9, 8, 7});
      if (alpha) {
        TIEBitmap* a = b.GetAlphaChannel();
        for (int y = 0; y < 11; ++y)
          for (int x = 0; x < 37; ++x) a->GetScanline(y)[x] = static_cast<std::uint8_t>(x * 7 + y);
      }
      Snapshot before = Take(b);
      for (TIELocation loc : {ieFile, ieTBitmap, ieMemory, ieTBitmap, ieFile, ieMemory}) {
        b.SetLocation(loc);
        ASSERT_EQ(b.Location(), loc);
        ExpectSame(before, Take(b));
        if (alpha) {
          EXPECT_EQ(b.GetAlphaChannel()->Location(), loc == ieFile ? ieFile : ieMemory);
        }
      }
    }
  }
}

TEST(IEBitmapLocation, ThePlatformBitmapHoldsThePixelsAndPalette) {
  TIEBitmap b(3, 2, ie8p);
  b.Fill(1);
  b.SetPalette(1, TRGB{10, 20, 30});
  TBitmap* v = b.GetVclBitmap();
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(b.Location(), ieTBitmap);
  EXPECT_EQ(v->PixelFormat(), pf8bit);
  EXPECT_EQ(v->GetPixel(2, 1), RGB(30, 20, 10));
  // Writing through either side shows on the other.
  b.GetScanline(0)[0] = 0;
  b.SetPalette(0, TRGB{0, 0, 255});
  EXPECT_EQ(v->GetPixel(0, 0), RGB(255, 0, 0));
  v->ScanLine(1)[1] = 0;
  EXPECT_EQ(b.GetPixels(1, 1), (TRGB{0, 0, 255}));
  EXPECT_EQ(b.GetCanvas()->Bitmap(), v);
  // Formats without a platform twin are drawn on as 24 bits.
  TIEBitmap c(2, 2, ieCMYK);
  c.Fill(clLime);
  EXPECT_EQ(c.GetVclBitmap()->PixelFormat(), pf24bit);
  EXPECT_EQ(c.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(c.GetPixels(1, 1), (TRGB{0, 255, 0}));
}

TEST(IEBitmapLocation, AttachWorksInPlaceOnABitmapItDoesNotOwn) {
  TBitmap vcl(10, 4, pf24bit);
  vcl.SetPixel(9, 3, clBlue);
  {
    TIEBitmap b;
    b.Fill(0);
    b.AttachTBitmap(&vcl);
    EXPECT_EQ(b.Location(), ieTBitmap);
    EXPECT_EQ(b.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(b.GetWidth(), 10);
    EXPECT_EQ(b.GetPixels(9, 3), (TRGB{255, 0, 0}));
    b.FillRect(0, 0, 0, 0, clRed);
    // A size change works on the platform bitmap itself.
    ASSERT_TRUE(b.Allocate(5, 5, ie24RGB));
    EXPECT_EQ(vcl.Width(), 5);
    b.Fill(clWhite);
    // Moving to memory leaves the platform bitmap alone afterwards.
    b.SetLocation(ieMemory);
    b.Fill(clBlack);
  }
  EXPECT_EQ(vcl.GetPixel(4, 4), clWhite);
  // A platform bitmap changed behind the bitmap's back is refused until it
  // is attached again, which re-reads it.
  TIEBitmap again;
  again.AttachTBitmap(&vcl);
  vcl.SetSize(2, 9);
  EXPECT_THROW(again.GetScanline(0), EIEBitmapError);
  vcl.SetPixelFormat(pf32bit);
  again.AttachTBitmap(&vcl);
  EXPECT_EQ(again.GetHeight(), 9);
  EXPECT_EQ(again.GetPixelFormat(), ie32RGB);
  EXPECT_EQ(again.GetPixels(1, 4), (TRGB{255, 255, 255}));
  // Bit depths without an ie format are switched to 24 bits first.
  TBitmap v16(2, 2, pf16bit);
  TIEBitmap b16;
  b16.AttachTBitmap(&v16);
  EXPECT_EQ(v16.PixelFormat(), pf24bit);
  EXPECT_EQ(b16.GetPixelFormat(), ie24RGB);
  // An owned platform bitmap handed out earlier outlives a later attach when asked to.
  TIEBitmap owner(2, 2, ie24RGB);
  TBitmap* mine = owner.GetVclBitmap();
  TBitmap other(1, 1, pf1bit);
  owner.AttachTBitmap(&other, false);
  EXPECT_EQ(mine->Width(), 2);
  EXPECT_EQ(owner.GetPixelFormat(), ie1g);
}

TEST(IEBitmapLocation, AssignCopiesPlatformBitmapsOfEveryDepth) {
  struct Case {
    TPixelFormat pf;
    TIEPixelFormat want;
    TColor colour;  // what (1, 0) reads back
  } cases[] = {
      {pf1bit, ie1g, clWhite},          {pf4bit, ie8p, clRed},     {pf8bit, ie8p, RGB(255, 0, 0)},
      {pf15bit, ie24RGB, clRed},        {pf16bit, ie24RGB, clRed}, {pf24bit, ie24RGB, RGB(1, 2, 3)},
      {pf32bit, ie32RGB, RGB(1, 2, 3)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.pf));
    TBitmap v(3, 2, c.pf);
    v.SetPixel(1, 0, c.colour);
    TIEBitmap b(1, 1, ie8g);
    b.GetAlphaChannel();
    b.Assign(&v);
    EXPECT_EQ(b.GetPixelFormat(), c.want);
    EXPECT_EQ(b.GetWidth(), 3);
    EXPECT_FALSE(b.HasAlphaChannel());
    TRGB p = b.GetPixels(1, 0);
    EXPECT_EQ(RGB(p.r, p.g, p.b), c.colour);
    TRGB q = b.GetPixels(0, 1);
    EXPECT_EQ(RGB(q.r, q.g, q.b), clBlack);
  }
  // A table whose first entry is the light one is stored inverted.
  TBitmap inv(9, 1, pf1bit);
  inv.SetPalette({TRGBQuad{255, 255, 255, 0}, TRGBQuad{0, 0, 0, 0}});
  inv.ScanLine(0)[0] = 0x80;  // pixel 0 black, the rest white
  TIEBitmap b;
  b.Assign(&inv);
  EXPECT_EQ(b.GetPixels(0, 0).r, 0);
  EXPECT_EQ(b.GetPixels(8, 0).r, 255);
}

TEST(IEBitmapLocation, RowAlignmentChangesKeepThePixels) {
  TIEBitmap b;
  Paint24(b, 5, 3, Content::Colour);
  std::string before = PixelBytes(b);
  for (int align : {8, 16, 64, 32}) {
    b.SetRowAlign(align);
    EXPECT_EQ(b.GetRowLen(), IEBitmapRowLen(5, 24, align));
    EXPECT_EQ(PixelBytes(b), before);
  }
  b.SetRowAlign(8);
  b.SetLocation(ieTBitmap);
  EXPECT_EQ(b.RowAlign(), 32);
  EXPECT_EQ(PixelBytes(b), before);
  EXPECT_THROW(b.SetRowAlign(12), EIEBitmapError);
}
