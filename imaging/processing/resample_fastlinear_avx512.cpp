// The rows of the fast linear resampler in 512-bit vectors: box averages
// of a reduction (ten pixels of three channels or 32 of one per step, every
// tap picked from one window of 128 bytes by a byte permute), interpolation
// across, and the reduction to exactly half; the same truncating averages
// and 17-bit interpolation as the scalar rows.
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
  // Taps go in pairs: the two of a word side by side for one multiply-add.
  const int K = Plan.MaxTaps = (std::min(most, 16) + 1) / 2;
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
    Plan.Taps.push_back((taps + 1) / 2);
    const std::size_t c0 = Plan.Ctl.size(), m0 = Plan.Mask.size();
    Plan.Ctl.resize(c0 + 64, 0);
    Plan.Mask.resize(m0 + static_cast<std::size_t>(K), 0);
    // Word w (pixel w / Ch, channel w % Ch) takes the bytes of taps 2p and
    // 2p + 1 into its low and high halves (the high one past the last tap
    // masked off: its index may point anywhere).
    for (int w = 0; w < 32; ++w) {
      const int x = x0 + w / Ch, cnt = w < words ? Right[x] - Left[x] + 1 : 0;
      if (w < words) {
        const int first = Ch * Left[x] + w % Ch - base;
        Plan.Ctl[c0 + 2 * static_cast<std::size_t>(w)] = static_cast<std::uint8_t>(first);
        Plan.Ctl[c0 + 2 * static_cast<std::size_t>(w) + 1] = static_cast<std::uint8_t>(first + Ch);
      }
      Plan.Mul.push_back(w < words ? static_cast<std::uint16_t>((65536 + cnt - 1) / cnt) : 0);
      for (int k = 0; k < cnt; ++k)
        Plan.Mask[m0 + static_cast<std::size_t>(k / 2)] |= std::uint64_t(1) << (2 * w + (k & 1));
    }
    Plan.Lim = x0 + U;
  }
}

void IEBoxRowH_AVX512(const TIEBoxRowPlan& Plan, int sw, const std::uint8_t* S, std::uint8_t* O) {
  const std::int64_t rowBytes = Plan.Ch * static_cast<std::int64_t>(sw);
  const __m512i step = _mm512_set1_epi8(static_cast<char>(2 * Plan.Ch)), ones = _mm512_set1_epi8(1);
  const __mmask32 out = Plan.Ch == 3 ? 0x3FFFFFFF : 0xFFFFFFFF;
  const std::size_t K = static_cast<std::size_t>(Plan.MaxTaps);
  const std::size_t stepBytes = static_cast<std::size_t>(Plan.Unit) * Plan.Ch;
  for (std::size_t u = 0, n = Plan.Base.size(); u < n; ++u, O += stepBytes) {
    __m512i a, b;
    IELoadByteWindow128(S + Plan.Base[u], rowBytes - Plan.Base[u], a, b);
    __m512i ctl = _mm512_loadu_si512(Plan.Ctl.data() + 64 * u);
    const std::uint64_t* m = Plan.Mask.data() + K * u;
    __m512i acc = _mm512_setzero_si512();
    for (int k = 0, pairs = Plan.Taps[u]; k < pairs; ++k) {
      acc =
          _mm512_add_epi16(acc, _mm512_maddubs_epi16(_mm512_maskz_permutex2var_epi8(m[k], a, ctl, b), ones));
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

namespace {
// s div 3 for every word s below 2^16: (s x 43691) shr 17.
inline __m512i Div3(__m512i s) {
  return _mm512_srli_epi16(_mm512_mulhi_epu16(s, _mm512_set1_epi16(static_cast<short>(0xAAAB))), 1);
}

// Permute controls of the reduction to half, three channels: 20 destination
// pixels a step, byte j of them (j = 0 .. 59) from source bytes p, p + 3 and
// p + 6 of a window of 128, p = 2j - j mod 3. Words 0 .. 29 of the low and
// the high vector hold bytes 0 .. 29 and 30 .. 59 (words 30 and 31 repeat
// word 29); AB puts the first two taps of a word side by side for one
// multiply-add, C the third in its low byte; Pack gathers the low bytes of
// the 60 words.
struct THalf3Ctl {
  std::uint8_t AB[128], C[128], Pack[64];
};
constexpr THalf3Ctl kHalf3 = [] {
  THalf3Ctl t{};
  for (int h = 0; h < 2; ++h)
    for (int w = 0; w < 32; ++w) {
      const int j = 30 * h + (w < 30 ? w : 29), p = 2 * j - j % 3;
      t.AB[64 * h + 2 * w] = static_cast<std::uint8_t>(p);
      t.AB[64 * h + 2 * w + 1] = static_cast<std::uint8_t>(p + 3);
      t.C[64 * h + 2 * w] = static_cast<std::uint8_t>(p + 6);
    }
  for (int k = 0; k < 64; ++k)
    t.Pack[k] = static_cast<std::uint8_t>(k < 30 ? 2 * k : 64 + 2 * (k < 60 ? k - 30 : 29));
  return t;
}();

template <bool Out>
std::size_t Half3(const std::uint8_t* A, const std::uint8_t* B, int N, std::uint16_t* Carry,
                  std::uint8_t* D) {
  const std::int64_t rowBytes = 3 * (2 * static_cast<std::int64_t>(N) + 1);
  const __m512i ab0 = _mm512_loadu_si512(kHalf3.AB), ab1 = _mm512_loadu_si512(kHalf3.AB + 64);
  const __m512i c0 = _mm512_loadu_si512(kHalf3.C), c1 = _mm512_loadu_si512(kHalf3.C + 64);
  const __m512i ones = _mm512_set1_epi8(1);
  const __mmask64 even = 0x5555555555555555ull;
  auto across = [&](const std::uint8_t* S, std::int64_t base, __m512i& lo, __m512i& hi) {
    __m512i a, b;
    IELoadByteWindow128(S + base, rowBytes - base, a, b);
    lo = Div3(_mm512_add_epi16(_mm512_maddubs_epi16(_mm512_permutex2var_epi8(a, ab0, b), ones),
                               _mm512_maskz_permutex2var_epi8(even, a, c0, b)));
    hi = Div3(_mm512_add_epi16(_mm512_maddubs_epi16(_mm512_permutex2var_epi8(a, ab1, b), ones),
                               _mm512_maskz_permutex2var_epi8(even, a, c1, b)));
  };
  const __m512i pack = _mm512_loadu_si512(kHalf3.Pack);
  int x = 0;
  // The last step's windows read only the rows' bytes and store only its
  // pixels (Carry has room for whole steps).
  for (; x < N; x += 20, Carry += 64, D += 60) {
    const std::int64_t base = 6 * static_cast<std::int64_t>(x);
    __m512i lo2, hi2;
    across(B, base, lo2, hi2);
    if constexpr (Out) {
      __m512i lo1, hi1;
      across(A, base, lo1, hi1);
      const __m512i lo = Div3(_mm512_add_epi16(_mm512_add_epi16(_mm512_loadu_si512(Carry), lo1), lo2));
      const __m512i hi = Div3(_mm512_add_epi16(_mm512_add_epi16(_mm512_loadu_si512(Carry + 32), hi1), hi2));
      _mm512_mask_storeu_epi8(D, IELowBits64(3 * std::min(20, N - x)),
                              _mm512_permutex2var_epi8(lo, pack, hi));
    }
    _mm512_storeu_si512(Carry, lo2);
    _mm512_storeu_si512(Carry + 32, hi2);
  }
  return static_cast<std::size_t>(N);
}

// One channel: 64 destination pixels a step, the pairs 2x, 2x + 1 in one
// multiply-add and pixel 2x + 2 as the low byte of the word two bytes on.
template <bool Out>
std::size_t Half1(const std::uint8_t* A, const std::uint8_t* B, int N, std::uint16_t* Carry,
                  std::uint8_t* D) {
  const std::int64_t rowBytes = 2 * static_cast<std::int64_t>(N) + 1;
  const __m512i ones = _mm512_set1_epi8(1), low = _mm512_set1_epi16(0xFF);
  // Rem: the row's bytes from s on; a word reaches two bytes past its taps.
  auto across = [&](const std::uint8_t* s, std::int64_t Rem) {
    _mm_prefetch(reinterpret_cast<const char*>(s) + 2048, _MM_HINT_T0);
    const bool whole = Rem >= 66;
    const __m512i v = whole ? _mm512_loadu_si512(s)
                            : _mm512_maskz_loadu_epi8(IELowBits64(std::max<std::int64_t>(Rem, 0)), s);
    const __m512i w = whole ? _mm512_loadu_si512(s + 2)
                            : _mm512_maskz_loadu_epi8(IELowBits64(std::max<std::int64_t>(Rem - 2, 0)), s + 2);
    return Div3(_mm512_add_epi16(_mm512_maddubs_epi16(v, ones), _mm512_and_si512(w, low)));
  };
  int x = 0;
  // The last step stores only its pixels (Carry has room for whole steps).
  for (; x < N; x += 64) {
    const std::int64_t at = 2 * static_cast<std::int64_t>(x), rem = rowBytes - at;
    const __m512i lo2 = across(B + at, rem), hi2 = across(B + at + 64, rem - 64);
    if constexpr (Out) {
      const __m512i lo =
          Div3(_mm512_add_epi16(_mm512_add_epi16(_mm512_loadu_si512(Carry + x), across(A + at, rem)), lo2));
      const __m512i hi = Div3(_mm512_add_epi16(
          _mm512_add_epi16(_mm512_loadu_si512(Carry + x + 32), across(A + at + 64, rem - 64)), hi2));
      const std::uint64_t n = IELowBits64(N - x);
      _mm256_mask_storeu_epi8(D + x, static_cast<__mmask32>(n), _mm512_cvtepi16_epi8(lo));
      _mm256_mask_storeu_epi8(D + x + 32, static_cast<__mmask32>(n >> 32), _mm512_cvtepi16_epi8(hi));
    }
    _mm512_storeu_si512(Carry + x, lo2);
    _mm512_storeu_si512(Carry + x + 32, hi2);
  }
  return static_cast<std::size_t>(N);
}
}  // namespace

std::size_t IEHalfRows_AVX512(int Ch, const std::uint8_t* A, const std::uint8_t* B, int N,
                              std::uint16_t* Carry, std::uint8_t* D) {
  if (Ch == 3) return A ? Half3<true>(A, B, N, Carry, D) : Half3<false>(A, B, N, Carry, D);
  if (Ch == 1) return A ? Half1<true>(A, B, N, Carry, D) : Half1<false>(A, B, N, Carry, D);
  return 0;
}

std::size_t IEFastRowVBox_AVX512(const std::uint8_t* const* Rows, int Count, int Magic, int Shift,
                                 std::uint8_t* D, std::size_t n) {
  if (Count < 1 || Count > 257) return 0;
  const __m512i m = _mm512_set1_epi16(static_cast<short>(Magic));
  const __m128i sh = _mm_cvtsi32_si128(Shift);
  for (std::size_t i = 0; i < n; i += 32) {
    const auto live = static_cast<__mmask32>(IELowBits64(static_cast<std::int64_t>(n - i)));
    auto row = [&](int k) { return _mm512_cvtepu8_epi16(_mm256_maskz_loadu_epi8(live, Rows[k] + i)); };
    __m512i s = row(0);
    for (int k = 1; k < Count; ++k) s = _mm512_add_epi16(s, row(k));
    _mm256_mask_storeu_epi8(D + i, live,
                            _mm512_cvtepi16_epi8(_mm512_srl_epi16(_mm512_mulhi_epu16(s, m), sh)));
  }
  return n;
}

}  // namespace redozir
