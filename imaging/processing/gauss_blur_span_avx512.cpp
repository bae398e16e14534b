// The gaussian span with AVX-512: the 256-bit loop of gauss_blur_span_avx2
// on 64 outputs a step (every step works within 128-bit lanes, so the same
// sequence gives the same order), each multiply-add of 16-bit pairs added
// to its sum in the same instruction (VNNI: the same integer sums); the rest
// is handed to the 256-bit loop.
#include <immintrin.h>

#include "imaging/processing/gauss_blur_span.h"

namespace redozir {

namespace {

inline __m512i PairWeights(std::int32_t a, std::int32_t b) {
  return _mm512_set1_epi32(static_cast<std::int32_t>((static_cast<std::uint32_t>(b) << 16) |
                                                     (static_cast<std::uint32_t>(a) & 0xFFFF)));
}

inline __m512i Load(const std::uint8_t* p) { return _mm512_loadu_si512(p); }

}  // namespace

void IEConvolveSpanAVX512(const std::uint8_t* const* Src, const std::int32_t* W, int Taps, std::uint8_t* Out,
                          int Count) {
  const int r = Taps / 2;
  const std::uint8_t* const* mid = Src + r;
  std::int32_t c0 = W[r] / 2, c1 = W[r] - c0;
  const __m512i centreW = PairWeights(c0, c1);
  const __m512i round = _mm512_set1_epi32(32768);
  const __m512i lowBytes = _mm512_set1_epi16(0x00FF);
  const __m512i zero = _mm512_setzero_si512();
  int k = 0;
  for (; k + 64 <= Count; k += 64) {
    __m512i c = Load(mid[0] + k);
    __m512i ce = _mm512_and_si512(c, lowBytes), co = _mm512_srli_epi16(c, 8);
    __m512i el = _mm512_dpwssd_epi32(round, _mm512_unpacklo_epi16(ce, ce), centreW);
    __m512i eh = _mm512_dpwssd_epi32(round, _mm512_unpackhi_epi16(ce, ce), centreW);
    __m512i ol = _mm512_dpwssd_epi32(round, _mm512_unpacklo_epi16(co, co), centreW);
    __m512i oh = _mm512_dpwssd_epi32(round, _mm512_unpackhi_epi16(co, co), centreW);
    for (int i = 1; i <= r; i += 2) {
      __m512i a = Load(mid[-i] + k), b = Load(mid[i] + k);
      __m512i e1 = _mm512_add_epi16(_mm512_and_si512(a, lowBytes), _mm512_and_si512(b, lowBytes));
      __m512i o1 = _mm512_add_epi16(_mm512_srli_epi16(a, 8), _mm512_srli_epi16(b, 8));
      __m512i e2 = zero, o2 = zero, wp;
      if (i + 1 <= r) {
        a = Load(mid[-i - 1] + k);
        b = Load(mid[i + 1] + k);
        e2 = _mm512_add_epi16(_mm512_and_si512(a, lowBytes), _mm512_and_si512(b, lowBytes));
        o2 = _mm512_add_epi16(_mm512_srli_epi16(a, 8), _mm512_srli_epi16(b, 8));
        wp = PairWeights(W[r + i], W[r + i + 1]);
      } else {
        wp = PairWeights(W[r + i], 0);
      }
      el = _mm512_dpwssd_epi32(el, _mm512_unpacklo_epi16(e1, e2), wp);
      eh = _mm512_dpwssd_epi32(eh, _mm512_unpackhi_epi16(e1, e2), wp);
      ol = _mm512_dpwssd_epi32(ol, _mm512_unpacklo_epi16(o1, o2), wp);
      oh = _mm512_dpwssd_epi32(oh, _mm512_unpackhi_epi16(o1, o2), wp);
    }
    const __m512i max = _mm512_set1_epi16(255);
    __m512i ev =
        _mm512_min_epu16(_mm512_packus_epi32(_mm512_srli_epi32(el, 16), _mm512_srli_epi32(eh, 16)), max);
    __m512i od =
        _mm512_min_epu16(_mm512_packus_epi32(_mm512_srli_epi32(ol, 16), _mm512_srli_epi32(oh, 16)), max);
    _mm512_storeu_si512(Out + k, _mm512_or_si512(ev, _mm512_slli_epi16(od, 8)));
  }
  if (k < Count) {
    const std::uint8_t* rest[2 * 255 + 1];
    for (int t = 0; t < Taps; ++t) rest[t] = Src[t] + k;
    IEConvolveSpanAVX2(rest, W, Taps, Out + k, Count - k);
  }
}

}  // namespace redozir
