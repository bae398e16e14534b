// TCanvas: drawing on a TBitmap with pens, brushes and fonts.
#pragma once

#include "platform/bitmap.h"
#include "platform/types.h"

class TCanvas {
 public:
  explicit TCanvas(TBitmap* bitmap) : bitmap_(bitmap) {}
  virtual ~TCanvas() = default;

  TBitmap* Bitmap() const { return bitmap_; }
  // Called by the bitmap when its pixels were reallocated.
  void BitmapChanged() {}

 private:
  TBitmap* bitmap_;
};
