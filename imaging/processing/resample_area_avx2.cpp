// AVX2 engine of the area-weighted resampler: the same double operations in
// the same order as the scalar walk of resample_area.cpp, the channels of one
// pixel side by side in a vector (no fused multiply-add, so every product
// and sum is rounded as there); the same in float, two pixels per vector,
// where every value is exact in float; and the exact integer box sums.
#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "imaging/processing/resample_area_float.h"
#include "imaging/processing/resample_area_vert.h"
#include "imaging/processing/resample_internal.h"

namespace redozir {

namespace {
inline __m256d Clamp(__m256d r, __m256d hi) {
  return _mm256_min_pd(_mm256_max_pd(r, _mm256_setzero_pd()), hi);
}

inline __m256d Bcast(const double* p) { return _mm256_broadcast_sd(p); }

// A finished pixel: the sum times Inv rounded (halves to even), held to 0..Max.
inline __m128i Finish(__m256d a, __m256d inv, __m256d hi) {
  __m256d r = _mm256_round_pd(_mm256_mul_pd(a, inv), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  return _mm256_cvtpd_epi32(Clamp(r, hi));
}

// Writes n (at most 4) finished pixels of Ch channels from their integer lanes.
template <typename Sample>
inline void Put(const __m128i* q, int Ch, Sample* D, int n) {
  if constexpr (sizeof(Sample) == 1) {
    if (Ch == 3 && n == 4) {
      // Lane 3 of every pixel is dropped.
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

inline __m256d LoadH(const double* p) { return _mm256_loadu_pd(p); }
inline __m256d LoadH(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }
inline void StoreH(double* p, __m256d v) { _mm256_storeu_pd(p, v); }
// Only whole numbers below 2^24 are stored this way, which float holds exactly.
inline void StoreH(float* p, __m256d v) { _mm_storeu_ps(p, _mm256_cvtpd_ps(v)); }

template <TIEAreaHKind Kind, typename HT>
void RowH(const TIEAreaCols& T, const double* Px, double Max, HT* H) {
  const __m256d hi = _mm256_set1_pd(Max);
  for (int s = 0; s < T.P; ++s) {
    for (int j = 0; j < T.Dwp; ++j) {
      const std::size_t i = static_cast<std::size_t>(s) * T.Dwp + j;
      // An empty slot keeps the 0 its row was made with; its width 0 makes
      // it add nothing anyway.
      if (s > 0 && T.PW[i] == 0) continue;
      // Taps x - 1 .. x + 2 of column x start at pixel x of the padded row.
      const double* p = Px + 4 * static_cast<std::size_t>(T.X[i]);
      __m256d r;
      if (T.Unit[i] >= 0) {
        r = _mm256_loadu_pd(p + 4 * T.Unit[i]);
      } else if constexpr (Kind == ahSample) {
        r = _mm256_loadu_pd(p + 4);
      } else if constexpr (Kind == ahLinear) {
        r = _mm256_add_pd(_mm256_mul_pd(Bcast(&T.W[0][i]), _mm256_loadu_pd(p + 4)),
                          _mm256_mul_pd(Bcast(&T.W[1][i]), _mm256_loadu_pd(p + 8)));
      } else {
        r = _mm256_add_pd(_mm256_mul_pd(_mm256_loadu_pd(p), Bcast(&T.W[0][i])),
                          _mm256_mul_pd(_mm256_loadu_pd(p + 4), Bcast(&T.W[1][i])));
        r = _mm256_add_pd(r, _mm256_mul_pd(_mm256_loadu_pd(p + 8), Bcast(&T.W[2][i])));
        r = _mm256_add_pd(r, _mm256_mul_pd(_mm256_loadu_pd(p + 12), Bcast(&T.W[3][i])));
        r = Clamp(r, hi);
        if constexpr (Kind == ahCubicRounded)
          r = _mm256_round_pd(r, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
      }
      StoreH(H + 4 * i, r);
    }
  }
}

// Adds the slots of every destination pixel; Sample is void when the sums
// stay in Acc, else the type of the finished samples written to Out. One:
// every pixel has a single slot.
template <TIEAreaVKind Kind, typename Sample, bool One, typename HT>
void Accumulate(const TIEAreaCols& T, int Ch, const void* const Rows[4], const double VW[4], double Max,
                double PH, bool First, double* Acc, double Inv, void* Out) {
  const __m256d ph = _mm256_set1_pd(PH), hi = _mm256_set1_pd(Max), inv = _mm256_set1_pd(Inv);
  const __m256d w0 = _mm256_set1_pd(VW[0]), w1 = _mm256_set1_pd(VW[1]), w2 = _mm256_set1_pd(VW[2]),
                w3 = _mm256_set1_pd(VW[3]);
  const int Dw = T.Dw, P = One ? 1 : T.P;
  const std::size_t Dwp = static_cast<std::size_t>(T.Dwp);
  const std::int32_t* X = T.X.data();
  const double* PW = T.PW.data();
  const HT *R0 = static_cast<const HT*>(Rows[0]), *R1 = static_cast<const HT*>(Rows[1]),
           *R2 = static_cast<const HT*>(Rows[2]), *R3 = static_cast<const HT*>(Rows[3]);
  auto pixel = [&](std::size_t j) __attribute__((always_inline)) {
    __m256d a = First ? _mm256_setzero_pd() : _mm256_loadu_pd(Acc + 4 * j);
    for (int s = 0; s < P; ++s) {
      const std::size_t i = static_cast<std::size_t>(s) * Dwp + j, o = 4 * i;
      // An empty slot would add (V x 0) x PH = 0.
      if (!One && s > 0 && PW[i] == 0) continue;
      __m256d v;
      if constexpr (Kind == avSamples) {
        v = LoadH(R0 + 4 * (static_cast<std::size_t>(X[i]) + 1));
      } else if constexpr (Kind == avIdentity) {
        v = LoadH(R0 + o);
      } else if constexpr (Kind == avLinear) {
        v = _mm256_add_pd(_mm256_mul_pd(w0, LoadH(R0 + o)), _mm256_mul_pd(w1, LoadH(R1 + o)));
      } else {
        v = _mm256_add_pd(_mm256_mul_pd(LoadH(R0 + o), w0), _mm256_mul_pd(LoadH(R1 + o), w1));
        v = _mm256_add_pd(v, _mm256_mul_pd(LoadH(R2 + o), w2));
        v = _mm256_add_pd(v, _mm256_mul_pd(LoadH(R3 + o), w3));
        v = Clamp(v, hi);
      }
      a = _mm256_add_pd(a, _mm256_mul_pd(_mm256_mul_pd(v, Bcast(PW + i)), ph));
    }
    return a;
  };
  for (int j0 = 0; j0 < Dw; j0 += 4) {
    const int n = std::min(4, Dw - j0);
    if constexpr (std::is_void_v<Sample>) {
      for (int k = 0; k < n; ++k) _mm256_storeu_pd(Acc + 4 * static_cast<std::size_t>(j0 + k), pixel(j0 + k));
    } else {
      Sample* d = static_cast<Sample*>(Out) + static_cast<std::size_t>(j0) * Ch;
      __m128i q[4];
      if (n == 4) {
        q[0] = Finish(pixel(j0), inv, hi);
        q[1] = Finish(pixel(j0 + 1), inv, hi);
        q[2] = Finish(pixel(j0 + 2), inv, hi);
        q[3] = Finish(pixel(j0 + 3), inv, hi);
      } else {
        for (int k = 0; k < n; ++k) q[k] = Finish(pixel(j0 + k), inv, hi);
      }
      Put(q, Ch, d, n);
    }
  }
}

template <TIEAreaVKind Kind, bool One, typename HT>
void AccumulateTo(const TIEAreaCols& T, int Ch, const void* const Rows[4], const double VW[4], double Max,
                  double PH, bool First, double* Acc, const TIEAreaOut* Out) {
  if (!Out)
    Accumulate<Kind, void, One, HT>(T, Ch, Rows, VW, Max, PH, First, Acc, 1, nullptr);
  else if (Out->Bytes == 1)
    Accumulate<Kind, std::uint8_t, One, HT>(T, Ch, Rows, VW, Max, PH, First, Acc, Out->Inv, Out->D);
  else
    Accumulate<Kind, std::uint16_t, One, HT>(T, Ch, Rows, VW, Max, PH, First, Acc, Out->Inv, Out->D);
}

template <TIEAreaVKind Kind, typename HT>
void AccumulateAny(const TIEAreaCols& T, int Ch, const void* const Rows[4], const double VW[4], double Max,
                   double PH, bool First, double* Acc, const TIEAreaOut* Out) {
  if (T.P == 1)
    AccumulateTo<Kind, true, HT>(T, Ch, Rows, VW, Max, PH, First, Acc, Out);
  else
    AccumulateTo<Kind, false, HT>(T, Ch, Rows, VW, Max, PH, First, Acc, Out);
}

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
        if constexpr (Kind == ahCubicRounded)
          r = _mm256_round_ps(r, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
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
      __m256 r = _mm256_round_ps(_mm256_mul_ps(a, inv), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
      return _mm256_cvtps_epi32(ClampF(r, hi));
    }
    // The sums are exact in float; their product by the inverse area is
    // taken in double, as the walk takes it.
    return _mm256_set_m128i(Finish(_mm256_cvtps_pd(_mm256_extractf128_ps(a, 1)), invD, hiD),
                            Finish(_mm256_cvtps_pd(_mm256_castps256_ps128(a)), invD, hiD));
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
      Put(q, Ch, static_cast<Sample*>(Out) + static_cast<std::size_t>(j0) * Ch, std::min(4, Dw - j0));
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
  switch (Kind) {
    case ahSample: RowH<ahSample>(T, Px, Max, static_cast<float*>(H)); break;
    case ahLinear: RowH<ahLinear>(T, Px, Max, static_cast<double*>(H)); break;
    case ahCubic: RowH<ahCubic>(T, Px, Max, static_cast<double*>(H)); break;
    case ahCubicRounded: RowH<ahCubicRounded>(T, Px, Max, static_cast<float*>(H)); break;
  }
}

void IEAreaAccumulate_AVX2(const TIEAreaCols& T, TIEAreaVKind Kind, bool Compact, int Ch,
                           const void* const Rows[4], const double VW[4], double Max, double PH, bool First,
                           double* Acc, const TIEAreaOut* Out) {
  // Rows of pixels in their double form are never compact.
  using TRun = void (*)(const TIEAreaCols&, int, const void* const*, const double*, double, double, bool,
                        double*, const TIEAreaOut*);
  TRun run = nullptr;
  if (T.Single) {
    switch (Kind) {
      case avSamples: run = AccumulateFTo<avSamples>; break;
      case avIdentity: run = AccumulateFTo<avIdentity>; break;
      case avLinear: run = AccumulateFTo<avLinear>; break;
      case avCubic: run = AccumulateFTo<avCubic>; break;
    }
    run(T, Ch, Rows, VW, Max, PH, First, Acc, Out);
    return;
  }
  switch (Kind) {
    case avSamples: run = AccumulateAny<avSamples, double>; break;
    case avIdentity:
      run = Compact ? AccumulateAny<avIdentity, float> : AccumulateAny<avIdentity, double>;
      break;
    case avLinear: run = Compact ? AccumulateAny<avLinear, float> : AccumulateAny<avLinear, double>; break;
    case avCubic: run = Compact ? AccumulateAny<avCubic, float> : AccumulateAny<avCubic, double>; break;
  }
  run(T, Ch, Rows, VW, Max, PH, First, Acc, Out);
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
    __m128i q = Finish(a, inv, hi);
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
    _mm_store_si128(reinterpret_cast<__m128i*>(v), Finish(a, inv, hi));
    if (Bytes == 1)
      static_cast<std::uint8_t*>(D)[i] = static_cast<std::uint8_t>(v[0]);
    else
      static_cast<std::uint16_t*>(D)[i] = static_cast<std::uint16_t>(v[0]);
  }
}

// --- checked float rows: eight channel samples per vector

namespace {
// Lanes of the 16 floats at P picked by Idx (0..15; Sel: Idx above 7).
inline __m256 Pick(const float* P, __m256i Idx, __m256 Sel) {
  return _mm256_blendv_ps(_mm256_permutevar8x32_ps(_mm256_loadu_ps(P), Idx),
                          _mm256_permutevar8x32_ps(_mm256_loadu_ps(P + 8), Idx), Sel);
}

inline __m256 PickSel(__m256i Idx) {
  return _mm256_castsi256_ps(_mm256_cmpgt_epi32(Idx, _mm256_set1_epi32(7)));
}

// The first Valid lanes whose distance F from their nearest whole number (F
// is exact in float) is at least Limit, as indices from First into Flags.
inline int Flag(__m256 F, __m256 Limit, int Valid, int First, std::int32_t* Flags) {
  const __m256 d = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), F);
  unsigned m =
      static_cast<unsigned>(_mm256_movemask_ps(_mm256_cmp_ps(d, Limit, _CMP_GE_OQ))) & ((1u << Valid) - 1);
  int n = 0;
  for (; m; m &= m - 1) Flags[n++] = First + __builtin_ctz(m);
  return n;
}

constexpr int kNearest = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;
}  // namespace

void IEAreaFloatPixels_AVX2(const std::uint8_t* Row, int Sw, int Ch, float* Px) {
  const int n = Sw * Ch;
  float* p = Px + Ch;
  int i = 0;
  for (; i + 8 <= n; i += 8)
    _mm256_storeu_ps(
        p + i,
        _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(Row + i)))));
  for (; i < n; ++i) p[i] = Row[i];
  for (int c = 0; c < Ch; ++c) {
    Px[c] = p[c];
    p[n + c] = p[n - Ch + c];
    p[n + Ch + c] = p[n - Ch + c];
  }
}

int IEAreaFloatRowH_AVX2(const TIEAreaFloatTables& T, const float* Px, float* H, std::int32_t* Flags) {
  const int blocks = static_cast<int>(T.HBase.size()), ch = T.Ch, adv = T.HAdv, lanes = T.Lanes;
  const std::int32_t* base = T.HBase.data();
  const std::int32_t* idx = T.HIdx.data();
  const float* wt = T.HW.data();
  const __m256 limit = _mm256_set1_ps(T.HLimit), hi = _mm256_set1_ps(T.Max), zero = _mm256_setzero_ps();
  int flagged = 0;
  for (int b = 0; b < blocks; ++b) {
    // Tap t of a lane: its index in the window that starts t pixels on.
    const float* p = Px + base[b];
    const float* w = wt + static_cast<std::size_t>(b) * 32;
    const __m256i i =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(idx + static_cast<std::size_t>(b) * 8));
    const __m256 sel = PickSel(i);
    float* h = H + static_cast<std::size_t>(b) * adv;
    if (T.Cubic) {
      __m256 v = _mm256_mul_ps(Pick(p, i, sel), _mm256_loadu_ps(w));
      v = _mm256_fmadd_ps(Pick(p + ch, i, sel), _mm256_loadu_ps(w + 8), v);
      v = _mm256_fmadd_ps(Pick(p + 2 * ch, i, sel), _mm256_loadu_ps(w + 16), v);
      v = _mm256_fmadd_ps(Pick(p + 3 * ch, i, sel), _mm256_loadu_ps(w + 24), v);
      const __m256 r = _mm256_round_ps(v, kNearest);
      flagged += Flag(_mm256_sub_ps(v, r), limit, std::min(adv, lanes - b * adv), b * adv, Flags + flagged);
      _mm256_storeu_ps(h, _mm256_min_ps(_mm256_max_ps(r, zero), hi));
    } else {
      _mm256_storeu_ps(h, _mm256_fmadd_ps(Pick(p + 2 * ch, i, sel), _mm256_loadu_ps(w + 16),
                                          _mm256_mul_ps(Pick(p + ch, i, sel), _mm256_loadu_ps(w + 8))));
    }
  }
  return flagged;
}

namespace {
// The vector of the vertical sums.
struct TVert {
  using T = __m256;
  static constexpr int Lanes = 8;
  static T Zero() { return _mm256_setzero_ps(); }
  static T Set1(float v) { return _mm256_set1_ps(v); }
  static T Load(const float* p) { return _mm256_loadu_ps(p); }
  static void Store(float* p, T v) { _mm256_storeu_ps(p, v); }
  static T Mul(T a, T b) { return _mm256_mul_ps(a, b); }
  static T Fma(T a, T b, T c) { return _mm256_fmadd_ps(a, b, c); }
  static T Add(T a, T b) { return _mm256_add_ps(a, b); }
  static T Min(T a, T b) { return _mm256_min_ps(a, b); }
  static T Max(T a, T b) { return _mm256_max_ps(a, b); }
};
}  // namespace

void IEAreaFloatVert_AVX2(const TIEAreaFloatTables& T, const float* const R[8], const float VW[8],
                          const float Hi[2], int Pieces, int Unit, float* A, int From, int To) {
  IEAreaVert<TVert>(T.Cubic, Pieces, Unit, R, VW, Hi, A, From, To);
}

int IEAreaFloatFinish_AVX2(const TIEAreaFloatTables& T, const float* A, const float* AU, std::uint8_t* D,
                           std::int32_t* Flags, int From, int To) {
  const int lanes = T.OutLanes;
  const std::int32_t* base = T.UBase.data();
  const std::int32_t* idx = T.UIdx.data();
  const float* wt = T.OW.data();
  const __m256 limit = _mm256_set1_ps(T.OLimit);
  int flagged = 0;
  for (int o = From; o < To; ++o) {
    const int first = o * 8;
    const __m256i i = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(idx + first));
    const float* w = wt + static_cast<std::size_t>(o) * 16;
    const __m256 v = _mm256_fmadd_ps(Pick(AU + base[o], i, PickSel(i)), _mm256_loadu_ps(w + 8),
                                     _mm256_mul_ps(_mm256_loadu_ps(A + first), _mm256_loadu_ps(w)));
    const int valid = std::min(8, lanes - first);
    flagged += Flag(_mm256_sub_ps(v, _mm256_round_ps(v, kNearest)), limit, valid, first, Flags + flagged);
    // Converted halves to even; the packs saturate to 0..255 (Max).
    const __m256i q = _mm256_cvtps_epi32(v);
    const __m128i h = _mm_packus_epi32(_mm256_castsi256_si128(q), _mm256_extracti128_si256(q, 1));
    const __m128i b = _mm_packus_epi16(h, h);
    if (valid == 8) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(D + first), b);
    } else {
      alignas(16) std::uint8_t tmp[16];
      _mm_store_si128(reinterpret_cast<__m128i*>(tmp), b);
      std::memcpy(D + first, tmp, static_cast<std::size_t>(valid));
    }
  }
  return flagged;
}

}  // namespace redozir
