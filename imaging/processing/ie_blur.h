// Blur of 8-bit planes: the separable gaussian blur with 16.16 integer
// weights, the 3 x 3 convolution filter, the soft drop shadow that objects
// cast through their alpha plane, and the soft shadow drawn around an image.
#pragma once

#include <cstdint>

#include "imaging/core/ie_filters.h"
#include "imaging/core/iebitmap.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

constexpr int kIEGaussMaxRadius = 100;

struct TIEGaussKernel {
  // Effective half-width, 1..100: the weights beyond it are 0.
  std::uint8_t Radius = 1;
  // Index i + 100 holds the entry of offset i, -100..100.
  double Values[2 * kIEGaussMaxRadius + 1] = {};
  std::int32_t Weights[2 * kIEGaussMaxRadius + 1] = {};

  double Value(int i) const { return Values[i + kIEGaussMaxRadius]; }
  std::int32_t Weight(int i) const { return Weights[i + kIEGaussMaxRadius]; }
};

void IEBuildGaussKernel(TIEGaussKernel& Kernel, double Sigma);
// Blurs Count bytes of Src into Dst; the edge pixels are repeated beyond the row.
void IEConvolveRow(const TIEGaussKernel& Kernel, const std::uint8_t* Src, std::uint8_t* Dst, int Count);
// Blurs the inclusive rectangle of an ie8g bitmap in place (rows, then
// columns); the rectangle is first cut to the bitmap.
void _IEBlurRect8bit(TIEBitmap* Bitmap, int X1, int Y1, int X2, int Y2, double Radius);
// Applies the 3 x 3 filter to the rectangle of an ie8g bitmap, X2 and Y2
// exclusive; the neighbours of the rectangle's edge pixels come from the
// bitmap (its own edges repeated).
void _IEApplyFilter8bit(TIEBitmap* Bitmap, const TIEFilterKernel& Filter, int X1, int Y1, int X2, int Y2);
// Adds the shadow of the object in the inclusive rectangle of an ie24RGB or
// ie1g bitmap with an alpha plane; returns the margin by which the shadow may
// reach beyond the rectangle.
int _IEAddSoftShadow(TIEBitmap* Bitmap, int OffsetX, int OffsetY, double Radius, int Intensity,
                     TRGB ShadowColor, int X1, int Y1, int X2, int Y2);
// Draws a soft shadow around ImageRect (right and bottom, half-open) on a
// 24-bit bitmap painted with Background: the background darkens towards the
// image.
void IEDrawSoftShadow(TIEBitmap* Target, const TRect& ImageRect, TColor Background);

}  // namespace redozir
#pragma GCC visibility pop
