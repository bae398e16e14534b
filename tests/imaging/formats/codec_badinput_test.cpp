#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

#include "imaging/formats/test_images.h"

using namespace redozir;

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

size_t Find(const std::vector<std::uint8_t>& v, std::initializer_list<std::uint8_t> pat) {
  auto it = std::search(v.begin(), v.end(), pat.begin(), pat.end());
  if (it == v.end()) throw std::runtime_error("pattern not found");
  return static_cast<size_t>(it - v.begin());
}

// Each format's way of claiming a huge image (100000 x 100000 where the
// format can say it) in a valid header, then cut to about 100 bytes where
// the header still fits.
struct Forge {
  int ft;
  std::function<void(std::vector<std::uint8_t>&)> patch;
};
std::vector<Forge> Forgers() {
  return {
      {ioBMP,
       [](std::vector<std::uint8_t>& v) {
         PutLE32(v, 18, 100000), PutLE32(v, 22, 100000);
         v.resize(100);
       }},
      {ioPNG,
       [](std::vector<std::uint8_t>& v) {
         PutBE32(v, 16, 100000);
         PutBE32(v, 20, 100000);
         PutBE32(v, 29, static_cast<std::uint32_t>(crc32(0, v.data() + 12, 17)));
         v.resize(100);
       }},
      {ioGIF,
       [](std::vector<std::uint8_t>& v) {
         // A screen and a frame of 65535 x 65535 with a two-colour map.
         v = {'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0, 0, 0,    0,    0, 255, 255,
              255, ',', 0,   0,   0,   0,   0xFF, 0xFF, 0xFF, 0xFF, 0,    2, 2, 0x4C, 0x01, 0, ';'};
         v.resize(100, 0);
       }},
      {ioJPEG,
       [](std::vector<std::uint8_t>& v) {
         size_t sof = Find(v, {0xFF, 0xC0});
         v[sof + 5] = v[sof + 7] = 0xFF;
         v[sof + 6] = v[sof + 8] = 0xDC;
       }},
      {ioTIFF,
       [](std::vector<std::uint8_t>& v) {
         // One directory: 100000 x 100000 8-bit grey, one uncompressed strip.
         v = {'I', 'I', 42, 0, 8, 0, 0, 0, 8, 0};
         auto entry = [&](int tag, int type, std::uint32_t value) {
           std::uint8_t e[12] = {
               std::uint8_t(tag), std::uint8_t(tag >> 8), std::uint8_t(type), 0, 1, 0, 0, 0};
           for (int i = 0; i < 4; ++i) e[8 + i] = std::uint8_t(value >> (8 * i));
           v.insert(v.end(), e, e + 12);
         };
         entry(256, 4, 100000);
         entry(257, 4, 100000);
         entry(258, 3, 8);
         entry(259, 3, 1);
         entry(262, 3, 1);
         entry(273, 4, 8);
         entry(277, 3, 1);
         entry(278, 4, 100000);
         v.resize(v.size() + 4, 0);
       }},
      {ioJ2K,
       [](std::vector<std::uint8_t>& v) {
         PutBE32(v, 8, 100000), PutBE32(v, 12, 100000);
         PutBE32(v, 24, 100000), PutBE32(v, 28, 100000);  // one tile
       }},
      {ioJP2,
       [](std::vector<std::uint8_t>& v) {
         size_t soc = Find(v, {0xFF, 0x4F, 0xFF, 0x51});
         PutBE32(v, soc + 8, 100000), PutBE32(v, soc + 12, 100000);
         PutBE32(v, soc + 24, 100000), PutBE32(v, soc + 28, 100000);
       }},
      {ioPCX,
       [](std::vector<std::uint8_t>& v) {
         PutLE16(v, 8, 59999), PutLE16(v, 10, 59999), PutLE16(v, 66, 60000);
       }},
      {ioTGA, [](std::vector<std::uint8_t>& v) { PutLE16(v, 12, 65535), PutLE16(v, 14, 65535); }},
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
    auto src = MakeRGB(40, 16);
    auto good = EncodeAs(*src, f.ft);
    ExpectRefusedAndUnchanged({}, f.ft, "empty");
    for (size_t cut : {size_t(10), good.size() / 3, good.size() / 2})
      ExpectRefusedAndUnchanged(
          std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<long>(cut)), f.ft,
          "cut at " + std::to_string(cut));
    auto forged = good;
    f.patch(forged);
    ExpectRefusedAndUnchanged(forged, f.ft, "forged size");
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

TEST(CodecBadInput, JpegTwoThousandWithTooManyTilesIsRefusedBeforeTheDecoderSeesIt) {
  auto src = MakeRGB(40, 16);
  auto v = EncodeAs(*src, ioJ2K);
  PutBE32(v, 8, 100000), PutBE32(v, 12, 100000);
  PutBE32(v, 24, 1), PutBE32(v, 28, 1);  // 10^10 tiles of one pixel
  ExpectRefusedAndUnchanged(v, ioJ2K, "tiny tiles");
}

TEST(CodecBadInput, JpegTwoThousandNeedingMoreThanTheLoadMemoryBudgetIsRefusedBeforeDecoding) {
  // The decoder holds four bytes per sample of each component besides the
  // 24-bit picture and the code stream: 64 x 64 x (3 x 4 + 3) bytes = 60 KB
  // and a few KB.
  auto src = MakeRGB(64, 64);
  for (int ft : {ioJ2K, ioJP2}) {
    const auto bytes = EncodeAs(*src, ft);
    TRedozIrIO io;
    io.SetLoadMemoryBudget(60 << 10);
    TMemoryStream ms(bytes);
    try {
      io.LoadFromStreamFormat(ms, ft);
      ADD_FAILURE() << ft << " loaded";
    } catch (const EIEImageError& e) {
      EXPECT_NE(std::string(e.what()).find("load memory budget"), std::string::npos) << e.what();
    }
    io.SetLoadMemoryBudget(80 << 10);
    ms.SetPosition(0);
    io.LoadFromStreamFormat(ms, ft);
    EXPECT_EQ(MaxRGBDiff(*io.GetIEBitmap(), *src), 0);
  }
}

TEST(CodecBadInput, TiledTiffWithHugeOrCutTilesIsRefused) {
  TMemoryStream ms;
  ms.LoadFromFile(TestDataPath("io/tiled16.tif"));
  const auto good = ms.Bytes();
  // Tile width and length (SHORT values in the directory) of 65520.
  auto forged = good;
  const size_t ifd = good[4] | good[5] << 8 | good[6] << 16 | size_t(good[7]) << 24;
  const int entries = good[ifd] | good[ifd + 1] << 8;
  int patched = 0;
  for (int i = 0; i < entries; ++i) {
    const size_t e = ifd + 2 + 12 * static_cast<size_t>(i);
    const int tag = good[e] | good[e + 1] << 8;
    if (tag == 322 || tag == 323) {
      PutLE16(forged, e + 8, 65520);
      ++patched;
    }
  }
  ASSERT_EQ(patched, 2);
  ExpectRefusedAndUnchanged(forged, ioTIFF, "tiles of 65520 x 65520");
  for (size_t cut : {good.size() / 2, good.size() - 20})
    ExpectRefusedAndUnchanged(std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<long>(cut)),
                              ioTIFF, "tiled, cut at " + std::to_string(cut));
}

TEST(CodecBadInput, APngCutInItsEndChunkOrAGifWithoutItsTrailerReadsWhole) {
  auto src = MakeRGB(40, 16);
  for (int ft : {ioPNG, ioGIF}) {
    auto good = EncodeAs(*src, ft);
    auto whole = DecodeBytes(good, ft);
    for (size_t lost : {size_t(1), size_t(ft == ioPNG ? 12 : 1)}) {
      std::unique_ptr<TIEBitmap> back;
      ASSERT_NO_THROW(back = DecodeBytes({good.begin(), good.end() - static_cast<long>(lost)}, ft)) << ft;
      EXPECT_EQ(ImageBytes(*back), ImageBytes(*whole)) << ft << ", " << lost << " bytes lost";
    }
  }
}

TEST(CodecBadInput, FilesTheFuzzerFoundAreRefused) {
  // A TIFF claiming 49152 bits per sample and 55551 samples per pixel.
  for (const char* name : {"io/bad_tiff_samples.tif"}) {
    TMemoryStream ms;
    ms.LoadFromFile(TestDataPath(name));
    ExpectRefusedAndUnchanged(ms.Bytes(), FindStreamFormat(ms), name);
  }
}

TEST(CodecBadInput, EveryKindOfEveryFormatCutAnywhereIsRefused) {
  // What the writers make of each kind of image, compressed or not; a cut
  // anywhere, up to the last byte, is a truncated file.
  struct Kind {
    const char* name;
    std::function<std::unique_ptr<TIEBitmap>()> make;
    std::function<void(TIOParamsVals&)> set;
  };
  const Kind kinds[] = {
      {"24-bit", [] { return MakeRGB(40, 16); }, [](TIOParamsVals&) {}},
      {"24-bit with alpha",
       [] {
         auto b = MakeRGB(40, 16);
         AddAlpha(*b);
         return b;
       },
       [](TIOParamsVals&) {}},
      {"24-bit uncompressed", [] { return MakeRGB(40, 16); },
       [](TIOParamsVals& p) {
         p.TGACompressed = false;
         p.PCXCompression = 0;
         p.TIFFCompression = ioTIFF_UNCOMPRESSED;
         p.PNGCompression = 0;
       }},
      {"progressive or interlaced", [] { return MakeRGB(40, 16); },
       [](TIOParamsVals& p) { p.JPEGProgressive = p.PNGInterlaced = p.GIFInterlaced = true; }},
      {"palette", [] { return MakePalette(40, 16, 13); },
       [](TIOParamsVals& p) {
         p.SamplesPerPixel = 1;
         p.BitsPerSample = 8;
         p.TIFFPhotometric = ioTIFF_RGBPALETTE;
       }},
      {"palette RLE", [] { return MakePalette(40, 16, 13); },
       [](TIOParamsVals& p) {
         p.SamplesPerPixel = 1;
         p.BitsPerSample = 8;
         p.BMPCompression = 1;
         p.TIFFCompression = ioTIFF_PACKBITS;
       }},
      {"grey", [] { return MakeGrey(40, 16); },
       [](TIOParamsVals& p) {
         p.SamplesPerPixel = 1;
         p.BitsPerSample = 8;
         p.TIFFPhotometric = ioTIFF_BLACKISZERO;
       }},
      {"1-bit", [] { return MakeBW(40, 16); },
       [](TIOParamsVals& p) { p.SamplesPerPixel = p.BitsPerSample = 1; }},
      {"1-bit G4", [] { return MakeBW(40, 16); },
       [](TIOParamsVals& p) {
         p.SamplesPerPixel = p.BitsPerSample = 1;
         p.TIFFCompression = ioTIFF_G4FAX;
       }},
  };
  for (int ft : {ioTIFF, ioGIF, ioJPEG, ioPCX, ioBMP, ioPNG, ioTGA, ioJP2, ioJ2K}) {
    for (const Kind& k : kinds) {
      auto src = k.make();
      auto good = EncodeAs(*src, ft, k.set);
      // A TGA 2.0 extension area and footer only follow a complete TGA 1.0
      // file, a PNG's end chunk and a GIF's trailer the complete picture:
      // without them it is still whole.
      size_t end = good.size() - (ft == ioTGA ? 495 + 26 : ft == ioPNG ? 12 : ft == ioGIF ? 1 : 0);
      for (size_t cut : {size_t(1), size_t(8), end / 4, end / 2, end * 3 / 4, end - 8, end - 2, end - 1})
        ExpectRefusedAndUnchanged(
            std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<long>(cut)), ft,
            std::string(k.name) + " cut at " + std::to_string(cut) + " of " + std::to_string(good.size()));
    }
  }
}

namespace {
// An old-style JPEG TIFF as early scanners wrote it: the directory first,
// then one JFIF stream that is both the one strip and the interchange
// format the tags name.
std::vector<std::uint8_t> OldStyleJpegTiff(const std::vector<std::uint8_t>& jpeg, std::uint32_t w,
                                           std::uint32_t h) {
  constexpr std::uint32_t kEntries = 12, kBitsAt = 8 + 2 + 12 * kEntries + 4, kDataAt = kBitsAt + 6;
  const auto size = static_cast<std::uint32_t>(jpeg.size());
  std::vector<std::uint8_t> v = {'I', 'I', 42, 0, 8, 0, 0, 0, kEntries, 0};
  auto entry = [&](int tag, int type, std::uint32_t count, std::uint32_t value) {
    v.resize(v.size() + 12);
    const size_t e = v.size() - 12;
    PutLE16(v, e, static_cast<std::uint16_t>(tag));
    PutLE16(v, e + 2, static_cast<std::uint16_t>(type));
    PutLE32(v, e + 4, count);
    PutLE32(v, e + 8, value);
  };
  entry(256, 4, 1, w);
  entry(257, 4, 1, h);
  entry(258, 3, 3, kBitsAt);
  entry(259, 3, 1, 6);  // old-style JPEG
  entry(262, 3, 1, 6);  // YCbCr
  entry(273, 4, 1, kDataAt);
  entry(277, 3, 1, 3);
  entry(278, 4, 1, h);
  entry(279, 4, 1, size);
  entry(513, 4, 1, kDataAt);
  entry(514, 4, 1, size);
  entry(530, 3, 2, 2 | 2 << 16);  // chroma halved both ways, as the JPEG has it
  v.insert(v.end(), {0, 0, 0, 0, 8, 0, 8, 0, 8, 0});
  v.insert(v.end(), jpeg.begin(), jpeg.end());
  return v;
}
}  // namespace

TEST(CodecBadInput, ATiffWhoseStripsAreCutIsRefusedWhateverTheCompression) {
  // Smooth colour, which the two decoders' ways of widening chroma agree on.
  TIEBitmap src(48, 64, ie24RGB);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 48; ++x) {
      std::uint8_t* p = src.GetScanline(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(5 * x), p[1] = static_cast<std::uint8_t>(3 * y), p[2] = 128;
    }
  const auto jpeg = EncodeAs(src, ioJPEG);
  const auto old = OldStyleJpegTiff(jpeg, 48, 64);
  // Whole, it reads as the JPEG it holds.
  EXPECT_LE(MaxRGBDiff(*DecodeBytes(old, ioTIFF), *DecodeBytes(jpeg, ioJPEG)), 8);
  for (size_t cut : {old.size() / 2, old.size() * 9 / 10})
    ExpectRefusedAndUnchanged(std::vector<std::uint8_t>(old.begin(), old.begin() + static_cast<long>(cut)),
                              ioTIFF, "old-style JPEG cut at " + std::to_string(cut));
}
