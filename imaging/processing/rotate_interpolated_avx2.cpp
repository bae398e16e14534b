// The 24-bit rows of the bilinear / bicubic rotation with the three channels
// of a pixel in the lanes of one AVX2 register: the same double operations,
// in the same order, as the scalar reference, so the bytes are the same.
#include <immintrin.h>

#include <cstring>

#include "imaging/processing/rotate_interpolated.h"

namespace {

// Four bytes from p as four doubles (the fourth lane is never used).
inline __m256d Load(const std::uint8_t* p) {
  std::int32_t v;
  std::memcpy(&v, p, 4);
  return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(v)));
}

inline void Store(__m256d v, std::uint8_t* out) {
  // Truncation toward zero after clamping matches the scalar ToByte.
  v = _mm256_max_pd(v, _mm256_setzero_pd());
  v = _mm256_min_pd(v, _mm256_set1_pd(255.0));
  __m128i i = _mm256_cvttpd_epi32(v);
  i = _mm_packus_epi16(_mm_packus_epi32(i, i), i);
  std::int32_t b = _mm_cvtsi128_si32(i);
  std::memcpy(out, &b, 3);
}

// q1 + w0 (q0 - q1) + w2 (q2 - q1) + w3 (q3 - q1), evaluated left to right.
inline __m256d Cubic(__m256d q0, __m256d q1, __m256d q2, __m256d q3, const double w[4]) {
  __m256d r = _mm256_add_pd(q1, _mm256_mul_pd(_mm256_set1_pd(w[0]), _mm256_sub_pd(q0, q1)));
  r = _mm256_add_pd(r, _mm256_mul_pd(_mm256_set1_pd(w[2]), _mm256_sub_pd(q2, q1)));
  return _mm256_add_pd(r, _mm256_mul_pd(_mm256_set1_pd(w[3]), _mm256_sub_pd(q3, q1)));
}

}  // namespace

void IERotateRowsAVX2(const TIERotateJob& j, int Y0, int Y1) {
  // Four-byte loads stay inside a row when the last neighbour is not the
  // row's last pixel; other positions take the scalar path.
  const std::int64_t maxX = j.W - (j.Bicubic ? 4 : 3);
  const std::int64_t maxY = j.H - (j.Bicubic ? 3 : 2);
  const std::int64_t minXY = j.Bicubic ? 1 : 0;
  for (int y = Y0; y < Y1; ++y) {
    double ry = y - j.CDY;
    std::uint8_t* out = (*j.Dst)[y];
    for (int x = 0; x < j.NW; ++x, out += 3) {
      double sx, sy;
      IERotateSource(j, x, ry, sx, sy);
      if (!j.Bicubic) {
        double fx0 = std::floor(sx), fy0 = std::floor(sy);
        if (!(fx0 >= minXY && fx0 <= maxX && fy0 >= minXY && fy0 <= maxY)) {
          IERotateSampleScalar(j, sx, sy, out);
          continue;
        }
        __m256d fx = _mm256_set1_pd(sx - fx0), fy = _mm256_set1_pd(sy - fy0);
        auto x0 = static_cast<std::int64_t>(fx0);
        auto y0 = static_cast<int>(fy0);
        const std::uint8_t* r0 = (*j.Src)[y0] + x0 * 3;
        const std::uint8_t* r1 = (*j.Src)[y0 + 1] + x0 * 3;
        __m256d p00 = Load(r0), p10 = Load(r0 + 3), p01 = Load(r1), p11 = Load(r1 + 3);
        __m256d top = _mm256_add_pd(p00, _mm256_mul_pd(_mm256_sub_pd(p10, p00), fx));
        __m256d bottom = _mm256_add_pd(p01, _mm256_mul_pd(_mm256_sub_pd(p11, p01), fx));
        Store(_mm256_add_pd(top, _mm256_mul_pd(_mm256_sub_pd(bottom, top), fy)), out);
        continue;
      }
      double tx0 = std::trunc(sx), ty0 = std::trunc(sy);
      if (!(tx0 >= minXY && tx0 <= maxX && ty0 >= minXY && ty0 <= maxY)) {
        IERotateSampleScalar(j, sx, sy, out);
        continue;
      }
      double wx[4], wy[4];
      IECubicWeights(sx - tx0, wx);
      IECubicWeights(sy - ty0, wy);
      auto x0 = static_cast<std::int64_t>(tx0);
      auto y0 = static_cast<int>(ty0);
      __m256d h[4];
      for (int r = 0; r < 4; ++r) {
        const std::uint8_t* p = (*j.Src)[y0 - 1 + r] + (x0 - 1) * 3;
        h[r] = Cubic(Load(p), Load(p + 3), Load(p + 6), Load(p + 9), wx);
      }
      Store(Cubic(h[0], h[1], h[2], h[3], wy), out);
    }
  }
}
