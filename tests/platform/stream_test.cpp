#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/byte_reader.h"
#include "platform/numeric.h"
#include "platform/stream.h"
#include "platform/types.h"

using namespace redozir;

TEST(Stream, ShortReadsRaiseAndKeepTheBytesRead) {
  TMemoryStream m;
  const char text[] = "abc";
  m.WriteBuffer(text, 3);
  m.SetPosition(0);
  char buf[8] = {};
  EXPECT_THROW(m.ReadBuffer(buf, 4), EReadError);
  m.SetPosition(1);
  m.ReadBuffer(buf, 2);
  EXPECT_EQ(std::string(buf, 2), "bc");
  EXPECT_EQ(m.Read(buf, 5), 0);
  EXPECT_THROW(m.Seek(-1, soBeginning), EStreamError);
}

TEST(Stream, MemoryStreamGrowsWhenWritingPastTheEnd) {
  TMemoryStream m;
  m.Seek(4, soBeginning);
  m.WriteValue<std::uint16_t>(0x1234);
  EXPECT_EQ(m.Size(), 6);
  EXPECT_EQ(m.Bytes()[0], 0);
  EXPECT_EQ(m.Bytes()[4], 0x34);
  m.SetSize(2);
  EXPECT_EQ(m.Position(), 2);
}

// Writes, seeks past the end and size changes, small and past a megabyte,
// against a plain vector: the stream's room grows by doubling and keeps
// stale bytes beyond its size, which must never show (a gap left by a seek,
// or bytes added by SetSize, read as zeros).
TEST(Stream, MemoryStreamMatchesAPlainVectorThroughGrowthAndShrinking) {
  TMemoryStream m;
  std::vector<std::uint8_t> want;
  std::int64_t pos = 0, peak = 0;
  std::uint32_t seed = 7;
  auto next = [&](std::uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  std::vector<std::uint8_t> data(3 << 20);
  for (auto& b : data) b = static_cast<std::uint8_t>(next(255) + 1);
  for (int step = 0; step < 120; ++step) {
    const std::uint32_t op = next(4);
    const std::int64_t size = static_cast<std::int64_t>(want.size());
    if (op == 0) {
      const std::int64_t n = next(5) == 0 ? next(3 << 20) : next(5000);
      const std::int64_t from = next(static_cast<std::uint32_t>(data.size() - n));
      m.WriteBuffer(data.data() + from, n);
      if (pos + n > size) want.resize(static_cast<size_t>(pos + n));
      std::copy_n(data.begin() + from, n, want.begin() + pos);
      pos += n;
    } else if (op == 1) {
      // Often past the end into bytes written before a shrink.
      pos = next(static_cast<std::uint32_t>(peak + 9000));
      m.SetPosition(pos);
    } else if (op == 2) {
      const std::int64_t n = next(2) ? next(static_cast<std::uint32_t>(size + 1)) : size + next(1 << 20);
      m.SetSize(n);
      want.resize(static_cast<size_t>(n));
      pos = std::min(pos, n);
    } else {
      ASSERT_EQ(m.Bytes(), want) << "step " << step;
    }
    peak = std::max(peak, static_cast<std::int64_t>(want.size()));
    ASSERT_EQ(m.Size(), static_cast<std::int64_t>(want.size())) << "step " << step;
    ASSERT_EQ(m.Position(), pos) << "step " << step;
    ASSERT_TRUE(want.empty() || std::memcmp(m.Memory(), want.data(), want.size()) == 0) << "step " << step;
  }
  TMemoryStream copy(m);
  EXPECT_EQ(copy.Bytes(), want);
  m.Clear();
  EXPECT_EQ(m.Size(), 0);
  EXPECT_TRUE(m.Bytes().empty());
}

// Each copy of the contents is one of its own: one taken before a write keeps
// what it had (the copies once were one cached vector, changed under the
// caller's hands), and the read-only view shows the bytes as they are now.
TEST(Stream, MemoryStreamCopiesStayAsTakenAndTheViewFollows) {
  TMemoryStream m;
  m.WriteValue<std::uint8_t>(1);
  const auto& before = m.Bytes();
  m.WriteValue<std::uint8_t>(2);
  const auto& after = m.Bytes();
  EXPECT_EQ(before, (std::vector<std::uint8_t>{1}));
  EXPECT_EQ(after, (std::vector<std::uint8_t>{1, 2}));
  const TMemoryStream& c = m;
  EXPECT_TRUE(std::ranges::equal(c.Data(), after));
  m.Clear();
  EXPECT_TRUE(c.Data().empty());
}

TEST(Stream, FileStreamNamesAMissingFile) {
  try {
    TFileStream f("/nonexistent/dir/file.bin", fmOpenRead);
    FAIL() << "no exception";
  } catch (const EFOpenError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/dir/file.bin"), std::string::npos);
  }
}

TEST(Stream, FileStreamRoundTrip) {
  auto path = std::filesystem::temp_directory_path() / "imaging_stream_test.bin";
  {
    TFileStream f(path.string(), fmCreate);
    f.WriteValue<std::int32_t>(-7);
    f.WriteBuffer("xyz", 3);
  }
  {
    TFileStream f(path.string(), fmOpenRead);
    EXPECT_EQ(f.Size(), 7);
    EXPECT_EQ(f.ReadValue<std::int32_t>(), -7);
    char b[3];
    f.ReadBuffer(b, 3);
    EXPECT_EQ(std::string(b, 3), "xyz");
    EXPECT_THROW(f.ReadValue<std::uint8_t>(), EReadError);
  }
  std::filesystem::remove(path);
}

TEST(ByteReader, StopsAtItsLimitAndChecksCounts) {
  TMemoryStream m;
  for (std::uint8_t b : {0x01, 0x02, 0x03, 0x04, 0x05, 0x06}) m.WriteValue(b);
  m.SetPosition(0);
  TByteReader r(m, 5, "test record");
  EXPECT_EQ(r.U32(), 0x04030201u);
  EXPECT_EQ(r.Left(), 1);
  EXPECT_THROW(r.U16(), EFormatError);
  EXPECT_THROW(r.Count(2, 100, 1, "items"), EFormatError);
  EXPECT_EQ(r.Count(1, 100, 1, "items"), 1);
  EXPECT_THROW(r.Count(-1, 100, 0, "items"), EFormatError);
}

TEST(Numeric, RoundsHalvesToEvenAndRefusesWhatDoesNotFit) {
  EXPECT_EQ(RoundInt(0.5), 0);
  EXPECT_EQ(RoundInt(1.5), 2);
  EXPECT_EQ(RoundInt(2.5), 2);
  EXPECT_EQ(RoundInt(-2.5), -2);
  EXPECT_EQ(TruncInt(-2.7), -2);
  EXPECT_THROW(RoundInt(3e9), EInvalidOp);
  EXPECT_THROW(RoundInt(std::nan("")), EInvalidOp);
  EXPECT_EQ(RoundClamp(300.2, 0, 255), 255);
  EXPECT_EQ(RoundClamp(std::nan(""), 0, 255), 0);
}

TEST(Colors, SystemColoursResolveToFixedValues) {
  EXPECT_EQ(ColorToRGB(clWindow), RGB(255, 255, 255));
  EXPECT_EQ(ColorToRGB(clWindowText), RGB(0, 0, 0));
  EXPECT_EQ(ColorToRGB(clBtnFace), RGB(240, 240, 240));
  EXPECT_EQ(ColorToRGB(clRed), clRed);
}
