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

// Decodes a frame of the layout from Data (IEVideoFrameBytes long) into Dst,
// already allocated Width x Height ie24RGB. TopDown forces the first stored
// row to be the top row for the layouts that are otherwise stored bottom-up.
void IEDecodeVideoFrame(std::uint32_t FourCC, const std::uint8_t* Data, TIEBitmap* Dst, bool TopDown);

}  // namespace redozir
#pragma GCC visibility pop
