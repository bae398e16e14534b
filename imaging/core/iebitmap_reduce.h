// The bitmap's own reduction to a palette, used by its pixel format change.
#pragma once

#include "imaging/core/iebitmap.h"

#pragma GCC visibility push(default)
namespace redozir {

// Dst (ie8p, Src's size) takes Src through a palette of at most 256 colours
// chosen by TIEQuantizer (the image's own colours when it has no more), each
// pixel the index of its nearest entry.
void IEBitmapTo8bitPalette(TIEBitmap* Src, TIEBitmap* Dst);

}  // namespace redozir
#pragma GCC visibility pop
