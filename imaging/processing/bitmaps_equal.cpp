// Comparison of two bitmaps by their meaningful bits.
#include <cstring>

#include "imaging/processing/bitmap_ops.h"

namespace redozir {

namespace {
bool RowsEqual(TIEBitmap* a, TIEBitmap* b) {
  const std::int64_t bits = static_cast<std::int64_t>(a->GetWidth()) * a->GetBitCount();
  const size_t whole = static_cast<size_t>(bits / 8);
  const int rest = static_cast<int>(bits % 8);
  const auto mask = static_cast<std::uint8_t>(0xFF << (8 - rest));
  for (int y = 0; y < a->GetHeight(); ++y) {
    const std::uint8_t* p = a->GetScanline(y);
    const std::uint8_t* q = b->GetScanline(y);
    if (std::memcmp(p, q, whole) != 0) return false;
    if (rest && ((p[whole] ^ q[whole]) & mask)) return false;
  }
  return true;
}
}  // namespace

bool _IEBitmapsEqual(TIEBitmap* A, TIEBitmap* B) {
  if (!A || !B) return A == B;
  if (A == B) return true;
  if (A->GetWidth() != B->GetWidth() || A->GetHeight() != B->GetHeight() ||
      A->GetPixelFormat() != B->GetPixelFormat() || A->HasAlphaChannel() != B->HasAlphaChannel())
    return false;
  if (A->GetPixelFormat() == ie8p) {
    for (int i = 0; i < 256; ++i)
      if (!(A->GetPalette(i) == B->GetPalette(i))) return false;
  }
  if (!RowsEqual(A, B)) return false;
  return !A->HasAlphaChannel() || RowsEqual(A->GetAlphaChannel(), B->GetAlphaChannel());
}

}  // namespace redozir
