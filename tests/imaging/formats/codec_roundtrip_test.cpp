#include <gtest/gtest.h>

#include "imaging/formats/test_images.h"

namespace {
enum Kind { kBW, kPal, kGrey, kRGB };
const char* KindName(Kind k) {
  return k == kBW ? "1-bit" : k == kPal ? "palette" : k == kGrey ? "grey" : "24-bit";
}

std::unique_ptr<TIEBitmap> Make(Kind k, int w, int h) {
  switch (k) {
    case kBW: return MakeBW(w, h);
    case kPal: return MakePalette(w, h, 13);
    case kGrey: return MakeGrey(w, h);
    default: return MakeRGB(w, h);
  }
}
void DepthFor(Kind k, TIOParamsVals& p) {
  p.BitsPerSample = k == kBW ? 1 : 8;
  p.SamplesPerPixel = k == kRGB ? 3 : 1;
  if (k == kGrey) p.TIFFPhotometric = ioTIFF_BLACKISZERO;
  if (k == kPal) p.TIFFPhotometric = ioTIFF_RGBPALETTE;
  if (k == kBW) p.TIFFPhotometric = ioTIFF_BLACKISZERO;
}

struct Lossless {
  int ft;
  std::vector<Kind> kinds;
};
const std::vector<Lossless>& LosslessFormats() {
  static const std::vector<Lossless> v = {
      {ioBMP, {kBW, kPal, kGrey, kRGB}},
      {ioPNG, {kBW, kPal, kGrey, kRGB}},
  };
  return v;
}
}  // namespace

TEST(CodecRoundTrip, LosslessFormatsGiveBackTheSamePixels) {
  // Odd sizes cross row padding and partial bytes.
  const int sizes[][2] = {{1, 1}, {13, 7}, {64, 33}};
  for (const auto& f : LosslessFormats()) {
    for (Kind k : f.kinds) {
      for (const auto& sz : sizes) {
        auto src = Make(k, sz[0], sz[1]);
        auto bytes = EncodeAs(*src, f.ft, [&](TIOParamsVals& p) { DepthFor(k, p); });
        auto back = DecodeBytes(bytes);
        SCOPED_TRACE(std::string(IEFileFormatGetInfo(f.ft)->FullName) + " " + KindName(k) + " " +
                     std::to_string(sz[0]) + "x" + std::to_string(sz[1]));
        ASSERT_EQ(back->GetWidth(), sz[0]);
        ASSERT_EQ(back->GetHeight(), sz[1]);
        EXPECT_EQ(MaxRGBDiff(*src, *back), 0);
        if (k == kBW) EXPECT_EQ(back->GetPixelFormat(), ie1g);
        if (k == kRGB) EXPECT_EQ(back->GetPixelFormat(), ie24RGB);
        if (k == kPal) EXPECT_EQ(back->GetPixelFormat(), ie8p);
      }
    }
  }
}

TEST(CodecRoundTrip, NonNativeLoadsGiveTwentyFourBitsAndOneBitStays) {
  for (const auto& f : LosslessFormats()) {
    for (Kind k : f.kinds) {
      auto src = Make(k, 9, 5);
      auto bytes = EncodeAs(*src, f.ft, [&](TIOParamsVals& p) { DepthFor(k, p); });
      auto back = DecodeBytes(bytes, f.ft, nullptr, false);
      EXPECT_EQ(back->GetPixelFormat(), k == kBW ? ie1g : ie24RGB) << f.ft << " " << KindName(k);
      EXPECT_EQ(MaxRGBDiff(*src, *back), 0);
    }
  }
}

TEST(CodecRoundTrip, PngCarriesTheAlphaPlane) {
  for (Kind k : {kRGB, kGrey}) {
    auto src = Make(k, 21, 11);
    AddAlpha(*src);
    auto bytes = EncodeAs(*src, ioPNG, [&](TIOParamsVals& p) { DepthFor(k, p); });
    auto back = DecodeBytes(bytes);
    ASSERT_TRUE(back->HasAlphaChannel()) << KindName(k);
    EXPECT_TRUE(SameAlpha(*src, *back));
    EXPECT_EQ(MaxRGBDiff(*src, *back), 0);
  }
}

TEST(CodecRoundTrip, SixteenBitPngKeepsItsDepthWhenNative) {
  TIEBitmap g(7, 3, ie16g);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x)
      reinterpret_cast<std::uint16_t*>(g.GetScanline(y))[x] = std::uint16_t(x * 9001 + y);
  TRedozIrIO io;
  io.GetIEBitmap()->Assign(&g);
  io.Params().BitsPerSample = 16;
  io.Params().SamplesPerPixel = 1;
  TMemoryStream ms;
  io.SaveToStreamPNG(ms);
  auto back = DecodeBytes(ms.Bytes());
  ASSERT_EQ(back->GetPixelFormat(), ie16g);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(std::memcmp(back->GetScanline(y), g.GetScanline(y), 14), 0);
}

TEST(CodecRoundTrip, EveryReaderLeavesTheStreamRightAfterItsFile) {
  for (const auto& f : LosslessFormats()) {
    auto a = MakeRGB(10, 6);
    auto b = MakePalette(5, 9, 4);
    auto ba = EncodeAs(*a, f.ft);
    auto bb = EncodeAs(*b, f.ft, [](TIOParamsVals& p) { p.SamplesPerPixel = 1; });
    TMemoryStream ms;
    ms.WriteBuffer(ba.data(), static_cast<std::int64_t>(ba.size()));
    ms.WriteBuffer(bb.data(), static_cast<std::int64_t>(bb.size()));
    ms.SetPosition(0);
    TRedozIrIO io;
    io.LoadFromStreamFormat(ms, f.ft);
    EXPECT_EQ(ms.Position(), static_cast<std::int64_t>(ba.size())) << f.ft;
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 10);
    io.LoadFromStream(ms);
    EXPECT_EQ(ms.Position(), ms.Size()) << f.ft;
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 5);
  }
}
