// What TIEBitmap's renderer shares with its callers: the caches a render
// can hand back for the next one, and the table of blending operations.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/iebitmap.h"

#pragma GCC visibility push(default)
namespace redozir {

// Kept between renders of the same geometry: the source column of every
// visible destination column and the source row of every visible
// destination row (for unfiltered renders).
struct TIERenderCaches {
  std::vector<int> XLUT;
  std::vector<int> YLUT;
  // The geometry the tables were built for.
  std::int64_t Key[6] = {-1, -1, -1, -1, -1, -1};
  // With KeepFiltered, a filtered render also keeps the resampled source it
  // made, and the next render of the same bitmap, geometry and filter draws
  // from it: for callers that know the source's pixels have not changed in
  // between (they drop the caches when they change).
  bool KeepFiltered = false;
  std::unique_ptr<TIEBitmap> Filtered;
  const TIEBitmap* FilteredFrom = nullptr;
  const TIEBitmap* FilteredAlpha = nullptr;
  int FilteredOffX = 0, FilteredOffY = 0;  // relative to the destination rectangle
  std::int64_t FilteredKey[15] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

// Blending operations of the renderer, by code. 0 copies the source; the
// others combine source s and destination d per channel (0..255, integer
// arithmetic, divisions truncating) unless marked "pixel", which work on the
// whole colour:
//   1 add (clamped)           15 average                29 saturation (pixel)
//   2 multiply                16 linear light           30 color (pixel)
//   3 screen                  17 vivid light            31 luminosity (pixel)
//   4 overlay                 18 pin light              32 darker color (pixel)
//   5 darken                  19 hard mix               33 lighter color (pixel)
//   6 lighten                 20 negation               34 and
//   7 difference              21 reflect                35 or
//   8 exclusion               22 glow                   36 xor
//   9 color dodge             23 freeze                 37 stamp
//  10 color burn              24 heat                   38 phoenix
//  11 hard light              25 divide                 39 geometric mean
//  12 soft light              26 grain extract          40 harmonic mean
//  13 subtract (d - s)        27 grain merge            41 equivalence
//  14 linear burn             28 hue (pixel)            42 inverse subtract (s - d)
// Codes above 42 copy like 0.
constexpr int kIEBlendOperationCount = 43;
const char* IEBlendOperationName(int Operation);
TRGB IEBlendPixel(int Operation, TRGB s, TRGB d);

// One channel of the final mix: d + (s - d) x w / 256, with w scaled by 1024
// and the product shifted right by 18 (rounding toward minus infinity).
inline std::uint8_t IERenderMix(int s, int d, int w) {
  return static_cast<std::uint8_t>(d + (((s - d) * (w << 10)) >> 18));
}

}  // namespace redozir
#pragma GCC visibility pop
