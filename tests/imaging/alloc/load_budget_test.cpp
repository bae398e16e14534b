// A file declaring far more pixels than the load memory budget allows is
// refused from its header, before the picture or the decoder's buffers are
// allocated, and loads under a budget that holds what its decoding needs.
#include <gtest/gtest.h>

#include "imaging/alloc/largest_request.h"
#include "imaging/formats/test_images.h"
#include "imaging/io/redozir_io.h"

using namespace redozir;

TEST(LoadBudget, EachReaderWeighsItsPeakAgainstTheBudgetBeforeAllocating) {
  // One colour: each file is a few KB for 1500 x 1000 pixels.
  const int W = 1500, H = 1000;
  TIEBitmap src(W, H, ie24RGB);
  src.Fill(0x336699);
  // Peak: what the decoder holds at once, in bytes, worked out from the
  // layouts (rows padded to 4 bytes: 4500 for 24 bits, 1500 for 8): the
  // picture, its work rows or coefficients, or the 24-bit copy a palette
  // picture becomes.
  struct Case {
    const char* format;
    int ft;
    std::function<void(TIOParamsVals&)> setup;
    std::int64_t peak;
  } cases[] = {
      {"PNG", ioPNG, {}, 4500000},
      {"GIF", ioGIF, {}, 1500000 + 4500000},
      {"TIFF", ioTIFF, [](TIOParamsVals& p) { p.TIFFCompression = ioTIFF_ZIP; }, 4500000},
      {"TIFF", ioTIFF, [](TIOParamsVals& p) { p.TIFFCompression = ioTIFF_LZW; }, 4500000},
      {"BMP", ioBMP,
       [](TIOParamsVals& p) { p.BMPCompression = 1, p.BitsPerSample = 8, p.SamplesPerPixel = 1; },
       1500000 + 4500000},
      {"JPEG", ioJPEG, {}, 4500000},
      // 16-bit coefficients of 64 per block, luminance 188 x 125 blocks and
      // two chroma planes of 94 x 63 at half resolution.
      {"JPEG", ioJPEG, [](TIOParamsVals& p) { p.JPEGProgressive = true; },
       4500000 + 128 * (188 * 125 + 2 * 94 * 63)},
      {"TGA", ioTGA, [](TIOParamsVals& p) { p.TGACompressed = true; }, 4500000 + 4500},
      {"PCX", ioPCX, [](TIOParamsVals& p) { p.PCXCompression = 1; }, 4500000 + 4500},
  };
  for (const Case& c : cases) {
    const auto bytes = EncodeAs(src, c.ft, c.setup);
    const std::string what = std::string(c.format) + " of " + std::to_string(bytes.size()) + " bytes";
    ASSERT_LT(bytes.size(), 200000u) << what;
    TRedozIrIO io;
    TIEBitmap& target = *io.GetIEBitmap();
    target.Allocate(7, 5, ie24RGB);
    target.Fill(0x0000FF);
    const std::string before = ImageBytes(target);
    TMemoryStream ms(bytes);
    for (std::int64_t budget : {std::int64_t(1) << 20, c.peak * 95 / 100}) {
      io.SetLoadMemoryBudget(budget);
      ms.SetPosition(0);
      gLargest = 0;
      try {
        io.LoadFromStreamFormat(ms, c.ft);
        ADD_FAILURE() << what << " loaded under " << budget;
      } catch (const EIEImageError& e) {
        const std::string m = e.what();
        EXPECT_EQ(m.rfind(c.format, 0), 0u) << m;
        EXPECT_NE(m.find("1500 x 1000"), std::string::npos) << m;
        EXPECT_NE(m.find("load memory budget of " +
                         (budget == 1 << 20 ? std::string("1 MB") : std::to_string(budget >> 10) + " KB")),
                  std::string::npos)
            << m;
      }
      EXPECT_LT(gLargest.load(), std::size_t{256} << 10) << what;
      EXPECT_EQ(ImageBytes(target), before) << what;
    }
    io.SetLoadMemoryBudget(c.peak * 105 / 100);
    ms.SetPosition(0);
    ASSERT_NO_THROW(io.LoadFromStreamFormat(ms, c.ft)) << what;
    EXPECT_EQ(target.GetWidth(), W) << what;
    EXPECT_EQ(target.GetHeight(), H) << what;
  }
}
