// The three-shear rotation of 24-bit images and 8-bit planes: quarter turns
// first, then three skews of whole rows and columns blended with 12-bit
// weights, so that no trigonometric function is computed per pixel.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "imaging/core/ie_pixel.h"
#include "imaging/core/ie_pixelblocks.h"
#include "imaging/core/ie_parallel.h"
#include "imaging/processing/ie_rotate.h"
#include "imaging/processing/rotate_common.h"
#include "platform/numeric.h"

namespace redozir {

namespace {

// One rounding only: a zero weight keeps every value as it was.
inline std::uint8_t Mix(int prev, int cur, int f, int g) {
  int v = (prev * f + cur * g + 2048) >> 12;
  return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

template <int N>
inline void MixPixel(std::uint8_t* out, const std::uint8_t* prev, const std::uint8_t* cur, int f, int g) {
  for (int c = 0; c < N; ++c) out[c] = Mix(prev[c], cur[c], f, g);
}

template <int N>
void FillPixels(std::uint8_t* p, const std::uint8_t* bg, std::int64_t count) {
  if (N == 1) {
    std::memset(p, bg[0], static_cast<size_t>(count));
    return;
  }
  for (std::int64_t i = 0; i < count; ++i) std::memcpy(p + i * N, bg, N);
}

// Skews one line of Count pixels into Out (OutCount pixels, already holding
// the background) starting at K; Blend mixes each pixel with the previous
// placed one, and the pixel past the end with the background.
template <int N>
void SkewLine(const std::uint8_t* in, std::ptrdiff_t inStep, int count, std::uint8_t* out,
              std::ptrdiff_t outStep, int outCount, int k, int f, bool blend, const std::uint8_t* bg) {
  int g = 4096 - f;
  int first = std::max(0, -k), last = std::min(count, outCount - k);  // placed: first .. last - 1
  if (!blend) {
    for (int x = first; x < last; ++x) std::memcpy(out + (k + x) * outStep, in + x * inStep, N);
    return;
  }
  const std::uint8_t* prev = bg;
  for (int x = first; x < last; ++x) {
    const std::uint8_t* cur = in + x * inStep;
    MixPixel<N>(out + (k + x) * outStep, prev, cur, f, g);
    prev = cur;
  }
  int t = k + count;
  if (f > 0 && t < outCount && t >= 0) MixPixel<N>(out + t * outStep, prev, bg, f, g);
}

// A skew (never negative) as whole pixels K and a 12-bit weight F of the
// previous pixel. Blended, K rounds down so that F is a share between two
// neighbours: a rounded K would give a negative F, an extrapolation whose
// overshoot at every edge is clipped and moves the image off its centre.
// Unblended, K rounds to the nearest pixel.
inline void SplitSkew(double skew, bool blend, int& k, int& f) {
  k = blend ? static_cast<int>(std::floor(skew)) : RoundInt(skew);
  f = RoundInt((skew - k) * 4096);
  if (f >= 4096) ++k, f = 0;
}

// Out becomes bmp turned; false when there is nothing to turn.
template <int N>
bool ShearRotate(TIEBitmap* bmp, TIEBitmap& out, bool blend, const std::uint8_t* bg, TObject* Sender,
                 const TIEProgressEvent& OnProgress, double Angle) {
  if (bmp->GetWidth() == 0 || bmp->GetHeight() == 0 || !std::isfinite(Angle) || Angle == 0) return false;
  // Thousandths of a degree; one quarter-turn copy replaces the repeated ones.
  double reduced = std::fabs(Angle) < 360 ? Angle : IEReduceAngle(Angle);
  std::int64_t a = Trunc(reduced * 1000) % 360000;
  if (a > 180000) a -= 360000;
  if (a <= -180000) a += 360000;
  int quarter = 0;
  while (a > 45000) a -= 90000, ++quarter;
  while (a < -45000) a += 90000, --quarter;

  if (a == 0) {
    if (quarter == 0) return false;
    IERotateQuarter(bmp, &out, quarter);
    return true;
  }
  std::unique_ptr<TIEBitmap> turned;
  TIEBitmap* src = bmp;
  if (quarter != 0) {
    turned = std::make_unique<TIEBitmap>();
    turned->SetMemoryThreshold(bmp->MemoryThreshold());
    IERotateQuarter(bmp, turned.get(), quarter);
    src = turned.get();
  }

  double theta = static_cast<double>(a) / 1000 * std::numbers::pi / 180;
  int W = src->GetWidth(), H = src->GetHeight();
  double t = std::fabs(std::sin(theta / 2) / std::cos(theta / 2));
  double s = std::fabs(std::sin(theta));
  int W1 = RoundInt(H * t + W + 1);
  int d1 = RoundInt((W1 - W) * s);
  int H2 = RoundInt(W1 * s + H + 1);
  int d2 = RoundInt((H2 - H - d1) * t);
  int H3 = H2 - 2 * d1;
  int W3 = RoundInt(H3 * t + W1 + 1 - 2 * d2);
  double step = 100.0 / (H + W1 + H3);
  bool positive = theta > 0;
  auto report = [&](int done) { OnProgress(Sender, TruncInt(done * step)); };
  std::function<void(int)> none;

  std::int64_t line1 = static_cast<std::int64_t>(W1) * N;
  auto buf1 = IEWorkPixels(line1 * H, "rotation buffers");
  {
    TIERowTable rows(src);
    IEParallelForProgress(
        H, W1, rows.Shareable(),
        [&](int b, int e) {
          for (int y = b; y < e; ++y) {
            double skew = (positive ? y : H - y) * t;
            int k, f;
            SplitSkew(skew, blend, k, f);
            std::uint8_t* out = buf1.get() + y * line1;
            FillPixels<N>(out, bg, W1);
            SkewLine<N>(rows[y], N, W, out, N, W1, k, f, blend, bg);
          }
        },
        OnProgress ? std::function<void(int)>([&](int y) { report(y); }) : none);
  }
  turned.reset();

  auto buf2 = IEWorkPixels(line1 * H3, "rotation buffers");
  constexpr int kBlock = 32;
  int blocks = (W1 + kBlock - 1) / kBlock;
  auto columns = [&](int b, int e) {
    for (int x = b; x < e; ++x) {
      double skew = (positive ? W1 - x : x) * s;
      int rk, f;
      SplitSkew(skew, blend, rk, f);
      std::uint8_t* out = buf2.get() + static_cast<std::int64_t>(x) * N;
      for (int r = 0; r < H3; ++r) std::memcpy(out + r * line1, bg, N);
      SkewLine<N>(buf1.get() + static_cast<std::int64_t>(x) * N, line1, H, out, line1, H3, rk - d1, f, blend,
                  bg);
    }
  };
  if (OnProgress) {
    IEParallelForProgress(W1, H3, true, columns, [&](int x) { report(H + x); });
  } else {
    // Blocks of neighbouring columns walk the rows together, which the cache likes.
    IEParallelFor(blocks, static_cast<std::int64_t>(H3) * kBlock, true, [&](int b, int e) {
      for (int blk = b; blk < e; ++blk) columns(blk * kBlock, std::min(W1, (blk + 1) * kBlock));
    });
  }
  buf1.reset();

  if (!out.Allocate(W3, H3, bmp->GetPixelFormat()))
    throw EOutOfMemory("Cannot allocate a " + std::to_string(W3) + " x " + std::to_string(H3) + " bitmap");
  bmp->CopyPaletteTo(&out);
  TIERowTable rows(&out);
  IEParallelForProgress(
      H3, W3, rows.Shareable(),
      [&](int b, int e) {
        for (int y = b; y < e; ++y) {
          double skew = (positive ? y : H3 - y) * t;
          int rk, f;
          SplitSkew(skew, blend, rk, f);
          FillPixels<N>(rows[y], bg, W3);
          SkewLine<N>(buf2.get() + y * line1, N, W1, rows[y], N, W3, rk - d2, f, blend, bg);
        }
      },
      OnProgress ? std::function<void(int)>([&](int y) { report(H + W1 + y); }) : none);
  return true;
}

// An alpha plane turns with blending like its image, into transparency.
bool ShearAlpha(TIEBitmap* plane, TIEBitmap& out, bool blend, double Angle) {
  const std::uint8_t transparent = 0;
  return ShearRotate<1>(plane, out, blend, &transparent, nullptr, nullptr, Angle);
}

}  // namespace

void _IERotate8bit(TIEBitmap* Plane, bool AntiAlias, std::uint8_t Background, TObject* Sender,
                   const TIEProgressEvent& OnProgress, double Angle) {
  TIEPixelFormat pf = Plane->GetPixelFormat();
  if (pf != ie8g && pf != ie8p) return;
  IETurnWithAlpha(
      Plane,
      [&](TIEBitmap* src, TIEBitmap& out) {
        return ShearRotate<1>(src, out, AntiAlias, &Background, Sender, OnProgress, Angle);
      },
      [&](TIEBitmap* src, TIEBitmap& out) { return ShearAlpha(src, out, AntiAlias, Angle); });
}

void _IERotate(TIEBitmap* Bitmap, bool AntiAlias, TObject* Sender, const TIEProgressEvent& OnProgress,
               TRGB Background, double Angle) {
  switch (Bitmap->GetPixelFormat()) {
    case ie24RGB: {
      const std::uint8_t bg[3] = {Background.b, Background.g, Background.r};
      IETurnWithAlpha(
          Bitmap,
          [&](TIEBitmap* src, TIEBitmap& out) {
            return ShearRotate<3>(src, out, AntiAlias, bg, Sender, OnProgress, Angle);
          },
          [&](TIEBitmap* src, TIEBitmap& out) { return ShearAlpha(src, out, AntiAlias, Angle); });
      return;
    }
    case ie1g: {
      TIEProgressRecord progress;
      progress.fOnProgress = const_cast<TIEProgressEvent*>(&OnProgress);
      progress.Sender = Sender;
      _IERotate1bit(Bitmap, IEBackgroundBit(Background), progress, Angle);
      return;
    }
    case ie8g:
    case ie8p: {
      std::uint8_t bg = static_cast<std::uint8_t>(IERGBToGray(Background));
      if (Bitmap->GetPixelFormat() == ie8p)
        bg = IEBackgroundPixel(Bitmap, RGB(Background.r, Background.g, Background.b))[0];
      _IERotate8bit(Bitmap, AntiAlias, bg, Sender, OnProgress, Angle);
      return;
    }
    default:
      _IERotateInPlace(Bitmap, RGB(Background.r, Background.g, Background.b), Sender, OnProgress, Angle);
      return;
  }
}

}  // namespace redozir
