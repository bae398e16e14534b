// The table of the 187 named transition effects and the frame procedures of
// effects 31 to 187: each draws one frame of the change from the start image
// to the target image onto the frame canvas for a progress in percent,
// mostly by copying the target through a clip region built from it.
#pragma once

#include <cstdint>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

// Draws one frame onto Canvas (the frame bitmap's, over the previous frame)
// from Prev (the start image) and Next (the target) for Progress 0..100 in
// the frame area Rect. Scale is 1 from the engine.
using TIETransitionProc = void (*)(TCanvas* Canvas, TBitmap* Prev, TBitmap* Next, const TRect& Rect,
                                   int Scale, int Progress);

struct TEffect {
  const char* Name;
  TIETransitionProc Proc;  // nullptr for effects 1 to 30, which the engine draws
};

// Effect numbers 1 .. kTransitionEffectCount index the table (entry number - 1);
// kPanZoomEffect is the engine's pan-and-zoom.
constexpr int kTransitionEffectCount = 187;
constexpr int kFirstTableEffect = 31;
constexpr int kPanZoomEffect = 188;
extern const TEffect TransitionEffectTable[kTransitionEffectCount];

// W and H of Rect, and the progress rectangle SW x SH: it grows from 0 x 0 to
// W x H with the frame's aspect, driven by the longer side.
void IEProgressSize(const TRect& Rect, int Progress, int& W, int& H, int& SW, int& SH);
// Stretches SrcRect of Bitmap (clipped to it) into DstRect under HALFTONE,
// mirrored left-right and / or top-bottom within DstRect.
void IEMirrorStretch(TCanvas* Canvas, const TRect& DstRect, TBitmap* Bitmap, TRect SrcRect,
                     bool FlipHorizontal, bool FlipVertical);
// Rotates Points[0 .. High] about (CX, CY) by Angle radians:
// x' = Round((x - CX) cos - (y - CY) sin) + CX, y' = Round((x - CX) sin + (y - CY) cos) + CY.
void IERotatePointsRad(TPoint* Points, int High, int CX, int CY, double Angle);

// Draws table effect Effect (31 .. 187) at Progress onto Frame as the engine
// does: HALFTONE stretching, the whole frame as the area, Scale 1. Frame,
// Start and Target must be 24-bit bitmaps of one size. False when Effect has
// no procedure in the table.
bool IEDrawTableEffect(TBitmap& Frame, TBitmap& Start, TBitmap& Target, int Effect, int Progress);

}  // namespace redozir
#pragma GCC visibility pop
