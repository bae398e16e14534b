// The drag of a control over the others (BeginDrag, or a left press on a
// control in dmAutomatic): the input layer hands it the pointer and the
// keys while it lasts.
#pragma once

#include "platform/messages.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

class TControl;

struct TDragDrop {
  // A drag started and not ended (past its threshold or not).
  static bool InProgress();
  // A drag past its threshold: the pointer and the buttons are its own.
  static bool Moving();
  // The pointer moved to a screen point: true when the drag took the move
  // (it had passed its threshold, or passes it now).
  static bool MouseMove(TPoint screen);
  // The left button went up: true when the drag had passed its threshold
  // and took the release (dropped or refused); a drag that had not ends
  // cancelled and the release goes on to the control.
  static bool LeftButtonUp();
  // Esc: the drag ends cancelled.
  static void Cancel();
  // Forgets a drag without its events (a new test, a new session).
  static void Reset();

  // The control's side (BeginDrag, EndDrag).
  static void Begin(TControl* source, bool immediate, int threshold);
  static void Finish(bool drop);
  static HWND Source();

 private:
  static void StartMoving();
  static void Step(TPoint screen);
};

}  // namespace redozir
#pragma GCC visibility pop
