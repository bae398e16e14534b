#include <gtest/gtest.h>

#include <cstring>

#include "platform/global_memory.h"

using namespace redozir;

TEST(GlobalMemory, BlockLifecycleKeepsBytesAndCountsLocks) {
  HGLOBAL h = GlobalAlloc(GHND, 16);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalSize(h), 16u);
  auto* p = static_cast<std::uint8_t*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(p[i], 0);
  std::memcpy(p, "packed dib bytes", 16);
  EXPECT_EQ(GlobalLock(h), p);
  EXPECT_EQ(GlobalLockCount(h), 2u);
  EXPECT_TRUE(GlobalUnlock(h));
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_FALSE(GlobalUnlock(h));  // not locked any more

  ASSERT_EQ(GlobalReAlloc(h, 32, GMEM_ZEROINIT), h);
  EXPECT_EQ(GlobalSize(h), 32u);
  p = static_cast<std::uint8_t*>(GlobalLock(h));
  EXPECT_EQ(std::memcmp(p, "packed dib bytes", 16), 0);
  EXPECT_EQ(p[31], 0);
  EXPECT_EQ(GlobalReAlloc(h, 8, 0), nullptr) << "a locked block does not move";
  GlobalUnlock(h);

  EXPECT_EQ(GlobalFree(h), nullptr);
  EXPECT_EQ(GlobalFree(h), h) << "a second free is reported";
  EXPECT_EQ(GlobalLock(h), nullptr);
  EXPECT_EQ(GlobalSize(h), 0u);
}

TEST(GlobalMemory, RefusesAbsurdSizesAndUnknownHandles) {
  EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE, kMaxGlobalBlockBytes + 1), nullptr);
  HGLOBAL empty = GlobalAlloc(GMEM_MOVEABLE, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_NE(GlobalLock(empty), nullptr);
  EXPECT_EQ(GlobalSize(empty), 0u);
  GlobalUnlock(empty);
  GlobalFree(empty);
  HGLOBAL bogus = reinterpret_cast<HGLOBAL>(std::uintptr_t(0x12345678));
  EXPECT_EQ(GlobalLock(bogus), nullptr);
  EXPECT_EQ(GlobalReAlloc(bogus, 4, 0), nullptr);
  EXPECT_EQ(GlobalReAlloc(nullptr, 4, 0), nullptr);
}
