// The renderer's filtered source: the resampling engines live on the
// processing floor above the core, so the renderer reaches them through a
// function that IEConnectFloors fills in.
#pragma once

#include <memory>

#include "imaging/core/ie_types.h"
#include "imaging/core/iebitmap.h"

#pragma GCC visibility push(default)
namespace redozir {

struct TIERenderSource {
  std::unique_ptr<TIEBitmap> Owned;
  TIEBitmap* Image = nullptr;
  int OffX = 0, OffY = 0;  // destination position of the image's pixel (0, 0)
};

// The source rectangle (xSrc, ySrc, dxSrc, dySrc) of Src resampled by Filter
// to the destination rectangle (xDst, yDst, dxDst, dyDst), whole or the part
// of it around the visible rectangle Vis.
using TIERenderResampler = TIERenderSource (*)(TIEBitmap* Src, const TRect& Vis, int xDst, int yDst,
                                               int dxDst, int dyDst, int xSrc, int ySrc, int dxSrc, int dySrc,
                                               TResampleFilter Filter);

// Called once by IEConnectFloors.
void IESetRenderResampler(TIERenderResampler Resampler);

// The renderer's way to the resampler; connects the floors on first use.
TIERenderSource IERenderResampled(TIEBitmap* Src, const TRect& Vis, int xDst, int yDst, int dxDst, int dyDst,
                                  int xSrc, int ySrc, int dxSrc, int dySrc, TResampleFilter Filter);

}  // namespace redozir
#pragma GCC visibility pop
