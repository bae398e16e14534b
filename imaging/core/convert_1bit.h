// Conversion of images to 1 bit (fixed threshold, average level, maximum
// entropy level, 8 x 8 ordered dither), the grey histogram and average
// colour they use, the two-colour test, the nearest palette entry, the
// expansion of a 1-bit platform bitmap to 24 bits and the grey conversion
// of a rectangle.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/core/iebitmap.h"
#include "platform/bitmap.h"

#pragma GCC visibility push(default)
namespace redozir {

// The 8 x 8 ordered-dither matrix: row by the pixel's column (x and 7),
// entry by the pixel's row (y and 7).
extern const std::uint8_t IEOrderedDitherMatrix[8][8];

// Writes a 1-bit picture of Src into Dst (allocated ie1g at Src's size when
// it is not already): a pixel whose grey value is below the level is black,
// otherwise white. Threshold -1 takes the grey value of the average colour,
// -2 the maximum-entropy level; any other value is the level. An ie1g Src
// is copied.
void _IEConvertTo1bitThreshold(TIEBitmap* Src, TIEBitmap* Dst, int Threshold,
                               TIEProgressRecord Progress = {});
// An ie24RGB Bitmap becomes ie1g by the threshold (keeping its alpha plane);
// other formats are left alone.
void _IEConvertTo1bitInPlace(TIEBitmap* Bitmap, int Threshold, TIEProgressRecord Progress = {});
// An ie24RGB Bitmap becomes ie1g by the ordered matrix; other formats are
// left alone.
void _IEConvertTo1bitOrdered(TIEBitmap* Bitmap, TIEProgressRecord Progress = {});
// Writes the ordered dither of Src (any format, read as colours) into Dst,
// allocated ie1g at Src's size.
void IEConvertTo1bitOrderedInto(TIEBitmap* Src, TIEBitmap* Dst, TIEProgressRecord Progress = {});
// The 1-bit value of a 24-bit pixel at (x, y) under the ordered dither.
bool IEOrderedDitherBit(const TRGB& Pixel, int X, int Y);

// Counts the grey value of every pixel into 256 bins (ie1g: bins 0 and 1).
void _IEGetGrayHistogram(TIEBitmap* Bitmap, int* Hist);
// The average colour, each channel 0..255 (row averages averaged, integer
// division); 128, 128, 128 for an empty image.
void _IEGetAverageColor(TIEBitmap* Bitmap, int& R, int& G, int& B);

// A new ie1g bitmap when Src holds exactly two colours, else nil. Color0 is
// the colour of the clear bits and never the lighter of the two.
std::unique_ptr<TIEBitmap> _IETwoColorsTo1bit(TIEBitmap* Src, TRGB& Color0, TRGB& Color1);
// The index of the palette entry nearest to Color (sum of the channel
// differences; the first of equally near entries); 0 for an empty palette.
int _IENearestPaletteIndex(const TRGB* Palette, int Count, TRGB Color);

// Dst becomes a pf24bit copy of the 1-bit platform bitmap Src (set bit white).
void _IEConvert1bitTBitmapTo24(TBitmap* Src, TBitmap* Dst, TIEProgressRecord Progress = {});

// Turns columns X1..Min(X2, Width) - 1 of rows Y1..Min(Y2, Height) - 1 of an
// ie24RGB Bitmap grey; other formats are left alone.
void _IEConvertToGray24(TIEBitmap* Bitmap, int X1, int Y1, int X2, int Y2, TIEProgressEvent* OnProgress,
                        TObject* Sender);

}  // namespace redozir
#pragma GCC visibility pop
