// The red/blue exchange of 3-byte pixels by byte shuffles.
#include <immintrin.h>

#include <cstdint>

namespace redozir {

// Exchanges bytes 0 and 2 of the leading pixels from Src into Dst (which may
// be Src) and answers how many pixels it did; the caller does the rest.
// Five pixels (15 bytes) per step, read and written as 16 bytes: the 16th
// byte is written unchanged and rewritten by the next step, so a step runs
// only while a sixth pixel follows its five.
std::int64_t IECopyAndSwapRBAvx2(std::uint8_t* Dst, const std::uint8_t* Src, std::int64_t Count) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  std::int64_t i = 0;
  for (; i + 6 <= Count; i += 5) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Src + 3 * i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Dst + 3 * i), _mm_shuffle_epi8(v, order));
  }
  return i;
}

}  // namespace redozir
