#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "imaging/core/ie_geometry.h"

using namespace redozir;

namespace {
constexpr double kPi = std::numbers::pi;
}

TEST(IEGeometry, RectangleTests) {
  int x1 = 5, y1 = 9, x2 = 1, y2 = 2;
  IEOrderCorners(x1, y1, x2, y2);
  EXPECT_EQ((std::vector<int>{x1, y1, x2, y2}), (std::vector<int>{1, 2, 5, 9}));
  struct Case {
    int x, y, l, t, r, b;
    bool in, inUnordered;
  } cases[] = {
      {0, 0, 0, 0, 4, 4, true, true},  {4, 4, 0, 0, 4, 4, true, true},    {5, 4, 0, 0, 4, 4, false, false},
      {2, 2, 4, 4, 0, 0, false, true}, {-1, 2, 0, 0, 4, 4, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IEPointInRect(c.x, c.y, c.l, c.t, c.r, c.b), c.in) << c.x << "," << c.y;
    EXPECT_EQ(IEPointInRectUnordered(c.x, c.y, c.l, c.t, c.r, c.b), c.inUnordered) << c.x << "," << c.y;
  }
  EXPECT_TRUE(IERectsOverlap(10, 10, 4, 4, 0, 0, 4, 4));  // corners reversed, touching edge
  EXPECT_FALSE(IERectsOverlap(10, 10, 5, 5, 0, 0, 4, 4));
  EXPECT_TRUE(IERectsOverlap(-3, 2, 9, 3, 0, 0, 4, 4));  // crosses through
  EXPECT_EQ(IELimit(7, 0, 5), 5);
  EXPECT_EQ(IELimit(-7, 0, 5), 0);
  EXPECT_EQ(IEMin(3, -3), -3);
  EXPECT_EQ(IEMax(3, -3), 3);
}

TEST(IEGeometry, PointInPolygonEvenOdd) {
  std::vector<TPoint> square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  EXPECT_TRUE(IEIsPointInPolygon(5, 5, square.data(), 3));
  EXPECT_FALSE(IEIsPointInPolygon(11, 5, square.data(), 3));
  EXPECT_FALSE(IEIsPointInPolygon(5, 5, square.data(), 1));  // two points are no polygon
  // A pentagram's centre is outside by the even-odd rule, a tip is inside.
  std::vector<TPoint> star = {{50, 0}, {79, 90}, {2, 35}, {98, 35}, {21, 90}};
  EXPECT_FALSE(IEIsPointInPolygon(50, 50, star.data(), 4));
  EXPECT_TRUE(IEIsPointInPolygon(50, 10, star.data(), 4));
  // Scaled: the square shown at zoom 2 from (100, 50).
  EXPECT_TRUE(IEIsPointInPolygonScaled(115, 65, square.data(), 3, 100, 50, 2, 2));
  EXPECT_FALSE(IEIsPointInPolygonScaled(5, 5, square.data(), 3, 100, 50, 2, 2));
}

TEST(IEGeometry, DistancesByHand) {
  struct Seg {
    double x, y, x1, y1, x2, y2, want;
  } segs[] = {
      {5, 3, 0, 0, 10, 0, 3},    // above the middle
      {-3, 4, 0, 0, 10, 0, 5},   // beyond the first end: 3-4-5
      {13, -4, 0, 0, 10, 0, 5},  // beyond the second end
      {3, 4, 0, 0, 0, 0, 5},     // a point segment
      {0, 0, 0, 0, 7, 7, 0},
  };
  for (const auto& s : segs) EXPECT_DOUBLE_EQ(IEDistPointToSegment(s.x, s.y, s.x1, s.y1, s.x2, s.y2), s.want);
  EXPECT_DOUBLE_EQ(IEDistanceToRect(5, 5, 0, 0, 10, 10, true, 0), 0);
  EXPECT_DOUBLE_EQ(IEDistanceToRect(5, 4, 0, 0, 10, 10, false, 0), 4);
  EXPECT_DOUBLE_EQ(IEDistanceToRect(5, 4, 10, 10, 0, 0, false, 4), 2);  // half the pen off
  EXPECT_DOUBLE_EQ(IEDistanceToRect(13, 14, 0, 0, 10, 10, true, 0), 5);
  // Ellipse in (0,0)-(20,10): centre (10,5), semi-axes 10 and 5.
  EXPECT_NEAR(IEDistanceToEllipse(10, 5, 0, 0, 20, 10, false, 0), 5, 1e-9);  // centre: nearer the minor axis
  EXPECT_NEAR(IEDistanceToEllipse(10, 5, 0, 0, 20, 10, true, 0), 0, 1e-12);
  EXPECT_NEAR(IEDistanceToEllipse(25, 5, 0, 0, 20, 10, false, 0), 5, 1e-9);
  EXPECT_NEAR(IEDistanceToEllipse(10, -3, 0, 0, 20, 10, false, 0), 3, 1e-9);
  EXPECT_NEAR(IEDistanceToEllipse(10, -3, 0, 0, 20, 10, false, 2), 2, 1e-9);
  // A circle of radius 5 at (5,5): from (15, 5 + 0) on the axis and from a diagonal point.
  EXPECT_NEAR(IEDistanceToEllipse(13, 11, 0, 0, 10, 10, false, 0), 5, 1e-9);
  // Off-axis point against a true ellipse: the nearest point must lie on the
  // outline and the distance be no larger than to sampled outline points.
  double d = IEDistanceToEllipse(18, 9, 0, 0, 20, 10, false, 0);
  double best = 1e9;
  for (int i = 0; i < 100000; ++i) {
    double t = 2 * kPi * i / 100000;
    best = std::min(best, std::hypot(10 + 10 * std::cos(t) - 18, 5 + 5 * std::sin(t) - 9));
  }
  EXPECT_NEAR(d, best, 1e-6);
  std::vector<TPoint> line = {{0, 0}, {10, 0}, {10, 10}};
  EXPECT_DOUBLE_EQ(IEDistPointToPolyline(0, 5, line.data(), 2, false, 0, 0, 1, 1, 0), 5);
  EXPECT_NEAR(IEDistPointToPolyline(0, 5, line.data(), 2, true, 0, 0, 1, 1, 0), 5 / std::sqrt(2.0), 1e-12);
  EXPECT_DOUBLE_EQ(IEDistPointToPolyline(0, 10, line.data(), 2, false, 0, 0, 2, 2, 0), 10);  // zoomed
  EXPECT_DOUBLE_EQ(IEDistPointToPolyline(0, 10, line.data(), 0, false, 0, 0, 1, 1, 0), 1000000.0);
}

TEST(IEGeometry, RotationAndAngles) {
  // A quarter turn counter-clockwise on screen takes "right of the centre" to "above".
  std::vector<TPoint> p = {{15, 10}, {10, 5}, {13, 14}};
  IERotatePoints(p.data(), 2, 10, 10, 90);
  EXPECT_EQ(p[0], (TPoint{10, 5}));
  EXPECT_EQ(p[1], (TPoint{5, 10}));
  EXPECT_EQ(p[2], (TPoint{14, 7}));
  IERotatePoints(p.data(), 2, 10, 10, 270);
  EXPECT_EQ(p[0], (TPoint{15, 10}));
  EXPECT_EQ(p[2], (TPoint{13, 14}));
  struct Angle {
    int x1, y1, x2, y2;
    double want;
  } lines[] = {{0, 0, 10, 0, 0},           {0, 0, 0, -10, kPi / 2},   {0, 0, -10, 0, kPi},
               {0, 0, 0, 10, 3 * kPi / 2}, {0, 0, 5, 5, 7 * kPi / 4}, {3, 3, 3, 3, 0}};
  for (const auto& a : lines) EXPECT_NEAR(IELineAngle(a.x1, a.y1, a.x2, a.y2), a.want, 1e-12);
  // From the arm pointing right to the arm pointing up: a quarter turn; the other way three quarters.
  EXPECT_NEAR(IEThreePointAngle(10, 0, 0, 0, 0, -10), kPi / 2, 1e-12);
  EXPECT_NEAR(IEThreePointAngle(0, -10, 0, 0, 10, 0), 3 * kPi / 2, 1e-12);
  EXPECT_NEAR(IEThreePointAngle(10, 0, 0, 0, -10, 0), kPi, 1e-12);
  EXPECT_EQ(IEThreePointAngle(0, 0, 0, 0, 5, 5), 0);
  EXPECT_NEAR(IEVectorsAngle(0, 0, 10, 0, 0, 0, 0, 10), kPi / 2, 1e-12);
  EXPECT_NEAR(IEVectorsAngle(0, 0, 10, 0, 0, 0, 0, -10), kPi / 2, 1e-12);
  EXPECT_NEAR(IEVectorsAngle(0, 0, 10, 0, 5, 5, -5, 5), kPi, 1e-12);
  EXPECT_EQ(IEVectorsAngle(0, 0, 0, 0, 0, 0, 0, 10), 0);
}

TEST(IEGeometry, SnapTo45Degrees) {
  struct Case {
    int x1, y1, wantX, wantY;
  } cases[] = {
      {10, 100, 0, 100},                       // |dy| > |dx| + 30: vertical
      {50, 70, 50, 50},                        // within 30: diagonal, y moved
      {50, -70, 50, -50}, {-60, 31, -60, 60},  // |dy| >= |dx| - 30
      {100, 20, 100, 0},                       // horizontal
      {30, 0, 30, 30},                         // exactly |dx| - 30 is diagonal
      {31, 0, 31, 0},
  };
  for (const auto& c : cases) {
    int x = c.x1, y = c.y1;
    IESnapTo45Degrees(0, 0, x, y);
    EXPECT_EQ(x, c.wantX) << c.x1 << "," << c.y1;
    EXPECT_EQ(y, c.wantY) << c.x1 << "," << c.y1;
  }
}

TEST(IEGeometry, FloatFormatting) {
  struct Case {
    long double v;
    const char* want;
  } general[] = {{1.5L, "1.5"},
                 {-0.25L, "-0.25"},
                 {0.1L, "0.1"},
                 {100, "100"},
                 {1e15L, "1E15"},
                 {123456789012345.0L, "123456789012345"},
                 {0.0001L, "0.0001"},
                 {0.00001L, "1E-5"},
                 {0, "0"},
                 {2.0L / 3, "0.666666666666667"}};
  for (const auto& c : general) {
    std::string s;
    IEFloatToStrDotVar(s, c.v);
    EXPECT_EQ(s, c.want);
  }
  EXPECT_EQ(IEFloatToStrF(3.14159L, ffFixed, 15, 2), "3.14");
  EXPECT_EQ(IEFloatToStrF(-2.5L, ffFixed, 15, 0), "-2");  // the binary value rounds halves to even
  EXPECT_EQ(IEFloatToStrF(1234567.891L, ffNumber, 15, 1), "1,234,567.9");
  EXPECT_EQ(IEFloatToStrF(-0.001L, ffFixed, 15, 2), "0.00");
  EXPECT_EQ(IEFloatToStrF(1234.56L, ffExponent, 4, 2), "1.235E+03");
  EXPECT_EQ(IEFloatToStrF(1e20L, ffFixed, 5, 2), "1E20");
}
