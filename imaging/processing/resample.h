// Resampling of TIEBitmap images: the filter dispatcher, the nearest stretch,
// the kernel resampler and the bilinear, bicubic, fast-linear, projection and
// 1-bit resamplers behind it.
#pragma once

#include "imaging/core/ie_types.h"
#include "imaging/core/iebitmap.h"

#pragma GCC visibility push(default)
namespace redozir {

// --- dispatch and nearest stretch

// Resamples Src into Dst (already allocated at the wanted size) by the
// filter, sending each pixel format to its engine; the alpha plane follows.
void _IEResampleIEBitmap(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter FilterType,
                         const TIEProgressEvent& OnProgress, TObject* Sender);
// Unfiltered stretch; Dst is allocated by the caller at the wanted size in
// Src's pixel format.
void _IEStretchNearest(TIEBitmap* Src, TIEBitmap* Dst, TObject* Sender, const TIEProgressEvent& OnProgress);

// --- kernel resampler

// Colour images (kernel filters on a 24-bit copy, the other filters handed on
// to their engines); the result is ie24RGB for every colour source.
void _IEResampleKernel(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter FilterType,
                       const TIEProgressEvent& OnProgress, TObject* Sender);
// One 8-bit plane (grey images, alpha planes).
void _IEResample8bit(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter FilterType);
// A 1-bit source; Dst is ie24RGB (ie1g for the projections).
void _IEResample1bit(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter FilterType);

double IETriangleFilter(double Value);
double IEHermiteFilter(double Value);
double IEBellFilter(double Value);
double IEBSplineFilter(double Value);
double IELanczos3Filter(double Value);
double IEMitchellFilter(double Value);
double IEBoxFilter(double Value);
double IELinearFilter(double Value);
double IESinc(double Value);

// --- area-weighted, fast linear, projections, 1-bit

// Mode 0 bilinear, 1 bicubic; ie24RGB and ie8g (16-bit twin: ieRGB48, ie16g).
void _IEResampleBilinearBicubic8(TIEBitmap* Src, TIEBitmap* Dst, int Mode, TObject* Sender,
                                 const TIEProgressEvent& OnProgress);
void _IEResampleBilinearBicubic16(TIEBitmap* Src, TIEBitmap* Dst, int Mode, TObject* Sender,
                                  const TIEProgressEvent& OnProgress);
void _IEResampleFastLinear24(TIEBitmap* Src, TIEBitmap* Dst, TObject* Sender,
                             const TIEProgressEvent& OnProgress);
void _IEResampleFastLinear8(TIEBitmap* Src, TIEBitmap* Dst, TObject* Sender,
                            const TIEProgressEvent& OnProgress);
// The part Win of the fast linear resampling of Src's rectangle (Sx, Sy, Sw,
// Sh) to Dw x Dh, into Dst of Win's size and Src's format (ie24RGB or ie8g):
// the bytes the whole resampling gives there, from the pixels behind Win.
void _IEResampleFastLinearWindow(TIEBitmap* Src, int Sx, int Sy, int Sw, int Sh, int Dw, int Dh,
                                 const TRect& Win, TIEBitmap* Dst);
// Mode 0: dark wins (rfProjectBW); 1: light wins (rfProjectWB). Dst becomes ie1g.
void _IEProject24to1(TIEBitmap* Src, TIEBitmap* Dst, int Mode, TObject* Sender,
                     const TIEProgressEvent& OnProgress);
void _IEProject1to1(TIEBitmap* Src, TIEBitmap* Dst, int Mode, TObject* Sender,
                    const TIEProgressEvent& OnProgress);
void _IEResample1bitLinear(TIEBitmap* Src, TIEBitmap* Dst, TObject* Sender,
                           const TIEProgressEvent& OnProgress);
// The inclusive source rectangle averaged into the whole 24-bit Dst.
void _IEResample1bitBox(TIEBitmap* Src, int X1, int Y1, int X2, int Y2, TIEBitmap* Dst);

// Cubic convolution (a = -1) of the samples at -1, 0, 1, 2 at position T from
// P1, limited to Min..Max.
double IECubicInterpolate4(int P0, int P1, int P2, int P3, double T, double Min, double Max);

// The size that Resample and ResampleTo give an image of Width x Height for
// NewWidth x NewHeight: -1 keeps the aspect ratio, 0 keeps the size, other
// values count by their absolute value, at least 1. False when both are
// negative (nothing to do).
bool IEResampleTargetSize(int Width, int Height, int NewWidth, int NewHeight, int& W, int& H);

}  // namespace redozir
#pragma GCC visibility pop
