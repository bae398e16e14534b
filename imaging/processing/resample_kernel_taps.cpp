// The separable filter-kernel resampler's kernels and contributor tables:
// the eight kernels (in extended precision, and again in double for the
// tables' fast path), the list of taps and weights of every destination
// pixel, and the forms of a table that the scalar and vector rows read.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>

#include "imaging/core/ie_extended.h"
#include "imaging/core/ie_parallel.h"
#include "imaging/processing/resample.h"
#include "imaging/processing/resample_internal.h"
#include "imaging/processing/resample_taps_lanes.h"
#include "platform/numeric.h"

namespace redozir {

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
// The kernels again in double, for the tables' fast path: each agrees with
// its extended-precision form to far better than kWeightSlack (below) once
// scaled to a weight; x is the same double argument in both.
// sinc(a) sinc(a / 3) with one sine: sin(3t) = s (3 - 4 s^2) for s = sin t.
double Lanczos3D(double v) {
  double a = std::fabs(v);
  if (!(a < 3)) return 0.0;
  if (a == 0) return 1.0;
  const double s = std::sin(std::numbers::pi * a / 3);
  return s * (3 - 4 * s * s) * 3 * s / (std::numbers::pi * std::numbers::pi * a * a);
}
double HermiteD(double v) {
  double a = std::fabs(v);
  return a < 1 ? (2 * a - 3) * a * a + 1 : 0.0;
}
double BellD(double v) {
  double a = std::fabs(v);
  if (a < 0.5) return 0.75 - a * a;
  if (a < 1.5) return 0.5 * (a - 1.5) * (a - 1.5);
  return 0.0;
}
double BSplineD(double v) {
  double a = std::fabs(v);
  if (a < 1) return 0.5 * a * a * a - a * a + 2.0 / 3.0;
  if (a < 2) return (2 - a) * (2 - a) * (2 - a) / 6;
  return 0.0;
}
double MitchellD(double v) {
  double a = std::fabs(v), a2 = a * a;
  if (a < 1) return (7 * a2 * a - 12 * a2 + 16.0 / 3.0) / 6;
  if (a < 2) return (-7.0 / 3.0 * a2 * a + 12 * a2 - 20 * a + 32.0 / 3.0) / 6;
  return 0.0;
}
double TriangleD(double v) {
  double a = std::fabs(v);
  return a < 1 ? 1 - a : 0.0;
}
TIEKernelFunc FastKernelOf(TResampleFilter Filter) {
  switch (Filter) {
    case rfHermite: return HermiteD;
    case rfBell: return BellD;
    case rfBSpline: return BSplineD;
    case rfLanczos3: return Lanczos3D;
    case rfMitchell: return MitchellD;
    case rfLinear: return IELinearFilter;
    default: return TriangleD;
  }
}
// How far from a .5 tie a weight computed in double must be for its rounding
// to agree with the extended one. The double argument (centre less tap, times
// 1 / scale) is off by about an ulp of the centre, 1.2e-10 at most below
// 2^20 (beyond, the exact argument is taken), the kernels (continuous, slopes below 3) by a few
// 1e-16; times at most 256 for the weight that stays below 1e-7, and 1e-6
// leaves orders of magnitude to spare. So few weights fall that close that
// checking them again costs nothing. The box kernel jumps at 0.5 and takes
// the exact argument always.
constexpr double kWeightSlack = 1e-6;

// Both mirror rules look at the window's own index j; a window reaching
// N or more left of the image (a strong reduction of a small source) is
// brought back by the clamp, not mirrored a second time.
int Mirror(std::int64_t j, int N) {
  if (j < 0)
    j = -j;
  else if (j >= N)
    j = 2 * static_cast<std::int64_t>(N) - 1 - j;
  return static_cast<int>(std::clamp<std::int64_t>(j, 0, N - 1));
}

// Where the list of one destination is written: its slot of the table's
// contributors, its count and its sum.
struct TListOut {
  TIEContributor* p;
  int& Count;
  int& Sum;
  TListOut(TIEResampleTaps& T, int i)
      : p(T.Taps.data() + static_cast<std::size_t>(i) * T.TapStride), Count(T.TapCount[i]), Sum(T.Sum[i]) {}
  void Add(int Pixel, int Weight) {
    p[Count++] = {Pixel, Weight};
    Sum += Weight;
  }
};

// When every rounded weight of a wide reduction is 0 (or the weights cancel),
// the plain 256 scale cannot hold them: the kernel values are normalised to a
// larger total instead, which the division by the sum takes back out.
void Renormalise(TListOut& L, TIEKernelFunc K, long double C, long double FS, std::int64_t Left,
                 std::int64_t Right, int N) {
  long double total = 0, peak = 0;
  std::vector<long double> k(static_cast<size_t>(Right - Left + 1));
  for (std::int64_t j = Left; j <= Right; ++j) {
    long double v = K(static_cast<double>((C - j) / FS));
    k[static_cast<size_t>(j - Left)] = v;
    total += v;
    peak = std::max(peak, std::fabs(v));
  }
  L.Count = 0;
  L.Sum = 0;
  if (total > 0 && peak > 0) {
    long double scale = std::min<long double>(32768.0L / total, 16384.0L / peak);
    for (std::int64_t j = Left; j <= Right; ++j) {
      int w = static_cast<int>(Round(k[static_cast<size_t>(j - Left)] * scale));
      if (w != 0) L.Add(Mirror(j, N), w);
    }
  }
  if (L.Sum == 0) {
    L.Count = 0;
    L.Add(Mirror(static_cast<std::int64_t>(Round(C)), N), 1);
  }
}
// Round of an extended value through the processor's own instruction
// (halves to even in the default mode), without the library's slower
// environment save; the range is checked like Round's.
inline int RoundWeight(long double v) {
  long double r = __builtin_rintl(v);
  if (!(r >= -2147483648.0L && r <= 2147483647.0L))
    throw EInvalidOp("Invalid floating point operation in Round");
  return static_cast<int>(r);
}

// std::nearbyint in the default rounding mode, without the library call:
// adding and taking away 1.5 x 2^52 leaves v rounded to a whole number,
// halves to even, for |v| below 2^51.
inline double RoundEven(double v) {
  constexpr double kShift = 6755399441055744.0;
  return std::fabs(v) < 2251799813685248.0 ? (v + kShift) - kShift : std::nearbyint(v);
}

// Floor and ceiling of an extended value as integers (|v| below 2^53):
// rounded by the processor's own instruction in its default mode, then
// corrected, and converted through double. std::floor and the conversion of
// a long double each switch the control word twice, which cost more than the
// rest of a short list.
inline std::int64_t FloorL(long double v) {
  long double r = __builtin_rintl(v);
  if (r > v) r -= 1;
  return static_cast<std::int64_t>(static_cast<double>(r));
}
inline std::int64_t CeilL(long double v) {
  long double r = __builtin_rintl(v);
  if (r < v) r += 1;
  return static_cast<std::int64_t>(static_cast<double>(r));
}

// What the lists of one table are built from: the kernel and its double
// form, the ratio, the window's half-width and kernel scale (extended: in
// double some weights move to the other side of a .5 tie), and for Lanczos3
// the sines and cosines of whole steps and the vector routine that weighs
// the taps from them.
struct TIETapsSetup {
  int N = 0, M = 0;
  TIEKernelFunc K = nullptr, Fast = nullptr;
  double S = 1;
  long double W = 1, FS = 1;
  double Scale = 256, Inv = 1;  // 256 / FS and 1 / FS
  TIELanczos3Steps Steps;
  int StepCount = 0;                // the steps in Steps
  double ListSin = 0, ListCos = 1;  // of the centre's step from one list to the next
  std::uint64_t (*Weights)(const TIELanczos3Steps&, double, double, double, double, int, double*) = nullptr;
  std::int64_t Work = 0;  // the taps the lists evaluate, about

  TIETapsSetup(int N_, int M_, TResampleFilter Filter, bool Extended) : N(N_), M(M_) {
    double support = 1.0;
    K = IEKernelOf(Filter, support);
    Fast = Extended || Filter == rfNearest ? nullptr : FastKernelOf(Filter);
    S = (N == 1 || M == 1) ? static_cast<double>(M) / N : static_cast<double>(M - 1) / (N - 1);
    if (S < 1) {
      W = support / static_cast<long double>(S);
      FS = 1 / static_cast<long double>(S);
    } else {
      W = support;
      FS = 1;
    }
    Scale = static_cast<double>(256 / FS);
    Inv = static_cast<double>(1 / FS);
    if (Fast == Lanczos3D) {
      // The steps a list takes (a window spans fewer than 2 W + 3 taps).
      StepCount = static_cast<int>(std::min<long double>(64, 2 * W + 3));
      for (int k = 0; k < StepCount; ++k) {
        Steps.Sin[k] = std::sin(k * (std::numbers::pi * Inv / 3));
        Steps.Cos[k] = std::cos(k * (std::numbers::pi * Inv / 3));
      }
      ListSin = std::sin(std::numbers::pi * Inv / (3 * S));
      ListCos = std::cos(std::numbers::pi * Inv / (3 * S));
      Steps.Inv = Inv;
      Steps.RotScale = 3 * Scale / (std::numbers::pi * std::numbers::pi);
      Weights = IEResampleUseAVX512() ? IELanczos3Weights_AVX512
                : IEResampleUseAVX2() ? IELanczos3Weights_AVX2
                                      : Lanczos3Weights<2>;
    }
    Work = static_cast<std::int64_t>(M) * static_cast<std::int64_t>(2 * W + 2);
  }
};

// The sine and cosine of the angle of the last list's first tap, carried
// to the next list of a run of lists.
struct TIEListSines {
  std::int64_t List = -2, Left = 0;
  double Sin = 0, Cos = 1;
  int Age = 0;  // lists since the sine was taken afresh
};

// The list of destination i. With Fast set the kernel is evaluated in
// double and a weight is taken from it unless it lies within kWeightSlack of
// a .5 tie, where the extended kernel decides as it always does. Run carries
// the sines from one list to the next.
void BuildList(TIEResampleTaps& T, int i, const TIETapsSetup& U, TIEListSines& Run) {
  TListOut L(T, i);
  const int N = U.N;
  const long double FS = U.FS;
  const TIEKernelFunc K = U.K;
  TIEKernelFunc Fast = U.Fast;
  long double C = static_cast<long double>(i) / U.S;
  const std::int64_t Left = FloorL(C - U.W), Right = CeilL(C + U.W);
  const double scale = U.Scale, cd = static_cast<double>(C), inv = U.Inv;
  // Beyond 2^20 the centre's ulp would eat into the slack.
  if (std::fabs(cd) >= 1048576.0) Fast = nullptr;
  auto take = [&](std::int64_t j, double v) {
    int w;
    const double r = RoundEven(v);
    if (Fast && std::fabs(std::fabs(v - r) - 0.5) > kWeightSlack && std::fabs(r) < 2147483647.0) {
      w = static_cast<int>(r);
    } else {
      long double k = K(static_cast<double>((C - j) / FS));
      w = RoundWeight(k * 256 / FS);
    }
    if (w != 0) L.Add(Mirror(j, N), w);
  };
  if (Fast == Lanczos3D) {
    // Lanczos3 takes the sine of each tap's angle pi t / 3 from that of the
    // first of up to 64 taps and the sines and cosines of whole steps (the
    // angle pi inv / 3). The first tap's comes from the last list's, turned
    // by the centre's step and back by the taps the window moved, and is
    // taken afresh every 64 lists: each turn adds a few 1e-16, 3e-14 at
    // most. From |t| = 1/64 on the sine is above 0.016, so the kernel is off
    // by some 1e-11 of itself, far inside kWeightSlack / 256. Nearer the
    // centre, where the kernel divides by a small t, the sine is taken
    // directly.
    alignas(64) double v[64];
    for (std::int64_t first = Left; first <= Right; first += 64) {
      const int count = static_cast<int>(std::min<std::int64_t>(64, Right - first + 1));
      double sn, cs;
      const std::int64_t moved = Left - Run.Left;
      if (first == Left && Run.List == i - 1 && Run.Age < 64 && moved >= 0 && moved < U.StepCount) {
        const double s1 = Run.Sin * U.ListCos + Run.Cos * U.ListSin,
                     c1 = Run.Cos * U.ListCos - Run.Sin * U.ListSin;
        sn = s1 * U.Steps.Cos[moved] - c1 * U.Steps.Sin[moved];
        cs = c1 * U.Steps.Cos[moved] + s1 * U.Steps.Sin[moved];
        ++Run.Age;
      } else {
        const double th = std::numbers::pi * ((cd - static_cast<double>(first)) * inv) / 3;
        sn = std::sin(th);
        cs = std::cos(th);
        if (first == Left) Run.Age = 0;
      }
      if (first == Left) {
        Run.List = i;
        Run.Left = Left;
        Run.Sin = sn;
        Run.Cos = cs;
      }
      const std::uint64_t near = U.Weights(U.Steps, sn, cs, cd, static_cast<double>(first), count, v);
      for (int k = 0; k < count; ++k) {
        const std::int64_t j = first + k;
        take(j, near >> k & 1 ? Lanczos3D((cd - static_cast<double>(j)) * inv) * scale : v[k]);
      }
    }
  } else {
    for (std::int64_t j = Left; j <= Right; ++j)
      take(j, Fast ? Fast((cd - static_cast<double>(j)) * inv) * scale : 0.0);
  }
  if (L.Sum == 0) Renormalise(L, K, C, FS, Left, Right, N);
}

// Room for every list of a table: a window spans fewer than 2 W + 3
// pixels (one more kept spare), and a normalised list no more.
void SizeLists(TIEResampleTaps& T, const TIETapsSetup& U) {
  T.TapStride = static_cast<std::size_t>(2 * U.W) + 4;
  // Only what lies within each list's count is read: the contributors of a
  // table whose memory is kept are not cleared first.
  const std::size_t taps = static_cast<std::size_t>(U.M) * T.TapStride;
  if (T.Taps.size() < taps) T.Taps.resize(taps);
  T.TapCount.assign(static_cast<std::size_t>(U.M), 0);
  T.Sum.assign(static_cast<std::size_t>(U.M), 0);
  T.Start.resize(static_cast<std::size_t>(U.M));
  T.Len.resize(static_cast<std::size_t>(U.M));
}

// Everything of a table after its lists: the dense windows, the
// reciprocals and, for a table across rows (Across), the forms only the
// first pass reads (row tails, pair words and, with SingleRows, W3). Done in
// four steps so that several threads can share the third: the window of
// each list as soon as it is built (Shape), the room once every window is
// known (Prepare), the forms of any ranges of destinations (Fill), and what
// the ranges found together (Conclude).
struct TIEFinish {
  bool Across = true, SingleRows = true;
  std::atomic<int> Longest{1};
  std::atomic<bool> Fits{true};
  std::atomic<std::int64_t> Tail3{0x7FFFFFFF}, Tail1{0x7FFFFFFF};
  std::atomic<int> Pairs{0};
  // Each distinct |sum| from 1 to 4096 with its exact reciprocal, or 0.
  std::vector<std::pair<int, float>> Rcp;
};

template <typename V>
void AtomicMin(std::atomic<V>& A, V v) {
  for (V cur = A.load(std::memory_order_relaxed); v < cur && !A.compare_exchange_weak(cur, v);) {
  }
}
template <typename V>
void AtomicMax(std::atomic<V>& A, V v) {
  for (V cur = A.load(std::memory_order_relaxed); v > cur && !A.compare_exchange_weak(cur, v);) {
  }
}

// The dense window of lists First .. First + Count - 1.
void ShapeLists(TIEResampleTaps& T, int First, int Count, TIEFinish& F) {
  int longest = 1;
  for (int i = First; i < First + Count; ++i) {
    int lo = T.N, hi = 0;
    for (const auto& c : T.List(i)) {
      lo = std::min(lo, c.Pixel);
      hi = std::max(hi, c.Pixel);
    }
    T.Start[static_cast<size_t>(i)] = lo;
    T.Len[static_cast<size_t>(i)] = hi - lo + 1;
    longest = std::max(longest, hi - lo + 1);
  }
  AtomicMax(F.Longest, longest);
}

void PrepareFinish(TIEResampleTaps& T, TIEFinish& F) {
  const std::size_t M = static_cast<std::size_t>(T.M);
  T.Stride = (F.Longest.load() + 7) & ~7;
  // Every weight is written by the ranges.
  T.W.resize(M * T.Stride);
  T.Rcp.assign(M, 0.0f);
  // Reciprocals that divide exactly, one check per distinct sum.
  F.Rcp.clear();
  for (std::size_t i = 0; i < M; ++i) {
    const int d = std::abs(T.Sum[i]);
    if (d < 1 || d > 4096 ||
        std::find_if(F.Rcp.begin(), F.Rcp.end(), [&](const auto& e) { return e.first == d; }) != F.Rcp.end())
      continue;
    // v x r rounds monotonically in v, so the quotient is right for every
    // v from q d to q d + d - 1 when it is right at both ends.
    const float r = 1.0f / static_cast<float>(d);
    bool exact = true;
    for (int q = 0; q <= 256 && exact; ++q)
      for (int v : {q * d, q * d + d - 1})
        exact = exact && (v > 256 * d || static_cast<int>(static_cast<float>(v) * r) == q);
    F.Rcp.push_back({d, exact ? r : 0.0f});
  }
  if (!F.Across) return;
  T.PStride = T.Stride / 2 + 1;
  T.PStart.resize(M);
  T.PLen.resize(M);
  T.PW.assign(M * T.PStride, 0);
  if (F.SingleRows) T.W3.assign(M * (T.Stride / 4) * 16, 0);
}

void FillFinish(TIEResampleTaps& T, int First, int Count, TIEFinish& F) {
  const int N = T.N, stride = T.Stride;
  bool fits = true;
  std::vector<int> merged(static_cast<size_t>(stride));
  std::int64_t tail3 = 0x7FFFFFFF, tail1 = 0x7FFFFFFF;
  int pairsReached = 0;
  for (int i = First; i < First + Count; ++i) {
    // In locals: the stores through m could change T's ints as far as the
    // compiler knows. m is all 0 between lists.
    int* const m = merged.data();
    const int st = T.Start[static_cast<size_t>(i)], len = T.Len[static_cast<size_t>(i)];
    for (const auto& c : T.List(i)) m[c.Pixel - st] += c.Weight;
    std::int16_t* const w = T.W.data() + static_cast<size_t>(i) * stride;
    for (int k = 0; k < stride; ++k) {
      if (m[k] < -32768 || m[k] > 32767) fits = false;
      w[k] = static_cast<std::int16_t>(m[k]);
      m[k] = 0;
    }
    const int sum = T.Sum[static_cast<size_t>(i)];
    if (sum < -65535 || sum > 65535) fits = false;
    const int d = std::abs(sum);
    if (d >= 1 && d <= 4096)
      T.Rcp[static_cast<size_t>(i)] =
          std::find_if(F.Rcp.begin(), F.Rcp.end(), [&](const auto& e) { return e.first == d; })->second;
    if (!F.Across) continue;
    // The vector rows read whole groups of taps: windows whose last group
    // runs past the row's end read from a padded copy of the row's tail.
    const std::int64_t st64 = st;
    if (3 * st64 + 12 * ((len + 3) / 4 - 1) + 16 > 3 * static_cast<std::int64_t>(N))
      tail3 = std::min(tail3, 3 * st64);
    if (st64 + 8 * ((len + 7) / 8) > N) tail1 = std::min(tail1, st64);
    // Pairs from even pixels for the 16-row blocks.
    const int even = st & ~1, pairs = (st - even + len + 1) / 2;
    T.PStart[static_cast<size_t>(i)] = even;
    T.PLen[static_cast<size_t>(i)] = pairs;
    pairsReached = std::max(pairsReached, even / 2 + pairs);
    std::int32_t* const pw = T.PW.data() + static_cast<size_t>(i) * T.PStride;
    for (int k = 0; k < pairs; ++k) {
      auto at = [&](int j) { return j >= st && j < st + len ? static_cast<std::uint16_t>(w[j - st]) : 0u; };
      const unsigned lo = at(even + 2 * k), hi = at(even + 2 * k + 1);
      pw[k] = static_cast<std::int32_t>(lo | (hi << 16));
    }
    if (!F.SingleRows) continue;
    const int groups = stride / 4;
    std::int16_t* o = &T.W3[static_cast<size_t>(i) * groups * 16];
    const std::int16_t* g = w;
    for (int q = 0; q < groups; ++q, o += 16, g += 4) {
      for (int c = 0; c < 3; ++c) {
        o[2 * c] = g[0];
        o[2 * c + 1] = g[1];
        o[8 + 2 * c] = g[2];
        o[8 + 2 * c + 1] = g[3];
      }
    }
  }
  if (!fits) F.Fits.store(false);
  AtomicMin(F.Tail3, tail3);
  AtomicMin(F.Tail1, tail1);
  AtomicMax(F.Pairs, pairsReached);
}

void ConcludeFinish(TIEResampleTaps& T, TIEFinish& F) {
  if (!F.Fits.load()) {
    // Only the scalar rows can take these weights.
    for (auto* v : {&T.PStart, &T.PLen}) v->clear();
    T.W.clear();
    T.W3.clear();
    T.PW.clear();
    T.Rcp.clear();
    T.PStride = T.Pairs = 0;
    T.Tail3 = T.Tail1 = 0;
    return;
  }
  T.Tail3 = F.Tail3.load();
  T.Tail1 = F.Tail1.load();
  T.Pairs = F.Pairs.load();
}

// All four steps on the calling thread.
void FinishTaps(TIEResampleTaps& T) {
  TIEFinish F;
  ShapeLists(T, 0, T.M, F);
  PrepareFinish(T, F);
  FillFinish(T, 0, T.M, F);
  ConcludeFinish(T, F);
}
}  // namespace

void TIEResampleTaps::Clear() {
  N = M = Stride = PStride = Pairs = 0;
  TapStride = 0;
  Tail3 = Tail1 = 0;
  for (auto* v : {&TapCount, &Start, &Len, &Sum, &PStart, &PLen}) v->clear();
  // The contributors and the weights keep their old values, which the next
  // build writes over before it reads them.
  W3.clear();
  PW.clear();
  Rcp.clear();
}

TIEResampleTaps IEBuildTaps(int N, int M, TResampleFilter Filter, bool Extended, int Threads) {
  TIEResampleTaps T;
  T.N = N;
  T.M = M;
  if (N <= 0 || M <= 0) return T;
  const TIETapsSetup U(N, M, Filter, Extended);
  SizeLists(T, U);
  // The lists are independent of each other: they are built in chunks of
  // destination indices on one thread per 8000 taps or so (up to the count).
  int n = static_cast<int>(
      std::clamp<std::int64_t>(U.Work / 8000, 1, Threads > 0 ? Threads : IEResampleThreadCount()));
  IERunChunks(M, n, std::max(64, M / (4 * n)), [&](int, int first, int count) {
    TIEListSines run;
    for (int i = first; i < first + count; ++i) BuildList(T, i, U, run);
  });
  FinishTaps(T);
  return T;
}

void IEBuildTapsPair(int sw, int dw, int sh, int dh, TResampleFilter Filter, int Threads, TIEResampleTaps& H,
                     TIEResampleTaps& V, bool More, bool Blocks) {
  if (sw <= 0 || dw <= 0 || sh <= 0 || dh <= 0) {
    H = IEBuildTaps(sw, dw, Filter, false, Threads);
    V = IEBuildTaps(sh, dh, Filter, false, Threads);
    return;
  }
  // The lists of both tables in one run of chunks over all the threads (the
  // columns' first), then the forms of both tables likewise: the thread
  // that builds the last list of a table makes room for its forms, which
  // the threads then fill in ranges (a thread that reaches a range before
  // the room is made waits for the lists still being built).
  H.Clear();
  V.Clear();
  TIEResampleTaps* tables[2] = {&H, &V};
  const TIETapsSetup setups[2] = {TIETapsSetup(sw, dw, Filter, false), TIETapsSetup(sh, dh, Filter, false)};
  TIEFinish finish[2];
  std::atomic<int> lists[2], forms[2];
  std::atomic<bool> ready[2], failed{false};
  for (int k = 0; k < 2; ++k) {
    tables[k]->N = setups[k].N;
    tables[k]->M = setups[k].M;
    SizeLists(*tables[k], setups[k]);
    lists[k] = forms[k] = setups[k].M;
    ready[k] = false;
  }
  finish[0].SingleRows = !Blocks;
  finish[1].Across = false;
  const int total = dw + dh;
  const int n = static_cast<int>(std::clamp<std::int64_t>((setups[0].Work + setups[1].Work) / 8000, 1,
                                                          Threads > 0 ? Threads : IEResampleThreadCount()));
  IERunChunks(
      2 * total, n, std::max(64, total / (4 * n)),
      [&](int, int first, int count) {
        // Item From + i of the chunk is destination i of table k: Part(k, a, b)
        // for the destinations a .. b - 1 of each table the chunk reaches.
        auto each = [&](int From, const auto& Part) {
          for (int k = 0, base = From; k < 2; base += setups[k].M, ++k) {
            const int a = std::max(first, base), b = std::min(first + count, base + setups[k].M);
            if (a < b && !Part(k, a - base, b - base)) return;
          }
        };
        try {
          each(0, [&](int k, int a, int b) {
            TIEListSines run;
            for (int i = a; i < b; ++i) BuildList(*tables[k], i, setups[k], run);
            ShapeLists(*tables[k], a, b - a, finish[k]);
            if (lists[k].fetch_sub(b - a, std::memory_order_acq_rel) == b - a) {
              PrepareFinish(*tables[k], finish[k]);
              ready[k].store(true, std::memory_order_release);
            }
            return true;
          });
          each(total, [&](int k, int a, int b) {
            while (!ready[k].load(std::memory_order_acquire)) {
              // A thread that failed never makes the room: the call ends with its error.
              if (failed.load(std::memory_order_relaxed)) return false;
              __builtin_ia32_pause();
            }
            FillFinish(*tables[k], a, b - a, finish[k]);
            if (forms[k].fetch_sub(b - a, std::memory_order_acq_rel) == b - a)
              ConcludeFinish(*tables[k], finish[k]);
            return true;
          });
        } catch (...) {
          failed.store(true, std::memory_order_relaxed);
          throw;
        }
      },
      More);
}

}  // namespace redozir
