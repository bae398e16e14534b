// Committing results: exchange where the storage allows it, otherwise a copy
// whose every allocation comes before the first changed byte.
#include "imaging/io/take_result.h"

#include <algorithm>
#include <cstring>

#include "platform/exceptions.h"

namespace redozir {

namespace {
template <typename Row>
void CopyRows(TIEBitmap& Src, int Width, int Height, Row dstRow, std::int64_t dstRowLen) {
  std::int64_t n = (static_cast<std::int64_t>(Width) * Src.GetBitCount() + 7) / 8;
  n = std::min<std::int64_t>({n, Src.GetRowLen(), dstRowLen});
  if (n <= 0) return;
  for (int y = 0; y < Height; ++y) std::memcpy(dstRow(y), Src.GetScanline(y), static_cast<size_t>(n));
}
}  // namespace

void IERaiseOutOfMemory(const std::string& What, int Width, int Height, int BitCount) {
  std::int64_t bytes = (static_cast<std::int64_t>(Width) * BitCount + 7) / 8 * Height;
  throw EOutOfMemory("Not enough memory to " + What + " (" + std::to_string(Width) + " x " +
                     std::to_string(Height) + " pixels, " + std::to_string(bytes) + " bytes)");
}

void IETakeResult(TIEBitmap* Bitmap, TIEBitmap& Result) {
  if (Bitmap == &Result) return;
  TIEPixelFormat pf = Result.GetPixelFormat();
  if (Bitmap->Location() != ieTBitmap || IEVclPixelFormat(pf) == pfCustom || Result.RowAlign() != 32) {
    // Everything is exchanged, nothing allocated. A platform bitmap that
    // cannot hold the new format goes, as a reallocation would drop it too.
    Bitmap->SwapImage(Result);
    return;
  }
  int w = Result.GetWidth(), h = Result.GetHeight();
  TBitmap* vcl = Bitmap->GetVclBitmap();
  if (vcl->PixelFormat() != IEVclPixelFormat(pf)) {
    // A change of format empties the platform bitmap before it reallocates:
    // the new rows are laid out in a platform bitmap of their own first and
    // taken over whole.
    TBitmap staged(w, h, IEVclPixelFormat(pf));
    CopyRows(
        Result, w, h, [&](int y) { return staged.ScanLine(y); }, staged.RowBytes());
    vcl->Assign(staged);
  }
  // Same platform format: the platform bitmap makes its new rows before it
  // lets the old ones go, so a failure here changes nothing.
  if (!Bitmap->Allocate(w, h, pf)) IERaiseOutOfMemory("take over the new image", w, h, Result.GetBitCount());
  CopyRows(
      Result, w, h, [&](int y) { return Bitmap->GetScanline(y); }, Bitmap->GetRowLen());
  Result.CopyPaletteTo(Bitmap);
}

void IETakeAll(TIEBitmap* Bitmap, TIEBitmap& Result) {
  if (Bitmap == &Result) return;
  const bool hadAlpha = Bitmap->HasAlphaChannel();
  TIEBitmap* plane = nullptr;
  TIEBitmap* newPlane = nullptr;
  if (Result.HasAlphaChannel() && !Bitmap->IsAlphaPlane()) {
    // Both planes are taken while each still has its image's size.
    newPlane = Result.GetAlphaChannel();
    plane = Bitmap->GetAlphaChannel();
  }
  try {
    IETakeResult(Bitmap, Result);
  } catch (...) {
    if (!hadAlpha && plane) Bitmap->RemoveAlphaChannel();
    throw;
  }
  Bitmap->SetFull(Result.Full());
  if (plane) {
    plane->SwapImage(*newPlane);
    plane->SetFull(newPlane->Full());
  } else if (hadAlpha && !Bitmap->IsAlphaPlane()) {
    Bitmap->RemoveAlphaChannel();
  }
}

}  // namespace redozir
