// The 24-bit rows of the bilinear / bicubic rotation with AVX-512: one pixel
// per lane of eight doubles, the same double operations in the same order as
// the scalar reference, so the bytes are the same. A pixel's source bytes are
// read into one 128-bit lane each; one two-register byte permute then gives
// the eight samples of a tap, already in the form 2^52 + byte. The pixels'
// arithmetic is written once for both widths (rotate_interpolated_lanes.h);
// what stays here is how eight pixels' bytes are read and written, which
// the AVX2 rows (four pixels a vector, taps assembled from 64-bit loads,
// unmasked stores) do with other instructions, and the 512-bit form of each
// operation, whose list stands beside the AVX2 one line for line.
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "imaging/processing/rotate_interpolated.h"
#include "imaging/processing/rotate_interpolated_lanes.h"

namespace redozir {

namespace {

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

// The pixels' vector (rotate_interpolated_lanes.h): eight pixels, their
// reads from the evenly spaced rows, pixels 0..3 in one register, 4..7 in
// another.
struct TOctet {
  using D = __m512d;
  using Q = __m256i;
  static D Set1(double v) { return _mm512_set1_pd(v); }
  static D Zero() { return _mm512_setzero_pd(); }
  static D Load(const double* p) { return _mm512_loadu_pd(p); }
  static D Add(D a, D b) { return _mm512_add_pd(a, b); }
  static D Sub(D a, D b) { return _mm512_sub_pd(a, b); }
  static D Mul(D a, D b) { return _mm512_mul_pd(a, b); }
  static D Min(D a, D b) { return _mm512_min_pd(a, b); }
  static D Max(D a, D b) { return _mm512_max_pd(a, b); }
  static D Neg(D a) { return _mm512_xor_pd(a, _mm512_set1_pd(-0.0)); }
  template <int Rounding>
  static D Round(D v) {
    return _mm512_roundscale_pd(v, Rounding | _MM_FROUND_NO_EXC);
  }
  struct TPosition {
    __m512d fx, fy;
    // Byte offset of the first byte read, from row 0: 64 bits, so that it
    // serves as an index as it stands.
    alignas(64) std::int64_t off[8];
  };
  static void Cell(const TIERotateRow& r, D cx, D cy, int d, TPosition& p) {
    // (y0 + d) Stride + 3 (x0 + d): whole numbers far below 2^53, exact in doubles.
    __m512d oy =
        _mm512_mul_pd(_mm512_add_pd(cy, _mm512_set1_pd(d)), _mm512_set1_pd(static_cast<double>(r.Stride)));
    __m512d ox = _mm512_mul_pd(_mm512_add_pd(cx, _mm512_set1_pd(d)), _mm512_set1_pd(3.0));
    _mm512_store_si512(p.off, _mm512_cvttpd_epi64(_mm512_add_pd(oy, ox)));
  }
  struct TLanes {
    __m512i lo, hi;
  };
  // Bilinear lanes: 8 bytes of row y0 from x0 on, then 8 bytes of row y0 + 1.
  static TLanes BilinearTaps(const TIERotateRow& r, const TPosition& p) {
    const std::uint8_t* base = r.Base;
    const std::uint8_t* below = base + r.Stride;
    auto lane = [&](int k) {
      return _mm_set_epi64x(static_cast<long long>(Load8(below + p.off[k])),
                            static_cast<long long>(Load8(base + p.off[k])));
    };
    auto lanes = [&](int k0) {
      return WithMagic(Join(lane(k0), lane(k0 + 1), lane(k0 + 2), lane(k0 + 3)), 0x88888888u);
    };
    return {lanes(0), lanes(4)};
  }
  static D BilinearSample(const TLanes& t, int Row, int Col, int c) {
    return Samples(t.lo, t.hi, kBilinearPick[Row][Col][c]);
  }
  // Bicubic lanes: 16 bytes of row y0 - 1 + K from x0 - 1 on.
  static TLanes CubicRow(const TIERotateRow& r, const TPosition& p, int k) {
    const std::uint8_t* at = r.Base + k * r.Stride;
    auto lane = [&](int q) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + p.off[q])); };
    auto lanes = [&](int k0) {
      return WithMagic(Join(lane(k0), lane(k0 + 1), lane(k0 + 2), lane(k0 + 3)), 0x80808080u);
    };
    return {lanes(0), lanes(4)};
  }
  static void CubicTaps(const TLanes& t, int c, D q[4]) {
    for (int i = 0; i < 4; ++i) q[i] = Samples(t.lo, t.hi, kBicubicPick[i][c]);
  }
  static Q QZero() { return _mm256_setzero_si256(); }
  static Q AddChannel(Q r, D v, int c) {
    return _mm256_or_si256(r, _mm256_slli_epi32(_mm512_cvttpd_epi32(v), 8 * c));
  }
};

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
    Store8(Bicubic ? IERotateBicubic<TOctet>(r, start) : IERotateBilinear<TOctet>(r, start), out, x - start,
           end - start);
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
