// The magic wand: the pixels whose colour lies within a tolerance of a seed
// pixel's, as the traced outline of the connected region, as that region
// written into a mask, or as every such pixel of the image.
#pragma once

#include <vector>

#include "imaging/core/iemask.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

class TIEBitmap;

// The outline of the connected region around (X, Y) on pixel corners (a
// region's right edge at its rightmost pixel's X + 1), corners only; empty
// when the seed lies outside. With MaxFilter the region first grows by one
// pixel every way (not past the image). Raises EOutOfMemory when the
// tracing grid cannot be had.
std::vector<TPoint> IEMagicWandPolygon(TIEBitmap* Bitmap, int X, int Y, int Tolerance, bool MaxFilter);
// The outlines of the first MaxRegions 4-connected regions of the mask's
// set pixels (top row first), as the wand traces them, separated by
// IESELBREAK points; holes are not outlined.
std::vector<TPoint> IEMaskPolygon(const TIEMask& Mask, int MaxRegions);
// Sets the connected region (grown by MaxFilter) to Value in Mask.
void IEMagicWandMask(TIEBitmap* Bitmap, int X, int Y, int Value, TIEMask* Mask, int Tolerance,
                     bool MaxFilter);
// Sets every pixel of the image similar to the seed to Value in Mask.
void IEMagicWandGlobal(TIEBitmap* Bitmap, int X, int Y, int Value, TIEMask* Mask, int Tolerance);

}  // namespace redozir
#pragma GCC visibility pop
