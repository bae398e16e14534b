// What the image readers and writers share: their error, the size guard
// that runs before any allocation, row access in RGB whatever the pixel
// format, and the conversion of a bitmap to the depth a writer stores.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/core/ie_pixelrow.h"
#include "imaging/core/iebitmap.h"
#include "imaging/formats/ioparams.h"
#include "platform/byte_reader.h"

#pragma GCC visibility push(default)
namespace redozir {

// A reader or writer that cannot go on: bad data, a library failure or a
// combination of parameters that the format cannot store.
class EIEImageError : public Exception {
  using Exception::Exception;
};

// Refuses an image whose size is absurd or more than Left bytes of data can
// describe: a raw image needs Left >= its bytes, a compressed one
// Left x MaxRatio (plus a small allowance for tiny images).
void IECheckImageSize(const char* Format, std::int64_t Width, std::int64_t Height, std::int64_t BitsPerPixel,
                      std::int64_t Left, std::int64_t MaxRatio);
// The load memory budget of parameters that leave it at 0: half the memory
// the process may use, so that a load never starts what cannot finish.
std::int64_t IEDefaultLoadMemoryBudget();
// The parameters' budget, or the default where they leave it at 0.
std::int64_t IELoadMemoryBudget(const TIOParamsVals& Params);
// Refuses a load that would hold more than Budget bytes at its peak (Bytes:
// the decoder's work and the picture), before it allocates; the message
// names the format, the size and the budget.
void IECheckLoadMemory(const char* Format, std::int64_t Width, std::int64_t Height, std::int64_t Bytes,
                       std::int64_t Budget);
void IECheckLoadMemory(const char* Format, std::int64_t Width, std::int64_t Height, std::int64_t Bytes,
                       const TIOParamsVals& Params);
// The bytes of a Width x Height bitmap of that pixel format, with its alpha
// plane when Alpha.
std::int64_t IEBitmapBytes(std::int64_t Width, std::int64_t Height, TIEPixelFormat pf, bool Alpha);
// Whether a load keeps a picture decoded as pf in that format (else it
// becomes 24-bit): 16-bit images stay 16 bits, as 24 bits would drop their
// low bytes while the parameters still name 16 bits for the next save.
bool IELoadKeepsFormat(TIEPixelFormat pf, const TIOParamsVals& Params);
// What a reader about to decode a Width x Height picture as PixelFormat
// checks before it allocates: the bitmap and its alpha plane, beside them
// the larger of the decoder's Work bytes and the 24-bit copy that a load
// not keeping the file's pixel format makes once the decoder is done.
void IECheckLoadBudget(const char* Format, std::int64_t Width, std::int64_t Height, TIEPixelFormat pf,
                       bool Alpha, std::int64_t Work, const TIOParamsVals& Params);
// Allocates or raises EIEImageError naming the format.
void IEAllocImage(TIEBitmap& Bitmap, std::int64_t Width, std::int64_t Height, TIEPixelFormat pf,
                  const char* Format);

// The grey level of a colour by the library's weights.
inline std::uint8_t IEGreyOf(int r, int g, int b) {
  return static_cast<std::uint8_t>((r * 21 + g * 71 + b * 8) / 100);
}
inline std::uint8_t IEGreyOf(TRGB c) { return IEGreyOf(c.r, c.g, c.b); }

// Turns the bitmap into ie24RGB (the alpha plane stays).
void IEConvertTo24(TIEBitmap& Bitmap);

// Gives a bitmap in the pixel format a writer stores: Source itself when it
// already is, else a conversion made in Temp. For ie8p the palette holds at
// most MaxColors entries (grey and 1-bit images keep their levels, others
// are quantised).
TIEBitmap* IEWriteSource(TIEBitmap& Source, TIEPixelFormat Want, int MaxColors, TIEBitmap& Temp);

// The alpha plane a writer stores: none when the bitmap has no plane or
// every pixel of it is opaque.
TIEBitmap* IEAlphaToWrite(TIEBitmap& Bitmap);

// The picture as a palette of at most two entries when it has no more than
// two colours (a two-entry palette image as it is; any other image that uses
// only two colours, as a two-colour palette picture loaded as 24 bits does,
// copied into Temp with the parameters' colour map order when that map
// holds them): the form in which a 1-bit file keeps its colours. Null for
// other pictures and for plain black and white, which the 1-bit grey form
// keeps.
TIEBitmap* IETwoColourSource(TIEBitmap& Bitmap, const TIOParamsVals& Params, TIEBitmap& Temp);

// Turns a bitmap read in stored order into its upright form by a TIFF or
// Exif orientation (1 to 8; other values leave it as it is). The alpha
// plane follows.
void IEApplyOrientation(TIEBitmap& Bitmap, int Orientation);

// The parameters' colour map becomes a copy of Palette (none when empty).
void IESetColorMap(TIOParamsVals& Params, const std::vector<TRGB>& Palette);

// Big-endian reads through the bounded reader.
inline std::uint16_t IEBE16(TByteReader& r) {
  std::uint8_t b[2];
  r.Bytes(b, 2);
  return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}
inline std::uint32_t IEBE32(TByteReader& r) {
  std::uint8_t b[4];
  r.Bytes(b, 4);
  return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | b[3];
}

}  // namespace redozir
#pragma GCC visibility pop
