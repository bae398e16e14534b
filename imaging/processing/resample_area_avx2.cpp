// AVX2 engine of the area-weighted resampler: the same double operations in
// the same order as the scalar walk of resample_area.cpp, the channels of one
// pixel side by side in a vector (no fused multiply-add, so every product
// and sum is rounded as there); the same in float, two pixels per vector,
// where every value is exact in float; and the exact integer box sums.
// The double rows and the checked float rows are written once for both
// widths (resample_area_lanes.h); this file gives their 256-bit operations.
#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "imaging/processing/resample_area_float.h"
#include "imaging/processing/resample_area_lanes.h"
#include "imaging/processing/resample_internal.h"

namespace redozir {

namespace {
constexpr int kNearest = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;

// The double rows' vector (resample_area_lanes.h): one pixel of four lanes.
struct TPixel {
  using T = __m256d;
  using Q = __m128i;
  static constexpr int Pixels = 1;
  static T Zero() { return _mm256_setzero_pd(); }
  static T Set1(double v) { return _mm256_set1_pd(v); }
  static T Add(T a, T b) { return _mm256_add_pd(a, b); }
  static T Mul(T a, T b) { return _mm256_mul_pd(a, b); }
  static T Clamp(T r, T hi) { return _mm256_min_pd(_mm256_max_pd(r, _mm256_setzero_pd()), hi); }
  static T Round(T r) { return _mm256_round_pd(r, kNearest); }
  static T Load(const double* p) { return _mm256_loadu_pd(p); }
  static T Load(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }
  static void Store(double* p, T v) { _mm256_storeu_pd(p, v); }
  static void Store(float* p, T v) { _mm_storeu_ps(p, _mm256_cvtpd_ps(v)); }
  static T Weight(const double* w) { return _mm256_broadcast_sd(w); }
  static bool Empty(const double* PW) { return PW[0] == 0; }
  static const double* Columns(const double* Px, const std::int32_t* X) {
    return Px + 4 * static_cast<std::size_t>(X[0]);
  }
  static T Column(const double* At, int Off) { return _mm256_loadu_pd(At + Off); }
  static Q Finish(T a, T inv, T hi) { return _mm256_cvtpd_epi32(Clamp(Round(Mul(a, inv)), hi)); }
  // Lane 3 of every pixel is dropped.
  template <typename Sample>
  static void Put(const Q* q, int Ch, Sample* D, int n) {
    if constexpr (sizeof(Sample) == 1) {
      if (Ch == 3 && n == 4) {
        const __m128i keep = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
        __m128i b = _mm_packus_epi16(_mm_packus_epi32(q[0], q[1]), _mm_packus_epi32(q[2], q[3]));
        b = _mm_shuffle_epi8(b, keep);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(D), b);
        std::int32_t w = _mm_extract_epi32(b, 2);
        std::memcpy(D + 8, &w, 4);
        return;
      }
    }
    for (int k = 0; k < n; ++k) {
      alignas(16) std::int32_t v[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(v), q[k]);
      for (int c = 0; c < Ch; ++c) D[k * Ch + c] = static_cast<Sample>(v[c]);
    }
  }
};

// --- float rows: two pixels of four lanes per vector

inline __m256 ClampF(__m256 r, __m256 hi) { return _mm256_min_ps(_mm256_max_ps(r, _mm256_setzero_ps()), hi); }

// Pixel A in the low half, pixel B in the high half.
inline __m256 PairF(const float* A, const float* B) {
  return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(A)), _mm_loadu_ps(B), 1);
}

template <TIEAreaHKind Kind>
void RowHF(const TIEAreaCols& T, const float* Px, double Max, float* H) {
  const __m256 hi = _mm256_set1_ps(static_cast<float>(Max));
  for (int s = 0; s < T.P; ++s) {
    for (int j = 0; j < T.Dwp; j += 2) {
      const std::size_t i = static_cast<std::size_t>(s) * T.Dwp + j, o = 4 * i;
      const float* p = Px + 4 * static_cast<std::size_t>(T.X[i]);
      const float* q = Px + 4 * static_cast<std::size_t>(T.X[i + 1]);
      // Enlarging, both pieces often lie in the same source pixel.
      const bool same = p == q;
      auto tap = [&](int t) __attribute__((always_inline)) {
        return same ? _mm256_broadcast_ps(reinterpret_cast<const __m128*>(p + 4 * t))
                    : PairF(p + 4 * t, q + 4 * t);
      };
      __m256 r;
      if constexpr (Kind == ahSample) {
        r = tap(1);
      } else if constexpr (Kind == ahLinear) {
        r = _mm256_add_ps(_mm256_mul_ps(_mm256_loadu_ps(T.WX[0].data() + o), tap(1)),
                          _mm256_mul_ps(_mm256_loadu_ps(T.WX[1].data() + o), tap(2)));
      } else {
        r = _mm256_add_ps(_mm256_mul_ps(tap(0), _mm256_loadu_ps(T.WX[0].data() + o)),
                          _mm256_mul_ps(tap(1), _mm256_loadu_ps(T.WX[1].data() + o)));
        r = _mm256_add_ps(r, _mm256_mul_ps(tap(2), _mm256_loadu_ps(T.WX[2].data() + o)));
        r = _mm256_add_ps(r, _mm256_mul_ps(tap(3), _mm256_loadu_ps(T.WX[3].data() + o)));
        r = ClampF(r, hi);
        if constexpr (Kind == ahCubicRounded) r = _mm256_round_ps(r, kNearest);
      }
      _mm256_storeu_ps(H + o, r);
    }
  }
}

template <TIEAreaVKind Kind, typename Sample, bool One>
void AccumulateF(const TIEAreaCols& T, int Ch, const void* const Rows[4], const double VW[4], double Max,
                 double PH, bool First, float* Acc, double Inv, void* Out) {
  const __m256 ph = _mm256_set1_ps(static_cast<float>(PH)), hi = _mm256_set1_ps(static_cast<float>(Max)),
               inv = _mm256_set1_ps(static_cast<float>(Inv));
  const __m256 w0 = _mm256_set1_ps(static_cast<float>(VW[0])), w1 = _mm256_set1_ps(static_cast<float>(VW[1])),
               w2 = _mm256_set1_ps(static_cast<float>(VW[2])), w3 = _mm256_set1_ps(static_cast<float>(VW[3]));
  const int Dw = T.Dw, P = One ? 1 : T.P;
  const std::size_t Dwp = static_cast<std::size_t>(T.Dwp);
  const std::int32_t* X = T.X.data();
  const float* PW = T.PWX.data();
  const float *R0 = static_cast<const float*>(Rows[0]), *R1 = static_cast<const float*>(Rows[1]),
              *R2 = static_cast<const float*>(Rows[2]), *R3 = static_cast<const float*>(Rows[3]);
  auto pair = [&](std::size_t j) __attribute__((always_inline)) {
    __m256 a = One || First ? _mm256_setzero_ps() : _mm256_loadu_ps(Acc + 4 * j);
    for (int s = 0; s < P; ++s) {
      const std::size_t i = static_cast<std::size_t>(s) * Dwp + j, o = 4 * i;
      __m256 v;
      if constexpr (Kind == avSamples) {
        v = PairF(R0 + 4 * (static_cast<std::size_t>(X[i]) + 1),
                  R0 + 4 * (static_cast<std::size_t>(X[i + 1]) + 1));
      } else if constexpr (Kind == avIdentity) {
        v = _mm256_loadu_ps(R0 + o);
      } else if constexpr (Kind == avLinear) {
        v = _mm256_add_ps(_mm256_mul_ps(w0, _mm256_loadu_ps(R0 + o)),
                          _mm256_mul_ps(w1, _mm256_loadu_ps(R1 + o)));
      } else {
        v = _mm256_add_ps(_mm256_mul_ps(_mm256_loadu_ps(R0 + o), w0),
                          _mm256_mul_ps(_mm256_loadu_ps(R1 + o), w1));
        v = _mm256_add_ps(v, _mm256_mul_ps(_mm256_loadu_ps(R2 + o), w2));
        v = _mm256_add_ps(v, _mm256_mul_ps(_mm256_loadu_ps(R3 + o), w3));
        v = ClampF(v, hi);
      }
      a = _mm256_add_ps(a, _mm256_mul_ps(_mm256_mul_ps(v, _mm256_loadu_ps(PW + o)), ph));
    }
    return a;
  };
  const __m256d invD = _mm256_set1_pd(Inv), hiD = _mm256_set1_pd(Max);
  const bool exactInv = T.ExactInv;
  auto finish = [&](__m256 a) __attribute__((always_inline)) {
    if (exactInv) {
      __m256 r = _mm256_round_ps(_mm256_mul_ps(a, inv), kNearest);
      return _mm256_cvtps_epi32(ClampF(r, hi));
    }
    // The sums are exact in float; their product by the inverse area is
    // taken in double, as the walk takes it.
    return _mm256_set_m128i(TPixel::Finish(_mm256_cvtps_pd(_mm256_extractf128_ps(a, 1)), invD, hiD),
                            TPixel::Finish(_mm256_cvtps_pd(_mm256_castps256_ps128(a)), invD, hiD));
  };
  for (int j0 = 0; j0 < Dw; j0 += 4) {
    const __m256 a01 = pair(static_cast<std::size_t>(j0)), a23 = pair(static_cast<std::size_t>(j0) + 2);
    if constexpr (std::is_void_v<Sample>) {
      _mm256_storeu_ps(Acc + 4 * static_cast<std::size_t>(j0), a01);
      _mm256_storeu_ps(Acc + 4 * static_cast<std::size_t>(j0) + 8, a23);
    } else {
      const __m256i q01 = finish(a01), q23 = finish(a23);
      const __m128i q[4] = {_mm256_castsi256_si128(q01), _mm256_extracti128_si256(q01, 1),
                            _mm256_castsi256_si128(q23), _mm256_extracti128_si256(q23, 1)};
      TPixel::Put(q, Ch, static_cast<Sample*>(Out) + static_cast<std::size_t>(j0) * Ch, std::min(4, Dw - j0));
    }
  }
}

template <TIEAreaVKind Kind>
void AccumulateFTo(const TIEAreaCols& T, int Ch, const void* const Rows[4], const double VW[4], double Max,
                   double PH, bool First, double* Acc, const TIEAreaOut* Out) {
  float* acc = reinterpret_cast<float*>(Acc);
  if (!Out)
    AccumulateF<Kind, void, false>(T, Ch, Rows, VW, Max, PH, First, acc, 1, nullptr);
  else if (Out->Bytes != 1)
    AccumulateF<Kind, std::uint16_t, false>(T, Ch, Rows, VW, Max, PH, First, acc, Out->Inv, Out->D);
  else if (T.P == 1 && First)
    // The common enlargement: one piece per pixel and per row.
    AccumulateF<Kind, std::uint8_t, true>(T, Ch, Rows, VW, Max, PH, true, acc, Out->Inv, Out->D);
  else
    AccumulateF<Kind, std::uint8_t, false>(T, Ch, Rows, VW, Max, PH, First, acc, Out->Inv, Out->D);
}

inline void Store4(double* P, __m128i V) { _mm256_storeu_pd(P, _mm256_cvtepi32_pd(V)); }
inline void Store4(float* P, __m128i V) { _mm_storeu_ps(P, _mm_cvtepi32_ps(V)); }

template <typename E, typename Sample>
void ToPixels(const Sample* Row, int Sw, int Ch, E* Px) {
  E* p = Px + 4;
  int x = 0;
  if constexpr (sizeof(Sample) == 1) {
    // Four bytes per pixel from the row (the fourth, the next pixel's first,
    // fills the spare lane); the last pixel is read alone.
    if (Ch == 3)
      for (; x + 1 < Sw; ++x) {
        std::int32_t w;
        std::memcpy(&w, Row + 3 * static_cast<std::size_t>(x), 4);
        Store4(p + 4 * static_cast<std::size_t>(x), _mm_cvtepu8_epi32(_mm_cvtsi32_si128(w)));
      }
  }
  for (; x < Sw; ++x) {
    E v[4] = {0, 0, 0, 0};
    for (int c = 0; c < Ch; ++c) v[c] = static_cast<E>(Row[static_cast<std::size_t>(x) * Ch + c]);
    std::memcpy(p + 4 * static_cast<std::size_t>(x), v, sizeof v);
  }
  const std::size_t px = 4 * sizeof(E), last = 4 * static_cast<std::size_t>(Sw - 1);
  std::memcpy(Px, p, px);
  std::memcpy(p + last + 4, p + last, px);
  std::memcpy(p + last + 8, p + last, px);
}
}  // namespace

void IEAreaPixels8_AVX2(const std::uint8_t* Row, int Sw, int Ch, bool Single, double* Px) {
  if (Single)
    ToPixels(Row, Sw, Ch, reinterpret_cast<float*>(Px));
  else
    ToPixels(Row, Sw, Ch, Px);
}

void IEAreaPixels16_AVX2(const std::uint16_t* Row, int Sw, int Ch, bool Single, double* Px) {
  if (Single)
    ToPixels(Row, Sw, Ch, reinterpret_cast<float*>(Px));
  else
    ToPixels(Row, Sw, Ch, Px);
}

void IEAreaRowH_AVX2(const TIEAreaCols& T, TIEAreaHKind Kind, const double* Px, double Max, void* H) {
  if (T.Single) {
    const float* px = reinterpret_cast<const float*>(Px);
    float* h = static_cast<float*>(H);
    switch (Kind) {
      case ahSample: RowHF<ahSample>(T, px, Max, h); break;
      case ahLinear: RowHF<ahLinear>(T, px, Max, h); break;
      case ahCubic: RowHF<ahCubic>(T, px, Max, h); break;
      case ahCubicRounded: RowHF<ahCubicRounded>(T, px, Max, h); break;
    }
    return;
  }
  IEAreaRowH<TPixel>(T, Kind, Px, Max, H);
}

void IEAreaAccumulate_AVX2(const TIEAreaCols& T, TIEAreaVKind Kind, bool Compact, int Ch,
                           const void* const Rows[4], const double VW[4], double Max, double PH, bool First,
                           double* Acc, const TIEAreaOut* Out) {
  if (T.Single) {
    using TRun = void (*)(const TIEAreaCols&, int, const void* const*, const double*, double, double, bool,
                          double*, const TIEAreaOut*);
    TRun run = nullptr;
    switch (Kind) {
      case avSamples: run = AccumulateFTo<avSamples>; break;
      case avIdentity: run = AccumulateFTo<avIdentity>; break;
      case avLinear: run = AccumulateFTo<avLinear>; break;
      case avCubic: run = AccumulateFTo<avCubic>; break;
    }
    run(T, Ch, Rows, VW, Max, PH, First, Acc, Out);
    return;
  }
  IEAreaAccumulate<TPixel>(T, Kind, Compact, Ch, Rows, VW, Max, PH, First, Acc, Out);
}

namespace {
template <typename Sample, bool Unit>
void BoxAddRow(const Sample* Row, std::size_t N, std::uint32_t B, bool First, std::uint32_t* V) {
  const __m256i b = _mm256_set1_epi32(static_cast<int>(B));
  std::size_t i = 0;
  for (; i + 8 <= N; i += 8) {
    __m256i x;
    if constexpr (sizeof(Sample) == 1)
      x = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(Row + i)));
    else
      x = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Row + i)));
    if (!Unit) x = _mm256_mullo_epi32(x, b);
    if (!First) x = _mm256_add_epi32(x, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(V + i)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(V + i), x);
  }
  for (; i < N; ++i) V[i] = (First ? 0 : V[i]) + Row[i] * B;
}

template <typename Sample>
void BoxAddAny(const Sample* Row, std::size_t N, std::uint32_t B, bool First, std::uint32_t* V) {
  // Whole reductions weigh every row 1.
  if (B == 1)
    BoxAddRow<Sample, true>(Row, N, B, First, V);
  else
    BoxAddRow<Sample, false>(Row, N, B, First, V);
}
}  // namespace

void IEAreaBoxAddRow8_AVX2(const std::uint8_t* Row, std::size_t N, std::uint32_t B, bool First,
                           std::uint32_t* V) {
  BoxAddAny(Row, N, B, First, V);
}

void IEAreaBoxAddRow16_AVX2(const std::uint16_t* Row, std::size_t N, std::uint32_t B, bool First,
                            std::uint32_t* V) {
  BoxAddAny(Row, N, B, First, V);
}

void IEAreaBoxCols_AVX2(const std::uint32_t* V, int Ch, int Dw, const std::size_t* First,
                        const std::int32_t* X, const std::uint32_t* W, std::uint32_t* S) {
  if (Ch == 3) {
    for (int j = 0; j < Dw; ++j) {
      __m128i a = _mm_setzero_si128();
      for (std::size_t i = First[j]; i < First[j + 1]; ++i)
        a = _mm_add_epi32(a, _mm_mullo_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(V + X[i])),
                                             _mm_set1_epi32(static_cast<int>(W[i]))));
      // The fourth lane lands on the next pixel's first sample, written next.
      _mm_storeu_si128(reinterpret_cast<__m128i*>(S + 3 * static_cast<std::size_t>(j)), a);
    }
    return;
  }
  for (int j = 0; j < Dw; ++j) {
    for (int c = 0; c < Ch; ++c) {
      std::uint32_t a = 0;
      for (std::size_t i = First[j]; i < First[j + 1]; ++i) a += V[X[i] + c] * W[i];
      S[static_cast<std::size_t>(j) * Ch + c] = a;
    }
  }
}

void IEAreaBoxFinish_AVX2(const std::uint32_t* S, std::size_t N, double Scale, double Inv, double Max,
                          int Bytes, void* D) {
  const __m256d scale = _mm256_set1_pd(Scale), inv = _mm256_set1_pd(Inv), hi = _mm256_set1_pd(Max);
  std::size_t i = 0;
  for (; i + 4 <= N; i += 4) {
    // The sums are below 2^31, so they convert as signed integers.
    __m256d a =
        _mm256_mul_pd(_mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(S + i))), scale);
    __m128i q = TPixel::Finish(a, inv, hi);
    if (Bytes == 1) {
      std::int32_t w = _mm_cvtsi128_si32(_mm_packus_epi16(_mm_packus_epi32(q, q), q));
      std::memcpy(static_cast<std::uint8_t*>(D) + i, &w, 4);
    } else {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(static_cast<std::uint16_t*>(D) + i),
                       _mm_packus_epi32(q, q));
    }
  }
  for (; i < N; ++i) {
    alignas(16) std::int32_t v[4];
    __m256d a = _mm256_mul_pd(_mm256_set1_pd(static_cast<double>(S[i])), scale);
    _mm_store_si128(reinterpret_cast<__m128i*>(v), TPixel::Finish(a, inv, hi));
    if (Bytes == 1)
      static_cast<std::uint8_t*>(D)[i] = static_cast<std::uint8_t>(v[0]);
    else
      static_cast<std::uint16_t*>(D)[i] = static_cast<std::uint16_t>(v[0]);
  }
}

// --- checked float rows: eight channel samples per vector

namespace {
// The checked float rows' vector (resample_area_lanes.h).
struct TLanes {
  using T = __m256;
  static constexpr int Lanes = 8;
  static T Zero() { return _mm256_setzero_ps(); }
  static T Set1(float v) { return _mm256_set1_ps(v); }
  static T Load(const float* p) { return _mm256_loadu_ps(p); }
  static void Store(float* p, T v) { _mm256_storeu_ps(p, v); }
  static T Add(T a, T b) { return _mm256_add_ps(a, b); }
  static T Sub(T a, T b) { return _mm256_sub_ps(a, b); }
  static T Mul(T a, T b) { return _mm256_mul_ps(a, b); }
  static T Fma(T a, T b, T c) { return _mm256_fmadd_ps(a, b, c); }
  static T Min(T a, T b) { return _mm256_min_ps(a, b); }
  static T Max(T a, T b) { return _mm256_max_ps(a, b); }
  static T Round(T v) { return _mm256_round_ps(v, kNearest); }
  static T Frac(T v) { return Sub(v, Round(v)); }
  // An index table (0..15) and which lanes take the window's upper half.
  struct TPick {
    __m256i Idx;
    __m256 Sel;
  };
  static TPick Picks(const std::int32_t* Idx) {
    const __m256i i = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Idx));
    return {i, _mm256_castsi256_ps(_mm256_cmpgt_epi32(i, _mm256_set1_epi32(7)))};
  }
  static T Tap(const float* P, TPick K) {
    return _mm256_blendv_ps(_mm256_permutevar8x32_ps(_mm256_loadu_ps(P), K.Idx),
                            _mm256_permutevar8x32_ps(_mm256_loadu_ps(P + 8), K.Idx), K.Sel);
  }
  static T FromBytes(const std::uint8_t* Row) {
    return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(Row))));
  }
  static void FromBytesTail(const std::uint8_t* Row, int n, float* P) {
    for (int i = 0; i < n; ++i) P[i] = Row[i];
  }
  static unsigned Far(T F, T Limit) {
    const __m256 d = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), F);
    return static_cast<unsigned>(_mm256_movemask_ps(_mm256_cmp_ps(d, Limit, _CMP_GE_OQ)));
  }
  // Converted halves to even; the packs saturate to 0..255.
  static void PutBytes(std::uint8_t* D, T v, int Valid) {
    const __m256i q = _mm256_cvtps_epi32(v);
    const __m128i h = _mm_packus_epi32(_mm256_castsi256_si128(q), _mm256_extracti128_si256(q, 1));
    const __m128i b = _mm_packus_epi16(h, h);
    if (Valid == 8) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(D), b);
    } else {
      alignas(16) std::uint8_t tmp[16];
      _mm_store_si128(reinterpret_cast<__m128i*>(tmp), b);
      std::memcpy(D, tmp, static_cast<std::size_t>(Valid));
    }
  }
};
}  // namespace

void IEAreaFloatPixels_AVX2(const std::uint8_t* Row, int Sw, int Ch, float* Px) {
  IEAreaFloatPixels<TLanes>(Row, Sw, Ch, Px);
}

int IEAreaFloatRowH_AVX2(const TIEAreaFloatTables& T, const float* Px, float* H, std::int32_t* Flags) {
  return IEAreaFloatRowH<TLanes>(T, Px, H, Flags);
}

void IEAreaFloatVert_AVX2(const TIEAreaFloatTables& T, const float* const R[8], const float VW[8],
                          const float Hi[2], int Pieces, int Unit, float* A, int From, int To) {
  IEAreaVert<TLanes>(T.Cubic, Pieces, Unit, R, VW, Hi, A, From, To);
}

int IEAreaFloatFinish_AVX2(const TIEAreaFloatTables& T, const float* A, const float* AU, std::uint8_t* D,
                           std::int32_t* Flags, int From, int To) {
  return IEAreaFloatFinish<TLanes>(T, A, AU, D, Flags, From, To);
}

}  // namespace redozir
