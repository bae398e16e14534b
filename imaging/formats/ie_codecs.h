// The image readers, writers and content tests of every format the library
// reads by itself. A reader decodes one complete file from the stream's
// position into a bitmap (which the caller commits only on success) and
// leaves the stream right after the file; a writer encodes a complete file
// at the stream's position. Both report progress per row.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/formats/ioparams.h"
#include "platform/stream.h"

#pragma GCC visibility push(default)
namespace redozir {

using TIEReadProc = void (*)(TStream& Stream, TIEBitmap& Bitmap, TIOParamsVals& Params,
                             TIEProgressRecord& Progress);
using TIEWriteProc = void (*)(TStream& Stream, TIEBitmap& Bitmap, TIOParamsVals& Params,
                              TIEProgressRecord& Progress);
// True when the stream's bytes at its position look like the format; the
// position is left where it was.
using TIETestProc = bool (*)(TStream& Stream);

void BMPReadStream(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRecord&);
void BMPWriteStream(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRecord&);
bool BMPTryStream(TStream&);

void PNGReadStream(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRecord&);
void PNGWriteStream(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRecord&);
bool PNGTryStream(TStream&);

void TGAReadStream(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRecord&);
void TGAWriteStream(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRecord&);
bool TGATryStream(TStream&);

void PCXReadStream(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRecord&);
void PCXWriteStream(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRecord&);
bool PCXTryStream(TStream&);

void GIFReadStream(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRecord&);
void GIFWriteStream(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRecord&);
bool GIFTryStream(TStream&);

void JPEGReadStream(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRecord&);
void JPEGWriteStream(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRecord&);
bool JPEGTryStream(TStream&);

void TIFFReadStream(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRecord&);
void TIFFWriteStream(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRecord&);
bool TIFFTryStream(TStream&);

void J2KReadStream(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRecord&);
void J2KWriteStream(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRecord&);
bool J2KTryStream(TStream&);
void JP2ReadStream(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRecord&);
void JP2WriteStream(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRecord&);
bool JP2TryStream(TStream&);

}  // namespace redozir
#pragma GCC visibility pop
