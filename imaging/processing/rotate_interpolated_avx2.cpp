// The 24-bit rows of the bilinear / bicubic rotation with AVX2: one pixel per
// lane of four doubles, the same double operations in the same order as the
// scalar reference, so the bytes are the same. Each row is cut into ranges
// beforehand: the background on either side is written as a block, the
// pixels whose neighbours all lie inside take the vector path (here), and
// the few between them the scalar one.
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/processing/rotate_interpolated.h"

namespace redozir {

namespace {

// 2^52: a byte b placed in the low bits of this double's pattern reads as
// 2^52 + b, so subtractions of two such values give exact differences.
constexpr double kMagic = 4503599627370496.0;

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

// Source positions of the four pixels from column X: the cell (Floor for
// bilinear, Trunc for bicubic) and its fractions; the reads start at byte
// Off[k] of row Y[k], the cell moved by D in both directions.
struct TPosition {
  __m256d fx, fy;
  alignas(16) std::int32_t off[4], y[4];
};
template <int Rounding>
inline void Position(const TIERotateRow& r, int x, int d, TPosition& p) {
  const TIERotateJob& j = *r.Job;
  __m256d sx = _mm256_sub_pd(_mm256_loadu_pd(j.AX + x), _mm256_set1_pd(r.RySin));
  __m256d sy = _mm256_add_pd(_mm256_loadu_pd(j.BX + x), _mm256_set1_pd(r.RyCos));
  __m256d cx = _mm256_round_pd(sx, Rounding | _MM_FROUND_NO_EXC);
  __m256d cy = _mm256_round_pd(sy, Rounding | _MM_FROUND_NO_EXC);
  p.fx = _mm256_sub_pd(sx, cx);
  p.fy = _mm256_sub_pd(sy, cy);
  __m128i ix = _mm_add_epi32(_mm256_cvttpd_epi32(cx), _mm_set1_epi32(d));
  _mm_store_si128(reinterpret_cast<__m128i*>(p.off), _mm_add_epi32(ix, _mm_add_epi32(ix, ix)));
  _mm_store_si128(reinterpret_cast<__m128i*>(p.y), _mm_add_epi32(_mm256_cvttpd_epi32(cy), _mm_set1_epi32(d)));
}

// Four bilinear pixels from column X on, all of whose neighbours lie inside
// with room for 8-byte reads: (x0, y0) and (x0 + 1, y0) come in one read,
// the row below in another.
inline void Bilinear4(const TIERotateRow& r, int x, std::uint8_t* out, bool wide) {
  TPosition p;
  Position<_MM_FROUND_TO_NEG_INF>(r, x, 0, p);
  const __m256d fx = p.fx, fy = p.fy;
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
  __m256i top = gather(0), bottom = gather(1);
  const __m256d magic = _mm256_set1_pd(kMagic);
  __m128i result = _mm_setzero_si128();
  for (int c = 0; c < 3; ++c) {
    __m256i left = PickQ(c, c), right = PickQ(c + 3, c + 3);
    __m256d q00 = AsDouble(_mm256_shuffle_epi8(top, left)), q10 = AsDouble(_mm256_shuffle_epi8(top, right));
    __m256d q01 = AsDouble(_mm256_shuffle_epi8(bottom, left));
    __m256d q11 = AsDouble(_mm256_shuffle_epi8(bottom, right));
    __m256d p00 = _mm256_sub_pd(q00, magic), p01 = _mm256_sub_pd(q01, magic);
    __m256d t = _mm256_add_pd(p00, _mm256_mul_pd(_mm256_sub_pd(q10, q00), fx));
    __m256d b = _mm256_add_pd(p01, _mm256_mul_pd(_mm256_sub_pd(q11, q01), fx));
    __m256d v = _mm256_add_pd(t, _mm256_mul_pd(_mm256_sub_pd(b, t), fy));
    result = _mm_or_si128(result, _mm_slli_epi32(_mm256_cvttpd_epi32(v), 8 * c));
  }
  Store4(result, out, wide);
}

// q1 + w0 (q0 - q1) + w2 (q2 - q1) + w3 (q3 - q1), evaluated left to right,
// with the samples given as 2^52 + value.
inline __m256d Cubic(__m256d q0, __m256d q1, __m256d q2, __m256d q3, __m256d w0, __m256d w2, __m256d w3) {
  __m256d r =
      _mm256_add_pd(_mm256_sub_pd(q1, _mm256_set1_pd(kMagic)), _mm256_mul_pd(w0, _mm256_sub_pd(q0, q1)));
  r = _mm256_add_pd(r, _mm256_mul_pd(w2, _mm256_sub_pd(q2, q1)));
  return _mm256_add_pd(r, _mm256_mul_pd(w3, _mm256_sub_pd(q3, q1)));
}

// The weights of IECubicWeights for four fractions, in its order of
// operations (the second weight is not needed: the sums are written
// relative to the second sample).
inline void CubicWeights(__m256d t, __m256d& w0, __m256d& w2, __m256d& w3) {
  const __m256d one = _mm256_set1_pd(1.0);
  __m256d omt = _mm256_sub_pd(one, t), neg = _mm256_xor_pd(t, _mm256_set1_pd(-0.0));
  w0 = _mm256_mul_pd(_mm256_mul_pd(neg, omt), omt);
  w2 = _mm256_mul_pd(t, _mm256_sub_pd(_mm256_add_pd(one, t), _mm256_mul_pd(t, t)));
  w3 = _mm256_mul_pd(_mm256_mul_pd(neg, t), omt);
}

// Four bicubic pixels from column X on, all of whose neighbours lie inside
// with room for 16-byte reads from x0 - 1 on. The reads of pixels 0 and 2
// share one register, those of 1 and 3 another, so that the samples of one
// tap come out in pixel order after one unpack.
inline void Bicubic4(const TIERotateRow& r, int x, std::uint8_t* out, bool wide) {
  TPosition p;
  Position<_MM_FROUND_TO_ZERO>(r, x, -1, p);
  __m256d wx0, wx2, wx3, wy0, wy2, wy3;
  CubicWeights(p.fx, wx0, wx2, wx3);
  CubicWeights(p.fy, wy0, wy2, wy3);
  const std::uint8_t* const* rows = r.Rows;
  const __m256i magicBytes = _mm256_set1_epi64x(0x4330000000000000LL);
  __m256i even[4], odd[4];
  for (int k = 0; k < 4; ++k) {
    auto at = [&](int q) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[p.y[q] + k] + p.off[q]));
    };
    even[k] = _mm256_blend_epi16(_mm256_inserti128_si256(_mm256_castsi128_si256(at(0)), at(2), 1), magicBytes,
                                 0x80);
    odd[k] = _mm256_blend_epi16(_mm256_inserti128_si256(_mm256_castsi128_si256(at(1)), at(3), 1), magicBytes,
                                0x80);
  }
  __m128i result = _mm_setzero_si128();
  for (int c = 0; c < 3; ++c) {
    __m256i first = PickO(c, 3 + c), second = PickO(6 + c, 9 + c);
    __m256d h[4];
    for (int k = 0; k < 4; ++k) {
      __m256i e01 = _mm256_shuffle_epi8(even[k], first), o01 = _mm256_shuffle_epi8(odd[k], first);
      __m256i e23 = _mm256_shuffle_epi8(even[k], second), o23 = _mm256_shuffle_epi8(odd[k], second);
      h[k] = Cubic(AsDouble(_mm256_unpacklo_epi64(e01, o01)), AsDouble(_mm256_unpackhi_epi64(e01, o01)),
                   AsDouble(_mm256_unpacklo_epi64(e23, o23)), AsDouble(_mm256_unpackhi_epi64(e23, o23)), wx0,
                   wx2, wx3);
    }
    __m256d v = _mm256_add_pd(h[1], _mm256_mul_pd(wy0, _mm256_sub_pd(h[0], h[1])));
    v = _mm256_add_pd(v, _mm256_mul_pd(wy2, _mm256_sub_pd(h[2], h[1])));
    v = _mm256_add_pd(v, _mm256_mul_pd(wy3, _mm256_sub_pd(h[3], h[1])));
    // A negative result (or none) becomes 0, one above 255 becomes 255.
    v = _mm256_min_pd(_mm256_max_pd(v, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
    result = _mm_or_si128(result, _mm_slli_epi32(_mm256_cvttpd_epi32(v), 8 * c));
  }
  Store4(result, out, wide);
}

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
    if (bicubic)
      Bicubic4(r, x, out, wide);
    else
      Bilinear4(r, x, out, wide);
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
