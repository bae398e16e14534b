// TIETransitionEffects: the transition engine a view owns, with its three
// frame bitmaps, its timing settings and callbacks, and Stop. The view makes
// it on first use (when a transition event is assigned).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "imaging/processing/transition_host.h"
#include "platform/bitmap.h"
#include "platform/object.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

class TIEBitmap;
class TTimer;
class TIETransitionEffects;

using TIETransitionStepEvent = std::function<void(TObject* Sender, int step)>;
using TIEOnTransitionPaint =
    std::function<void(TObject* Sender, TBitmap* Bitmap, TIETransitionEffects* Transition, int Step)>;

class TIETransitionEffects : public TObject {
 public:
  // Three 1 x 1 24-bit frames and a disabled 1 ms timer; frames are shown
  // on Host (the view that owns the engine).
  explicit TIETransitionEffects(TIETransitionHost* Host);
  ~TIETransitionEffects() override;
  TIETransitionEffects(const TIETransitionEffects&) = delete;
  TIETransitionEffects& operator=(const TIETransitionEffects&) = delete;

  void SetOnTransitionPaint(TIEOnTransitionPaint Callback) { OnTransitionPaint = std::move(Callback); }
  // Ends a running transition: frames back to 1 x 1, the view's paint lock
  // released without a repaint, the view updated when FinishWithTarget, then
  // OnTransitionStop. Nothing unless Running with an effect chosen.
  void Stop();

  std::unique_ptr<TBitmap> StartImage, TargetImage, FrameImage;
  TIEBitmap* PanZoomSource = nullptr;  // not owned
  int Width = 0, Height = 0;
  bool Running = false;
  TIETransitionHost* View = nullptr;
  TTimer* Timer = nullptr;
  int Step = 0;  // 0..1024
  int RandomCount = 0;
  std::uint8_t Effect = 0;        // 0 none, 1..187 effects, 188 pan and zoom
  std::uint32_t Duration = 1000;  // ms
  std::uint32_t StartTick = 0;
  bool FinishWithTarget = false;
  TRect PanZoomStart{}, PanZoomEnd{};
  TNotifyEvent OnTransitionStop;
  TIETransitionStepEvent OnTransitionStep;
  std::uint8_t Timing = 0;  // 0 linear, 1 exponential, 2 logarithmic
  TIEOnTransitionPaint OnTransitionPaint;
};

}  // namespace redozir
#pragma GCC visibility pop
