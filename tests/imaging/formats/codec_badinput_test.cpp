#include <gtest/gtest.h>

#include <zlib.h>

#include "imaging/formats/test_images.h"

namespace {
void PutLE32(std::vector<std::uint8_t>& v, size_t at, std::uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<std::uint8_t>(x >> (8 * i));
}
void PutBE32(std::vector<std::uint8_t>& v, size_t at, std::uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<std::uint8_t>(x >> (24 - 8 * i));
}
void PutLE16(std::vector<std::uint8_t>& v, size_t at, std::uint16_t x) {
  v[at] = static_cast<std::uint8_t>(x);
  v[at + 1] = static_cast<std::uint8_t>(x >> 8);
}

// Each format's way of claiming a 100000 x 100000 image in a valid header.
struct Forge {
  int ft;
  std::function<void(std::vector<std::uint8_t>&)> patch;
};
std::vector<Forge> Forgers() {
  return {
      {ioBMP, [](std::vector<std::uint8_t>& v) { PutLE32(v, 18, 100000), PutLE32(v, 22, 100000); }},
      {ioPNG,
       [](std::vector<std::uint8_t>& v) {
         PutBE32(v, 16, 100000);
         PutBE32(v, 20, 100000);
         PutBE32(v, 29, static_cast<std::uint32_t>(crc32(0, v.data() + 12, 17)));
       }},
  };
}

// Loads bytes into a component that holds a known image; the load must
// raise a library exception and leave image and parameters alone.
void ExpectRefusedAndUnchanged(const std::vector<std::uint8_t>& bytes, int ft, const std::string& what) {
  SCOPED_TRACE(what + " as " + IEFileFormatGetInfo(ft)->FullName);
  TRedozIrIO io;
  auto before = MakeRGB(6, 4);
  io.GetIEBitmap()->Assign(before.get());
  io.Params().FileType = 99;
  int finished = 0;
  io.OnFinishWork = [&](TObject*) { ++finished; };
  TMemoryStream ms(bytes);
  try {
    io.LoadFromStreamFormat(ms, ft);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_FALSE(std::string(e.what()).empty());
  }
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 6);
  EXPECT_EQ(MaxRGBDiff(*io.GetIEBitmap(), *before), 0);
  EXPECT_EQ(io.Params().FileType, 99);
}
}  // namespace

TEST(CodecBadInput, ZeroLengthTruncatedAndForgedFilesAreRefused) {
  for (const auto& f : Forgers()) {
    auto src = MakeRGB(16, 16);
    auto good = EncodeAs(*src, f.ft);
    ExpectRefusedAndUnchanged({}, f.ft, "empty");
    for (size_t cut : {size_t(10), good.size() / 2, good.size() - 1})
      ExpectRefusedAndUnchanged(
          std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<long>(cut)), f.ft,
          "cut at " + std::to_string(cut));
    auto forged = good;
    f.patch(forged);
    forged.resize(100);
    ExpectRefusedAndUnchanged(forged, f.ft, "forged 100000 x 100000");
    // A detector must not crash on any of these either.
    for (size_t n : {size_t(0), size_t(3), forged.size()}) {
      TMemoryStream ms(std::vector<std::uint8_t>(forged.begin(), forged.begin() + static_cast<long>(n)));
      FindStreamFormat(ms);
      EXPECT_EQ(ms.Position(), 0);
    }
  }
}

TEST(CodecBadInput, BmpOddHeadersAreRefusedWithAMessage) {
  auto src = MakePalette(8, 8, 16);
  auto good = EncodeAs(*src, ioBMP, [](TIOParamsVals& p) { p.SamplesPerPixel = 1; });
  struct Case {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> patch;
  } cases[] = {
      {"bit count 7", [](auto& v) { PutLE16(v, 28, 7); }},
      {"compression 9", [](auto& v) { PutLE32(v, 30, 9); }},
      {"RLE8 with 24 bits", [](auto& v) { PutLE16(v, 28, 24), PutLE32(v, 30, 1); }},
      {"pixel data beyond the file", [](auto& v) { PutLE32(v, 10, 1000000); }},
      {"header size 1000000", [](auto& v) { PutLE32(v, 14, 1000000); }},
      {"negative width", [](auto& v) { PutLE32(v, 18, 0xFFFFFFF0u); }},
  };
  for (const auto& c : cases) {
    auto bad = good;
    c.patch(bad);
    ExpectRefusedAndUnchanged(bad, ioBMP, c.what);
  }
}

TEST(CodecBadInput, UnknownContentIsRefusedByDetection) {
  std::vector<std::uint8_t> junk(64, 0x11);
  TRedozIrIO io;
  TMemoryStream ms(junk);
  EXPECT_THROW(io.LoadFromStream(ms), EIEImageError);
  TMemoryStream empty;
  EXPECT_THROW(io.LoadFromStream(empty), EIEImageError);
}
