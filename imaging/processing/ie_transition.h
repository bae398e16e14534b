// TIETransitionEffects: the transition engine a view owns. Started with a
// start and a target picture (or a picture to pan and zoom across), its
// timer draws the frames of one of 188 effects into a work bitmap and shows
// each on the host view until the duration has passed. The view makes it on
// first use (when a transition event is assigned).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "imaging/processing/transition_effects.h"
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

// The curve of Step over time.
enum TIETransitionTiming : std::uint8_t { iettLinear, iettExponential, iettLogarithmic };

class TIETransitionEffects : public TObject {
 public:
  // Three 1 x 1 24-bit frames and a disabled 1 ms timer; frames are shown
  // on Host (the view that owns the engine).
  explicit TIETransitionEffects(TIETransitionHost* Host);
  // Releases the host's paint lock when freed while running (no events).
  ~TIETransitionEffects() override;
  TIETransitionEffects(const TIETransitionEffects&) = delete;
  TIETransitionEffects& operator=(const TIETransitionEffects&) = delete;

  void SetOnTransitionPaint(TIEOnTransitionPaint Callback) { OnTransitionPaint = std::move(Callback); }

  // Starts effect AEffect (1 .. 187) from StartPicture to TargetPicture, two
  // pictures of one size (any pixel format; the frames are 24-bit copies).
  // The host's paint lock is taken until Stop. A start while a transition
  // runs replaces it (the lock is kept, no stop event). Raises ERangeError
  // for an effect number or timing out of range and EInvalidGraphic for
  // empty pictures or pictures of two sizes; the engine is then unchanged.
  void Start(const TBitmap& StartPicture, const TBitmap& TargetPicture, int AEffect,
             std::uint32_t ADuration = 1000, std::uint8_t ATiming = iettLinear,
             bool AFinishWithTarget = false);
  // Starts the pan-and-zoom (effect 188) across Source, from the source
  // rectangle AStart to AEnd, in frames of the host's client size. Source
  // is not owned and must live until the transition stops. Raises
  // EInvalidGraphic without a source picture or an area to show it in.
  void StartPanZoom(TIEBitmap* Source, const TRect& AStart, const TRect& AEnd, std::uint32_t ADuration = 1000,
                    std::uint8_t ATiming = iettLinear, bool AFinishWithTarget = false);
  // Ends a running transition: frames back to 1 x 1, the host's paint lock
  // released without a repaint, the host updated when FinishWithTarget, then
  // OnTransitionStop. Nothing unless Running with an effect chosen.
  void Stop();
  // The timer's handler: one frame for Step, then the next Step from the
  // time elapsed (see NextStep).
  void TimerTick();
  // Draws the frame of step s (0 .. 1024) of the running effect over the
  // frame bitmap, as a tick does before it shows it.
  void DrawFrame(int s);
  // The frame of a table effect: the start picture at step 0, else the
  // effect's procedure at the progress Round(s / 1024 x 100).
  void DrawTableEffect(int s);

  // Step for the fraction x of the duration elapsed under Timing, bounded
  // to 0 .. 1024.
  static int NextStep(double x, std::uint8_t Timing);

  std::unique_ptr<TBitmap> StartImage, TargetImage, FrameImage;
  TIEBitmap* PanZoomSource = nullptr;  // not owned
  // Row y of each bitmap (row 0 the top one), while running.
  std::vector<std::uint8_t*> StartRows, TargetRows, FrameRows;
  int Width = 0, Height = 0;
  bool Running = false;
  TIETransitionHost* View = nullptr;
  std::unique_ptr<TTimer> Timer;
  int Step = 0;  // 0..1024
  int RandomCount = 0;
  std::uint8_t Effect = 0;        // 0 none, 1..187 effects, 188 pan and zoom
  std::uint32_t Duration = 1000;  // ms
  std::uint32_t StartTick = 0;
  bool FinishWithTarget = false;
  TRect PanZoomStart{}, PanZoomEnd{};
  TNotifyEvent OnTransitionStop;
  TIETransitionStepEvent OnTransitionStep;
  std::uint8_t Timing = iettLinear;
  TIEOnTransitionPaint OnTransitionPaint;

 private:
  // Takes the new pictures and starts; raises only before the engine
  // changes (a running transition then goes on as it was).
  void Begin(std::unique_ptr<TBitmap> AStart, std::unique_ptr<TBitmap> ATarget,
             std::unique_ptr<TBitmap> AFrame, TIEBitmap* APanZoomSource, int AEffect, std::uint32_t ADuration,
             std::uint8_t ATiming, bool AFinishWithTarget);
  void DrawBuiltIn(int s);
  void DrawPanZoom(int s);
  TObject* Sender() const;
  // Moves on with every start and stop: a tick that sees it change under a
  // callback leaves the new state alone.
  std::uint64_t fRun = 0;
  // Cleared when the engine is freed: a tick whose callback freed the engine
  // (or the view that owns it) holds a share and touches nothing after.
  std::shared_ptr<bool> fAlive = std::make_shared<bool>(true);
};

}  // namespace redozir
#pragma GCC visibility pop
