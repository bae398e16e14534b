// TRedozIrProc.CropTransparentBorder: the crop to the visible pixels.
#include "imaging/core/ieproc.h"

namespace redozir {

void TRedozIrProc::CropTransparentBorder() {
  if (!PrepareBitmap(0)) return;
  TRect r = IEGetAlphaBounds(IEBitmap());
  // A wholly transparent image has nothing to crop to: it stays as it is.
  if (r.Right < r.Left || r.Bottom < r.Top) return;
  bool saved = AutoUndo;
  AutoUndo = false;
  try {
    Crop(r.Left, r.Top, r.Right, r.Bottom);
  } catch (...) {
    AutoUndo = saved;
    throw;
  }
  AutoUndo = saved;
}

}  // namespace redozir
