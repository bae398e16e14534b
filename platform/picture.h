// TPicture: the holder of one graphic (a bitmap here) behind properties such
// as a view's wallpaper; empty until a graphic is assigned.
#pragma once

#include <memory>

#include "platform/bitmap.h"

#pragma GCC visibility push(default)
namespace redozir {

class TPicture {
 public:
  TPicture() = default;
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;

  // No graphic, or one of no size.
  bool Empty() const { return !bitmap_ || bitmap_->Empty(); }
  int Width() const { return bitmap_ ? bitmap_->Width() : 0; }
  int Height() const { return bitmap_ ? bitmap_->Height() : 0; }
  // The graphic, or nullptr when there is none.
  TBitmap* Graphic() const { return bitmap_.get(); }
  // The graphic as a bitmap, made (empty) when there is none yet.
  TBitmap* Bitmap();
  // A copy of the source's graphic; nullptr empties.
  void Assign(const TPicture* Source);
  void Assign(const TBitmap* Source);

 private:
  std::unique_ptr<TBitmap> bitmap_;
};

}  // namespace redozir
#pragma GCC visibility pop
