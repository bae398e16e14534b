// The 16-row first pass of the kernel resampler around its multiply-adds:
// rows turned into columns, pixel pairs laid out as words, and the results
// turned back into rows. Included by the AVX2 and the AVX-512 rows, each
// compiling its own copy (internal linkage) with its own instruction set.
#pragma once

#include <immintrin.h>

#include <algorithm>

#include "imaging/processing/resample_internal.h"

#pragma GCC visibility push(default)
namespace redozir {

namespace {
// Interleaving steps for 128-bit vectors and for two 128-bit lanes at once.
#define IE_UNPACK(name, w)                                                               \
  inline __m128i name##Lo(__m128i a, __m128i b) { return _mm_unpacklo_epi##w(a, b); }    \
  inline __m128i name##Hi(__m128i a, __m128i b) { return _mm_unpackhi_epi##w(a, b); }    \
  inline __m256i name##Lo(__m256i a, __m256i b) { return _mm256_unpacklo_epi##w(a, b); } \
  inline __m256i name##Hi(__m256i a, __m256i b) { return _mm256_unpackhi_epi##w(a, b); }
IE_UNPACK(U8, 8)
IE_UNPACK(U16, 16)
IE_UNPACK(U32, 32)
IE_UNPACK(U64, 64)
#undef IE_UNPACK

// Sixteen rows of sixteen bytes turned into sixteen columns: afterwards a[c]
// holds byte c of every row, row r at byte r (in each 128-bit lane).
template <class V>
inline void Transpose16(V a[16]) {
  V t[16], u[16];
  for (int i = 0; i < 8; ++i) {
    t[2 * i] = U8Lo(a[2 * i], a[2 * i + 1]);
    t[2 * i + 1] = U8Hi(a[2 * i], a[2 * i + 1]);
  }
  // u[4g + k]: rows 4g .. 4g + 3, columns 4k .. 4k + 3.
  for (int g = 0; g < 4; ++g) {
    u[4 * g] = U16Lo(t[4 * g], t[4 * g + 2]);
    u[4 * g + 1] = U16Hi(t[4 * g], t[4 * g + 2]);
    u[4 * g + 2] = U16Lo(t[4 * g + 1], t[4 * g + 3]);
    u[4 * g + 3] = U16Hi(t[4 * g + 1], t[4 * g + 3]);
  }
  // t[8h + k]: rows 8h .. 8h + 7, columns 2k and 2k + 1.
  for (int h = 0; h < 2; ++h) {
    for (int k = 0; k < 4; ++k) {
      t[8 * h + 2 * k] = U32Lo(u[8 * h + k], u[8 * h + 4 + k]);
      t[8 * h + 2 * k + 1] = U32Hi(u[8 * h + k], u[8 * h + 4 + k]);
    }
  }
  for (int k = 0; k < 8; ++k) {
    a[2 * k] = U64Lo(t[k], t[8 + k]);
    a[2 * k + 1] = U64Hi(t[k], t[8 + k]);
  }
}

// Taps(pairs, out) weighs the pairs for every destination pixel x and
// stores channel c of the 16 rows at out + 16 (3 x + c).
template <class TapsFn>
inline void KernelBlockH3(const TIEResampleTaps& T, const std::uint8_t* const* Src, int Rows,
                          std::uint8_t* const* Dst, std::vector<std::uint8_t>& Scratch, TapsFn Taps) {
  const std::size_t srcBytes = 3 * static_cast<std::size_t>(T.N);
  const std::size_t cols = (srcBytes + 15) & ~std::size_t(15);
  // A multiple of 4, so that 16 x need keeps the pairs 64-byte aligned.
  const std::size_t need = (std::max(cols, 6 * static_cast<std::size_t>(T.Pairs)) + 3) & ~std::size_t(3);
  const std::size_t outBytes = 3 * static_cast<std::size_t>(T.M);
  const std::size_t outCols = (outBytes + 15) & ~std::size_t(15);
  Scratch.resize(16 * need + 192 * static_cast<std::size_t>(T.Pairs) + 16 * outCols + 64);
  // 64-byte alignment for the pair words.
  std::uint8_t* const turned = Scratch.data() + (-reinterpret_cast<std::uintptr_t>(Scratch.data()) & 63);
  std::uint8_t* const pairs = turned + 16 * need;
  std::uint8_t* const out = pairs + 192 * static_cast<std::size_t>(T.Pairs);
  const std::uint8_t* rows[16];
  for (int r = 0; r < 16; ++r) rows[r] = Src[r < Rows ? r : 0];

  // Byte column j of the rows (channel j mod 3 of pixel j div 3), 16 rows.
  std::size_t j0 = 0;
  for (__m256i b[16]; j0 + 32 <= srcBytes; j0 += 32) {
    // Sixteen rows read side by side outrun the processor's own prefetch:
    // each row is asked for 512 bytes ahead (a tenth off a strong
    // reduction's first pass, which waits on memory).
    if ((j0 & 63) == 0 && j0 + 512 < srcBytes)
      for (int r = 0; r < 16; ++r)
        _mm_prefetch(reinterpret_cast<const char*>(rows[r] + j0 + 512), _MM_HINT_T0);
    for (int r = 0; r < 16; ++r) b[r] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[r] + j0));
    Transpose16(b);
    for (int c = 0; c < 16; ++c) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(turned + 16 * (j0 + c)), _mm256_castsi256_si128(b[c]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(turned + 16 * (j0 + 16 + c)),
                       _mm256_extracti128_si256(b[c], 1));
    }
  }
  __m128i a[16];
  for (; j0 < cols; j0 += 16) {
    if (j0 + 16 <= srcBytes) {
      for (int r = 0; r < 16; ++r) a[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + j0));
    } else {
      for (int r = 0; r < 16; ++r) {
        alignas(16) std::uint8_t tail[16] = {};
        __builtin_memcpy(tail, rows[r] + j0, srcBytes - j0);
        a[r] = _mm_load_si128(reinterpret_cast<const __m128i*>(tail));
      }
    }
    Transpose16(a);
    for (int c = 0; c < 16; ++c) _mm_storeu_si128(reinterpret_cast<__m128i*>(turned + 16 * (j0 + c)), a[c]);
  }
  // Pixels past the row's end (reached only with weight 0) read as 0.
  __builtin_memset(turned + 16 * cols, 0, 16 * (need - cols));
  // Pair m, channel c: pixels 2m and 2m + 1 side by side as words, rows 0-7
  // then 8-15, ready for the multiply-adds.
  for (int m = 0; m < T.Pairs; ++m) {
    for (int c = 0; c < 3; ++c) {
      const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(turned + 16 * (6 * m + c)));
      const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(turned + 16 * (6 * m + 3 + c)));
      std::uint8_t* q = pairs + 64 * (3 * static_cast<std::size_t>(m) + c);
      _mm256_store_si256(reinterpret_cast<__m256i*>(q), _mm256_cvtepu8_epi16(_mm_unpacklo_epi8(p0, p1)));
      _mm256_store_si256(reinterpret_cast<__m256i*>(q + 32), _mm256_cvtepu8_epi16(_mm_unpackhi_epi8(p0, p1)));
    }
  }
  Taps(pairs, out);
  // Back to rows.
  for (j0 = 0; j0 + 32 <= outBytes; j0 += 32) {
    __m256i b[16];
    for (int c = 0; c < 16; ++c)
      b[c] = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(out + 16 * (j0 + 16 + c)),
                                 reinterpret_cast<const __m128i*>(out + 16 * (j0 + c)));
    Transpose16(b);
    for (int r = 0; r < Rows; ++r) _mm256_storeu_si256(reinterpret_cast<__m256i*>(Dst[r] + j0), b[r]);
  }
  for (; j0 < outCols; j0 += 16) {
    for (int c = 0; c < 16; ++c) {
      a[c] = j0 + c < outBytes ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(out + 16 * (j0 + c)))
                               : _mm_setzero_si128();
    }
    Transpose16(a);
    for (int r = 0; r < Rows; ++r) {
      if (j0 + 16 <= outBytes) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Dst[r] + j0), a[r]);
      } else {
        alignas(16) std::uint8_t tail[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(tail), a[r]);
        __builtin_memcpy(Dst[r] + j0, tail, outBytes - j0);
      }
    }
  }
}
}  // namespace

}  // namespace redozir
#pragma GCC visibility pop
