// Primary button, clipboard and scroll-bar calls through the platform.
#include "imaging/core/ie_window_calls.h"

#include "platform/clipboard.h"
#include "platform/keys.h"
#include "platform/screen.h"
#include "platform/scrollbars.h"

namespace redozir {

bool IEIsPrimaryButtonDown() {
  // The asynchronous state is the physical one: the primary button is the
  // right one when the buttons are swapped.
  int vk = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
  return GetAsyncKeyState(vk) < 0;
}

bool IEOpenClipboard(HWND Owner) { return OpenClipboardWithRetries(Owner, 10, 20); }

void IESetScrollBarParams(HWND Wnd, int Bar, int Min, int Max, int Page, int Pos, bool Redraw, bool Flat) {
  TScrollInfo si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = Min;
  si.nMax = Max;
  si.nPage = Page < 0 ? 0 : static_cast<UINT>(Page);
  si.nPos = Pos;
  if (Flat)
    FlatSB_SetScrollInfo(Wnd, Bar, si, Redraw);
  else
    SetScrollInfo(Wnd, Bar, si, Redraw);
}

int IESetScrollPos(HWND Wnd, int Bar, int Pos, bool Redraw, bool Flat) {
  return Flat ? FlatSB_SetScrollPos(Wnd, Bar, Pos, Redraw) : SetScrollPos(Wnd, Bar, Pos, Redraw);
}

bool IESetScrollRange(HWND Wnd, int Bar, int Min, int Max, bool Redraw, bool Flat) {
  return Flat ? FlatSB_SetScrollRange(Wnd, Bar, Min, Max, Redraw)
              : SetScrollRange(Wnd, Bar, Min, Max, Redraw);
}

bool IEShowScrollBar(HWND Wnd, int Bar, bool Show, bool Flat) {
  return Flat ? FlatSB_ShowScrollBar(Wnd, Bar, Show) : ShowScrollBar(Wnd, Bar, Show);
}

bool IEEnableScrollBar(HWND Wnd, int Bar, UINT Arrows, bool Flat) {
  return Flat ? FlatSB_EnableScrollBar(Wnd, Bar, Arrows) : EnableScrollBar(Wnd, Bar, Arrows);
}

}  // namespace redozir
