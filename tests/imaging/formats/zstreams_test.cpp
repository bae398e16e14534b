#include <gtest/gtest.h>

#include <numeric>

#include "imaging/formats/zstreams.h"

using namespace redozir;

namespace {
std::vector<std::uint8_t> Sample(size_t n) {
  std::vector<std::uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>((i * i / 7 + i / 100) & 255);
  return v;
}
std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& data, std::uint8_t level) {
  TMemoryStream out;
  {
    TZCompressionStream z(out, level);
    // Written in odd pieces so that the buffering is crossed.
    size_t pos = 0, step = 1;
    while (pos < data.size()) {
      size_t n = std::min(step, data.size() - pos);
      z.WriteBuffer(data.data() + pos, static_cast<std::int64_t>(n));
      pos += n;
      step = step * 3 + 1;
    }
  }
  return out.Bytes();
}
}  // namespace

TEST(ZStreams, LevelsMapToZlibLevelsAsTheHeaderShows) {
  // The second header byte carries zlib's level class: 0x01 for levels 0 and
  // 1, 0x9C for the default, 0xDA for 9.
  struct Case {
    std::uint8_t level;
    std::uint8_t flg;
  } cases[] = {{0, 0x01}, {1, 0x01}, {2, 0x9C}, {3, 0xDA}};
  auto data = Sample(200000);
  std::vector<size_t> sizes;
  for (const auto& c : cases) {
    auto z = Deflate(data, c.level);
    ASSERT_GE(z.size(), 2u);
    EXPECT_EQ(z[0], 0x78) << int(c.level);
    EXPECT_EQ(z[1], c.flg) << int(c.level);
    sizes.push_back(z.size());
  }
  EXPECT_GT(sizes[0], data.size());  // stored blocks
  EXPECT_LT(sizes[1], sizes[0]);
  EXPECT_LT(sizes[3], sizes[0]);
}

TEST(ZStreams, RoundTripLeavesTheSourceRightAfterTheData) {
  for (size_t n : {size_t(0), size_t(1), size_t(65536), size_t(300001)}) {
    auto data = Sample(n);
    auto z = Deflate(data, 2);
    TMemoryStream src;
    const char tail[] = "TAIL";
    src.WriteBuffer(z.data(), static_cast<std::int64_t>(z.size()));
    src.WriteBuffer(tail, 4);
    src.SetPosition(0);
    TZDecompressionStream d(src);
    std::vector<std::uint8_t> back(n + 10);
    std::int64_t got = d.Read(back.data(), static_cast<std::int64_t>(back.size()));
    ASSERT_EQ(got, static_cast<std::int64_t>(n));
    back.resize(n);
    EXPECT_EQ(back, data);
    EXPECT_TRUE(d.AtEnd());
    EXPECT_EQ(src.Position(), static_cast<std::int64_t>(z.size())) << n;
    EXPECT_EQ(d.Read(back.data(), 1), 0);
  }
}

TEST(ZStreams, ForwardSeekSkipsAndBackwardSeekRaises) {
  auto data = Sample(100000);
  TMemoryStream src(Deflate(data, 1));
  TZDecompressionStream d(src);
  EXPECT_EQ(d.Seek(70000, soBeginning), 70000);
  std::uint8_t b = 0;
  d.ReadBuffer(&b, 1);
  EXPECT_EQ(b, data[70000]);
  EXPECT_THROW(d.Seek(10, soBeginning), EZLibError);
  EXPECT_THROW(d.Size(), EZLibError);
}

TEST(ZStreams, DamagedTruncatedAndOversizedStreamsRaise) {
  auto data = Sample(100000);
  auto z = Deflate(data, 2);
  ASSERT_GT(z.size(), 16u);
  std::vector<std::uint8_t> out(data.size());
  {
    auto bad = z;
    bad[bad.size() / 2] ^= 0x55;
    bad[bad.size() / 2 + 1] ^= 0xAA;
    TMemoryStream src(bad);
    TZDecompressionStream d(src);
    EXPECT_THROW(d.ReadBuffer(out.data(), static_cast<std::int64_t>(out.size())), EStreamError);
  }
  {
    TMemoryStream src(std::vector<std::uint8_t>(z.begin(), z.begin() + static_cast<long>(z.size() / 3)));
    TZDecompressionStream d(src);
    EXPECT_THROW(d.ReadBuffer(out.data(), static_cast<std::int64_t>(out.size())), EZLibError);
  }
  {
    TMemoryStream src(z);
    TZDecompressionStream d(src, 50000);
    EXPECT_THROW(d.ReadBuffer(out.data(), static_cast<std::int64_t>(out.size())), EZLibError);
  }
  {
    TMemoryStream src;
    TZDecompressionStream d(src);
    EXPECT_THROW(d.ReadBuffer(out.data(), 1), EZLibError);
  }
}

TEST(ZStreams, WritingAfterFinishRaisesAndReadingACompressorRaises) {
  TMemoryStream out;
  TZCompressionStream z(out, 2);
  z.WriteBuffer("abc", 3);
  z.Finish();
  EXPECT_GT(out.Size(), 2);
  EXPECT_THROW(z.WriteBuffer("d", 1), EZLibError);
  char c;
  EXPECT_THROW(z.Read(&c, 1), EZLibError);
}
