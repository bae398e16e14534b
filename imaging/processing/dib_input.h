// Packed DIB and video-frame input: a BITMAPINFOHEADER, its colour table or
// bit-field masks and the pixel bits (uncompressed 1 to 32 bits per pixel, or
// a YUV video frame named by its FOURCC) into a TIEBitmap.
#pragma once

#include <cstdint>

#include "imaging/core/iebitmap.h"
#include "platform/byte_reader.h"
#include "platform/global_memory.h"

#pragma GCC visibility push(default)
namespace redozir {

// Raised for a DIB whose layout (bit count, compression) is not read.
class EIEUnsupportedDIB : public EFormatError {
  using EFormatError::EFormatError;
};

constexpr std::uint32_t IEFourCC(const char (&s)[5]) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[0])) |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[3])) << 24;
}

// The header fields the readers use, as read from a block.
struct TIEDIBHeader {
  std::uint32_t biSize = 0;
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;
  std::uint16_t biBitCount = 0;
  std::uint32_t biCompression = 0;
  std::uint32_t biClrUsed = 0;
  // Bytes from the start of the block to the pixel bits (header, colour
  // table, masks).
  std::int64_t BitsOffset = 0;
};

// Reads and checks the header of a DIB block of DIBSize bytes; raises
// EFormatError when the header or its colour table does not fit the block.
TIEDIBHeader IEReadDIBHeader(const void* DIB, std::int64_t DIBSize);

// Fills Dst from the DIB block of DIBSize bytes. Bits, when not nil, holds
// BitsSize bytes of pixel data used instead of the bits after the header
// (the header's colour table still applies). Answers biBitCount.
// A block that does not hold what its header announces raises EFormatError
// and leaves Dst as it was; a layout that is not supported empties Dst and
// raises EIEUnsupportedDIB. A negative height reads a top-down DIB.
int _CopyDIBtoBitmapEx(const void* DIB, std::int64_t DIBSize, TIEBitmap* Dst, const void* Bits = nullptr,
                       std::int64_t BitsSize = 0);

// The same with the DIB in a global memory block, locked for the call; 0
// when the handle cannot be locked.
int _CopyDIBtoBitmapEx(HGLOBAL DIB, TIEBitmap* Dst, const void* Bits = nullptr, std::int64_t BitsSize = 0);

// True when the FOURCC names one of the video-frame layouts that are read.
bool IEIsVideoFourCC(std::uint32_t FourCC);

}  // namespace redozir
#pragma GCC visibility pop
