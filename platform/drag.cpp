// Drag and drop between controls: the source's start and end, the drag-over
// answers of the controls the pointer crosses, the drop.
#include "platform/drag.h"

#include <cstdlib>
#include <memory>

#include "platform/application.h"
#include "platform/forms.h"
#include "platform/input.h"
#include "platform/keys.h"

namespace redozir {

namespace {
struct TDragSession {
  HWND source = 0;
  bool moving = false;
  TPoint start;
  int threshold = 0;
  // The program's own object from OnStartDrag, or `own`.
  TDragObject* object = nullptr;
  std::unique_ptr<TDragControlObject> own;
  HWND target = 0;
  TPoint targetPos;
};

TDragSession& St() {
  static TDragSession s;
  return s;
}

// What the events name as the source: the control itself when the program
// gave no drag object of its own.
TObject* SourceObject(const TDragSession& d, TControl* source) {
  return d.own ? static_cast<TObject*>(source) : d.object;
}

template <class F>
void Guarded(TControl* c, F f) {
  try {
    f();
  } catch (...) {
    Application->HandleException(c);
  }
}

TPoint CursorPos() {
  TPoint p;
  GetCursorPos(p);
  return p;
}

TControl* ControlAt(TPoint screen, TControl* source, TPoint& client) {
  return TInput::ControlAt(screen, source ? source->ParentForm() : nullptr, client);
}
}  // namespace

HWND TDragDrop::Source() {
  // A source that went ends its drag without events.
  if (St().source && !TControl::FromHandle(St().source)) Reset();
  return St().source;
}

bool TDragDrop::InProgress() { return Source() != 0; }

bool TDragDrop::Moving() { return Source() != 0 && St().moving; }

void TDragDrop::Reset() { St() = TDragSession{}; }

void TDragDrop::Begin(TControl* source, bool immediate, int threshold) {
  HWND h = source->Handle();
  if (InProgress()) return;
  TDragSession& d = St();
  d.source = h;
  d.start = CursorPos();
  d.threshold = threshold < 0 ? GetSystemMetrics(SM_CXDRAG) : threshold;
  TDragObject* object = nullptr;
  try {
    source->DoStartDrag(object);
  } catch (...) {
    Reset();
    throw;
  }
  if (d.source != h) return;  // ended by the handler
  if (!object) {
    d.own = std::make_unique<TDragControlObject>(source);
    object = d.own.get();
  }
  d.object = object;
  if (immediate) StartMoving();
}

void TDragDrop::StartMoving() {
  TDragSession& d = St();
  d.moving = true;
  // The pointer is the drag's now, not the pressed source's.
  if (TControl* src = TControl::FromHandle(d.source); src && src->MouseCapture()) ReleaseCapture();
  Step(CursorPos());
}

void TDragDrop::Step(TPoint screen) {
  TDragSession& d = St();
  TControl* src = TControl::FromHandle(d.source);
  TObject* source = SourceObject(d, src);
  TPoint at;
  TControl* under = ControlAt(screen, src, at);
  HWND h = under ? under->Handle() : 0;
  TDragState state = dsDragMove;
  if (h != d.target) {
    HWND left = d.target;
    d.target = h;
    if (TControl* old = TControl::FromHandle(left)) {
      TPoint p = old->ScreenToClient(screen);
      bool ignored = false;
      Guarded(old, [&] { old->DragOver(source, p.X, p.Y, dsDragLeave, ignored); });
    }
    state = dsDragEnter;
  }
  d.targetPos = at;
  bool accept = false;
  if ((under = TControl::FromHandle(h)) != nullptr)
    Guarded(under, [&] { under->DragOver(source, at.X, at.Y, state, accept); });
  if ((src = TControl::FromHandle(d.source)) != nullptr)
    SetCursor(Screen->Cursors(accept ? src->DragCursor() : crNoDrop));
}

bool TDragDrop::MouseMove(TPoint screen) {
  if (!InProgress()) return false;
  TDragSession& d = St();
  if (!d.moving) {
    if (std::abs(screen.X - d.start.X) < d.threshold && std::abs(screen.Y - d.start.Y) < d.threshold)
      return false;
    StartMoving();
    return true;
  }
  Step(screen);
  return true;
}

bool TDragDrop::LeftButtonUp() {
  if (!InProgress()) return false;
  bool moving = St().moving;
  Finish(moving);
  return moving;
}

void TDragDrop::Cancel() {
  if (InProgress()) Finish(false);
}

void TDragDrop::Finish(bool drop) {
  TDragSession d = std::move(St());
  Reset();
  TControl* src = TControl::FromHandle(d.source);
  TObject* source = SourceObject(d, src);
  TControl* target = nullptr;
  TPoint at;
  // The control under the pointer answers once more whether it takes the drop.
  if (TControl* over = TControl::FromHandle(d.target); over && d.moving) {
    bool accept = false;
    Guarded(over, [&] { over->DragOver(source, d.targetPos.X, d.targetPos.Y, dsDragLeave, accept); });
    if (accept && drop && (over = TControl::FromHandle(d.target)) != nullptr) {
      Guarded(over, [&] { over->DragDrop(source, d.targetPos.X, d.targetPos.Y); });
      target = over;
      at = d.targetPos;
    }
  }
  if ((src = TControl::FromHandle(d.source)) != nullptr) {
    if (target && !TControl::FromHandle(d.target)) target = nullptr;
    Guarded(src, [&] { src->DoEndDrag(target, at.X, at.Y); });
  }
  if (!d.moving) return;
  // The cursor is again that of the control under the pointer.
  TPoint client;
  if (TControl* under = ControlAt(CursorPos(), src, client))
    Guarded(under, [&] { under->Perform(WM_SETCURSOR, under->Handle(), MAKELPARAM(1, WM_MOUSEMOVE)); });
}

// ---------------------------------------------------------------- the control's side

void TControl::BeginDrag(bool Immediate, int Threshold) { TDragDrop::Begin(this, Immediate, Threshold); }

void TControl::EndDrag(bool Drop) {
  if (Dragging()) TDragDrop::Finish(Drop);
}

bool TControl::Dragging() const { return handle_ != 0 && TDragDrop::Source() == handle_; }

void TControl::DoStartDrag(TDragObject*& DragObject) {
  if (OnStartDrag) OnStartDrag(this, DragObject);
}

void TControl::DragOver(TObject* Source, int X, int Y, TDragState State, bool& Accept) {
  Accept = static_cast<bool>(OnDragOver);
  if (OnDragOver) OnDragOver(this, Source, X, Y, State, Accept);
}

void TControl::DragDrop(TObject* Source, int X, int Y) {
  if (OnDragDrop) OnDragDrop(this, Source, X, Y);
}

void TControl::DoEndDrag(TObject* Target, int X, int Y) {
  if (OnEndDrag) OnEndDrag(this, Target, X, Y);
}

}  // namespace redozir
