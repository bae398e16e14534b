// TIELayer: creation, defaults, copying and rotation.
#include "imaging/view/ie_layer.h"

#include <cmath>

#include "imaging/core/iebitmap.h"

namespace redozir {

TIELayer::TIELayer(TRedozIrView* AOwner, bool UseBitmap, TIEBitmap* ABitmap)
    : Owner(AOwner), fGUID(IECreateGuid()) {
  if (UseBitmap) {
    Bitmap = ABitmap;
  } else {
    auto b = std::make_unique<TIEBitmap>();
    if (ABitmap) {
      // Same storage as the source: a platform bitmap of its own when the
      // source lives in one, else memory or the disk buffer as the source.
      b->SetMemoryThreshold(ABitmap->MemoryThreshold());
      b->SetIsVclBitmap(ABitmap->Location() == ieTBitmap && ABitmap->IsVclBitmap());
      if (!b->AllocateAt(ABitmap->Width(), ABitmap->Height(), ABitmap->GetPixelFormat(), ABitmap->Location()))
        throw EOutOfMemory("Cannot allocate a " + std::to_string(ABitmap->Width()) + " x " +
                           std::to_string(ABitmap->Height()) + " layer");
    }
    Bitmap = b.release();
  }
  FreeBitmapOnDestroy = true;
  Reset();
}

TIELayer::~TIELayer() {
  if (FreeBitmapOnDestroy) delete Bitmap;  // a platform bitmap it lives in is its own
  if (UserDataLen > 0) delete[] static_cast<std::uint8_t*>(UserData);
  delete MaskedAlphaCache;
}

void TIELayer::Reset() {
  Width = 0;
  Height = 0;
  SetRotate(0);
  Visible = true;
  VisibleBox = true;
  Transparency = 255;
  PosX = 0;
  PosY = 0;
  ClientAreaBox = TRect{};
  Cropped = false;
  Locked = false;
  Selectable = true;
  Magnify = TIELayerMagnify{};
  Operation = 0;
  // A block the layer owns goes with the reset instead of being lost.
  if (UserDataLen > 0) delete[] static_cast<std::uint8_t*>(UserData);
  UserData = nullptr;
  UserDataLen = 0;
  IsMask = false;
  DrawingInfo = TIELayerDrawingInfo{};
  DimOutside = false;
  RotateCenterX = 0.5;
  RotateCenterY = 0.5;
}

void TIELayer::Assign(TIELayer* Source) {
  Width = Source->Width;
  Height = Source->Height;
  Bitmap->Assign(Source->Bitmap);
  Visible = Source->Visible;
  VisibleBox = Source->VisibleBox;
  Selectable = Source->Selectable;
  Transparency = Source->Transparency;
  PosX = Source->PosX;
  PosY = Source->PosY;
  ClientAreaBox = Source->ClientAreaBox;
  Cropped = Source->Cropped;
  Locked = Source->Locked;
  Magnify = Source->Magnify;
  Operation = Source->Operation;
  // The block stays its owner's: the copy only points at it, so it must not
  // free it (nor keep a block of its own it would otherwise lose).
  if (UserDataLen > 0) delete[] static_cast<std::uint8_t*>(UserData);
  UserDataLen = 0;
  UserData = Source->UserData;
  ResampleFilter = Source->ResampleFilter;
  UseResampleFilter = Source->UseResampleFilter;
  Name = Source->Name;
  IsMask = Source->IsMask;
  DimOutside = Source->DimOutside;
}

int TIELayer::GetWidth() const { return Width != 0 ? Width : (Bitmap ? Bitmap->Width() : 0); }
int TIELayer::GetHeight() const { return Height != 0 ? Height : (Bitmap ? Bitmap->Height() : 0); }

void TIELayer::SetRotate(double Value) {
  if (std::isfinite(Value) && std::trunc(Value) == Value && std::fmod(Value, 360.0) == 0.0)
    fRotate = 0;
  else
    fRotate = Value;
}

}  // namespace redozir
