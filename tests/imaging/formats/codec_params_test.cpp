#include <gtest/gtest.h>

#include <png.h>

#include "imaging/formats/test_images.h"

using namespace redozir;

namespace {
// One parameter of one format: the file written with Change applied must
// differ from the default one, and Check (when given) sees the change in
// what the file reads back as.
struct ParamCase {
  const char* name;
  int ft;
  std::function<void(TIOParamsVals&)> base;
  std::function<void(TIOParamsVals&)> change;
  std::function<void(const TIOParamsVals& read, const std::vector<std::uint8_t>& bytes)> check;
};

std::vector<ParamCase> Cases() {
  auto pal = [](TIOParamsVals& p) {
    p.SamplesPerPixel = 1;
    p.BitsPerSample = 8;
  };
  auto none = [](TIOParamsVals&) {};
  return {
      {"BMPCompression", ioBMP, pal, [](TIOParamsVals& p) { p.BMPCompression = 1; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>& b) {
         EXPECT_EQ(r.BMPCompression, 1);
         EXPECT_EQ(b[30], 1);  // BI_RLE8
       }},
      {"BMP depth 4", ioBMP, pal, [](TIOParamsVals& p) { p.BitsPerSample = 4; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>& b) {
         EXPECT_EQ(r.BitsPerSample, 4);
         EXPECT_EQ(b[28], 4);
       }},
      {"BMPCompression 4-bit", ioBMP,
       [](TIOParamsVals& p) {
         p.SamplesPerPixel = 1;
         p.BitsPerSample = 4;
       },
       [](TIOParamsVals& p) { p.BMPCompression = 1; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>& b) {
         EXPECT_EQ(r.BMPCompression, 1);
         EXPECT_EQ(b[30], 2);  // BI_RLE4
       }},
      {"PNGInterlaced", ioPNG, none, [](TIOParamsVals& p) { p.PNGInterlaced = true; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>& b) {
         EXPECT_TRUE(r.PNGInterlaced);
         EXPECT_EQ(b[28], 1);
       }},
      {"PNGFilter", ioPNG, none, [](TIOParamsVals& p) { p.PNGFilter = 0; }, nullptr},
      {"PNGCompression", ioPNG, none, [](TIOParamsVals& p) { p.PNGCompression = 0; },
       [](const TIOParamsVals&, const std::vector<std::uint8_t>& b) { EXPECT_GT(b.size(), 40u * 30 * 3); }},
      {"PNGBackground", ioPNG, none,
       [](TIOParamsVals& p) {
         p.PNGBackground = TRGB{10, 20, 30};
       },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) {
         EXPECT_EQ(r.PNGBackground, (TRGB{10, 20, 30}));
       }},
      {"PNG palette", ioPNG, none, pal,
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>& b) {
         EXPECT_EQ(r.SamplesPerPixel, 1);
         EXPECT_EQ(b[25], 3);  // colour type 3
       }},
      {"PCXCompression", ioPCX, none, [](TIOParamsVals& p) { p.PCXCompression = 0; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>& b) {
         EXPECT_EQ(r.PCXCompression, 0);
         EXPECT_EQ(b[2], 0);
       }},
      {"PCX depth 8", ioPCX, none, pal,
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>& b) {
         EXPECT_EQ(r.SamplesPerPixel, 1);
         EXPECT_EQ(b[65], 1);
       }},
      {"TGACompressed", ioTGA, none, [](TIOParamsVals& p) { p.TGACompressed = false; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>& b) {
         EXPECT_FALSE(r.TGACompressed);
         EXPECT_EQ(b[2], 2);
       }},
      {"TGADescriptor", ioTGA, none, [](TIOParamsVals& p) { p.TGADescriptor = "a test image"; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>& b) {
         EXPECT_EQ(r.TGADescriptor, "a test image");
         EXPECT_EQ(b[0], 12);
       }},
      {"TGAImageName", ioTGA, none, [](TIOParamsVals& p) { p.TGAImageName = "job"; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) { EXPECT_EQ(r.TGAImageName, "job"); }},
      {"TGABackground", ioTGA, none,
       [](TIOParamsVals& p) {
         p.TGABackground = TRGB{5, 6, 7};
       },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) {
         EXPECT_EQ(r.TGABackground, (TRGB{5, 6, 7}));
       }},
      {"JPEGQuality", ioJPEG, none, [](TIOParamsVals& p) { p.JPEGQuality = 50; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) { EXPECT_NEAR(r.JPEGQuality, 50, 2); }},
      {"JPEGColorSpace grey", ioJPEG, none, [](TIOParamsVals& p) { p.JPEGColorSpace = ioJPEG_GRAYLEV; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) {
         EXPECT_EQ(r.JPEGColorSpace, ioJPEG_GRAYLEV);
         EXPECT_EQ(r.SamplesPerPixel, 1);
       }},
      {"JPEGColorSpace RGB", ioJPEG, none, [](TIOParamsVals& p) { p.JPEGColorSpace = ioJPEG_RGB; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) {
         EXPECT_EQ(r.JPEGColorSpace, ioJPEG_RGB);
       }},
      {"JPEGColorSpace CMYK", ioJPEG, none, [](TIOParamsVals& p) { p.JPEGColorSpace = ioJPEG_CMYK; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) {
         EXPECT_EQ(r.JPEGColorSpace, ioJPEG_CMYK);
         EXPECT_EQ(r.SamplesPerPixel, 4);
       }},
      {"JPEGColorSpace YCbCrK", ioJPEG, none, [](TIOParamsVals& p) { p.JPEGColorSpace = ioJPEG_YCbCrK; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) {
         EXPECT_EQ(r.JPEGColorSpace, ioJPEG_YCbCrK);
       }},
      {"JPEGDCTMethod", ioJPEG, none, [](TIOParamsVals& p) { p.JPEGDCTMethod = 1; }, nullptr},
      {"JPEGOptimalHuffman", ioJPEG, none, [](TIOParamsVals& p) { p.JPEGOptimalHuffman = true; }, nullptr},
      {"JPEGSmooth", ioJPEG, none, [](TIOParamsVals& p) { p.JPEGSmooth = 60; }, nullptr},
      {"JPEGProgressive", ioJPEG, none, [](TIOParamsVals& p) { p.JPEGProgressive = true; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) { EXPECT_TRUE(r.JPEGProgressive); }},
      {"TIFFCompression", ioTIFF, none, [](TIOParamsVals& p) { p.TIFFCompression = ioTIFF_ZIP; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) {
         EXPECT_EQ(r.TIFFCompression, ioTIFF_ZIP);
       }},
      {"TIFFPhotometric", ioTIFF, pal, [](TIOParamsVals& p) { p.TIFFPhotometric = ioTIFF_WHITEISZERO; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) {
         EXPECT_EQ(r.TIFFPhotometric, ioTIFF_WHITEISZERO);
       }},
      {"TIFF CMYK", ioTIFF, none, [](TIOParamsVals& p) { p.TIFFPhotometric = ioTIFF_CMYK; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) {
         EXPECT_EQ(r.TIFFPhotometric, ioTIFF_CMYK);
         EXPECT_EQ(r.SamplesPerPixel, 4);
       }},
      {"TIFF YCbCr JPEG", ioTIFF, none,
       [](TIOParamsVals& p) {
         p.TIFFPhotometric = ioTIFF_YCBCR;
         p.TIFFCompression = ioTIFF_JPEG;
       },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) {
         EXPECT_EQ(r.TIFFPhotometric, ioTIFF_YCBCR);
         EXPECT_EQ(r.TIFFCompression, ioTIFF_JPEG);
       }},
      {"TIFF depth 4", ioTIFF, pal, [](TIOParamsVals& p) { p.BitsPerSample = 4; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) { EXPECT_EQ(r.BitsPerSample, 4); }},
      {"TIFFXPos", ioTIFF, none, [](TIOParamsVals& p) { p.TIFFXPos = 3; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) { EXPECT_EQ(r.TIFFXPos, 3); }},
      {"TIFFYPos", ioTIFF, none, [](TIOParamsVals& p) { p.TIFFYPos = 4; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) { EXPECT_EQ(r.TIFFYPos, 4); }},
      {"TIFFDocumentName", ioTIFF, none, [](TIOParamsVals& p) { p.TIFFDocumentName = "doc"; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) {
         EXPECT_EQ(r.TIFFDocumentName, "doc");
       }},
      {"TIFFImageDescription", ioTIFF, none, [](TIOParamsVals& p) { p.TIFFImageDescription = "desc"; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) {
         EXPECT_EQ(r.TIFFImageDescription, "desc");
       }},
      {"TIFFPageName", ioTIFF, none, [](TIOParamsVals& p) { p.TIFFPageName = "page"; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) { EXPECT_EQ(r.TIFFPageName, "page"); }},
      {"TIFFPageNumber", ioTIFF, none, [](TIOParamsVals& p) { p.TIFFPageNumber = 2; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) { EXPECT_EQ(r.TIFFPageNumber, 2); }},
      {"TIFFPageCount", ioTIFF, none, [](TIOParamsVals& p) { p.TIFFPageCount = 5; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) { EXPECT_EQ(r.TIFFPageCount, 5); }},
      {"TIFFLZWCompressor", ioTIFF, [](TIOParamsVals& p) { p.TIFFCompression = ioTIFF_LZW; },
       [](TIOParamsVals& p) { p.TIFFLZWCompressor = nullptr; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) {
         EXPECT_EQ(r.TIFFCompression, ioTIFF_PACKBITS);
       }},
      {"GIFXPos", ioGIF, pal, [](TIOParamsVals& p) { p.GIFXPos = 7; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) { EXPECT_EQ(r.GIFXPos, 7); }},
      {"GIFYPos", ioGIF, pal, [](TIOParamsVals& p) { p.GIFYPos = 9; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) { EXPECT_EQ(r.GIFYPos, 9); }},
      {"GIFDelayTime", ioGIF, pal, [](TIOParamsVals& p) { p.GIFDelayTime = 25; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) { EXPECT_EQ(r.GIFDelayTime, 25); }},
      {"GIFInterlaced", ioGIF, pal, [](TIOParamsVals& p) { p.GIFInterlaced = true; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) { EXPECT_TRUE(r.GIFInterlaced); }},
      {"GIFTransparent", ioGIF, pal, [](TIOParamsVals& p) { p.GIFTransparent = true; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) { EXPECT_TRUE(r.GIFTransparent); }},
      {"GIFTranspColor", ioGIF,
       [](TIOParamsVals& p) {
         p.SamplesPerPixel = 1;
         p.BitsPerSample = 8;
         p.GIFTransparent = true;
         p.GIFTranspColor = TRGB{0, 0, 0};
       },
       [](TIOParamsVals& p) {
         p.GIFTranspColor = TRGB{255, 255, 255};
       },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) {
         EXPECT_TRUE(r.GIFTransparent);
         EXPECT_GT(r.GIFTranspColor.r + r.GIFTranspColor.g + r.GIFTranspColor.b, 3 * 150);
       }},
      {"GIFBackground", ioGIF, pal,
       [](TIOParamsVals& p) {
         p.GIFBackground = TRGB{255, 255, 255};
       },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) {
         // The nearest palette entry stands for the colour.
         EXPECT_GT(r.GIFBackground.r + r.GIFBackground.g + r.GIFBackground.b, 3 * 150);
       }},
      {"GIF depth", ioGIF, pal, [](TIOParamsVals& p) { p.BitsPerSample = 3; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) {
         EXPECT_EQ(r.BitsPerSample, 3);
         EXPECT_EQ(r.ColorMapCount, 8);
       }},
      {"J2000Rate", ioJ2K, none, [](TIOParamsVals& p) { p.J2000Rate = 0.1; }, nullptr},
      {"J2000Rate 0", ioJ2K, none, [](TIOParamsVals& p) { p.J2000Rate = 0; }, nullptr},
      {"J2000ColorSpace grey", ioJ2K, none, [](TIOParamsVals& p) { p.J2000ColorSpace = ioJ2000_GRAYSCALE; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>&) {
         EXPECT_EQ(r.J2000ColorSpace, ioJ2000_GRAYSCALE);
         EXPECT_EQ(r.SamplesPerPixel, 1);
       }},
      {"J2000ColorSpace YCbCr", ioJP2, none, [](TIOParamsVals& p) { p.J2000ColorSpace = ioJ2000_YCbCr; },
       nullptr},
  };
}
}  // namespace

TEST(CodecParams, EveryParameterChangesTheWrittenFile) {
  auto src = MakeRGB(40, 30);
  for (const auto& c : Cases()) {
    SCOPED_TRACE(c.name);
    auto plain = EncodeAs(*src, c.ft, c.base);
    auto changed = EncodeAs(*src, c.ft, [&](TIOParamsVals& p) {
      c.base(p);
      c.change(p);
    });
    EXPECT_NE(plain, changed);
    TIOParamsVals read;
    auto back = DecodeBytes(changed, c.ft, &read);
    EXPECT_EQ(back->GetWidth(), 40);
    if (c.check) c.check(read, changed);
  }
}

TEST(CodecParams, PngCompressionLevelsShrinkTheFileAndTheDefaultFilterBeatsNone) {
  auto src = MakeRGB(64, 64);
  size_t prev = SIZE_MAX;
  for (int level : {0, 1, 9}) {
    auto b = EncodeAs(*src, ioPNG, [&](TIOParamsVals& p) { p.PNGCompression = level; });
    EXPECT_LT(b.size(), prev) << level;
    prev = b.size();
  }
  EXPECT_LT(EncodeAs(*src, ioPNG).size() * 2,
            EncodeAs(*src, ioPNG, [](TIOParamsVals& p) { p.PNGFilter = 0; }).size());
}

TEST(CodecParams, BilevelModeDecidesHowColourBecomesOneBit) {
  // A smooth ramp: threshold gives two solid halves, ordered dither a pattern.
  TIEBitmap ramp(64, 8, ie24RGB);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 64; ++x) std::memset(ramp.GetScanline(y) + 3 * x, x * 4, 3);
  std::vector<std::uint8_t> files[2];
  for (int mode = 0; mode < 2; ++mode) {
    TRedozIrIO io;
    io.GetIEBitmap()->Assign(&ramp);
    io.SetBilevelConversionMode(static_cast<std::uint8_t>(mode));
    io.Params().BitsPerSample = io.Params().SamplesPerPixel = 1;
    TMemoryStream ms;
    io.SaveToStreamBMP(ms);
    files[mode] = ms.Bytes();
  }
  EXPECT_NE(files[0], files[1]);
  auto threshold = DecodeBytes(files[1]);
  ASSERT_EQ(threshold->GetPixelFormat(), ie1g);
  // Threshold: dark left half, light right half on every row.
  for (int y = 0; y < 8; ++y) {
    EXPECT_EQ(threshold->GetScanline(y)[0], 0);
    EXPECT_EQ(threshold->GetScanline(y)[7], 0xFF);
  }
}

TEST(CodecParams, WithoutAnLzwDecoderLzwTiffIsRefused) {
  auto src = MakeRGB(8, 8);
  auto bytes = EncodeAs(*src, ioTIFF, [](TIOParamsVals& p) { p.TIFFCompression = ioTIFF_LZW; });
  TRedozIrIO io;
  io.Params().TIFFLZWDecompressor = nullptr;
  TMemoryStream ms(bytes);
  EXPECT_THROW(io.LoadFromStreamTIFF(ms), EIEImageError);
  io.Params().TIFFLZWDecompressor = IEGlobalTIFFLZWDecompressor;
  ms.SetPosition(0);
  io.LoadFromStreamTIFF(ms);
  EXPECT_EQ(io.Params().TIFFCompression, ioTIFF_LZW);
}
