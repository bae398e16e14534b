// TIETransitionHost: what the transition engine asks of the control it plays
// on. The image view implements it, so the engine needs nothing of the view.
#pragma once

#include "platform/canvas.h"
#include "platform/object.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

class TIETransitionHost {
 public:
  virtual ~TIETransitionHost() = default;
  // The Sender of the engine's events (the control itself).
  virtual TObject* TransitionSender() = 0;
  // The canvas the frames are shown on, at (0, 0).
  virtual TCanvas* TransitionCanvas() = 0;
  // The size of the area the frames are shown in.
  virtual int TransitionClientWidth() = 0;
  virtual int TransitionClientHeight() = 0;
  // The colour the fades pass through (system colours allowed).
  virtual TColor TransitionBackground() = 0;
  // Paints the control's background over a Width x Height canvas (the
  // margins of the pan-and-zoom).
  virtual void TransitionPaintBackground(TCanvas* Canvas, int Width, int Height) = 0;
  // Keeps the control from painting its own picture over the frames.
  virtual void TransitionLockPaint() = 0;
  // Releases that lock without a repaint.
  virtual void TransitionUnlockPaint() = 0;
  // Brings the control up to its picture (a transition finished with the target).
  virtual void TransitionUpdate() = 0;
};

}  // namespace redozir
#pragma GCC visibility pop
