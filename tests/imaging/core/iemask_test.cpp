#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/core/iemask.h"
#include "platform/bitmap.h"

using namespace redozir;

namespace {

// The mask as rows of '#' (set) and '.' (clear), top row first.
std::string Picture(const TIEMask& m) {
  std::string s;
  for (int y = 0; y < m.Height(); ++y) {
    for (int x = 0; x < m.Width(); ++x) s += m.GetPixel(x, y) ? '#' : '.';
    s += '\n';
  }
  return s;
}

struct Box {
  int x1, y1, x2, y2;
};
void ExpectBox(const TIEMask& m, Box b) {
  EXPECT_EQ(m.X1, b.x1);
  EXPECT_EQ(m.Y1, b.y1);
  EXPECT_EQ(m.X2, b.x2);
  EXPECT_EQ(m.Y2, b.y2);
}

constexpr TPoint kBreak{IESELBREAK, IESELBREAK};

}  // namespace

TEST(IEMask, RowsAreStoredBottomUpAndAlignedTo32Bits) {
  TIEMask m;
  m.AllocateBits(33, 4, 1);
  EXPECT_EQ(m.RowLen(), 8);
  EXPECT_EQ(m.GetScanline(0), m.Bits() + 3 * 8);
  EXPECT_EQ(m.GetScanline(3), m.Bits());
  m.SetPixel(0, 0, 1);
  EXPECT_EQ(m.Bits()[3 * 8], 0x80);  // leftmost pixel in the high bit
  m.AllocateBits(5, 2, 8);
  EXPECT_EQ(m.RowLen(), 8);
  EXPECT_TRUE(m.IsEmpty());
  EXPECT_THROW(m.AllocateBits(5, 2, 4), EInvalidOperation);
  EXPECT_THROW(m.AllocateBits(1 << 30, 1 << 30, 8), EOutOfMemory);
  EXPECT_THROW(m.AllocateBits(0x7FFFFFFF, 1, 8), EOutOfMemory);  // one row past the integer range
  EXPECT_TRUE(m.IsEmpty());
}

TEST(IEMask, PixelAccessClipsAndWidensTheBox) {
  for (int bpp : {1, 8}) {
    TIEMask m;
    m.AllocateBits(10, 8, bpp);
    m.SetPixel(-1, 2, 1);
    m.SetPixel(10, 2, 1);
    m.SetPixel(3, 8, 1);
    EXPECT_TRUE(m.IsEmpty()) << bpp;
    EXPECT_EQ(m.GetPixel(-5, -5), 0);
    m.SetPixel(4, 5, 200);
    m.SetPixel(2, 1, 1);
    ExpectBox(m, {2, 1, 4, 5});
    EXPECT_EQ(m.GetPixel(4, 5), bpp == 8 ? 200 : 1);
    EXPECT_TRUE(m.IsPointInside(2, 1));
    EXPECT_FALSE(m.IsPointInside(3, 1));
    m.SetPixel(4, 5, 0);  // clearing keeps the box until it is synchronised
    ExpectBox(m, {2, 1, 4, 5});
    m.SyncRect();
    ExpectBox(m, {2, 1, 2, 1});
    m.Empty();
    EXPECT_TRUE(m.IsEmpty());
    EXPECT_EQ(m.GetPixel(2, 1), 0);
  }
}

TEST(IEMask, PolygonFillTakesPixelsWhoseCentreIsInside) {
  struct Case {
    const char* name;
    std::vector<TPoint> pts;
    const char* picture;
  } cases[] = {
      {"rectangle corners are pixel corners",
       {{2, 1}, {5, 1}, {5, 4}, {2, 4}},
       "......\n..###.\n..###.\n..###.\n......\n"},
      // Centres on the hypotenuse x + y = 4 lie on a right edge: outside.
      {"right triangle", {{0, 0}, {4, 0}, {0, 4}}, "###...\n##....\n#.....\n......\n......\n"},
      {"two sub-polygons joined by the separator",
       {{0, 0}, {2, 0}, {2, 2}, {0, 2}, kBreak, {4, 3}, {6, 3}, {6, 5}, {4, 5}},
       "##....\n##....\n......\n....##\n....##\n"},
      {"overlapping sub-polygons add up, they do not cancel",
       {{0, 0}, {3, 0}, {3, 1}, {0, 1}, kBreak, {1, 0}, {4, 0}, {4, 1}, {1, 1}},
       "####..\n......\n......\n......\n......\n"},
      {"self-crossing bow tie follows even-odd",
       {{0, 0}, {6, 4}, {6, 0}, {0, 4}},
       "#....#\n##..##\n##..##\n#....#\n......\n"},
      {"a point with only X at the separator is a vertex",
       {{0, 0}, {2, 0}, {IESELBREAK, 5}, {0, 2}},
       "######\n######\n......\n......\n......\n"},
      {"polygons beyond the edges are clipped",
       {{-100, -100}, {3, -100}, {3, 100}, {-100, 100}},
       "###...\n###...\n###...\n###...\n###...\n"},
      {"huge coordinates do not overflow",
       {{-2000000000, -2000000000},
        {2000000000, -2000000000},
        {2000000000, 2000000000},
        {-2000000000, 2000000000}},
       "######\n######\n######\n######\n######\n"},
      {"fewer than three points fill nothing", {{0, 0}, {5, 5}}, "......\n......\n......\n......\n......\n"},
  };
  for (const auto& c : cases) {
    for (int bpp : {1, 8}) {
      TIEMask m;
      m.AllocateBits(6, 5, bpp);
      m.FillPolygons(1, c.pts.data(), static_cast<int>(c.pts.size()));
      EXPECT_EQ(Picture(m), c.picture) << c.name << " bpp " << bpp;
      TIEMask synced;
      synced.Assign(m);
      synced.SyncRect();
      EXPECT_EQ(m.X1, synced.X1) << c.name;
      EXPECT_EQ(m.Y1, synced.Y1) << c.name;
      EXPECT_EQ(m.X2, synced.X2) << c.name;
      EXPECT_EQ(m.Y2, synced.Y2) << c.name;
    }
  }
}

TEST(IEMask, FullFlagFollowsTheFill) {
  TIEMask m;
  m.AllocateBits(6, 5, 1);
  std::vector<TPoint> all = {{0, 0}, {6, 0}, {6, 5}, {0, 5}};
  m.FillPolygons(1, all.data(), 4);
  EXPECT_TRUE(m.Full());
  std::vector<TPoint> hole = {{1, 1}, {2, 1}, {2, 2}, {1, 2}};
  m.FillPolygons(0, hole.data(), 4);
  EXPECT_FALSE(m.Full());
  EXPECT_EQ(m.GetPixel(1, 1), 0);
  ExpectBox(m, {0, 0, 5, 4});
  m.AllocateBits(6, 5, 8);
  m.FillPolygons(255, all.data(), 4);
  EXPECT_TRUE(m.Full());
  m.FillPolygons(7, all.data(), 4);
  EXPECT_FALSE(m.Full());  // an 8-bit mask is full at 255 only
  EXPECT_EQ(m.GetPixel(5, 4), 7);
}

TEST(IEMask, TranslateCutsOrKeepsTheContentInside) {
  struct Case {
    int dx, dy;
    bool cut;
    int wantDx, wantDy;
    Box box;
  } cases[] = {
      {2, 1, false, 2, 1, {3, 2, 4, 3}},
      {10, -10, false, 5, -1, {6, 0, 7, 1}},  // reduced to the edges
      {-10, 10, false, -1, 4, {0, 5, 1, 6}},
      {6, 0, true, 6, 0, {7, 1, 7, 2}},  // one column survives
      {-20, 0, true, -20, 0, {IEMASK_EMPTY, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    TIEMask m;
    m.AllocateBits(8, 7, 1);
    std::vector<TPoint> sq = {{1, 1}, {3, 1}, {3, 3}, {1, 3}};
    m.FillPolygons(1, sq.data(), 4);
    int dx = c.dx, dy = c.dy;
    m.Translate(dx, dy, c.cut);
    EXPECT_EQ(dx, c.wantDx) << c.dx << "," << c.dy;
    EXPECT_EQ(dy, c.wantDy) << c.dx << "," << c.dy;
    if (c.box.x1 == IEMASK_EMPTY) {
      EXPECT_TRUE(m.IsEmpty());
      EXPECT_EQ(Picture(m).find('#'), std::string::npos);
      continue;
    }
    ExpectBox(m, c.box);
    int count = 0;
    for (char ch : Picture(m)) count += ch == '#';
    EXPECT_EQ(count, (c.box.x2 - c.box.x1 + 1) * (c.box.y2 - c.box.y1 + 1));
  }
}

TEST(IEMask, ResizeKeepsTheTopLeftAndClampsTheBox) {
  TIEMask m;
  m.AllocateBits(12, 6, 1);
  std::vector<TPoint> r = {{2, 1}, {12, 1}, {12, 6}, {2, 6}};
  m.FillPolygons(1, r.data(), 4);
  m.Resize(9, 3);
  EXPECT_EQ(Picture(m), ".........\n..#######\n..#######\n");
  ExpectBox(m, {2, 1, 8, 2});
  m.Resize(11, 4);  // the cut pixels do not come back
  EXPECT_EQ(Picture(m), "...........\n..#######..\n..#######..\n...........\n");
  m.Resize(1, 1);
  EXPECT_TRUE(m.IsEmpty());
}

TEST(IEMask, CopyBitmapCopiesOnlyMaskedPixelsFromAnOffsetSource) {
  TIEMask m;
  m.AllocateBits(6, 4, 1);
  m.SetPixel(2, 1, 1);
  m.SetPixel(3, 2, 1);
  m.SetPixel(5, 3, 1);  // outside the source rectangle
  TIEBitmap dst(6, 4, ie24RGB), src(3, 2, ie24RGB);
  dst.Fill(0);
  src.Fill(0);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      reinterpret_cast<TRGB*>(src.GetScanline(y))[x] = TRGB{1, 2, std::uint8_t(10 * y + x)};
  src.GetAlphaChannel()->Fill(0);
  src.GetAlphaChannel()->GetScanline(0)[0] = 77;
  m.CopyBitmap(&dst, &src, true, 2, 1);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) {
      TRGB p = reinterpret_cast<TRGB*>(dst.GetScanline(y))[x];
      if (x == 2 && y == 1)
        EXPECT_EQ(p, (TRGB{1, 2, 0}));
      else if (x == 3 && y == 2)
        EXPECT_EQ(p, (TRGB{1, 2, 11}));
      else
        EXPECT_EQ(p, TRGB{}) << x << "," << y;
    }
  ASSERT_TRUE(dst.HasAlphaChannel());
  EXPECT_EQ(dst.GetAlpha(2, 1), 77);
  EXPECT_EQ(dst.GetAlpha(3, 2), 0);
  EXPECT_EQ(dst.GetAlpha(0, 0), 255);  // not under the mask
  // Different pixel formats are left alone.
  TIEBitmap grey(6, 4, ie8g);
  grey.Fill(9);
  m.CopyBitmap(&grey, &src, false, 2, 1);
  EXPECT_EQ(grey.GetScanline(1)[2], 9);
}

TEST(IEMask, DrawingTouchesOnlyTheClippedCanvas) {
  TIEMask m;
  m.AllocateBits(4, 4, 1);
  std::vector<TPoint> sq = {{0, 0}, {3, 0}, {3, 3}, {0, 3}};
  m.FillPolygons(1, sq.data(), 4);
  TBitmap canvasBitmap(6, 6, pf24bit);
  auto px = [&](int x, int y) { return canvasBitmap.GetPixel(x, y); };
  // Outline at offset (1, 1), zoom 1: the ring of the 3 x 3 square.
  m.DrawOutline(canvasBitmap.Canvas(), 1, 1, 1.0, 1.0, clWhite, clRed, 0);
  std::string ring;
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) ring += px(x, y) == clBlack ? '.' : px(x, y) == clWhite ? 'A' : 'B';
    ring += '\n';
  }
  // Dashes of four by x + y: 2..3 colour A, 4..7 colour B.
  EXPECT_EQ(ring, "......\n.AAB..\n.A.B..\n.BBB..\n......\n......\n");
  // A phase of 2 shifts the dashes.
  m.DrawOutline(canvasBitmap.Canvas(), 1, 1, 1.0, 1.0, clWhite, clRed, 2);
  EXPECT_EQ(px(1, 1), clRed);
  // Far outside the canvas, or a broken zoom, draws nothing and does not fail.
  m.DrawOutline(canvasBitmap.Canvas(), -100000, 100000, 3.0, 3.0, clWhite, clRed, 0);
  m.DrawOutline(canvasBitmap.Canvas(), 0, 0, 0.0, std::numeric_limits<double>::quiet_NaN(), clWhite, clRed,
                0);

  // A control's canvas: its (0, 0) at bitmap (2, 0), drawing only inside bitmap columns 0..3.
  TBitmap form(6, 6, pf24bit);
  TCanvas control(&form);
  control.SetOrigin(Point(2, 0));
  control.SetDeviceClip(Rect(0, 0, 4, 6));
  m.DrawOutline(&control, 1, 1, 1.0, 1.0, clWhite, clRed, 0);
  EXPECT_EQ(form.GetPixel(3, 1), clWhite);
  EXPECT_EQ(form.GetPixel(3, 3), clRed);
  EXPECT_EQ(form.GetPixel(4, 1), clBlack);  // clipped
  EXPECT_EQ(form.GetPixel(1, 1), clBlack);

  TBitmap b(4, 2, pf24bit);
  for (int x = 0; x < 4; ++x) b.SetPixel(x, 0, RGB(200, 100, 50));
  for (int x = 0; x < 4; ++x) b.SetPixel(x, 1, RGB(200, 100, 50));
  TIEMask half;
  half.AllocateBits(2, 1, 1);
  half.SetPixel(0, 0, 1);
  // Stretch the 2 x 1 mask over the 4 x 2 bitmap, with a destination hanging off the right edge.
  half.StretchDrawXor(b.Canvas(), Rect(0, 0, 4, 2), Rect(0, 0, 2, 1));
  EXPECT_EQ(b.GetPixel(0, 0), RGB(55, 155, 205));
  EXPECT_EQ(b.GetPixel(1, 0), RGB(200, 100, 50));  // the checker skips odd x + y
  EXPECT_EQ(b.GetPixel(1, 1), RGB(55, 155, 205));
  EXPECT_EQ(b.GetPixel(2, 0), RGB(200, 100, 50));  // not selected
  half.DrawOuter(b.Canvas(), Rect(0, 0, 8, 2), Rect(0, 0, 4, 1));
  EXPECT_EQ(b.GetPixel(2, 1), RGB(100, 50, 25));
  EXPECT_EQ(b.GetPixel(0, 1), RGB(200, 100, 50));
  half.DrawOuter(b.Canvas(), Rect(0, 0, 0, 2), Rect(0, 0, 4, 1));  // empty rectangles draw nothing
}
