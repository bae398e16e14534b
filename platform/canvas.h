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

  // A control's canvas draws into its form's surface: Origin is where the
  // canvas's (0, 0) lies on the bitmap, and drawing touches only DeviceClip
  // (bitmap coordinates). A plain bitmap canvas has origin (0, 0) and no
  // device clip (the whole bitmap).
  void SetBitmap(TBitmap* bitmap) { bitmap_ = bitmap; }
  TPoint Origin() const { return origin_; }
  void SetOrigin(TPoint origin) { origin_ = origin; }
  bool HasDeviceClip() const { return hasDeviceClip_; }
  TRect DeviceClip() const { return deviceClip_; }
  void SetDeviceClip(const TRect& r) {
    deviceClip_ = r;
    hasDeviceClip_ = true;
  }
  void ClearDeviceClip() { hasDeviceClip_ = false; }

 private:
  TBitmap* bitmap_;
  TPoint origin_;
  TRect deviceClip_;
  bool hasDeviceClip_ = false;
};
