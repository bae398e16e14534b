// TIOParamsVals: defaults, copying and the colour map.
#include "imaging/formats/ioparams.h"

#include <algorithm>
#include <utility>

namespace redozir {

namespace {
int IETIFFLZWScheme() { return 5; }  // libtiff's COMPRESSION_LZW
}  // namespace

TTIFFLZWProc IEGlobalTIFFLZWCompressor = IETIFFLZWScheme;
TTIFFLZWProc IEGlobalTIFFLZWDecompressor = IETIFFLZWScheme;

TIOParamsVals::TIOParamsVals() { SetDefaultParams(); }

TIOParamsVals::~TIOParamsVals() { FreeColorMap(); }

void TIOParamsVals::SetDefaultParams() {
  bool native = NativePixelFormat;
  const std::int64_t budget = LoadMemoryBudget;
  FreeColorMap();
  // Every field back to its initialiser, then the library globals.
  BitsPerSample = 8;
  SamplesPerPixel = 3;
  FileType = ioUnknown;
  TIFFCompression = ioTIFF_UNCOMPRESSED;
  TIFFImageIndex = 0;
  TIFFPhotometric = ioTIFF_RGB;
  TIFFXPos = TIFFYPos = 0;
  TIFFDocumentName.clear();
  TIFFImageDescription.clear();
  TIFFPageName.clear();
  TIFFPageNumber = TIFFPageCount = 0;
  TIFFLZWDecompressor = IEGlobalTIFFLZWDecompressor;
  TIFFLZWCompressor = IEGlobalTIFFLZWCompressor;
  GIFImageIndex = GIFXPos = GIFYPos = GIFDelayTime = 0;
  GIFTransparent = false;
  GIFTranspColor = TRGB{};
  GIFInterlaced = false;
  GIFBackground = TRGB{};
  JPEGColorSpace = ioJPEG_YCbCr;
  JPEGQuality = 80;
  JPEGDCTMethod = 0;
  JPEGOptimalHuffman = false;
  JPEGSmooth = 0;
  JPEGProgressive = false;
  J2000ColorSpace = ioJ2000_RGB;
  J2000Rate = 1.0;
  PCXCompression = 1;
  BMPCompression = 0;
  PNGInterlaced = false;
  PNGBackground = TRGB{};
  PNGFilter = 2;
  PNGCompression = 5;
  TGACompressed = true;
  TGADescriptor.clear();
  TGAImageName.clear();
  TGABackground = TRGB{};
  Width = Height = OriginalWidth = OriginalHeight = 0;
  ImageCount = 0;
  NativePixelFormat = native;
  LoadMemoryBudget = budget;
}

void TIOParamsVals::Assign(const TIOParamsVals& s) {
  if (&s == this) return;
  BitsPerSample = s.BitsPerSample;
  SamplesPerPixel = s.SamplesPerPixel;
  FileType = s.FileType;
  TIFFCompression = s.TIFFCompression;
  TIFFImageIndex = s.TIFFImageIndex;
  TIFFPhotometric = s.TIFFPhotometric;
  TIFFXPos = s.TIFFXPos;
  TIFFYPos = s.TIFFYPos;
  TIFFDocumentName = s.TIFFDocumentName;
  TIFFImageDescription = s.TIFFImageDescription;
  TIFFPageName = s.TIFFPageName;
  TIFFPageNumber = s.TIFFPageNumber;
  TIFFPageCount = s.TIFFPageCount;
  TIFFLZWDecompressor = s.TIFFLZWDecompressor;
  TIFFLZWCompressor = s.TIFFLZWCompressor;
  GIFImageIndex = s.GIFImageIndex;
  GIFXPos = s.GIFXPos;
  GIFYPos = s.GIFYPos;
  GIFDelayTime = s.GIFDelayTime;
  GIFTransparent = s.GIFTransparent;
  GIFTranspColor = s.GIFTranspColor;
  GIFInterlaced = s.GIFInterlaced;
  GIFBackground = s.GIFBackground;
  JPEGColorSpace = s.JPEGColorSpace;
  JPEGQuality = s.JPEGQuality;
  JPEGDCTMethod = s.JPEGDCTMethod;
  JPEGOptimalHuffman = s.JPEGOptimalHuffman;
  JPEGSmooth = s.JPEGSmooth;
  JPEGProgressive = s.JPEGProgressive;
  J2000ColorSpace = s.J2000ColorSpace;
  J2000Rate = s.J2000Rate;
  PCXCompression = s.PCXCompression;
  BMPCompression = s.BMPCompression;
  PNGInterlaced = s.PNGInterlaced;
  PNGBackground = s.PNGBackground;
  PNGFilter = s.PNGFilter;
  PNGCompression = s.PNGCompression;
  TGACompressed = s.TGACompressed;
  TGADescriptor = s.TGADescriptor;
  TGAImageName = s.TGAImageName;
  TGABackground = s.TGABackground;
  AllocColorMap(s.ColorMap ? s.ColorMapCount : 0);
  if (ColorMapCount > 0) std::copy(s.ColorMap, s.ColorMap + ColorMapCount, ColorMap);
  Width = s.Width;
  Height = s.Height;
  OriginalWidth = s.OriginalWidth;
  OriginalHeight = s.OriginalHeight;
  ImageCount = s.ImageCount;
  NativePixelFormat = s.NativePixelFormat;
  LoadMemoryBudget = s.LoadMemoryBudget;
}

void TIOParamsVals::SetImageIndex(int Index) {
  TIFFImageIndex = Index;
  GIFImageIndex = Index;
}

void TIOParamsVals::FreeColorMap() {
  delete[] ColorMap;
  ColorMap = nullptr;
  ColorMapCount = 0;
}

void TIOParamsVals::AllocColorMap(int n) {
  FreeColorMap();
  if (n <= 0) return;
  ColorMap = new TRGB[static_cast<size_t>(n)]();
  ColorMapCount = n;
}

}  // namespace redozir
