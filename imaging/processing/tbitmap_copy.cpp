// Platform bitmap copies.
#include "imaging/processing/tbitmap_copy.h"

#include <cstring>

namespace redozir {

void _IECopyTBitmap(TBitmap* Src, TBitmap* Dst) {
  if (!Src || !Dst || Src == Dst || Src->Width() == 0 || Src->Height() == 0) return;
  if (Dst->Width() != Src->Width() || Dst->Height() != Src->Height() ||
      Dst->PixelFormat() != Src->PixelFormat()) {
    // Through 1 x 1 so that the format change converts no large image.
    Dst->SetSize(1, 1);
    Dst->SetPixelFormat(Src->PixelFormat());
    Dst->SetSize(Src->Width(), Src->Height());
  }
  // The colour table belongs to the pixels of a palette format.
  Dst->SetPalette(Src->Palette());
  std::memcpy(Dst->Bits(), Src->Bits(), static_cast<size_t>(Src->ImageSize()));
}

std::unique_ptr<TBitmap> _IECloneTBitmap(TBitmap* Src) {
  auto b = std::make_unique<TBitmap>();
  _IECopyTBitmap(Src, b.get());
  return b;
}

}  // namespace redozir
