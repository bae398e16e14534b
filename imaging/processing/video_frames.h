// Row decoders of the packed and planar YUV video-frame layouts, used by the
// packed DIB reader.
#pragma once

#include <cstdint>

#include "imaging/core/iebitmap.h"

#pragma GCC visibility push(default)
namespace redozir {

// Bytes of pixel data that a Width x Height frame of the layout takes; -1
// when FourCC is not a layout we read.
std::int64_t IEVideoFrameBytes(std::uint32_t FourCC, std::int64_t Width, std::int64_t Height);

// Raises EFormatError unless a Width x Height frame of the layout can be read
// from Size bytes: both sides at least 1, a packed layout at least one whole
// unit wide (a narrower row stores no byte, so any height would need none),
// and Size at least IEVideoFrameBytes.
void IECheckVideoFrame(std::uint32_t FourCC, std::int64_t Width, std::int64_t Height, std::int64_t Size);

// Decodes a frame of the layout from the Size bytes at Data into Dst, which
// must be allocated ie24RGB at the frame's size (checked as above, and Dst's
// format too: EFormatError and Dst untouched otherwise). TopDown forces the
// first stored row to be the top row for the layouts that are otherwise
// stored bottom-up.
void IEDecodeVideoFrame(std::uint32_t FourCC, const std::uint8_t* Data, std::int64_t Size, TIEBitmap* Dst,
                        bool TopDown);

}  // namespace redozir
#pragma GCC visibility pop
