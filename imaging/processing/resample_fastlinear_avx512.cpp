// The box rows of the fast linear reduction in 512-bit vectors: ten pixels
// of three channels or 32 of one per step, every tap picked from one window of 128 bytes by a byte permute,
// the same truncating averages as the scalar rows.
#include <immintrin.h>

#include <algorithm>

#include "imaging/processing/byte_window_avx512.h"
#include "imaging/processing/resample_internal.h"

namespace redozir {

void IEBoxRowPlan_AVX512(int Ch, const int* Left, const int* Right, int sw, int dw, TIEBoxRowPlan& Plan) {
  Plan = TIEBoxRowPlan{};
  if (Ch != 1 && Ch != 3) return;
  // A step fills the 16-bit words of one vector with whole pixels.
  const int U = Plan.Unit = 32 / Ch, words = U * Ch;
  Plan.Ch = Ch;
  int most = 2;
  for (int x = 0; x < dw; ++x) most = std::max(most, Right[x] - Left[x] + 1);
  const int K = Plan.MaxTaps = std::min(most, 16);
  for (int x0 = 0; x0 + U <= dw; x0 += U) {
    bool ok = true;
    int taps = 0;
    for (int i = 0; i < U && ok; ++i) {
      const int cnt = Right[x0 + i] - Left[x0 + i] + 1;
      ok = cnt >= 2 && cnt <= 16;
      taps = std::max(taps, cnt);
    }
    // Every tap of the step within 128 bytes of the first.
    const int base = Ch * Left[x0];
    if (!ok || Ch * Right[x0 + U - 1] + Ch - 1 - base > 127) break;
    Plan.Base.push_back(base);
    Plan.Taps.push_back(taps);
    const std::size_t c0 = Plan.Ctl.size(), m0 = Plan.Mask.size();
    Plan.Ctl.resize(c0 + 64, 0);
    Plan.Mask.resize(m0 + static_cast<std::size_t>(K), 0);
    // Word w (pixel w / Ch, channel w % Ch) takes its byte into the low half.
    for (int w = 0; w < 32; ++w) {
      const int x = x0 + w / Ch, cnt = w < words ? Right[x] - Left[x] + 1 : 0;
      if (w < words)
        Plan.Ctl[c0 + 2 * static_cast<std::size_t>(w)] =
            static_cast<std::uint8_t>(Ch * Left[x] + w % Ch - base);
      Plan.Mul.push_back(w < words ? static_cast<std::uint16_t>((65536 + cnt - 1) / cnt) : 0);
      for (int k = 0; k < cnt; ++k)
        Plan.Mask[m0 + static_cast<std::size_t>(k)] |= std::uint64_t(1) << (2 * w);
    }
    Plan.Lim = x0 + U;
  }
}

void IEBoxRowH_AVX512(const TIEBoxRowPlan& Plan, int sw, const std::uint8_t* S, std::uint8_t* O) {
  const std::int64_t rowBytes = Plan.Ch * static_cast<std::int64_t>(sw);
  const __m512i step = _mm512_set1_epi8(static_cast<char>(Plan.Ch));
  const __mmask32 out = Plan.Ch == 3 ? 0x3FFFFFFF : 0xFFFFFFFF;
  const std::size_t K = static_cast<std::size_t>(Plan.MaxTaps);
  const std::size_t stepBytes = static_cast<std::size_t>(Plan.Unit) * Plan.Ch;
  for (std::size_t u = 0, n = Plan.Base.size(); u < n; ++u, O += stepBytes) {
    __m512i a, b;
    IELoadByteWindow128(S + Plan.Base[u], rowBytes - Plan.Base[u], a, b);
    __m512i ctl = _mm512_loadu_si512(Plan.Ctl.data() + 64 * u);
    const std::uint64_t* m = Plan.Mask.data() + K * u;
    __m512i acc = _mm512_setzero_si512();
    for (int k = 0, taps = Plan.Taps[u]; k < taps; ++k) {
      acc = _mm512_add_epi16(acc, _mm512_maskz_permutex2var_epi8(m[k], a, ctl, b));
      ctl = _mm512_add_epi8(ctl, step);
    }
    const __m512i q = _mm512_mulhi_epu16(acc, _mm512_loadu_si512(Plan.Mul.data() + 32 * u));
    _mm256_mask_storeu_epi8(O, out, _mm512_cvtepi16_epi8(q));
  }
}

void IELerpRowPlan_AVX512(int Ch, const int* Left, const int* Frac, int sw, int dw, TIELerpRowPlan& Plan) {
  Plan = TIELerpRowPlan{};
  if (Ch != 1 && Ch != 3) return;
  const int U = Plan.Unit = 32 / Ch, words = U * Ch;
  Plan.Ch = Ch;
  for (int x0 = 0; x0 + U <= dw; x0 += U) {
    // Both neighbours of the step within 128 bytes of the first.
    const int base = Ch * Left[x0];
    if (Ch * std::min(Left[x0 + U - 1] + 1, sw - 1) + Ch - 1 - base > 127) break;
    Plan.Base.push_back(base);
    const std::size_t c0 = Plan.Ctl.size(), w0 = Plan.W.size();
    Plan.Ctl.resize(c0 + 128, 0);
    Plan.W.resize(w0 + 32, 0);
    for (int w = 0; w < words; ++w) {
      const int x = x0 + w / Ch, c = w % Ch, f = Frac[x];
      Plan.Ctl[c0 + 2 * static_cast<std::size_t>(w)] = static_cast<std::uint8_t>(Ch * Left[x] + c - base);
      Plan.Ctl[c0 + 64 + 2 * static_cast<std::size_t>(w)] =
          static_cast<std::uint8_t>(Ch * std::min(Left[x] + 1, sw - 1) + c - base);
      // Word w is pair (w & 3) of the low or high unpacking (w & 4) of its
      // 128-bit lane (w shr 3).
      const std::size_t at = static_cast<std::size_t>((w & 4) ? 16 : 0) +
                             4 * static_cast<std::size_t>(w >> 3) + static_cast<std::size_t>(w & 3);
      Plan.W[w0 + at] = static_cast<std::int32_t>((f >> 2) | ((f & 3) << 16));
    }
    Plan.Lim = x0 + U;
  }
}

void IELerpRowH_AVX512(const TIELerpRowPlan& Plan, int sw, const std::uint8_t* S, std::uint8_t* O) {
  const std::int64_t rowBytes = Plan.Ch * static_cast<std::int64_t>(sw);
  const __mmask64 low = 0x5555555555555555ull;
  const __mmask32 out = Plan.Ch == 3 ? 0x3FFFFFFF : 0xFFFFFFFF;
  const std::size_t stepBytes = static_cast<std::size_t>(Plan.Unit) * Plan.Ch;
  for (std::size_t u = 0, n = Plan.Base.size(); u < n; ++u, O += stepBytes) {
    __m512i a, b;
    IELoadByteWindow128(S + Plan.Base[u], rowBytes - Plan.Base[u], a, b);
    const std::uint8_t* c = Plan.Ctl.data() + 128 * u;
    const __m512i c0 = _mm512_maskz_permutex2var_epi8(low, a, _mm512_loadu_si512(c), b);
    const __m512i c1 = _mm512_maskz_permutex2var_epi8(low, a, _mm512_loadu_si512(c + 64), b);
    // (c1 - c0) x f as one multiply-add of words: 4 (c1 - c0) x (f shr 2)
    // + (c1 - c0) x (f and 3), then shifted right by 17 (rounding down).
    const __m512i d = _mm512_sub_epi16(c1, c0), d4 = _mm512_slli_epi16(d, 2);
    const std::int32_t* w = Plan.W.data() + 32 * u;
    const __m512i lo =
        _mm512_srai_epi32(_mm512_madd_epi16(_mm512_unpacklo_epi16(d4, d), _mm512_loadu_si512(w)), 17);
    const __m512i hi =
        _mm512_srai_epi32(_mm512_madd_epi16(_mm512_unpackhi_epi16(d4, d), _mm512_loadu_si512(w + 16)), 17);
    const __m512i r = _mm512_add_epi16(_mm512_packs_epi32(lo, hi), c0);
    _mm256_mask_storeu_epi8(O, out, _mm512_cvtepi16_epi8(r));
  }
}

}  // namespace redozir
