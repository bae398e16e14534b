// Rows of pixels copied between the 24- and 32-bit formats, as the blits use
// them: blue, green and red move, the fourth byte of a 32-bit destination is
// left as it was (as everywhere a 32-bit pixel is drawn).
#pragma once

#include <cstdint>

#pragma GCC visibility push(default)
namespace redozir {

// n pixels of 24 bits to 32; the fastest path the processor has.
void Row24To32(std::uint8_t* dst, const std::uint8_t* src, int n);
// n pixels of 32 bits to 24.
void Row32To24(std::uint8_t* dst, const std::uint8_t* src, int n);
// n pixels of 32 bits to 32; the two rows may overlap (a scroll).
void MoveRow32(std::uint8_t* dst, const std::uint8_t* src, int n);

// One destination row of a halftone stretch from 24- or 32-bit pixels. For
// each column i of n: over the row taps j (row rows[j], weight wy[j]), and
// within each over the column's taps k (byte offsets colByte[colStart[i] ..
// colStart[i + 1]), weights colW[...]), each channel times wy[j] * colW[k]
// is added to a sum starting at 0, in that order; the sums are rounded half
// to even and capped at 255. out[i] is 0x00RRGGBB, or kNoTaps for a column
// without taps. Every row must be readable for four bytes at each offset.
constexpr std::uint32_t kNoTaps = 0xFFFFFFFFu;
void HalftoneRow(const std::uint8_t* const* rows, const double* wy, int nRows, const int* colStart,
                 const int* colByte, const double* colW, int n, std::uint32_t* out);

namespace blit_rows {
// The scalar references of Row24To32 and MoveRow32, and their AVX2 forms
// (only where the processor has AVX2: HasAvx2).
void Row24To32Scalar(std::uint8_t* dst, const std::uint8_t* src, int n);
void Row24To32Avx2(std::uint8_t* dst, const std::uint8_t* src, int n);
void MoveRow32Scalar(std::uint8_t* dst, const std::uint8_t* src, int n);
void MoveRow32Avx2(std::uint8_t* dst, const std::uint8_t* src, int n);
void HalftoneRowScalar(const std::uint8_t* const* rows, const double* wy, int nRows, const int* colStart,
                       const int* colByte, const double* colW, int n, std::uint32_t* out);
void HalftoneRowAvx2(const std::uint8_t* const* rows, const double* wy, int nRows, const int* colStart,
                     const int* colByte, const double* colW, int n, std::uint32_t* out);
bool HasAvx2();
}  // namespace blit_rows

}  // namespace redozir
#pragma GCC visibility pop
