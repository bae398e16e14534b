// The AVX2 forms of the row copies: eight pixels a step. A 24-bit row's
// pixels are picked from two 16-byte loads by one shuffle; both merge with
// the destination's fourth bytes.
#include <immintrin.h>

#include <cstring>

#include "platform/blit_rows.h"

namespace redozir::blit_rows {

void Row24To32Avx2(std::uint8_t* dst, const std::uint8_t* src, int n) {
  const __m256i pick = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0, 1, 2, -1, 3,
                                        4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m256i fourth = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  int i = 0;
  // The second load reads up to byte 3i + 27: it stays inside the row while
  // at least ten pixels are left.
  for (; i + 10 <= n; i += 8) {
    __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * i));
    __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * i + 12));
    __m256i bgr = _mm256_shuffle_epi8(_mm256_set_m128i(hi, lo), pick);
    __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + 4 * i));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * i),
                        _mm256_or_si256(_mm256_and_si256(d, fourth), bgr));
  }
  Row24To32Scalar(dst + 4 * i, src + 3 * i, n - i);
}

void MoveRow32Avx2(std::uint8_t* dst, const std::uint8_t* src, int n) {
  if (n <= 0 || dst == src) return;
  const __m256i fourth = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  // Each step loads its eight source pixels before it stores over any.
  auto step = [&](int i) {
    __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * i));
    __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + 4 * i));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * i), _mm256_blendv_epi8(s, d, fourth));
  };
  if (dst > src && dst < src + 4 * static_cast<std::ptrdiff_t>(n)) {
    // Moving right over itself: from the end back, the head last.
    int i = n;
    for (; i >= 8; i -= 8) step(i - 8);
    MoveRow32Scalar(dst, src, i);
  } else {
    int i = 0;
    for (; i + 8 <= n; i += 8) step(i);
    MoveRow32Scalar(dst + 4 * i, src + 4 * i, n - i);
  }
}

void HalftoneRowAvx2(const std::uint8_t* const* rows, const double* wy, int nRows, const int* colStart,
                     const int* colByte, const double* colW, int n, std::uint32_t* out) {
  // One pixel's blue, green and red (and a fourth byte, dropped) in the lanes
  // of one vector: each lane adds exactly the products the scalar walk adds
  // for its channel, in the same order.
  const __m256d shift = _mm256_set1_pd(6755399441055744.0), cap = _mm256_set1_pd(255.0);
  for (int i = 0; i < n; ++i) {
    int k0 = colStart[i], k1 = colStart[i + 1];
    if (k0 == k1) {
      out[i] = kNoTaps;
      continue;
    }
    __m256d sum = _mm256_setzero_pd();
    for (int j = 0; j < nRows; ++j) {
      const std::uint8_t* row = rows[j];
      for (int k = k0; k < k1; ++k) {
        int bgrx;
        std::memcpy(&bgrx, row + colByte[k], 4);
        __m256d px = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(bgrx)));
        sum = _mm256_add_pd(sum, _mm256_mul_pd(px, _mm256_set1_pd(wy[j] * colW[k])));
      }
    }
    __m128i c = _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_sub_pd(_mm256_add_pd(sum, shift), shift), cap));
    out[i] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(
        _mm_shuffle_epi8(c, _mm_setr_epi8(0, 4, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1))));
  }
}

}  // namespace redozir::blit_rows
