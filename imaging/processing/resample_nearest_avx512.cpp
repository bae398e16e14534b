// Rows of the nearest stretch in 512-bit vectors: up to 63 bytes per step,
// picked from a window of 128 bytes by one byte permute.
#include <immintrin.h>

#include "imaging/processing/byte_window_avx512.h"
#include "imaging/processing/resample_internal.h"

namespace redozir {

void IEPickRow_AVX512(const TIEPickRowPlan& Plan, std::int64_t RowBytes, const std::uint8_t* S,
                      std::uint8_t* D) {
  const std::uint8_t* c = Plan.Ctl.data();
  for (std::size_t k = 0, n = Plan.Base.size(); k < n; ++k, c += 64) {
    __m512i a, b;
    IELoadByteWindow128(S + Plan.Base[k], RowBytes - Plan.Base[k], a, b);
    const __m512i v = _mm512_permutex2var_epi8(a, _mm512_loadu_si512(c), b);
    _mm512_mask_storeu_epi8(D, IELowBits64(Plan.Len[k]), v);
    D += Plan.Len[k];
  }
}

}  // namespace redozir
