// TRedozIrView's events that must show the program's SelectionBase, the
// transition engine behind the transition events, and the wallpaper.
#include <utility>

#include "imaging/view/redozir_view.h"
#include "imaging/view/redozir_view_background.h"

namespace redozir {

// ---- SelectionBase for the handlers

void TRedozIrView::BeginClientSelectionBase() {
  if (fClientBaseDepth++ == 0) {
    fProgramSelectionBase = SelectionBase;
    SelectionBase = iesbClientArea;
  }
}

void TRedozIrView::EndClientSelectionBase() {
  if (fClientBaseDepth > 0 && --fClientBaseDepth == 0) SelectionBase = fProgramSelectionBase;
}

void TRedozIrView::FireWithProgramSelectionBase(const std::function<void()>& Fire) {
  // Outside a mouse handler SelectionBase already is the program's: the kept
  // value would be stale there. A base the handler sets goes where the
  // program's is kept, and so survives the end of the mouse handler.
  struct TSwap {
    TRedozIrView* v;
    bool on;
    TSwap(TRedozIrView* view, bool swap) : v(view), on(swap) {
      if (on) std::swap(v->SelectionBase, v->fProgramSelectionBase);
    }
    ~TSwap() {
      if (on) std::swap(v->SelectionBase, v->fProgramSelectionBase);
    }
  } swap(this, fClientBaseDepth > 0);
  Fire();
}

void TRedozIrView::DoLayerNotify(int layer, TIELayerEvent event) {
  if (OnLayerNotify) FireWithProgramSelectionBase([&] { OnLayerNotify(this, layer, event); });
}

void TRedozIrView::DoSelectionChange() {
  if (OnSelectionChange) OnSelectionChange(this);
}

void TRedozIrView::DoSelectionChanging() {
  if (OnSelectionChanging) FireWithProgramSelectionBase([&] { OnSelectionChanging(this); });
}

void TRedozIrView::DoBeforeSelectionChange() {
  if (OnBeforeSelectionChange) FireWithProgramSelectionBase([&] { OnBeforeSelectionChange(this); });
}

void TRedozIrView::DoMouseInSel() {
  if (OnMouseInSel) FireWithProgramSelectionBase([&] { OnMouseInSel(this); });
}

void TRedozIrView::DoMouseInResizingGrip(TIEGrip Grip) {
  if (OnMouseInResizingGrip) FireWithProgramSelectionBase([&] { OnMouseInResizingGrip(this, Grip); });
}

// ---- transitions

TIETransitionEffects* TRedozIrView::NeedTransition() {
  if (!fTransition) fTransition = std::make_unique<TIETransitionEffects>(this);
  return fTransition.get();
}

TNotifyEvent TRedozIrView::GetOnTransitionStop() const {
  return fTransition ? fTransition->OnTransitionStop : TNotifyEvent{};
}

void TRedozIrView::SetOnTransitionStop(TNotifyEvent v) { NeedTransition()->OnTransitionStop = std::move(v); }

TIETransitionStepEvent TRedozIrView::GetOnTransitionStep() const {
  return fTransition ? fTransition->OnTransitionStep : TIETransitionStepEvent{};
}

void TRedozIrView::SetOnTransitionStep(TIETransitionStepEvent v) {
  NeedTransition()->OnTransitionStep = std::move(v);
}

TIEOnTransitionPaint TRedozIrView::GetOnTransitionPaint() const {
  return fTransition ? fTransition->OnTransitionPaint : TIEOnTransitionPaint{};
}

void TRedozIrView::SetOnTransitionPaint(TIEOnTransitionPaint v) {
  NeedTransition()->SetOnTransitionPaint(std::move(v));
}

void TRedozIrView::StopTransition() {
  if (fTransition) fTransition->Stop();
}

void TRedozIrView::TransitionPaintBackground(TCanvas* Canvas, int Width, int Height) {
  if (!Canvas) return;
  // The view's own background (style, wallpaper, gradient) around the picture.
  TRect image = Rect(0, 0, fIEBitmap ? fIEBitmap->Width() : 0, fIEBitmap ? fIEBitmap->Height() : 0);
  IEPaintBackground(BackgroundParams(), Canvas, nullptr, image, Rect(0, 0, Width, Height), false);
}

// ---- wallpaper

TPicture* TRedozIrView::WallPaper() {
  if (!fWallPaper) fWallPaper = std::make_unique<TPicture>();
  return fWallPaper.get();
}

void TRedozIrView::SetWallPaper(const TPicture* Value) {
  WallPaper()->Assign(Value);
  fRepaintMode = 4;
  Update();
}

}  // namespace redozir
