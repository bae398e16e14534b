// AVX2 rows of the area-weighted resampler: the same double operations in
// the same order as the scalar rows of resample_area.cpp, four samples at a
// time (no fused multiply-add, so every result is rounded as there).
#include <immintrin.h>

#include <cmath>

#include "imaging/processing/resample_internal.h"

void IEAreaLinearRow_AVX2(const double* H0, const double* H1, double TY, double* V, std::size_t n) {
  const __m256d a = _mm256_set1_pd(1 - TY), b = _mm256_set1_pd(TY);
  std::size_t j = 0;
  for (; j + 4 <= n; j += 4)
    _mm256_storeu_pd(V + j, _mm256_add_pd(_mm256_mul_pd(a, _mm256_loadu_pd(H0 + j)),
                                          _mm256_mul_pd(b, _mm256_loadu_pd(H1 + j))));
  for (; j < n; ++j) V[j] = (1 - TY) * H0[j] + TY * H1[j];
}

void IEAreaCubicRow_AVX2(const double* Hm, const double* H0, const double* H1, const double* H2,
                         const double W[4], double Max, double* V, std::size_t n) {
  const __m256d w0 = _mm256_set1_pd(W[0]), w1 = _mm256_set1_pd(W[1]), w2 = _mm256_set1_pd(W[2]),
                w3 = _mm256_set1_pd(W[3]), lo = _mm256_setzero_pd(), hi = _mm256_set1_pd(Max);
  std::size_t j = 0;
  for (; j + 4 <= n; j += 4) {
    __m256d r =
        _mm256_add_pd(_mm256_mul_pd(_mm256_loadu_pd(Hm + j), w0), _mm256_mul_pd(_mm256_loadu_pd(H0 + j), w1));
    r = _mm256_add_pd(r, _mm256_mul_pd(_mm256_loadu_pd(H1 + j), w2));
    r = _mm256_add_pd(r, _mm256_mul_pd(_mm256_loadu_pd(H2 + j), w3));
    r = _mm256_min_pd(_mm256_max_pd(r, lo), hi);
    _mm256_storeu_pd(V + j, r);
  }
  for (; j < n; ++j) {
    double r = Hm[j] * W[0] + H0[j] * W[1] + H1[j] * W[2] + H2[j] * W[3];
    if (r < 0) r = 0;
    if (r > Max) r = Max;
    V[j] = r;
  }
}

void IEAreaAddRow_AVX2(const double* V, const double* PW, double PH, double* Acc, std::size_t n) {
  const __m256d ph = _mm256_set1_pd(PH);
  std::size_t j = 0;
  for (; j + 4 <= n; j += 4)
    _mm256_storeu_pd(
        Acc + j,
        _mm256_add_pd(_mm256_loadu_pd(Acc + j),
                      _mm256_mul_pd(_mm256_mul_pd(_mm256_loadu_pd(V + j), _mm256_loadu_pd(PW + j)), ph)));
  for (; j < n; ++j) Acc[j] += V[j] * PW[j] * PH;
}

void IEAreaStoreRow8_AVX2(const double* Acc, double Inv, std::uint8_t* D, std::size_t n) {
  const __m256d inv = _mm256_set1_pd(Inv), lo = _mm256_setzero_pd(), hi = _mm256_set1_pd(255);
  std::size_t j = 0;
  for (; j + 4 <= n; j += 4) {
    __m256d r = _mm256_round_pd(_mm256_mul_pd(_mm256_loadu_pd(Acc + j), inv),
                                _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    r = _mm256_min_pd(_mm256_max_pd(r, lo), hi);
    __m128i q = _mm256_cvtpd_epi32(r);
    q = _mm_packus_epi16(_mm_packus_epi32(q, q), q);
    int v = _mm_cvtsi128_si32(q);
    __builtin_memcpy(D + j, &v, 4);
  }
  for (; j < n; ++j) {
    double r = std::nearbyint(Acc[j] * Inv);
    D[j] = static_cast<std::uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
  }
}
