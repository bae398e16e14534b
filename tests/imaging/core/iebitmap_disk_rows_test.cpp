// Work that walks a bitmap's rows once (conversions, copies, the codecs)
// gives the same bytes whether the bitmaps live in memory or in the disk
// buffer, also across the bands such work writes the disk buffer in.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "imaging/core/iebitmap.h"
#include "imaging/core/ieproc.h"
#include "imaging/formats/ie_codec_util.h"
#include "imaging/formats/ie_codecs.h"
#include "imaging/processing/bitmap_ops.h"
#include "imaging/processing/dib_input.h"
#include "imaging/processing/dib_output.h"

using namespace redozir;

namespace {

constexpr std::int64_t kDisk = 4096;  // every picture below goes to the disk buffer
// Rows of 6000 bytes and more: a band of a megabyte holds under 175 of them,
// an upward walk's 4 MB under 700.
constexpr int kW = 2003, kH = 811;

std::unique_ptr<TIEBitmap> Picture(TIEPixelFormat pf, std::int64_t threshold, bool alpha = false) {
  auto b = std::make_unique<TIEBitmap>();
  b->SetMemoryThreshold(threshold);
  EXPECT_TRUE(b->Allocate(kW, kH, pf));
  std::uint32_t s = 11;
  const int bytes = (kW * IEPixelFormatBits(pf) + 7) / 8;
  for (int y = 0; y < kH; ++y) {
    std::uint8_t* r = b->GetScanline(y);
    for (int x = 0; x < bytes; ++x) {
      s = s * 1103515245u + 12345u;
      r[x] = static_cast<std::uint8_t>((x * 7 + y * 3) ^ (s >> 27));
    }
  }
  if (alpha) {
    TIEBitmap* a = b->GetAlphaChannel();
    for (int y = 0; y < kH; ++y) {
      std::uint8_t* r = a->GetScanline(y);
      for (int x = 0; x < kW; ++x) r[x] = static_cast<std::uint8_t>(x + 2 * y);
    }
    b->SetFull(false);
  }
  return b;
}

// The pixels (not the row padding, nor the bits past a 1-bit row's last pixel).
void ExpectSamePixels(TIEBitmap& a, TIEBitmap& b, const std::string& what) {
  ASSERT_EQ(a.GetWidth(), b.GetWidth()) << what;
  ASSERT_EQ(a.GetHeight(), b.GetHeight()) << what;
  ASSERT_EQ(a.GetPixelFormat(), b.GetPixelFormat()) << what;
  const std::int64_t bits = static_cast<std::int64_t>(a.GetWidth()) * IEPixelFormatBits(a.GetPixelFormat());
  const size_t n = static_cast<size_t>(bits / 8);
  const auto mask = static_cast<std::uint8_t>(0xFF00 >> (bits % 8));
  for (int y = 0; y < a.GetHeight(); ++y) {
    std::vector<std::uint8_t> row(a.GetScanline(y), a.GetScanline(y) + (bits + 7) / 8);
    const std::uint8_t* other = b.GetScanline(y);
    ASSERT_EQ(std::memcmp(row.data(), other, n), 0) << what << ", row " << y;
    if (mask != 0) {
      ASSERT_EQ(row[n] & mask, other[n] & mask) << what << ", row " << y;
    }
  }
  ASSERT_EQ(a.HasAlphaChannel(), b.HasAlphaChannel()) << what;
  if (a.HasAlphaChannel()) ExpectSamePixels(*a.GetAlphaChannel(), *b.GetAlphaChannel(), what + ", alpha");
}

}  // namespace

TEST(DiskRows, ConversionsAndCopiesGiveTheBytesOfMemory) {
  struct Case {
    const char* name;
    TIEPixelFormat pf;
    // Works on In, or fills Out (its threshold already set) from In.
    std::function<void(TIEBitmap* In, TIEBitmap* Out)> run;
  } cases[] = {
      {"24 to 32 bits", ie24RGB, [](TIEBitmap* b, TIEBitmap*) { b->ConvertToPixelFormat(ie32RGB); }},
      {"24 bits to grey", ie24RGB, [](TIEBitmap* b, TIEBitmap*) { b->ConvertToPixelFormat(ie8g); }},
      {"1 to 24 bits", ie1g, [](TIEBitmap* b, TIEBitmap*) { b->ConvertToPixelFormat(ie24RGB); }},
      {"grey to palette", ie8g, [](TIEBitmap* b, TIEBitmap*) { b->ConvertToPixelFormat(ie8p); }},
      {"24 bits to palette", ie24RGB, [](TIEBitmap* b, TIEBitmap*) { b->ConvertToPixelFormat(ie8p); }},
      {"fills", ie24RGB,
       [](TIEBitmap* b, TIEBitmap*) {
         b->FillRect(0, 10, kW - 1, kH - 20, 0x335577);
         b->FillRect(5, 0, kW - 3, 300, 0x010203);
         b->GetAlphaChannel()->FillRect(0, 0, kW - 1, 99, 0);
       }},
      {"1-bit fill", ie1g, [](TIEBitmap* b, TIEBitmap*) { b->FillRect(0, 3, kW - 1, kH - 3, 1); }},
      {"raw stream", ie24RGB,
       [](TIEBitmap* b, TIEBitmap* out) {
         TMemoryStream m;
         b->SaveRawToStream(m);
         m.SetPosition(0);
         ASSERT_TRUE(out->LoadRawFromStream(m));
       }},
      {"packed DIB", ie24RGB,
       [](TIEBitmap* b, TIEBitmap* out) {
         const std::vector<std::uint8_t> dib = IECopyBitmapToDIBBytes(b, 0, 0, kW, kH, 96, 96);
         ASSERT_EQ(_CopyDIBtoBitmapEx(dib.data(), static_cast<std::int64_t>(dib.size()), out), 24);
       }},
      {"assign", ie24RGB, [](TIEBitmap* b, TIEBitmap* out) { out->Assign(b); }},
      {"assign 1 bit", ie1g, [](TIEBitmap* b, TIEBitmap* out) { out->Assign(b); }},
      // Whole rows from row 5 on: the rows above and below keep their fill.
      {"whole rows into the middle", ie24RGB,
       [](TIEBitmap* b, TIEBitmap* out) {
         ASSERT_TRUE(out->Allocate(kW, kH + 9, ie24RGB));
         out->Fill(0x123456);
         b->CopyRectTo(out, 0, 3, 0, 5, kW, kH - 4);
       }},
      {"part rows", ie24RGB,
       [](TIEBitmap* b, TIEBitmap* out) {
         ASSERT_TRUE(out->Allocate(kW, kH, ie24RGB));
         out->Fill(0x654321);
         b->CopyRectTo(out, 0, 0, 7, 2, kW - 10, kH - 4);
       }},
      {"whole rows converted to grey", ie24RGB,
       [](TIEBitmap* b, TIEBitmap* out) {
         ASSERT_TRUE(out->Allocate(kW, kH, ie8g));
         b->CopyRectTo(out, 0, 0, 0, 0, kW, kH);
       }},
      {"vertical flip", ie24RGB, [](TIEBitmap* b, TIEBitmap*) { _IEFlip(b, 1); }},
      // Stored rows turned upright, with the alpha plane: a flip and a turn.
      {"orientation 3", ie24RGB,
       [](TIEBitmap* b, TIEBitmap*) {
         TIEBitmap* a = b->GetAlphaChannel();
         for (int y = 0; y < kH; ++y) std::memset(a->GetScanline(y), y & 0xFF, kW);
         IEApplyOrientation(*b, 3);
       }},
      {"orientation 6 of 1 bit", ie1g, [](TIEBitmap* b, TIEBitmap*) { IEApplyOrientation(*b, 6); }},
      {"crop with its alpha", ie24RGB,
       [](TIEBitmap* b, TIEBitmap*) {
         TIEBitmap* a = b->GetAlphaChannel();
         a->Fill(77);
         a->SetFull(false);
         TRedozIrProc proc;
         proc.AutoUndo = false;
         proc.SetAttachedIEBitmap(b);
         proc.Crop(3, 4, kW - 6, kH - 2);
       }},
  };
  for (const Case& c : cases) {
    auto mem = Picture(c.pf, -1), disk = Picture(c.pf, kDisk);
    TIEBitmap memOut, diskOut;
    memOut.SetMemoryThreshold(-1);
    diskOut.SetMemoryThreshold(kDisk);
    c.run(mem.get(), &memOut);
    c.run(disk.get(), &diskOut);
    ASSERT_EQ(disk->Location(), ieFile) << c.name;
    ExpectSamePixels(*mem, *disk, c.name);
    if (memOut.GetWidth() > 0) {
      ASSERT_EQ(diskOut.Location(), ieFile) << c.name;
      ExpectSamePixels(memOut, diskOut, c.name);
    }
  }
}

TEST(DiskRows, CodecsWriteAndReadTheBytesOfMemory) {
  struct Case {
    const char* name;
    TIEWriteProc write;
    TIEReadProc read;
    TIEPixelFormat pf;
    bool alpha;
    std::function<void(TIOParamsVals&)> params;
  } cases[] = {
      {"BMP", BMPWriteStream, BMPReadStream, ie24RGB, false, nullptr},
      {"BMP with alpha", BMPWriteStream, BMPReadStream, ie24RGB, true, nullptr},
      {"BMP 1 bit", BMPWriteStream, BMPReadStream, ie1g, false,
       [](TIOParamsVals& p) { p.BitsPerSample = 1, p.SamplesPerPixel = 1; }},
      // Converted to the written format first.
      {"BMP from 32 bits", BMPWriteStream, BMPReadStream, ie32RGB, false, nullptr},
      {"BMP grey from 24 bits", BMPWriteStream, BMPReadStream, ie24RGB, false,
       [](TIOParamsVals& p) { p.BitsPerSample = 8, p.SamplesPerPixel = 1; }},
      {"TIFF", TIFFWriteStream, TIFFReadStream, ie24RGB, false, nullptr},
      {"TGA with alpha", TGAWriteStream, TGAReadStream, ie24RGB, true, nullptr},
      {"PCX", PCXWriteStream, PCXReadStream, ie24RGB, false, nullptr},
      {"JPEG 2000", J2KWriteStream, J2KReadStream, ie24RGB, false, nullptr},
      {"PNG", PNGWriteStream, PNGReadStream, ie24RGB, false, nullptr},
      {"PNG with alpha", PNGWriteStream, PNGReadStream, ie24RGB, true, nullptr},
      {"PNG interlaced", PNGWriteStream, PNGReadStream, ie24RGB, false,
       [](TIOParamsVals& p) { p.PNGInterlaced = true; }},
      {"JPEG", JPEGWriteStream, JPEGReadStream, ie24RGB, false, nullptr},
  };
  for (const Case& c : cases) {
    auto mem = Picture(c.pf, -1, c.alpha), disk = Picture(c.pf, kDisk, c.alpha);
    TMemoryStream fromMem, fromDisk;
    TIOParamsVals p1, p2;
    if (c.params) {
      c.params(p1);
      c.params(p2);
    }
    TIEProgressRecord progress;
    c.write(fromMem, *mem, p1, progress);
    c.write(fromDisk, *disk, p2, progress);
    ASSERT_EQ(fromMem.Size(), fromDisk.Size()) << c.name;
    ASSERT_EQ(std::memcmp(fromMem.Memory(), fromDisk.Memory(), static_cast<size_t>(fromMem.Size())), 0)
        << c.name;
    TIEBitmap memIn, diskIn;
    memIn.SetMemoryThreshold(-1);
    diskIn.SetMemoryThreshold(kDisk);
    fromMem.SetPosition(0);
    fromDisk.SetPosition(0);
    c.read(fromMem, memIn, p1, progress);
    c.read(fromDisk, diskIn, p2, progress);
    ASSERT_EQ(diskIn.Location(), ieFile) << c.name;
    ExpectSamePixels(memIn, diskIn, c.name);
    // The lossless ones give the picture back.
    if (c.write != JPEGWriteStream && c.write != J2KWriteStream && !c.alpha && memIn.GetPixelFormat() == c.pf)
      ExpectSamePixels(*mem, memIn, c.name);
  }
}

TEST(DiskRows, APictureTallerThanTheSystemsMappingsTurnsUpright) {
  // 70000 rows: more than the 65530 mappings a process may hold by default,
  // so the rows of a disk-buffered source cannot each have a mapping.
  constexpr int kTall = 70000;
  TIEBitmap mem, disk;
  mem.SetMemoryThreshold(-1);
  disk.SetMemoryThreshold(kDisk);
  for (TIEBitmap* b : {&mem, &disk}) {
    ASSERT_TRUE(b->Allocate(9, kTall, ie8g));
    for (int y = 0; y < kTall; ++y) std::memset(b->GetScanline(y), (y * 7) & 0xFF, 9);
    IEApplyOrientation(*b, 4);
  }
  ASSERT_EQ(disk.Location(), ieFile);
  ExpectSamePixels(mem, disk, "flipped upside down");
  EXPECT_EQ(mem.GetScanline(0)[0], ((kTall - 1) * 7) & 0xFF);
}
