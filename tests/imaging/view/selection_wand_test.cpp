#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/view/ie_wand.h"
#include "imaging/view/redozir_view.h"

using namespace redozir;

namespace {

using TPoints = std::vector<TPoint>;

TPoints PointsOf(TRedozIrView& v) {
  return TPoints(v.GetSelectionPoints(), v.GetSelectionPoints() + v.GetSelectionPointCount());
}

// A hidden view on a W x H image whose selection works in bitmap pixels.
struct TSelView {
  TRedozIrView v{nullptr};
  TSelView(int w, int h, TIESelectionBase base = iesbBitmap) {
    v.GetIEBitmap()->Allocate(w, h, ie24RGB);
    v.GetIEBitmap()->Fill(0);
    v.Update();
    v.SelectionBase = base;
  }
};

int CountSet(TIEMask* m) {
  int n = 0;
  for (int y = 0; y < m->Height(); ++y)
    for (int x = 0; x < m->Width(); ++x) n += m->GetPixel(x, y) != 0;
  return n;
}

void SetRGB(TIEBitmap* b, int x, int y, int r, int g, int bl) {
  std::uint8_t* p = b->GetScanline(y) + 3 * x;
  p[0] = static_cast<std::uint8_t>(bl);
  p[1] = static_cast<std::uint8_t>(g);
  p[2] = static_cast<std::uint8_t>(r);
}

// A W x H image of one grey with the listed pixels in another.
std::unique_ptr<TIEBitmap> Image(int w, int h, int grey, const TPoints& others, int other) {
  auto b = std::make_unique<TIEBitmap>();
  b->Allocate(w, h, ie24RGB);
  b->Fill(static_cast<double>(RGB(grey, grey, grey)));
  for (const TPoint& p : others) SetRGB(b.get(), p.X, p.Y, other, other, other);
  return b;
}

TPoints Corners(int x1, int y1, int x2, int y2) {
  return {{x1, y1}, {x2, y1}, {x2, y1}, {x2, y2}, {x2, y2}, {x1, y2}, {x1, y2}, {x1, y1}};
}

// The outline as the grid of the trace spells it, made whole: each pixel of
// the map fills 4 x 4 cells from (4x + 2, 4y + 2); four sweeps tag the cells
// beside the runs as border; the trace starts at the border cell nearest the
// border's box's top-left corner.
TPoints GridTrace(const std::vector<std::uint8_t>& map, int bw, int bh) {
  int gw = bw * 4 + 4, gh = bh * 4 + 4;
  std::vector<std::uint8_t> g(static_cast<size_t>(gw) * gh);
  auto cell = [&](int x, int y) -> std::uint8_t& { return g[static_cast<size_t>(y) * gw + x]; };
  for (int y = 0; y < bh; ++y)
    for (int x = 0; x < bw; ++x)
      if (map[y * bw + x])
        for (int j = 0; j < 16; ++j) cell(4 * x + 2 + j % 4, 4 * y + 2 + j / 4) = 1;
  auto sweep = [&](int n, int len, auto at) {
    for (int i = 0; i < n; ++i)
      for (int dir : {1, -1}) {
        bool in = false;
        for (int k = dir > 0 ? 0 : len - 1; k >= 0 && k < len; k += dir) {
          bool one = at(i, k) == 1;
          if (one && !in && k - dir >= 0 && k - dir < len) at(i, k - dir) = 3;
          in = one;
        }
      }
  };
  sweep(gh, gw, [&](int y, int x) -> std::uint8_t& { return cell(x, y); });
  sweep(gw, gh, [&](int x, int y) -> std::uint8_t& { return cell(x, y); });
  int bx = gw, by = gh;
  for (int y = 0; y < gh; ++y)
    for (int x = 1; x < gw; ++x)
      if (cell(x, y) == 3) bx = std::min(bx, x), by = std::min(by, y);
  int sx = 0, sy = 0;
  long best = -1;
  for (int y = 0; y < gh; ++y)
    for (int x = 1; x < gw; ++x)
      if (cell(x, y) == 3 && (best < 0 || (long)(x - bx) * (x - bx) + (long)(y - by) * (y - by) < best))
        best = (long)(x - bx) * (x - bx) + (long)(y - by) * (y - by), sx = x, sy = y;
  const int steps[8][3] = {{1, 0, 0},  {0, -1, 2},  {-1, 0, 4}, {0, 1, 6},
                           {1, -1, 1}, {-1, -1, 3}, {-1, 1, 5}, {1, 1, 7}};
  const int dx[8] = {1, 1, 0, -1, -1, -1, 0, 1}, dy[8] = {0, -1, -1, -1, 0, 1, 1, 1};
  auto border = [&](int x, int y) { return x >= 0 && y >= 0 && x < gw && y < gh && cell(x, y) == 3; };
  std::vector<int> chain;
  int cx = sx, cy = sy, pref = 4;
  cell(cx, cy) = 2;
  for (;;) {
    if (border(cx + steps[pref][0], cy + steps[pref][1])) {
      cx += steps[pref][0], cy += steps[pref][1];
      cell(cx, cy) = 2;
      chain.push_back(steps[pref][2]);
    }
    int f = 0;
    while (f < 8 && !border(cx + steps[f][0], cy + steps[f][1])) ++f;
    if (f == 8) break;
    cx += steps[f][0], cy += steps[f][1];
    cell(cx, cy) = 2;
    chain.push_back(steps[f][2]);
    pref = f;
  }
  for (auto& s : steps)
    if (cx + s[0] == sx && cy + s[1] == sy) chain.push_back(s[2]);
  TPoints pts{{(sx - 1) >> 2, (sy - 1) >> 2}};
  int px = sx - 1, py = sy - 1;
  for (size_t i = 0; i < chain.size(); ++i) {
    if (i > 0 && chain[i] != chain[i - 1]) pts.push_back({px >> 2, py >> 2});
    px += dx[chain[i]], py += dy[chain[i]];
  }
  return pts;
}
}  // namespace

TEST(Selection, RectanglesAreFourOrderedPointsInsideTheImage) {
  struct {
    int x1, y1, x2, y2;
    TPoints want;
  } cases[] = {
      {10, 10, 10, 50, {}},                                        // no width: nothing
      {30, 20, 10, 5, {{10, 5}, {30, 5}, {30, 20}, {10, 20}}},     // corners ordered
      {100, 0, 40, 80, {{40, 0}, {100, 0}, {100, 80}, {40, 80}}},  // right edge exclusive: width stays
      {-5, -5, 100, 1, {{0, 0}, {100, 0}, {100, 1}, {0, 1}}},
  };
  for (const auto& c : cases) {
    TSelView s(100, 80);
    s.v.Select(c.x1, c.y1, c.x2, c.y2, 0);
    EXPECT_EQ(PointsOf(s.v), c.want) << c.x1 << "," << c.y1;
    EXPECT_EQ(s.v.Selected(), !c.want.empty());
  }
  // A left edge at the width moves inside; a ratio fixes the height.
  TSelView s(100, 80);
  s.v.Select(100, 10, 120, 20, 0);
  EXPECT_EQ(PointsOf(s.v)[0], (TPoint{99, 10}));
  s.v.SelectionAspectRatio = 0.5;
  s.v.Select(10, 10, 50, 70, 0);
  EXPECT_EQ(PointsOf(s.v), (TPoints{{10, 10}, {50, 10}, {50, 30}, {10, 30}}));
}

TEST(Selection, AnAddedRectangleFollowsASeparatorAndBothAreFilled) {
  TSelView s(40, 30);
  s.v.Select(2, 2, 6, 5, 0);
  s.v.Select(20, 10, 23, 12, 1);
  TPoints p = PointsOf(s.v);
  ASSERT_EQ(p.size(), 9u);
  EXPECT_TRUE(IEIsSelBreak(p[4]));
  TIEMask* m = s.v.SelectionMask();
  EXPECT_EQ(CountSet(m), 4 * 3 + 3 * 2);
  EXPECT_TRUE(m->IsPointInside(2, 2) && m->IsPointInside(22, 11));
  EXPECT_FALSE(m->IsPointInside(6, 5));
  // Removing points drops a separator left last; an empty polygon stays empty.
  for (int i = 0; i < 4; ++i) s.v.RemoveLastSelectionPoint();
  EXPECT_EQ(s.v.GetSelectionPointCount(), 4);
  for (int i = 0; i < 6; ++i) s.v.RemoveLastSelectionPoint();
  EXPECT_EQ(s.v.GetSelectionPointCount(), 0);
}

TEST(Selection, EllipsesHaveAPointPerPixelOfCircumferenceWithinBounds) {
  struct {
    int dx, dy;
    int points;
  } cases[] = {{7, 7, 50}, {100, 100, 628}, {7, 200, 50}, {40000, 40000, 65536}};
  for (const auto& c : cases) {
    // A hidden view on a large image shows it from the client's corner at 100 %.
    TSelView s(1000, 1000, iesbClientArea);
    s.v.SetSelectionAnchor(300, 300);
    s.v.SelectCircle(300 + c.dx, 300 + c.dy, 0);
    TPoints p = PointsOf(s.v);
    ASSERT_EQ(static_cast<int>(p.size()), c.points) << c.dx;
    EXPECT_EQ(p[0], (TPoint{std::min(300 + c.dx, 1000), 300}));
    for (const TPoint& q : p) ASSERT_TRUE(q.X >= 0 && q.X <= 1000 && q.Y >= 0 && q.Y <= 1000);
  }
}

TEST(Selection, AGripDraggedPastTheOppositeEdgeFlipsTheGrip) {
  TSelView s(100, 100);
  s.v.Select(10, 10, 50, 50, 0);
  s.v.SelectionState().GripBox = s.v.SelectionPolygonBox();
  EXPECT_EQ(s.v.ResizeSelectionByGrip(ieTopLeft, 70, 20, false), ieTopRight);
  EXPECT_EQ(PointsOf(s.v), (TPoints{{50, 20}, {70, 20}, {70, 50}, {50, 50}}));
  // Onto the opposite edge: one pixel past it, never empty.
  EXPECT_EQ(s.v.ResizeSelectionByGrip(ieRightSide, 50, 30, false), ieRightSide);
  EXPECT_EQ(PointsOf(s.v)[1].X - PointsOf(s.v)[0].X, 1);
  // Keeping the aspect: the bottom-right corner drags the height with it.
  s.v.Select(10, 10, 50, 30, 0);
  s.v.SelectionState().GripBox = s.v.SelectionPolygonBox();
  s.v.ResizeSelectionByGrip(ieBottomRight, 89, 0, true);
  EXPECT_EQ(PointsOf(s.v)[2], (TPoint{90, 51}));
}

TEST(Selection, MovesStopAtTheEdgeOrCutByTheOption) {
  for (bool cut : {false, true}) {
    TSelView s(30, 20);
    for (TPoint p : {TPoint{4, 2}, TPoint{12, 2}, TPoint{4, 10}}) s.v.AddSelectionPoint(p.X, p.Y);
    s.v.EndSelect();
    int before = CountSet(s.v.SelectionMask());
    s.v.MoveSelection(-10, 3, cut);
    TIEMask* m = s.v.SelectionMask();
    EXPECT_EQ(m->X1, 0) << cut;
    EXPECT_EQ(m->Y1, 5) << "each axis is held back on its own";
    EXPECT_EQ(CountSet(m) < before, cut);
    for (const TPoint& p : PointsOf(s.v)) EXPECT_GE(p.X, 0);
    if (cut) continue;
    // Held back at the right and bottom edges too.
    s.v.MoveSelection(40, 40, false);
    EXPECT_EQ(m->X2, 29);
    EXPECT_EQ(m->Y2, 19);
    EXPECT_EQ(CountSet(m), before);
  }
  // A rectangle moves as points; its mask is rebuilt when the move ends.
  TSelView s(30, 20);
  s.v.Select(2, 2, 6, 6, 0);
  s.v.MoveSelection(3, 1);
  EXPECT_EQ(s.v.SelectionMask()->X1, 5);
  EXPECT_EQ(s.v.SelectionMask()->Y2, 6);
}

TEST(MagicWand, PolygonsTraceCornersOfTheConnectedRegion) {
  auto flat = Image(4, 3, 80, {}, 0);
  EXPECT_EQ(IEMagicWandPolygon(flat.get(), 2, 1, 0, false), Corners(0, 0, 4, 3));
  auto one = Image(10, 10, 0, {{5, 7}}, 255);
  EXPECT_EQ(IEMagicWandPolygon(one.get(), 5, 7, 0, false), Corners(5, 7, 6, 8));
  // Growing makes a 3 x 3 square, clipped at the image's border.
  EXPECT_EQ(IEMagicWandPolygon(one.get(), 5, 7, 0, true), Corners(4, 6, 7, 9));
  auto corner = Image(10, 10, 0, {{0, 0}}, 255);
  EXPECT_EQ(IEMagicWandPolygon(corner.get(), 0, 0, 0, true), Corners(0, 0, 2, 2));
  EXPECT_TRUE(IEMagicWandPolygon(one.get(), 10, 0, 0, false).empty());
}

TEST(MagicWand, TheTraceFollowsTheWholeGridOnRandomRegions) {
  // Blotchy two-tone pictures: regions with holes, bays, diagonal joins and
  // pixels on the image's edges, traced from every kind of seed.
  std::uint32_t rnd = 12345;
  auto next = [&] { return rnd = rnd * 1664525u + 1013904223u; };
  for (int round = 0; round < 60; ++round) {
    int w = 1 + next() % 23, h = 1 + next() % 19, density = 30 + next() % 50;
    auto b = Image(w, h, 0, {}, 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (static_cast<int>(next() % 100) < density) SetRGB(b.get(), x, y, 200, 200, 200);
    int sx = next() % w, sy = next() % h;
    for (bool grow : {false, true}) {
      // The region as the fill makes it (the mask mode's pixels), over its box.
      TIEMask m;
      m.AllocateBits(w, h, 1);
      IEMagicWandMask(b.get(), sx, sy, 1, &m, 0, false);
      int x1 = w, y1 = h, x2 = -1, y2 = -1;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          if (m.GetPixel(x, y))
            x1 = std::min(x1, x), y1 = std::min(y1, y), x2 = std::max(x2, x), y2 = std::max(y2, y);
      int g = grow ? 1 : 0;
      x1 = std::max(x1 - g, 0), y1 = std::max(y1 - g, 0), x2 = std::min(x2 + g, w - 1),
      y2 = std::min(y2 + g, h - 1);
      int bw = x2 - x1 + 1, bh = y2 - y1 + 1;
      std::vector<std::uint8_t> map(static_cast<size_t>(bw) * bh);
      for (int y = y1; y <= y2; ++y)
        for (int x = x1; x <= x2; ++x)
          for (int yy = std::max(y - g, 0); yy <= std::min(y + g, h - 1); ++yy)
            for (int xx = std::max(x - g, 0); xx <= std::min(x + g, w - 1); ++xx)
              if (m.GetPixel(xx, yy)) map[(y - y1) * bw + (x - x1)] = 1;
      TPoints want = GridTrace(map, bw, bh);
      for (TPoint& p : want) p.X += x1, p.Y += y1;
      ASSERT_EQ(IEMagicWandPolygon(b.get(), sx, sy, 0, grow), want) << round << " " << grow;
    }
  }
}

TEST(MagicWand, AHoleIsInsideThePolygonAndOutsideTheMask) {
  auto holed = Image(7, 6, 50, {{3, 3}}, 200);
  EXPECT_EQ(IEMagicWandPolygon(holed.get(), 0, 0, 10, false), Corners(0, 0, 7, 6));
  TIEMask m;
  m.AllocateBits(7, 6, 1);
  IEMagicWandMask(holed.get(), 0, 0, 1, &m, 10, false);
  EXPECT_EQ(CountSet(&m), 41);
  EXPECT_FALSE(m.IsPointInside(3, 3));
}

TEST(MagicWand, ToleranceIsPerChannelAndGlobalModeReachesDisconnectedPixels) {
  // Seed grey 100; a column of 110 splits the image; a 110 pixel far right.
  auto b = Image(9, 3, 100, {{3, 0}, {3, 1}, {3, 2}, {8, 1}}, 110);
  SetRGB(b.get(), 6, 1, 100, 100, 111);  // one channel off by 11
  struct {
    int tolerance;
    bool global;
    int selected;
  } cases[] = {{9, false, 9}, {10, false, 26}, {10, true, 26}, {11, true, 27}, {0, true, 22}};
  for (const auto& c : cases) {
    TIEMask m;
    m.AllocateBits(9, 3, 1);
    if (c.global)
      IEMagicWandGlobal(b.get(), 0, 0, 1, &m, c.tolerance);
    else
      IEMagicWandMask(b.get(), 0, 0, 1, &m, c.tolerance, false);
    EXPECT_EQ(CountSet(&m), c.selected) << c.tolerance << " " << c.global;
  }
  // A coloured seed: each channel against its own, not a swapped one.
  auto red = Image(5, 1, 0, {}, 0);
  SetRGB(red.get(), 0, 0, 200, 30, 60);
  SetRGB(red.get(), 1, 0, 205, 25, 60);
  SetRGB(red.get(), 2, 0, 60, 30, 200);
  SetRGB(red.get(), 3, 0, 200, 30, 60);
  TIEMask rm;
  rm.AllocateBits(5, 1, 1);
  IEMagicWandGlobal(red.get(), 0, 0, 1, &rm, 5);
  EXPECT_EQ(CountSet(&rm), 3);
  EXPECT_FALSE(rm.IsPointInside(2, 0));
  // Only the global mode crosses the column.
  auto split = Image(9, 3, 100, {{3, 0}, {3, 1}, {3, 2}}, 0);
  TIEMask local, global;
  local.AllocateBits(9, 3, 1);
  global.AllocateBits(9, 3, 1);
  IEMagicWandMask(split.get(), 0, 0, 1, &local, 0, false);
  IEMagicWandGlobal(split.get(), 0, 0, 1, &global, 0);
  EXPECT_EQ(CountSet(&local), 9);
  EXPECT_EQ(CountSet(&global), 24);
}

TEST(MagicWand, TheViewAddsSubPolygonsAndFillsTheirUnion) {
  TSelView s(9, 3);
  TIEBitmap* b = s.v.GetIEBitmap();
  for (int y = 0; y < 3; ++y) SetRGB(b, 4, y, 255, 255, 255);
  s.v.MagicWandSelect(0, 0, false);
  EXPECT_EQ(PointsOf(s.v), Corners(0, 0, 4, 3));
  s.v.MagicWandSelect(8, 2, true);
  EXPECT_EQ(s.v.GetSelectionPointCount(), 17);
  EXPECT_EQ(CountSet(s.v.SelectionMask()), 24);
  s.v.MagicWandMode = 2;
  s.v.MagicWandSelect(4, 0, false);
  EXPECT_EQ(CountSet(s.v.SelectionMask()), 3);
  s.v.MagicWandSelect(-1, 0, false);  // outside: nothing changes
  EXPECT_EQ(CountSet(s.v.SelectionMask()), 3);
}
