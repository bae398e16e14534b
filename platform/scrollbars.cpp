#include "platform/scrollbars.h"

#include <algorithm>

#include "platform/controls.h"
#include "platform/screen.h"

namespace redozir {

int TWindowScrollBar::MaxPos() const {
  int m = Page > 0 ? Max - static_cast<int>(Page) + 1 : Max;
  return std::max(m, Min);
}

namespace {

// Track pixels between the arrows, thumb length and offset of a bar.
struct TTrack {
  int start = 0;   // first pixel of the track along the bar
  int length = 0;  // pixels between the arrows
  int thumb = 0;   // thumb length; 0 when the bar shows no thumb
  int offset = 0;  // thumb offset into the track
};

TTrack Measure(const TWindowScrollBar& sb, int barLength, int thickness) {
  TTrack t;
  int arrow = std::min(thickness, barLength / 2);
  t.start = arrow;
  t.length = std::max(barLength - 2 * arrow, 0);
  long long range = static_cast<long long>(sb.Max) - sb.Min + 1;
  if (!sb.Enabled || range <= 0 || (sb.Page > 0 && sb.Page >= range) || t.length <= 0) return t;
  int minThumb = std::min(8, t.length);
  long long thumb = sb.Page > 0 ? static_cast<long long>(t.length) * sb.Page / range : thickness;
  t.thumb = static_cast<int>(std::clamp<long long>(thumb, minThumb, t.length));
  long long span = static_cast<long long>(sb.MaxPos()) - sb.Min;
  long long room = t.length - t.thumb;
  if (span > 0 && room > 0) {
    long long pos = std::clamp<long long>(sb.Pos, sb.Min, sb.MaxPos()) - sb.Min;
    t.offset = static_cast<int>((room * pos + span / 2) / span);
  }
  return t;
}

TControl* Find(HWND wnd, int bar) {
  if (bar != SB_HORZ && bar != SB_VERT) return nullptr;
  return TControl::FromHandle(wnd);
}

int ApplyInfo(TControl* c, int bar, const TScrollInfo& info, bool flat) {
  TWindowScrollBar& sb = c->ScrollBar(bar);
  bool wasVisible = sb.Visible;
  bool wasEnabled = sb.Enabled;
  if (info.fMask & SIF_RANGE) {
    sb.Min = info.nMin;
    sb.Max = std::max(info.nMax, info.nMin);
  }
  if (info.fMask & SIF_PAGE) {
    long long range = static_cast<long long>(sb.Max) - sb.Min + 1;
    sb.Page = static_cast<UINT>(std::min<long long>(info.nPage, range));
  }
  if (info.fMask & SIF_POS) sb.Pos = info.nPos;
  sb.Pos = std::clamp(sb.Pos, sb.Min, sb.MaxPos());
  if (info.fMask & (SIF_RANGE | SIF_PAGE)) {
    // A bar whose page covers its range is not needed: it goes, or with
    // SIF_DISABLENOSCROLL it stays disabled; a needed bar comes back.
    long long range = static_cast<long long>(sb.Max) - sb.Min + 1;
    bool needed = sb.Page > 0 ? range > static_cast<long long>(sb.Page) : sb.Max > sb.Min;
    if (needed) {
      sb.Visible = true;
      if (info.fMask & SIF_DISABLENOSCROLL) sb.Enabled = true;
    } else if (info.fMask & SIF_DISABLENOSCROLL) {
      sb.Enabled = false;
    } else {
      sb.Visible = false;
    }
  }
  if (flat) sb.Flat = c->FlatScrollBarsInitialized();
  bool shown = sb.Visible != wasVisible;
  if (shown || sb.Enabled != wasEnabled || (info.fMask & (SIF_RANGE | SIF_PAGE | SIF_POS)))
    c->ScrollBarsChanged(shown);
  return sb.Pos;
}

}  // namespace

TScrollBarLayout ScrollBarLayout(const TControl* c, int bar) {
  TScrollBarLayout l;
  int bw = c->BorderWidth();
  int cx = GetSystemMetrics(SM_CXVSCROLL), cy = GetSystemMetrics(SM_CYHSCROLL);
  const TWindowScrollBar& sb = c->ScrollBar(bar);
  const TWindowScrollBar& other = c->ScrollBar(bar == SB_HORZ ? SB_VERT : SB_HORZ);
  l.Horizontal = bar == SB_HORZ;
  if (l.Horizontal) {
    l.Bar = Rect(bw, c->Height() - bw - cy, c->Width() - bw - (other.Visible ? cx : 0), c->Height() - bw);
  } else {
    l.Bar = Rect(c->Width() - bw - cx, bw, c->Width() - bw, c->Height() - bw - (other.Visible ? cy : 0));
  }
  if (l.Bar.IsEmpty()) return l;
  int length = l.Horizontal ? l.Bar.Width() : l.Bar.Height();
  int thickness = l.Horizontal ? l.Bar.Height() : l.Bar.Width();
  TTrack t = Measure(sb, length, thickness);
  // Lays a span along the bar: [a, b) pixels from its start.
  auto span = [&](int a, int b) {
    if (b <= a) return TRect{};
    return l.Horizontal ? Rect(l.Bar.Left + a, l.Bar.Top, l.Bar.Left + b, l.Bar.Bottom)
                        : Rect(l.Bar.Left, l.Bar.Top + a, l.Bar.Right, l.Bar.Top + b);
  };
  l.LineUp = span(0, t.start);
  l.LineDown = span(t.start + t.length, length);
  if (t.thumb > 0) {
    int a = t.start + t.offset, b = a + t.thumb;
    l.PageUp = span(t.start, a);
    l.Thumb = span(a, b);
    l.PageDown = span(b, t.start + t.length);
  } else {
    l.PageUp = span(t.start, t.start + t.length);
  }
  return l;
}

TScrollBarPart TScrollBarLayout::HitTest(int x, int y) const {
  if (LineUp.Contains(x, y)) return sbpLineUp;
  if (LineDown.Contains(x, y)) return sbpLineDown;
  if (Thumb.IsEmpty()) return sbpNone;
  if (Thumb.Contains(x, y)) return sbpThumb;
  if (PageUp.Contains(x, y)) return sbpPageUp;
  if (PageDown.Contains(x, y)) return sbpPageDown;
  return sbpNone;
}

int TScrollBarLayout::TrackLength() const {
  int a = Horizontal ? LineUp.Right : LineUp.Bottom;
  int b = Horizontal ? LineDown.Left : LineDown.Top;
  return std::max(b - a, 0);
}

int TScrollBarLayout::ThumbLength() const { return Horizontal ? Thumb.Width() : Thumb.Height(); }

int TScrollBarLayout::PosFromThumbOffset(const TWindowScrollBar& sb, int offset) const {
  long long room = TrackLength() - ThumbLength();
  long long span = static_cast<long long>(sb.MaxPos()) - sb.Min;
  if (room <= 0 || span <= 0) return sb.Min;
  offset = static_cast<int>(std::clamp<long long>(offset, 0, room));
  return static_cast<int>(sb.Min + (span * offset + room / 2) / room);
}

int SetScrollInfo(HWND wnd, int bar, const TScrollInfo& info, bool redraw) {
  TControl* c = Find(wnd, bar);
  return c ? ApplyInfo(c, bar, info, false) : 0;
}

bool GetScrollInfo(HWND wnd, int bar, TScrollInfo& info) {
  TControl* c = Find(wnd, bar);
  if (!c) return false;
  const TWindowScrollBar& sb = c->ScrollBar(bar);
  if (info.fMask & SIF_RANGE) {
    info.nMin = sb.Min;
    info.nMax = sb.Max;
  }
  if (info.fMask & SIF_PAGE) info.nPage = sb.Page;
  if (info.fMask & SIF_POS) info.nPos = sb.Pos;
  if (info.fMask & SIF_TRACKPOS) info.nTrackPos = sb.TrackPos;
  return true;
}

int SetScrollPos(HWND wnd, int bar, int pos, bool redraw) {
  TControl* c = Find(wnd, bar);
  if (!c) return 0;
  int old = c->ScrollBar(bar).Pos;
  TScrollInfo info;
  info.fMask = SIF_POS;
  info.nPos = pos;
  ApplyInfo(c, bar, info, false);
  return old;
}

int GetScrollPos(HWND wnd, int bar) {
  TControl* c = Find(wnd, bar);
  return c ? c->ScrollBar(bar).Pos : 0;
}

bool SetScrollRange(HWND wnd, int bar, int minPos, int maxPos, bool redraw) {
  TControl* c = Find(wnd, bar);
  if (!c) return false;
  TScrollInfo info;
  info.fMask = SIF_RANGE;
  info.nMin = minPos;
  info.nMax = maxPos;
  ApplyInfo(c, bar, info, false);
  return true;
}

bool GetScrollRange(HWND wnd, int bar, int& minPos, int& maxPos) {
  TControl* c = Find(wnd, bar);
  if (!c) return false;
  minPos = c->ScrollBar(bar).Min;
  maxPos = c->ScrollBar(bar).Max;
  return true;
}

namespace {
// Sets a flag of the bars that `bar` names (SB_HORZ, SB_VERT or SB_BOTH);
// both change before the control hears of it, so the client area changes once.
bool SetBarsFlag(HWND wnd, int bar, bool TWindowScrollBar::*flag, bool value, bool& changed) {
  TControl* c = TControl::FromHandle(wnd);
  changed = false;
  if (!c || bar < SB_HORZ || bar > SB_BOTH || bar == SB_CTL) return false;
  for (int b : {SB_HORZ, SB_VERT}) {
    if (bar != SB_BOTH && bar != b) continue;
    TWindowScrollBar& sb = c->ScrollBar(b);
    if (sb.*flag != value) {
      sb.*flag = value;
      changed = true;
    }
  }
  if (changed) c->ScrollBarsChanged(flag == &TWindowScrollBar::Visible);
  return true;
}
}  // namespace

bool ShowScrollBar(HWND wnd, int bar, bool show) {
  bool changed;
  return SetBarsFlag(wnd, bar, &TWindowScrollBar::Visible, show, changed);
}

bool EnableScrollBar(HWND wnd, int bar, UINT arrows) {
  bool changed;
  return SetBarsFlag(wnd, bar, &TWindowScrollBar::Enabled, arrows == ESB_ENABLE_BOTH, changed) && changed;
}

bool InitializeFlatSB(HWND wnd) {
  TControl* c = TControl::FromHandle(wnd);
  if (!c) return false;
  c->SetFlatScrollBars(true);
  return true;
}

void UninitializeFlatSB(HWND wnd) {
  if (TControl* c = TControl::FromHandle(wnd)) c->SetFlatScrollBars(false);
}

int FlatSB_SetScrollInfo(HWND wnd, int bar, const TScrollInfo& info, bool redraw) {
  TControl* c = Find(wnd, bar);
  return c ? ApplyInfo(c, bar, info, true) : 0;
}
bool FlatSB_GetScrollInfo(HWND wnd, int bar, TScrollInfo& info) { return GetScrollInfo(wnd, bar, info); }
int FlatSB_SetScrollPos(HWND wnd, int bar, int pos, bool redraw) {
  return SetScrollPos(wnd, bar, pos, redraw);
}
int FlatSB_GetScrollPos(HWND wnd, int bar) { return GetScrollPos(wnd, bar); }
bool FlatSB_SetScrollRange(HWND wnd, int bar, int minPos, int maxPos, bool redraw) {
  return SetScrollRange(wnd, bar, minPos, maxPos, redraw);
}
bool FlatSB_ShowScrollBar(HWND wnd, int bar, bool show) { return ShowScrollBar(wnd, bar, show); }
bool FlatSB_EnableScrollBar(HWND wnd, int bar, UINT arrows) { return EnableScrollBar(wnd, bar, arrows); }

}  // namespace redozir
