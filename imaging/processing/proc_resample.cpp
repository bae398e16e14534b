// TRedozIrProc.Resample and ResampleTo: the attached image resampled in
// place with an undo entry, or into a target bitmap.
#include <string>

#include "imaging/core/ieproc.h"
#include "imaging/processing/resample.h"
#include "imaging/io/take_result.h"

namespace redozir {

void TRedozIrProc::ResampleTo(TIEBitmap* Target, int NewWidth, int NewHeight, TResampleFilter FilterType) {
  if (!Target || !PrepareBitmap(0)) return;
  TIEBitmap* image = IEBitmap();
  if (!image || image->Width() <= 0 || image->Height() <= 0 || Target == image) return;
  int W = 0, H = 0;
  if (!IEResampleTargetSize(image->Width(), image->Height(), NewWidth, NewHeight, W, H)) return;
  IEGuardMemory("resample the image", image, [&] {
    if (!Target->Allocate(W, H, image->PixelFormat()))
      throw EOutOfMemory("Cannot allocate a " + std::to_string(W) + " x " + std::to_string(H) + " bitmap");
    _IEResampleIEBitmap(image, Target, FilterType, OnProgress, this);
  });
  DoFinishWork();
}

void TRedozIrProc::Resample(int NewWidth, int NewHeight, TResampleFilter FilterType) {
  if (!PrepareBitmap(0)) return;
  TIEBitmap* image = IEBitmap();
  if (!image || image->Width() <= 0 || image->Height() <= 0) return;
  if (NewWidth == image->Width() && NewHeight == image->Height()) return;
  // Both sizes negative ask for nothing: the image stays as it is instead of
  // taking the empty result.
  if (NewWidth < 0 && NewHeight < 0) return;
  if (AutoUndo)
    SaveUndoCaptioned("Resample " + std::to_string(NewWidth) + "," + std::to_string(NewHeight), ieuImage);
  // Resampled into new pixels, taken only once complete: a failure leaves
  // the picture as it was.
  TIEBitmap result;
  result.SetMemoryThreshold(image->MemoryThreshold());
  ResampleTo(&result, NewWidth, NewHeight, FilterType);
  IEGuardMemory("resample the image", image, [&] { IETakeAll(image, result); });
  Update();
  DoFinishWork();
}

}  // namespace redozir
