// Key state, the mouse position, swapped mouse buttons, the double-click time
// and the caret, as the input layer keeps them.
#pragma once

#include "platform/messages.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

// High bit set (negative) while the key is down; bit 0 toggles on each press.
// GetKeyState reports the logical mouse buttons (after swapping);
// GetAsyncKeyState the physical ones, as the desktop platform does.
std::int16_t GetKeyState(int vk);
std::int16_t GetAsyncKeyState(int vk);
// The shift state from the current key state (Shift, Ctrl, Alt and the
// logical mouse buttons).
TShiftState GetShiftState();

bool SwapMouseButton(bool swap);
bool GetCursorPos(TPoint& p);
UINT GetDoubleClickTime();
bool SetDoubleClickTime(UINT ms);

// The caret: one per application, owned by one window.
bool CreateCaret(HWND wnd, int width, int height);
bool DestroyCaret();
bool SetCaretPos(int x, int y);
bool GetCaretPos(TPoint& p);
bool ShowCaret(HWND wnd);
bool HideCaret(HWND wnd);

struct TCaretState {
  HWND Owner = 0;
  int Width = 0;
  int Height = 0;
  TPoint Pos;
  int HideCount = 1;  // shown while 0
  bool Visible() const { return Owner != 0 && HideCount == 0; }
};
const TCaretState& CaretState();

// The input layer's side: what the display back end or the injector reports.
namespace key_state {
void SetKey(int vk, bool down);
// Sets the physical button state; the logical one follows the swap.
void SetPhysicalButton(TMouseButton physical, bool down);
void SetCursorPos(TPoint screen);
// The window under the mouse.
void SetHover(HWND wnd);
HWND Hover();
bool Swapped();
// The logical button of a physical one.
TMouseButton Logical(TMouseButton physical);
// Everything up, the swap off, the caret gone.
void Reset();
// Called when a window goes, so the caret does not outlive its owner.
void WindowDestroyed(HWND wnd);
}  // namespace key_state

}  // namespace redozir
#pragma GCC visibility pop
