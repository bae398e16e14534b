// The gaussian span with AVX2: mirrored taps are added first (the kernel is
// symmetric), then pairs of taps go through one multiply-add of 16-bit
// values; the integer sums are those of the scalar loop, so are the bytes.
#include <immintrin.h>

#include "imaging/processing/gauss_blur_span.h"

namespace redozir {

bool IEConvolveSpanAVX2Fits(const std::int32_t* W, int Taps) {
  if (Taps < 1 || Taps % 2 == 0 || Taps > 511) return false;
  int r = Taps / 2;
  if (W[r] < 0 || W[r] > 65534) return false;
  for (int i = 1; i <= r; ++i)
    if (W[r - i] != W[r + i] || W[r + i] < 0 || W[r + i] > 32767) return false;
  return true;
}

namespace {

inline __m256i Load16(const std::uint8_t* p) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

inline __m256i PairWeights(std::int32_t a, std::int32_t b) {
  return _mm256_set1_epi32(static_cast<std::int32_t>((static_cast<std::uint32_t>(b) << 16) |
                                                     (static_cast<std::uint32_t>(a) & 0xFFFF)));
}

}  // namespace

void IEConvolveSpanAVX2(const std::uint8_t* const* Src, const std::int32_t* W, int Taps, std::uint8_t* Out,
                        int Count) {
  const int r = Taps / 2;
  const std::uint8_t* const* mid = Src + r;
  // The centre weight split in two halves that fit 16 bits, applied to the
  // centre byte twice.
  std::int32_t c0 = W[r] / 2, c1 = W[r] - c0;
  const __m256i centreW = PairWeights(c0, c1);
  const __m256i round = _mm256_set1_epi32(32768);
  int k = 0;
  // 32 outputs a step: the even and odd bytes of each tap are widened by a
  // mask and a shift (no shuffles), the pairs of taps interleaved for the
  // multiply-add, and the order restored once at the end.
  const __m256i lowBytes = _mm256_set1_epi16(0x00FF);
  const __m256i zero = _mm256_setzero_si256();
  for (; k + 32 <= Count; k += 32) {
    __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mid[0] + k));
    __m256i ce = _mm256_and_si256(c, lowBytes), co = _mm256_srli_epi16(c, 8);
    __m256i el = _mm256_add_epi32(round, _mm256_madd_epi16(_mm256_unpacklo_epi16(ce, ce), centreW));
    __m256i eh = _mm256_add_epi32(round, _mm256_madd_epi16(_mm256_unpackhi_epi16(ce, ce), centreW));
    __m256i ol = _mm256_add_epi32(round, _mm256_madd_epi16(_mm256_unpacklo_epi16(co, co), centreW));
    __m256i oh = _mm256_add_epi32(round, _mm256_madd_epi16(_mm256_unpackhi_epi16(co, co), centreW));
    for (int i = 1; i <= r; i += 2) {
      __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mid[-i] + k));
      __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mid[i] + k));
      __m256i e1 = _mm256_add_epi16(_mm256_and_si256(a, lowBytes), _mm256_and_si256(b, lowBytes));
      __m256i o1 = _mm256_add_epi16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8));
      __m256i e2 = zero, o2 = zero, wp;
      if (i + 1 <= r) {
        a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mid[-i - 1] + k));
        b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mid[i + 1] + k));
        e2 = _mm256_add_epi16(_mm256_and_si256(a, lowBytes), _mm256_and_si256(b, lowBytes));
        o2 = _mm256_add_epi16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8));
        wp = PairWeights(W[r + i], W[r + i + 1]);
      } else {
        wp = PairWeights(W[r + i], 0);
      }
      el = _mm256_add_epi32(el, _mm256_madd_epi16(_mm256_unpacklo_epi16(e1, e2), wp));
      eh = _mm256_add_epi32(eh, _mm256_madd_epi16(_mm256_unpackhi_epi16(e1, e2), wp));
      ol = _mm256_add_epi32(ol, _mm256_madd_epi16(_mm256_unpacklo_epi16(o1, o2), wp));
      oh = _mm256_add_epi32(oh, _mm256_madd_epi16(_mm256_unpackhi_epi16(o1, o2), wp));
    }
    // Even outputs in order as words, odd ones likewise; limited to 255 as
    // the scalar loop does, then each odd byte above its even neighbour.
    const __m256i max = _mm256_set1_epi16(255);
    __m256i ev =
        _mm256_min_epu16(_mm256_packus_epi32(_mm256_srli_epi32(el, 16), _mm256_srli_epi32(eh, 16)), max);
    __m256i od =
        _mm256_min_epu16(_mm256_packus_epi32(_mm256_srli_epi32(ol, 16), _mm256_srli_epi32(oh, 16)), max);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Out + k), _mm256_or_si256(ev, _mm256_slli_epi16(od, 8)));
  }
  for (; k + 16 <= Count; k += 16) {
    __m256i p = Load16(mid[0] + k);
    __m256i lo = _mm256_add_epi32(round, _mm256_madd_epi16(_mm256_unpacklo_epi16(p, p), centreW));
    __m256i hi = _mm256_add_epi32(round, _mm256_madd_epi16(_mm256_unpackhi_epi16(p, p), centreW));
    int i = 1;
    for (; i + 1 <= r; i += 2) {
      __m256i s1 = _mm256_add_epi16(Load16(mid[-i] + k), Load16(mid[i] + k));
      __m256i s2 = _mm256_add_epi16(Load16(mid[-i - 1] + k), Load16(mid[i + 1] + k));
      __m256i wp = PairWeights(W[r + i], W[r + i + 1]);
      lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(s1, s2), wp));
      hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(s1, s2), wp));
    }
    if (i <= r) {
      __m256i s1 = _mm256_add_epi16(Load16(mid[-i] + k), Load16(mid[i] + k));
      __m256i wp = PairWeights(W[r + i], 0);
      lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(s1, s1), wp));
      hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(s1, s1), wp));
    }
    // unpacklo / unpackhi split each 128-bit half; packus puts them back in order.
    __m256i words = _mm256_packus_epi32(_mm256_srli_epi32(lo, 16), _mm256_srli_epi32(hi, 16));
    __m128i bytes = _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + k), bytes);
  }
  if (k < Count) {
    const std::uint8_t* rest[2 * 255 + 1];
    for (int t = 0; t < Taps; ++t) rest[t] = Src[t] + k;
    IEConvolveSpanScalar(rest, W, Taps, Out + k, Count - k);
  }
}

}  // namespace redozir
