#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

#include <openjpeg.h>

#include "imaging/formats/test_images.h"

using namespace redozir;

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
      {ioBMP, {kBW, kPal, kGrey, kRGB}},  {ioPNG, {kBW, kPal, kGrey, kRGB}},
      {ioPCX, {kBW, kPal, kGrey, kRGB}},  {ioTGA, {kBW, kPal, kGrey, kRGB}},
      {ioTIFF, {kBW, kPal, kGrey, kRGB}}, {ioGIF, {kBW, kPal, kGrey}},
  };
  return v;
}
const int kAllFormats[] = {ioTIFF, ioGIF, ioJPEG, ioPCX, ioBMP, ioPNG, ioTGA, ioJP2, ioJ2K};
}  // namespace

TEST(CodecRoundTrip, LosslessFormatsGiveBackTheSamePixels) {
  // Odd sizes cross row padding and partial bytes; the largest spans
  // several blocks of rows on their way to the stream.
  const int sizes[][2] = {{1, 1}, {13, 7}, {64, 33}, {301, 300}};
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
        if (k == kBW) {
          EXPECT_EQ(back->GetPixelFormat(), ie1g);
        }
        if (k == kRGB) {
          EXPECT_EQ(back->GetPixelFormat(), ie24RGB);
        }
        if (k == kPal) {
          EXPECT_EQ(back->GetPixelFormat(), ie8p);
        }
      }
    }
  }
}

TEST(CodecRoundTrip, PcxSixteenColoursUseFourPlanes) {
  auto src = MakePalette(19, 6, 16);
  auto bytes = EncodeAs(*src, ioPCX, [](TIOParamsVals& p) {
    p.SamplesPerPixel = 1;
    p.BitsPerSample = 4;
  });
  EXPECT_EQ(bytes[65], 4);
  auto back = DecodeBytes(bytes);
  EXPECT_EQ(MaxRGBDiff(*src, *back), 0);
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

TEST(CodecRoundTrip, PngAndTgaCarryTheAlphaPlane) {
  for (int ft : {ioPNG, ioTGA})
    for (Kind k : {kRGB, kGrey}) {
      auto src = Make(k, 21, 11);
      AddAlpha(*src);
      auto bytes = EncodeAs(*src, ft, [&](TIOParamsVals& p) { DepthFor(k, p); });
      auto back = DecodeBytes(bytes);
      ASSERT_TRUE(back->HasAlphaChannel()) << ft << KindName(k);
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
  for (int ft : kAllFormats) {
    struct {
      int ft;
    } f{ft};
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

TEST(CodecRoundTrip, LossyFormatsStayWithinTheirErrorAndShrinkWithQuality) {
  // Smooth, as photographs are: hard colour edges lose more to chroma subsampling.
  auto src = std::make_unique<TIEBitmap>(64, 48, ie24RGB);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      std::uint8_t* p = src->GetScanline(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x * 4);
      p[1] = static_cast<std::uint8_t>(y * 5);
      p[2] = static_cast<std::uint8_t>(128 + 100 * std::sin((x + y) / 9.0));
    }
  struct Case {
    int ft;
    std::function<void(TIOParamsVals&, int step)> set;  // step 0 is the best quality
    double maxMeanError;                                // at the best quality
  } cases[] = {
      {ioJPEG, [](TIOParamsVals& p, int s) { p.JPEGQuality = 95 - 40 * s; }, 3.0},
      {ioJ2K, [](TIOParamsVals& p, int s) { p.J2000Rate = s == 0   ? 0.05
                                                          : s == 1 ? 0.03
                                                                   : 0.02; }, 3.0},
      {ioJP2, [](TIOParamsVals& p, int s) { p.J2000Rate = s == 0   ? 0.05
                                                          : s == 1 ? 0.03
                                                                   : 0.02; }, 3.0},
  };
  for (const auto& c : cases) {
    size_t prev = SIZE_MAX;
    for (int step = 0; step < 3; ++step) {
      auto bytes = EncodeAs(*src, c.ft, [&](TIOParamsVals& p) { c.set(p, step); });
      EXPECT_LT(bytes.size(), prev) << c.ft << " step " << step;
      prev = bytes.size();
      auto back = DecodeBytes(bytes);
      ASSERT_EQ(back->GetWidth(), 64);
      if (step == 0) {
        EXPECT_LT(MeanRGBDiff(*src, *back), c.maxMeanError) << c.ft;
      }
    }
  }
}

TEST(CodecRoundTrip, JpegTwoThousandAtFullRateAndTiffCompressionsAreLossless) {
  auto src = MakeRGB(33, 17);
  for (int ft : {ioJ2K, ioJP2}) {
    auto back = DecodeBytes(EncodeAs(*src, ft, [](TIOParamsVals& p) { p.J2000Rate = 1; }));
    EXPECT_EQ(MaxRGBDiff(*src, *back), 0) << ft;
  }
  for (std::uint8_t comp : {ioTIFF_UNCOMPRESSED, ioTIFF_LZW, ioTIFF_PACKBITS, ioTIFF_ZIP, ioTIFF_DEFLATE}) {
    TIOParamsVals read;
    auto back =
        DecodeBytes(EncodeAs(*src, ioTIFF, [&](TIOParamsVals& p) { p.TIFFCompression = comp; }), 0, &read);
    EXPECT_EQ(MaxRGBDiff(*src, *back), 0) << int(comp);
    EXPECT_EQ(read.TIFFCompression, comp);
  }
  auto bw = MakeBW(37, 11);
  for (std::uint8_t comp : {ioTIFF_CCITT1D, ioTIFF_G3FAX1D, ioTIFF_G3FAX2D, ioTIFF_G4FAX}) {
    TIOParamsVals read;
    auto back = DecodeBytes(EncodeAs(*bw, ioTIFF,
                                     [&](TIOParamsVals& p) {
                                       p.TIFFCompression = comp;
                                       p.BitsPerSample = p.SamplesPerPixel = 1;
                                     }),
                            0, &read);
    EXPECT_EQ(MaxRGBDiff(*bw, *back), 0) << int(comp);
    EXPECT_EQ(read.TIFFCompression, comp);
  }
}

TEST(CodecRoundTrip, AWriterRefusesWhatItsFormatCannotStore) {
  auto src = MakeRGB(8, 8);
  struct Case {
    int ft;
    std::function<void(TIOParamsVals&)> set;
  } cases[] = {
      {ioTIFF, [](TIOParamsVals& p) { p.TIFFCompression = ioTIFF_G4FAX; }},
      {ioGIF, [](TIOParamsVals& p) { p.GIFXPos = 70000; }},
  };
  for (const auto& c : cases) {
    TRedozIrIO io;
    io.GetIEBitmap()->Assign(src.get());
    c.set(io.Params());
    TMemoryStream ms;
    EXPECT_THROW(io.SaveToStream(ms, c.ft), EIEImageError) << c.ft;
  }
}

TEST(CodecRoundTrip, TiffWritesACompressionItHasForOneItCannotWrite) {
  // The parameters of a source read with old-style JPEG, with a codec the
  // writer lacks, or with JPEG over what JPEG cannot hold.
  const struct {
    std::uint8_t comp;
    bool palette;
    std::uint8_t stored;
  } cases[] = {
      {ioTIFF_OLDJPEG, false, ioTIFF_JPEG},
      {ioTIFF_UNKNOWN, false, ioTIFF_ZIP},
      {ioTIFF_JPEG, true, ioTIFF_ZIP},
  };
  for (const auto& c : cases) {
    auto src = c.palette ? MakePalette(8, 8, 13) : MakeRGB(8, 8);
    TIOParamsVals read;
    auto back = DecodeBytes(EncodeAs(*src, ioTIFF,
                                     [&](TIOParamsVals& p) {
                                       p.TIFFCompression = c.comp;
                                       p.SamplesPerPixel = c.palette ? 1 : 3;
                                       p.BitsPerSample = c.palette ? 4 : 8;
                                     }),
                            0, &read);
    EXPECT_EQ(read.TIFFCompression, c.stored) << int(c.comp);
    EXPECT_LE(MaxRGBDiff(*src, *back), c.stored == ioTIFF_JPEG ? 40 : 0) << int(c.comp);
  }
}

TEST(CodecRoundTrip, TiffAndGifCarryAlphaAndTransparency) {
  auto src = MakeRGB(12, 7);
  AddAlpha(*src);
  auto back = DecodeBytes(EncodeAs(*src, ioTIFF));
  ASSERT_TRUE(back->HasAlphaChannel());
  EXPECT_TRUE(SameAlpha(*src, *back));
  // GIF: the transparent colour's index becomes alpha 0.
  auto pal = MakePalette(9, 4, 5);
  TRGB clear = pal->GetPalette(2);
  TIOParamsVals read;
  auto g = DecodeBytes(EncodeAs(*pal, ioGIF,
                                [&](TIOParamsVals& p) {
                                  p.SamplesPerPixel = 1;
                                  p.BitsPerSample = 3;
                                  p.GIFTransparent = true;
                                  p.GIFTranspColor = clear;
                                }),
                       0, &read);
  ASSERT_TRUE(g->HasAlphaChannel());
  EXPECT_TRUE(read.GIFTransparent);
  EXPECT_EQ(read.GIFTranspColor, clear);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 9; ++x)
      EXPECT_EQ(g->GetAlphaChannel()->GetScanline(y)[x], pal->GetScanline(y)[x] == 2 ? 0 : 255);
}

TEST(CodecRoundTrip, TiffWritesAfterAPrefixAndReportsAStreamThatFillsUp) {
  // Large enough for libtiff to hand over many strips (written in blocks).
  auto a = MakeRGB(700, 500);
  TMemoryStream ms;
  const std::uint8_t prefix[5] = {1, 2, 3, 4, 5};
  ms.WriteBuffer(prefix, 5);
  TRedozIrIO io;
  io.GetIEBitmap()->Assign(a.get());
  io.SaveToStream(ms, ioTIFF);
  EXPECT_EQ(ms.Position(), ms.Size());
  EXPECT_GT(ms.Size(), 700 * 500 * 3);
  ms.SetPosition(5);
  TRedozIrIO back;
  back.LoadFromStreamFormat(ms, ioTIFF);
  TIEBitmap* b = back.GetIEBitmap();
  ASSERT_EQ(b->GetWidth(), 700);
  ASSERT_EQ(b->GetHeight(), 500);
  for (int y = 0; y < 500; ++y) ASSERT_EQ(std::memcmp(b->GetScanline(y), a->GetScanline(y), 700 * 3), 0) << y;

  // A stream that takes only so many bytes: a clear error, whatever the limit.
  struct TFull : TMemoryStream {
    std::int64_t Limit;
    explicit TFull(std::int64_t L) : Limit(L) {}
    std::int64_t Write(const void* b, std::int64_t n) override {
      if (Position() + n > Limit) throw EStreamError("disk full");
      return TMemoryStream::Write(b, n);
    }
  };
  for (std::int64_t limit : {0, 100, 300000, 1049000}) {
    TFull full(limit);
    EXPECT_THROW(io.SaveToStream(full, ioTIFF), EIEImageError) << limit;
  }
}

namespace {
// A lossless JPEG 2000 stream cut into Tile x Tile tiles by the reference
// encoder (our writer makes one tile), the image placed at (X0, Y0) on the
// grid the tiles start from. Component c at (x, y) holds Value(c, x, y).
std::vector<std::uint8_t> TiledStream(bool Jp2, int W, int H, int Comps, int Prec, bool Signed, int Tile,
                                      int X0, int Y0, const std::function<int(int, int, int)>& Value) {
  std::vector<opj_image_cmptparm_t> cp(static_cast<size_t>(Comps));
  for (auto& c : cp) {
    std::memset(&c, 0, sizeof c);
    c.dx = c.dy = 1;
    c.w = static_cast<OPJ_UINT32>(W), c.h = static_cast<OPJ_UINT32>(H);
    c.x0 = static_cast<OPJ_UINT32>(X0), c.y0 = static_cast<OPJ_UINT32>(Y0);
    c.prec = static_cast<OPJ_UINT32>(Prec), c.sgnd = Signed;
  }
  opj_image_t* im = opj_image_create(static_cast<OPJ_UINT32>(Comps), cp.data(),
                                     Comps >= 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY);
  im->x0 = static_cast<OPJ_UINT32>(X0), im->y0 = static_cast<OPJ_UINT32>(Y0);
  im->x1 = static_cast<OPJ_UINT32>(X0 + W), im->y1 = static_cast<OPJ_UINT32>(Y0 + H);
  for (int c = 0; c < Comps; ++c)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) im->comps[c].data[y * W + x] = Value(c, x, y);
  opj_cparameters_t ep;
  opj_set_default_encoder_parameters(&ep);
  ep.tcp_numlayers = 1, ep.tcp_rates[0] = 0, ep.cp_disto_alloc = 1;
  ep.tile_size_on = OPJ_TRUE, ep.cp_tdx = ep.cp_tdy = Tile;
  ep.numresolution = 3;
  opj_codec_t* codec = opj_create_compress(Jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
  struct Out {
    std::vector<std::uint8_t> bytes;
    size_t at = 0;
  } out;
  opj_stream_t* s = opj_stream_create(4096, OPJ_FALSE);
  opj_stream_set_user_data(s, &out, nullptr);
  opj_stream_set_write_function(s, [](void* b, OPJ_SIZE_T n, void* u) -> OPJ_SIZE_T {
    auto* o = static_cast<Out*>(u);
    if (o->bytes.size() < o->at + n) o->bytes.resize(o->at + n);
    std::memcpy(o->bytes.data() + o->at, b, n);
    o->at += n;
    return n;
  });
  opj_stream_set_seek_function(s, [](OPJ_OFF_T n, void* u) -> OPJ_BOOL {
    static_cast<Out*>(u)->at = static_cast<size_t>(n);
    return OPJ_TRUE;
  });
  opj_stream_set_skip_function(s, [](OPJ_OFF_T n, void* u) -> OPJ_OFF_T {
    static_cast<Out*>(u)->at += static_cast<size_t>(n);
    return n;
  });
  const bool ok = opj_setup_encoder(codec, &ep, im) && opj_start_compress(codec, im, s) &&
                  opj_encode(codec, s) && opj_end_compress(codec, s);
  opj_stream_destroy(s);
  opj_destroy_codec(codec);
  opj_image_destroy(im);
  EXPECT_TRUE(ok);
  return out.bytes;
}
}  // namespace

TEST(CodecRoundTrip, TiledJpegTwoThousandDecodesTileByTileWithinItsMemoryBudget) {
  auto v8 = [](int c, int x, int y) { return (x * 7 + y * 13 + c * 50) & 0xFF; };
  auto v16 = [](int, int x, int y) { return (x * 1500 + y * 997) & 0xFFFF; };
  struct Case {
    int comps, prec;
    bool sgnd;
    int tile, x0, y0;
    std::function<int(int, int, int)> value;
  };
  // Edge tiles cut by the image's offset and its far sides; a fourth
  // component is alpha; signed samples come out shifted by half the range.
  const Case cases[] = {{3, 8, false, 16, 3, 5, v8},
                        {4, 8, false, 16, 0, 0, v8},
                        {1, 16, false, 16, 0, 9, v16},
                        {1, 8, true, 8, 1, 0, v8}};
  const int W = 45, H = 37;
  for (const Case& c : cases)
    for (bool jp2 : {false, true}) {
      const int ft = jp2 ? ioJP2 : ioJ2K;
      const auto bytes =
          TiledStream(jp2, W, H, c.comps, c.prec, c.sgnd, c.tile, c.x0, c.y0,
                      [&](int k, int x, int y) { return c.value(k, x, y) - (c.sgnd ? 128 : 0); });
      TRedozIrIO io;
      io.SetNativePixelFormat(true);
      // The whole image's decoding needs 45 x 37 x (7 + 4 x components)
      // bytes: 31.6 KB for three; tile by tile 45 x 37 x 7 + 16 x 16 x 8 x 3.
      io.SetLoadMemoryBudget(24 << 10);
      TMemoryStream ms(bytes);
      ASSERT_NO_THROW(io.LoadFromStreamFormat(ms, ft)) << c.comps << " components, " << ft;
      TIEBitmap& b = *io.GetIEBitmap();
      ASSERT_EQ(b.Width(), W);
      ASSERT_EQ(b.Height(), H);
      ASSERT_EQ(b.HasAlphaChannel(), c.comps == 4);
      int wrong = 0;
      for (int y = 0; y < H; ++y) {
        const std::uint8_t* d = b.GetScanline(y);
        const std::uint8_t* a = c.comps == 4 ? b.GetAlphaChannel()->GetScanline(y) : nullptr;
        for (int x = 0; x < W; ++x) {
          if (c.comps >= 3)
            for (int k = 0; k < 3; ++k) wrong += d[3 * x + 2 - k] != c.value(k, x, y);
          else if (c.prec == 16)
            wrong += reinterpret_cast<const std::uint16_t*>(d)[x] != c.value(0, x, y);
          else
            wrong += d[x] != c.value(0, x, y);
          if (a) wrong += a[x] != c.value(3, x, y);
        }
      }
      EXPECT_EQ(wrong, 0) << c.comps << " components of " << c.prec << " bits, " << ft;
    }
}
