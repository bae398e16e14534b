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

void HalftoneRowScalar(const std::uint8_t* const* rows, const double* wy, int nRows, const int* colStart,
                       const int* colByte, const double* colW, int n, std::uint32_t* out) {
  // Round half to even below 2^51 without a library call: adding and taking
  // away 1.5 x 2^52 leaves no fraction bits.
  constexpr double kShift = 6755399441055744.0;
  auto channel = [](double v) {
    double r = (v + kShift) - kShift;
    return r > 255 ? 255u : static_cast<std::uint32_t>(r);
  };
  for (int i = 0; i < n; ++i) {
    int k0 = colStart[i], k1 = colStart[i + 1];
    if (k0 == k1) {
      out[i] = kNoTaps;
      continue;
    }
    double r = 0, g = 0, b = 0;
    for (int j = 0; j < nRows; ++j)
      for (int k = k0; k < k1; ++k) {
        const std::uint8_t* p = rows[j] + colByte[k];
        double w = wy[j] * colW[k];
        r += p[2] * w;
        g += p[1] * w;
        b += p[0] * w;
      }
    out[i] = (channel(r) << 16) | (channel(g) << 8) | channel(b);
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

void HalftoneRow(const std::uint8_t* const* rows, const double* wy, int nRows, const int* colStart,
                 const int* colByte, const double* colW, int n, std::uint32_t* out) {
  if (blit_rows::HasAvx2())
    blit_rows::HalftoneRowAvx2(rows, wy, nRows, colStart, colByte, colW, n, out);
  else
    blit_rows::HalftoneRowScalar(rows, wy, nRows, colStart, colByte, colW, n, out);
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
