#include "platform/keys.h"

#include <array>

#include "platform/window_registry.h"

namespace redozir {

namespace {
struct TState {
  std::array<bool, 256> down{};
  std::array<bool, 256> toggled{};
  std::array<bool, 3> physical{};
  bool swapped = false;
  TPoint cursor;
  UINT doubleClickTime = 500;
  TCaretState caret;
  HWND hover = 0;
};
TState& S() {
  static TState s;
  return s;
}
int ButtonVk(TMouseButton b) { return b == mbLeft ? VK_LBUTTON : b == mbRight ? VK_RBUTTON : VK_MBUTTON; }
}  // namespace

std::int16_t GetKeyState(int vk) {
  if (vk < 0 || vk > 255) return 0;
  std::uint16_t v = 0;
  if (S().down[vk]) v |= 0x8000;
  if (S().toggled[vk]) v |= 1;
  return static_cast<std::int16_t>(v);
}

std::int16_t GetAsyncKeyState(int vk) {
  if (vk == VK_LBUTTON) return S().physical[mbLeft] ? std::int16_t(-32768) : 0;
  if (vk == VK_RBUTTON) return S().physical[mbRight] ? std::int16_t(-32768) : 0;
  if (vk < 0 || vk > 255) return 0;
  return S().down[vk] ? std::int16_t(-32768) : 0;
}

TShiftState GetShiftState() {
  TShiftState s = 0;
  if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  if (GetKeyState(VK_LBUTTON) < 0) s |= ssLeft;
  if (GetKeyState(VK_RBUTTON) < 0) s |= ssRight;
  if (GetKeyState(VK_MBUTTON) < 0) s |= ssMiddle;
  return s;
}

bool SwapMouseButton(bool swap) {
  bool was = S().swapped;
  S().swapped = swap;
  return was;
}

bool GetCursorPos(TPoint& p) {
  p = S().cursor;
  return true;
}

UINT GetDoubleClickTime() { return S().doubleClickTime; }
bool SetDoubleClickTime(UINT ms) {
  S().doubleClickTime = ms == 0 ? 500 : ms;
  return true;
}

bool CreateCaret(HWND wnd, int width, int height) {
  if (!window_registry::IsLive(wnd)) return false;
  // A width of 0 asks for the system's caret width.
  S().caret = TCaretState{wnd, width == 0 ? 1 : width, height, TPoint{}, 1};
  return true;
}

bool DestroyCaret() {
  if (S().caret.Owner == 0) return false;
  S().caret = TCaretState{};
  return true;
}

bool SetCaretPos(int x, int y) {
  if (S().caret.Owner == 0) return false;
  S().caret.Pos = {x, y};
  return true;
}

bool GetCaretPos(TPoint& p) {
  p = S().caret.Pos;
  return S().caret.Owner != 0;
}

bool ShowCaret(HWND wnd) {
  TCaretState& c = S().caret;
  if (c.Owner == 0 || (wnd != 0 && wnd != c.Owner) || c.HideCount == 0) return false;
  --c.HideCount;
  return true;
}

bool HideCaret(HWND wnd) {
  TCaretState& c = S().caret;
  if (c.Owner == 0 || (wnd != 0 && wnd != c.Owner)) return false;
  ++c.HideCount;
  return true;
}

const TCaretState& CaretState() { return S().caret; }

namespace key_state {

void SetKey(int vk, bool down) {
  if (vk < 0 || vk > 255) return;
  if (down && !S().down[vk]) S().toggled[vk] = !S().toggled[vk];
  S().down[vk] = down;
  // The generic modifier follows either side.
  auto pair = [](int l, int r, int g) { S().down[g] = S().down[l] || S().down[r]; };
  if (vk == VK_LSHIFT || vk == VK_RSHIFT) pair(VK_LSHIFT, VK_RSHIFT, VK_SHIFT);
  if (vk == VK_LCONTROL || vk == VK_RCONTROL) pair(VK_LCONTROL, VK_RCONTROL, VK_CONTROL);
  if (vk == VK_LMENU || vk == VK_RMENU) pair(VK_LMENU, VK_RMENU, VK_MENU);
}

bool Swapped() { return S().swapped; }

TMouseButton Logical(TMouseButton physical) {
  if (!S().swapped || physical == mbMiddle) return physical;
  return physical == mbLeft ? mbRight : mbLeft;
}

void SetPhysicalButton(TMouseButton physical, bool down) {
  S().physical[physical] = down;
  SetKey(ButtonVk(Logical(physical)), down);
}

void SetCursorPos(TPoint screen) { S().cursor = screen; }
void SetHover(HWND wnd) { S().hover = wnd; }
HWND Hover() { return S().hover; }

void Reset() {
  UINT dct = S().doubleClickTime;
  S() = TState{};
  S().doubleClickTime = dct;
}

void WindowDestroyed(HWND wnd) {
  if (S().caret.Owner == wnd) S().caret = TCaretState{};
}

}  // namespace key_state

}  // namespace redozir
