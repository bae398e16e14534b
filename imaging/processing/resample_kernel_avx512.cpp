// The kernel resampler in 512-bit vectors: the 16-row first pass (one
// channel of 16 rows per multiply-add and per division) and the second-pass
// rows, 32 bytes at a time; the same exact sums and quotients as AVX2.
// The passes are written once for both widths (resample_kernel_lanes.h);
// this file gives their 512-bit operations, line for line beside the AVX2
// ones, since each names its width's instruction: here one saturating
// conversion narrows the quotients, there packs do.
#include <immintrin.h>

#include "imaging/processing/resample_internal.h"
#include "imaging/processing/resample_kernel_lanes.h"
#include "imaging/processing/resample_taps_lanes.h"

namespace redozir {

namespace {
// The passes' vector: sixteen 32-bit lanes.
struct TWords {
  using I = __m512i;
  static constexpr int Bytes = 64, Block = 32;
  static constexpr bool Overlap = true;
  static I Zero() { return _mm512_setzero_si512(); }
  static I Set1(int v) { return _mm512_set1_epi32(v); }
  static I Add(I a, I b) { return _mm512_add_epi32(a, b); }
  static I Neg(I a) { return _mm512_sub_epi32(_mm512_setzero_si512(), a); }
  static I Madd(I a, I b) { return _mm512_madd_epi16(a, b); }
  static I LoadA(const std::uint8_t* p) { return _mm512_load_si512(p); }
  static I Widen(const std::uint8_t* p) {
    return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
  }
  static I UnpackLo(I a, I b) { return _mm512_unpacklo_epi16(a, b); }
  static I UnpackHi(I a, I b) { return _mm512_unpackhi_epi16(a, b); }
  struct TDiv {
    __m512i Lim;
    __m512 Df, Rf;
    float Rcp;
  };
  static TDiv Divider(int d, float Rcp) {
    return {_mm512_set1_epi32(256 * d), _mm512_set1_ps(static_cast<float>(d)), _mm512_set1_ps(Rcp), Rcp};
  }
  template <bool Exact>
  static I Divide(I s, const TDiv& D) {
    s = _mm512_min_epi32(_mm512_max_epi32(s, _mm512_setzero_si512()), D.Lim);
    const __m512 f = _mm512_cvtepi32_ps(s);
    if (Exact || D.Rcp != 0) return _mm512_cvttps_epi32(_mm512_mul_ps(f, D.Rf));
    return _mm512_cvttps_epi32(_mm512_div_ps(f, D.Df));
  }
  static void PutRow(std::uint8_t* D, I Lo, I Hi) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(D), _mm512_cvtusepi16_epi8(_mm512_packs_epi32(Lo, Hi)));
  }
  static void PutChannel(std::uint8_t* D, const I* Q, const TDiv& Div) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(D), _mm512_cvtusepi32_epi8(Divide<false>(Q[0], Div)));
  }
};
}  // namespace

void IEKernelBlockH3_AVX512(const TIEResampleTaps& T, const std::uint8_t* const* Src, int Rows,
                            std::uint8_t* const* Dst, std::vector<std::uint8_t>& Scratch) {
  IEKernelBlockH3<TWords>(T, Src, Rows, Dst, Scratch);
}

void IEKernelRowV_AVX512(const TIEResampleTaps& T, int y, int R, const std::uint8_t* const* Rows, int Bytes,
                         std::uint8_t* const* Dst) {
  // The last block of a row starts 32 bytes before its end.
  if (Bytes < 32)
    IEKernelRowV_AVX2(T, y, R, Rows, Bytes, Dst);
  else
    IEKernelRowV<TWords>(T, y, R, Rows, Bytes, Dst);
}

std::uint64_t IELanczos3Weights_AVX512(const TIELanczos3Steps& P, double Sin, double Cos, double Centre,
                                       double First, int Count, double* V) {
  return Lanczos3Weights<8>(P, Sin, Cos, Centre, First, Count, V);
}

}  // namespace redozir
