// A unit of a program that talks to X11 directly: Xlib's macros (None, Bool,
// KeyPress, Status, ...) and names (Screen) are in force before the library's
// I/O and processing headers are read.
#include <X11/Xlib.h>

#include "imaging/core/ieproc.h"
#include "imaging/io/redozir_io.h"

bool SaveHalfTurned(redozir::TIEBitmap& image, const char* out) {
  redozir::TRedozIrProc proc;
  proc.SetAttachedIEBitmap(&image);
  proc.Resample(image.Width() / 2, -1, redozir::rfLanczos3);
  proc.Rotate(30, true, 1, redozir::clWhite);
  redozir::TRedozIrIO io;
  io.SetAttachedIEBitmap(&image);
  io.Params().JPEGQuality = 85;
  io.SaveToFile(out);
  return image.Width() > 0 && image.Height() > 0;
}
