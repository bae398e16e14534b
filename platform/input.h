// The input layer shared by the display back end and the test injector: it
// turns raw mouse, wheel, key and window events into the messages a window
// receives (hit-testing controls and scroll bars, capture, double clicks,
// key state, focus).
#pragma once

#include <string>

#include "platform/messages.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

class TForm;
class TControl;

struct TInput {
  // Positions are in the form's client coordinates; buttons are physical.
  static void MouseMove(TForm* form, int x, int y);
  // A move the window has not read yet: the cursor is there at once, and the
  // moves of a form that are still pending when its queue is read merge into
  // one message at the latest position. Any other input, and the loop's next
  // pass, delivers it first, so the order of input is kept.
  static void PostMouseMove(TForm* form, int x, int y);
  // Delivers the pending moves; true when there were any.
  static bool DeliverPendingMoves();
  static int PendingMoves();
  static void MouseButton(TForm* form, int x, int y, TMouseButton physical, bool down);
  // delta in wheel units (WHEEL_DELTA per notch), positive away from the user
  // (or to the right for the horizontal wheel).
  static void Wheel(TForm* form, int x, int y, int delta, bool horizontal);
  // Key messages, then the character the key gives; where the system's text
  // input brings the printable characters (Text), CharsFromKey False keeps
  // only the control characters (Return, Esc, Backspace, Tab, Ctrl+letter).
  static void Key(WORD vk, bool down, bool CharsFromKey = true);
  // Characters that the system's text input typed (UTF-8): each goes to the
  // focused control as a character message in the code page of its font's
  // charset; one that the code page has no byte for is dropped.
  static void Text(const std::string& utf8);
  static void Resized(TForm* form, int width, int height);
  static void Moved(TForm* form, int left, int top);
  static void CloseRequested(TForm* form);
  // The character a key gives with the current shift state (0 for none).
  static char KeyChar(WORD vk);
  // Forgets drags, hover and the last click.
  static void Reset();
  // A drop-down (a list, a hint, a menu) shown over the forms: a press in any
  // other form closes it and goes no further. nullptr: none. With TakesKeys
  // (a menu) the keys go to it, not to the focused control, while it shows.
  static void SetPopup(TForm* form, bool TakesKeys = false);
  static TForm* Popup();
  // The control under a screen point (looked for in `first`, then in the
  // other shown forms) with the point in its client coordinates; nullptr
  // where no form is.
  static TControl* ControlAt(TPoint screen, TForm* first, TPoint& client);
};

}  // namespace redozir
#pragma GCC visibility pop
