// Variants the common round trips never reach: every palette size through
// every palette writer and each of its compression settings, RLE4 and RLE8
// rows of every short width (odd literal runs), and a 4-bit grey TIFF.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "imaging/formats/image_files.h"

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

namespace {
// Little-endian bytes put together by hand.
struct B {
  std::vector<std::uint8_t> v;
  B& u8(int x) { return v.push_back(static_cast<std::uint8_t>(x)), *this; }
  B& u16(int x) { return u8(x & 0xFF).u8((x >> 8) & 0xFF); }
  B& i32(std::int64_t x) {
    return u16(static_cast<int>(x & 0xFFFF)).u16(static_cast<int>((x >> 16) & 0xFFFF));
  }
};

}  // namespace

TEST(RareVariants, LabAndPlanarAssociatedAlphaTiffsReadExactly) {
  // CIE L*a*b* (D50): white, black and L* 50.2 are neutral in sRGB. By hand:
  // Y = ((50.196 + 16) / 116)^3 = 0.18583, 1.055 Y^(1 / 2.4) - 0.055 = 0.46826,
  // x 255 = 119.4.
  auto lab = LibtiffFile(3, 1, 8, 3, PHOTOMETRIC_CIELAB, nullptr, [](TIFF* t) {
    std::uint8_t row[9] = {255, 0, 0, 0, 0, 0, 128, 0, 0};
    TIFFWriteScanline(t, row, 0, 0);
  });
  auto l = DecodeBytes(lab);
  std::vector<TRGB> px(3);
  IEGetRowRGB24(*l, 0, px.data());
  const std::uint8_t want[3] = {255, 0, 119};
  for (int x = 0; x < 3; ++x) EXPECT_EQ(px[x], (TRGB{want[x], want[x], want[x]})) << x;

  // 16 bits, RGB and alpha each in a plane, colour premultiplied: alpha
  // 2570 (10 of 255) over (65535, 32768, 0), then an opaque pixel.
  const std::uint16_t planes[4][2] = {{2570, 1000}, {1285, 2000}, {0, 3000}, {2570, 65535}};
  auto planar = LibtiffFile(
      2, 1, 16, 4, PHOTOMETRIC_RGB,
      [](TIFF* t) {
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_SEPARATE);
        std::uint16_t ex = EXTRASAMPLE_ASSOCALPHA;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &ex);
      },
      [&](TIFF* t) {
        for (int s = 0; s < 4; ++s) {
          std::uint16_t row[2] = {planes[s][0], planes[s][1]};
          TIFFWriteScanline(t, row, 0, static_cast<std::uint16_t>(s));
        }
      });
  auto p = DecodeBytes(planar);
  ASSERT_EQ(p->GetPixelFormat(), ieRGB48);
  const auto* s16 = reinterpret_cast<const std::uint16_t*>(p->GetScanline(0));
  const std::uint16_t rgb[6] = {65535, 32768, 0, 1000, 2000, 3000};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(s16[i], rgb[i]) << i;
  ASSERT_TRUE(p->HasAlphaChannel());
  EXPECT_EQ(p->GetAlpha(0, 0), 10);
  EXPECT_EQ(p->GetAlpha(1, 0), 255);
}

TEST(RareVariants, ATiledTiffWithAShortTileIsRefusedOnLibtiffsOwnPath) {
  // YCbCr without JPEG goes through libtiff's RGBA reader; the second of
  // two 32 x 32 tiles lacks its last byte.
  for (bool damaged : {false, true}) {
    auto bytes = LibtiffFile(
        64, 32, 8, 3, PHOTOMETRIC_YCBCR,
        [](TIFF* t) {
          TIFFSetField(t, TIFFTAG_TILEWIDTH, 32);
          TIFFSetField(t, TIFFTAG_TILELENGTH, 32);
          TIFFSetField(t, TIFFTAG_YCBCRSUBSAMPLING, 1, 1);
        },
        [&](TIFF* t) {
          std::vector<std::uint8_t> tile(32 * 32 * 3, 128);
          TIFFWriteEncodedTile(t, 0, tile.data(), static_cast<tmsize_t>(tile.size()));
          TIFFWriteRawTile(t, 1, tile.data(), static_cast<tmsize_t>(tile.size() - (damaged ? 1 : 0)));
        });
    if (damaged) {
      EXPECT_THROW(DecodeBytes(bytes), EIEImageError);
    } else {
      auto b = DecodeBytes(bytes);
      EXPECT_EQ(b->GetWidth(), 64);
    }
  }
}

TEST(RareVariants, FiveAndSixBitSamplesOfBmpAndTgaSpanTheWholeRange) {
  // Levels 0, 16 and 31 of 5 bits (32 of 6 for 5-6-5 green): 0, 132
  // (16 x 255 / 31 = 131.6; 32 x 255 / 63 = 129.5 for green: 130) and 255.
  const int want[3] = {0, 132, 255};
  // BMP, 16 bits with 5-6-5 bit fields, three pixels and two bytes of padding.
  B bmp;
  bmp.u8('B').u8('M').i32(74).i32(0).i32(66);
  bmp.i32(40).i32(3).i32(1).u16(1).u16(16).i32(3).i32(8).i32(2835).i32(2835).i32(0).i32(0);
  bmp.i32(0xF800).i32(0x07E0).i32(0x001F);
  bmp.u16(0).u16((16 << 11) | (32 << 5) | 16).u16(0xFFFF).u16(0);
  auto b = DecodeBytes(bmp.v, ioBMP);
  std::vector<TRGB> px(3);
  IEGetRowRGB24(*b, 0, px.data());
  for (int x = 0; x < 3; ++x) {
    EXPECT_EQ(px[x].r, want[x]) << "BMP " << x;
    EXPECT_EQ(px[x].g, x == 1 ? 130 : want[x]) << "BMP " << x;
    EXPECT_EQ(px[x].b, want[x]) << "BMP " << x;
  }
  // TGA, true colour of 15 and of 16 bits (x1r5g5b5), top-down.
  for (int depth : {15, 16}) {
    B tga;
    tga.u8(0).u8(0).u8(2).u16(0).u16(0).u8(0).u16(0).u16(0).u16(3).u16(1).u8(depth).u8(0x20);
    tga.u16(0).u16((16 << 10) | (16 << 5) | 16).u16(0x7FFF);
    auto t = DecodeBytes(tga.v, ioTGA);
    IEGetRowRGB24(*t, 0, px.data());
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(px[x], (TRGB{std::uint8_t(want[x]), std::uint8_t(want[x]), std::uint8_t(want[x])}))
          << depth << " bits, " << x;
  }
}
