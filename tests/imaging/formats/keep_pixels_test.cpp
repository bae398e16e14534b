// Files that readers used to get wrong (palettes in JPEG 2000, associated
// alpha, orientation, short palettes, alpha masks) and writers that lost
// what the image held; every file is made here.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "imaging/formats/image_files.h"
#include "imaging/formats/ie_debuglog.h"

using namespace redozir;

namespace {
TRGB Rgb(int r, int g, int b) {
  return TRGB{static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(r)};
}

void PutLE(std::vector<std::uint8_t>& v, std::uint32_t x, int n) {
  for (int i = 0; i < n; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}

std::vector<std::uint8_t> FileBytes(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}
}  // namespace

TEST(KeepPixels, JP2PaletteReadsAsTheColoursItNames) {
  const std::vector<TRGB> colours = {Rgb(255, 0, 0), Rgb(0, 0, 255), Rgb(10, 200, 30), Rgb(250, 240, 5)};
  auto index = [](int x, int y) { return (x + 2 * y) % 4; };
  auto back = DecodeBytes(PaletteJP2(colours, 7, 5, index));
  ASSERT_EQ(back->GetPixelFormat(), ie24RGB);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(back->GetPixels(x, y), colours[index(x, y)]) << x << "," << y;
  // The palette's three columns count before decoding: 17000 x 17000 is
  // within the size cap for one component of 32-bit samples, not for four.
  auto big = PaletteJP2(colours, 7, 5, index);
  const std::uint8_t soc[] = {0xFF, 0x4F, 0xFF, 0x51}, ihdr[] = {'i', 'h', 'd', 'r'};
  const auto cs = std::search(big.begin(), big.end(), soc, soc + 4) - big.begin();
  const auto hd = std::search(big.begin(), big.end(), ihdr, ihdr + 4) - big.begin();
  for (auto field : {cs + 8, cs + 12, cs + 24, cs + 28, hd + 4, hd + 8}) {  // sizes and tile sizes
    big[field + 2] = 0x42;
    big[field + 3] = 0x68;
  }
  try {
    DecodeBytes(big);
    ADD_FAILURE() << "a palette image beyond the size cap was decoded";
  } catch (const EIEImageError& e) {
    EXPECT_NE(std::string(e.what()).find("17000 x 17000 pixels too large"), std::string::npos) << e.what();
  }
}

TEST(KeepPixels, JPEG2000KeepsSixteenBitsAndReadsBackWhatItWroteOfAnySize) {
  // 16-bit grey and colour, native.
  TIEBitmap g16(9, 4, ie16g), c48(9, 4, ieRGB48);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 9; ++x) {
      reinterpret_cast<std::uint16_t*>(g16.GetScanline(y))[x] = static_cast<std::uint16_t>(x * 7001 + y * 13);
      for (int k = 0; k < 3; ++k)
        reinterpret_cast<std::uint16_t*>(c48.GetScanline(y))[3 * x + k] =
            static_cast<std::uint16_t>(x * 6007 + y * 101 + k * 20011);
    }
  for (int ft : {ioJP2, ioJ2K})
    for (TIEBitmap* src : {&g16, &c48}) {
      auto bytes = EncodeAs(*src, ft, [&](TIOParamsVals& p) {
        p.BitsPerSample = 16;
        p.J2000ColorSpace = src == &g16 ? ioJ2000_GRAYSCALE : ioJ2000_RGB;
      });
      TIOParamsVals params;
      auto back = DecodeBytes(bytes, 0, &params);
      ASSERT_EQ(back->GetPixelFormat(), src->GetPixelFormat()) << ft;
      EXPECT_EQ(params.BitsPerSample, 16);
      for (int y = 0; y < 4; ++y)
        ASSERT_EQ(std::memcmp(back->GetScanline(y), src->GetScanline(y), src == &g16 ? 18 : 54), 0) << ft;
    }
  // A uniform picture codes into a few hundred bytes: no ratio of pixels to
  // bytes may refuse it.
  TIEBitmap white(640, 640, ie24RGB);
  white.Fill(0xFFFFFF);
  for (int ft : {ioJP2, ioJ2K}) {
    auto bytes = EncodeAs(white, ft);
    ASSERT_LT(bytes.size(), 2000u);
    auto back = DecodeBytes(bytes);
    EXPECT_EQ(MaxRGBDiff(*back, white), 0) << ft;
  }
  // The guard now asks for what the code stream declares: halving the tile
  // size declares four tiles, of which one is there.
  auto bytes = EncodeAs(white, ioJ2K);
  ASSERT_EQ(bytes[2], 0xFF);
  ASSERT_EQ(bytes[3], 0x51);
  bytes[24 + 2] = 0x01;  // XTsiz 640 -> 320 (0x0140)
  bytes[28 + 2] = 0x01;  // YTsiz 640 -> 320
  try {
    DecodeBytes(bytes);
    ADD_FAILURE() << "a code stream with missing tiles was read";
  } catch (const EIEImageError& e) {
    EXPECT_NE(std::string(e.what()).find("3 of 4 tiles missing"), std::string::npos) << e.what();
  }
}

TEST(KeepPixels, TIFFAssociatedAlphaComesBackStraight) {
  // Straight (200, 100, 50) at alpha 51 is (40, 20, 10) premultiplied in 8
  // bits; at alpha 3 in 16 bits it is (605, 302, 151) of 65535 with alpha
  // 771. A transparent pixel reads black, an opaque one as it is.
  TIEBitmap b8(3, 1, ie24RGB), b16(3, 1, ieRGB48);
  TRGB* p8 = reinterpret_cast<TRGB*>(b8.GetScanline(0));
  p8[0] = Rgb(40, 20, 10), p8[1] = Rgb(9, 9, 9), p8[2] = Rgb(1, 2, 3);
  auto* p16 = reinterpret_cast<std::uint16_t*>(b16.GetScanline(0));
  const std::uint16_t s16[9] = {605, 302, 151, 900, 900, 900, 257, 514, 771};
  std::memcpy(p16, s16, sizeof s16);
  for (TIEBitmap* b : {&b8, &b16}) {
    std::uint8_t* a = b->GetAlphaChannel()->GetScanline(0);
    a[0] = b == &b8 ? 51 : 3, a[1] = 0, a[2] = 255;
    b->GetAlphaChannel()->SetFull(false);
    auto file = AssociatedAlphaTIFF(*b);
    ASSERT_FALSE(file.empty());
    auto back = DecodeBytes(file);
    ASSERT_TRUE(back->HasAlphaChannel());
    EXPECT_EQ(back->GetPixels(0, 0), Rgb(200, 100, 50)) << b->GetBitCount();
    EXPECT_EQ(back->GetPixels(1, 0), Rgb(0, 0, 0));
    EXPECT_EQ(back->GetPixels(2, 0), Rgb(1, 2, 3));
    EXPECT_TRUE(SameAlpha(*back, *b));
  }
}

TEST(KeepPixels, TIFFOrientationIsHonouredOnBothReadPaths) {
  // Stored 3 x 2 pixels; orientation o puts stored pixel (sx, sy) at the
  // upright place below (row 0 and column 0 lie on the named sides).
  auto colour = [](int sx, int sy) { return Rgb(sx * 80 + 10, sy * 120 + 20, 7); };
  auto upright = [](int o, int sx, int sy, int& x, int& y) {
    const int W = 3, H = 2;  // stored size; the upright one is H x W for o >= 5
    switch (o) {
      case 1: x = sx, y = sy; break;
      case 2: x = W - 1 - sx, y = sy; break;
      case 3: x = W - 1 - sx, y = H - 1 - sy; break;
      case 4: x = sx, y = H - 1 - sy; break;
      case 5: x = sy, y = sx; break;
      case 6: x = H - 1 - sy, y = sx; break;
      case 7: x = H - 1 - sy, y = W - 1 - sx; break;
      default: x = sy, y = W - 1 - sx; break;
    }
  };
  for (int planar : {PLANARCONFIG_CONTIG, PLANARCONFIG_SEPARATE}) {
    for (int o = 1; o <= 8; ++o) {
      auto file = LibtiffFile(
          3, 2, 8, 3, PHOTOMETRIC_RGB,
          [&](TIFF* t) {
            TIFFSetField(t, TIFFTAG_PLANARCONFIG, planar);
            TIFFSetField(t, TIFFTAG_ORIENTATION, o);
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 2);
          },
          [&](TIFF* t) {
            for (int s = 0; s < (planar == PLANARCONFIG_CONTIG ? 1 : 3); ++s)
              for (int sy = 0; sy < 2; ++sy) {
                std::uint8_t row[9];
                for (int sx = 0; sx < 3; ++sx) {
                  const TRGB c = colour(sx, sy);
                  const std::uint8_t rgb[3] = {c.r, c.g, c.b};
                  if (planar == PLANARCONFIG_CONTIG)
                    std::memcpy(row + 3 * sx, rgb, 3);
                  else
                    row[sx] = rgb[s];
                }
                TIFFWriteScanline(t, row, static_cast<std::uint32_t>(sy), static_cast<std::uint16_t>(s));
              }
          });
      auto back = DecodeBytes(file);
      SCOPED_TRACE("orientation " + std::to_string(o) +
                   (planar == PLANARCONFIG_CONTIG ? " contiguous" : " planar"));
      ASSERT_EQ(back->GetWidth(), o >= 5 ? 2 : 3);
      for (int sy = 0; sy < 2; ++sy)
        for (int sx = 0; sx < 3; ++sx) {
          int x, y;
          upright(o, sx, sy, x, y);
          EXPECT_EQ(back->GetPixels(x, y), colour(sx, sy)) << sx << "," << sy;
        }
    }
  }
}

TEST(KeepPixels, BMPReadsAFourBitAlphaMaskAndAShortOS2Palette) {
  // 16 bits with masks 0F00, 00F0, 000F and alpha F000 in a BITMAPV4 header.
  std::vector<std::uint8_t> v4 = {'B', 'M'};
  PutLE(v4, 14 + 108 + 4, 4);
  PutLE(v4, 0, 4);
  PutLE(v4, 14 + 108, 4);
  PutLE(v4, 108, 4);
  PutLE(v4, 2, 4);
  PutLE(v4, 1, 4);
  PutLE(v4, 1, 2);
  PutLE(v4, 16, 2);
  PutLE(v4, 3, 4);  // bit fields
  for (int i = 0; i < 5; ++i) PutLE(v4, 0, 4);
  for (std::uint32_t m : {0x0F00u, 0x00F0u, 0x000Fu, 0xF000u}) PutLE(v4, m, 4);
  v4.resize(14 + 108, 0);
  PutLE(v4, 0xF800, 2);  // red 8 of 15, opaque
  PutLE(v4, 0x1234, 2);  // red 2, green 3, blue 4, alpha 1 (of 15)
  auto b = DecodeBytes(v4);
  ASSERT_TRUE(b->HasAlphaChannel());
  EXPECT_EQ(b->GetPixels(0, 0), Rgb(136, 0, 0));
  EXPECT_EQ(b->GetPixels(1, 0), Rgb(34, 51, 68));
  EXPECT_EQ(b->GetAlpha(0, 0), 255);
  EXPECT_EQ(b->GetAlpha(1, 0), 17);

  // OS/2 core header, 8 bits, a palette of three entries before the pixels.
  std::vector<std::uint8_t> os2 = {'B', 'M'};
  PutLE(os2, 14 + 12 + 9 + 8, 4);
  PutLE(os2, 0, 4);
  PutLE(os2, 14 + 12 + 9, 4);
  PutLE(os2, 12, 4);
  PutLE(os2, 3, 2);
  PutLE(os2, 2, 2);
  PutLE(os2, 1, 2);
  PutLE(os2, 8, 2);
  os2.insert(os2.end(), {0, 0, 255, 0, 255, 0, 255, 0, 0});  // blue, green, red: red, green, blue
  os2.insert(os2.end(), {0, 1, 2, 0, 2, 2, 1, 0});           // bottom row, then top row
  b = DecodeBytes(os2);
  EXPECT_EQ(b->GetPixels(0, 0), Rgb(0, 0, 255));
  EXPECT_EQ(b->GetPixels(1, 0), Rgb(0, 0, 255));
  EXPECT_EQ(b->GetPixels(2, 0), Rgb(0, 255, 0));
  EXPECT_EQ(b->GetPixels(0, 1), Rgb(255, 0, 0));
  EXPECT_EQ(b->GetPixels(2, 1), Rgb(0, 0, 255));
}

TEST(KeepPixels, GIFToGIFLeavesVisiblePixelsVisible) {
  // The transparent entry and the visible background are both white: a
  // copy of the picture, loaded as 24 bits, must make only the transparent
  // pixels transparent again.
  TIEBitmap pal(8, 6, ie8p);
  const TRGB white = Rgb(255, 255, 255);
  pal.SetPalette(0, Rgb(255, 0, 0));
  pal.SetPalette(1, Rgb(0, 0, 255));
  pal.SetPalette(2, white);
  pal.SetPalette(3, white);
  pal.SetPaletteUsed(4);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x)
      pal.GetScanline(y)[x] = static_cast<std::uint8_t>(x < 2 ? 2 : y < 2 ? x % 2 : 3);
  auto first = EncodeAs(pal, ioGIF, [&](TIOParamsVals& p) {
    p.GIFTransparent = true;
    p.GIFTranspColor = white;
  });
  TRedozIrIO io;
  TMemoryStream in(first);
  io.LoadFromStream(in);
  ASSERT_TRUE(io.GetIEBitmap()->HasAlphaChannel());
  TMemoryStream out;
  io.SaveToStream(out, ioGIF);
  auto back = DecodeBytes(out.Bytes());
  ASSERT_TRUE(back->HasAlphaChannel());
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(back->GetAlpha(x, y), x < 2 ? 0 : 255) << x << "," << y;
  EXPECT_EQ(MaxRGBDiff(*back, *io.GetIEBitmap()), 0);
}

TEST(KeepPixels, SixteenBitsStayInTheDefaultPixelFormatMode) {
  auto g16 = DecodeBytes(FileBytes(TestDataPath("io/grey16.png")), 0, nullptr, false);
  ASSERT_EQ(g16->GetPixelFormat(), ie16g);
  EXPECT_EQ(reinterpret_cast<std::uint16_t*>(g16->GetScanline(3))[5], 5 * 4000 + 3 * 100);
}

TEST(KeepPixels, CodecWarningsReachTheDebugLog) {
  // A PNG with a bad CRC in an ancillary chunk: libpng warns and goes on.
  TIEBitmap b(2, 2, ie24RGB);
  b.Fill(0);
  auto png = EncodeAs(b, ioPNG, [](TIOParamsVals& p) { p.PNGBackground = TRGB{1, 2, 3}; });
  const char bkgd[] = "bKGD";
  auto at = std::search(png.begin(), png.end(), bkgd, bkgd + 4);
  ASSERT_NE(at, png.end());
  at[4 + 6] ^= 0xFF;  // the chunk's CRC after six bytes of data
  const std::string log = "/tmp/redozir_codec_log_" + std::to_string(getpid()) + ".txt";
  IEDebugLogFileName = log;
  auto back = DecodeBytes(png);
  IEDebugLogFileName.clear();
  auto text = FileBytes(log);
  std::remove(log.c_str());
  EXPECT_NE(std::string(text.begin(), text.end()).find("PNG warning: bKGD: CRC error"), std::string::npos)
      << std::string(text.begin(), text.end());
}
