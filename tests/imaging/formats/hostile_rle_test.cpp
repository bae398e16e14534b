// Hand-made files that break the run-length and header consistency rules of
// the BMP, PCX and Targa readers: runs past the row end (also on the last
// row), deltas past the image, bytes per line that disagree with the width,
// packets past the end of the image. Each is either read with what lies
// outside the image dropped, or refused with a message; never written
// outside the bitmap. The same files seed the fuzz targets.
#include <gtest/gtest.h>

#include "imaging/formats/hostile_files.h"
#include "imaging/formats/test_images.h"

using namespace redozir;

namespace {
// Index of pixel (x, y) of an ie8p result (ie1g answers the bit).
int Index(TIEBitmap& b, int x, int y) {
  const std::uint8_t* row = b.GetScanline(y);
  if (b.GetBitCount() == 1) return (row[x >> 3] >> (7 - (x & 7))) & 1;
  return row[x];
}

std::string Rows(TIEBitmap& b) {
  std::string s;
  for (int y = 0; y < b.GetHeight(); ++y) {
    for (int x = 0; x < b.GetWidth(); ++x) s += static_cast<char>('0' + Index(b, x, y));
    s += y + 1 < b.GetHeight() ? "/" : "";
  }
  return s;
}

void ExpectRefused(const std::vector<std::uint8_t>& bytes, int ft, const char* what) {
  try {
    DecodeBytes(bytes, ft);
    ADD_FAILURE() << what << ": no exception";
  } catch (const Exception& e) {
    EXPECT_FALSE(std::string(e.what()).empty()) << what;
  }
}
}  // namespace

TEST(HostileRLE, BmpRunsStopAtTheRowEndAndDeltasPastTheImageAreRefused) {
  // 4 x 2 images; rows are listed top first in the expected text.
  struct Case {
    const char* what;
    bool rle4;
    std::vector<std::uint8_t> data;
    const char* rows;  // nullptr: refused
  } cases[] = {
      {"RLE8 run of 6 on the bottom row", false, {6, 1, 0, 0, 0, 1}, "0000/1111"},
      {"RLE8 run of 6 on the last row", false, {0, 0, 6, 2, 0, 1}, "2222/0000"},
      {"RLE8 literal of 6 on the last row", false, {0, 0, 0, 6, 1, 2, 3, 1, 2, 3, 0, 1}, "1231/0000"},
      {"RLE8 run of 255 then end", false, {255, 3, 0, 1}, "0000/3333"},
      {"RLE4 run of 7 on the bottom row", true, {7, 0x12, 0, 0, 0, 1}, "0000/1212"},
      {"RLE4 literal of 7 on the last row", true, {0, 0, 0, 7, 0x12, 0x31, 0x23, 0x10, 0, 1}, "1231/0000"},
      {"RLE8 delta to the right of the row", false, {0, 2, 9, 0, 2, 1, 0, 1}, "0000/0000"},
      {"RLE8 delta to the last row then a run", false, {0, 2, 1, 1, 2, 3, 0, 1}, "0330/0000"},
      {"RLE8 delta past the top", false, {0, 2, 0, 3, 0, 1}, nullptr},
      {"RLE8 rows past the top", false, {0, 0, 0, 0, 0, 0, 1, 1, 0, 1}, nullptr},
      {"RLE8 without an end", false, {4, 1}, nullptr},
      {"RLE8 literal cut short", false, {0, 6, 1, 2}, nullptr},
      {"RLE8 delta cut short", false, {0, 2, 1}, nullptr},
  };
  for (const auto& c : cases) {
    auto file = HandMadeRleBmp(4, 2, c.rle4, c.data);
    if (!c.rows) {
      ExpectRefused(file, ioBMP, c.what);
      continue;
    }
    auto b = DecodeBytes(file, ioBMP);
    ASSERT_EQ(b->GetWidth(), 4) << c.what;
    EXPECT_EQ(Rows(*b), c.rows) << c.what;
  }
}

TEST(HostileRLE, PcxBytesPerLineMustHoldTheWidthAndRunsCarryIntoTheNextLine) {
  struct Case {
    const char* what;
    int bpp, planes, w, h, bytesPerLine;
    std::vector<std::uint8_t> data;
    const char* rows;
  } cases[] = {
      // 8 bits: a run of 5 over lines of 3 bytes (width 3) carries on.
      {"run across lines", 8, 1, 3, 2, 3, {0xC5, 1, 2}, "111/112"},
      // Lines longer than the width: the padding is not pixels.
      {"padding byte", 8, 1, 3, 2, 4, {0xC4, 1, 0xC4, 2}, "111/222"},
      {"run past the last line", 8, 1, 3, 2, 3, {0xC3, 1, 0xFF, 2}, "111/222"},
      {"one byte per line for 16 pixels", 1, 1, 16, 1, 1, {0xFF, 0xFF}, nullptr},
      {"2 bytes per line for 5 pixels of 4 bits", 4, 1, 5, 1, 2, {0x12, 0x34, 0x50}, nullptr},
      {"2 bytes per line for 3 pixels of 8 bits", 8, 1, 3, 1, 2, {1, 2, 3}, nullptr},
      {"3 planes of 2 bytes for 3 pixels", 8, 3, 3, 1, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9}, nullptr},
      {"no bytes per line", 8, 1, 3, 1, 0, {1, 2, 3}, nullptr},
      {"runs cut short", 8, 1, 3, 2, 3, {0xC4, 1}, nullptr},
  };
  for (const auto& c : cases) {
    auto file = HandMadePcx(c.bpp, c.planes, c.w, c.h, c.bytesPerLine, c.data);
    if (!c.rows) {
      ExpectRefused(file, ioPCX, c.what);
      continue;
    }
    auto b = DecodeBytes(file, ioPCX);
    ASSERT_EQ(b->GetWidth(), c.w) << c.what;
    EXPECT_EQ(Rows(*b), c.rows) << c.what;
  }
}

TEST(HostileRLE, TargaPacketsPastTheImageAreDroppedAndCutOnesRefused) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> data;
    const char* rows;  // top row first
  } cases[] = {
      // 3 x 2 grey, bottom-up: a run of 128 covers the image and stops.
      {"run of 128", {0xFF, 7}, "777/777"},
      {"raw packet of 5 then a run of 128", {4, 1, 2, 3, 4, 5, 0xFF, 6}, "456/123"},
      {"raw packet of 128 with 6 bytes", {0x7F, 1, 2, 3, 4, 5, 6}, "456/123"},
      {"run of 4 then nothing", {0x83, 1}, nullptr},
      {"run without its value", {0x85}, nullptr},
  };
  for (const auto& c : cases) {
    auto file = HandMadeRleTga(3, 2, c.data);
    if (!c.rows) {
      ExpectRefused(file, ioTGA, c.what);
      continue;
    }
    auto b = DecodeBytes(file, ioTGA);
    ASSERT_EQ(b->GetWidth(), 3) << c.what;
    EXPECT_EQ(Rows(*b), c.rows) << c.what;
  }
}
