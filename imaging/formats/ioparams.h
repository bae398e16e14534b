// TIOParamsVals: the per-format parameters that readers fill in and writers
// honour, plus the library-wide TIFF LZW procedure globals.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "imaging/core/ie_types.h"

#pragma GCC visibility push(default)
namespace redozir {

// An installed LZW codec answers the libtiff compression scheme to use.
using TTIFFLZWProc = int (*)();
// Nil unless an LZW encoder (decoder) is installed; the library installs
// libtiff's at start-up, a program may clear them.
extern TTIFFLZWProc IEGlobalTIFFLZWCompressor;
extern TTIFFLZWProc IEGlobalTIFFLZWDecompressor;

// File type ids of the format registry.
enum : int {
  ioUnknown = 0,
  ioTIFF = 1,
  ioGIF = 2,
  ioJPEG = 3,
  ioPCX = 4,
  ioBMP = 5,
  ioPNG = 8,
  ioTGA = 11,
  ioJP2 = 13,
  ioJ2K = 14,
  ioIEV = 25,
  ioLYR = 26,
  ioALL = 27,
};

// TIFF compression values.
enum : std::uint8_t {
  ioTIFF_UNCOMPRESSED = 0,
  ioTIFF_CCITT1D = 1,
  ioTIFF_G3FAX1D = 2,
  ioTIFF_G3FAX2D = 3,
  ioTIFF_G4FAX = 4,
  ioTIFF_LZW = 5,
  ioTIFF_OLDJPEG = 6,
  ioTIFF_JPEG = 7,
  ioTIFF_PACKBITS = 8,
  ioTIFF_ZIP = 9,
  ioTIFF_DEFLATE = 10,
  ioTIFF_UNKNOWN = 11,
};
// TIFF photometric interpretations.
enum : std::uint8_t {
  ioTIFF_WHITEISZERO = 0,
  ioTIFF_BLACKISZERO = 1,
  ioTIFF_RGB = 2,
  ioTIFF_RGBPALETTE = 3,
  ioTIFF_TRANSPMASK = 4,
  ioTIFF_CMYK = 5,
  ioTIFF_YCBCR = 6,
  ioTIFF_CIELAB = 7,
};
// JPEG colour spaces (the dialog's list order).
enum : std::uint8_t {
  ioJPEG_RGB = 0,
  ioJPEG_GRAYLEV = 1,
  ioJPEG_YCbCr = 2,
  ioJPEG_CMYK = 3,
  ioJPEG_YCbCrK = 4
};
// JPEG 2000 colour spaces.
enum : std::uint8_t { ioJ2000_GRAYSCALE = 0, ioJ2000_RGB = 1, ioJ2000_YCbCr = 2 };

class TIOParamsVals {
 public:
  TIOParamsVals();
  ~TIOParamsVals();
  TIOParamsVals(const TIOParamsVals& o) { Assign(o); }
  TIOParamsVals& operator=(const TIOParamsVals& o) {
    Assign(o);
    return *this;
  }

  // Copies every parameter (the colour map included).
  void Assign(const TIOParamsVals& Source);
  void Assign(const TIOParamsVals* Source) {
    if (Source) Assign(*Source);
  }
  // Puts the index into the image-index field of every multi-image format.
  void SetImageIndex(int Index);
  void FreeColorMap();
  // A colour map of n entries (black), replacing the old one.
  void AllocColorMap(int n);
  void SetDefaultParams();

  int BitsPerSample = 8;
  int SamplesPerPixel = 3;
  int FileType = ioUnknown;
  std::uint8_t TIFFCompression = ioTIFF_UNCOMPRESSED;
  int TIFFImageIndex = 0;
  std::uint8_t TIFFPhotometric = ioTIFF_RGB;
  int TIFFXPos = 0;
  int TIFFYPos = 0;
  std::string TIFFDocumentName;
  std::string TIFFImageDescription;
  std::string TIFFPageName;
  int TIFFPageNumber = 0;
  int TIFFPageCount = 0;
  TTIFFLZWProc TIFFLZWDecompressor = nullptr;
  TTIFFLZWProc TIFFLZWCompressor = nullptr;
  int GIFImageIndex = 0;
  int GIFXPos = 0;
  int GIFYPos = 0;
  int GIFDelayTime = 0;
  bool GIFTransparent = false;
  TRGB GIFTranspColor{};
  bool GIFInterlaced = false;
  TRGB GIFBackground{};
  std::uint8_t JPEGColorSpace = ioJPEG_YCbCr;
  int JPEGQuality = 80;
  std::uint8_t JPEGDCTMethod = 0;
  bool JPEGOptimalHuffman = false;
  int JPEGSmooth = 0;
  bool JPEGProgressive = false;
  std::uint8_t J2000ColorSpace = ioJ2000_RGB;
  double J2000Rate = 1.0;
  std::uint8_t PCXCompression = 1;
  std::uint8_t BMPCompression = 0;
  bool PNGInterlaced = false;
  TRGB PNGBackground{};
  // Paeth: a photo's file a sixth of what no filter gives, for little more time.
  std::uint8_t PNGFilter = 2;
  int PNGCompression = 5;
  bool TGACompressed = true;
  std::string TGADescriptor;
  std::string TGAImageName;
  TRGB TGABackground{};
  // Owned by the record; ColorMapCount entries.
  TRGB* ColorMap = nullptr;
  int ColorMapCount = 0;

  // The image's size as loaded, and before any scaling.
  int Width = 0;
  int Height = 0;
  int OriginalWidth = 0;
  int OriginalHeight = 0;
  // Pages (frames) in the last multi-image file read.
  int ImageCount = 0;
  // Keep the file's pixel format when reading (else 24-bit, 1-bit stays).
  bool NativePixelFormat = false;
  // The most memory a load may hold at its peak: every reader weighs what
  // the header declares (the picture, its alpha plane, the decoder's work
  // and the 24-bit copy a load makes) and refuses a file that would need
  // more before anything is allocated; the layers, IEV and ALL streams count
  // their pictures together. 0 is IEDefaultLoadMemoryBudget().
  std::int64_t LoadMemoryBudget = 0;
};

}  // namespace redozir
#pragma GCC visibility pop
