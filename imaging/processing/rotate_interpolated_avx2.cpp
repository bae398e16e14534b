// The 24-bit rows of the bilinear / bicubic rotation with the three channels
// of a pixel in the lanes of one AVX2 register: the same double operations,
// in the same order, as the scalar reference, so the bytes are the same.
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/processing/rotate_interpolated.h"

namespace {

// Four bytes from p as four doubles (the fourth lane is never used).
inline __m256d Load(const std::uint8_t* p) {
  std::int32_t v;
  std::memcpy(&v, p, 4);
  return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(v)));
}

// The three channels as bytes at Out; Wide also writes a fourth byte, which
// belongs to the next pixel of the row (written after this one). Clamp is
// needed by the bicubic only: a bilinear mix of bytes stays within 0..255.
inline void Store(__m256d v, std::uint8_t* out, bool clamp, bool wide) {
  if (clamp) v = _mm256_min_pd(_mm256_max_pd(v, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
  __m128i i = _mm256_cvttpd_epi32(v);
  i = _mm_packus_epi16(_mm_packus_epi32(i, i), i);
  auto b = static_cast<std::uint32_t>(_mm_cvtsi128_si32(i));
  if (wide) {
    std::memcpy(out, &b, 4);
  } else {
    auto low = static_cast<std::uint16_t>(b);
    std::memcpy(out, &low, 2);
    out[2] = static_cast<std::uint8_t>(b >> 16);
  }
}

// q1 + w0 (q0 - q1) + w2 (q2 - q1) + w3 (q3 - q1), evaluated left to right.
inline __m256d Cubic(__m256d q0, __m256d q1, __m256d q2, __m256d q3, const double w[4]) {
  __m256d r = _mm256_add_pd(q1, _mm256_mul_pd(_mm256_set1_pd(w[0]), _mm256_sub_pd(q0, q1)));
  r = _mm256_add_pd(r, _mm256_mul_pd(_mm256_set1_pd(w[2]), _mm256_sub_pd(q2, q1)));
  return _mm256_add_pd(r, _mm256_mul_pd(_mm256_set1_pd(w[3]), _mm256_sub_pd(q3, q1)));
}

struct TRowJob {
  const TIERotateJob& j;
  const double* ax;
  const double* bx;
  double rySin, ryCos;
  std::int64_t maxX, maxY, minXY;
  std::uint8_t bg4[12];  // four background pixels
  // Set when the source rows lie Stride bytes apart from Base on and every
  // byte offset fits 32 bits: four pixels are then read by gathers.
  const std::uint8_t* base = nullptr;
  std::ptrdiff_t stride = 0;
};

// Four bilinear pixels at once, one pixel per lane: the same operations per
// lane as the scalar reference.
inline void Bilinear4(const TRowJob& r, __m256d fx0, __m256d fy0, __m256d fx, __m256d fy, std::uint8_t* out) {
  const auto* base = reinterpret_cast<const int*>(r.base);
  __m256d offD = _mm256_add_pd(_mm256_mul_pd(fy0, _mm256_set1_pd(static_cast<double>(r.stride))),
                               _mm256_mul_pd(fx0, _mm256_set1_pd(3.0)));
  __m128i off = _mm256_cvttpd_epi32(offD);
  __m128i below = _mm_add_epi32(off, _mm_set1_epi32(static_cast<int>(r.stride)));
  __m128i p00 = _mm_i32gather_epi32(base, off, 1);
  __m128i p10 = _mm_i32gather_epi32(base, _mm_add_epi32(off, _mm_set1_epi32(3)), 1);
  __m128i p01 = _mm_i32gather_epi32(base, below, 1);
  __m128i p11 = _mm_i32gather_epi32(base, _mm_add_epi32(below, _mm_set1_epi32(3)), 1);
  const __m128i byte = _mm_set1_epi32(0xFF);
  __m128i result = _mm_setzero_si128();
  for (int c = 0; c < 3; ++c) {
    auto channel = [&](__m128i p) {
      return _mm256_cvtepi32_pd(_mm_and_si128(_mm_srli_epi32(p, 8 * c), byte));
    };
    __m256d a = channel(p00), b = channel(p10), d = channel(p01), e = channel(p11);
    __m256d top = _mm256_add_pd(a, _mm256_mul_pd(_mm256_sub_pd(b, a), fx));
    __m256d bottom = _mm256_add_pd(d, _mm256_mul_pd(_mm256_sub_pd(e, d), fx));
    __m256d v = _mm256_add_pd(top, _mm256_mul_pd(_mm256_sub_pd(bottom, top), fy));
    result = _mm_or_si128(result, _mm_slli_epi32(_mm256_cvttpd_epi32(v), 8 * c));
  }
  __m128i packed =
      _mm_shuffle_epi8(result, _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
  std::uint32_t last = static_cast<std::uint32_t>(_mm_extract_epi32(packed, 2));
  std::memcpy(out + 8, &last, 4);
}

inline void Cubic16(const TIERotateJob& j, int x0, int y0, const double wx[4], const double wy[4],
                    std::uint8_t* out, bool wide);

// One pixel whose neighbours all lie inside the source, at Floor (bilinear)
// or Trunc (bicubic) X0, Y0 with fractions fx, fy.
inline void Inside(const TIERotateJob& j, int x0, int y0, double fx, double fy, std::uint8_t* out,
                   bool wide) {
  if (!j.Bicubic) {
    __m256d vfx = _mm256_set1_pd(fx), vfy = _mm256_set1_pd(fy);
    const std::uint8_t* r0 = (*j.Src)[y0] + static_cast<std::ptrdiff_t>(x0) * 3;
    const std::uint8_t* r1 = (*j.Src)[y0 + 1] + static_cast<std::ptrdiff_t>(x0) * 3;
    __m256d p00 = Load(r0), p10 = Load(r0 + 3), p01 = Load(r1), p11 = Load(r1 + 3);
    __m256d top = _mm256_add_pd(p00, _mm256_mul_pd(_mm256_sub_pd(p10, p00), vfx));
    __m256d bottom = _mm256_add_pd(p01, _mm256_mul_pd(_mm256_sub_pd(p11, p01), vfx));
    Store(_mm256_add_pd(top, _mm256_mul_pd(_mm256_sub_pd(bottom, top), vfy)), out, false, wide);
    return;
  }
  double wx[4], wy[4];
  IECubicWeights(fx, wx);
  IECubicWeights(fy, wy);
  Cubic16(j, x0, y0, wx, wy, out, wide);
}

// The bicubic pixel at Trunc position X0, Y0 with its weights given.
inline void Cubic16(const TIERotateJob& j, int x0, int y0, const double wx[4], const double wy[4],
                    std::uint8_t* out, bool wide) {
  __m256d h[4];
  for (int r = 0; r < 4; ++r) {
    const std::uint8_t* p = (*j.Src)[y0 - 1 + r] + (static_cast<std::ptrdiff_t>(x0) - 1) * 3;
    h[r] = Cubic(Load(p), Load(p + 3), Load(p + 6), Load(p + 9), wx);
  }
  Store(Cubic(h[0], h[1], h[2], h[3], wy), out, true, wide);
}

// A pixel anywhere: the background, the vector path or the scalar reference.
inline void Any(const TRowJob& r, int x, std::uint8_t* out, bool wide) {
  const TIERotateJob& j = r.j;
  double sx = r.ax[x] - r.rySin, sy = r.bx[x] + r.ryCos;
  if (IERotateOutside(j, sx, sy)) {
    std::memcpy(out, j.Bg, 3);
    return;
  }
  double fx0 = j.Bicubic ? std::trunc(sx) : std::floor(sx);
  double fy0 = j.Bicubic ? std::trunc(sy) : std::floor(sy);
  if (fx0 >= r.minXY && fx0 <= r.maxX && fy0 >= r.minXY && fy0 <= r.maxY)
    Inside(j, static_cast<int>(fx0), static_cast<int>(fy0), sx - fx0, sy - fy0, out, wide);
  else
    IERotateSampleScalar(j, sx, sy, out);
}

// Columns X0 .. X1 - 1 of destination row Y: four positions at a time, and
// when all four are inside (or all outside) without a test per pixel.
void Row(const TRowJob& r, int y, int X0, int X1) {
  const TIERotateJob& j = r.j;
  std::uint8_t* out = (*j.Dst)[y] + static_cast<std::ptrdiff_t>(X0) * 3;
  const __m256d rySin = _mm256_set1_pd(r.rySin), ryCos = _mm256_set1_pd(r.ryCos);
  const __m256d lo = _mm256_set1_pd(static_cast<double>(r.minXY));
  const __m256d hiX = _mm256_set1_pd(static_cast<double>(r.maxX)),
                hiY = _mm256_set1_pd(static_cast<double>(r.maxY));
  int x = X0;
  for (; x + 4 <= X1; x += 4, out += 12) {
    __m256d sx = _mm256_sub_pd(_mm256_loadu_pd(r.ax + x), rySin);
    __m256d sy = _mm256_add_pd(_mm256_loadu_pd(r.bx + x), ryCos);
    __m256d fx0 = j.Bicubic ? _mm256_round_pd(sx, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC)
                            : _mm256_round_pd(sx, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    __m256d fy0 = j.Bicubic ? _mm256_round_pd(sy, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC)
                            : _mm256_round_pd(sy, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    __m256d in =
        _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(fx0, lo, _CMP_GE_OQ), _mm256_cmp_pd(fx0, hiX, _CMP_LE_OQ)),
                      _mm256_and_pd(_mm256_cmp_pd(fy0, lo, _CMP_GE_OQ), _mm256_cmp_pd(fy0, hiY, _CMP_LE_OQ)));
    if (_mm256_movemask_pd(in) != 0xF) {
      // The same test as IERotateOutside, four at a time.
      __m256d outside = _mm256_or_pd(_mm256_or_pd(_mm256_cmp_pd(sx, _mm256_set1_pd(-4.0), _CMP_LT_OQ),
                                                  _mm256_cmp_pd(sy, _mm256_set1_pd(-4.0), _CMP_LT_OQ)),
                                     _mm256_or_pd(_mm256_cmp_pd(sx, _mm256_set1_pd(j.W + 2.0), _CMP_GT_OQ),
                                                  _mm256_cmp_pd(sy, _mm256_set1_pd(j.H + 2.0), _CMP_GT_OQ)));
      if (_mm256_movemask_pd(outside) == 0xF) {
        std::memcpy(out, r.bg4, 12);
        continue;
      }
      for (int k = 0; k < 4; ++k) Any(r, x + k, out + 3 * k, x + k + 1 < j.NW);
      continue;
    }
    if (r.base && !j.Bicubic) {
      Bilinear4(r, fx0, fy0, _mm256_sub_pd(sx, fx0), _mm256_sub_pd(sy, fy0), out);
      continue;
    }
    if (j.Bicubic) {
      // The weights of four pixels at once, in IECubicWeights' order of operations.
      alignas(32) double w[2][4][4];
      alignas(16) std::int32_t ix[4], iy[4];
      const __m256d one = _mm256_set1_pd(1.0), two = _mm256_set1_pd(2.0), sign = _mm256_set1_pd(-0.0);
      __m256d ts[2] = {_mm256_sub_pd(sx, fx0), _mm256_sub_pd(sy, fy0)};
      for (int a = 0; a < 2; ++a) {
        __m256d t = ts[a], omt = _mm256_sub_pd(one, t), neg = _mm256_xor_pd(t, sign);
        __m256d tt = _mm256_mul_pd(t, t);
        _mm256_store_pd(w[a][0], _mm256_mul_pd(_mm256_mul_pd(neg, omt), omt));
        _mm256_store_pd(w[a][1], _mm256_add_pd(_mm256_sub_pd(one, _mm256_mul_pd(_mm256_mul_pd(two, t), t)),
                                               _mm256_mul_pd(tt, t)));
        _mm256_store_pd(w[a][2], _mm256_mul_pd(t, _mm256_sub_pd(_mm256_add_pd(one, t), tt)));
        _mm256_store_pd(w[a][3], _mm256_mul_pd(_mm256_mul_pd(neg, t), omt));
      }
      _mm_store_si128(reinterpret_cast<__m128i*>(ix), _mm256_cvttpd_epi32(fx0));
      _mm_store_si128(reinterpret_cast<__m128i*>(iy), _mm256_cvttpd_epi32(fy0));
      for (int k = 0; k < 4; ++k) {
        double wx[4] = {w[0][0][k], w[0][1][k], w[0][2][k], w[0][3][k]};
        double wy[4] = {w[1][0][k], w[1][1][k], w[1][2][k], w[1][3][k]};
        Cubic16(j, ix[k], iy[k], wx, wy, out + 3 * k, x + k + 1 < j.NW);
      }
      continue;
    }
    alignas(32) double fx[4], fy[4];
    alignas(16) std::int32_t ix[4], iy[4];
    _mm256_store_pd(fx, _mm256_sub_pd(sx, fx0));
    _mm256_store_pd(fy, _mm256_sub_pd(sy, fy0));
    _mm_store_si128(reinterpret_cast<__m128i*>(ix), _mm256_cvttpd_epi32(fx0));
    _mm_store_si128(reinterpret_cast<__m128i*>(iy), _mm256_cvttpd_epi32(fy0));
    for (int k = 0; k < 4; ++k) Inside(j, ix[k], iy[k], fx[k], fy[k], out + 3 * k, x + k + 1 < j.NW);
  }
  for (; x < X1; ++x, out += 3) Any(r, x, out, x + 1 < j.NW);
}

}  // namespace

namespace {

// Asks for the source lines that the tile of destination rows [Y0, Y1) and
// columns [X0, X1) will read: a rotated walk defeats the hardware
// prefetchers, and waiting for each line in turn would dominate the time.
void PrefetchTile(const TIERotateJob& j, int Y0, int Y1, int X0, int X1) {
  double sxMin = 1e300, sxMax = -1e300, syMin = 1e300, syMax = -1e300;
  for (int y : {Y0, Y1 - 1})
    for (int x : {X0, X1 - 1}) {
      double sx, sy;
      IERotateSource(j, x, y - j.CDY, sx, sy);
      sxMin = std::min(sxMin, sx), sxMax = std::max(sxMax, sx);
      syMin = std::min(syMin, sy), syMax = std::max(syMax, sy);
    }
  int ya = static_cast<int>(std::clamp(syMin - 2, 0.0, j.H - 1.0));
  int yb = static_cast<int>(std::clamp(syMax + 3, 0.0, j.H - 1.0));
  auto xa = static_cast<std::ptrdiff_t>(std::clamp(sxMin - 2, 0.0, j.W - 1.0)) * 3;
  auto xb = static_cast<std::ptrdiff_t>(std::clamp(sxMax + 3, 0.0, j.W - 1.0)) * 3;
  if (sxMax < -4 || syMax < -4 || sxMin > j.W + 2 || syMin > j.H + 2) return;
  for (int y = ya; y <= yb; ++y) {
    const std::uint8_t* row = (*j.Src)[y];
    for (std::ptrdiff_t b = xa; b <= xb + 63; b += 64)
      _mm_prefetch(reinterpret_cast<const char*>(row + std::min(b, xb)), _MM_HINT_T0);
  }
}

}  // namespace

void IERotateRowsAVX2(const TIERotateJob& j, int Y0, int Y1) {
  // Four-byte loads stay inside a row when the last neighbour is not the
  // row's last pixel; other positions take the scalar path.
  TRowJob r{j, j.AX, j.BX, 0, 0, j.W - (j.Bicubic ? 4 : 3), j.H - (j.Bicubic ? 3 : 2), j.Bicubic ? 1 : 0, {}};
  for (int k = 0; k < 4; ++k) std::memcpy(r.bg4 + 3 * k, j.Bg, 3);
  if (j.H > 1) {
    std::ptrdiff_t stride = (*j.Src)[1] - (*j.Src)[0];
    bool even = true;
    for (int y = 2; y < j.H && even; ++y) even = (*j.Src)[y] - (*j.Src)[y - 1] == stride;
    // Offsets up to the last row and a little beyond must fit 32 bits.
    double reach = std::fabs(static_cast<double>(stride)) * (j.H + 1) + 3.0 * j.W + 16;
    if (even && reach < 2147483647.0) {
      r.base = (*j.Src)[0];
      r.stride = stride;
    }
  }
  for (int yb = Y0; yb < Y1; yb += kIERotateTileRows) {
    int ye = std::min(Y1, yb + kIERotateTileRows);
    for (int xb = 0; xb < j.NW; xb += kIERotateTileColumns) {
      int xe = std::min(j.NW, xb + kIERotateTileColumns);
      // The next tile's lines arrive while this tile is worked out.
      if (xe < j.NW)
        PrefetchTile(j, yb, ye, xe, std::min(j.NW, xe + kIERotateTileColumns));
      else if (ye < Y1)
        PrefetchTile(j, ye, std::min(Y1, ye + kIERotateTileRows), 0, std::min(j.NW, kIERotateTileColumns));
      for (int y = yb; y < ye; ++y) {
        double ry = y - j.CDY;
        r.rySin = ry * j.Sin;
        r.ryCos = ry * j.Cos;
        Row(r, y, xb, xe);
      }
    }
  }
}
