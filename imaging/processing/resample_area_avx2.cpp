// AVX2 engine of the area-weighted resampler: the same double operations in
// the same order as the scalar walk of resample_area.cpp, the channels of one
// pixel side by side in a vector (no fused multiply-add, so every product
// and sum is rounded as there), and the exact integer box sums.
#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "imaging/processing/resample_internal.h"

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

template <typename Sample>
void ToPixels(const Sample* Row, int Sw, int Ch, double* Px) {
  double* p = Px + 4;
  int x = 0;
  if constexpr (sizeof(Sample) == 1) {
    // Four bytes per pixel from the row (the fourth, the next pixel's first,
    // fills the spare lane); the last pixel is read alone.
    if (Ch == 3)
      for (; x + 1 < Sw; ++x) {
        std::int32_t w;
        std::memcpy(&w, Row + 3 * static_cast<std::size_t>(x), 4);
        _mm256_storeu_pd(p + 4 * static_cast<std::size_t>(x),
                         _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(w))));
      }
  }
  for (; x < Sw; ++x) {
    alignas(32) double v[4] = {0, 0, 0, 0};
    for (int c = 0; c < Ch; ++c) v[c] = Row[static_cast<std::size_t>(x) * Ch + c];
    _mm256_storeu_pd(p + 4 * static_cast<std::size_t>(x), _mm256_load_pd(v));
  }
  _mm256_storeu_pd(Px, _mm256_loadu_pd(p));
  const __m256d last = _mm256_loadu_pd(p + 4 * static_cast<std::size_t>(Sw - 1));
  _mm256_storeu_pd(p + 4 * static_cast<std::size_t>(Sw), last);
  _mm256_storeu_pd(p + 4 * static_cast<std::size_t>(Sw) + 4, last);
}
}  // namespace

void IEAreaPixels8_AVX2(const std::uint8_t* Row, int Sw, int Ch, double* Px) { ToPixels(Row, Sw, Ch, Px); }

void IEAreaPixels16_AVX2(const std::uint16_t* Row, int Sw, int Ch, double* Px) { ToPixels(Row, Sw, Ch, Px); }

void IEAreaRowH_AVX2(const TIEAreaCols& T, TIEAreaHKind Kind, const double* Px, double Max, void* H) {
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
template <typename Sample>
void BoxAddRow(const Sample* Row, std::size_t N, std::uint32_t B, bool First, std::uint32_t* V) {
  const __m256i b = _mm256_set1_epi32(static_cast<int>(B));
  std::size_t i = 0;
  for (; i + 8 <= N; i += 8) {
    __m256i x;
    if constexpr (sizeof(Sample) == 1)
      x = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(Row + i)));
    else
      x = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Row + i)));
    x = _mm256_mullo_epi32(x, b);
    if (!First) x = _mm256_add_epi32(x, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(V + i)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(V + i), x);
  }
  for (; i < N; ++i) V[i] = (First ? 0 : V[i]) + Row[i] * B;
}
}  // namespace

void IEAreaBoxAddRow8_AVX2(const std::uint8_t* Row, std::size_t N, std::uint32_t B, bool First,
                           std::uint32_t* V) {
  BoxAddRow(Row, N, B, First, V);
}

void IEAreaBoxAddRow16_AVX2(const std::uint16_t* Row, std::size_t N, std::uint32_t B, bool First,
                            std::uint32_t* V) {
  BoxAddRow(Row, N, B, First, V);
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
