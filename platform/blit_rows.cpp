#include "platform/blit_rows.h"

#include <cstring>

#include "platform/simd_level.h"

namespace redozir {

namespace blit_rows {
void Row24To32Scalar(std::uint8_t* dst, const std::uint8_t* src, int n) {
  for (int i = 0; i < n; ++i, dst += 4, src += 3) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
  }
}

void MoveRow32Scalar(std::uint8_t* dst, const std::uint8_t* src, int n) {
  if (n <= 0 || dst == src) return;
  // Whole words: the low three bytes from the source, the fourth kept.
  constexpr std::uint32_t kColour = 0x00FFFFFF;
  auto step = [&](int i) {
    std::uint32_t s, d;
    std::memcpy(&s, src + 4 * i, 4);
    std::memcpy(&d, dst + 4 * i, 4);
    d = (d & ~kColour) | (s & kColour);
    std::memcpy(dst + 4 * i, &d, 4);
  };
  // Moving right over itself, the last pixel goes first.
  if (dst > src && dst < src + 4 * static_cast<std::ptrdiff_t>(n)) {
    for (int i = n - 1; i >= 0; --i) step(i);
  } else {
    for (int i = 0; i < n; ++i) step(i);
  }
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has && SIMDLevelAllowed() >= TSIMDLevel::AVX2;
}
}  // namespace blit_rows

void Row24To32(std::uint8_t* dst, const std::uint8_t* src, int n) {
  if (blit_rows::HasAvx2())
    blit_rows::Row24To32Avx2(dst, src, n);
  else
    blit_rows::Row24To32Scalar(dst, src, n);
}

void Row32To24(std::uint8_t* dst, const std::uint8_t* src, int n) {
  for (int i = 0; i < n; ++i, dst += 3, src += 4) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
  }
}

void MoveRow32(std::uint8_t* dst, const std::uint8_t* src, int n) {
  if (blit_rows::HasAvx2())
    blit_rows::MoveRow32Avx2(dst, src, n);
  else
    blit_rows::MoveRow32Scalar(dst, src, n);
}

}  // namespace redozir
