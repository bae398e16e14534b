// Copies of platform TBitmaps.
#pragma once

#include <memory>

#include "platform/bitmap.h"

#pragma GCC visibility push(default)
namespace redozir {

// Dst becomes a copy of Src (size, pixel format, palette, pixels); nothing
// happens when Src is empty.
void _IECopyTBitmap(TBitmap* Src, TBitmap* Dst);
// A new copy of Src, owned by the caller.
std::unique_ptr<TBitmap> _IECloneTBitmap(TBitmap* Src);

}  // namespace redozir
#pragma GCC visibility pop
