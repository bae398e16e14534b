// AVX2 rows of the kernel resampler: the same integer sums as the scalar
// rows of resample_kernel.cpp (integer adds in any order give the same
// total), divided exactly through single floats. The 16-row first pass and
// the second pass are written once for both widths
// (resample_kernel_lanes.h); this file gives their 256-bit operations.
#include <immintrin.h>

#include <algorithm>

#include "imaging/processing/resample_internal.h"
#include "imaging/processing/resample_kernel_lanes.h"
#include "imaging/processing/resample_taps_lanes.h"

namespace redozir {

namespace {
// Truncating division of four sums by d, then limited to 0..255. The sums
// are first limited to 0..256 d, which keeps the answer and makes every
// value exact in a float (|d| <= 65535), so the rounded quotient truncates to
// the exact one.
inline __m128i DivClamp4(__m128i s, int d) {
  if (d < 0) {
    s = _mm_sub_epi32(_mm_setzero_si128(), s);
    d = -d;
  }
  s = _mm_max_epi32(s, _mm_setzero_si128());
  s = _mm_min_epi32(s, _mm_set1_epi32(256 * d));
  __m128i q = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(s), _mm_set1_ps(static_cast<float>(d))));
  return _mm_min_epi32(q, _mm_set1_epi32(255));
}

inline __m256i DivClamp8(__m256i s, __m256i lim, __m256 df) {
  s = _mm256_max_epi32(s, _mm256_setzero_si256());
  s = _mm256_min_epi32(s, lim);
  __m256i q = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(s), df));
  return _mm256_min_epi32(q, _mm256_set1_epi32(255));
}

// The passes' vector (resample_kernel_lanes.h): eight 32-bit lanes.
struct TWords {
  using I = __m256i;
  static constexpr int Bytes = 32, Block = 16;
  static constexpr bool Overlap = false;
  static I Zero() { return _mm256_setzero_si256(); }
  static I Set1(int v) { return _mm256_set1_epi32(v); }
  static I Add(I a, I b) { return _mm256_add_epi32(a, b); }
  static I Neg(I a) { return _mm256_sub_epi32(_mm256_setzero_si256(), a); }
  static I Madd(I a, I b) { return _mm256_madd_epi16(a, b); }
  static I LoadA(const std::uint8_t* p) { return _mm256_load_si256(reinterpret_cast<const __m256i*>(p)); }
  static I Widen(const std::uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  }
  static I UnpackLo(I a, I b) { return _mm256_unpacklo_epi16(a, b); }
  static I UnpackHi(I a, I b) { return _mm256_unpackhi_epi16(a, b); }
  struct TDiv {
    __m256i Lim;
    __m256 Df;
    float Rcp;
  };
  static TDiv Divider(int d, float Rcp) {
    return {_mm256_set1_epi32(256 * d), _mm256_set1_ps(static_cast<float>(d)), Rcp};
  }
  // Through the reciprocal where the tables found it exact.
  template <bool Exact>
  static I Divide(I s, const TDiv& D) {
    if (!Exact && D.Rcp == 0) return DivClamp8(s, D.Lim, D.Df);
    s = _mm256_max_epi32(s, _mm256_setzero_si256());
    s = _mm256_min_epi32(s, D.Lim);
    __m256i q = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(s), _mm256_set1_ps(D.Rcp)));
    return _mm256_min_epi32(q, _mm256_set1_epi32(255));
  }
  // The halves come in-lane from the unpacks: bytes 0-3 and 8-11 in Lo,
  // 4-7 and 12-15 in Hi; the packs put them back in order.
  static void PutRow(std::uint8_t* D, I Lo, I Hi) {
    const __m256i p16 = _mm256_packs_epi32(Lo, Hi);
    const __m128i p8 = _mm_packus_epi16(_mm256_castsi256_si128(p16), _mm256_extracti128_si256(p16, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(D), p8);
  }
  static void PutChannel(std::uint8_t* D, const I* Q, const TDiv& Div) {
    __m256i v = _mm256_packs_epi32(Divide<false>(Q[0], Div), Divide<false>(Q[1], Div));
    v = _mm256_permute4x64_epi64(v, 0xD8);
    v = _mm256_permute4x64_epi64(_mm256_packus_epi16(v, v), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(D), _mm256_castsi256_si128(v));
  }
};
}  // namespace

void IEKernelRowH3_AVX2(const TIEResampleTaps& T, const std::uint8_t* S, const std::uint8_t* Tail,
                        std::uint8_t* D) {
  // Pixels 0 and 1 of four go to the low lane, 2 and 3 to the high lane, as
  // words b0 b1 g0 g1 r0 r1 0 0 beside the weights w0 w1 w0 w1 w0 w1 0 0.
  const __m256i shuf = _mm256_setr_epi8(0, -1, 3, -1, 1, -1, 4, -1, 2, -1, 5, -1, -1, -1, -1, -1, 6, -1, 9,
                                        -1, 7, -1, 10, -1, 8, -1, 11, -1, -1, -1, -1, -1);
  const int gstride = T.Stride / 4 * 16;
  // The weighted sums of one destination pixel: blue, green, red, 0.
  auto sums = [&](int x) {
    const std::int16_t* w = T.W3.data() + static_cast<std::size_t>(x) * gstride;
    const std::int64_t off = 3 * static_cast<std::int64_t>(T.Start[x]);
    const std::uint8_t* p = off >= T.Tail3 ? Tail + (off - T.Tail3) : S + off;
    const int groups = (T.Len[x] + 3) / 4;
    __m256i acc0 = _mm256_setzero_si256(), acc1 = _mm256_setzero_si256();
    int g = 0;
    for (; g + 1 < groups; g += 2) {
      __m256i v0 = _mm256_shuffle_epi8(
          _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12 * g))), shuf);
      __m256i v1 = _mm256_shuffle_epi8(
          _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12 * g + 12))),
          shuf);
      acc0 = _mm256_add_epi32(
          acc0, _mm256_madd_epi16(v0, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 16 * g))));
      acc1 = _mm256_add_epi32(
          acc1, _mm256_madd_epi16(v1, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 16 * g + 16))));
    }
    if (g < groups) {
      __m256i v0 = _mm256_shuffle_epi8(
          _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12 * g))), shuf);
      acc0 = _mm256_add_epi32(
          acc0, _mm256_madd_epi16(v0, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 16 * g))));
    }
    acc0 = _mm256_add_epi32(acc0, acc1);
    return _mm_add_epi32(_mm256_castsi256_si128(acc0), _mm256_extracti128_si256(acc0, 1));
  };
  // Pixels go two at a time through the division, one per lane; each is
  // stored as four bytes, the fourth overwritten by the next pixel (the
  // work rows have spare bytes after their end).
  int x = 0;
  for (; x + 1 < T.M; x += 2) {
    __m256i s2 = _mm256_set_m128i(sums(x + 1), sums(x));
    const __m256i d = _mm256_set_m128i(_mm_set1_epi32(T.Sum[x + 1]), _mm_set1_epi32(T.Sum[x]));
    const __m256i da = _mm256_abs_epi32(d);
    s2 = _mm256_sign_epi32(s2, d);
    __m256i q = DivClamp8(s2, _mm256_slli_epi32(da, 8), _mm256_cvtepi32_ps(da));
    q = _mm256_packus_epi16(_mm256_packus_epi32(q, q), q);
    int v0 = _mm256_cvtsi256_si32(q), v1 = _mm_cvtsi128_si32(_mm256_extracti128_si256(q, 1));
    __builtin_memcpy(D + 3 * static_cast<std::size_t>(x), &v0, 4);
    __builtin_memcpy(D + 3 * static_cast<std::size_t>(x) + 3, &v1, 4);
  }
  if (x < T.M) {
    __m128i q = DivClamp4(sums(x), T.Sum[x]);
    q = _mm_packus_epi16(_mm_packus_epi32(q, q), q);
    int v = _mm_cvtsi128_si32(q);
    __builtin_memcpy(D + 3 * static_cast<std::size_t>(x), &v, 4);
  }
}

void IEKernelRowH1_AVX2(const TIEResampleTaps& T, const std::uint8_t* S, const std::uint8_t* Tail,
                        std::uint8_t* D) {
  // Four partial sums of one destination pixel, eight taps at a time.
  auto sums = [&](int x) {
    const std::int16_t* w = T.W.data() + static_cast<std::size_t>(x) * T.Stride;
    const std::int64_t off = T.Start[x];
    const std::uint8_t* p = off >= T.Tail1 ? Tail + (off - T.Tail1) : S + off;
    const int groups = (T.Len[x] + 7) / 8;
    __m128i acc = _mm_setzero_si128();
    for (int g = 0; g < groups; ++g) {
      __m128i v = _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 8 * g)));
      acc =
          _mm_add_epi32(acc, _mm_madd_epi16(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 8 * g))));
    }
    return acc;
  };
  // Four pixels at a time go through one division (a scalar division per
  // pixel cost as much as its taps).
  int x = 0;
  for (; x + 3 < T.M; x += 4) {
    __m128i s4 =
        _mm_hadd_epi32(_mm_hadd_epi32(sums(x), sums(x + 1)), _mm_hadd_epi32(sums(x + 2), sums(x + 3)));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(T.Sum.data() + x));
    const __m128i da = _mm_abs_epi32(d);
    s4 = _mm_sign_epi32(s4, d);
    s4 = _mm_min_epi32(_mm_max_epi32(s4, _mm_setzero_si128()), _mm_slli_epi32(da, 8));
    __m128i q = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(s4), _mm_cvtepi32_ps(da)));
    q = _mm_min_epi32(q, _mm_set1_epi32(255));
    const int v = _mm_cvtsi128_si32(_mm_packus_epi16(_mm_packus_epi32(q, q), q));
    __builtin_memcpy(D + x, &v, 4);
  }
  for (; x < T.M; ++x) {
    __m128i acc = sums(x);
    acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, 0x4E));
    acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, 0xB1));
    D[x] = IEKernelDivClamp1(_mm_cvtsi128_si32(acc), T.Sum[x]);
  }
}

void IEKernelRowV_AVX2(const TIEResampleTaps& T, int y, int R, const std::uint8_t* const* Rows, int Bytes,
                       std::uint8_t* const* Dst) {
  IEKernelRowV<TWords>(T, y, R, Rows, Bytes, Dst);
}

void IEKernelBlockH3_AVX2(const TIEResampleTaps& T, const std::uint8_t* const* Src, int Rows,
                          std::uint8_t* const* Dst, std::vector<std::uint8_t>& Scratch) {
  IEKernelBlockH3<TWords>(T, Src, Rows, Dst, Scratch);
}

std::uint64_t IELanczos3Weights_AVX2(const TIELanczos3Steps& P, double Sin, double Cos, double Centre,
                                     double First, int Count, double* V) {
  return Lanczos3Weights<4>(P, Sin, Cos, Centre, First, Count, V);
}

}  // namespace redozir
