// The selection state a TRedozIrView keeps beside its mask: the polygon that
// is built and shown as the outline, the gesture flags and the drag state of
// the mouse, and the marching-ants timer.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/ie_types.h"
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
  // The right button's last press or release was the view's own (a zoom, a
  // layer pick, the end of a polygon): its release shows no context menu.
  bool RightUsed = false;
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
  // The mouse (redozir_view_mouse.cpp): the press the view took, where it
  // was (raw, and clamped into the image rectangle) with the origin then,
  // and the previous event's clamped and raw points.
  bool Pressed = false;
  int Button = 0;
  TPoint DownRaw{}, DownImage{}, Last{}, LastRaw{};
  int DownViewX = 0, DownViewY = 0;
  int LayerMove = -1, LayerRotation = -1, CentreMove = -1, LayerGrip = 0;
  bool LayerMoved = false, FirstMoveDone = false;
  double RotateAcc = 0, LayerRatio = 1;
  // The layer's placement at the press: client rectangle, and position and
  // shown size in pixels of layer 0.
  TRect LayerClientAtDown{};
  TRect LayerAtDown{};
  TResampleFilter SavedFilter = rfNone;
  // The rubber band from the polygon's last point while the mouse hovers.
  bool RubberShown = false;
  TPoint RubberFrom{}, RubberTo{};
};

}  // namespace redozir
#pragma GCC visibility pop
