// The 24-bit rows of the bilinear / bicubic rotation with AVX-512: one pixel
// per lane of eight doubles, the same double operations in the same order as
// the scalar reference, so the bytes are the same. A pixel's source bytes are
// read into one 128-bit lane each; one two-register byte permute then gives
// the eight samples of a tap, already in the form 2^52 + byte. The AVX2
// rows, four pixels a vector, assemble their taps from 64-bit loads instead,
// so the two files share the shape of the walk, not its instructions.
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "imaging/processing/rotate_interpolated.h"

namespace redozir {

namespace {

// 2^52: a byte b placed in the low bits of this double's pattern reads as
// 2^52 + b, so subtractions of two such values give exact differences.
constexpr double kMagic = 4503599627370496.0;
// The pattern's top bytes, put into the unused bytes of each lane.
constexpr long long kMagicBits = 0x4330000000000000LL;
// Keeps bytes 0, 6 and 7 of each 64-bit permute result, zeroes the rest.
constexpr __mmask64 kSampleBytes = 0xC1C1C1C1C1C1C1C1ULL;

using TIndex = std::array<std::uint8_t, 64>;

// The permute picking byte Offset of every pixel's lane (pixels 0..3 in the
// first register, 4..7 in the second) into the low byte of its 64-bit
// result, with the lane's bytes High and High + 1 (which hold 0x30 and 0x43)
// on top.
constexpr TIndex Pick(int Offset, int High) {
  TIndex t{};
  for (int k = 0; k < 8; ++k) {
    int lane = (k % 4) * 16 + (k / 4) * 64;
    t[8 * k] = static_cast<std::uint8_t>(lane + Offset);
    t[8 * k + 6] = static_cast<std::uint8_t>(lane + High);
    t[8 * k + 7] = static_cast<std::uint8_t>(lane + High + 1);
  }
  return t;
}

// Bilinear lanes: 8 bytes of row y0 from x0 on, then 8 bytes of row y0 + 1;
// bytes 6, 7 of each half take the pattern's top. Index [row][column][channel].
constexpr auto kBilinearPick = [] {
  std::array<std::array<std::array<TIndex, 3>, 2>, 2> t{};
  for (int r = 0; r < 2; ++r)
    for (int x = 0; x < 2; ++x)
      for (int c = 0; c < 3; ++c) t[r][x][c] = Pick(8 * r + 3 * x + c, 6);
  return t;
}();
// Bicubic lanes: 16 bytes of one row from x0 - 1 on (four pixels, then
// bytes 12..15 unused, 14 and 15 taking the pattern's top). Index [tap][channel].
constexpr auto kBicubicPick = [] {
  std::array<std::array<TIndex, 3>, 4> t{};
  for (int x = 0; x < 4; ++x)
    for (int c = 0; c < 3; ++c) t[x][c] = Pick(3 * x + c, 14);
  return t;
}();
// Three bytes of each 32-bit result packed together.
constexpr auto kPack = [] {
  std::array<std::uint8_t, 32> t{};
  for (int k = 0; k < 24; ++k) t[k] = static_cast<std::uint8_t>(k / 3 * 4 + k % 3);
  return t;
}();

inline __m512i Index(const TIndex& t) { return _mm512_loadu_si512(t.data()); }

inline std::uint64_t Load8(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline __m512d Samples(__m512i lo, __m512i hi, const TIndex& pick) {
  return _mm512_castsi512_pd(_mm512_maskz_permutex2var_epi8(kSampleBytes, lo, Index(pick), hi));
}

// The eight results (channels in the low three bytes of each 32-bit lane)
// to the pixels First .. Last - 1 of the group at Out.
inline void Store8(__m256i v, std::uint8_t* out, int first, int last) {
  v = _mm256_permutexvar_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(kPack.data())), v);
  auto mask = static_cast<__mmask32>(((1u << (3 * (last - first))) - 1) << (3 * first));
  _mm256_mask_storeu_epi8(out, mask, v);
}

struct TPosition {
  __m512d fx, fy;
  // Byte offset of the first byte read, from row 0: 64 bits, so that it
  // serves as an index as it stands.
  alignas(64) std::int64_t off[8];
};

// Source positions of the eight pixels from column X: the cell (Floor for
// bilinear, Trunc for bicubic) and the fractions; the reads start at column
// x0 + DX of row y0 + DY.
template <int Rounding>
inline void Position(const TIERotateRow& r, int x, int dx, int dy, TPosition& p) {
  const TIERotateJob& j = *r.Job;
  __m512d sx = _mm512_sub_pd(_mm512_loadu_pd(j.AX + x), _mm512_set1_pd(r.RySin));
  __m512d sy = _mm512_add_pd(_mm512_loadu_pd(j.BX + x), _mm512_set1_pd(r.RyCos));
  __m512d cx = _mm512_roundscale_pd(sx, Rounding | _MM_FROUND_NO_EXC);
  __m512d cy = _mm512_roundscale_pd(sy, Rounding | _MM_FROUND_NO_EXC);
  p.fx = _mm512_sub_pd(sx, cx);
  p.fy = _mm512_sub_pd(sy, cy);
  // (y0 + DY) Stride + 3 (x0 + DX): whole numbers far below 2^53, exact in doubles.
  __m512d oy =
      _mm512_mul_pd(_mm512_add_pd(cy, _mm512_set1_pd(dy)), _mm512_set1_pd(static_cast<double>(r.Stride)));
  __m512d ox = _mm512_mul_pd(_mm512_add_pd(cx, _mm512_set1_pd(dx)), _mm512_set1_pd(3.0));
  _mm512_store_si512(p.off, _mm512_cvttpd_epi64(_mm512_add_pd(oy, ox)));
}

// Four 128-bit lanes in one register: a tree of inserts rather than a
// chain of merges, so that no read waits for another.
inline __m512i Join(__m128i a, __m128i b, __m128i c, __m128i d) {
  __m256i lo = _mm256_inserti128_si256(_mm256_castsi128_si256(a), b, 1);
  __m256i hi = _mm256_inserti128_si256(_mm256_castsi128_si256(c), d, 1);
  return _mm512_inserti64x4(_mm512_castsi256_si512(lo), hi, 1);
}

inline __m512i WithMagic(__m512i v, __mmask32 words) {
  return _mm512_mask_blend_epi16(words, v, _mm512_set1_epi64(kMagicBits));
}

// Eight bilinear pixels from column X (all with their neighbours inside);
// pixels First .. Last - 1 of them are written.
inline void Bilinear8(const TIERotateRow& r, int x, std::uint8_t* out, int first, int last) {
  TPosition p;
  Position<_MM_FROUND_TO_NEG_INF>(r, x, 0, 0, p);
  const std::uint8_t* base = r.Base;
  const std::ptrdiff_t stride = r.Stride;
  const std::uint8_t* below = base + stride;
  auto lane = [&](int k) {
    return _mm_set_epi64x(static_cast<long long>(Load8(below + p.off[k])),
                          static_cast<long long>(Load8(base + p.off[k])));
  };
  auto lanes = [&](int k0) {
    return WithMagic(Join(lane(k0), lane(k0 + 1), lane(k0 + 2), lane(k0 + 3)), 0x88888888u);
  };
  __m512i lo = lanes(0), hi = lanes(4);
  const __m512d magic = _mm512_set1_pd(kMagic);
  __m256i result = _mm256_setzero_si256();
  for (int c = 0; c < 3; ++c) {
    __m512d q00 = Samples(lo, hi, kBilinearPick[0][0][c]), q10 = Samples(lo, hi, kBilinearPick[0][1][c]);
    __m512d q01 = Samples(lo, hi, kBilinearPick[1][0][c]), q11 = Samples(lo, hi, kBilinearPick[1][1][c]);
    __m512d t = _mm512_add_pd(_mm512_sub_pd(q00, magic), _mm512_mul_pd(_mm512_sub_pd(q10, q00), p.fx));
    __m512d b = _mm512_add_pd(_mm512_sub_pd(q01, magic), _mm512_mul_pd(_mm512_sub_pd(q11, q01), p.fx));
    __m512d v = _mm512_add_pd(t, _mm512_mul_pd(_mm512_sub_pd(b, t), p.fy));
    result = _mm256_or_si256(result, _mm256_slli_epi32(_mm512_cvttpd_epi32(v), 8 * c));
  }
  Store8(result, out, first, last);
}

// q1 + w0 (q0 - q1) + w2 (q2 - q1) + w3 (q3 - q1), evaluated left to right,
// with the samples given as 2^52 + value.
inline __m512d Cubic(__m512d q0, __m512d q1, __m512d q2, __m512d q3, __m512d w0, __m512d w2, __m512d w3) {
  __m512d r =
      _mm512_add_pd(_mm512_sub_pd(q1, _mm512_set1_pd(kMagic)), _mm512_mul_pd(w0, _mm512_sub_pd(q0, q1)));
  r = _mm512_add_pd(r, _mm512_mul_pd(w2, _mm512_sub_pd(q2, q1)));
  return _mm512_add_pd(r, _mm512_mul_pd(w3, _mm512_sub_pd(q3, q1)));
}

// IECubicWeights in its order of operations (the second weight is not
// needed: the sums are written relative to the second sample).
inline void CubicWeights(__m512d t, __m512d& w0, __m512d& w2, __m512d& w3) {
  const __m512d one = _mm512_set1_pd(1.0);
  __m512d omt = _mm512_sub_pd(one, t), neg = _mm512_xor_pd(t, _mm512_set1_pd(-0.0));
  w0 = _mm512_mul_pd(_mm512_mul_pd(neg, omt), omt);
  w2 = _mm512_mul_pd(t, _mm512_sub_pd(_mm512_add_pd(one, t), _mm512_mul_pd(t, t)));
  w3 = _mm512_mul_pd(_mm512_mul_pd(neg, t), omt);
}

// Eight bicubic pixels from column X (all with their neighbours inside);
// pixels First .. Last - 1 of them are written.
inline void Bicubic8(const TIERotateRow& r, int x, std::uint8_t* out, int first, int last) {
  TPosition p;
  Position<_MM_FROUND_TO_ZERO>(r, x, -1, -1, p);
  __m512d wx0, wx2, wx3, wy0, wy2, wy3;
  CubicWeights(p.fx, wx0, wx2, wx3);
  CubicWeights(p.fy, wy0, wy2, wy3);
  const std::uint8_t* base = r.Base;
  const std::ptrdiff_t stride = r.Stride;
  __m512d h[3][4];
  for (int row = 0; row < 4; ++row) {
    const std::uint8_t* at = base + row * stride;
    auto lane = [&](int k) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + p.off[k])); };
    auto lanes = [&](int k0) {
      return WithMagic(Join(lane(k0), lane(k0 + 1), lane(k0 + 2), lane(k0 + 3)), 0x80808080u);
    };
    __m512i lo = lanes(0), hi = lanes(4);
    for (int c = 0; c < 3; ++c)
      h[c][row] =
          Cubic(Samples(lo, hi, kBicubicPick[0][c]), Samples(lo, hi, kBicubicPick[1][c]),
                Samples(lo, hi, kBicubicPick[2][c]), Samples(lo, hi, kBicubicPick[3][c]), wx0, wx2, wx3);
  }
  __m256i result = _mm256_setzero_si256();
  for (int c = 0; c < 3; ++c) {
    __m512d v = _mm512_add_pd(h[c][1], _mm512_mul_pd(wy0, _mm512_sub_pd(h[c][0], h[c][1])));
    v = _mm512_add_pd(v, _mm512_mul_pd(wy2, _mm512_sub_pd(h[c][2], h[c][1])));
    v = _mm512_add_pd(v, _mm512_mul_pd(wy3, _mm512_sub_pd(h[c][3], h[c][1])));
    // A negative result (or none) becomes 0, one above 255 becomes 255.
    v = _mm512_min_pd(_mm512_max_pd(v, _mm512_setzero_pd()), _mm512_set1_pd(255.0));
    result = _mm256_or_si256(result, _mm256_slli_epi32(_mm512_cvttpd_epi32(v), 8 * c));
  }
  Store8(result, out, first, last);
}

// Columns [X0, X1) of the fast range in groups of eight; a group that would
// reach past the range starts earlier (within it) and writes only the
// columns not yet written.
template <bool Bicubic>
void Fast(const TIERotateRow& r, int x0, int x1, std::uint8_t* row) {
  if (r.FastHi - r.FastLo < 8) {
    IERotateScalarSpan(r, x0, x1, row);
    return;
  }
  for (int x = x0; x < x1;) {
    int start = std::min(x, r.FastHi - 8), end = std::min(x1, start + 8);
    std::uint8_t* out = row + static_cast<std::ptrdiff_t>(start) * 3;
    if (Bicubic)
      Bicubic8(r, start, out, x - start, end - start);
    else
      Bilinear8(r, start, out, x - start, end - start);
    x = end;
  }
}

}  // namespace

void IERotateRowsAVX512(const TIERotateJob& j, const TIERotateRow& Shape, int Y0, int Y1) {
  // The reads stay inside the source: 8 bytes from x0 of rows y0 and y0 + 1
  // (bilinear), 16 bytes from x0 - 1 of rows y0 - 1 .. y0 + 2 (bicubic).
  if (j.Bicubic)
    IERotateRowsTiled(j, Shape, Y0, Y1, Fast<true>, 1, j.W - 5, j.H - 3);
  else
    IERotateRowsTiled(j, Shape, Y0, Y1, Fast<false>, 0, j.W - 3, j.H - 2);
}

}  // namespace redozir
