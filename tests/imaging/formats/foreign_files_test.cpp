// Files written by Pillow and ImageMagick (tests/data/io/make_files.py holds
// the patterns they carry): each must decode to its pattern.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "imaging/formats/test_images.h"

using namespace redozir;

namespace {
constexpr int W = 16, H = 12;
const TRGB kPalette[8] = {{0, 0, 0},     {255, 255, 255}, {30, 30, 200}, {30, 200, 30},
                          {200, 30, 30}, {10, 220, 250},  {128, 0, 128}, {90, 90, 90}};

TRGB Rgb(int x, int y) {
  return TRGB{static_cast<std::uint8_t>((x + y) * 8), static_cast<std::uint8_t>(y * 20),
              static_cast<std::uint8_t>(x * 16)};
}
// The colour pattern as ImageMagick stores it at 5, 6 and 5 bits (the
// level below: v x 31 / 255 truncated), each level read back at 8 bits by
// rounding (level x 255 / 31).
TRGB Rgb565(int x, int y) {
  auto level = [](int v, int max) {
    return static_cast<std::uint8_t>((v * max / 255 * 255 + max / 2) / max);
  };
  TRGB c = Rgb(x, y);
  return TRGB{level(c.b, 31), level(c.g, 63), level(c.r, 31)};
}
TRGB Pal(int x, int y, int frame = 0) { return kPalette[(x / 2 + y / 3 + frame) % 8]; }
TRGB Grey(int x, int y) {
  auto v = static_cast<std::uint8_t>((x * 16 + y * 4) & 255);
  return TRGB{v, v, v};
}
// The grey pattern thresholded at 128.
TRGB BW(int x, int y) {
  auto v = static_cast<std::uint8_t>(Grey(x, y).r >= 128 ? 255 : 0);
  return TRGB{v, v, v};
}

std::unique_ptr<TIEBitmap> Pattern(const std::function<TRGB(int, int)>& f) {
  auto b = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) reinterpret_cast<TRGB*>(b->GetScanline(y))[x] = f(x, y);
  return b;
}

std::unique_ptr<TIEBitmap> Load(const std::string& name, TIOParamsVals* params = nullptr, int index = 0) {
  TRedozIrIO io;
  io.SetNativePixelFormat(true);
  io.Params().SetImageIndex(index);
  // Every reader, whichever way it takes through a file, reports 0 to 100
  // in order and finishes once.
  std::vector<int> progress;
  int finished = 0;
  io.OnProgress = [&](TObject*, int per) { progress.push_back(per); };
  io.OnFinishWork = [&](TObject*) { ++finished; };
  io.LoadFromFile(TestDataPath("io/" + name));
  EXPECT_EQ(finished, 1) << name;
  EXPECT_GE(progress.size(), 3u) << name;
  EXPECT_EQ(progress.front(), 0) << name;
  EXPECT_EQ(progress.back(), 100) << name;
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end())) << name;
  auto out = std::make_unique<TIEBitmap>();
  out->Assign(io.GetIEBitmap());
  if (params) params->Assign(io.Params());
  return out;
}
}  // namespace

TEST(ForeignFiles, EveryFileDecodesToItsPattern) {
  struct Case {
    const char* file;
    int ft;
    std::function<TRGB(int, int)> pattern;
    int maxDiff;  // 0 for lossless files
    TIEPixelFormat pf;
  } cases[] = {
      {"rgb.png", ioPNG, Rgb, 0, ie24RGB},
      {"pal.png", ioPNG, [](int x, int y) { return Pal(x, y); }, 0, ie8p},
      {"grey.png", ioPNG, Grey, 0, ie8g},
      {"alpha.png", ioPNG, Rgb, 0, ie24RGB},
      {"pal.bmp", ioBMP, [](int x, int y) { return Pal(x, y); }, 0, ie8p},
      {"topdown.bmp", ioBMP, Rgb, 0, ie24RGB},
      {"rle8.bmp", ioBMP, [](int x, int y) { return Pal(x, y); }, 0, ie8p},
      {"rgb.pcx", ioPCX, Rgb, 0, ie24RGB},
      {"pal.pcx", ioPCX, [](int x, int y) { return Pal(x, y); }, 0, ie8p},
      {"rle.tga", ioTGA, Rgb, 0, ie24RGB},
      {"alpha.tga", ioTGA, Rgb, 0, ie24RGB},
      {"lzw.tif", ioTIFF, Rgb, 0, ie24RGB},
      {"grey.tif", ioTIFF, Grey, 0, ie8g},
      {"pal.tif", ioTIFF, [](int x, int y) { return Pal(x, y); }, 0, ie8p},
      {"cmyk.tif", ioTIFF, Rgb, 3, ieCMYK},
      {"multi.gif", ioGIF, [](int x, int y) { return Pal(x, y); }, 0, ie8p},
      {"rgb.jpg", ioJPEG, Rgb, 24, ie24RGB},
      {"progressive.jpg", ioJPEG, Rgb, 24, ie24RGB},
      {"grey.jpg", ioJPEG, Grey, 8, ie8g},
      {"cmyk.jpg", ioJPEG, Rgb, 24, ieCMYK},
      {"rgb.jp2", ioJP2, Rgb, 0, ie24RGB},
      {"rgb.j2k", ioJ2K, Rgb, 0, ie24RGB},
      {"pal.tga", ioTGA, [](int x, int y) { return Pal(x, y); }, 0, ie8p},
      {"topleft.tga", ioTGA, Rgb, 0, ie24RGB},
      {"trns.png", ioPNG, [](int x, int y) { return Pal(x, y); }, 0, ie24RGB},
      {"la.png", ioPNG, Grey, 0, ie8g},
      {"bw.png", ioPNG, BW, 0, ie1g},
      {"rgb48.png", ioPNG, Rgb, 0, ieRGB48},
      {"alpha32.bmp", ioBMP, Rgb, 0, ie24RGB},
      {"rgb565.bmp", ioBMP, Rgb565, 0, ie24RGB},
      {"pal4.bmp", ioBMP, [](int x, int y) { return Pal(x, y); }, 0, ie8p},
      {"planar.tif", ioTIFF, Rgb, 0, ie24RGB},
      {"rgb16.tif", ioTIFF, Rgb, 0, ieRGB48},
      {"g4.tif", ioTIFF, BW, 0, ie1g},
      {"jpeg.tif", ioTIFF, Rgb, 24, ie24RGB},
      {"msb.tif", ioTIFF, Rgb, 0, ie24RGB},
      {"tiled.tif", ioTIFF, Rgb, 0, ie24RGB},
      // Uncompressed tiles of under 1 KiB, which libtiff's RGBA reader
      // refuses on a stream it cannot map.
      {"tiled16.tif", ioTIFF, Rgb, 0, ie24RGB},
      {"tiledgrey.tif", ioTIFF, Grey, 0, ie8g},
      {"bw.pcx", ioPCX, BW, 0, ie1g},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TIOParamsVals p;
    auto b = Load(c.file, &p);
    ASSERT_EQ(b->GetWidth(), W);
    ASSERT_EQ(b->GetHeight(), H);
    EXPECT_EQ(p.FileType, c.ft);
    EXPECT_EQ(b->GetPixelFormat(), c.pf);
    auto want = Pattern(c.pattern);
    EXPECT_LE(MaxRGBDiff(*b, *want), c.maxDiff);
  }
}

TEST(ForeignFiles, AlphaSixteenBitsAndPagesComeThrough) {
  for (const char* f : {"alpha.png", "alpha.tga"}) {
    auto b = Load(f);
    ASSERT_TRUE(b->HasAlphaChannel()) << f;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) ASSERT_EQ(b->GetAlphaChannel()->GetScanline(y)[x], (x * y * 3) & 255) << f;
  }
  auto g16 = Load("grey16.png");
  ASSERT_EQ(g16->GetPixelFormat(), ie16g);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      EXPECT_EQ(reinterpret_cast<std::uint16_t*>(g16->GetScanline(y))[x], x * 4000 + y * 100);

  // Three pages written by ImageMagick: colour, grey, palette.
  std::function<TRGB(int, int)> pages[] = {Rgb, Grey, [](int x, int y) { return Pal(x, y); }};
  for (int i = 0; i < 3; ++i) {
    TIOParamsVals p;
    auto b = Load("multi.tif", &p, i);
    EXPECT_EQ(p.ImageCount, 3);
    EXPECT_EQ(MaxRGBDiff(*b, *Pattern(pages[i])), 0) << i;
  }
  for (int i = 0; i < 3; ++i) {
    TIOParamsVals p;
    auto b = Load("multi.gif", &p, i);
    EXPECT_EQ(p.ImageCount, 3);
    EXPECT_EQ(p.GIFDelayTime, 3);
    EXPECT_EQ(MaxRGBDiff(*b, *Pattern([i](int x, int y) { return Pal(x, y, i); })), 0) << i;
  }
  EXPECT_THROW(Load("multi.gif", nullptr, 3), EIEImageError);

  // Transparency that is not an alpha plane in the file: a palette entry,
  // a grey image's second sample, 32-bit BMP's fourth byte.
  struct AlphaCase {
    const char* file;
    std::function<int(int, int)> alpha;
  } alphas[] = {
      {"trns.png", [](int x, int y) { return (x / 2 + y / 3) % 8 == 2 ? 0 : 255; }},
      {"la.png", [](int x, int y) { return (x * y * 3) & 255; }},
      {"alpha32.bmp", [](int x, int y) { return (x * y * 3) & 255; }},
  };
  for (const auto& c : alphas) {
    auto b = Load(c.file);
    ASSERT_TRUE(b->HasAlphaChannel()) << c.file;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) ASSERT_EQ(b->GetAlphaChannel()->GetScanline(y)[x], c.alpha(x, y)) << c.file;
  }

  // A later GIF frame that holds only what changed: the rectangle and its place.
  TIOParamsVals p;
  auto sub = Load("sub.gif", &p, 1);
  EXPECT_EQ(p.ImageCount, 2);
  ASSERT_EQ(sub->GetWidth(), 4);
  ASSERT_EQ(sub->GetHeight(), 4);
  EXPECT_EQ(p.GIFXPos, 5);
  EXPECT_EQ(p.GIFYPos, 3);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(sub->GetPalette(sub->GetScanline(y)[x]), kPalette[7]);
  EXPECT_THROW(Load("multi.tif", nullptr, 3), EIEImageError);
}
