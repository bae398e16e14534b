// Inject: drives the headless platform in tests the way a user drives a real
// window. Positions are in the client coordinates of the control named; each
// call goes through the same input layer as the display back end, so the
// control receives exactly the messages a real window would. Modifiers given
// with a mouse action are held (in the key state) for the duration of the
// action only; modifiers given with a key are pressed and released as keys.
#pragma once

#include <string>

#include "platform/forms.h"
#include "platform/messages.h"
#include "platform/scrollbars.h"
#include "platform/timers.h"

#pragma GCC visibility push(default)
namespace redozir {

struct Inject {
  static void MouseMove(TControl* c, int x, int y, TShiftState shift = 0);
  // A move as a display reports it while the program is busy: it waits in
  // the queue, merged with the form's other pending moves, until the loop's
  // next pass or the next other input.
  static void PostMouseMove(TControl* c, int x, int y);
  // Moves there first when the mouse is elsewhere, as a hand would.
  static void MouseDown(TControl* c, TMouseButton b, int x, int y, TShiftState shift = 0);
  static void MouseUp(TControl* c, TMouseButton b, int x, int y, TShiftState shift = 0);
  static void Click(TControl* c, int x, int y, TShiftState shift = 0, TMouseButton b = mbLeft);
  static void DoubleClick(TControl* c, int x, int y, TShiftState shift = 0, TMouseButton b = mbLeft);
  static void Wheel(TControl* c, int x, int y, int delta, TShiftState shift = 0, bool horizontal = false);
  static void KeyDown(WORD vk, TShiftState shift = 0);
  static void KeyUp(WORD vk, TShiftState shift = 0);
  // Press and release, with the modifiers pressed around it.
  static void Key(WORD vk, TShiftState shift = 0);
  // Types UTF-8 text: letters, digits, spaces and line breaks (Return) by
  // their keys, every other character as the system's text input brings it.
  static void Text(const std::string& s);
  static void Resize(TForm* f, int width, int height);
  static void Close(TForm* f);
  // Presses and releases the left button on a part of a window scroll bar.
  static void ScrollBarClick(TControl* c, int bar, TScrollBarPart part);
  // Drags the thumb so that it stands for the given position.
  static void ScrollBarDrag(TControl* c, int bar, int toPos);
  // The pixel at a client point of the control on its form's surface.
  static TColor Pixel(TControl* c, int x, int y);
};

// A clean headless platform for one test: a manual clock (starting at 10000
// ms), all keys and buttons up, no swapped buttons, nothing posted, the
// headless back end. The real clock comes back at the end.
class THeadlessSession {
 public:
  THeadlessSession();
  ~THeadlessSession();
  THeadlessSession(const THeadlessSession&) = delete;
  THeadlessSession& operator=(const THeadlessSession&) = delete;
  TManualClock& Clock() { return clock_; }

 private:
  TManualClock clock_;
};

}  // namespace redozir
#pragma GCC visibility pop
