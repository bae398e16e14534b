// The separable filter-kernel resampler: the eight kernels, the contributor
// tables, _IEResampleKernel (threaded first and second pass), _IEResample8bit
// and the kernel path of _IEResample1bit. resample_kernel_avx2.cpp holds the
// vector rows; this file holds their scalar reference.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "imaging/processing/resample.h"
#include "imaging/processing/resample_internal.h"
#include "platform/numeric.h"

namespace {
constexpr long double kPi = 3.141592653589793238462643383279502884L;
constexpr long double kTwoThirds = 2.0L / 3.0L;
constexpr long double kSixteenThirds = 16.0L / 3.0L;
constexpr long double kSevenThirds = 7.0L / 3.0L;
constexpr long double kThirtyTwoThirds = 32.0L / 3.0L;

long double SincL(long double t) {
  if (t == 0) return 1;
  long double x = kPi * t;
  return sinl(x) / x;
}
}  // namespace

double IESinc(double Value) { return static_cast<double>(SincL(Value)); }

double IETriangleFilter(double Value) {
  long double a = std::fabs(static_cast<long double>(Value));
  return a < 1 ? static_cast<double>(1 - a) : 0.0;
}

double IEHermiteFilter(double Value) {
  long double a = std::fabs(static_cast<long double>(Value));
  return a < 1 ? static_cast<double>((2 * a - 3) * a * a + 1) : 0.0;
}

double IEBellFilter(double Value) {
  long double a = std::fabs(static_cast<long double>(Value));
  if (a < 0.5L) return static_cast<double>(0.75L - a * a);
  if (a < 1.5L) {
    long double t = a - 1.5L;
    return static_cast<double>(0.5L * t * t);
  }
  return 0.0;
}

double IEBSplineFilter(double Value) {
  long double a = std::fabs(static_cast<long double>(Value));
  if (a < 1) return static_cast<double>(0.5L * a * a * a - a * a + kTwoThirds);
  if (a < 2) {
    long double t = 2 - a;
    return static_cast<double>(t * t * t / 6);
  }
  return 0.0;
}

double IELanczos3Filter(double Value) {
  long double a = std::fabs(static_cast<long double>(Value));
  return a < 3 ? static_cast<double>(SincL(a) * SincL(a / 3)) : 0.0;
}

double IEMitchellFilter(double Value) {
  long double a = std::fabs(static_cast<long double>(Value));
  long double a2 = a * a;
  if (a < 1) return static_cast<double>((7 * a2 * a - 12 * a2 + kSixteenThirds) / 6);
  if (a < 2) return static_cast<double>((-kSevenThirds * a2 * a + 12 * a2 - 20 * a + kThirtyTwoThirds) / 6);
  return 0.0;
}

double IEBoxFilter(double Value) { return (Value > -0.5 && Value <= 0.5) ? 1.0 : 0.0; }

double IELinearFilter(double Value) {
  if (Value >= -1 && Value < 0) return 1 + Value;
  if (Value >= 0 && Value < 1) return 1 - Value;
  return 0.0;
}

TIEKernelFunc IEKernelOf(TResampleFilter Filter, double& Support) {
  switch (Filter) {
    case rfHermite: Support = 1.0; return IEHermiteFilter;
    case rfBell: Support = 1.5; return IEBellFilter;
    case rfBSpline: Support = 2.0; return IEBSplineFilter;
    case rfLanczos3: Support = 3.0; return IELanczos3Filter;
    case rfMitchell: Support = 2.0; return IEMitchellFilter;
    case rfNearest: Support = 1.0; return IEBoxFilter;
    case rfLinear: Support = 1.0; return IELinearFilter;
    default: Support = 1.0; return IETriangleFilter;
  }
}

namespace {
int Mirror(std::int64_t j, int N) {
  if (j < 0) j = -j;
  if (j >= N) j = 2 * static_cast<std::int64_t>(N) - 1 - j;
  return static_cast<int>(std::clamp<std::int64_t>(j, 0, N - 1));
}

// When every rounded weight of a wide reduction is 0 (or the weights cancel),
// the plain 256 scale cannot hold them: the kernel values are normalised to a
// larger total instead, which the division by the sum takes back out.
void Renormalise(TIEContributorList& L, TIEKernelFunc K, long double C, long double FS, std::int64_t Left,
                 std::int64_t Right, int N) {
  long double total = 0, peak = 0;
  std::vector<long double> k(static_cast<size_t>(Right - Left + 1));
  for (std::int64_t j = Left; j <= Right; ++j) {
    long double v = K(static_cast<double>((C - j) / FS));
    k[static_cast<size_t>(j - Left)] = v;
    total += v;
    peak = std::max(peak, std::fabs(v));
  }
  L.p.clear();
  L.Sum = 0;
  if (total > 0 && peak > 0) {
    long double scale = std::min<long double>(32768.0L / total, 16384.0L / peak);
    for (std::int64_t j = Left; j <= Right; ++j) {
      int w = static_cast<int>(Round(k[static_cast<size_t>(j - Left)] * scale));
      if (w == 0) continue;
      L.p.push_back({Mirror(j, N), w});
      L.Sum += w;
    }
  }
  if (L.Sum == 0) {
    L.p.assign(1, {Mirror(static_cast<std::int64_t>(Round(C)), N), 1});
    L.Sum = 1;
  }
}
}  // namespace

TIEResampleTaps IEBuildTaps(int N, int M, TResampleFilter Filter) {
  TIEResampleTaps T;
  T.N = N;
  T.M = M;
  if (N <= 0 || M <= 0) return T;
  double support = 1.0;
  TIEKernelFunc K = IEKernelOf(Filter, support);
  double S = (N == 1 || M == 1) ? static_cast<double>(M) / N : static_cast<double>(M - 1) / (N - 1);
  double W, FS;
  if (S < 1) {
    W = support / S;
    FS = 1 / S;
  } else {
    W = support;
    FS = 1;
  }
  T.Lists.resize(static_cast<size_t>(M));
  for (int i = 0; i < M; ++i) {
    long double C = static_cast<long double>(i) / S;
    auto Left = static_cast<std::int64_t>(std::floor(C - W));
    auto Right = static_cast<std::int64_t>(std::ceil(C + W));
    TIEContributorList& L = T.Lists[static_cast<size_t>(i)];
    L.p.reserve(static_cast<size_t>(Right - Left + 1));
    for (std::int64_t j = Left; j <= Right; ++j) {
      long double k = K(static_cast<double>((C - j) / FS));
      int w = static_cast<int>(Round(k * 256 / FS));
      if (w == 0) continue;
      L.p.push_back({Mirror(j, N), w});
      L.Sum += w;
    }
    if (L.Sum == 0) Renormalise(L, K, C, FS, Left, Right, N);
  }
  // Dense windows for the vector rows.
  T.Start.resize(static_cast<size_t>(M));
  T.Len.resize(static_cast<size_t>(M));
  T.Sum.resize(static_cast<size_t>(M));
  int longest = 1;
  for (int i = 0; i < M; ++i) {
    const auto& L = T.Lists[static_cast<size_t>(i)];
    int lo = N, hi = 0;
    for (const auto& c : L.p) {
      lo = std::min(lo, c.Pixel);
      hi = std::max(hi, c.Pixel);
    }
    T.Start[static_cast<size_t>(i)] = lo;
    T.Len[static_cast<size_t>(i)] = hi - lo + 1;
    T.Sum[static_cast<size_t>(i)] = L.Sum;
    longest = std::max(longest, hi - lo + 1);
  }
  T.Stride = (longest + 7) & ~7;
  T.W.assign(static_cast<size_t>(M) * T.Stride, 0);
  std::vector<int> merged(static_cast<size_t>(T.Stride));
  bool fits = true;
  for (int i = 0; i < M; ++i) {
    std::fill(merged.begin(), merged.end(), 0);
    for (const auto& c : T.Lists[static_cast<size_t>(i)].p)
      merged[static_cast<size_t>(c.Pixel - T.Start[i])] += c.Weight;
    for (int k = 0; k < T.Stride; ++k) {
      if (merged[k] < -32768 || merged[k] > 32767) fits = false;
      T.W[static_cast<size_t>(i) * T.Stride + k] = static_cast<std::int16_t>(merged[k]);
    }
  }
  for (int i = 0; i < M; ++i)
    if (T.Sum[static_cast<size_t>(i)] < -65535 || T.Sum[static_cast<size_t>(i)] > 65535) fits = false;
  if (!fits) {
    // Only the scalar rows can take these weights.
    T.W.clear();
    return T;
  }
  int groups = T.Stride / 4;
  T.W3.assign(static_cast<size_t>(M) * groups * 16, 0);
  for (int i = 0; i < M; ++i) {
    const std::int16_t* w = &T.W[static_cast<size_t>(i) * T.Stride];
    std::int16_t* o = &T.W3[static_cast<size_t>(i) * groups * 16];
    for (int g = 0; g < groups; ++g, o += 16, w += 4) {
      for (int c = 0; c < 3; ++c) {
        o[2 * c] = w[0];
        o[2 * c + 1] = w[1];
        o[8 + 2 * c] = w[2];
        o[8 + 2 * c + 1] = w[3];
      }
    }
  }
  return T;
}

namespace {
inline std::uint8_t DivClamp(int s, int d) {
  int v = s / d;
  return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}
}  // namespace

void IEKernelRowH(const TIEResampleTaps& T, int Channels, const std::uint8_t* Src, std::uint8_t* Dst) {
  for (int x = 0; x < T.M; ++x) {
    const TIEContributorList& L = T.Lists[static_cast<size_t>(x)];
    for (int c = 0; c < Channels; ++c) {
      int s = 0;
      for (const auto& e : L.p) s += Src[e.Pixel * Channels + c] * e.Weight;
      Dst[x * Channels + c] = DivClamp(s, L.Sum);
    }
  }
}

void IEKernelRowV(const TIEResampleTaps& T, int y, const std::uint8_t* const* Rows, int Bytes,
                  std::uint8_t* Dst) {
  const TIEContributorList& L = T.Lists[static_cast<size_t>(y)];
  thread_local std::vector<int> acc;
  acc.assign(static_cast<size_t>(Bytes), 0);
  for (const auto& e : L.p) {
    const std::uint8_t* r = Rows[e.Pixel];
    int w = e.Weight;
    for (int b = 0; b < Bytes; ++b) acc[static_cast<size_t>(b)] += r[b] * w;
  }
  for (int b = 0; b < Bytes; ++b) Dst[b] = DivClamp(acc[static_cast<size_t>(b)], L.Sum);
}

namespace {
// A plane of bytes (the work image between the passes) with spare bytes
// after each row for the vector stores.
struct TIEWorkPlane {
  std::size_t Stride = 0;
  std::vector<std::uint8_t> Data;
  TIEWorkPlane(int RowBytes, int Rows)
      : Stride(static_cast<std::size_t>(RowBytes) + kIEResampleRowPad),
        Data(Stride * static_cast<std::size_t>(Rows) + kIEResampleRowPad) {}
  std::uint8_t* Row(int r) { return Data.data() + Stride * static_cast<std::size_t>(r); }
};

// Both passes for Channels interleaved 8-bit channels. GetSrc(r) hands the
// source row r as Channels bytes per pixel (read-only); PutDst(y, row) takes
// the finished destination row y. The first pass runs on Threads bands; the
// second pass too unless progress must be reported row by row.
void KernelTwoPass(int sw, int sh, int dw, int dh, int Channels, TResampleFilter Filter, int Threads,
                   const std::function<const std::uint8_t*(int r, std::uint8_t* scratch)>& GetSrc,
                   const std::function<std::uint8_t*(int y)>& DstRow,
                   const std::function<void(int y, const std::uint8_t* row)>& Finish,
                   const TIEProgressEvent* OnProgress, TObject* Sender) {
  bool watched = OnProgress && *OnProgress;
  double F = 100.0 / (static_cast<double>(sh) + dh + 0.5);
  TIEResampleTaps th = IEBuildTaps(sw, dw, Filter);
  TIEWorkPlane work(dw * Channels, sh);
  bool simd = IEResampleUseAVX2() && !th.W.empty() && (Channels == 3 || Channels == 1);
  int n = std::max(1, Threads);
  IERunBands(sh, n, [&](int t, int first, int count) {
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(sw) * Channels + kIEResampleRowPad);
    std::vector<std::uint8_t> padded(static_cast<std::size_t>(sw) * Channels + kIEResampleRowPad);
    TIEPercentReporter rep{OnProgress, Sender};
    for (int r = first; r < first + count; ++r) {
      const std::uint8_t* s = GetSrc(r, scratch.data());
      if (simd) {
        if (s != scratch.data())
          std::memcpy(padded.data(), s, static_cast<std::size_t>(sw) * Channels);
        else
          std::swap(padded, scratch);
        if (Channels == 3)
          IEKernelRowH3_AVX2(th, padded.data(), work.Row(r));
        else
          IEKernelRowH1_AVX2(th, padded.data(), work.Row(r));
      } else {
        IEKernelRowH(th, Channels, s, work.Row(r));
      }
      if (t == 0 && watched) rep.Report(static_cast<int>(Trunc((static_cast<double>(n) * r + 1) * F)));
    }
  });
  th = TIEResampleTaps();
  TIEResampleTaps tv = IEBuildTaps(sh, dh, Filter);
  std::vector<const std::uint8_t*> rows(static_cast<std::size_t>(sh));
  for (int r = 0; r < sh; ++r) rows[static_cast<std::size_t>(r)] = work.Row(r);
  bool vsimd = IEResampleUseAVX2() && !tv.W.empty();
  int bytes = dw * Channels;
  auto rowV = [&](int y) {
    std::uint8_t* d = DstRow(y);
    if (vsimd)
      IEKernelRowV_AVX2(tv, y, rows.data(), bytes, d);
    else
      IEKernelRowV(tv, y, rows.data(), bytes, d);
    Finish(y, d);
  };
  if (watched) {
    TIEPercentReporter rep{OnProgress, Sender};
    for (int y = 0; y < dh; ++y) {
      rowV(y);
      rep.Report(static_cast<int>(Trunc((static_cast<double>(sh) + y + 1) * F)));
    }
  } else {
    IERunBands(dh, n, [&](int, int first, int count) {
      for (int y = first; y < first + count; ++y) rowV(y);
    });
  }
}

bool IsKernelFilter(TResampleFilter f) { return f >= rfTriangle && f <= rfLinear; }
}  // namespace

void _IEResampleKernel(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter FilterType,
                       const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Src || !Dst || Src->Width() <= 0 || Src->Height() <= 0 || Dst->Width() <= 0 || Dst->Height() <= 0)
    return;
  TIEPixelFormat pf = Src->PixelFormat();
  if (FilterType == rfBilinear || FilterType == rfBicubic) {
    int mode = FilterType == rfBicubic ? 1 : 0;
    if (pf == ie24RGB || pf == ie8g) {
      _IEResampleBilinearBicubic8(Src, Dst, mode, Sender, OnProgress);
      return;
    }
    if (pf == ieRGB48 || pf == ie16g) {
      _IEResampleBilinearBicubic16(Src, Dst, mode, Sender, OnProgress);
      return;
    }
    FilterType = rfTriangle;
  }
  if (pf == ie8g) {
    _IEResample8bit(Src, Dst, FilterType);
    return;
  }
  if (pf == ie1g) {
    // The dispatcher sends 1-bit sources to _IEResample1bit; a direct caller
    // gets the same.
    if (FilterType != rfProjectBW && FilterType != rfProjectWB)
      Dst->Allocate(Dst->Width(), Dst->Height(), ie24RGB);
    _IEResample1bit(Src, Dst, FilterType);
    return;
  }
  std::unique_ptr<TIEBitmap> copy;
  if (pf != ie24RGB) {
    // Formats without a row reader here (ie32f, ieCMYK, ieCIELab) are left
    // alone until the bitmap's own conversion serves them.
    if (!IERowToRGB24Handles(pf)) return;
    copy = TIEBitmap::CreateSized(Src->Width(), Src->Height(), ie24RGB);
    if (copy->Width() != Src->Width() || copy->Height() != Src->Height()) return;
    for (int y = 0; y < Src->Height(); ++y)
      IERowToRGB24(pf, Src->GetScanline(y), 0, Src->Width(), Src->GetPaletteBuffer(), Src->GetPaletteLength(),
                   copy->GetScanline(y));
    Src = copy.get();
    if (Dst->PixelFormat() != ie24RGB && !Dst->Allocate(Dst->Width(), Dst->Height(), ie24RGB)) return;
  }
  if (FilterType == rfFastLinear) {
    _IEResampleFastLinear24(Src, Dst, Sender, OnProgress);
    return;
  }
  if (FilterType == rfProjectBW || FilterType == rfProjectWB) {
    _IEProject24to1(Src, Dst, FilterType == rfProjectWB ? 1 : 0, Sender, OnProgress);
    return;
  }
  if (!IsKernelFilter(FilterType)) FilterType = rfTriangle;
  if (Dst->PixelFormat() != ie24RGB && !Dst->Allocate(Dst->Width(), Dst->Height(), ie24RGB)) return;
  int sw = Src->Width(), sh = Src->Height(), dw = Dst->Width(), dh = Dst->Height();
  // A disk-buffered source maps one row view at a time.
  int threads = Src->Location() == ieFile ? 1 : IEResampleThreadCount();
  if (Dst->Location() == ieFile) threads = std::min(threads, 1);
  KernelTwoPass(
      sw, sh, dw, dh, 3, FilterType, threads, [&](int r, std::uint8_t*) { return Src->GetScanline(r); },
      [&](int y) { return Dst->GetScanline(y); }, [](int, const std::uint8_t*) {}, &OnProgress, Sender);
}

void _IEResample8bit(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter FilterType) {
  if (!Src || !Dst || Src->Width() <= 0 || Src->Height() <= 0 || Dst->Width() <= 0 || Dst->Height() <= 0)
    return;
  if (FilterType == rfFastLinear || FilterType == rfBilinear || FilterType == rfBicubic ||
      FilterType == rfProjectBW || FilterType == rfProjectWB) {
    _IEResampleFastLinear8(Src, Dst, nullptr, TIEProgressEvent());
    return;
  }
  if (!IsKernelFilter(FilterType)) FilterType = rfTriangle;
  int threads = (Src->Location() == ieFile || Dst->Location() == ieFile) ? 1 : IEResampleThreadCount();
  KernelTwoPass(
      Src->Width(), Src->Height(), Dst->Width(), Dst->Height(), 1, FilterType, threads,
      [&](int r, std::uint8_t*) { return Src->GetScanline(r); }, [&](int y) { return Dst->GetScanline(y); },
      [](int, const std::uint8_t*) {}, nullptr, nullptr);
}

void _IEResample1bit(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter FilterType) {
  if (!Src || !Dst || Src->Width() <= 0 || Src->Height() <= 0 || Dst->Width() <= 0 || Dst->Height() <= 0)
    return;
  if (FilterType == rfProjectBW || FilterType == rfProjectWB) {
    _IEProject1to1(Src, Dst, FilterType == rfProjectWB ? 1 : 0, nullptr, TIEProgressEvent());
    return;
  }
  if (FilterType == rfFastLinear || FilterType == rfBilinear || FilterType == rfBicubic) {
    _IEResample1bitLinear(Src, Dst, nullptr, TIEProgressEvent());
    return;
  }
  if (Dst->PixelFormat() != ie24RGB && !Dst->Allocate(Dst->Width(), Dst->Height(), ie24RGB)) return;
  if (!IsKernelFilter(FilterType)) FilterType = rfTriangle;
  int sw = Src->Width(), dw = Dst->Width();
  int threads = (Src->Location() == ieFile || Dst->Location() == ieFile) ? 1 : IEResampleThreadCount();
  // Grey rows are built beside the 24-bit destination and spread into it.
  std::vector<std::uint8_t> grey(static_cast<std::size_t>(Dst->Height()) * (dw + kIEResampleRowPad));
  KernelTwoPass(
      sw, Src->Height(), dw, Dst->Height(), 1, FilterType, threads,
      [&](int r, std::uint8_t* scratch) {
        const std::uint8_t* bits = Src->GetScanline(r);
        for (int x = 0; x < sw; ++x) scratch[x] = (bits[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        return static_cast<const std::uint8_t*>(scratch);
      },
      [&](int y) { return grey.data() + static_cast<std::size_t>(y) * (dw + kIEResampleRowPad); },
      [&](int y, const std::uint8_t* g) {
        std::uint8_t* d = Dst->GetScanline(y);
        for (int x = 0; x < dw; ++x) d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = g[x];
      },
      nullptr, nullptr);
}
