// TPicture: a copy of what is assigned to it, kept as a bitmap.
#include "platform/picture.h"

namespace redozir {

TBitmap* TPicture::Bitmap() {
  if (!bitmap_) bitmap_ = std::make_unique<TBitmap>();
  return bitmap_.get();
}

void TPicture::Assign(const TPicture* Source) { Assign(Source ? Source->Graphic() : nullptr); }

void TPicture::Assign(const TBitmap* Source) {
  if (Source == bitmap_.get()) return;
  if (!Source) {
    bitmap_.reset();
    return;
  }
  auto copy = std::make_unique<TBitmap>();
  copy->Assign(*Source);
  bitmap_ = std::move(copy);
}

}  // namespace redozir
