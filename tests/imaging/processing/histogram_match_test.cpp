#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "imaging/processing/histogram_match.h"

using namespace redozir;

namespace {
void Gradient(TIEBitmap& b) {
  for (int y = 0; y < b.GetHeight(); ++y) {
    std::uint8_t* p = b.GetScanline(y);
    for (int x = 0; x < b.GetWidth(); ++x)
      for (int c = 0; c < 3; ++c) p[3 * x + c] = static_cast<std::uint8_t>((x * 16 + y + 40 * c) & 255);
  }
}
}  // namespace

TEST(HistogramMatch, SingleLevelReferenceSplitsTheEqualisedTarget) {
  // Target 256 x 1, every level once: E[v] = (v + 1) x 255 / 256; the
  // reference's R[j] is 0 below 128 and 255 from 128 on, so equalised levels
  // up to 127 map to 0 and the rest to 128.
  TIEBitmap ref(4, 4, ie24RGB), tgt(256, 1, ie24RGB);
  for (int y = 0; y < 4; ++y) std::memset(ref.GetScanline(y), 128, 12);
  for (int x = 0; x < 256; ++x)
    for (int c = 0; c < 3; ++c) tgt.GetScanline(0)[3 * x + c] = static_cast<std::uint8_t>(x);
  _IEMatchHistogramRGB(&ref, &tgt);
  for (int x = 0; x < 256; ++x) {
    const int e = (x + 1) * 255 / 256;  // Trunc of the equalised level
    const int want = e <= 127 ? 0 : 128;
    for (int c = 0; c < 3; ++c) ASSERT_EQ(tgt.GetScanline(0)[3 * x + c], want) << x;
  }
}

TEST(HistogramMatch, SelfMatchStaysClose) {
  TIEBitmap a(64, 20, ie24RGB), b;
  Gradient(a);
  b.Assign(&a);
  _IEMatchHistogramRGB(&a, &b);
  int maxDiff = 0;
  for (int y = 0; y < 20; ++y)
    for (int i = 0; i < 64 * 3; ++i)
      maxDiff = std::max(maxDiff, std::abs(a.GetScanline(y)[i] - b.GetScanline(y)[i]));
  EXPECT_LE(maxDiff, 16);
}

TEST(HistogramMatch, RGB48TargetComesOutInMultiplesOf257) {
  TIEBitmap ref(16, 16, ie24RGB), tgt(10, 3, ieRGB48);
  Gradient(ref);
  std::mt19937 rng(3);
  for (int y = 0; y < 3; ++y) {
    auto* w = reinterpret_cast<std::uint16_t*>(tgt.GetScanline(y));
    for (int i = 0; i < 30; ++i) w[i] = static_cast<std::uint16_t>(rng());
  }
  _IEMatchHistogramRGB(&ref, &tgt);
  for (int y = 0; y < 3; ++y) {
    auto* w = reinterpret_cast<std::uint16_t*>(tgt.GetScanline(y));
    for (int i = 0; i < 30; ++i) EXPECT_EQ(w[i] % 257, 0);
  }
}

TEST(HistogramMatch, LargeCountsAndEmptyReferences) {
  // Counts whose products with 255 pass 2^32 give the same mapping as small ones.
  std::uint32_t big[256] = {}, small[256] = {};
  big[10] = 3000000000u;
  big[200] = 1000000000u;
  small[10] = 3;
  small[200] = 1;
  TIEBitmap a(256, 1, ie24RGB), b;
  for (int x = 0; x < 256; ++x) std::memset(a.GetScanline(0) + 3 * x, x, 3);
  b.Assign(&a);
  _IEMatchHistogramChannel(&a, 1, big, 4000000000LL);
  _IEMatchHistogramChannel(&b, 1, small, 4);
  EXPECT_EQ(std::memcmp(a.GetScanline(0), b.GetScanline(0), 768), 0);
  EXPECT_EQ(a.GetScanline(0)[3 * 255 + 1], 200);

  // An empty reference, a bad channel or a foreign format change nothing.
  TIEBitmap c;
  c.Assign(&b);
  std::uint32_t none[256] = {};
  _IEMatchHistogramChannel(&c, 0, none, 0);
  _IEMatchHistogramChannel(&c, 3, small, 4);
  TIEBitmap ref8(2, 2, ie8g);
  _IEMatchHistogramRGB(&ref8, &c);
  TIEBitmap empty;
  _IEMatchHistogramRGB(&empty, &c);
  EXPECT_EQ(std::memcmp(c.GetScanline(0), b.GetScanline(0), 768), 0);
}
