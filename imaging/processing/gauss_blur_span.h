// The inner loop of the gaussian blur, shared by the row and column passes:
// Count outputs, each the weighted sum of one byte from each of Taps source
// spans, with 16.16 weights and the rounding half (32768) added first.
#pragma once

#include <cstdint>

#pragma GCC visibility push(default)
namespace redozir {

// Out[k] = (32768 + sum of W[t] x Src[t][k]) shr 16, limited to 255.
void IEConvolveSpanScalar(const std::uint8_t* const* Src, const std::int32_t* W, int Taps, std::uint8_t* Out,
                          int Count);
// The same, 16 outputs per step, for a symmetric kernel (W[t] = W[Taps-1-t],
// Taps odd) whose centre weight is at most 65534 and others at most 32767.
void IEConvolveSpanAVX2(const std::uint8_t* const* Src, const std::int32_t* W, int Taps, std::uint8_t* Out,
                        int Count);
// The same with 64 outputs per step (AVX-512 BW), for the same kernels.
void IEConvolveSpanAVX512(const std::uint8_t* const* Src, const std::int32_t* W, int Taps, std::uint8_t* Out,
                          int Count);
// True when IEConvolveSpanAVX2 (and IEConvolveSpanAVX512) may take the kernel.
bool IEConvolveSpanAVX2Fits(const std::int32_t* W, int Taps);

}  // namespace redozir
#pragma GCC visibility pop
