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

// Destination pixels in chunks of kChunk (a multiple of 32, so that a whole
// chunk's bytes are whole 32-byte blocks).
constexpr int kChunk = 64;

// Taps(pairs, out, x0, x1) weighs the pairs for the destination pixels x0
// to x1 - 1 and stores channel c of the 16 rows at out + 16 (3 (x - x0) + c).
template <class TapsFn>
inline void KernelBlockH3(const TIEResampleTaps& T, const std::uint8_t* const* Src, int Rows,
                          std::uint8_t* const* Dst, std::vector<std::uint8_t>& Scratch, TapsFn Taps) {
  const std::size_t srcBytes = 3 * static_cast<std::size_t>(T.N);
  // Pairs are made 16 at a time, from 96 bytes of each row.
  const std::size_t groups = (static_cast<std::size_t>(T.Pairs) + 15) / 16;
  Scratch.resize(192 * 16 * groups + 16 * 96 + 48 * kChunk + 64);
  // 64-byte alignment for the pair words.
  std::uint8_t* const pairs = Scratch.data() + (-reinterpret_cast<std::uintptr_t>(Scratch.data()) & 63);
  std::uint8_t* const turned = pairs + 192 * 16 * groups;
  std::uint8_t* const out = turned + 16 * 96;
  const std::uint8_t* rows[16];
  for (int r = 0; r < 16; ++r) rows[r] = Src[r < Rows ? r : 0];

  // Pairs 16 g .. 16 g + 15. Pair m, channel c: pixels 2m and 2m + 1 side by
  // side as words, rows 0-7 then 8-15, ready for the multiply-adds.
  auto makePairs = [&](std::size_t g) {
    const std::size_t j0 = 96 * g;
    // Sixteen rows read side by side outrun the processor's own prefetch:
    // each row is asked for 512 bytes ahead (a tenth off a strong
    // reduction's first pass, which waits on memory).
    if (j0 + 512 + 96 < srcBytes)
      for (int r = 0; r < 16; ++r)
        for (std::size_t k = 0; k < 96; k += 48)
          _mm_prefetch(reinterpret_cast<const char*>(rows[r] + j0 + 512 + k), _MM_HINT_T0);
    // Byte column j of the rows (channel j mod 3 of pixel j div 3), 16 rows
    // at turned + 16 (j - j0); pixels past the row's end (reached only with
    // weight 0) read as 0.
    for (std::size_t j = j0; j < j0 + 96; j += 32) {
      __m256i b[16];
      if (j + 32 <= srcBytes) {
        for (int r = 0; r < 16; ++r) b[r] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[r] + j));
      } else {
        for (int r = 0; r < 16; ++r) {
          alignas(32) std::uint8_t tail[32] = {};
          if (j < srcBytes) __builtin_memcpy(tail, rows[r] + j, srcBytes - j);
          b[r] = _mm256_load_si256(reinterpret_cast<const __m256i*>(tail));
        }
      }
      Transpose16(b);
      std::uint8_t* t = turned + 16 * (j - j0);
      for (int c = 0; c < 16; ++c) {
        _mm_store_si128(reinterpret_cast<__m128i*>(t + 16 * c), _mm256_castsi256_si128(b[c]));
        _mm_store_si128(reinterpret_cast<__m128i*>(t + 16 * (16 + c)), _mm256_extracti128_si256(b[c], 1));
      }
    }
    for (int m = 0; m < 16; ++m) {
      for (int c = 0; c < 3; ++c) {
        const __m128i p0 = _mm_load_si128(reinterpret_cast<const __m128i*>(turned + 16 * (6 * m + c)));
        const __m128i p1 = _mm_load_si128(reinterpret_cast<const __m128i*>(turned + 16 * (6 * m + 3 + c)));
        std::uint8_t* q = pairs + 64 * (3 * (16 * g + static_cast<std::size_t>(m)) + c);
        _mm256_store_si256(reinterpret_cast<__m256i*>(q), _mm256_cvtepu8_epi16(_mm_unpacklo_epi8(p0, p1)));
        _mm256_store_si256(reinterpret_cast<__m256i*>(q + 32),
                           _mm256_cvtepu8_epi16(_mm_unpackhi_epi8(p0, p1)));
      }
    }
  };
  __m128i a[16];
  // Groups of pairs made so far, and pairs the chunks so far reach.
  std::size_t made = 0, reach = 0;
  // The destination pixels in chunks, each turned back into rows at once:
  // its columns stay in the first-level cache, where the whole row's (16
  // times the row) went out to the second-level cache and took room the
  // work rows need.
  for (int x0 = 0; x0 < T.M; x0 += kChunk) {
    const int x1 = std::min(T.M, x0 + kChunk);
    // Each chunk's pairs are made just before it weighs them, so that they
    // are still in the nearer caches.
    for (int x = x0; x < x1; ++x)
      reach = std::max(reach, static_cast<std::size_t>(T.PStart[static_cast<std::size_t>(x)] / 2 +
                                                       T.PLen[static_cast<std::size_t>(x)]));
    for (; 16 * made < reach; ++made) makePairs(made);
    Taps(pairs, out, x0, x1);
    const std::size_t n = 3 * static_cast<std::size_t>(x1 - x0);
    std::uint8_t* const* dst = Dst;
    const std::size_t at = 3 * static_cast<std::size_t>(x0);
    std::size_t j = 0;
    for (; j + 32 <= n; j += 32) {
      __m256i b[16];
      for (int c = 0; c < 16; ++c)
        b[c] = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(out + 16 * (j + 16 + c)),
                                   reinterpret_cast<const __m128i*>(out + 16 * (j + c)));
      Transpose16(b);
      for (int r = 0; r < Rows; ++r) _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst[r] + at + j), b[r]);
    }
    for (; j < n; j += 16) {
      for (int c = 0; c < 16; ++c) {
        a[c] = j + c < n ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(out + 16 * (j + c)))
                         : _mm_setzero_si128();
      }
      Transpose16(a);
      for (int r = 0; r < Rows; ++r) {
        if (j + 16 <= n) {
          _mm_storeu_si128(reinterpret_cast<__m128i*>(dst[r] + at + j), a[r]);
        } else {
          alignas(16) std::uint8_t tail[16];
          _mm_store_si128(reinterpret_cast<__m128i*>(tail), a[r]);
          __builtin_memcpy(dst[r] + at + j, tail, n - j);
        }
      }
    }
  }
}
}  // namespace

}  // namespace redozir
#pragma GCC visibility pop
