// TIEView: defaults, DPI and the bitmap-change callback list.
#include "imaging/core/ieview.h"

#include <algorithm>

namespace redozir {

TIEView::TIEView(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBorderStyle(bsSingle);
  // A viewer paints every pixel of its client area itself.
  Opaque = true;
}

TIEView::~TIEView() { ReleaseBitmapChangeEvents(); }

void TIEView::ReleaseBitmapChangeEvents() {
  // A callback may unregister itself while it runs: call a copy.
  auto records = std::move(fBitmapChangeEvents);
  fBitmapChangeEvents.clear();
  for (auto& r : records)
    if (r.Event) r.Event(this, true);
}

void TIEView::SetBackground(TColor Value) { fBackground = Value; }

void TIEView::SetDpi(int DpiX, int DpiY) {
  if (DpiX != 0) fDpiX = DpiX;
  if (DpiY != 0) fDpiY = DpiY;
}

TIEView::TIEBitmapChangeHandle TIEView::RegisterBitmapChangeEvent(TIEBitmapChangeEvent Event) {
  TIEBitmapChangeHandle h = fNextHandle++;
  fBitmapChangeEvents.push_back({h, std::move(Event)});
  return h;
}

void TIEView::RemoveBitmapChangeEvent(TIEBitmapChangeHandle Handle) {
  std::erase_if(fBitmapChangeEvents, [Handle](const TIEBitmapChangeRecord& r) { return r.Handle == Handle; });
}

TIEView::TIEBitmapChangeHandle TIEView::RegisterLoadDoneEvent(std::function<void()> Event) {
  TIEBitmapChangeHandle h = fNextHandle++;
  fLoadDoneEvents.emplace_back(h, std::move(Event));
  return h;
}

void TIEView::RemoveLoadDoneEvent(TIEBitmapChangeHandle Handle) {
  std::erase_if(fLoadDoneEvents, [Handle](const auto& e) { return e.first == Handle; });
}

void TIEView::WndProc(TMessage& Message) {
  if (Message.Msg != IEM_LOADDONE) {
    TCustomControl::WndProc(Message);
    return;
  }
  for (const auto& e : fLoadDoneEvents)
    if (e.first == static_cast<TIEBitmapChangeHandle>(Message.WParam)) {
      // A copy: the callback may remove itself.
      std::function<void()> event = e.second;
      event();
      return;
    }
}

void TIEView::CallBitmapChangeEvents() {
  auto records = fBitmapChangeEvents;
  for (auto& r : records)
    if (r.Event) r.Event(this, false);
}

}  // namespace redozir
