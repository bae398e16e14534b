// Rows of the nearest stretch picked with byte shuffles: the plan (which
// source bytes each step of destination bytes takes) and its AVX2 row.
#include <immintrin.h>

#include <algorithm>

#include "imaging/processing/resample_internal.h"

namespace redozir {

void IEPickRowPlan(bool Wide, int Bytes, const int* Col, int sw, int dw, TIEPickRowPlan& Plan) {
  Plan = TIEPickRowPlan{};
  const std::int64_t rowBytes = static_cast<std::int64_t>(sw) * Bytes;
  // A step writes at most Out bytes (AVX2 stores 16 whatever it needs) and
  // reads a window of Window bytes, which the AVX2 row keeps inside the row.
  const int Out = Wide ? 63 : 16, Window = Wide ? 128 : 32, Stride = Wide ? 64 : 32;
  if (Bytes < 1 || Bytes > 6 || (!Wide && rowBytes < Window)) return;
  const std::int64_t dstBytes = static_cast<std::int64_t>(dw) * Bytes;
  int x = 0;
  while (x < dw) {
    if (!Wide && static_cast<std::int64_t>(x) * Bytes + 16 > dstBytes) break;
    const std::int64_t lo = static_cast<std::int64_t>(Col[x]) * Bytes;
    const std::int64_t base = Wide ? lo : std::min(lo, rowBytes - Window);
    int p = 0;
    while (x + p < dw && (p + 1) * Bytes <= Out &&
           static_cast<std::int64_t>(Col[x + p]) * Bytes + Bytes - 1 - base < Window)
      ++p;
    // Steps of a pixel or two (a strong reduction) gain nothing over the
    // scalar copies.
    if (p * Bytes < 8) break;
    Plan.Base.push_back(static_cast<int>(base));
    Plan.Len.push_back(static_cast<std::uint8_t>(p * Bytes));
    const std::size_t c0 = Plan.Ctl.size();
    Plan.Ctl.resize(c0 + static_cast<std::size_t>(Stride), Wide ? 0 : 0x80);
    for (int j = 0; j < p * Bytes; ++j) {
      const int off =
          static_cast<int>(static_cast<std::int64_t>(Col[x + j / Bytes]) * Bytes + j % Bytes - base);
      if (Wide)
        Plan.Ctl[c0 + static_cast<std::size_t>(j)] = static_cast<std::uint8_t>(off);
      else
        Plan.Ctl[c0 + static_cast<std::size_t>(off < 16 ? j : 16 + j)] =
            static_cast<std::uint8_t>(off < 16 ? off : off - 16);
    }
    x += p;
  }
  Plan.Lim = x;
}

void IEPickRow_AVX2(const TIEPickRowPlan& Plan, const std::uint8_t* S, std::uint8_t* D) {
  const std::uint8_t* c = Plan.Ctl.data();
  for (std::size_t k = 0, n = Plan.Base.size(); k < n; ++k, c += 32) {
    const std::uint8_t* s = S + Plan.Base[k];
    // The rows stream from memory faster when asked for ahead of the shuffles.
    _mm_prefetch(reinterpret_cast<const char*>(s) + 2048, _MM_HINT_T0);
    const __m128i lo = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)),
                                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(c)));
    const __m128i hi = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16)),
                                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + 16)));
    // Bytes past the step's own are written again by the next step.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(D), _mm_or_si128(lo, hi));
    D += Plan.Len[k];
  }
}

}  // namespace redozir
