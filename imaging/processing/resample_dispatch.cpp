// _IEResampleIEBitmap, which sends a bitmap to its resampling engine by
// pixel format and filter with the alpha plane alongside, and the
// per-format nearest stretch.
#include <algorithm>
#include <cstring>

#include "imaging/core/ie_parallel.h"
#include "imaging/processing/resample.h"
#include "imaging/processing/resample_internal.h"
#include "platform/numeric.h"

namespace redozir {

namespace {
template <int N>
void CopyPixels(const std::uint8_t* s, std::uint8_t* d, const int* col, int x, int dw) {
  for (; x < dw; ++x)
    std::memcpy(d + static_cast<std::size_t>(x) * N, s + static_cast<std::size_t>(col[x]) * N, N);
}

// 3-byte pixels move as 4-byte words, each overlapping the next pixel,
// which is written afterwards; the last pixel moves alone.
void CopyPixels3(const std::uint8_t* s, std::uint8_t* d, const int* col, int x, int dw, int sw) {
  for (; x < dw - 1; ++x) {
    std::uint32_t v;
    if (col[x] < sw - 1) {
      std::memcpy(&v, s + 3 * static_cast<std::size_t>(col[x]), 4);
      std::memcpy(d + 3 * static_cast<std::size_t>(x), &v, 4);
    } else {
      std::memcpy(d + 3 * static_cast<std::size_t>(x), s + 3 * static_cast<std::size_t>(col[x]), 3);
    }
  }
  if (x < dw) std::memcpy(d + 3 * static_cast<std::size_t>(x), s + 3 * static_cast<std::size_t>(col[x]), 3);
}

void CopyBits(const std::uint8_t* s, std::uint8_t* d, const int* col, int dw) {
  for (int x = 0; x < dw; ++x) {
    std::uint8_t m = static_cast<std::uint8_t>(0x80 >> (x & 7));
    if (s[col[x] >> 3] & (0x80 >> (col[x] & 7)))
      d[x >> 3] |= m;
    else
      d[x >> 3] &= static_cast<std::uint8_t>(~m);
  }
}
}  // namespace

void _IEStretchNearest(TIEBitmap* Src, TIEBitmap* Dst, TObject* Sender, const TIEProgressEvent& OnProgress) {
  if (!Src || !Dst || Src == Dst) return;
  const TIEPixelFormat pf = Src->PixelFormat();
  // The caller allocates Dst in Src's format; anything else is left alone
  // rather than written with the wrong pixel size.
  if (Dst->PixelFormat() != pf || pf == ienull) return;
  const int sw = Src->Width(), sh = Src->Height(), dw = Dst->Width(), dh = Dst->Height();
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  const double F = 100.0 / (dh + 0.5);
  const std::uint8_t srcMode = Src->AccessMode(), dstMode = Dst->AccessMode();
  Src->SetAccessMode(1);
  Dst->SetAccessMode(2);
  const double XS = static_cast<double>(sw) / dw, YS = static_cast<double>(sh) / dh;
  std::vector<int> col(static_cast<std::size_t>(dw));
  for (int x = 0; x < dw; ++x) col[x] = static_cast<int>(std::clamp<std::int64_t>(Trunc(x * XS), 0, sw - 1));
  const bool watched = static_cast<bool>(OnProgress);
  const std::size_t rowBytes = static_cast<std::size_t>(IEBitmapRowLen(dw, IEPixelFormatBits(pf), 8));
  // Whole bytes per pixel go through byte shuffles where they fit.
  const int bytes = pf == ie1g ? 0 : IEPixelFormatBits(pf) / 8;
  const bool wide = IEResampleUseAVX512();
  TIEPickRowPlan plan;
  if (bytes > 0 && IEResampleUseAVX2()) IEPickRowPlan(wide, bytes, col.data(), sw, dw, plan);
  const int x0 = plan.Lim;
  const std::int64_t srcBytes = static_cast<std::int64_t>(sw) * bytes;
  auto stretchRow = [&](const std::uint8_t* s, std::uint8_t* d) {
    if (x0 > 0) {
      if (wide)
        IEPickRow_AVX512(plan, srcBytes, s, d);
      else
        IEPickRow_AVX2(plan, s, d);
    }
    switch (pf) {
      case ie1g: CopyBits(s, d, col.data(), dw); break;
      case ie8p:
      case ie8g: CopyPixels<1>(s, d, col.data(), x0, dw); break;
      case ie16g: CopyPixels<2>(s, d, col.data(), x0, dw); break;
      case ie24RGB:
      case ieCIELab: CopyPixels3(s, d, col.data(), x0, dw, sw); break;
      case ie32f:
      case ieCMYK:
      case ie32RGB: CopyPixels<4>(s, d, col.data(), x0, dw); break;
      case ieRGB48: CopyPixels<6>(s, d, col.data(), x0, dw); break;
      default: break;
    }
  };
  int n = watched ? 1 : IEResampleThreadCount();
  // Rows in chunks taken by free threads (one chunk of every row when
  // progress is watched, reported in order); row tables keep the threads on
  // disk-buffered bitmaps too.
  TIERowTable s(Src);
  TIERowWriter w(Dst);
  TIEPercentReporter rep{&OnProgress, Sender};
  IERunChunks(dh, n, n == 1 ? dh : std::max(8, std::min(64, dh / (8 * n))), [&](int, int first, int count) {
    std::int64_t prevRow = -1;
    std::uint8_t* prev = nullptr;
    for (int y = first; y < first + count; ++y) {
      std::int64_t sr = std::clamp<std::int64_t>(Trunc(y * YS), 0, sh - 1);
      std::uint8_t* d = w.Row(y);
      // A row already stretched from the same source row is copied whole
      // (rows of a disk-buffered result may be gone to the file).
      if (sr == prevRow && prev && Dst->Location() == ieMemory)
        std::memcpy(d, prev, rowBytes);
      else
        stretchRow(s.Walk(static_cast<int>(sr)), d);
      w.Done(y);
      prevRow = sr;
      prev = d;
      if (watched) rep.Report(static_cast<int>(Trunc(y * F)));
    }
  });
  if (pf == ie8p) Src->CopyPaletteTo(Dst);
  Src->SetAccessMode(srcMode);
  Dst->SetAccessMode(dstMode);
}

void _IEResampleIEBitmap(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter FilterType,
                         const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Src || !Dst || Src == Dst) return;
  if (Src->Width() == Dst->Width() && Src->Height() == Dst->Height()) {
    Dst->Assign(Src);
    return;
  }
  if (FilterType == rfNone) {
    if (Dst->PixelFormat() != Src->PixelFormat() &&
        !Dst->Allocate(Dst->Width(), Dst->Height(), Src->PixelFormat()))
      return;
    _IEStretchNearest(Src, Dst, Sender, OnProgress);
  } else if (Src->PixelFormat() == ie1g) {
    TIEPixelFormat pf = (FilterType == rfProjectBW || FilterType == rfProjectWB) ? ie1g : ie24RGB;
    if (Dst->PixelFormat() != pf && !Dst->Allocate(Dst->Width(), Dst->Height(), pf)) return;
    _IEResample1bit(Src, Dst, FilterType);
  } else {
    _IEResampleKernel(Src, Dst, FilterType, OnProgress, Sender);
  }
  if (Src->HasAlphaChannel()) {
    TIEBitmap* sa = Src->GetAlphaChannel();
    TIEBitmap* da = Dst->GetAlphaChannel();
    if (FilterType == rfNone)
      _IEStretchNearest(sa, da, nullptr, TIEProgressEvent());
    else
      _IEResample8bit(sa, da, FilterType);
    da->SetFull(sa->Full());
  }
}

bool IEResampleTargetSize(int Width, int Height, int NewWidth, int NewHeight, int& W, int& H) {
  if (NewWidth < 0 && NewHeight < 0) return false;
  if (Width <= 0 || Height <= 0) return false;
  // Products are taken in 64 bits: a 32-bit product could overflow.
  auto fit = [](std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, 1, 0x7FFFFFFF)); };
  auto abs64 = [](int v) { return v < 0 ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v); };
  if (NewWidth == -1)
    W = fit(static_cast<std::int64_t>(Width) * NewHeight / Height);
  else if (NewWidth == 0)
    W = Width;
  else
    W = fit(abs64(NewWidth));
  if (NewHeight == -1)
    H = fit(static_cast<std::int64_t>(Height) * W / Width);
  else if (NewHeight == 0)
    H = Height;
  else
    H = fit(abs64(NewHeight));
  return true;
}

}  // namespace redozir
