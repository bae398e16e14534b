// AVX2 rows of the fast linear resampler: the same 17-bit interpolation and
// truncating box averages as the scalar rows of resample_fastlinear.cpp,
// eight destination pixels (or sixteen bytes) at a time.
#include <immintrin.h>

#include <algorithm>
#include <climits>

#include "imaging/processing/resample_internal.h"

namespace redozir {

namespace {
// Stores the low three bytes of eight pixels as 24 bytes, nothing past them.
inline void Store3x8(__m256i v, std::uint8_t* d) {
  const __m256i pick = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5,
                                        6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  v = _mm256_shuffle_epi8(v, pick);
  v = _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm256_castsi256_si128(v));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 16), _mm256_extracti128_si256(v, 1));
}

// Stores the low bytes of the first six words of every lane of Q0 and Q1 as
// 24 bytes: lane 0 of Q0, of Q1, then lane 1 of Q0, of Q1.
inline void StoreSixes(__m256i Q0, __m256i Q1, std::uint8_t* O) {
  const __m256i pick = _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, -1, -1, -1, -1, 0, 1, 2, 3, 4,
                                        5, 8, 9, 10, 11, 12, 13, -1, -1, -1, -1);
  const __m256i r = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(_mm256_packus_epi16(Q0, Q1), pick),
                                                _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(O), _mm256_castsi256_si128(r));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(O + 16), _mm256_extracti128_si256(r, 1));
}

// Stores eight values of 0..255 as eight bytes.
inline void Store1x8(__m256i v, std::uint8_t* d) {
  v = _mm256_packus_epi32(v, v);
  v = _mm256_packus_epi16(v, v);
  v = _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(0, 4, 0, 4, 0, 4, 0, 4));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(d), _mm256_castsi256_si128(v));
}

// Channel c of gathered pixels, one per 32-bit lane.
inline __m256i Chan(__m256i g, int c) {
  return _mm256_and_si256(_mm256_srli_epi32(g, 8 * c), _mm256_set1_epi32(0xFF));
}

// c0 + ((c1 - c0) x f) shifted right by 17, rounding toward minus infinity.
inline __m256i Lerp17(__m256i c0, __m256i c1, __m256i f) {
  return _mm256_add_epi32(c0, _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(c1, c0), f), 17));
}

// s div n for 0 <= s <= 255 n and n < 2^16: both are exact floats and the
// rounded quotient lies below the next whole number, so truncating it gives
// the exact quotient.
inline __m256i DivSmall(__m256i s, __m256i n) {
  return _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(s), _mm256_cvtepi32_ps(n)));
}
}  // namespace

namespace {
template <int Ch, bool Interp>
void RowH(const int* Left, const int* Right, const int* Frac, const TIEFastRowPlan& Plan,
          const std::uint8_t* S, std::uint8_t* O) {
  const int* Most = Plan.Most.data();
  const int Lim = Plan.Lim;
  const int* base = reinterpret_cast<const int*>(S);
  for (int x = 0; x < Lim; x += 8) {
    const __m256i L = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Left + x));
    const __m256i first = Ch == 3 ? _mm256_add_epi32(L, _mm256_slli_epi32(L, 1)) : L;
    __m256i res[Ch];
    if constexpr (Interp) {
      const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Frac + x));
      if constexpr (Ch == 3) {
        __m256i g0, g1;
        if (x < Plan.Shuf) {
          // Both pixels of all eight lie in one window of 32 bytes.
          const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(S + Plan.Base[x / 8]));
          const __m256i lo = _mm256_permute2x128_si256(v, v, 0x00),
                        hi = _mm256_permute2x128_si256(v, v, 0x11);
          const __m256i* c =
              reinterpret_cast<const __m256i*>(Plan.Ctl.data() + 16 * static_cast<std::size_t>(x));
          g0 = _mm256_or_si256(_mm256_shuffle_epi8(lo, _mm256_loadu_si256(c)),
                               _mm256_shuffle_epi8(hi, _mm256_loadu_si256(c + 1)));
          g1 = _mm256_or_si256(_mm256_shuffle_epi8(lo, _mm256_loadu_si256(c + 2)),
                               _mm256_shuffle_epi8(hi, _mm256_loadu_si256(c + 3)));
        } else {
          g0 = _mm256_i32gather_epi32(base, first, 1);
          g1 = _mm256_i32gather_epi32(base, _mm256_add_epi32(first, _mm256_set1_epi32(3)), 1);
        }
        for (int c = 0; c < 3; ++c) res[c] = Lerp17(Chan(g0, c), Chan(g1, c), f);
      } else {
        const __m256i g0 = _mm256_i32gather_epi32(base, first, 1);
        res[0] = Lerp17(Chan(g0, 0), Chan(g0, 1), f);
      }
    } else {
      const __m256i R = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Right + x));
      const __m256i cnt = _mm256_add_epi32(_mm256_sub_epi32(R, L), _mm256_set1_epi32(1));
      const int most = Most[x / 8];
      for (int c = 0; c < Ch; ++c) res[c] = _mm256_setzero_si256();
      __m256i idx = first;
      for (int k = 0; k < most; ++k) {
        const __m256i live = _mm256_cmpgt_epi32(cnt, _mm256_set1_epi32(k));
        const __m256i g = _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), base, idx, live, 1);
        for (int c = 0; c < Ch; ++c) res[c] = _mm256_add_epi32(res[c], Chan(g, c));
        idx = _mm256_add_epi32(idx, _mm256_set1_epi32(Ch));
      }
      for (int c = 0; c < Ch; ++c) res[c] = DivSmall(res[c], cnt);
    }
    if constexpr (Ch == 3)
      Store3x8(_mm256_or_si256(res[0],
                               _mm256_or_si256(_mm256_slli_epi32(res[1], 8), _mm256_slli_epi32(res[2], 16))),
               O + 3 * static_cast<std::size_t>(x));
    else
      Store1x8(res[0], O + x);
  }
}
}  // namespace

void IEFastRowHPlan(int Ch, bool Interp, const int* Left, const int* Right, int sw, int dw,
                    TIEFastRowPlan& Plan) {
  // Every gather reads four bytes from the first byte of a pixel: only the
  // pixels whose reads stay inside the row go the vector way.
  const int lastRead = Ch == 3 ? sw - 2 : sw - 4;
  int lim = 0;
  while (lim < dw) {
    const int hi = Interp ? Left[lim] + 1 : Right[lim];
    if (hi > lastRead || (!Interp && Right[lim] - Left[lim] >= 65535)) break;
    ++lim;
  }
  lim &= ~7;
  Plan.Lim = lim;
  Plan.Most.assign(static_cast<std::size_t>(lim / 8), 0);
  for (int x = 0; x < lim; ++x) Plan.Most[x / 8] = std::max(Plan.Most[x / 8], Right[x] - Left[x] + 1);
  // Windows of 32 bytes for eight interpolated pixels of three channels,
  // while the eight (each with its right neighbour) fit in one inside the row.
  Plan.Shuf = 0;
  Plan.Base.clear();
  Plan.Ctl.clear();
  if (Ch != 3 || !Interp) return;
  for (int x0 = 0; x0 < lim; x0 += 8) {
    const std::int64_t base = 3 * static_cast<std::int64_t>(Left[x0]);
    if (base + 32 > 3 * static_cast<std::int64_t>(sw) || 3 * (Left[x0 + 7] + 1 - Left[x0]) + 3 > 31) break;
    Plan.Base.push_back(static_cast<int>(base));
    std::uint8_t ctl[4][32];
    for (int i = 0; i < 8; ++i) {
      for (int b = 0; b < 4; ++b) {
        const int p = 4 * i + b;
        for (int g = 0; g < 2; ++g) {
          const int off = 3 * (Left[x0 + i] + g - Left[x0]) + b;
          ctl[2 * g][p] = off < 16 ? static_cast<std::uint8_t>(off) : 0x80;
          ctl[2 * g + 1][p] = off >= 16 ? static_cast<std::uint8_t>(off - 16) : 0x80;
        }
      }
    }
    Plan.Ctl.insert(Plan.Ctl.end(), &ctl[0][0], &ctl[0][0] + 128);
    Plan.Shuf = x0 + 8;
  }
}

void IEFastRowH_AVX2(int Ch, bool Interp, const int* Left, const int* Right, const int* Frac,
                     const TIEFastRowPlan& Plan, const std::uint8_t* S, std::uint8_t* O) {
  if (Ch == 3)
    Interp ? RowH<3, true>(Left, Right, Frac, Plan, S, O) : RowH<3, false>(Left, Right, Frac, Plan, S, O);
  else if (Ch == 1)
    Interp ? RowH<1, true>(Left, Right, Frac, Plan, S, O) : RowH<1, false>(Left, Right, Frac, Plan, S, O);
}

std::size_t IEFastRowVLerp_AVX2(const std::uint8_t* A, const std::uint8_t* B, int f, std::uint8_t* D,
                                std::size_t n) {
  // (b - a) x f as one multiply-add of 16-bit words: 4 (b - a) x (f shr 2)
  // + (b - a) x (f and 3), every factor inside a word.
  const __m256i wf = _mm256_set1_epi32(static_cast<int>((static_cast<unsigned>(f & 3) << 16) | (f >> 2)));
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m256i a = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(A + i)));
    const __m256i b = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(B + i)));
    const __m256i d = _mm256_sub_epi16(b, a);
    const __m256i d4 = _mm256_slli_epi16(d, 2);
    __m256i lo = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(d4, d), wf), 17);
    __m256i hi = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(d4, d), wf), 17);
    __m256i r = _mm256_add_epi16(_mm256_packs_epi32(lo, hi), a);
    r = _mm256_permute4x64_epi64(_mm256_packus_epi16(r, r), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(D + i), _mm256_castsi256_si128(r));
  }
  return i;
}

std::size_t IEFastRowVBox_AVX2(const std::uint8_t* const* Rows, int Count, int Magic, int Shift,
                               std::uint8_t* D, std::size_t n) {
  if (Count < 1 || Count > 257) return 0;
  const __m256i m = _mm256_set1_epi16(static_cast<short>(Magic));
  const __m128i sh = _mm_cvtsi32_si128(Shift);
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    __m256i s = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Rows[0] + i)));
    for (int k = 1; k < Count; ++k)
      s = _mm256_add_epi16(
          s, _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Rows[k] + i))));
    __m256i q = _mm256_srl_epi16(_mm256_mulhi_epu16(s, m), sh);
    q = _mm256_permute4x64_epi64(_mm256_packus_epi16(q, q), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(D + i), _mm256_castsi256_si128(q));
  }
  return i;
}

namespace {
// ceil(2^16 / d), the multiplier of an exact quotient by d from 2 to 16.
inline std::uint16_t BoxMul(int d) { return static_cast<std::uint16_t>((65536 + d - 1) / d); }
// A lane holds six words: two pixels of three channels or six of one. Lane
// l of a step holds the pixels of sixth kLaneOrder[l] of its 24 bytes, so
// that packing the two accumulators puts them in order.
constexpr int kLaneOrder[4] = {0, 2, 1, 3};
}  // namespace

void IEBoxRowPlan_AVX2(int Ch, const int* Left, const int* Right, int sw, int dw, TIEBoxRowPlan& Plan) {
  Plan = TIEBoxRowPlan{};
  if (Ch != 1 && Ch != 3) return;
  const int lanePix = 6 / Ch, U = Plan.Unit = 4 * lanePix;
  Plan.Ch = Ch;
  const int rowBytes = Ch * sw;
  if (rowBytes < 16) return;
  int most = 2;
  for (int x = 0; x < dw; ++x) most = std::max(most, Right[x] - Left[x] + 1);
  const int P = Plan.MaxTaps = (std::min(most, 16) + 1) / 2;
  // Word w of lane l in a step from x0: pixel x0 + off[l][w], channel chan[w].
  int off[4][6], chan[6];
  for (int w = 0; w < 6; ++w) {
    chan[w] = w % Ch;
    for (int l = 0; l < 4; ++l) off[l][w] = kLaneOrder[l] * lanePix + w / Ch;
  }
  for (int x0 = 0; x0 + U <= dw; x0 += U) {
    bool ok = true;
    int pairs = 0;
    for (int i = 0; i < U && ok; ++i) {
      const int cnt = Right[x0 + i] - Left[x0 + i] + 1;
      ok = cnt >= 2 && cnt <= 16;
      pairs = std::max(pairs, (cnt + 1) / 2);
    }
    const std::size_t b0 = Plan.Base.size(), c0 = Plan.Ctl.size();
    Plan.Base.resize(b0 + 4 * static_cast<std::size_t>(P), 0);
    Plan.Ctl.resize(c0 + 64 * static_cast<std::size_t>(P), 0x80);
    for (int p = 0; p < pairs && ok; ++p) {
      for (int l = 0; l < 4 && ok; ++l) {
        // Control byte 2w + h: tap 2p + h of word w (channel w % Ch).
        int src[16] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
        int lo = INT_MAX, hi = -1;
        for (int j = 0; j < 12; ++j) {
          const int w = j >> 1, t = 2 * p + (j & 1), x = x0 + off[l][w];
          if (t > Right[x] - Left[x]) continue;
          src[j] = Ch * (Left[x] + t) + chan[w];
          lo = std::min(lo, src[j]);
          hi = std::max(hi, src[j]);
        }
        const int base = hi < 0 ? 0 : std::min(lo, rowBytes - 16);
        ok = hi - base <= 15;
        const std::size_t at = static_cast<std::size_t>(p) * 4 + static_cast<std::size_t>(l);
        Plan.Base[b0 + at] = base;
        for (int j = 0; j < 16; ++j)
          if (src[j] >= 0)
            Plan.Ctl[c0 + 16 * at + static_cast<std::size_t>(j)] = static_cast<std::uint8_t>(src[j] - base);
      }
    }
    if (!ok) {
      Plan.Base.resize(b0);
      Plan.Ctl.resize(c0);
      break;
    }
    Plan.Taps.push_back(pairs);
    for (int l = 0; l < 4; ++l)
      for (int w = 0; w < 8; ++w) {
        const int x = w < 6 ? x0 + off[l][w] : x0;
        Plan.Mul.push_back(w < 6 ? BoxMul(Right[x] - Left[x] + 1) : 0);
      }
    Plan.Lim = x0 + U;
  }
}

void IEBoxRowH_AVX2(const TIEBoxRowPlan& Plan, const std::uint8_t* S, std::uint8_t* O) {
  const __m256i ones = _mm256_set1_epi8(1);
  const int P = Plan.MaxTaps;
  auto window = [S](int lo, int hi) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(S + lo))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(S + hi)), 1);
  };
  for (int u = 0, x = 0; x < Plan.Lim; ++u, x += Plan.Unit, O += 24) {
    const int* b = Plan.Base.data() + static_cast<std::size_t>(u) * P * 4;
    const std::uint8_t* c = Plan.Ctl.data() + static_cast<std::size_t>(u) * P * 64;
    // The rows stream from memory faster when asked for ahead of the shuffles.
    _mm_prefetch(reinterpret_cast<const char*>(S + b[0]) + 2048, _MM_HINT_T0);
    __m256i acc0 = _mm256_setzero_si256(), acc1 = _mm256_setzero_si256();
    for (int p = 0, n = Plan.Taps[static_cast<std::size_t>(u)]; p < n; ++p, b += 4, c += 64) {
      const __m256i c0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c));
      const __m256i c1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + 32));
      acc0 = _mm256_add_epi16(acc0, _mm256_maddubs_epi16(_mm256_shuffle_epi8(window(b[0], b[1]), c0), ones));
      acc1 = _mm256_add_epi16(acc1, _mm256_maddubs_epi16(_mm256_shuffle_epi8(window(b[2], b[3]), c1), ones));
    }
    const __m256i* m = reinterpret_cast<const __m256i*>(Plan.Mul.data() + 32 * static_cast<std::size_t>(u));
    const __m256i q0 = _mm256_mulhi_epu16(acc0, _mm256_loadu_si256(m));
    const __m256i q1 = _mm256_mulhi_epu16(acc1, _mm256_loadu_si256(m + 1));
    StoreSixes(q0, q1, O);
  }
}

namespace {
// s div 3 for every word s below 2^16: (s x 43691) shr 17.
inline __m256i Div3(__m256i s) {
  return _mm256_srli_epi16(_mm256_mulhi_epu16(s, _mm256_set1_epi16(static_cast<short>(0xAAAB))), 1);
}

// The 16 bytes at Lo and at Hi as the two lanes of a vector.
inline __m256i Lanes(const std::uint8_t* Lo, const std::uint8_t* Hi) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Lo))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(Hi)), 1);
}

// Three channels, eight destination pixels a step: each lane makes two
// pixels (six words) from the 16 bytes at their first tap, the first two
// taps of a word side by side for one multiply-add, the third alone. The
// first vector holds pixels 0, 1 and 4, 5, the second 2, 3 and 6, 7, as
// StoreSixes puts them back in order.
template <bool Out>
std::size_t Half3(const std::uint8_t* A, const std::uint8_t* B, int N, std::uint16_t* Carry,
                  std::uint8_t* D) {
  const __m256i ab = _mm256_setr_epi8(0, 3, 1, 4, 2, 5, 6, 9, 7, 10, 8, 11, -1, -1, -1, -1, 0, 3, 1, 4, 2, 5,
                                      6, 9, 7, 10, 8, 11, -1, -1, -1, -1);
  const __m256i c = _mm256_setr_epi8(6, -1, 7, -1, 8, -1, 12, -1, 13, -1, 14, -1, -1, -1, -1, -1, 6, -1, 7,
                                     -1, 8, -1, 12, -1, 13, -1, 14, -1, -1, -1, -1, -1);
  const __m256i ones = _mm256_set1_epi8(1);
  auto across = [&](const std::uint8_t* s) {
    const __m256i v = Lanes(s, s + 24);
    return Div3(
        _mm256_add_epi16(_mm256_maddubs_epi16(_mm256_shuffle_epi8(v, ab), ones), _mm256_shuffle_epi8(v, c)));
  };
  int x = 0;
  // The last lane reads a byte past its pixels' last tap.
  for (; x + 9 <= N; x += 8, Carry += 32, D += 24) {
    const std::uint8_t* b = B + 6 * static_cast<std::size_t>(x);
    _mm_prefetch(reinterpret_cast<const char*>(b) + 2048, _MM_HINT_T0);
    const __m256i p2 = across(b), q2 = across(b + 12);
    if constexpr (Out) {
      const std::uint8_t* a = A + 6 * static_cast<std::size_t>(x);
      _mm_prefetch(reinterpret_cast<const char*>(a) + 2048, _MM_HINT_T0);
      const __m256i* k = reinterpret_cast<const __m256i*>(Carry);
      StoreSixes(Div3(_mm256_add_epi16(_mm256_add_epi16(_mm256_loadu_si256(k), across(a)), p2)),
                 Div3(_mm256_add_epi16(_mm256_add_epi16(_mm256_loadu_si256(k + 1), across(a + 12)), q2)), D);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Carry), p2);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Carry + 16), q2);
  }
  return static_cast<std::size_t>(x);
}

// One channel: 32 destination pixels a step, the pairs 2x, 2x + 1 in one
// multiply-add and pixel 2x + 2 as the low byte of the word two bytes on.
template <bool Out>
std::size_t Half1(const std::uint8_t* A, const std::uint8_t* B, int N, std::uint16_t* Carry,
                  std::uint8_t* D) {
  const __m256i ones = _mm256_set1_epi8(1), low = _mm256_set1_epi16(0xFF);
  auto across = [&](const std::uint8_t* s) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
    const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 2));
    return Div3(_mm256_add_epi16(_mm256_maddubs_epi16(v, ones), _mm256_and_si256(w, low)));
  };
  int x = 0;
  // The last step reads two bytes past its pixels' last tap.
  for (; x + 33 <= N; x += 32) {
    const std::size_t at = 2 * static_cast<std::size_t>(x);
    _mm_prefetch(reinterpret_cast<const char*>(B + at) + 2048, _MM_HINT_T0);
    const __m256i lo2 = across(B + at), hi2 = across(B + at + 32);
    __m256i* k = reinterpret_cast<__m256i*>(Carry + x);
    if constexpr (Out) {
      _mm_prefetch(reinterpret_cast<const char*>(A + at) + 2048, _MM_HINT_T0);
      const __m256i lo = Div3(_mm256_add_epi16(_mm256_add_epi16(_mm256_loadu_si256(k), across(A + at)), lo2));
      const __m256i hi =
          Div3(_mm256_add_epi16(_mm256_add_epi16(_mm256_loadu_si256(k + 1), across(A + at + 32)), hi2));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(D + x),
                          _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8));
    }
    _mm256_storeu_si256(k, lo2);
    _mm256_storeu_si256(k + 1, hi2);
  }
  return static_cast<std::size_t>(x);
}
}  // namespace

std::size_t IEHalfRows_AVX2(int Ch, const std::uint8_t* A, const std::uint8_t* B, int N, std::uint16_t* Carry,
                            std::uint8_t* D) {
  if (Ch == 3) return A ? Half3<true>(A, B, N, Carry, D) : Half3<false>(A, B, N, Carry, D);
  if (Ch == 1) return A ? Half1<true>(A, B, N, Carry, D) : Half1<false>(A, B, N, Carry, D);
  return 0;
}

}  // namespace redozir
