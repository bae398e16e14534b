// Solid fills on a 32-bit form surface, for backgrounds, borders and scroll
// bars (rectangles of one colour, clipped to the surface and a clip rectangle).
#pragma once

#include "platform/bitmap.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

void FillSurfaceRect(TBitmap* surface, const TRect& r, TColor color, const TRect* clip = nullptr);
// A one-pixel frame just inside r: top and left in one colour, bottom and
// right in the other.
void FrameSurfaceRect(TBitmap* surface, const TRect& r, TColor topLeft, TColor bottomRight,
                      const TRect* clip = nullptr);

}  // namespace redozir
#pragma GCC visibility pop
