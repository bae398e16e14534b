#include <gtest/gtest.h>

#include <png.h>

#include "imaging/formats/test_images.h"

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
      {"PNGInterlaced", ioPNG, none, [](TIOParamsVals& p) { p.PNGInterlaced = true; },
       [](const TIOParamsVals& r, const std::vector<std::uint8_t>& b) {
         EXPECT_TRUE(r.PNGInterlaced);
         EXPECT_EQ(b[28], 1);
       }},
      {"PNGFilter", ioPNG, none, [](TIOParamsVals& p) { p.PNGFilter = 2; }, nullptr},
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

TEST(CodecParams, PngCompressionLevelsShrinkTheFile) {
  auto src = MakeRGB(64, 64);
  size_t prev = SIZE_MAX;
  for (int level : {0, 1, 9}) {
    auto b = EncodeAs(*src, ioPNG, [&](TIOParamsVals& p) { p.PNGCompression = level; });
    EXPECT_LT(b.size(), prev) << level;
    prev = b.size();
  }
}
