// The area-weighted resampler's double rows in 512-bit vectors, two pixels
// (four lanes each) per vector, and its checked float rows, sixteen channel
// samples per vector: the same operations in the same order as the AVX2
// rows and the scalar walk, so the same results. The float rows of the walk
// stay with AVX2.
// The rows themselves are written once for both widths
// (resample_area_lanes.h); this file gives their 512-bit operations. Its
// traits stand beside the AVX2 ones line for line, since each line names
// the instruction of its width: two pixels per vector and lane permutes
// here, masked loads and stores, a single-instruction rounding and
// saturation.
#include <immintrin.h>

#include <cstring>

#include "imaging/processing/resample_area_float.h"
#include "imaging/processing/resample_area_lanes.h"
#include "imaging/processing/resample_internal.h"

namespace redozir {

namespace {
constexpr int kRound = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;

// The double rows' vector: two pixels side by side.
struct TPair {
  using T = __m512d;
  using Q = __m256i;
  static constexpr int Pixels = 2;
  static T Zero() { return _mm512_setzero_pd(); }
  static T Set1(double v) { return _mm512_set1_pd(v); }
  static T Add(T a, T b) { return _mm512_add_pd(a, b); }
  static T Mul(T a, T b) { return _mm512_mul_pd(a, b); }
  static T Clamp(T r, T hi) { return _mm512_min_pd(_mm512_max_pd(r, _mm512_setzero_pd()), hi); }
  static T Round(T r) { return _mm512_roundscale_pd(r, kRound); }
  static T Load(const double* p) { return _mm512_loadu_pd(p); }
  static T Load(const float* p) { return _mm512_cvtps_pd(_mm256_loadu_ps(p)); }
  static void Store(double* p, T v) { _mm512_storeu_pd(p, v); }
  static void Store(float* p, T v) { _mm256_storeu_ps(p, _mm512_cvtpd_ps(v)); }
  // Values i and i + 1, each over the four lanes of its pixel.
  static T Weight(const double* w) {
    return _mm512_permutexvar_pd(_mm512_setr_epi64(0, 0, 0, 0, 1, 1, 1, 1),
                                 _mm512_castpd128_pd512(_mm_loadu_pd(w)));
  }
  static bool Empty(const double* PW) { return PW[0] == 0 && PW[1] == 0; }
  struct TAt {
    const double *A, *B;
  };
  static TAt Columns(const double* Px, const std::int32_t* X) {
    return {Px + 4 * static_cast<std::size_t>(X[0]), Px + 4 * static_cast<std::size_t>(X[1])};
  }
  static T Column(TAt At, int Off) {
    return _mm512_insertf64x4(_mm512_castpd256_pd512(_mm256_loadu_pd(At.A + Off)),
                              _mm256_loadu_pd(At.B + Off), 1);
  }
  static Q Finish(T a, T inv, T hi) { return _mm512_cvtpd_epi32(Clamp(Round(Mul(a, inv)), hi)); }
  // Pixels j and j + 1 in q[0], j + 2 and j + 3 in q[1], Ch (1 or 3)
  // samples each, lane 3 of each dropped.
  template <typename Sample>
  static void Put(const Q* q, int Ch, Sample* D, int n) {
    const __m512i v = _mm512_inserti64x4(_mm512_castsi256_si512(q[0]), q[1], 1);
    const int count = n * Ch;
    if constexpr (sizeof(Sample) == 1) {
      const __m128i pick = Ch == 3
                               ? _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1)
                               : _mm_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
      const __m128i b = _mm_shuffle_epi8(_mm512_cvtepi32_epi8(v), pick);
      if (count == 12) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(D), b);
        const std::int32_t w = _mm_extract_epi32(b, 2);
        std::memcpy(D + 8, &w, 4);
      } else {
        _mm_mask_storeu_epi8(D, static_cast<__mmask16>((1u << count) - 1), b);
      }
    } else {
      const __m256i pick = Ch == 3 ? _mm256_setr_epi16(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 0, 0, 0, 0)
                                   : _mm256_setr_epi16(0, 4, 8, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
      _mm256_mask_storeu_epi16(D, static_cast<__mmask16>((1u << count) - 1),
                               _mm256_permutexvar_epi16(pick, _mm512_cvtepi32_epi16(v)));
    }
  }
};

// The checked float rows' vector.
struct TLanes {
  using T = __m512;
  static constexpr int Lanes = 16;
  static T Zero() { return _mm512_setzero_ps(); }
  static T Set1(float v) { return _mm512_set1_ps(v); }
  static T Load(const float* p) { return _mm512_loadu_ps(p); }
  static void Store(float* p, T v) { _mm512_storeu_ps(p, v); }
  static T Add(T a, T b) { return _mm512_add_ps(a, b); }
  static T Sub(T a, T b) { return _mm512_sub_ps(a, b); }
  static T Mul(T a, T b) { return _mm512_mul_ps(a, b); }
  static T Fma(T a, T b, T c) { return _mm512_fmadd_ps(a, b, c); }
  static T Min(T a, T b) { return _mm512_min_ps(a, b); }
  static T Max(T a, T b) { return _mm512_max_ps(a, b); }
  static T Round(T v) { return _mm512_roundscale_ps(v, kRound); }
  static T Frac(T v) { return _mm512_reduce_ps(v, kRound); }
  using TPick = __m512i;
  static TPick Picks(const std::int32_t* Idx) { return _mm512_loadu_si512(Idx); }
  static T Tap(const float* P, TPick K) {
    return _mm512_permutex2var_ps(_mm512_loadu_ps(P), K, _mm512_loadu_ps(P + 16));
  }
  static T FromBytes(const std::uint8_t* Row) {
    return _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Row))));
  }
  static void FromBytesTail(const std::uint8_t* Row, int n, float* P) {
    const __mmask16 m = static_cast<__mmask16>((1u << n) - 1);
    _mm512_mask_storeu_ps(P, m, _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(_mm_maskz_loadu_epi8(m, Row))));
  }
  static unsigned Far(T F, T Limit) { return _mm512_cmp_ps_mask(_mm512_abs_ps(F), Limit, _CMP_GE_OQ); }
  // Converted halves to even; the bytes saturate at 255.
  static void PutBytes(std::uint8_t* D, T v, int Valid) {
    const __m128i b = _mm512_cvtusepi32_epi8(_mm512_cvtps_epi32(_mm512_max_ps(v, _mm512_setzero_ps())));
    if (Valid == 16)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(D), b);
    else
      _mm_mask_storeu_epi8(D, static_cast<__mmask16>((1u << Valid) - 1), b);
  }
};
}  // namespace

void IEAreaRowH_AVX512(const TIEAreaCols& T, TIEAreaHKind Kind, const double* Px, double Max, void* H) {
  if (T.Single)
    IEAreaRowH_AVX2(T, Kind, Px, Max, H);
  else
    IEAreaRowH<TPair>(T, Kind, Px, Max, H);
}

void IEAreaAccumulate_AVX512(const TIEAreaCols& T, TIEAreaVKind Kind, bool Compact, int Ch,
                             const void* const Rows[4], const double VW[4], double Max, double PH, bool First,
                             double* Acc, const TIEAreaOut* Out) {
  if (T.Single || (Ch != 1 && Ch != 3))
    IEAreaAccumulate_AVX2(T, Kind, Compact, Ch, Rows, VW, Max, PH, First, Acc, Out);
  else
    IEAreaAccumulate<TPair>(T, Kind, Compact, Ch, Rows, VW, Max, PH, First, Acc, Out);
}

void IEAreaFloatPixels_AVX512(const std::uint8_t* Row, int Sw, int Ch, float* Px) {
  IEAreaFloatPixels<TLanes>(Row, Sw, Ch, Px);
}

int IEAreaFloatRowH_AVX512(const TIEAreaFloatTables& T, const float* Px, float* H, std::int32_t* Flags) {
  return IEAreaFloatRowH<TLanes>(T, Px, H, Flags);
}

void IEAreaFloatVert_AVX512(const TIEAreaFloatTables& T, const float* const R[8], const float VW[8],
                            const float Hi[2], int Pieces, int Unit, float* A, int From, int To) {
  IEAreaVert<TLanes>(T.Cubic, Pieces, Unit, R, VW, Hi, A, From, To);
}

int IEAreaFloatFinish_AVX512(const TIEAreaFloatTables& T, const float* A, const float* AU, std::uint8_t* D,
                             std::int32_t* Flags, int From, int To) {
  return IEAreaFloatFinish<TLanes>(T, A, AU, D, Flags, From, To);
}

}  // namespace redozir
