// Rows of the nearest stretch in 512-bit vectors: up to 63 bytes per step,
// picked from a window of 128 bytes by one byte permute.
#include <immintrin.h>

#include "imaging/processing/resample_internal.h"

namespace redozir {

void IEPickRow_AVX512(const TIEPickRowPlan& Plan, std::int64_t RowBytes, const std::uint8_t* S,
                      std::uint8_t* D) {
  auto low = [](std::int64_t n) { return n >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << n) - 1; };
  const std::uint8_t* c = Plan.Ctl.data();
  for (std::size_t k = 0, n = Plan.Base.size(); k < n; ++k, c += 64) {
    const std::uint8_t* s = S + Plan.Base[k];
    _mm_prefetch(reinterpret_cast<const char*>(s) + 2048, _MM_HINT_T0);
    // A window reaching past the row reads only the row's bytes.
    const std::int64_t rem = RowBytes - Plan.Base[k];
    __m512i a, b;
    if (rem >= 128) {
      a = _mm512_loadu_si512(s);
      b = _mm512_loadu_si512(s + 64);
    } else {
      a = _mm512_maskz_loadu_epi8(low(rem), s);
      b = rem > 64 ? _mm512_maskz_loadu_epi8(low(rem - 64), s + 64) : _mm512_setzero_si512();
    }
    const __m512i v = _mm512_permutex2var_epi8(a, _mm512_loadu_si512(c), b);
    _mm512_mask_storeu_epi8(D, low(Plan.Len[k]), v);
    D += Plan.Len[k];
  }
}

}  // namespace redozir
