// What the vector objects' sources share, and what tests reach of their
// drawing: the recorder of its calls and a stand-in for the copy to the
// background. Not installed with the library's headers.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "imaging/view/ievect.h"

#pragma GCC visibility push(default)
namespace redozir {

// A coordinate on a drawing target: clamped to what the flattener takes, and
// 0 for one that is not finite (an absurd zoom or pen width).
inline int IEVClipCoord(double v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<int>(std::clamp(v, -double(kIEVMaxDrawCoord), double(kIEVMaxDrawCoord)));
}

// One drawing call of the objects, as a recorder sees it.
struct TIEVDrawOp {
  enum TKind { Line, Rect, FillRect, Ellipse, Arc, Polygon, Polyline, TextOut, Bitmap } Kind = Line;
  std::vector<TPoint> Points;
  int PenWidth = 1;
  bool RoundCaps = false;
  std::string Text;
};
// Receives every drawing call of the objects when set.
extern std::function<void(const TIEVDrawOp&)> IEVDrawRecorder;
// When set, TRedozIrVect::CopyObjectsToBack calls it instead of drawing.
extern std::function<void(TRedozIrVect& View, TIEBitmap* Dest)> IEVCopyObjectsHook;

}  // namespace redozir
#pragma GCC visibility pop
