// The 24-bit rows of the bilinear / bicubic rotation with AVX2: one pixel per
// lane of four doubles, the same double operations in the same order as the
// scalar reference, so the bytes are the same. Each row is cut into ranges
// beforehand: the background on either side is written as a block, the
// pixels whose neighbours all lie inside take the vector path (here), and
// the few between them the scalar one. The pixels' arithmetic is written
// once for both widths (rotate_interpolated_lanes.h); this file gives its
// 256-bit operations and how four pixels' bytes are read.
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/processing/rotate_interpolated.h"
#include "imaging/processing/rotate_interpolated_lanes.h"

namespace redozir {

namespace {

// Four bytes of the pattern taken from each 64-bit lane: byte B (and, for
// the second pixel of a 128-bit half, byte B + 8) in the low byte, the two
// bytes at 6 and 7 (made 0x30, 0x43 beforehand) on top, zeros between: the
// lanes then read as 2^52 + the byte.
inline __m256i PickQ(int b0, int b1) {
  return _mm256_setr_epi8(static_cast<char>(b0), -1, -1, -1, -1, -1, 6, 7, static_cast<char>(8 + b1), -1, -1,
                          -1, -1, -1, 14, 15, static_cast<char>(b0), -1, -1, -1, -1, -1, 6, 7,
                          static_cast<char>(8 + b1), -1, -1, -1, -1, -1, 14, 15);
}
// The same for 16-byte pixel groups, whose free bytes are 14 and 15: tap A
// of the lane's pixel in the first 64 bits, tap B in the second.
inline __m256i PickO(int a, int b) {
  return _mm256_setr_epi8(static_cast<char>(a), -1, -1, -1, -1, -1, 14, 15, static_cast<char>(b), -1, -1, -1,
                          -1, -1, 14, 15, static_cast<char>(a), -1, -1, -1, -1, -1, 14, 15,
                          static_cast<char>(b), -1, -1, -1, -1, -1, 14, 15);
}

inline __m256d AsDouble(__m256i v) { return _mm256_castsi256_pd(v); }

inline std::uint64_t Load8(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Twelve bytes of four pixels (channels in the low three bytes of each lane)
// to Out; when Wide, sixteen bytes, the last four belonging to pixels of the
// row that are written afterwards.
inline void Store4(__m128i packed, std::uint8_t* out, bool wide) {
  packed = _mm_shuffle_epi8(packed, _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
  if (wide) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), packed);
  } else {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
    auto last = static_cast<std::uint32_t>(_mm_extract_epi32(packed, 2));
    std::memcpy(out + 8, &last, 4);
  }
}

// The pixels' vector (rotate_interpolated_lanes.h): four pixels, their
// reads through the row table.
struct TQuad {
  using D = __m256d;
  using Q = __m128i;
  static D Set1(double v) { return _mm256_set1_pd(v); }
  static D Zero() { return _mm256_setzero_pd(); }
  static D Load(const double* p) { return _mm256_loadu_pd(p); }
  static D Add(D a, D b) { return _mm256_add_pd(a, b); }
  static D Sub(D a, D b) { return _mm256_sub_pd(a, b); }
  static D Mul(D a, D b) { return _mm256_mul_pd(a, b); }
  static D Min(D a, D b) { return _mm256_min_pd(a, b); }
  static D Max(D a, D b) { return _mm256_max_pd(a, b); }
  static D Neg(D a) { return _mm256_xor_pd(a, _mm256_set1_pd(-0.0)); }
  template <int Rounding>
  static D Round(D v) {
    return _mm256_round_pd(v, Rounding | _MM_FROUND_NO_EXC);
  }
  // The reads start at byte Off[k] of row Y[k].
  struct TPosition {
    __m256d fx, fy;
    alignas(16) std::int32_t off[4], y[4];
  };
  static void Cell(const TIERotateRow&, D cx, D cy, int d, TPosition& p) {
    __m128i ix = _mm_add_epi32(_mm256_cvttpd_epi32(cx), _mm_set1_epi32(d));
    _mm_store_si128(reinterpret_cast<__m128i*>(p.off), _mm_add_epi32(ix, _mm_add_epi32(ix, ix)));
    _mm_store_si128(reinterpret_cast<__m128i*>(p.y),
                    _mm_add_epi32(_mm256_cvttpd_epi32(cy), _mm_set1_epi32(d)));
  }
  // Bilinear: (x0, y0) and (x0 + 1, y0) come in one 8-byte read, the row
  // below in another.
  struct TBilinear {
    __m256i top, bottom;
  };
  static TBilinear BilinearTaps(const TIERotateRow& r, const TPosition& p) {
    const std::uint8_t* const* rows = r.Rows;
    auto pair = [&](int k, int below) { return Load8(rows[p.y[k] + below] + p.off[k]); };
    auto gather = [&](int below) {
      __m128i a =
          _mm_set_epi64x(static_cast<long long>(pair(1, below)), static_cast<long long>(pair(0, below)));
      __m128i b =
          _mm_set_epi64x(static_cast<long long>(pair(3, below)), static_cast<long long>(pair(2, below)));
      __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(a), b, 1);
      return _mm256_blend_epi16(v, _mm256_set1_epi64x(0x4330000000000000LL), 0x88);
    };
    return {gather(0), gather(1)};
  }
  static D BilinearSample(const TBilinear& t, int Row, int Col, int c) {
    return AsDouble(_mm256_shuffle_epi8(Row ? t.bottom : t.top, PickQ(c + 3 * Col, c + 3 * Col)));
  }
  // Bicubic: 16-byte reads from x0 - 1 on; those of pixels 0 and 2 share
  // one register, those of 1 and 3 another, so that the samples of one tap
  // come out in pixel order after one unpack.
  struct TCubicRow {
    __m256i even, odd;
  };
  static TCubicRow CubicRow(const TIERotateRow& r, const TPosition& p, int k) {
    const std::uint8_t* const* rows = r.Rows;
    auto at = [&](int q) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[p.y[q] + k] + p.off[q]));
    };
    const __m256i magicBytes = _mm256_set1_epi64x(0x4330000000000000LL);
    return {_mm256_blend_epi16(_mm256_inserti128_si256(_mm256_castsi128_si256(at(0)), at(2), 1), magicBytes,
                               0x80),
            _mm256_blend_epi16(_mm256_inserti128_si256(_mm256_castsi128_si256(at(1)), at(3), 1), magicBytes,
                               0x80)};
  }
  static void CubicTaps(const TCubicRow& t, int c, D q[4]) {
    const __m256i first = PickO(c, 3 + c), second = PickO(6 + c, 9 + c);
    const __m256i e01 = _mm256_shuffle_epi8(t.even, first), o01 = _mm256_shuffle_epi8(t.odd, first);
    const __m256i e23 = _mm256_shuffle_epi8(t.even, second), o23 = _mm256_shuffle_epi8(t.odd, second);
    q[0] = AsDouble(_mm256_unpacklo_epi64(e01, o01));
    q[1] = AsDouble(_mm256_unpackhi_epi64(e01, o01));
    q[2] = AsDouble(_mm256_unpacklo_epi64(e23, o23));
    q[3] = AsDouble(_mm256_unpackhi_epi64(e23, o23));
  }
  static Q QZero() { return _mm_setzero_si128(); }
  static Q AddChannel(Q r, D v, int c) {
    return _mm_or_si128(r, _mm_slli_epi32(_mm256_cvttpd_epi32(v), 8 * c));
  }
};

// Columns [X0, X1) of the fast range: four at a time, the last four again
// from X1 - 4 (the same bytes) when the count is not a multiple of four.
void Fast(const TIERotateRow& r, int x0, int x1, std::uint8_t* row) {
  if (x1 - x0 < 4) {
    IERotateScalarSpan(r, x0, x1, row);
    return;
  }
  // The 16-byte store reaches past the pixels: never past the job's columns,
  // whose neighbours another thread may be writing.
  const int nw = r.Job->X1;
  const bool bicubic = r.Job->Bicubic;
  for (int x = x0;; x += 4) {
    if (x + 4 > x1) x = x1 - 4;
    std::uint8_t* out = row + static_cast<std::ptrdiff_t>(x) * 3;
    bool wide = x + 6 <= nw;
    Store4(bicubic ? IERotateBicubic<TQuad>(r, x) : IERotateBilinear<TQuad>(r, x), out, wide);
    if (x + 4 == x1) break;
  }
}

}  // namespace

void IERotateRowsAVX2(const TIERotateJob& j, const TIERotateRow& Shape, int Y0, int Y1) {
  // The vector reads stay inside the source: 8 bytes from x0 (bilinear),
  // 16 bytes from x0 - 1 (bicubic); other positions take the scalar path.
  if (j.Bicubic)
    IERotateRowsTiled(j, Shape, Y0, Y1, Fast, 1, j.W - 5, j.H - 3);
  else
    IERotateRowsTiled(j, Shape, Y0, Y1, Fast, 0, j.W - 3, j.H - 2);
}

}  // namespace redozir
