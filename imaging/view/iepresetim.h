// The four preset pictures (PNG files compiled into the library), each with
// the area of the picture where a user's image goes.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

struct TIEPresetImage {
  std::int32_t size = 0;               // byte length of the stored picture
  const std::uint8_t* data = nullptr;  // the picture, read-only program data
  std::int32_t format = 0;             // format id of the picture (PNG)
  TRect area;                          // in picture pixels
};

// The list, from the library's start-up (which this call runs when it has not
// run yet) to its shutdown; empty after that.
const std::vector<TIEPresetImage>& IEPresetImages();
// Start-up and shutdown parts; the pictures are not decoded here.
void IEInitPresetImages();
void IEFinalPresetImages();

}  // namespace redozir
#pragma GCC visibility pop
