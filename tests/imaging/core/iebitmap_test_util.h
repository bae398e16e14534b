// Helpers of the bitmap tests: patterned images and comparisons.
#pragma once

#include <cstring>
#include <random>
#include <string>

#include "imaging/core/iebitmap.h"

using namespace redozir;

namespace testutil {

// What a test image holds: black and white, grey levels, or colours.
enum class Content { BlackWhite, Grey, Colour };

// A w x h 24-bit image of pseudo-random pixels of the given content.
inline void Paint24(TIEBitmap& b, int w, int h, Content c, unsigned seed = 1) {
  b.Allocate(w, h, ie24RGB);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = b.GetScanline(y);
    for (int x = 0; x < w; ++x) {
      std::uint8_t r = rng() & 0xFF, g = rng() & 0xFF, bl = rng() & 0xFF;
      if (c == Content::BlackWhite) r = g = bl = (r & 1) ? 255 : 0;
      if (c == Content::Grey) g = bl = r;
      row[3 * x] = bl;
      row[3 * x + 1] = g;
      row[3 * x + 2] = r;
    }
  }
}

// The image's pixel bytes (without row padding, and without the padding
// bits of a 1-bit row) as a string, for exact comparisons.
inline std::string PixelBytes(TIEBitmap& b) {
  std::string s;
  int bits = b.GetBitCount();
  for (int y = 0; y < b.GetHeight(); ++y) {
    const std::uint8_t* row = b.GetScanline(y);
    if (bits == 1) {
      for (int x = 0; x < b.GetWidth(); ++x) s += ((row[x >> 3] >> (7 - (x & 7))) & 1) ? '1' : '0';
    } else {
      s.append(reinterpret_cast<const char*>(row), static_cast<size_t>(b.GetWidth()) * bits / 8);
    }
  }
  return s;
}

// The largest channel difference of GetPixels over two images of one size.
inline int MaxRGBDifference(TIEBitmap& a, TIEBitmap& b) {
  int worst = 0;
  for (int y = 0; y < a.GetHeight(); ++y)
    for (int x = 0; x < a.GetWidth(); ++x) {
      TRGB p = a.GetPixels(x, y), q = b.GetPixels(x, y);
      worst = std::max({worst, std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
    }
  return worst;
}

inline const TIEPixelFormat kAllFormats[] = {ie1g,  ie8p,   ie8g,    ie16g,    ie24RGB,
                                             ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB};

}  // namespace testutil
