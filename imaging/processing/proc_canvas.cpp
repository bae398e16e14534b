// The canvas operations of TRedozIrProc: ImageResize, Crop, CropRect, Fill
// and Clear.
#include <algorithm>
#include <string>

#include "imaging/core/iemask.h"
#include "imaging/core/ieproc.h"
#include "imaging/processing/fill_rect.h"

namespace redozir {

void TRedozIrProc::ImageResize(int NewWidth, int NewHeight, std::uint8_t HorizAlign, std::uint8_t VertAlign,
                               int AlphaFill) {
  if (NewWidth < 0 || NewHeight < 0)
    throw ERangeError("ImageResize: negative size " + std::to_string(NewWidth) + " x " +
                      std::to_string(NewHeight));
  if (!PrepareBitmap(0)) return;
  TIEBitmap* image = IEBitmap();
  if (NewWidth == 0 || NewHeight == 0 || (NewWidth == image->GetWidth() && NewHeight == image->GetHeight()))
    return;
  if (AutoUndo)
    SaveUndoCaptioned("ImageResize " + std::to_string(NewWidth) + "," + std::to_string(NewHeight), ieuImage);
  if (image->GetWidth() < 2 && image->GetHeight() < 2) Clear();
  AlphaFill = std::clamp(AlphaFill, 0, 255);
  if (AlphaFill < 255) image->GetAlphaChannel();
  image->Resize(NewWidth, NewHeight, IEColorFillValue(image, Background()), AlphaFill, HorizAlign, VertAlign);
  Update();
  DoFinishWork();
}

void TRedozIrProc::Crop(int x1, int y1, int x2, int y2) {
  if (!PrepareBitmap(0)) return;
  TIEBitmap* image = IEBitmap();
  int W = image->GetWidth(), H = image->GetHeight();
  // Only the part inside the image can be kept; nothing at all, no change.
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, W - 1);
  y2 = std::min(y2, H - 1);
  if (x1 > x2 || y1 > y2) return;
  if (x1 == 0 && y1 == 0 && x2 == W - 1 && y2 == H - 1) return;
  if (AutoUndo) SaveUndoCaptioned("Crop", ieuImage);
  int w = x2 - x1 + 1, h = y2 - y1 + 1;
  auto cut = [&](TIEBitmap* from) {
    TIEBitmap part;
    part.SetMemoryThreshold(from->MemoryThreshold());
    if (!part.Allocate(w, h, from->GetPixelFormat()))
      throw EOutOfMemory("Cannot allocate a " + std::to_string(w) + " x " + std::to_string(h) + " bitmap");
    from->CopyPaletteTo(&part);
    from->CopyRectTo(&part, x1, y1, 0, 0, w, h);
    // The part takes the image's place rather than being copied back, unless
    // the image must stay in its platform bitmap or keep another row layout.
    if (from->Location() != ieTBitmap && from->RowAlign() == part.RowAlign())
      from->SwapImage(part);
    else
      from->AssignImage(&part);
  };
  // The plane is taken while it still has the image's size.
  TIEBitmap* alpha = image->HasAlphaChannel() ? image->GetAlphaChannel() : nullptr;
  cut(image);
  if (alpha) cut(alpha);
  Update();
  DoFinishWork();
}

void TRedozIrProc::CropRect(const TRect& Rect) { Crop(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }

void TRedozIrProc::Fill(TRGB Color) {
  int x1, y1, x2, y2;
  TIEMask* mask;
  TIEBitmap* work;
  if (!BeginSelectionWork(0, x1, y1, x2, y2, mask, "Fill", work)) return;
  _IEFillRect(work, x1, y1, x2, y2, Color, OnProgress, this);
  EndSelectionWork(work, mask);
  DoFinishWork();
}

void TRedozIrProc::Clear() {
  if (!PrepareBitmap(0)) return;
  if (AutoUndo) SaveUndoCaptioned("Clear", ieuImage);
  TIEBitmap* image = IEBitmap();
  image->Fill(IEColorFillValue(image, Background()));
  Update();
  DoFinishWork();
}

}  // namespace redozir
