// The area-weighted resampler's double rows in 512-bit vectors: two pixels
// (four lanes each) per vector, the same operations in the same order as
// the AVX2 rows and the scalar walk, so the same results. The float rows
// stay with AVX2.
// These rows stand beside their AVX2 twins rather than sharing one template:
// they differ in what the wider registers allow (two pixels per vector and
// lane permutes here, masked stores, a single-instruction rounding and
// saturation), so what the two files have in common is their scaffolding,
// not their operations.
#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "imaging/processing/resample_area_float.h"
#include "imaging/processing/resample_area_vert.h"
#include "imaging/processing/resample_internal.h"

namespace redozir {

namespace {
inline __m512d Clamp(__m512d r, __m512d hi) {
  return _mm512_min_pd(_mm512_max_pd(r, _mm512_setzero_pd()), hi);
}

// Values i and i + 1, each over the four lanes of its pixel.
inline __m512d Bcast2(const double* p) {
  return _mm512_permutexvar_pd(_mm512_setr_epi64(0, 0, 0, 0, 1, 1, 1, 1),
                               _mm512_castpd128_pd512(_mm_loadu_pd(p)));
}

// Pixels at A and B (four lanes each) side by side.
inline __m512d Pair(const double* A, const double* B) {
  return _mm512_insertf64x4(_mm512_castpd256_pd512(_mm256_loadu_pd(A)), _mm256_loadu_pd(B), 1);
}

inline __m512d LoadH(const double* p) { return _mm512_loadu_pd(p); }
inline __m512d LoadH(const float* p) { return _mm512_cvtps_pd(_mm256_loadu_ps(p)); }
inline void StoreH(double* p, __m512d v) { _mm512_storeu_pd(p, v); }
// Only whole numbers below 2^24 are stored this way, which float holds exactly.
inline void StoreH(float* p, __m512d v) { _mm256_storeu_ps(p, _mm512_cvtpd_ps(v)); }

constexpr int kRound = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;

// Finished pixels: the sums times Inv rounded (halves to even), held to
// 0..Max, as whole numbers.
inline __m256i Finish(__m512d a, __m512d inv, __m512d hi) {
  return _mm512_cvtpd_epi32(Clamp(_mm512_roundscale_pd(_mm512_mul_pd(a, inv), kRound), hi));
}

// Writes N (1 to 4) finished pixels of Ch (1 or 3) samples, pixels j and
// j + 1 in Q01, j + 2 and j + 3 in Q23, lane 3 of each dropped.
template <typename Sample>
inline void Put4(__m256i Q01, __m256i Q23, int Ch, Sample* D, int N) {
  const __m512i q = _mm512_inserti64x4(_mm512_castsi256_si512(Q01), Q23, 1);
  const int count = N * Ch;
  if constexpr (sizeof(Sample) == 1) {
    const __m128i pick = Ch == 3 ? _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1)
                                 : _mm_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i b = _mm_shuffle_epi8(_mm512_cvtepi32_epi8(q), pick);
    if (count == 12) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(D), b);
      const std::int32_t w = _mm_extract_epi32(b, 2);
      std::memcpy(D + 8, &w, 4);
    } else {
      _mm_mask_storeu_epi8(D, static_cast<__mmask16>((1u << count) - 1), b);
    }
  } else {
    const __m256i pick = Ch == 3 ? _mm256_setr_epi16(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 0, 0, 0, 0)
                                 : _mm256_setr_epi16(0, 4, 8, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    _mm256_mask_storeu_epi16(D, static_cast<__mmask16>((1u << count) - 1),
                             _mm256_permutexvar_epi16(pick, _mm512_cvtepi32_epi16(q)));
  }
}

template <TIEAreaHKind Kind, typename HT>
void RowH(const TIEAreaCols& T, const double* Px, double Max, HT* H) {
  const __m512d hi = _mm512_set1_pd(Max);
  for (int s = 0; s < T.P; ++s) {
    for (int j = 0; j < T.Dwp; j += 2) {
      const std::size_t i = static_cast<std::size_t>(s) * T.Dwp + j;
      if (s > 0 && T.PW[i] == 0 && T.PW[i + 1] == 0) continue;
      // Taps x - 1 .. x + 2 of column x start at pixel x of the padded row.
      // A unit tap needs no shortcut here: weights of exactly 1 and 0 give
      // the sample itself.
      const double* p = Px + 4 * static_cast<std::size_t>(T.X[i]);
      const double* q = Px + 4 * static_cast<std::size_t>(T.X[i + 1]);
      __m512d r;
      if constexpr (Kind == ahSample) {
        r = Pair(p + 4, q + 4);
      } else if constexpr (Kind == ahLinear) {
        r = _mm512_add_pd(_mm512_mul_pd(Bcast2(&T.W[0][i]), Pair(p + 4, q + 4)),
                          _mm512_mul_pd(Bcast2(&T.W[1][i]), Pair(p + 8, q + 8)));
      } else {
        r = _mm512_add_pd(_mm512_mul_pd(Pair(p, q), Bcast2(&T.W[0][i])),
                          _mm512_mul_pd(Pair(p + 4, q + 4), Bcast2(&T.W[1][i])));
        r = _mm512_add_pd(r, _mm512_mul_pd(Pair(p + 8, q + 8), Bcast2(&T.W[2][i])));
        r = _mm512_add_pd(r, _mm512_mul_pd(Pair(p + 12, q + 12), Bcast2(&T.W[3][i])));
        r = Clamp(r, hi);
        if constexpr (Kind == ahCubicRounded) r = _mm512_roundscale_pd(r, kRound);
      }
      StoreH(H + 4 * i, r);
    }
  }
}

// Adds the slots of every two destination pixels; Sample is void when the
// sums stay in Acc, else the type of the finished samples written to Out.
template <TIEAreaVKind Kind, typename Sample, typename HT>
void Accumulate(const TIEAreaCols& T, int Ch, const void* const Rows[4], const double VW[4], double Max,
                double PH, bool First, double* Acc, double Inv, void* Out) {
  const __m512d ph = _mm512_set1_pd(PH), hi = _mm512_set1_pd(Max), inv = _mm512_set1_pd(Inv);
  const __m512d w0 = _mm512_set1_pd(VW[0]), w1 = _mm512_set1_pd(VW[1]), w2 = _mm512_set1_pd(VW[2]),
                w3 = _mm512_set1_pd(VW[3]);
  const int Dw = T.Dw, P = T.P;
  const std::size_t Dwp = static_cast<std::size_t>(T.Dwp);
  const std::int32_t* X = T.X.data();
  const double* PW = T.PW.data();
  const HT *R0 = static_cast<const HT*>(Rows[0]), *R1 = static_cast<const HT*>(Rows[1]),
           *R2 = static_cast<const HT*>(Rows[2]), *R3 = static_cast<const HT*>(Rows[3]);
  // Pixels j and j + 1 (j even; the tables and rows run to Dwp, a multiple
  // of 4). A slot empty in one of the two adds (V x 0) x PH = 0 to it.
  auto pair = [&](int j) __attribute__((always_inline)) {
    __m512d a = First ? _mm512_setzero_pd() : _mm512_loadu_pd(Acc + 4 * static_cast<std::size_t>(j));
    for (int s = 0; s < P; ++s) {
      const std::size_t i = static_cast<std::size_t>(s) * Dwp + static_cast<std::size_t>(j), o = 4 * i;
      if (s > 0 && PW[i] == 0 && PW[i + 1] == 0) continue;
      __m512d v;
      if constexpr (Kind == avSamples) {
        v = Pair(R0 + 4 * (static_cast<std::size_t>(X[i]) + 1),
                 R0 + 4 * (static_cast<std::size_t>(X[i + 1]) + 1));
      } else if constexpr (Kind == avIdentity) {
        v = LoadH(R0 + o);
      } else if constexpr (Kind == avLinear) {
        v = _mm512_add_pd(_mm512_mul_pd(w0, LoadH(R0 + o)), _mm512_mul_pd(w1, LoadH(R1 + o)));
      } else {
        v = _mm512_add_pd(_mm512_mul_pd(LoadH(R0 + o), w0), _mm512_mul_pd(LoadH(R1 + o), w1));
        v = _mm512_add_pd(v, _mm512_mul_pd(LoadH(R2 + o), w2));
        v = _mm512_add_pd(v, _mm512_mul_pd(LoadH(R3 + o), w3));
        v = Clamp(v, hi);
      }
      a = _mm512_add_pd(a, _mm512_mul_pd(_mm512_mul_pd(v, Bcast2(PW + i)), ph));
    }
    return a;
  };
  for (int j = 0; j < Dw; j += 4) {
    if constexpr (std::is_void_v<Sample>) {
      _mm512_storeu_pd(Acc + 4 * static_cast<std::size_t>(j), pair(j));
      if (j + 2 < Dw) _mm512_storeu_pd(Acc + 4 * static_cast<std::size_t>(j) + 8, pair(j + 2));
    } else {
      const __m256i q01 = Finish(pair(j), inv, hi);
      const __m256i q23 = j + 2 < Dw ? Finish(pair(j + 2), inv, hi) : _mm256_setzero_si256();
      Put4(q01, q23, Ch, static_cast<Sample*>(Out) + static_cast<std::size_t>(j) * Ch, std::min(4, Dw - j));
    }
  }
}

template <TIEAreaVKind Kind, typename HT>
void AccumulateTo(const TIEAreaCols& T, int Ch, const void* const Rows[4], const double VW[4], double Max,
                  double PH, bool First, double* Acc, const TIEAreaOut* Out) {
  if (!Out)
    Accumulate<Kind, void, HT>(T, Ch, Rows, VW, Max, PH, First, Acc, 1, nullptr);
  else if (Out->Bytes == 1)
    Accumulate<Kind, std::uint8_t, HT>(T, Ch, Rows, VW, Max, PH, First, Acc, Out->Inv, Out->D);
  else
    Accumulate<Kind, std::uint16_t, HT>(T, Ch, Rows, VW, Max, PH, First, Acc, Out->Inv, Out->D);
}
}  // namespace

void IEAreaRowH_AVX512(const TIEAreaCols& T, TIEAreaHKind Kind, const double* Px, double Max, void* H) {
  if (T.Single) {
    IEAreaRowH_AVX2(T, Kind, Px, Max, H);
    return;
  }
  switch (Kind) {
    case ahSample: RowH<ahSample>(T, Px, Max, static_cast<float*>(H)); break;
    case ahLinear: RowH<ahLinear>(T, Px, Max, static_cast<double*>(H)); break;
    case ahCubic: RowH<ahCubic>(T, Px, Max, static_cast<double*>(H)); break;
    case ahCubicRounded: RowH<ahCubicRounded>(T, Px, Max, static_cast<float*>(H)); break;
  }
}

void IEAreaAccumulate_AVX512(const TIEAreaCols& T, TIEAreaVKind Kind, bool Compact, int Ch,
                             const void* const Rows[4], const double VW[4], double Max, double PH, bool First,
                             double* Acc, const TIEAreaOut* Out) {
  if (T.Single || (Ch != 1 && Ch != 3)) {
    IEAreaAccumulate_AVX2(T, Kind, Compact, Ch, Rows, VW, Max, PH, First, Acc, Out);
    return;
  }
  using TRun = void (*)(const TIEAreaCols&, int, const void* const*, const double*, double, double, bool,
                        double*, const TIEAreaOut*);
  TRun run = nullptr;
  switch (Kind) {
    case avSamples: run = AccumulateTo<avSamples, double>; break;
    case avIdentity:
      run = Compact ? AccumulateTo<avIdentity, float> : AccumulateTo<avIdentity, double>;
      break;
    case avLinear: run = Compact ? AccumulateTo<avLinear, float> : AccumulateTo<avLinear, double>; break;
    case avCubic: run = Compact ? AccumulateTo<avCubic, float> : AccumulateTo<avCubic, double>; break;
  }
  run(T, Ch, Rows, VW, Max, PH, First, Acc, Out);
}

// --- checked float rows: sixteen channel samples per vector

namespace {
// The first Valid lanes whose distance F from their nearest whole number (F
// is exact in float) is at least Limit, as indices from First into Flags.
inline int Flag(__m512 F, __m512 Limit, int Valid, int First, std::int32_t* Flags) {
  unsigned m = _mm512_cmp_ps_mask(_mm512_abs_ps(F), Limit, _CMP_GE_OQ) & ((1u << Valid) - 1);
  int n = 0;
  for (; m; m &= m - 1) Flags[n++] = First + __builtin_ctz(m);
  return n;
}
}  // namespace

void IEAreaFloatPixels_AVX512(const std::uint8_t* Row, int Sw, int Ch, float* Px) {
  const int n = Sw * Ch;
  float* p = Px + Ch;
  int i = 0;
  for (; i + 16 <= n; i += 16)
    _mm512_storeu_ps(
        p + i,
        _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Row + i)))));
  if (i < n) {
    const __mmask16 m = static_cast<__mmask16>((1u << (n - i)) - 1);
    _mm512_mask_storeu_ps(p + i, m,
                          _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(_mm_maskz_loadu_epi8(m, Row + i))));
  }
  for (int c = 0; c < Ch; ++c) {
    Px[c] = p[c];
    p[n + c] = p[n - Ch + c];
    p[n + Ch + c] = p[n - Ch + c];
  }
}

int IEAreaFloatRowH_AVX512(const TIEAreaFloatTables& T, const float* Px, float* H, std::int32_t* Flags) {
  const int blocks = static_cast<int>(T.HBase.size()), ch = T.Ch, adv = T.HAdv, lanes = T.Lanes;
  const std::int32_t* base = T.HBase.data();
  const std::int32_t* idx = T.HIdx.data();
  const float* wt = T.HW.data();
  const __m512 limit = _mm512_set1_ps(T.HLimit), hi = _mm512_set1_ps(T.Max), zero = _mm512_setzero_ps();
  // Tap t of a lane: its index in the window that starts t pixels on.
  auto tap = [&](const float* p, __m512i i) __attribute__((always_inline)) {
    return _mm512_permutex2var_ps(_mm512_loadu_ps(p), i, _mm512_loadu_ps(p + 16));
  };
  int flagged = 0;
  for (int b = 0; b < blocks; ++b) {
    const float* p = Px + base[b];
    const float* w = wt + static_cast<std::size_t>(b) * 64;
    const __m512i i = _mm512_loadu_si512(idx + static_cast<std::size_t>(b) * 16);
    float* h = H + static_cast<std::size_t>(b) * adv;
    if (T.Cubic) {
      __m512 v = _mm512_mul_ps(tap(p, i), _mm512_loadu_ps(w));
      v = _mm512_fmadd_ps(tap(p + ch, i), _mm512_loadu_ps(w + 16), v);
      v = _mm512_fmadd_ps(tap(p + 2 * ch, i), _mm512_loadu_ps(w + 32), v);
      v = _mm512_fmadd_ps(tap(p + 3 * ch, i), _mm512_loadu_ps(w + 48), v);
      const __m512 r = _mm512_roundscale_ps(v, kRound);
      flagged += Flag(_mm512_sub_ps(v, r), limit, std::min(adv, lanes - b * adv), b * adv, Flags + flagged);
      _mm512_storeu_ps(h, _mm512_min_ps(_mm512_max_ps(r, zero), hi));
    } else {
      _mm512_storeu_ps(h, _mm512_fmadd_ps(tap(p + 2 * ch, i), _mm512_loadu_ps(w + 32),
                                          _mm512_mul_ps(tap(p + ch, i), _mm512_loadu_ps(w + 16))));
    }
  }
  return flagged;
}

namespace {
// The vector of the vertical sums.
struct TVert {
  using T = __m512;
  static constexpr int Lanes = 16;
  static T Zero() { return _mm512_setzero_ps(); }
  static T Set1(float v) { return _mm512_set1_ps(v); }
  static T Load(const float* p) { return _mm512_loadu_ps(p); }
  static void Store(float* p, T v) { _mm512_storeu_ps(p, v); }
  static T Mul(T a, T b) { return _mm512_mul_ps(a, b); }
  static T Fma(T a, T b, T c) { return _mm512_fmadd_ps(a, b, c); }
  static T Add(T a, T b) { return _mm512_add_ps(a, b); }
  static T Min(T a, T b) { return _mm512_min_ps(a, b); }
  static T Max(T a, T b) { return _mm512_max_ps(a, b); }
};
}  // namespace

void IEAreaFloatVert_AVX512(const TIEAreaFloatTables& T, const float* const R[8], const float VW[8],
                            const float Hi[2], int Pieces, int Unit, float* A, int From, int To) {
  IEAreaVert<TVert>(T.Cubic, Pieces, Unit, R, VW, Hi, A, From, To);
}

int IEAreaFloatFinish_AVX512(const TIEAreaFloatTables& T, const float* A, const float* AU, std::uint8_t* D,
                             std::int32_t* Flags, int From, int To) {
  const int lanes = T.OutLanes;
  const std::int32_t* base = T.UBase.data();
  const std::int32_t* idx = T.UIdx.data();
  const float* wt = T.OW.data();
  const __m512 limit = _mm512_set1_ps(T.OLimit), zero = _mm512_setzero_ps();
  int flagged = 0;
  for (int o = From; o < To; ++o) {
    const int first = o * 16;
    const float* a = AU + base[o];
    const float* w = wt + static_cast<std::size_t>(o) * 32;
    const __m512 u =
        _mm512_permutex2var_ps(_mm512_loadu_ps(a), _mm512_loadu_si512(idx + first), _mm512_loadu_ps(a + 16));
    const __m512 v = _mm512_fmadd_ps(u, _mm512_loadu_ps(w + 16),
                                     _mm512_mul_ps(_mm512_loadu_ps(A + first), _mm512_loadu_ps(w)));
    const int valid = std::min(16, lanes - first);
    // v less its nearest whole number (halves to even), exactly.
    flagged += Flag(_mm512_reduce_ps(v, kRound), limit, valid, first, Flags + flagged);
    // Converted halves to even; the bytes saturate at 255 (Max).
    const __m128i b = _mm512_cvtusepi32_epi8(_mm512_cvtps_epi32(_mm512_max_ps(v, zero)));
    if (valid == 16)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(D + first), b);
    else
      _mm_mask_storeu_epi8(D + first, static_cast<__mmask16>((1u << valid) - 1), b);
  }
  return flagged;
}

}  // namespace redozir
