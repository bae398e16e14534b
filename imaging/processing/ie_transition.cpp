// TIETransitionEffects: construction, teardown and stopping.
#include "imaging/processing/ie_transition.h"

#include "platform/timers.h"

namespace redozir {

namespace {
std::unique_ptr<TBitmap> OnePixel() { return std::make_unique<TBitmap>(1, 1, pf24bit); }
}  // namespace

TIETransitionEffects::TIETransitionEffects(TIETransitionHost* Host)
    : StartImage(OnePixel()), TargetImage(OnePixel()), FrameImage(OnePixel()), View(Host) {
  Timer = new TTimer(nullptr);
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
    View->TransitionUnlockPaint();
    if (FinishWithTarget) View->TransitionUpdate();
  }
  if (OnTransitionStop) OnTransitionStop(View ? View->TransitionSender() : nullptr);
}

}  // namespace redozir
