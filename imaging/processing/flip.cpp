// Mirroring of a bitmap of any pixel format, and 1-bit inversion. Rows are
// mirrored in place through one row buffer.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/bit_routines.h"
#include "imaging/processing/bitmap_ops.h"
#include "imaging/core/ie_parallel.h"

namespace redozir {

namespace {
// The rows a vertical flip lets go of at once, at each end.
constexpr std::int64_t kFlipBandBytes = std::int64_t(4) << 20;

struct TReverseTable {
  std::uint8_t v[256];
  constexpr TReverseTable() : v() {
    for (int i = 0; i < 256; ++i) {
      int r = 0;
      for (int b = 0; b < 8; ++b)
        if (i & (1 << b)) r |= 0x80 >> b;
      v[i] = static_cast<std::uint8_t>(r);
    }
  }
};
constexpr TReverseTable kReverse;

void FlipRows1bit(TIEBitmap* bmp) {
  const int w = bmp->GetWidth();
  const int nb = (w + 7) / 8;
  const int pad = (w & 7) ? 8 - (w & 7) : 0;
  std::vector<std::uint8_t> work(static_cast<size_t>(nb));
  for (int y = 0; y < bmp->GetHeight(); ++y) {
    std::uint8_t* row = bmp->GetScanline(y);
    for (int i = 0; i < nb; ++i) work[static_cast<size_t>(i)] = kReverse.v[row[nb - 1 - i]];
    if (pad == 0)
      std::memcpy(row, work.data(), static_cast<size_t>(nb));
    else
      IECopyBits(row, work.data(), 0, pad, w, nb);
  }
}

template <int N>
void FlipRowsOf(TIEBitmap* bmp) {
  const int w = bmp->GetWidth();
  for (int y = 0; y < bmp->GetHeight(); ++y) {
    std::uint8_t* row = bmp->GetScanline(y);
    std::uint8_t* a = row;
    std::uint8_t* b = row + static_cast<std::int64_t>(w - 1) * N;
    for (; a < b; a += N, b -= N) {
      std::uint8_t t[N];
      std::memcpy(t, a, N);
      std::memcpy(a, b, N);
      std::memcpy(b, t, N);
    }
  }
}

void FlipHorizontal(TIEBitmap* bmp) {
  switch (bmp->GetBitCount()) {
    case 1: FlipRows1bit(bmp); break;
    case 8: FlipRowsOf<1>(bmp); break;
    case 16: FlipRowsOf<2>(bmp); break;
    case 24: FlipRowsOf<3>(bmp); break;
    case 32: FlipRowsOf<4>(bmp); break;
    case 48: FlipRowsOf<6>(bmp); break;
    default: break;
  }
}

void FlipVertical(TIEBitmap* bmp) {
  const int h = bmp->GetHeight();
  const size_t n = static_cast<size_t>(bmp->GetRowLen());
  std::vector<std::uint8_t> tmp(n);
  // Every row at once (a disk-buffered bitmap mapped once, not twice a pair
  // of rows); the rows of each band done go back to the system.
  TIERowTable rows(bmp);
  const int band = static_cast<int>(std::max<std::int64_t>(kFlipBandBytes / std::max<size_t>(n, 1), 1));
  for (int y = 0; y < h / 2; ++y) {
    std::uint8_t* a = rows[y];
    std::uint8_t* b = rows[h - 1 - y];
    std::memcpy(tmp.data(), a, n);
    std::memcpy(a, b, n);
    std::memcpy(b, tmp.data(), n);
    if ((y + 1) % band == 0) {
      rows.Release(y + 1 - band, band);
      rows.Release(h - 1 - y, band);
    }
  }
}
}  // namespace

void _IEFlip(TIEBitmap* Bitmap, int Direction) {
  if (!Bitmap || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1) return;
  if (Direction == 0)
    FlipHorizontal(Bitmap);
  else if (Direction == 1)
    FlipVertical(Bitmap);
  else
    return;
  if (Bitmap->HasAlphaChannel()) _IEFlip(Bitmap->GetAlphaChannel(), Direction);
}

void _IENegative1bit(TIEBitmap* Bitmap) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie1g) return;
  for (int y = 0; y < Bitmap->GetHeight(); ++y) IEInvertBuffer(Bitmap->GetScanline(y), Bitmap->GetRowLen());
}

}  // namespace redozir
