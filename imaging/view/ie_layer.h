// TIELayer: one layer of a view's picture, its bitmap with the placement,
// size, visibility, opacity, rotation, magnifier and mask settings.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "imaging/core/ie_types.h"
#include "imaging/core/iebitmap.h"
#include "imaging/core/iebitmap_render.h"
#include "imaging/view/ie_guid.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

class TIEBitmap;
class TRedozIrView;
class TStream;

struct TIELayerMagnify {
  bool Enabled = false;
  double Rate = 2.0;
  std::uint8_t Style = 0;   // 0 rectangle, 1 ellipse
  std::uint8_t Source = 1;  // 0 layer 0's bitmap, 1 the back buffer so far
};

struct TIELayerDrawingInfo {
  int XDst = 0, YDst = 0, dxDst = 0, dyDst = 0;
  int XSrc = 0, YSrc = 0, dxSrc = 0, dySrc = 0;
  TPoint RotatedDest[4]{};
};

// What a composition keeps of a layer for the next one, until the view's
// update drops it: the layer turned by its angle and the filtered source of
// its last render, each with what it was made from.
struct TIELayerPaintCache {
  std::unique_ptr<TIEBitmap> Rotated;
  const TIEBitmap* RotatedFrom = nullptr;
  double Angle = 0;
  int RotatedW = 0, RotatedH = 0;
  std::unique_ptr<TIEBitmap> Resampled;
  // Source bitmap, its alpha plane, its size and format, the source
  // rectangle, the destination size, the filter and the plane's state.
  const TIEBitmap* From = nullptr;
  const TIEBitmap* FromAlpha = nullptr;
  std::int64_t Key[11] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  // The key of the layer's last render, whatever it drew: a stretched copy
  // much larger than what shows waits for a render of the same key right
  // after it (the view resting at that size).
  std::int64_t LastKey[11] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  // The renderer's own caches, for what is too large to keep whole (the
  // visible part of a deeply zoomed layer, resampled).
  TIERenderCaches Render;
};

class TIELayer {
 public:
  // With UseBitmap the layer shares Bitmap as it is; otherwise it makes a new
  // bitmap of Bitmap's size, format and storage (empty when Bitmap is null;
  // its pixels are left undefined).
  TIELayer(TRedozIrView* Owner, bool UseBitmap, TIEBitmap* Bitmap);
  ~TIELayer();
  TIELayer(const TIELayer&) = delete;
  TIELayer& operator=(const TIELayer&) = delete;

  void Reset();
  // Settings and pixels; not the rotation, the identity nor the drawing info.
  void Assign(TIELayer* Source);
  int GetWidth() const;
  int GetHeight() const;
  double GetRotate() const { return fRotate; }
  // Whole turns (720, -360) give 0; anything else is kept as it is.
  void SetRotate(double Value);
  const TGUID& GUID() const { return fGUID; }
  // The layer record: identity, settings, rotation and, with SaveBitmap, the
  // pixels, behind its own length. Loading takes the record's GUID, keeps the
  // layer's user data, and changes nothing when the record is damaged (it
  // raises).
  void SaveToStream(TStream& Stream, bool SaveBitmap);
  void LoadFromStream(TStream& Stream);

  int Width = 0;
  int Height = 0;
  TIEBitmap* MaskedAlphaCache = nullptr;  // owned
  TRedozIrView* Owner = nullptr;
  TIEBitmap* Bitmap = nullptr;
  bool Visible = true;
  bool VisibleBox = true;
  int Transparency = 255;
  int PosX = 0;
  int PosY = 0;
  TRect ClientAreaBox{};
  bool Cropped = false;
  bool Locked = false;
  bool Selectable = true;
  TIELayerMagnify Magnify;
  std::uint8_t Operation = 0;
  void* UserData = nullptr;
  int UserDataLen = 0;  // above 0: the layer owns UserData (allocated with new[])
  bool FreeBitmapOnDestroy = true;
  TResampleFilter ResampleFilter = rfNone;
  bool UseResampleFilter = false;
  std::string Name;
  bool IsMask = false;
  TIELayerDrawingInfo DrawingInfo;
  bool DimOutside = false;
  double RotateCenterX = 0.5;
  double RotateCenterY = 0.5;
  std::unique_ptr<TIELayerPaintCache> PaintCache;

 private:
  double fRotate = 0;
  TGUID fGUID;
};

}  // namespace redozir
#pragma GCC visibility pop
