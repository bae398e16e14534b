// The gaussian blur of 8-bit planes: kernel, row convolution with repeated
// edges, and the separable blur of a rectangle (rows into a work block, then
// columns back into the bitmap).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/ie_pixelblocks.h"
#include "imaging/processing/gauss_blur_span.h"
#include "imaging/processing/ie_blur.h"
#include "imaging/core/ie_parallel.h"
#include "imaging/io/take_result.h"
#include "platform/numeric.h"

namespace redozir {

void IEBuildGaussKernel(TIEGaussKernel& Kernel, double Sigma) {
  Kernel = TIEGaussKernel{};
  if (!(Sigma > 0)) {
    // No spread at all: the identity.
    Kernel.Values[kIEGaussMaxRadius] = 1;
    Kernel.Weights[kIEGaussMaxRadius] = 65536;
    Kernel.Radius = 1;
    return;
  }
  double sum = 0;
  for (int i = -kIEGaussMaxRadius; i <= kIEGaussMaxRadius; ++i) {
    double q = i / Sigma;
    Kernel.Values[i + kIEGaussMaxRadius] = std::exp(-(q * q) / 2);
    sum += Kernel.Values[i + kIEGaussMaxRadius];
  }
  for (int i = 0; i < 2 * kIEGaussMaxRadius + 1; ++i)
    Kernel.Weights[i] = static_cast<std::int32_t>(Round(Kernel.Values[i] * 65536 / sum));
  int r = kIEGaussMaxRadius;
  while (r > 1 && Kernel.Weight(r) == 0 && Kernel.Weight(-r) == 0) --r;
  Kernel.Radius = static_cast<std::uint8_t>(r);
}

void IEConvolveSpanScalar(const std::uint8_t* const* Src, const std::int32_t* W, int Taps, std::uint8_t* Out,
                          int Count) {
  for (int k = 0; k < Count; ++k) {
    std::uint32_t acc = 32768;
    for (int t = 0; t < Taps; ++t)
      acc += static_cast<std::uint32_t>(Src[t][k]) * static_cast<std::uint32_t>(W[t]);
    acc >>= 16;
    Out[k] = static_cast<std::uint8_t>(acc > 255 ? 255 : acc);
  }
}

namespace {

// Count bytes of Src with R copies of the first and last byte on either side.
void PadRow(const std::uint8_t* src, int count, int r, std::uint8_t* padded) {
  std::memset(padded, src[0], static_cast<size_t>(r));
  std::memcpy(padded + r, src, static_cast<size_t>(count));
  std::memset(padded + r + count, src[count - 1], static_cast<size_t>(r));
}

// Avx: 0 the scalar loop, 1 the 256-bit one, 2 the 512-bit one.
void ConvolveSpan(const std::uint8_t* const* src, const std::int32_t* w, int taps, std::uint8_t* out,
                  int count, int avx) {
  if (avx == 2)
    IEConvolveSpanAVX512(src, w, taps, out, count);
  else if (avx == 1)
    IEConvolveSpanAVX2(src, w, taps, out, count);
  else
    IEConvolveSpanScalar(src, w, taps, out, count);
}

// One row convolved through a padded copy: positions beyond either end
// read the end pixel, which gives the same sums as weighing the end pixel by
// the weights that fall outside.
void ConvolvePadded(const std::uint8_t* src, std::uint8_t* dst, int count, const std::int32_t* w, int r,
                    std::vector<std::uint8_t>& padded, std::vector<const std::uint8_t*>& taps, int avx) {
  padded.resize(static_cast<size_t>(count) + 2 * r);
  PadRow(src, count, r, padded.data());
  taps.resize(static_cast<size_t>(2 * r + 1));
  for (int t = 0; t <= 2 * r; ++t) taps[t] = padded.data() + t;
  ConvolveSpan(taps.data(), w, 2 * r + 1, dst, count, avx);
}

}  // namespace

void IEConvolveRow(const TIEGaussKernel& Kernel, const std::uint8_t* Src, std::uint8_t* Dst, int Count) {
  if (Count <= 0) return;
  int r = std::clamp<int>(Kernel.Radius, 0, kIEGaussMaxRadius);
  std::vector<std::uint8_t> padded;
  std::vector<const std::uint8_t*> taps;
  ConvolvePadded(Src, Dst, Count, Kernel.Weights + kIEGaussMaxRadius - r, r, padded, taps, 0);
}

namespace {
// Every allocation comes before the pass that writes into the bitmap, which
// allocates nothing: a failure leaves the bitmap as it was.
void BlurRect(TIEBitmap* Bitmap, int X1, int Y1, int X2, int Y2, double Radius) {
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, Bitmap->GetWidth() - 1);
  Y2 = std::min(Y2, Bitmap->GetHeight() - 1);
  if (X1 > X2 || Y1 > Y2 || !(Radius > 0)) return;
  TIEGaussKernel kernel;
  IEBuildGaussKernel(kernel, Radius);
  int r = kernel.Radius, taps = 2 * r + 1;
  const std::int32_t* w = kernel.Weights + kIEGaussMaxRadius - r;
  int avx = !IEConvolveSpanAVX2Fits(w, taps) ? 0 : IEUseAVX512() ? 2 : IEUseAVX2() ? 1 : 0;
  int width = X2 - X1 + 1, height = Y2 - Y1 + 1;

  TIERowTable rows(Bitmap);
  // The work rows of a disk-buffered bitmap go to the disk buffer too, so
  // that neither pass holds a picture's worth of memory.
  TIEPixels block;
  TIEBitmap diskWork;
  std::unique_ptr<TIERowTable> workRows;
  if (Bitmap->Location() == ieFile) {
    diskWork.SetMemoryThreshold(0);
    if (!diskWork.Allocate(width, height, ie8g))
      throw EOutOfMemory("Cannot allocate a " + std::to_string(width) + " x " + std::to_string(height) +
                         " bitmap");
    workRows = std::make_unique<TIERowTable>(&diskWork);
  } else {
    block = IEWorkPixels(static_cast<std::int64_t>(width) * height, "blur buffer");
  }
  auto line = [&](int y) {
    return workRows ? (*workRows)[y] : block.get() + static_cast<std::int64_t>(y) * width;
  };
  IEParallelFor(height, static_cast<std::int64_t>(width) * taps, rows.Shareable(), [&](int b, int e) {
    std::vector<std::uint8_t> padded;
    std::vector<const std::uint8_t*> tp;
    for (int y = b; y < e; ++y) ConvolvePadded(rows[Y1 + y] + X1, line(y), width, w, r, padded, tp, avx);
    // Rows of a disk-buffered bitmap read or written here leave memory
    // until the next pass.
    rows.Release(Y1 + b, e - b);
    if (workRows) workRows->Release(b, e - b);
  });
  // Columns: every output row weighs the work rows around it, the first and
  // last rows repeated; strips narrow enough for all the taps' rows to stay
  // in the first-level cache.
  const int kStrip = std::clamp((24 * 1024 / taps) & ~31, 64, 1024);
  IEParallelFor(height, static_cast<std::int64_t>(width) * taps, rows.Shareable(), [&](int b, int e) {
    const std::uint8_t* tp[2 * kIEGaussMaxRadius + 1];
    for (int x0 = 0; x0 < width; x0 += kStrip) {
      int n = std::min(kStrip, width - x0);
      for (int y = b; y < e; ++y) {
        for (int t = 0; t < taps; ++t) tp[t] = line(std::clamp(y + t - r, 0, height - 1)) + x0;
        ConvolveSpan(tp, w, taps, rows[Y1 + y] + X1 + x0, n, avx);
      }
    }
    rows.Release(Y1 + b, e - b);
    if (workRows) workRows->Release(std::max(b - r, 0), e - b);
  });
}
}  // namespace

void _IEBlurRect8bit(TIEBitmap* Bitmap, int X1, int Y1, int X2, int Y2, double Radius) {
  if (Bitmap->GetPixelFormat() != ie8g) return;
  IEGuardMemory("blur the plane", Bitmap, [&] { BlurRect(Bitmap, X1, Y1, X2, Y2, Radius); });
}

}  // namespace redozir
