// TIETransitionEffects: construction, teardown and stopping.
#include "imaging/processing/ie_transition.h"

#include "imaging/view/redozir_view.h"
#include "platform/timers.h"

namespace redozir {

namespace {
std::unique_ptr<TBitmap> OnePixel() { return std::make_unique<TBitmap>(1, 1, pf24bit); }
}  // namespace

TIETransitionEffects::TIETransitionEffects(TRedozIrView* AView)
    : StartImage(OnePixel()), TargetImage(OnePixel()), FrameImage(OnePixel()), View(AView) {
  Timer = new TTimer(AView);
  Timer->SetEnabled(false);
  Timer->SetInterval(1);
}

TIETransitionEffects::~TIETransitionEffects() { delete Timer; }

void TIETransitionEffects::Stop() {
  if (!Running || Effect == 0) return;
  Timer->SetEnabled(false);
  Running = false;
  FrameImage->SetSize(1, 1);
  StartImage->SetSize(1, 1);
  TargetImage->SetSize(1, 1);
  if (View) {
    View->UnlockPaintEx();
    if (FinishWithTarget) View->Update();
  }
  if (OnTransitionStop) OnTransitionStop(View);
}

}  // namespace redozir
