// Every pixel format the library has, through every writer and back: what
// the target format can hold must come back identical.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/formats/test_images.h"

using namespace redozir;

namespace {
enum Holds : unsigned {
  kColours = 1,     // any number of colours, exactly (else only palettes and grey)
  kAlpha = 2,       // an alpha plane of 256 levels
  kClearAlpha = 4,  // one transparent colour: alpha 0 or 255
  kDeep = 8,        // 16 bits per sample
  kCMYK = 16,
  kPalette = 32,  // a palette image comes back as a palette of the same colours
  kLossy = 64,
};

struct Format {
  int ft;
  unsigned holds;
};
// What each format holds (the README's "What it does not do" lists the rest).
const Format kFormats[] = {
    {ioPNG, kColours | kAlpha | kClearAlpha | kDeep | kPalette},
    {ioTIFF, kColours | kAlpha | kClearAlpha | kDeep | kCMYK | kPalette},
    {ioBMP, kColours | kAlpha | kClearAlpha | kPalette},
    {ioTGA, kColours | kAlpha | kClearAlpha | kPalette},
    {ioGIF, kClearAlpha | kPalette},
    {ioPCX, kColours | kPalette},
    {ioJP2, kColours | kAlpha | kClearAlpha | kDeep},
    {ioJ2K, kColours | kAlpha | kClearAlpha | kDeep},
    {ioJPEG, kLossy},
};

enum AlphaKind { kNone, kClear, kRamp };
struct Kind {
  const char* name;
  TIEPixelFormat pf;
  AlphaKind alpha;
  int bits, samples;   // the parameters a reader of such a file leaves
  bool black = false;  // every pixel black, threshold bilevel mode (a loaded page's)
};
const Kind kKinds[] = {
    {"two-colour palette", ie8p, kNone, 1, 1},
    {"palette + transparency", ie8p, kClear, 8, 1},
    {"grey", ie8g, kNone, 8, 1},
    {"grey + alpha", ie8g, kRamp, 8, 1},
    {"1-bit grey + alpha", ie8g, kRamp, 1, 1},
    {"16-bit grey", ie16g, kNone, 16, 1},
    {"9-bit grey (from JPEG 2000)", ie16g, kNone, 9, 1},
    {"RGB", ie24RGB, kNone, 8, 3},
    {"RGBA", ie24RGB, kRamp, 8, 4},
    {"RGB48", ieRGB48, kNone, 16, 3},
    {"CMYK", ieCMYK, kNone, 8, 4},
    {"palette + alpha", ie8p, kRamp, 8, 1},
    {"16-bit grey + alpha", ie16g, kRamp, 16, 1},
    {"RGB48 + alpha", ieRGB48, kRamp, 16, 4},
    // A two-colour palette file loaded as 24 bits.
    {"two colours in 24 bits", ie24RGB, kNone, 1, 1},
    {"black page in 24 bits", ie24RGB, kNone, 1, 1, true},
};

std::unique_ptr<TIEBitmap> Make(const Kind& k) {
  const int w = 21, h = 7;
  auto b = std::make_unique<TIEBitmap>(w, h, k.pf);
  if (k.pf == ie8p) {
    const int n = k.bits == 1 ? 2 : 6;
    for (int i = 0; i < n; ++i)
      b->SetPalette(i, TRGB{static_cast<std::uint8_t>(200 - i * 30), static_cast<std::uint8_t>(i * 40),
                            static_cast<std::uint8_t>(255 - i * 9)});
    b->SetPaletteUsed(n);
  }
  for (int y = 0; y < h; ++y) {
    std::uint8_t* p = b->GetScanline(y);
    auto* p16 = reinterpret_cast<std::uint16_t*>(p);
    for (int x = 0; x < w; ++x) {
      const int v = x * 12 + y * 5;
      switch (k.pf) {
        case ie8p: p[x] = static_cast<std::uint8_t>((x + y) % (k.bits == 1 ? 2 : 6)); break;
        case ie8g: p[x] = static_cast<std::uint8_t>(k.bits == 1 ? (x + y) % 2 * 255 : v); break;
        case ie16g: p16[x] = static_cast<std::uint16_t>(v * 251 + y); break;
        case ieRGB48:
          for (int c = 0; c < 3; ++c) p16[3 * x + c] = static_cast<std::uint16_t>(v * 250 + c * 9001 + x);
          break;
        default:
          if (k.black) {
            std::memset(p + 3 * x, 0, 3);
            break;
          }
          if (k.bits == 1) {
            p[3 * x] = (x + y) % 2 ? 200 : 30;
            p[3 * x + 1] = 90;
            p[3 * x + 2] = (x + y) % 2 ? 10 : 255;
            break;
          }
          for (int c = 0; c < (k.pf == ieCMYK ? 4 : 3); ++c)
            p[(k.pf == ieCMYK ? 4 : 3) * x + c] = static_cast<std::uint8_t>(v + c * 70);
      }
    }
  }
  if (k.black) b->SetDitherMethod(1);
  if (k.alpha != kNone) {
    TIEBitmap* a = b->GetAlphaChannel();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        a->GetScanline(y)[x] = k.alpha == kClear ? (b->GetScanline(y)[x] == 5 ? 0 : 255)
                                                 : static_cast<std::uint8_t>(x * 12 + y * 7);
    a->SetFull(false);
  }
  return b;
}

bool Deep(TIEPixelFormat pf) { return pf == ie16g || pf == ieRGB48; }
bool Grey(TIEPixelFormat pf) { return pf == ie8g || pf == ie16g; }
}  // namespace

TEST(RoundTripTable, EveryPixelFormatThroughEveryWriterKeepsWhatTheFormatHolds) {
  for (const Format& f : kFormats) {
    for (const Kind& k : kKinds) {
      SCOPED_TRACE(IEFileFormatGetInfo(f.ft)->FullName + ", " + k.name);
      auto src = Make(k);
      auto bytes = EncodeAs(*src, f.ft, [&](TIOParamsVals& p) {
        p.BitsPerSample = k.bits;
        p.SamplesPerPixel = k.samples;
        p.TIFFPhotometric = k.pf == ieCMYK ? ioTIFF_CMYK : Grey(k.pf) ? ioTIFF_BLACKISZERO : ioTIFF_RGB;
        p.J2000ColorSpace = Grey(k.pf) ? ioJ2000_GRAYSCALE : ioJ2000_RGB;
        p.JPEGColorSpace = k.pf == ieCMYK ? ioJPEG_CMYK : ioJPEG_YCbCr;
      });
      auto back = DecodeBytes(bytes);
      ASSERT_EQ(back->GetWidth(), src->GetWidth());
      ASSERT_EQ(back->GetHeight(), src->GetHeight());
      if (f.holds & kLossy) {
        EXPECT_FALSE(back->HasAlphaChannel());
        continue;
      }
      // With one transparent colour, alpha comes back as 0 below 128 and 255
      // above, and the colour of transparent pixels is not kept.
      const bool colours = (f.holds & kColours) || k.pf == ie8p || k.pf == ie8g || k.bits == 1;
      const bool alpha =
          k.alpha != kNone && (f.holds & (k.alpha == kRamp ? kAlpha | kClearAlpha : kClearAlpha));
      const bool fullAlpha = alpha && (f.holds & kAlpha);
      EXPECT_EQ(back->HasAlphaChannel(), alpha);
      int wrongColours = 0, wrongAlpha = 0;
      for (int y = 0; y < src->GetHeight(); ++y)
        for (int x = 0; x < src->GetWidth(); ++x) {
          const int a = src->HasAlphaChannel() ? src->GetAlpha(x, y) : 255;
          const int want = fullAlpha ? a : a < 128 ? 0 : 255;
          if (alpha && back->GetAlpha(x, y) != want) ++wrongAlpha;
          if (colours && (!alpha || want != 0) && !(back->GetPixels(x, y) == src->GetPixels(x, y)))
            ++wrongColours;
        }
      EXPECT_EQ(wrongColours, 0);
      EXPECT_EQ(wrongAlpha, 0);
      if (Deep(k.pf) && (f.holds & kDeep)) {
        ASSERT_EQ(back->GetPixelFormat(), k.pf);
        for (int y = 0; y < src->GetHeight(); ++y)
          ASSERT_EQ(std::memcmp(back->GetScanline(y), src->GetScanline(y),
                                static_cast<size_t>(src->GetWidth()) * (k.pf == ie16g ? 2 : 6)),
                    0);
      }
      if (k.pf == ieCMYK && (f.holds & kCMYK)) {
        ASSERT_EQ(back->GetPixelFormat(), ieCMYK);
        for (int y = 0; y < src->GetHeight(); ++y)
          ASSERT_EQ(std::memcmp(back->GetScanline(y), src->GetScanline(y),
                                static_cast<size_t>(src->GetWidth()) * 4),
                    0);
      }
      if (k.bits == 1 && k.pf != ie8g && !k.black && (f.holds & kPalette)) {
        EXPECT_EQ(back->GetPixelFormat(), ie8p);
      }
    }
  }
}
