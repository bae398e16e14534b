// TRedozIrProc's colour conversions (ConvertTo, ConvertToPalette,
// ConvertToGray) and the selection frame that lets an operation work only
// under the selection of the attached view.
#include <memory>
#include <string>

#include "imaging/core/iemask.h"
#include "imaging/core/ieproc.h"
#include "imaging/core/convert_1bit.h"
#include "imaging/processing/reduce_colors.h"

namespace redozir {

bool TRedozIrProc::BeginSelectionWork(TIEPixelFormatSet Formats, int& X1, int& Y1, int& X2, int& Y2,
                                      TIEMask*& Mask, const std::string& Caption, TIEBitmap*& WorkBitmap) {
  WorkBitmap = nullptr;
  Mask = nullptr;
  if (AutoUndo) SaveUndoCaptioned(Caption, ieuImage);
  if (!PrepareBitmap(Formats)) return false;
  TIEBitmap* image = IEBitmap();
  if (!GetSelectionBounds(X1, Y1, X2, Y2, Mask)) return false;
  if (Mask && !Mask->IsEmpty()) {
    const int w = X2 - X1, h = Y2 - Y1;
    if (w <= 0 || h <= 0) return false;
    auto work = std::make_unique<TIEBitmap>();
    if (!work->Allocate(w, h, image->GetPixelFormat()))
      throw EOutOfMemory("Cannot allocate a " + std::to_string(w) + " x " + std::to_string(h) + " bitmap");
    image->CopyPaletteTo(work.get());
    image->CopyRectTo(work.get(), X1, Y1, 0, 0, w, h);
    if (image->HasAlphaChannel())
      image->GetAlphaChannel()->CopyRectTo(work->GetAlphaChannel(), X1, Y1, 0, 0, w, h);
    X1 = Y1 = 0;
    X2 = w;
    Y2 = h;
    WorkBitmap = work.release();
  } else {
    Mask = nullptr;
    WorkBitmap = image;
  }
  return true;
}

void TRedozIrProc::EndSelectionWork(TIEBitmap* WorkBitmap, TIEMask* Mask) {
  TIEBitmap* image = IEBitmap();
  if (WorkBitmap && WorkBitmap != image) {
    std::unique_ptr<TIEBitmap> work(WorkBitmap);
    int x1, y1, x2, y2;
    TIEMask* m;
    // The work copy starts at the selection's corner, asked again here.
    if (Mask && image && GetSelectionBounds(x1, y1, x2, y2, m)) {
      const bool alpha = work->HasAlphaChannel() && !work->GetAlphaChannel()->Full();
      Mask->CopyBitmap(image, work.get(), alpha, x1, y1);
    }
  }
  Update();
}

void TRedozIrProc::ConvertToGray() {
  int x1, y1, x2, y2;
  TIEMask* mask;
  TIEBitmap* work;
  if (!BeginSelectionWork(IEPF(ie24RGB), x1, y1, x2, y2, mask, "ConvertToGray", work)) return;
  _IEConvertToGray24(work, x1, y1, x2, y2, &OnProgress, this);
  EndSelectionWork(work, mask);
  DoFinishWork();
}

namespace {
// The work shared by ConvertTo and ConvertToPalette once the image is
// prepared and the undo entry saved.
void Convert(TIEBitmap* image, int NColors, TRGB* Palette, std::uint8_t DitherMethod, TIEProgressRecord pr) {
  if (NColors < 3) {
    if (DitherMethod)
      _IEConvertTo1bitInPlace(image, -1, pr);
    else
      _IEConvertTo1bitOrdered(image, pr);
    // Black and white, but never past the caller's entries.
    if (Palette) {
      if (NColors > 0) Palette[0] = TRGB{0, 0, 0};
      if (NColors > 1) Palette[1] = TRGB{255, 255, 255};
    }
  } else if (NColors <= 1024) {
    _IEReduceColors(image, NColors, Palette, pr);
  }
}
}  // namespace

void TRedozIrProc::ConvertTo(int NColors, std::uint8_t DitherMethod) {
  if (!PrepareBitmap(IEPF(ie24RGB))) return;
  if (AutoUndo) SaveUndoCaptioned("ConvertTo " + std::to_string(NColors), ieuImage);
  TIEProgressRecord pr;
  pr.fOnProgress = &OnProgress;
  pr.Sender = this;
  Convert(IEBitmap(), NColors, nullptr, DitherMethod, pr);
  Update();
  DoFinishWork();
}

void TRedozIrProc::ConvertToPalette(int NColors, TRGB* Palette, std::uint8_t DitherMethod) {
  if (NColors == 0) return;
  if (!PrepareBitmap(IEPF(ie24RGB))) return;
  if (AutoUndo) SaveUndoCaptioned("ConvertToPalette", ieuImage);
  TIEProgressRecord pr;
  pr.fOnProgress = &OnProgress;
  pr.Sender = this;
  Convert(IEBitmap(), NColors, Palette, DitherMethod, pr);
  Update();
  DoFinishWork();
}

}  // namespace redozir
