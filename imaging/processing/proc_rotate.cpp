// TRedozIrProc.Rotate: chooses the rotation engine by the options and the
// pixel format; every engine turns the alpha plane with the image.
#include <cmath>

#include "imaging/core/ie_geometry.h"
#include "imaging/core/ie_pixel.h"
#include "imaging/core/ieproc.h"
#include "imaging/processing/ie_rotate.h"

namespace redozir {

void TRedozIrProc::Rotate(double Angle, bool AntiAlias, std::uint8_t AntialiasMode, TColor BackgroundColor) {
  if (!std::isfinite(Angle)) throw EInvalidOp("Rotate: the angle is not a finite number");
  if (Angle == 0 || !PrepareBitmap(0)) return;
  if (AutoUndo) SaveUndoCaptioned("Rotate " + IEFloatToStrF(Angle, ffGeneral, 15, 0), ieuImage);
  TColor bg = BackgroundColor == -1 ? Background() : BackgroundColor;
  TIEBitmap* image = IEBitmap();
  TIEPixelFormat pf = image->GetPixelFormat();
  if (AntiAlias && (pf == ie24RGB || pf == ie1g)) {
    if (AntialiasMode != 0 && !IEIsMultipleOf90(Angle) && pf == ie24RGB)
      _IERotateInterpolated(image, bg, AntialiasMode, this, OnProgress, Angle);
    else
      _IERotate(image, true, this, OnProgress, IEColorToRGB(bg), Angle);
  } else {
    _IERotateInPlace(image, bg, this, OnProgress, Angle);
  }
  Update();
  DoFinishWork();
}

}  // namespace redozir
