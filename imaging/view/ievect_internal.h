// What tests reach of the vector objects' drawing: the recorder of its
// calls and a stand-in for the copy to the background. Not installed with
// the library's headers.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "imaging/view/ievect.h"

#pragma GCC visibility push(default)
namespace redozir {

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
