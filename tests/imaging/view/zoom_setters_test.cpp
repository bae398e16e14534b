// The plain zoom setters on their own, without the update that Zoom, ZoomX
// and ZoomY run afterwards (which would repair an origin left out of range).
#include <gtest/gtest.h>

#include <algorithm>

#include "view_on_form.h"

using namespace redozir;

TEST(ZoomSetters, EachSetterLeavesBothOriginsWithinTheirMaxima) {
  enum Which { kBoth, kX, kY };
  for (Which which : {kBoth, kX, kY})
    for (TScrollStyle bars : {ssBoth, ssNone})
      for (double from : {100.0, 300.0})
        for (double to : {25.0, 50.0, 99.0, 100.0, 101.0, 150.0, 333.0, 1000.0}) {
          SCOPED_TRACE(testing::Message()
                       << "setter " << which << " bars " << int(bars) << " zoom " << from << " -> " << to);
          TRedozIrView v(nullptr);
          SetImage(v, 200, 80);
          v.SetScrollBars(bars);
          v.Zoom(from);
          v.SetViewXY(100000, 100000);  // both at their maxima
          const int x0 = v.ViewX(), y0 = v.ViewY();
          if (which == kBoth)
            v.SetZoom(to);
          else if (which == kX)
            v.SetZoomX(to);
          else
            v.SetZoomY(to);
          int mx = -1, my = -1;
          v.GetMaxViewXY(mx, my);
          EXPECT_GE(v.ViewX(), 0);
          EXPECT_GE(v.ViewY(), 0);
          EXPECT_LE(v.ViewX(), mx);
          EXPECT_LE(v.ViewY(), my);
          // The other axis stays, unless its maximum shrank below it.
          if (which == kY) {
            EXPECT_EQ(v.ViewX(), std::min(x0, mx));
          }
          if (which == kX) {
            EXPECT_EQ(v.ViewY(), std::min(y0, my));
          }
          EXPECT_EQ(v.ZoomX(), which == kY ? from : to);
          EXPECT_EQ(v.ZoomY(), which == kX ? from : to);
        }
}

TEST(ZoomSetters, SetZoomKeepsTheBitmapPointUnderTheClientCentre) {
  // 50 x 50 client area: at 100 % with the origin at (60, 10) the centre
  // shows bitmap point (85, 35); at 200 % that is 170, 70 minus 25.
  TRedozIrView v(nullptr);
  SetImage(v, 200, 80);
  v.SetViewXY(60, 10);
  ASSERT_EQ(v.ViewX(), 60);
  v.SetZoom(200);
  EXPECT_EQ(v.ViewX(), 145);
  EXPECT_EQ(v.ViewY(), 45);
  v.SetZoom(100);
  EXPECT_EQ(v.ViewX(), 60);
  EXPECT_EQ(v.ViewY(), 10);
}
