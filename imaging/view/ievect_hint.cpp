// The measure hint of the vector view (the area or length of the view's
// selection, the length being dragged), the end of a length drag, and the
// painting that turns antialiasing off while the left button is held, with
// the 50 ms timer that turns it on again.
#include <algorithm>
#include <bit>
#include <cmath>

#include "imaging/core/ie_drawing.h"
#include "imaging/core/ie_window_calls.h"
#include "imaging/core/iemask.h"
#include "imaging/view/ievect.h"
#include "imaging/view/redozir_view_selection.h"
#include "platform/bitmap.h"
#include "platform/keys.h"
#include "platform/timers.h"

namespace redozir {

namespace {

// Each sub-polygon of the selection polygon (closed), in order.
template <class F>
void ForEachSubPolygon(const TPoint* P, int Count, F Visit) {
  int start = 0;
  for (int i = 0; i <= Count; ++i)
    if (i == Count || IEIsSelBreak(P[i])) {
      if (i > start) Visit(P + start, i - start);
      start = i + 1;
    }
}

}  // namespace

double TRedozIrVect::SelectionArea() {
  const TPoint* p = GetSelectionPoints();
  const int n = GetSelectionPointCount();
  double px = 0;
  if (n > 2) {
    ForEachSubPolygon(p, n, [&](const TPoint* q, int m) {
      double s = 0;
      for (int i = 0; i < m; ++i) {
        const TPoint a = q[i], b = q[(i + 1) % m];
        s += double(a.X) * b.Y - double(b.X) * a.Y;
      }
      px += std::abs(s / 2);
    });
  } else if (TIEMask* mask = SelectionMask(); mask && !mask->IsEmpty()) {
    const int x1 = std::max(mask->X1, 0), x2 = std::min(mask->X2, mask->Width() - 1);
    const int y1 = std::max(mask->Y1, 0), y2 = std::min(mask->Y2, mask->Height() - 1);
    // A whole byte at a time: the hint follows every mouse move.
    for (int y = y1; y <= y2; ++y) {
      const std::uint8_t* row = mask->GetScanline(y);
      if (mask->BitsPerPixel() == 8) {
        px += static_cast<double>(x2 - x1 + 1 - std::count(row + x1, row + x2 + 1, std::uint8_t{0}));
        continue;
      }
      for (int b = x1 >> 3; b <= x2 >> 3; ++b) {
        unsigned v = row[b];
        if (b == x1 >> 3) v &= 0xFFu >> (x1 & 7);
        if (b == x2 >> 3) v &= (0xFFu << (7 - (x2 & 7))) & 0xFFu;
        px += std::popcount(v);
      }
    }
  }
  return px * fPixelLengthX * fPixelLengthY;
}

double TRedozIrVect::SelectionLength() {
  double len = 0;
  ForEachSubPolygon(GetSelectionPoints(), GetSelectionPointCount(), [&](const TPoint* q, int m) {
    for (int i = 0; i < m && m > 1; ++i) {
      const TPoint a = q[i], b = q[(i + 1) % m];
      len += MeasureLength(double(b.X) - a.X, double(b.Y) - a.Y);
    }
  });
  return len;
}

double TRedozIrVect::DragLength(TPoint To) {
  const double dx = std::abs(ObjXScr2Bmp(To.X) - ObjXScr2Bmp(fDragStart.X)) + 1;
  const double dy = std::abs(ObjYScr2Bmp(To.Y) - ObjYScr2Bmp(fDragStart.Y)) + 1;
  return MeasureLength(dx, dy);
}

bool TRedozIrVect::MeasureHintOn() const {
  return fCreating < 0 || (ObjectInteract & (oiMeasureArea | oiMeasureLength));
}

void TRedozIrVect::RefreshMeasureHint() {
  HideMeasureHint();
  if (!MeasureHintOn()) return;
  TPoint mouse;
  GetCursorPos(mouse);
  mouse = ScreenToClient(mouse);
  double value;
  TIEVValType type = ievtLENGTH;
  if (fCreating < 0) {
    value = DragLength(mouse);
  } else if (ObjectInteract & oiMeasureArea) {
    value = SelectionArea();
    type = ievtAREA;
  } else {
    value = SelectionLength();
    // A polygon being drawn measures on to the mouse.
    const int n = GetSelectionPointCount();
    if (SelectionState().PolySelecting && n > 0 && !IEIsSelBreak(GetSelectionPoints()[n - 1])) {
      const TPoint last = GetSelectionPoints()[n - 1];
      value += MeasureLength(ObjXScr2Bmp(mouse.X) - last.X, ObjYScr2Bmp(mouse.Y) - last.Y);
    }
  }
  if (value != 0 && std::isfinite(value)) {
    // The hint's canvas reads the area's sign in the font's code page.
    std::string text = FormatMeasure(value, type, MeasureHintFont.Charset);
    if (OnMeasureHint) OnMeasureHint(this, text, value);
    if (OnPresentMeasure) OnPresentMeasure(this, text, value, type);
    fHintText = text;
  }
  fHintPos = TPoint{std::max(mouse.X, 0), std::max(mouse.Y, 0)};
  DrawMeasureHint();
}

void TRedozIrVect::DrawMeasureHint() {
  if (fHintText.empty() || !HandleAllocated()) return;
  if (!fHintSaved) fHintSaved = std::make_unique<TBitmap>();
  IEDrawHint(Canvas(), fHintPos.X, fHintPos.Y, fHintText, MeasureHintFont, MeasureHintBrush, fHintSaved.get(),
             ClientWidth(), ClientHeight(), MeasureHintLight, MeasureHintDark);
  fHintShown = true;
}

void TRedozIrVect::HideMeasureHint() {
  if (!fHintShown) return;
  fHintShown = false;
  if (HandleAllocated() && fHintSaved) Canvas()->Draw(fHintPos.X, fHintPos.Y, *fHintSaved);
}

void TRedozIrVect::EndDragLength(int X, int Y) {
  const double value = DragLength(TPoint{X, Y});
  HideMeasureHint();
  fHintText.clear();
  if (OnDragLenEnd) OnDragLenEnd(this, value);
}

// ---- painting while the left button is held

void TRedozIrVect::Paint() {
  if (!fDragTimer) {
    fDragTimer = std::make_unique<TTimer>(nullptr);
    fDragTimer->SetEnabled(false);
    fDragTimer->SetInterval(50);
    fDragTimer->SetOnTimer([this](TObject*) { DragTimerTick(); });
  }
  if (!fDragTimer->Enabled() && (!Dragging || !FastDrag) && IEIsPrimaryButtonDown()) {
    Dragging = true;
    fDragTimer->SetEnabled(true);
  }
  TRedozIrView::Paint();
  // The paint covered the hint: it comes back where it was.
  if (fHintShown && PaintLockCount() == 0) {
    fHintShown = false;
    DrawMeasureHint();
  }
}

void TRedozIrVect::DragTimerTick() {
  // The same button that started the timer: the physical left one is the
  // secondary button when the buttons are swapped.
  if (IEIsPrimaryButtonDown()) return;
  fDragTimer->SetEnabled(false);
  Dragging = false;
  Update();
}

}  // namespace redozir
