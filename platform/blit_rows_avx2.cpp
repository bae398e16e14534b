// The AVX2 form of the 24- to 32-bit row: eight pixels a step, picked from two
// 16-byte loads by one shuffle and merged with the destination's fourth bytes.
#include <immintrin.h>

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

}  // namespace redozir::blit_rows
