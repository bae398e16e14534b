// The imaging library's calls into the platform's windowing: the primary
// mouse button, the clipboard with retries, and window scroll bars in their
// plain or flat variant.
#pragma once

#include "platform/messages.h"

#pragma GCC visibility push(default)
namespace redozir {

// True while the primary button (the left one, the right one when the
// buttons are swapped) is held.
bool IEIsPrimaryButtonDown();
// Opens the clipboard with up to 10 tries, 20 ms apart; False when all fail.
bool IEOpenClipboard(HWND Owner = 0);

// Range, page and position of a bar in one call.
void IESetScrollBarParams(HWND Wnd, int Bar, int Min, int Max, int Page, int Pos, bool Redraw, bool Flat);
int IESetScrollPos(HWND Wnd, int Bar, int Pos, bool Redraw, bool Flat);
bool IESetScrollRange(HWND Wnd, int Bar, int Min, int Max, bool Redraw, bool Flat);
bool IEShowScrollBar(HWND Wnd, int Bar, bool Show, bool Flat);
bool IEEnableScrollBar(HWND Wnd, int Bar, UINT Arrows, bool Flat);

}  // namespace redozir
#pragma GCC visibility pop
