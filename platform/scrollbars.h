// Window scroll bars: each control has a horizontal and a vertical bar with a
// range, page, position, visibility, enabled state and a flat flag. Showing or
// hiding one changes the client area at once (and sends WM_SIZE); the input
// layer hit-tests the bars and sends WM_HSCROLL / WM_VSCROLL.
#pragma once

#include "platform/messages.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

struct TScrollInfo {
  UINT cbSize = sizeof(TScrollInfo);
  UINT fMask = 0;
  int nMin = 0;
  int nMax = 0;
  UINT nPage = 0;
  int nPos = 0;
  int nTrackPos = 0;
};

constexpr UINT SIF_RANGE = 0x0001;
constexpr UINT SIF_PAGE = 0x0002;
constexpr UINT SIF_POS = 0x0004;
constexpr UINT SIF_DISABLENOSCROLL = 0x0008;
constexpr UINT SIF_TRACKPOS = 0x0010;
constexpr UINT SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;

constexpr UINT ESB_ENABLE_BOTH = 0x0000;
constexpr UINT ESB_DISABLE_BOTH = 0x0003;

// The state of one window scroll bar.
struct TWindowScrollBar {
  int Min = 0;
  int Max = 100;
  UINT Page = 0;
  int Pos = 0;
  int TrackPos = 0;
  bool Visible = false;
  bool Enabled = true;
  bool Flat = false;
  // The largest position the thumb can reach: Max - Page + 1 with a page.
  int MaxPos() const;
};

// The parts of a bar that a click can hit.
enum TScrollBarPart { sbpNone, sbpLineUp, sbpPageUp, sbpThumb, sbpPageDown, sbpLineDown };

class TControl;

// Where the parts of a control's bar lie, in the control's window
// coordinates (its top-left outer corner at 0, 0).
struct TScrollBarLayout {
  TRect Bar;
  TRect LineUp;
  TRect PageUp;
  TRect Thumb;
  TRect PageDown;
  TRect LineDown;
  TScrollBarPart HitTest(int x, int y) const;
  // The position a thumb whose leading edge lies at `offset` pixels into the
  // track stands for.
  int PosFromThumbOffset(const TWindowScrollBar& sb, int offset) const;
  int TrackLength() const;
  int ThumbLength() const;
  bool Horizontal = true;
};
TScrollBarLayout ScrollBarLayout(const TControl* control, int bar);

// The window scroll-bar calls (SB_HORZ or SB_VERT). A handle that names no
// window makes them fail (0 / false) without effect.
int SetScrollInfo(HWND wnd, int bar, const TScrollInfo& info, bool redraw);
bool GetScrollInfo(HWND wnd, int bar, TScrollInfo& info);
int SetScrollPos(HWND wnd, int bar, int pos, bool redraw);
int GetScrollPos(HWND wnd, int bar);
bool SetScrollRange(HWND wnd, int bar, int minPos, int maxPos, bool redraw);
bool GetScrollRange(HWND wnd, int bar, int& minPos, int& maxPos);
bool ShowScrollBar(HWND wnd, int bar, bool show);
bool EnableScrollBar(HWND wnd, int bar, UINT arrows);

// The flat scroll-bar variants: the same bars, drawn flat once the window is
// initialised for them.
bool InitializeFlatSB(HWND wnd);
void UninitializeFlatSB(HWND wnd);
int FlatSB_SetScrollInfo(HWND wnd, int bar, const TScrollInfo& info, bool redraw);
bool FlatSB_GetScrollInfo(HWND wnd, int bar, TScrollInfo& info);
int FlatSB_SetScrollPos(HWND wnd, int bar, int pos, bool redraw);
int FlatSB_GetScrollPos(HWND wnd, int bar);
bool FlatSB_SetScrollRange(HWND wnd, int bar, int minPos, int maxPos, bool redraw);
bool FlatSB_ShowScrollBar(HWND wnd, int bar, bool show);
bool FlatSB_EnableScrollBar(HWND wnd, int bar, UINT arrows);

}  // namespace redozir
#pragma GCC visibility pop
