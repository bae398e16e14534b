// Bit-level access and copying inside 1-bit rows (most significant bit is the
// leftmost pixel), and byte inversion of buffers.
#pragma once

#include <cstdint>

#pragma GCC visibility push(default)
namespace redozir {

// Non-zero when bit N of Buffer is set; 0 for a negative N.
int IEGetBit(const void* Buffer, int N);
// Sets or clears bit N of Buffer; a negative N does nothing.
void IESetBit(void* Buffer, int N, bool Value);
// Copies Count bits from bit SrcPos of Src to bit DstPos of Dst, leaving the
// other bits of the destination bytes alone. SrcLen is the number of bytes
// readable from the start of Src: the count is cut so that no bit beyond
// them is read. Nothing happens for Count < 1 or a negative position.
void IECopyBits(void* Dst, const void* Src, int DstPos, int SrcPos, int Count, int SrcLen);
// The same one bit at a time (the reference the fast copy is checked against);
// the length argument is not read.
void IECopyBitsBitwise(void* Dst, const void* Src, int DstPos, int SrcPos, int Count, int SrcLen);
// Inverts Count bytes in place.
void IEInvertBuffer(void* Buffer, std::int64_t Count);

}  // namespace redozir
#pragma GCC visibility pop
