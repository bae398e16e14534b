// Red/blue byte-order routines that the codecs call while reading and
// writing rows.
#pragma once

#include <cstdint>

#pragma GCC visibility push(default)
namespace redozir {

// Copies Count 3-byte pixels from Src to Dst with bytes 0 and 2 exchanged.
void IECopyAndSwapRB(void* Dst, const void* Src, std::int64_t Count);
// Exchanges bytes 0 and 2 of Count 3-byte pixels in place.
void IESwapRB(void* Buffer, std::int64_t Count);
// Exchanges the first and third 16-bit words of Count 6-byte pixels in place.
void IESwapRB48(void* Buffer, std::int64_t Count);
// As IESwapRB; the middle argument is not read.
void IESwapRBRow(void* Buffer, int Ignored, std::int64_t Count);

}  // namespace redozir
#pragma GCC visibility pop
