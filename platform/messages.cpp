#include "platform/messages.h"

#include "platform/keys.h"

namespace redozir {

TShiftState KeysToShiftState(WORD keys) {
  TShiftState s = 0;
  if (keys & MK_SHIFT) s |= ssShift;
  if (keys & MK_CONTROL) s |= ssCtrl;
  if (keys & MK_LBUTTON) s |= ssLeft;
  if (keys & MK_RBUTTON) s |= ssRight;
  if (keys & MK_MBUTTON) s |= ssMiddle;
  // The mouse messages carry no Alt flag: the key state tells.
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  return s;
}

TShiftState KeyDataToShiftState(LPARAM keyData) {
  TShiftState s = 0;
  if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
  if (keyData & KF_ALTDOWN_BIT) s |= ssAlt;
  return s;
}

TShortCut ShortCut(WORD key, TShiftState shift) {
  if ((key & 0xFF00) != 0) return 0;
  TShortCut sc = key;
  if (shift & ssShift) sc |= scShift;
  if (shift & ssCtrl) sc |= scCtrl;
  if (shift & ssAlt) sc |= scAlt;
  return sc;
}

}  // namespace redozir
