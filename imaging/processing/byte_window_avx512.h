// A window of 128 source bytes for the byte permutes of the 512-bit rows.
// Included only by sources built for AVX-512.
#pragma once

#include <immintrin.h>

#include <cstdint>

namespace redozir {

// The low n bits set, all 64 from n = 64 on.
inline std::uint64_t IELowBits64(std::int64_t n) {
  return n >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << n) - 1;
}

// The 128 bytes at s into a and b, prefetching the stream ahead. A window
// reaching past the row (Rem bytes of it left) reads only the row's bytes
// and leaves the rest zero.
inline void IELoadByteWindow128(const std::uint8_t* s, std::int64_t Rem, __m512i& a, __m512i& b) {
  // The rows stream from memory faster when asked for ahead of the permutes.
  _mm_prefetch(reinterpret_cast<const char*>(s) + 2048, _MM_HINT_T0);
  if (Rem >= 128) {
    a = _mm512_loadu_si512(s);
    b = _mm512_loadu_si512(s + 64);
  } else {
    a = _mm512_maskz_loadu_epi8(IELowBits64(Rem), s);
    b = Rem > 64 ? _mm512_maskz_loadu_epi8(IELowBits64(Rem - 64), s + 64) : _mm512_setzero_si512();
  }
}

}  // namespace redozir
