#include <gtest/gtest.h>

#include "platform/region.h"

using namespace redozir;

namespace {
// A picture of a region within [0, w) x [0, h).
std::string Pic(const TRegion& r, int w, int h) {
  std::string s;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) s += r.Contains(x, y) ? '#' : '.';
    s += '\n';
  }
  return s;
}
}  // namespace

TEST(Region, AlgebraOfTwoOverlappingRectangles) {
  TRegion a = TRegion::FromRect({0, 0, 4, 4});
  TRegion b = TRegion::FromRect({2, 2, 6, 6});
  struct Case {
    int mode;
    int area;
    TRect bounds;
    int kind;
  } cases[] = {
      {RGN_AND, 4, {2, 2, 4, 4}, SIMPLEREGION},   {RGN_OR, 28, {0, 0, 6, 6}, COMPLEXREGION},
      {RGN_XOR, 24, {0, 0, 6, 6}, COMPLEXREGION}, {RGN_DIFF, 12, {0, 0, 4, 4}, COMPLEXREGION},
      {RGN_COPY, 16, {0, 0, 4, 4}, SIMPLEREGION},
  };
  for (const Case& c : cases) {
    TRegion r = TRegion::Combine(a, b, c.mode);
    int area = 0;
    for (const TRect& q : r.Rects()) area += q.Width() * q.Height();
    EXPECT_EQ(area, c.area) << c.mode;
    EXPECT_EQ(r.Bounds(), c.bounds) << c.mode;
    EXPECT_EQ(r.Kind(), c.kind) << c.mode;
  }
  // XOR is OR minus AND; DIFF then OR with AND gives a back.
  EXPECT_EQ(TRegion::Combine(a, b, RGN_XOR),
            TRegion::Combine(TRegion::Combine(a, b, RGN_OR), TRegion::Combine(a, b, RGN_AND), RGN_DIFF));
  EXPECT_EQ(TRegion::Combine(TRegion::Combine(a, b, RGN_DIFF), TRegion::Combine(a, b, RGN_AND), RGN_OR), a);
  EXPECT_TRUE(TRegion::Combine(a, a, RGN_XOR).IsEmpty());
  EXPECT_EQ(TRegion::Combine(a, a, RGN_XOR).Kind(), NULLREGION);
}

TEST(Region, RectanglesAreHalfOpenAndReversedCornersAreOrdered) {
  TRegion r = TRegion::FromRect({3, 1, 1, 3});
  EXPECT_EQ(Pic(r, 4, 4), "....\n.##.\n.##.\n....\n");
  EXPECT_TRUE(TRegion::FromRect({2, 2, 2, 5}).IsEmpty());
  TRect list[] = {{0, 0, 2, 1}, {1, 0, 3, 1}, {5, 5, 5, 9}, {0, 2, 1, 3}};
  TRegion l = TRegion::FromRects(list, 4);
  EXPECT_EQ(Pic(l, 4, 3), "###.\n....\n#...\n");
}

TEST(Region, EllipseSamplesPixelCentres) {
  // Circle of radius 3 around (3, 3): pixel (1, 0) has its centre at
  // (1.5, 0.5), 1.5^2 + 2.5^2 = 8.5 < 9 inside; (0, 0) has 12.5 outside.
  TRegion e = TRegion::FromEllipse(0, 0, 6, 6);
  EXPECT_EQ(Pic(e, 6, 6), ".####.\n######\n######\n######\n######\n.####.\n");
  EXPECT_TRUE(TRegion::FromEllipse(0, 0, 0, 10).IsEmpty());
}

TEST(Region, RoundRectClampsItsCornerEllipse) {
  // A corner ellipse larger than the rectangle becomes the ellipse itself.
  EXPECT_EQ(TRegion::FromRoundRect(0, 0, 6, 6, 100, 100), TRegion::FromEllipse(0, 0, 6, 6));
  EXPECT_EQ(TRegion::FromRoundRect(0, 0, 6, 4, 0, 0), TRegion::FromRect({0, 0, 6, 4}));
  EXPECT_EQ(Pic(TRegion::FromRoundRect(0, 0, 6, 4, 4, 4), 6, 4), ".####.\n######\n######\n.####.\n");
}

TEST(Region, PolygonFillModesDifferOnlyInsideTheOverlap) {
  // Two overlapping squares traced in one direction as one polygon.
  TPoint pts[] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}, {2, 2}, {6, 2}, {6, 6}, {2, 6}, {2, 2}};
  TRegion alt = TRegion::FromPolygon(pts, 10, ALTERNATE);
  TRegion win = TRegion::FromPolygon(pts, 10, WINDING);
  EXPECT_FALSE(alt.Contains(3, 3));
  EXPECT_TRUE(win.Contains(3, 3));
  EXPECT_EQ(TRegion::Combine(win, alt, RGN_DIFF), TRegion::FromRect({2, 2, 4, 4}));
}

TEST(Region, TouchingTrianglesLeaveNoGapAndDoNotOverlap) {
  TPoint t1[] = {{0, 0}, {7, 0}, {0, 5}};
  TPoint t2[] = {{7, 0}, {7, 5}, {0, 5}};
  TRegion a = TRegion::FromPolygon(t1, 3, WINDING), b = TRegion::FromPolygon(t2, 3, WINDING);
  EXPECT_TRUE(TRegion::Combine(a, b, RGN_AND).IsEmpty());
  EXPECT_EQ(TRegion::Combine(a, b, RGN_OR), TRegion::FromRect({0, 0, 7, 5}));
}

TEST(Region, HandlesOffsetAndQuery) {
  HRGN r = CreateRectRgn(0, 0, 2, 2);
  HRGN e = CreateEllipticRgn(10, 10, 20, 20);
  HRGN d = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(CombineRgn(d, r, e, RGN_OR), COMPLEXREGION);
  EXPECT_EQ(OffsetRgn(d, 1, 1), COMPLEXREGION);
  TRect box;
  EXPECT_EQ(GetRgnBox(d, box), COMPLEXREGION);
  EXPECT_EQ(box, (TRect{1, 1, 21, 21}));
  EXPECT_TRUE(PtInRegion(d, 1, 1));
  EXPECT_FALSE(PtInRegion(d, 0, 0));
  EXPECT_TRUE(RectInRegion(d, {0, 0, 2, 2}));
  EXPECT_FALSE(RectInRegion(d, {3, 3, 5, 5}));
  EXPECT_EQ(CombineRgn(d, nullptr, r, RGN_OR), ERROR);
  EXPECT_EQ(CombineRgn(d, r, nullptr, RGN_COPY), SIMPLEREGION);
  EXPECT_TRUE(EqualRgn(d, r));
  for (HRGN h : {r, e, d}) DeleteObject(h);
}

TEST(Region, AbsurdShapesStayBounded) {
  TRegion e = TRegion::FromEllipse(-2000000000, -2000000000, 2000000000, 2000000000);
  EXPECT_FALSE(e.IsEmpty());
  EXPECT_LE(e.Bounds().Bottom, kShapeRegionLimit);
  EXPECT_GE(e.Bounds().Top, -kShapeRegionLimit);
  TRegion r = TRegion::FromRect({-2000000000, 0, 2000000000, 1});
  EXPECT_EQ(r.Bounds().Right, kRegionLimit);
}
