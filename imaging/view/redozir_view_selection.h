// The selection state a TRedozIrView keeps beside its mask: the polygon that
// is built and shown as the outline, the gesture flags and the drag state of
// the mouse, and the marching-ants timer.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/iemask.h"
#include "platform/timers.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

constexpr bool IEIsSelBreak(const TPoint& P) { return P.X == IESELBREAK && P.Y == IESELBREAK; }

// The selection polygon in bitmap coordinates; separators close one
// sub-polygon and open the next.
struct TIESelectionPolygon {
  std::vector<TPoint> Points;
  // Over every point added since the polygon was last emptied.
  TRect Box{};
  int AntsPhase = 0;  // 0..9, advanced by the timer
  int DrawPhase = 0;  // the dot pattern's counter during one drawing
  bool Visible = true;
  int Count() const { return static_cast<int>(Points.size()); }
};

struct TIESelectionState {
  TIESelectionPolygon Poly;
  bool Selected = false;
  // Gestures in progress.
  bool PolySelecting = false;  // points added by clicks or by a lasso drag
  bool Lasso = false;
  bool RectSelecting = false;
  bool CircleSelecting = false;
  int GripDrag = 0;         // the TIEGrip being dragged
  int SelectionMove = -1;   // 0 while the selection is moved
  bool MovingRect = false;  // a rectangle being moved: its mask is rebuilt on release
  TRect GripBox{};          // the polygon box when the grip drag began
  // The mouse-down point (client, clamped into the current layer) and the
  // polygon's point count then.
  TPoint Down{};
  int CountAtDown = 0;
  // The ants timer and the phase the mask outline is drawn with.
  std::unique_ptr<TTimer> AntsTimer;
  int GlobalPhase = 0;
  bool AutoScrolling = false;
  // Timed repaint counters (the second one updates when it reaches 0).
  int RepaintCounter1 = 0, RepaintCounter2 = 0;
};

}  // namespace redozir
#pragma GCC visibility pop
