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

namespace blit_rows {
// The scalar references of Row24To32 and MoveRow32, and their AVX2 forms
// (only where the processor has AVX2: HasAvx2).
void Row24To32Scalar(std::uint8_t* dst, const std::uint8_t* src, int n);
void Row24To32Avx2(std::uint8_t* dst, const std::uint8_t* src, int n);
void MoveRow32Scalar(std::uint8_t* dst, const std::uint8_t* src, int n);
void MoveRow32Avx2(std::uint8_t* dst, const std::uint8_t* src, int n);
bool HasAvx2();
}  // namespace blit_rows

}  // namespace redozir
#pragma GCC visibility pop
