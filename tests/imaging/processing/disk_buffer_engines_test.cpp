// The engines give the same bytes whether the pictures live in memory or in
// the disk buffer, on one, two and every thread.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "imaging/core/iebitmap.h"
#include "imaging/processing/ie_blur.h"
#include "imaging/processing/ie_rotate.h"
#include "imaging/core/ie_speed.h"
#include "imaging/processing/resample.h"

using namespace redozir;

namespace {

std::unique_ptr<TIEBitmap> Picture(int w, int h, TIEPixelFormat pf, std::int64_t threshold) {
  auto b = std::make_unique<TIEBitmap>();
  b->SetMemoryThreshold(threshold);
  EXPECT_TRUE(b->Allocate(w, h, pf));
  std::uint32_t s = 7;
  const int bytes = w * IEPixelFormatBits(pf) / 8;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* r = b->GetScanline(y);
    for (int x = 0; x < bytes; ++x) {
      s = s * 1103515245u + 12345u;
      r[x] = static_cast<std::uint8_t>((x * 5 + y * 3) ^ (s >> 28));
    }
  }
  return b;
}

void ExpectSameBytes(TIEBitmap& a, TIEBitmap& b, const std::string& what) {
  ASSERT_EQ(a.GetWidth(), b.GetWidth()) << what;
  ASSERT_EQ(a.GetHeight(), b.GetHeight()) << what;
  ASSERT_EQ(a.GetPixelFormat(), b.GetPixelFormat()) << what;
  const size_t n = static_cast<size_t>(a.GetWidth()) * IEPixelFormatBits(a.GetPixelFormat()) / 8;
  for (int y = 0; y < a.GetHeight(); ++y) {
    std::vector<std::uint8_t> row(a.GetScanline(y), a.GetScanline(y) + n);
    ASSERT_EQ(std::memcmp(row.data(), b.GetScanline(y), n), 0) << what << ", row " << y;
  }
}

}  // namespace

TEST(DiskBufferEngines, DiskPicturesGiveTheBytesOfMemoryPictures) {
  constexpr std::int64_t kThreshold = 4096;  // every picture below goes to the disk
  struct Case {
    const char* name;
    int w, h;
    TIEPixelFormat pf;
    // Works on the picture; may leave the result in Out instead.
    std::function<void(TIEBitmap* In, TIEBitmap* Out)> run;
  } cases[] = {
      {"bilinear rotation", 301, 203, ie24RGB,
       [](TIEBitmap* b, TIEBitmap*) {
         _IERotateInterpolated(b, 0xFFFFFF, 1, nullptr, TIEProgressEvent(), 30);
       }},
      {"bicubic rotation", 157, 240, ie24RGB,
       [](TIEBitmap* b, TIEBitmap*) {
         _IERotateInterpolated(b, 0x102030, 2, nullptr, TIEProgressEvent(), -17);
       }},
      // Past a right angle the source is walked upwards.
      {"bilinear rotation by an obtuse angle", 263, 131, ie24RGB,
       [](TIEBitmap* b, TIEBitmap*) {
         _IERotateInterpolated(b, 0xFFFFFF, 1, nullptr, TIEProgressEvent(), 123);
       }},
      {"Lanczos3 to about half", 611, 407, ie24RGB,
       [](TIEBitmap* b, TIEBitmap* out) {
         ASSERT_TRUE(out->Allocate(306, 204, ie24RGB));
         _IEResampleIEBitmap(b, out, rfLanczos3, TIEProgressEvent(), nullptr);
       }},
      // The resamplers that read rows through tables and write them in blocks.
      {"fast linear reduction", 611, 407, ie24RGB,
       [](TIEBitmap* b, TIEBitmap* out) {
         ASSERT_TRUE(out->Allocate(250, 171, ie24RGB));
         _IEResampleIEBitmap(b, out, rfFastLinear, TIEProgressEvent(), nullptr);
       }},
      {"nearest enlargement", 157, 240, ie24RGB,
       [](TIEBitmap* b, TIEBitmap* out) {
         ASSERT_TRUE(out->Allocate(401, 503, ie24RGB));
         _IEResampleIEBitmap(b, out, rfNone, TIEProgressEvent(), nullptr);
       }},
      {"8-bit Mitchell reduction", 523, 311, ie8g,
       [](TIEBitmap* b, TIEBitmap* out) {
         ASSERT_TRUE(out->Allocate(301, 129, ie8g));
         _IEResampleIEBitmap(b, out, rfMitchell, TIEProgressEvent(), nullptr);
       }},
      {"8-bit fast linear enlargement", 131, 97, ie8g,
       [](TIEBitmap* b, TIEBitmap* out) {
         ASSERT_TRUE(out->Allocate(300, 211, ie8g));
         _IEResampleIEBitmap(b, out, rfFastLinear, TIEProgressEvent(), nullptr);
       }},
      {"1-bit triangle reduction", 608, 407, ie1g,
       [](TIEBitmap* b, TIEBitmap* out) {
         ASSERT_TRUE(out->Allocate(200, 150, ie24RGB));
         _IEResampleIEBitmap(b, out, rfTriangle, TIEProgressEvent(), nullptr);
       }},
      {"1-bit fast linear enlargement", 400, 101, ie1g,
       [](TIEBitmap* b, TIEBitmap* out) {
         ASSERT_TRUE(out->Allocate(650, 230, ie24RGB));
         _IEResampleIEBitmap(b, out, rfFastLinear, TIEProgressEvent(), nullptr);
       }},
      {"bicubic enlargement", 157, 101, ie24RGB,
       [](TIEBitmap* b, TIEBitmap* out) {
         ASSERT_TRUE(out->Allocate(400, 263, ie24RGB));
         _IEResampleIEBitmap(b, out, rfBicubic, TIEProgressEvent(), nullptr);
       }},
      {"bilinear halving", 610, 406, ie24RGB,
       [](TIEBitmap* b, TIEBitmap* out) {
         ASSERT_TRUE(out->Allocate(305, 203, ie24RGB));
         _IEResampleIEBitmap(b, out, rfBilinear, TIEProgressEvent(), nullptr);
       }},
      {"16-bit bilinear reduction", 301, 203, ie16g,
       [](TIEBitmap* b, TIEBitmap* out) {
         ASSERT_TRUE(out->Allocate(130, 97, ie16g));
         _IEResampleIEBitmap(b, out, rfBilinear, TIEProgressEvent(), nullptr);
       }},
      {"gaussian blur", 523, 311, ie8g,
       [](TIEBitmap* b, TIEBitmap*) { _IEBlurRect8bit(b, 3, 5, 500, 300, 4); }},
  };
  const TIESpeedSettings saved = IESpeed();
  IESpeed().MinWorkPerThread = 1;
  for (int threads : {1, 2, 0}) {
    IESpeed().MaxThreads = threads;
    for (const auto& c : cases) {
      std::string what = std::string(c.name) + ", threads " + std::to_string(threads);
      auto mem = Picture(c.w, c.h, c.pf, -1);
      auto disk = Picture(c.w, c.h, c.pf, kThreshold);
      ASSERT_EQ(disk->Location(), ieFile);
      TIEBitmap memOut, diskOut;
      memOut.SetMemoryThreshold(-1);
      diskOut.SetMemoryThreshold(kThreshold);
      c.run(mem.get(), &memOut);
      c.run(disk.get(), &diskOut);
      if (memOut.GetWidth() > 0) {
        EXPECT_EQ(diskOut.Location(), ieFile) << what;
        ExpectSameBytes(memOut, diskOut, what);
      } else {
        EXPECT_EQ(disk->Location(), ieFile) << what;
        ExpectSameBytes(*mem, *disk, what);
      }
    }
  }
  IESpeed() = saved;
}
