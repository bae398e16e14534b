// Variants the common round trips never reach: every palette size through
// every palette writer and each of its compression settings, RLE4 and RLE8
// rows of every short width (odd literal runs), and a 4-bit grey TIFF.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "imaging/formats/test_images.h"

using namespace redozir;

namespace {
struct Writer {
  const char* name;
  int ft;
  std::function<void(TIOParamsVals&)> setup;
};

std::vector<Writer> PaletteWriters() {
  std::vector<Writer> w;
  for (bool interlaced : {false, true})
    for (int level : {0, 9})
      w.push_back({"PNG", ioPNG, [=](TIOParamsVals& p) {
                     p.PNGInterlaced = interlaced;
                     p.PNGCompression = level;
                   }});
  for (int c : {0, 1})
    w.push_back({"BMP", ioBMP, [=](TIOParamsVals& p) { p.BMPCompression = static_cast<std::uint8_t>(c); }});
  for (bool c : {false, true}) w.push_back({"TGA", ioTGA, [=](TIOParamsVals& p) { p.TGACompressed = c; }});
  for (int c : {0, 1})
    w.push_back({"PCX", ioPCX, [=](TIOParamsVals& p) { p.PCXCompression = static_cast<std::uint8_t>(c); }});
  for (std::uint8_t c : {ioTIFF_UNCOMPRESSED, ioTIFF_LZW, ioTIFF_PACKBITS, ioTIFF_ZIP, ioTIFF_DEFLATE})
    w.push_back({"TIFF", ioTIFF, [=](TIOParamsVals& p) { p.TIFFCompression = c; }});
  for (bool interlaced : {false, true})
    w.push_back({"GIF", ioGIF, [=](TIOParamsVals& p) { p.GIFInterlaced = interlaced; }});
  return w;
}

std::vector<std::uint8_t> FileBytes(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}
}  // namespace

TEST(RareVariants, EveryPaletteSizeThroughEveryPaletteWriterAndCompression) {
  const auto writers = PaletteWriters();
  for (int n = 2; n <= 256; ++n) {
    // 16 x 17 pixels use every entry; the entries are all different.
    TIEBitmap src(16, 17, ie8p);
    for (int i = 0; i < n; ++i)
      src.SetPalette(i, TRGB{static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i * 7),
                             static_cast<std::uint8_t>(i)});
    src.SetPaletteUsed(n);
    for (int y = 0; y < 17; ++y)
      for (int x = 0; x < 16; ++x) src.GetScanline(y)[x] = static_cast<std::uint8_t>((x + 16 * y) % n);
    // The smallest depth that holds the palette.
    const int bits = n <= 2 ? 1 : n <= 4 ? 2 : n <= 16 ? 4 : 8;
    for (const Writer& w : writers) {
      std::unique_ptr<TIEBitmap> back;
      try {
        back = DecodeBytes(EncodeAs(src, w.ft,
                                    [&](TIOParamsVals& p) {
                                      p.SamplesPerPixel = 1;
                                      p.BitsPerSample = bits;
                                      w.setup(p);
                                    }),
                           w.ft);
      } catch (const std::exception& e) {
        ADD_FAILURE() << w.name << " with " << n << " colours: " << e.what();
        continue;
      }
      ASSERT_EQ(MaxRGBDiff(src, *back), 0) << w.name << " with " << n << " colours";
    }
  }
}

TEST(RareVariants, RunLengthBmpRowsOfEveryShortWidth) {
  // Rows of literals of odd and even length, runs of 3 and runs broken by
  // one pixel, for widths 1 .. 13 at 4 and 8 bits.
  for (int colours : {16, 256})
    for (int w = 1; w <= 13; ++w) {
      TIEBitmap src(w, 4, ie8p);
      for (int i = 0; i < colours; ++i)
        src.SetPalette(i, TRGB{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 9});
      src.SetPaletteUsed(colours);
      for (int x = 0; x < w; ++x) {
        src.GetScanline(0)[x] = static_cast<std::uint8_t>((x * 5 + 1) % 16);
        src.GetScanline(1)[x] = static_cast<std::uint8_t>(x / 3 % 16);
        src.GetScanline(2)[x] = static_cast<std::uint8_t>(x == w / 2 ? 7 : 2);
        src.GetScanline(3)[x] = static_cast<std::uint8_t>(x % 4 == 3 ? 14 : x % 2 + 3);
      }
      TIOParamsVals read;
      auto back = DecodeBytes(EncodeAs(src, ioBMP,
                                       [&](TIOParamsVals& p) {
                                         p.BMPCompression = 1;
                                         p.SamplesPerPixel = 1;
                                         p.BitsPerSample = colours == 16 ? 4 : 8;
                                       }),
                              ioBMP, &read);
      EXPECT_EQ(read.BMPCompression, 1) << colours << " colours, width " << w;
      EXPECT_EQ(read.BitsPerSample, colours == 16 ? 4 : 8) << colours << " colours, width " << w;
      EXPECT_EQ(MaxRGBDiff(src, *back), 0) << colours << " colours, width " << w;
    }
}

TEST(RareVariants, FourBitGreyTiffSpreadsItsLevelsOverTheWholeRange) {
  // Levels 0, 5, 10 and 15 of 15 are 0, 85, 170 and 255 of 255, black on zero
  // or on white.
  const std::string name = "/tmp/redozir_grey4_" + std::to_string(getpid()) + ".tif";
  for (int photometric : {PHOTOMETRIC_MINISBLACK, PHOTOMETRIC_MINISWHITE}) {
    TIFF* t = TIFFOpen(name.c_str(), "w");
    ASSERT_TRUE(t);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 4);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 1);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 4);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 1);
    std::uint8_t row[2] = {0x05, 0xAF};
    ASSERT_EQ(TIFFWriteScanline(t, row, 0, 0), 1);
    TIFFClose(t);
    auto back = DecodeBytes(FileBytes(name));
    ASSERT_EQ(back->GetWidth(), 4);
    std::vector<TRGB> px(4);
    IEGetRowRGB24(*back, 0, px.data());
    const int want[4] = {0, 85, 170, 255};
    for (int x = 0; x < 4; ++x) {
      const int v = photometric == PHOTOMETRIC_MINISBLACK ? want[x] : 255 - want[x];
      EXPECT_EQ(px[x].r, v) << photometric << " at " << x;
      EXPECT_EQ(px[x].g, v) << photometric << " at " << x;
      EXPECT_EQ(px[x].b, v) << photometric << " at " << x;
    }
  }
  unlink(name.c_str());
}
