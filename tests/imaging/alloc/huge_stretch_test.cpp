// A tiny bitmap stretched over a rectangle of billions of pixels that mostly
// lies off the target: only what lands on the target is made, never a
// picture of the rectangle's size (bitmaps are kept in memory here, where
// operator new sees them).
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/alloc/largest_request.h"
#include "imaging/core/iebitmap_render.h"

using namespace redozir;

TEST(HugeStretch, OnlyTheVisiblePartIsMade) {
  const std::int64_t threshold = TIEBitmap::DefaultMemoryThreshold;
  TIEBitmap::DefaultMemoryThreshold = -1;
  TIEBitmap src(3, 2, ie24RGB);
  for (int i = 0; i < 6; ++i) std::memset(src.GetScanline(i / 3) + 3 * (i % 3), 40 * i + 1, 3);
  // 40001 x 30001 scales the pixel centres exactly 20000 and 30000 apart
  // (under 4 GB: the old whole resampling asked operator new for it); the
  // second rectangle is too large to be allocated at all. Source pixel (1, 1)
  // lands on target pixel (10, 10) and keeps its value there.
  struct Case {
    int w, h;
    TResampleFilter filter;
  } cases[] = {{40001, 30001, rfTriangle},
               {40001, 30001, rfLanczos3},
               {40001, 30001, rfBilinear},
               {65538 * 2 - 1, 77568 * 2 - 1, rfTriangle},
               {40001, 30001, rfNone}};
  for (const auto& c : cases) {
    const int x = 10 - (c.w - 1) / 2, y = 10 - (c.h - 1);
    for (bool stretch : {false, true}) {
      TIEBitmap target(64, 64, ie24RGB);
      target.Fill(0);
      gLargest = 0;
      if (stretch)
        src.StretchRectTo(&target, x, y, c.w, c.h, 0, 0, 3, 2, c.filter, 255);
      else
        src.RenderToTIEBitmap(&target, x, y, c.w, c.h, 0, 0, 3, 2, true, c.filter);
      EXPECT_LT(gLargest.load(), std::size_t{32} << 20) << c.w << " " << c.filter << " " << stretch;
      EXPECT_EQ(target.GetScanline(10)[30], 161) << c.w << " " << c.filter << " " << stretch;
    }
  }
  TIEBitmap::DefaultMemoryThreshold = threshold;
}
