#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "imaging/core/bit_routines.h"

using namespace redozir;

TEST(BitRoutines, GetAndSetAddressMostSignificantBitFirst) {
  std::uint8_t buf[2] = {0, 0};
  IESetBit(buf, 0, true);
  IESetBit(buf, 9, true);
  EXPECT_EQ(buf[0], 0x80);
  EXPECT_EQ(buf[1], 0x40);
  EXPECT_NE(IEGetBit(buf, 9), 0);
  EXPECT_EQ(IEGetBit(buf, 8), 0);
  IESetBit(buf, 0, false);
  EXPECT_EQ(buf[0], 0);
  IESetBit(buf, -1, true);  // ignored
  EXPECT_EQ(IEGetBit(buf, -3), 0);
}

TEST(BitRoutines, CopyOfTwoBitsAtPositionThreeTouchesOnlyThoseBits) {
  std::uint8_t dst[2] = {0x00, 0xAA};
  const std::uint8_t src[1] = {0xFF};
  IECopyBits(dst, src, 3, 0, 2, 1);
  EXPECT_EQ(dst[0], 0x18);
  EXPECT_EQ(dst[1], 0xAA);
  std::uint8_t ones[2] = {0xFF, 0xFF};
  const std::uint8_t zero[1] = {0};
  IECopyBits(ones, zero, 3, 5, 2, 1);
  EXPECT_EQ(ones[0], 0xE7);
}

// The fast copy against the bit-by-bit reference at random offsets and
// counts, with guard bytes around the destination and a source exactly as
// long as SrcLen (ASan sees any read past it).
TEST(BitRoutines, CopyMatchesTheBitwiseReferenceWithGuardBytes) {
  std::mt19937 rng(12345);
  for (int iter = 0; iter < 3000; ++iter) {
    const int srcLen = 1 + static_cast<int>(rng() % 40);
    auto src = std::make_unique<std::uint8_t[]>(static_cast<size_t>(srcLen));
    for (int i = 0; i < srcLen; ++i) src[static_cast<size_t>(i)] = static_cast<std::uint8_t>(rng());
    const int srcPos = static_cast<int>(rng() % (srcLen * 8));
    const int count = 1 + static_cast<int>(rng() % (srcLen * 8 + 16));  // sometimes past the source
    const int dstPos = static_cast<int>(rng() % 64);
    const int dstBytes = (dstPos + count + 7) / 8;
    const int guard = 8;
    std::vector<std::uint8_t> a(static_cast<size_t>(dstBytes + 2 * guard));
    for (auto& b : a) b = static_cast<std::uint8_t>(rng());
    std::vector<std::uint8_t> b = a;
    IECopyBits(a.data() + guard, src.get(), dstPos, srcPos, count, srcLen);
    const int clamped = std::min(count, srcLen * 8 - srcPos);
    IECopyBitsBitwise(b.data() + guard, src.get(), dstPos, srcPos, clamped, 0);
    ASSERT_EQ(a, b) << "srcPos " << srcPos << " dstPos " << dstPos << " count " << count << " srcLen "
                    << srcLen;
  }
}

TEST(BitRoutines, CopyIgnoresBadArguments) {
  std::uint8_t dst[2] = {0x5A, 0x5A};
  const std::uint8_t src[2] = {0xFF, 0xFF};
  struct Case {
    int dstPos, srcPos, count, srcLen;
  } cases[] = {
      {0, 0, 0, 2}, {-1, 0, 4, 2}, {0, -1, 4, 2}, {0, 16, 4, 2}, {0, 0, 4, 0},
  };
  for (const auto& c : cases) {
    IECopyBits(dst, src, c.dstPos, c.srcPos, c.count, c.srcLen);
    EXPECT_EQ(dst[0], 0x5A);
    EXPECT_EQ(dst[1], 0x5A);
  }
}

TEST(BitRoutines, InvertBufferFlipsExactlyCountBytes) {
  std::vector<std::uint8_t> v(21);
  for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<std::uint8_t>(i * 13);
  auto w = v;
  IEInvertBuffer(w.data(), 19);
  for (size_t i = 0; i < v.size(); ++i)
    EXPECT_EQ(w[i], i < 19 ? static_cast<std::uint8_t>(~v[i]) : v[i]) << i;
}
