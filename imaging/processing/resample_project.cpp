// Projections to a 1-bit image: each destination pixel looks at its block
// of source pixels, and dark (rfProjectBW) or light (rfProjectWB) wins.
#include <algorithm>
#include <cstring>

#include "imaging/processing/resample.h"
#include "imaging/processing/resample_internal.h"
#include "platform/numeric.h"

namespace redozir {

namespace {
// Decides(row, x): whether source pixel x of a row is a deciding pixel.
template <typename Decides>
void Project(TIEBitmap* Src, TIEBitmap* Dst, int Mode, TObject* Sender, const TIEProgressEvent& OnProgress,
             Decides decides) {
  if (!Src || !Dst || Src->Width() <= 0 || Src->Height() <= 0 || Dst->Width() <= 0 || Dst->Height() <= 0)
    return;
  const int sw = Src->Width(), sh = Src->Height(), dw = Dst->Width(), dh = Dst->Height();
  if (Dst->PixelFormat() != ie1g && !Dst->Allocate(dw, dh, ie1g)) return;
  const std::uint8_t srcMode = Src->AccessMode(), dstMode = Dst->AccessMode();
  Src->SetAccessMode(1);
  Dst->SetAccessMode(2);
  const double F = 100.0 / (dh + 0.5);
  const double XS = static_cast<double>(sw) / dw, YS = static_cast<double>(sh) / dh;
  std::vector<int> col(static_cast<std::size_t>(dw));
  for (int x = 0; x < dw; ++x) col[x] = static_cast<int>(std::clamp<std::int64_t>(Trunc(x * XS), 0, sw - 1));
  std::vector<std::uint8_t> hit(static_cast<std::size_t>(sw));
  const int rowBytes = (dw + 7) / 8;
  for (int y = 0; y < dh; ++y) {
    int r0 = y == 0 ? 0 : static_cast<int>(std::clamp<std::int64_t>(Trunc((y - 1) * YS), 0, sh - 1));
    int r1 = y == 0 ? 0 : static_cast<int>(std::clamp<std::int64_t>(Trunc(y * YS), r0, sh - 1));
    std::fill(hit.begin(), hit.end(), 0);
    for (int r = r0; r <= r1; ++r) {
      const std::uint8_t* row = Src->GetScanline(r);
      for (int x = 0; x < sw; ++x) hit[x] |= decides(row, x) ? 1 : 0;
    }
    std::uint8_t* d = Dst->GetScanline(y);
    std::memset(d, Mode == 1 ? 0x00 : 0xFF, static_cast<std::size_t>(rowBytes));
    for (int x = 0; x < dw; ++x) {
      int c0 = x == 0 ? 0 : col[x - 1], c1 = x == 0 ? 0 : col[x];
      bool any = false;
      for (int c = c0; c <= c1 && !any; ++c) any = hit[c] != 0;
      if (!any) continue;
      std::uint8_t m = static_cast<std::uint8_t>(0x80 >> (x & 7));
      if (Mode == 1)
        d[x >> 3] |= m;
      else
        d[x >> 3] &= static_cast<std::uint8_t>(~m);
    }
    if (OnProgress) OnProgress(Sender, static_cast<int>(Trunc(y * F)));
  }
  Src->SetAccessMode(srcMode);
  Dst->SetAccessMode(dstMode);
}
}  // namespace

void _IEProject24to1(TIEBitmap* Src, TIEBitmap* Dst, int Mode, TObject* Sender,
                     const TIEProgressEvent& OnProgress) {
  if (!Src || Src->PixelFormat() != ie24RGB) return;
  if (Mode == 1)
    Project(Src, Dst, Mode, Sender, OnProgress, [](const std::uint8_t* row, int x) {
      const std::uint8_t* p = row + 3 * x;
      return p[0] > 128 && p[1] > 128 && p[2] > 128;
    });
  else
    Project(Src, Dst, Mode, Sender, OnProgress, [](const std::uint8_t* row, int x) {
      const std::uint8_t* p = row + 3 * x;
      return p[0] < 128 && p[1] < 128 && p[2] < 128;
    });
}

void _IEProject1to1(TIEBitmap* Src, TIEBitmap* Dst, int Mode, TObject* Sender,
                    const TIEProgressEvent& OnProgress) {
  if (!Src || Src->PixelFormat() != ie1g) return;
  auto bit = [](const std::uint8_t* row, int x) { return (row[x >> 3] & (0x80 >> (x & 7))) != 0; };
  if (Mode == 1)
    Project(Src, Dst, Mode, Sender, OnProgress, [&](const std::uint8_t* row, int x) { return bit(row, x); });
  else
    Project(Src, Dst, Mode, Sender, OnProgress, [&](const std::uint8_t* row, int x) { return !bit(row, x); });
}

}  // namespace redozir
