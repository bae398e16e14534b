#include <gtest/gtest.h>

#include "imaging/processing/hsl.h"

using namespace redozir;

TEST(HSL, RGBToHSLKnownColours) {
  struct Case {
    TRGB c;
    double h, s, l;
  } cases[] = {
      {TRGB{0, 0, 255}, 0.0, 1.0, 0.5},          // red
      {TRGB{255, 0, 0}, 2.0 / 3, 1.0, 0.5},      // blue
      {TRGB{0, 255, 0}, 1.0 / 3, 1.0, 0.5},      // green
      {TRGB{77, 77, 77}, 0.0, 0.0, 77.0 / 255},  // grey
      {TRGB{255, 0, 255}, 5.0 / 6, 1.0, 0.5},    // magenta: H negative before the wrap
      {TRGB{64, 128, 192}, 1.0 / 12, 128.0 / 254, 128.0 / 255},
  };
  for (const auto& c : cases) {
    double h, s, l;
    IERGB2HSL(c.c, h, s, l);
    EXPECT_NEAR(h, c.h, 1e-12);
    EXPECT_NEAR(s, c.s, 1e-12);
    EXPECT_NEAR(l, c.l, 1e-12);
  }
}

TEST(HSL, HSLToRGBKnownColoursAndLimits) {
  struct Case {
    double h, s, l;
    TRGB c;
  } cases[] = {
      {0, 1, 0.5, TRGB{0, 0, 255}},        {0.3, 0.7, 1.0, TRGB{255, 255, 255}},
      {0.9, 0.2, 0.0, TRGB{0, 0, 0}},      {0.5, 0, 0.5, TRGB{127, 127, 127}},  // Trunc(127.5)
      {-1.0, 1, 0.5, TRGB{0, 0, 255}},                                          // H below 0 wraps by one turn
      {0, 2.0, 0.5, TRGB{0, 0, 255}},                                           // S limited to 1
      {2.0 / 3, 1, 0.25, TRGB{127, 0, 0}},                                      // dark blue: Q = 0.5
  };
  for (const auto& c : cases) {
    TRGB out;
    IEHSL2RGB(c.h, c.s, c.l, out);
    EXPECT_EQ(out, c.c) << c.h << " " << c.s << " " << c.l;
  }
}

TEST(HSL, RoundTripStaysWithinOneLevel) {
  for (int r = 0; r < 256; r += 15)
    for (int g = 0; g < 256; g += 17)
      for (int b = 0; b < 256; b += 51) {
        TRGB c{static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(r)};
        double h, s, l;
        IERGB2HSL(c, h, s, l);
        TRGB back;
        IEHSL2RGB(h, s, l, back);
        EXPECT_LE(std::abs(back.r - c.r), 1);
        EXPECT_LE(std::abs(back.g - c.g), 1);
        EXPECT_LE(std::abs(back.b - c.b), 1);
      }
}
