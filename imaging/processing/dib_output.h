// Packed DIB output (header, colour table, bottom-up rows) of a rectangle of
// a TIEBitmap, and the drawing of a packed DIB into a TIEDibbitmap.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "imaging/core/ie_workbitmap.h"
#include "imaging/core/iebitmap.h"
#include "platform/global_memory.h"

#pragma GCC visibility push(default)
namespace redozir {

// The packed DIB of the rectangle X1..X2 - 1, Y1..Y2 - 1 of Bitmap (X2 = 0
// means the width, Y2 = 0 the height; the rectangle is clamped to the image)
// with the resolution in dots per inch: 1 bit for ie1g (black, white table),
// 8 bits for ie8g (grey table) and ie8p (its palette, 256 entries), 24 bits
// for ie24RGB and, after a conversion, every other format. The block is 44
// bytes plus the table and the rows: 4 bytes more than they need, zero.
// It is written into the memory that Allocate hands out for the block's
// size; False when that is nil (or Bitmap is nil).
bool IEWriteDIB(TIEBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int DpiX, int DpiY,
                const std::function<std::uint8_t*(std::int64_t Size)>& Allocate);
// The same block in a byte vector (empty for a nil Bitmap).
std::vector<std::uint8_t> IECopyBitmapToDIBBytes(TIEBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int DpiX,
                                                 int DpiY);
// The same block in a new global memory block (moveable, shareable) that the
// caller owns; nil when it cannot be allocated.
HGLOBAL _CopyBitmaptoDIBEx(TIEBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int DpiX, int DpiY);

// Draws the packed DIB (DIBSize bytes; Bits, when given, holds BitsSize bytes
// of pixels used instead of those after the header) into Dst, allocated at
// the DIB's size with 1 bit for a black and white 1-bit DIB and 24 bits
// otherwise. Answers the DIB's bit count. A block that does not hold what
// its header announces raises EFormatError and leaves Dst alone; an
// unsupported layout frees Dst's bits and raises EIEUnsupportedDIB.
int _DrawDIBtoBitmap(const void* DIB, std::int64_t DIBSize, TIEDibbitmap* Dst, const void* Bits = nullptr,
                     std::int64_t BitsSize = 0);
// The same with the DIB in a global memory block, locked for the call; 0
// when the handle cannot be locked.
int _DrawDIBtoBitmap(HGLOBAL DIB, TIEDibbitmap* Dst, const void* Bits = nullptr, std::int64_t BitsSize = 0);

}  // namespace redozir
#pragma GCC visibility pop
