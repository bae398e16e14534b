// The AVX2 forms of the row readers and of the weighted mix: a byte shuffle
// spreads sixteen grey bytes (or weights) over three 16-byte stores, and
// packs eight 32-bit pixels into 24 bytes (the fourth bytes dropped, the two
// lanes joined by a dword permute). The mix computes
// (d x (256 - w) + s x w) >> 8 in 16-bit lanes: the same as d + (s - d) x w
// / 256 rounded down, and the sum never passes 255 x 256.
#include <immintrin.h>

#include "imaging/core/ie_pixelrow.h"

namespace redozir::pixel_rows {

namespace {
// Built where they are used: a vector constant made at load time would run
// AVX2 code on processors without it.
inline __m128i Spread0() { return _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5); }
inline __m128i Spread1() { return _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10); }
inline __m128i Spread2() {
  return _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
}

// Sixteen bytes of S mixed over sixteen of D by sixteen weights.
inline void Mix16(const std::uint8_t* S, std::uint8_t* D, __m128i W) {
  const __m256i s = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(S)));
  const __m256i d = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(D)));
  const __m256i w = _mm256_cvtepu8_epi16(W);
  const __m256i iw = _mm256_sub_epi16(_mm256_set1_epi16(256), w);
  const __m256i r =
      _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(d, iw), _mm256_mullo_epi16(s, w)), 8);
  const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(r, r), 0x08);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(D), _mm256_castsi256_si128(packed));
}
}  // namespace

void GreyToRGBAvx2(const std::uint8_t* Grey, int Count, TRGB* Out) {
  auto* out = reinterpret_cast<std::uint8_t*>(Out);
  int i = 0;
  for (; i + 16 <= Count; i += 16) {
    const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Grey + i));
    std::uint8_t* o = out + 3 * static_cast<std::size_t>(i);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_shuffle_epi8(g, Spread0()));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 16), _mm_shuffle_epi8(g, Spread1()));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 32), _mm_shuffle_epi8(g, Spread2()));
  }
  GreyToRGBScalar(Grey + i, Count - i, Out + i);
}

void MixRowAvx2(const TRGB* S, const std::uint8_t* Alpha, std::uint8_t* D, int Count, int Transparency) {
  const __m128i t = _mm_set1_epi8(static_cast<char>(Transparency));
  const auto* s = reinterpret_cast<const std::uint8_t*>(S);
  int i = 0;
  for (; i + 16 <= Count; i += 16) {
    const __m128i w =
        Alpha ? _mm_min_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Alpha + i)), t) : t;
    const std::size_t o = 3 * static_cast<std::size_t>(i);
    Mix16(s + o, D + o, _mm_shuffle_epi8(w, Spread0()));
    Mix16(s + o + 16, D + o + 16, _mm_shuffle_epi8(w, Spread1()));
    Mix16(s + o + 32, D + o + 32, _mm_shuffle_epi8(w, Spread2()));
  }
  MixRowScalar(S + i, Alpha ? Alpha + i : nullptr, D + 3 * static_cast<std::size_t>(i), Count - i,
               Transparency);
}

void Row32ToRGBAvx2(const std::uint8_t* Row, int Count, TRGB* Out) {
  const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5,
                                        6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  auto* out = reinterpret_cast<std::uint8_t*>(Out);
  int i = 0;
  for (; i + 8 <= Count; i += 8) {
    const __m256i s =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Row + 4 * static_cast<std::size_t>(i)));
    const __m256i bgr = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(s, pack), join);
    std::uint8_t* o = out + 3 * static_cast<std::size_t>(i);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(bgr));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 16), _mm256_extracti128_si256(bgr, 1));
  }
  Row32ToRGBScalar(Row + 4 * static_cast<std::size_t>(i), Count - i, Out + i);
}

}  // namespace redozir::pixel_rows
