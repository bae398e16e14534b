// The kernel resampler in 512-bit vectors: the 16-row first pass (one
// channel of 16 rows per multiply-add and per division) and the second-pass
// rows, 32 bytes at a time; the same exact sums and quotients as AVX2.
// A twin of the AVX2 rows by hand: how the taps lie in the lanes and how the
// quotients are narrowed follow each width's instructions (one saturating
// conversion here, packs there), so what the two files share is the loops'
// scaffolding, not their operations.
#include <immintrin.h>

#include <algorithm>

#include "imaging/processing/resample_block.h"
#include "imaging/processing/resample_internal.h"
#include "imaging/processing/resample_taps_lanes.h"

namespace redozir {

void IEKernelBlockH3_AVX512(const TIEResampleTaps& T, const std::uint8_t* const* Src, int Rows,
                            std::uint8_t* const* Dst, std::vector<std::uint8_t>& Scratch) {
  KernelBlockH3(T, Src, Rows, Dst, Scratch, [&](const std::uint8_t* pairs, auto* out, int x0, int x1) {
    for (int x = x0; x < x1; ++x) {
      // A pair's 64 bytes of one channel are its words for rows 0 to 15.
      __m512i acc0 = _mm512_setzero_si512(), acc1 = _mm512_setzero_si512(), acc2 = _mm512_setzero_si512();
      const std::int32_t* w = T.PW.data() + static_cast<std::size_t>(x) * T.PStride;
      const std::uint8_t* q = pairs + 192 * static_cast<std::size_t>(T.PStart[x] / 2);
      for (int k = 0, n = T.PLen[x]; k < n; ++k, q += 192) {
        const __m512i wk = _mm512_set1_epi32(w[k]);
        acc0 = _mm512_add_epi32(acc0, _mm512_madd_epi16(_mm512_load_si512(q), wk));
        acc1 = _mm512_add_epi32(acc1, _mm512_madd_epi16(_mm512_load_si512(q + 64), wk));
        acc2 = _mm512_add_epi32(acc2, _mm512_madd_epi16(_mm512_load_si512(q + 128), wk));
      }
      int d = T.Sum[x];
      if (d < 0) {
        acc0 = _mm512_sub_epi32(_mm512_setzero_si512(), acc0);
        acc1 = _mm512_sub_epi32(_mm512_setzero_si512(), acc1);
        acc2 = _mm512_sub_epi32(_mm512_setzero_si512(), acc2);
        d = -d;
      }
      // Sums held to 0 .. 256 d are exact in a float, so the truncated
      // quotient (or product by an exact reciprocal) is the integer one.
      const __m512i lim = _mm512_set1_epi32(256 * d);
      const float rcp = T.Rcp[static_cast<std::size_t>(x)];
      const __m512 df = _mm512_set1_ps(static_cast<float>(d)), rf = _mm512_set1_ps(rcp);
      auto div = [&](__m512i s) {
        s = _mm512_min_epi32(_mm512_max_epi32(s, _mm512_setzero_si512()), lim);
        const __m512 f = _mm512_cvtepi32_ps(s);
        const __m512i q = _mm512_cvttps_epi32(rcp != 0 ? _mm512_mul_ps(f, rf) : _mm512_div_ps(f, df));
        return _mm512_cvtusepi32_epi8(q);
      };
      std::uint8_t* o = out + 48 * static_cast<std::size_t>(x - x0);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), div(acc0));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 16), div(acc1));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 32), div(acc2));
    }
  });
}

namespace {
// Rows y .. y + R - 1 into Dst[0 .. R - 1].
template <int R>
void RowsV(const TIEResampleTaps& T, int y, const std::uint8_t* const* Rows, int Bytes,
           std::uint8_t* const* dst) {
  // Each pair of source rows is loaded and interleaved once for all R; the
  // tables are read into locals, which the stores of bytes could alias.
  const TIEKernelRowPairs P(T, y, R, Rows);
  const std::uint8_t* const* pr = P.PR.data();
  const int pairs = P.Count;
  const int* pw[R];
  __m512i lim[R];
  __m512 rf[R];
  std::uint8_t* out[R];
  for (int i = 0; i < R; ++i) {
    pw[i] = P.PW[i].data();
    lim[i] = _mm512_set1_epi32(256 * T.Sum[y + i]);
    rf[i] = _mm512_set1_ps(T.Rcp[static_cast<std::size_t>(y + i)]);
    out[i] = dst[i];
  }
  auto div = [&](__m512i s, int i) {
    s = _mm512_min_epi32(_mm512_max_epi32(s, _mm512_setzero_si512()), lim[i]);
    return _mm512_min_epi32(_mm512_cvttps_epi32(_mm512_mul_ps(_mm512_cvtepi32_ps(s), rf[i])),
                            _mm512_set1_epi32(255));
  };
  // 32 bytes at a time; the last block may overlap the one before it.
  for (int b = 0;;) {
    __m512i lo[R], hi[R];
    for (int i = 0; i < R; ++i) lo[i] = hi[i] = _mm512_setzero_si512();
    for (int k = 0; k < pairs; ++k) {
      const __m512i ra =
          _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(pr[2 * k] + b)));
      const __m512i rb =
          _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(pr[2 * k + 1] + b)));
      const __m512i ulo = _mm512_unpacklo_epi16(ra, rb), uhi = _mm512_unpackhi_epi16(ra, rb);
      for (int i = 0; i < R; ++i) {
        const __m512i wk = _mm512_set1_epi32(pw[i][k]);
        lo[i] = _mm512_add_epi32(lo[i], _mm512_madd_epi16(ulo, wk));
        hi[i] = _mm512_add_epi32(hi[i], _mm512_madd_epi16(uhi, wk));
      }
    }
    for (int i = 0; i < R; ++i) {
      const __m512i p16 = _mm512_packs_epi32(div(lo[i], i), div(hi[i], i));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out[i] + b), _mm512_cvtepi16_epi8(p16));
    }
    if (b + 32 == Bytes) break;
    b = b + 64 <= Bytes ? b + 32 : Bytes - 32;
  }
}
}  // namespace

void IEKernelRowV_AVX512(const TIEResampleTaps& T, int y, int R, const std::uint8_t* const* Rows, int Bytes,
                         std::uint8_t* const* Dst) {
  for (int i = 0; i < R; ++i) {
    if (T.Sum[y + i] < 0 || T.Rcp[static_cast<std::size_t>(y + i)] == 0 || Bytes < 32) {
      IEKernelRowV_AVX2(T, y, R, Rows, Bytes, Dst);
      return;
    }
  }
  if (R == 2)
    RowsV<2>(T, y, Rows, Bytes, Dst);
  else
    RowsV<1>(T, y, Rows, Bytes, Dst);
}

std::uint64_t IELanczos3Weights_AVX512(const TIELanczos3Steps& P, double Sin, double Cos, double Centre,
                                       double First, int Count, double* V) {
  return Lanczos3Weights<8>(P, Sin, Cos, Centre, First, Count, V);
}

}  // namespace redozir
