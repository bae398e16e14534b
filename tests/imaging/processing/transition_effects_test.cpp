#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "imaging/processing/transition_effects.h"
#include "imaging/processing/transition_random.h"
#include "imaging/processing/transition_regions.h"

using namespace redozir;

namespace {
constexpr std::uint8_t kTagA = 0x2A, kTagB = 0xB5;

// Blue is the tag of the picture, green and red the column and row, so a
// pixel tells where it came from even after a halftone stretch averaged it.
void Code(TBitmap& b, std::uint8_t tag) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      std::uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = tag;
      p[1] = static_cast<std::uint8_t>(x);
      p[2] = static_cast<std::uint8_t>(y);
    }
}

bool SamePixel(const TBitmap& a, int ax, int ay, const TBitmap& b, int bx, int by) {
  return std::memcmp(a.ScanLine(ay) + 3 * ax, b.ScanLine(by) + 3 * bx, 3) == 0;
}
bool Same(const TBitmap& a, const TBitmap& b) {
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), static_cast<size_t>(a.Width()) * 3) != 0) return false;
  return true;
}
int CountTag(const TBitmap& b, std::uint8_t tag) {
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) n += b.ScanLine(y)[3 * x] == tag;
  return n;
}

struct TScene {
  TBitmap A, B, F;
  TScene(int w, int h) : A(w, h), B(w, h), F(w, h) {
    Code(A, kTagA);
    Code(B, kTagB);
    Code(F, kTagA);
  }
  TBitmap& Draw(int effect, int progress) {
    EXPECT_TRUE(IEDrawTableEffect(F, A, B, effect, progress)) << effect;
    return F;
  }
};

const std::vector<std::pair<int, int>> kSizes = {{96, 64}, {64, 96}, {97, 61}};
const std::vector<int> kProgress = {0, 1, 5, 25, 50, 75, 99, 100};

bool In(const std::set<int>& s, int e) { return s.count(e) > 0; }
}  // namespace

TEST(TransitionEffects, TableNamesEveryEffectAndHasProceduresFrom31On) {
  EXPECT_STREQ(TransitionEffectTable[0].Name, "Cross Fade");
  EXPECT_STREQ(TransitionEffectTable[30].Name, "Expand from Left");
  EXPECT_STREQ(TransitionEffectTable[112].Name, "Expanding Rectangles");
  EXPECT_STREQ(TransitionEffectTable[186].Name, "Page Flip 2");
  std::set<std::string> names;
  for (int i = 0; i < kTransitionEffectCount; ++i) {
    names.insert(TransitionEffectTable[i].Name);
    EXPECT_EQ(TransitionEffectTable[i].Proc != nullptr, i + 1 >= kFirstTableEffect) << i + 1;
  }
  EXPECT_EQ(names.size(), 187u);
}

// Every frame holds pixels of the start or the target only, progress 0
// keeps the start and 100 gives the target, over a run of progress values
// drawn one over the other as the engine does.
TEST(TransitionEffects, EveryRegionEffectDrawsFromStartOrTargetAndEndsOnTheTarget) {
  // Effects whose first frame is not the start picture: the build-ups
  // stretch the target's edge over what is not built yet; shredded and
  // speckled edges scatter around the progress, also at 0.
  std::set<int> notStartAt0 = {57, 58, 59, 60};
  for (int e = 95; e <= 112; ++e) notStartAt0.insert(e);
  for (int e = 147; e <= 150; ++e) notStartAt0.insert(e);
  // The sweeps leave the last 3.6 degrees; the fold line stays on the last
  // "Page Flip 2" frame.
  const std::set<int> notTargetAt100 = {139, 140, 187};
  // The squeezes stretch the frame shown so far, blending its two pictures.
  const std::set<int> blends = {155, 156, 157, 158};
  for (auto [w, h] : kSizes)
    for (int e = kFirstTableEffect; e <= kTransitionEffectCount; ++e) {
      IERandSeed = 12345;
      TScene s(w, h);
      for (int p : kProgress) {
        s.Draw(e, p);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            const std::uint8_t* px = s.F.ScanLine(y) + 3 * x;
            const bool valid = px[0] == kTagA || px[0] == kTagB ||
                               (In(blends, e) && px[0] > kTagA && px[0] < kTagB) ||
                               (e == 187 && px[0] == 0 && px[1] == 0 && px[2] == 0);
            ASSERT_TRUE(valid) << "effect " << e << " at " << p << " on " << w << "x" << h << " pixel " << x
                               << "," << y;
          }
      }
      TScene zero(w, h), full(w, h);
      if (!In(notStartAt0, e)) {
        EXPECT_TRUE(Same(zero.Draw(e, 0), zero.A)) << "start kept by " << e << " " << w << "x" << h;
      }
      if (!In(notTargetAt100, e)) {
        EXPECT_TRUE(Same(full.Draw(e, 100), full.B)) << "target reached by " << e << " " << w << "x" << h;
      }
    }
}

// Wipes, bars, blinds and growing shapes only ever add target pixels as the
// progress grows.
TEST(TransitionEffects, CoverageGrowsWithProgress) {
  std::vector<int> growing;
  for (int e : {49,  50,  51,  52,  53,  54,  55,  56,  117, 133, 134, 135, 136, 137, 138,
                139, 140, 141, 142, 171, 172, 173, 174, 175, 176, 178, 181, 183, 185})
    growing.push_back(e);
  for (int e = 77; e <= 94; ++e) growing.push_back(e);    // curved wipes, bars
  for (int e = 113; e <= 116; ++e) growing.push_back(e);  // expanding shapes
  for (int e = 119; e <= 132; ++e) growing.push_back(e);  // crisscross bars
  for (int e = 159; e <= 168; ++e) growing.push_back(e);  // blinds
  for (auto [w, h] : kSizes)
    for (int e : growing) {
      int before = -1;
      for (int p : kProgress) {
        TScene s(w, h);
        const int n = CountTag(s.Draw(e, p), kTagB);
        EXPECT_GE(n, before) << "effect " << e << " at " << p << " on " << w << "x" << h;
        before = n;
      }
      // The sweeps leave their last sector open.
      if (e != 139 && e != 140) {
        EXPECT_EQ(before, w * h) << "effect " << e;
      }
    }
}

// Stretches and copies of the whole target land exactly in their
// rectangle: target pixels inside (copies at their own place), the start
// outside.
TEST(TransitionEffects, StretchesAndCopiesFillExactlyTheirRectangle) {
  struct TCase {
    int effect;
    bool copy;  // B's pixel at the same place, not a stretch of all of B
    std::function<TRect(int W, int H, int SW, int SH)> rect;
  };
  const std::vector<TCase> cases = {
      {31, false, [](int W, int H, int SW, int SH) { return Rect(0, 0, SW, H); }},
      {32, false, [](int W, int H, int SW, int SH) { return Rect(W - SW, 0, W, H); }},
      {33, false, [](int W, int H, int SW, int SH) { return Rect(0, 0, W, SH); }},
      {34, false, [](int W, int H, int SW, int SH) { return Rect(0, H - SH, W, H); }},
      {35, false, [](int W, int H, int SW, int SH) { return Rect(0, 0, SW, SH); }},
      {36, false, [](int W, int H, int SW, int SH) { return Rect(W - SW, 0, W, SH); }},
      {37, false, [](int W, int H, int SW, int SH) { return Rect(0, H - SH, SW, H); }},
      {38, false, [](int W, int H, int SW, int SH) { return Rect(W - SW, H - SH, W, H); }},
      {47, false, [](int W, int H, int SW, int SH) { return Bounds(0, (H - SH) / 2, W, SH); }},
      {48, false, [](int W, int H, int SW, int SH) { return Bounds((W - SW) / 2, 0, SW, H); }},
      {49, true, [](int W, int H, int SW, int SH) { return Rect(0, 0, SW, SH); }},
      {52, true, [](int W, int H, int SW, int SH) { return Rect(W - SW, H - SH, W, H); }},
      {54, true, [](int W, int H, int SW, int SH) { return Bounds(0, (H - SH) / 2, W, SH); }},
      {56, true, [](int W, int H, int SW, int SH) { return Bounds((W - SW) / 2, 0, SW, H); }},
  };
  for (auto [w, h] : kSizes)
    for (const TCase& c : cases)
      for (int p : {25, 50, 75}) {
        TScene s(w, h);
        s.Draw(c.effect, p);
        int W, H, SW, SH;
        IEProgressSize({0, 0, w, h}, p, W, H, SW, SH);
        const TRect r = c.rect(W, H, SW, SH);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            const bool inside = r.Contains(x, y);
            const bool ok =
                !inside ? SamePixel(s.F, x, y, s.A, x, y)
                        : (c.copy ? SamePixel(s.F, x, y, s.B, x, y) : s.F.ScanLine(y)[3 * x] == kTagB);
            ASSERT_TRUE(ok) << "effect " << c.effect << " at " << p << " pixel " << x << "," << y;
          }
      }
}

TEST(TransitionEffects, SharedRoutinesGiveTheWorkedValues) {
  int W, H, SW, SH;
  IEProgressSize({0, 0, 400, 300}, 50, W, H, SW, SH);
  EXPECT_EQ((std::vector<int>{W, H, SW, SH}), (std::vector<int>{400, 300, 200, 150}));
  IEProgressSize({0, 0, 300, 400}, 50, W, H, SW, SH);
  EXPECT_EQ((std::vector<int>{SW, SH}), (std::vector<int>{150, 200}));

  TComplexRegion r;
  EXPECT_FALSE(r.CreateRegion().has_value());
  r.AddRect(5, 5, 5, 9);
  ASSERT_TRUE(r.CreateRegion().has_value());
  EXPECT_TRUE(r.CreateRegion()->IsEmpty());
  r.Clear();
  for (int i = 0; i < 501; ++i) r.AddRect(i, 0, i + 1, 1 + i % 2);
  EXPECT_EQ(r.Capacity(), 1000);
  EXPECT_EQ(r.Rects()[499], Rect(499, 0, 500, 2));
  EXPECT_EQ(r.Bounds(), Rect(0, 0, 501, 2));
  EXPECT_EQ(r.CreateRegion()->Bounds(), Rect(0, 0, 501, 2));

  // The degree and the radian rotations turn the same way on screen only
  // with opposite signs: each keeps its own name and unit.
  TPoint p[] = {{10, 0}, {3, 4}};
  IERotatePointsRad(p, 1, 0, 0, std::numbers::pi / 2);
  EXPECT_EQ(p[0], Point(0, 10));
  EXPECT_EQ(p[1], Point(-4, 3));
}

TEST(TransitionEffects, WorkedFramesOfBarsSlidesAndBlinds) {
  // "Bars in from Right" at 50 on 100 x 100: bars of 3 rows, the even ones done.
  TScene bars(100, 100);
  bars.Draw(86, 50);
  for (int y = 0; y < 100; ++y) EXPECT_EQ(bars.F.ScanLine(y)[3 * 10], (y / 3) % 2 == 0 ? kTagB : kTagA) << y;
  // "Slide in from Left" at 30: B's column 70 at the left edge.
  TScene slide(100, 100);
  slide.Draw(65, 30);
  EXPECT_TRUE(SamePixel(slide.F, 0, 5, slide.B, 70, 5));
  EXPECT_TRUE(SamePixel(slide.F, 30, 5, slide.A, 30, 5));
  // "Uneven Blinds from Left": nothing at 0.
  TScene blinds(100, 100);
  EXPECT_TRUE(Same(blinds.Draw(161, 0), blinds.A));
}

TEST(TransitionEffects, RandomEdgesFlickerButRandomBoxesStayPut) {
  TScene a(96, 64), b(96, 64);
  IERandSeed = 1;
  a.Draw(95, 50);
  b.Draw(95, 50);
  EXPECT_FALSE(Same(a.F, b.F));  // a fresh ragged edge every frame
  // The boxes come from the target alone: two runs draw the same, and the
  // shared generator goes on as if they had not been drawn.
  TScene c(96, 64), d(96, 64);
  IERandSeed = 77;
  c.Draw(185, 40);
  EXPECT_EQ(IERandSeed, 77u);
  IERandSeed = 5;
  d.Draw(185, 40);
  EXPECT_TRUE(Same(c.F, d.F));
  const int boxes = CountTag(c.F, kTagB);
  EXPECT_GT(boxes, 0);
  EXPECT_LT(boxes, 96 * 64);
}

// Frames of a pixel or two: every effect stays inside them.
TEST(TransitionEffects, TinyFramesDrawOnlyTheirPictures) {
  for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {2, 1}, {1, 3}, {5, 2}})
    for (int e = kFirstTableEffect; e <= kTransitionEffectCount; ++e) {
      TScene s(w, h);
      for (int p : kProgress) s.Draw(e, p);
      const int a = CountTag(s.F, kTagA), b = CountTag(s.F, kTagB);
      const bool blendsOrLines = (e >= 155 && e <= 158) || e == 187;
      EXPECT_TRUE(a + b == w * h || blendsOrLines) << "effect " << e << " on " << w << "x" << h;
    }
}
