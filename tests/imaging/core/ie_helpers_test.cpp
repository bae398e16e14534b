#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <numbers>
#include <vector>

#include "imaging/core/ie_containers.h"
#include "imaging/core/ie_filters.h"
#include "imaging/core/ie_pixel.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/ie_system.h"
#include "imaging/core/ie_threadpool.h"
#include "platform/byte_reader.h"

using namespace redozir;

TEST(IEContainers, RecordListKeepsRecordsAcrossGrowth) {
  TIERecordList list(16);
  std::uint8_t rec[16];
  for (int i = 0; i < 1000; ++i) {
    std::memset(rec, i & 0xFF, sizeof rec);
    EXPECT_EQ(list.Add(rec), i);
  }
  EXPECT_EQ(list.Count(), 1000);
  EXPECT_EQ(static_cast<std::uint8_t*>(list.GetItem(999))[15], 999 & 0xFF);
  EXPECT_EQ(static_cast<std::uint8_t*>(list.GetItem(3))[0], 3);
  EXPECT_EQ(list.GetItem(1000), nullptr);
  EXPECT_EQ(list.GetItem(-1), nullptr);
  list.SetCount(2);
  list.SetCount(4);
  EXPECT_EQ(static_cast<std::uint8_t*>(list.GetItem(3))[0], 0);  // regrown records are zero
  EXPECT_THROW(TIERecordList(0), EInvalidOperation);
  EXPECT_THROW(list.SetCount(-1), ERangeError);
  EXPECT_THROW(list.SetCount(0x7FFFFFFF), EOutOfMemory);
}

TEST(IEContainers, ByteArrayAndHash) {
  TIEByteArray a(3);
  for (int i = 0; i < 10; ++i) a.AppendByte(static_cast<std::uint8_t>(i * 7));
  ASSERT_EQ(a.Size, 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(a.Data[i], i * 7);
  THash1 h(4);
  EXPECT_TRUE(h.Insert(5));
  EXPECT_TRUE(h.Insert(5 + 16));  // same bucket, different key
  EXPECT_FALSE(h.Insert(5));
  EXPECT_TRUE(h.Insert(-5));
  EXPECT_EQ(h.Count(), 3);
  EXPECT_TRUE(h.Contains(21));
  EXPECT_FALSE(h.Contains(37));
  EXPECT_THROW(THash1(40), EInvalidOperation);
}

namespace {
class TSumThread : public TIEThread {
 public:
  TSumThread(std::atomic<int>& total, int value) : fTotal(total), fValue(value) {}
  void Execute() override {
    if (fValue < 0) throw Exception("worker failed");
    fTotal += fValue;
  }
  std::atomic<int>& fTotal;
  int fValue;
};
}  // namespace

TEST(IEThreadPool, RunsEveryThreadAndEmptiesOnWait) {
  std::atomic<int> total{0};
  TIEThreadPool pool;
  for (int i = 1; i <= 8; ++i) pool.Add(std::make_unique<TSumThread>(total, i));
  pool.Add(std::make_unique<TSumThread>(total, -1));  // a failing worker does not take the caller down
  pool.WaitForAll();
  EXPECT_EQ(total.load(), 36);
  EXPECT_EQ(pool.Count(), 0);
  pool.Add(std::make_unique<TSumThread>(total, 100));
  pool.WaitForAll();
  EXPECT_EQ(total.load(), 136);
}

TEST(IEStreams, NulStreamCountsWithoutStoring) {
  TNulStream s;
  EXPECT_EQ(s.Position(), 0);
  EXPECT_EQ(s.Size(), 0);
  char buf[10] = {};
  s.WriteBuffer(buf, 10);
  s.Write(buf, 5);
  EXPECT_EQ(s.Size(), 15);
  s.SetPosition(3);
  EXPECT_EQ(s.Read(buf, 4), 4);
  EXPECT_EQ(s.Position(), 7);
  EXPECT_EQ(s.Size(), 15);
  s.Seek(2, soEnd);
  s.Write(buf, 1);
  EXPECT_EQ(s.Size(), 18);
  EXPECT_THROW(s.Seek(-1, soBeginning), EStreamError);
}

TEST(IEStreams, StringsRoundTripAndBadLengthsAreRefused) {
  TMemoryStream m;
  IEWriteStringToStream(m, "TIEExtendedObject");
  IEWriteStringToStream(m, "");
  EXPECT_EQ(m.Size(), 4 + 17 + 4);
  m.SetPosition(0);
  EXPECT_EQ(IEReadStringFromStream(m), "TIEExtendedObject");
  EXPECT_EQ(IEReadStringFromStream(m), "");
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
  } bad[] = {
      {"length beyond the bytes left", {5, 0, 0, 0, 'a', 'b'}},
      {"negative length", {0xFF, 0xFF, 0xFF, 0xFF}},
      {"length beyond the cap", {0, 0, 0, 0x40}},
      {"truncated length", {3, 0}},
  };
  for (const auto& c : bad) {
    TMemoryStream s(c.bytes);
    std::string v = "kept";
    EXPECT_THROW(IEReadStringFromStream(s, v), EFormatError) << c.name;
    EXPECT_EQ(v, "kept") << c.name;
    EXPECT_EQ(s.Position(), 0) << c.name;
  }
}

TEST(IEStreams, CopyFromAndStrDup) {
  TMemoryStream src(std::vector<std::uint8_t>{1, 2, 3, 4, 5});
  TMemoryStream dst;
  src.SetPosition(1);
  EXPECT_EQ(IECopyFrom(dst, src, 3), 3);
  EXPECT_EQ(dst.Bytes(), (std::vector<std::uint8_t>{2, 3, 4}));
  EXPECT_EQ(IECopyFrom(dst, src, 0), 5);  // the whole source from its start
  EXPECT_EQ(dst.Size(), 8);
  src.SetPosition(4);
  EXPECT_THROW(IECopyFrom(dst, src, 3), EReadError);
  EXPECT_THROW(IECopyFrom(dst, src, -1), EReadError);
  EXPECT_EQ(IEStrDup(nullptr), nullptr);
  auto d = IEStrDup("abc");
  EXPECT_STREQ(d.get(), "abc");
}

TEST(IEPixel, ColourRoutinesByHand) {
  EXPECT_EQ(IERGBToGray(IECreateRGB(255, 255, 255)), 255);
  EXPECT_EQ(IERGBToGray(IECreateRGB(100, 0, 0)), 21);
  EXPECT_EQ(IERGBToGray(IECreateRGB(10, 20, 30)), (210 + 1420 + 240) / 100);
  EXPECT_EQ(IERGBToGray(IECreateRGB(0, 0, 12)), 0);  // 96 div 100
  TRGB c = IECreateRGB(1, 2, 3);
  EXPECT_EQ(c.r, 1);
  EXPECT_EQ(c.b, 3);
  EXPECT_EQ(IEColorToRGB(RGB(10, 20, 30)), IECreateRGB(10, 20, 30));
  TRGB face = IEColorToRGB(clBtnFace);
  TColor resolved = ColorToRGB(clBtnFace);
  EXPECT_EQ(face, IECreateRGB(GetRValue(resolved), GetGValue(resolved), GetBValue(resolved)));
  EXPECT_EQ(IEColorToRGBA(RGB(0x11, 0x22, 0x33), 0x44), 0x44112233u);
  EXPECT_EQ(IESwapRedBlue(0x7F112233), 0x00332211);
  EXPECT_EQ(IESwapRedBlue(IESwapRedBlue(0x00ABCDEF)), 0x00ABCDEF);
  struct Count {
    int a, b;
    std::int64_t want;
  } counts[] = {{8, 3, 1 << 24}, {1, 1, 2},  {4, 2, 256},
                {8, 0, 1},       {8, -3, 1}, {16, 4, std::int64_t(1) << 62}};
  for (auto k : counts) EXPECT_EQ(IEColorCount(k.a, k.b), k.want) << k.a << "x" << k.b;
  struct Mask {
    std::uint32_t m;
    int want;
  } masks[] = {{0xF800, 5}, {0x07E0, 6}, {0x001F, 5},      {0xFF000000u, 8},
               {0, 0},      {0x0F0F, 4}, {0xFFFFFFFFu, 32}};
  for (auto k : masks) EXPECT_EQ(IEMaskBitCount(k.m), k.want) << std::hex << k.m;
  for (int v = 0; v < 256; ++v) {
    std::uint8_t b = static_cast<std::uint8_t>(v), r = b;
    IEReverseBitsOfByte(r);
    for (int i = 0; i < 8; ++i) ASSERT_EQ((b >> i) & 1, (r >> (7 - i)) & 1) << v;
  }
  EXPECT_EQ(IEClampByte(-5), 0);
  EXPECT_EQ(IEClampByte(256), 255);
  EXPECT_EQ(IEClampByte(77), 77);
}

TEST(IEFilters, PredefinedListInOrder) {
  const auto& f = IEPredefinedFilters();
  ASSERT_EQ(f.size(), 9u);
  const char* names[] = {"None",        "Blur",        "Edges",      "Emboss",    "High Pass 1",
                         "High Pass 2", "High Pass 3", "Low Pass 1", "Low Pass 2"};
  int sums[] = {1, 9, 0, 1, 1, 1, 1, 9, 16};
  int divisors[] = {1, 9, 1, 1, 1, 1, 1, 10, 16};
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(f[i].Name, names[i]);
    int s = 0;
    for (auto& row : f[i].Filter.Values)
      for (int v : row) s += v;
    EXPECT_EQ(s, sums[i]) << names[i];
    EXPECT_EQ(f[i].Filter.Divisor, divisors[i]);
  }
  EXPECT_EQ(f[3].Filter, (TIEFilterKernel{{{-1, 0, 1}, {-1, 1, 1}, {-1, 0, 1}}, 1}));
  EXPECT_EQ(f[6].Filter, (TIEFilterKernel{{{1, -2, 1}, {-2, 5, -2}, {1, -2, 1}}, 1}));
  IEFreePredefinedFilters();  // as the library's shutdown does
  EXPECT_EQ(IEPredefinedFilters().size(), 9u);
}

TEST(IESystem, QueriesAnswerSensibly) {
  int cores = IEGetCPUCoreCount();
  EXPECT_GE(cores, 1);
  EXPECT_EQ(IEGetCPUCoreCount(), cores);
  EXPECT_GT(IEGetPhysicalMemory(false), 0);
  EXPECT_LE(IEGetPhysicalMemory(true), IEGetPhysicalMemory(false));
#if defined(__x86_64__)
  EXPECT_TRUE(IEMMXSupported());
#endif
}

TEST(IESystem, RemoteSessionFromTheEnvironment) {
  struct Saved {
    const char* name;
    std::string value;
    bool set;
  } saved[] = {{"SSH_CONNECTION", "", false}, {"SSH_CLIENT", "", false}, {"DISPLAY", "", false}};
  for (auto& s : saved)
    if (const char* v = std::getenv(s.name)) s.value = v, s.set = true;
  for (auto& s : saved) unsetenv(s.name);
  struct Case {
    const char* ssh;
    const char* display;
    bool remote;
  } cases[] = {{nullptr, nullptr, false},          {nullptr, ":0", false},
               {nullptr, "localhost:10.0", false}, {nullptr, "unix:0", false},
               {nullptr, "far.example:0", true},   {"10.0.0.1 22 10.0.0.2 22", ":0", true}};
  for (const auto& c : cases) {
    if (c.ssh)
      setenv("SSH_CONNECTION", c.ssh, 1);
    else
      unsetenv("SSH_CONNECTION");
    if (c.display)
      setenv("DISPLAY", c.display, 1);
    else
      unsetenv("DISPLAY");
    EXPECT_EQ(IEIsRemoteSession(), c.remote) << (c.display ? c.display : "-");
  }
  for (auto& s : saved) {
    if (s.set)
      setenv(s.name, s.value.c_str(), 1);
    else
      unsetenv(s.name);
  }
}
