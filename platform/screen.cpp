#include "platform/screen.h"

#include <deque>

#include "platform/application.h"
#include "platform/forms.h"
#include "platform/keys.h"

namespace redozir {

namespace {
std::deque<TCursorData>& CursorStore() {
  static auto* store = new std::deque<TCursorData>;
  return *store;
}
HCURSOR shownCursor = nullptr;

HCURSOR StandardCursor(int id) {
  struct TEntry {
    int id;
    const char* name;
    TCursorShape shape;
  };
  static const TEntry table[] = {
      {crNone, "none", csNoneShape},
      {crArrow, "arrow", csArrowShape},
      {crCross, "cross", csCrossShape},
      {crIBeam, "ibeam", csIBeamShape},
      {crSizeNESW, "sizenesw", csSizeNESWShape},
      {crSizeNS, "sizens", csSizeNSShape},
      {crSizeNWSE, "sizenwse", csSizeNWSEShape},
      {crSizeWE, "sizewe", csSizeWEShape},
      {crUpArrow, "uparrow", csArrowShape},
      {crHourGlass, "hourglass", csWaitShape},
      {crDrag, "drag", csArrowShape},
      {crNoDrop, "nodrop", csNoShape},
      {crHSplit, "hsplit", csSizeWEShape},
      {crVSplit, "vsplit", csSizeNSShape},
      {crMultiDrag, "multidrag", csArrowShape},
      {crSQLWait, "sqlwait", csWaitArrowShape},
      {crNo, "no", csNoShape},
      {crAppStart, "appstart", csWaitArrowShape},
      {crHelp, "help", csArrowShape},
      {crHandPoint, "handpoint", csHandShape},
      {crSizeAll, "sizeall", csSizeAllShape},
  };
  static HCURSOR handles[sizeof(table) / sizeof(table[0])] = {};
  for (size_t i = 0; i < sizeof(table) / sizeof(table[0]); ++i) {
    if (table[i].id != id) continue;
    if (!handles[i]) handles[i] = CreateShapeCursor(table[i].name, table[i].shape);
    return handles[i];
  }
  return nullptr;
}
}  // namespace

HCURSOR CreateShapeCursor(const std::string& name, TCursorShape shape) {
  CursorStore().push_back(TCursorData{name, shape});
  return &CursorStore().back();
}

HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR old = shownCursor;
  if (cursor != shownCursor) {
    shownCursor = cursor;
    if (Application) Application->BackEnd()->CursorChanged(cursor);
  }
  return old;
}

HCURSOR GetCursor() { return shownCursor; }

TScreen* Screen = new TScreen;

TScreen::TScreen() {}

void TScreen::SetCursor(TCursor c) {
  cursor_ = c;
  if (c != crDefault) {
    redozir::SetCursor(Cursors(c));
    return;
  }
  // Back to the cursor of the control under the mouse.
  if (TControl* over = TControl::FromHandle(key_state::Hover()))
    over->Perform(WM_SETCURSOR, over->Handle(), 0);
  else
    redozir::SetCursor(Cursors(crArrow));
}

HCURSOR TScreen::Cursors(int id) const {
  auto it = cursors_.find(id);
  if (it != cursors_.end() && it->second) return it->second;
  if (HCURSOR h = StandardCursor(id)) return h;
  return StandardCursor(crArrow);
}

void TScreen::SetCursors(int id, HCURSOR h) { cursors_[id] = h; }

void TScreen::SetSize(int w, int h) {
  width_ = w;
  height_ = h;
}

TForm* TScreen::ActiveForm() const { return Application->ActiveForm(); }

TControl* TScreen::ActiveControl() const { return TControl::FromHandle(GetFocus()); }

int TScreen::FormCount() const { return Application->FormCount(); }

TForm* TScreen::Forms(int i) const { return Application->Forms(i); }

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN: return Screen->Width();
    case SM_CYSCREEN: return Screen->Height();
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB: return 17;
    case SM_CYCAPTION: return 23;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXFIXEDFRAME:
    case SM_CYFIXEDFRAME: return 3;
    case SM_CXSIZEFRAME:
    case SM_CYSIZEFRAME: return 4;
    case SM_SWAPBUTTON: return key_state::Swapped() ? 1 : 0;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    case SM_CXEDGE:
    case SM_CYEDGE: return 2;
    case SM_CXDRAG:
    case SM_CYDRAG: return 4;
    case SM_REMOTESESSION: return 0;
    default: return 0;
  }
}

}  // namespace redozir
