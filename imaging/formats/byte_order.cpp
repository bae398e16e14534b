// Red/blue exchanges; the 3-byte swap works on four pixels (12 bytes) at a
// time so that the compiler can keep it in registers.
#include "imaging/formats/byte_order.h"

#include <cstring>
#include <utility>

#include "imaging/core/ie_parallel.h"

namespace redozir {

// byte_order_avx2.cpp
std::int64_t IECopyAndSwapRBAvx2(std::uint8_t* Dst, const std::uint8_t* Src, std::int64_t Count);

namespace {
inline void SwapRBBlock(std::uint8_t* d, const std::uint8_t* s) {
  // Read all four pixels before writing so that d may equal s.
  std::uint8_t t[12];
  for (int i = 0; i < 12; i += 3) {
    t[i] = s[i + 2];
    t[i + 1] = s[i + 1];
    t[i + 2] = s[i];
  }
  std::memcpy(d, t, 12);
}
}  // namespace

void IECopyAndSwapRB(void* Dst, const void* Src, std::int64_t Count) {
  if (Count < 1) return;
  auto* d = static_cast<std::uint8_t*>(Dst);
  const auto* s = static_cast<const std::uint8_t*>(Src);
  if (d == s) {
    IESwapRB(Dst, Count);
    return;
  }
  std::int64_t i = IEUseAVX2() ? IECopyAndSwapRBAvx2(d, s, Count) : 0;
  d += 3 * i;
  s += 3 * i;
  for (; i + 4 <= Count; i += 4, d += 12, s += 12) SwapRBBlock(d, s);
  for (; i < Count; ++i, d += 3, s += 3) {
    const std::uint8_t b = s[0], g = s[1], r = s[2];
    d[0] = r;
    d[1] = g;
    d[2] = b;
  }
}

void IESwapRB(void* Buffer, std::int64_t Count) {
  if (Count < 1) return;
  auto* p = static_cast<std::uint8_t*>(Buffer);
  std::int64_t i = IEUseAVX2() ? IECopyAndSwapRBAvx2(p, p, Count) : 0;
  p += 3 * i;
  for (; i + 4 <= Count; i += 4, p += 12) SwapRBBlock(p, p);
  for (; i < Count; ++i, p += 3) std::swap(p[0], p[2]);
}

void IESwapRB48(void* Buffer, std::int64_t Count) {
  auto* p = static_cast<std::uint8_t*>(Buffer);
  for (std::int64_t i = 0; i < Count; ++i, p += 6) {
    std::swap(p[0], p[4]);
    std::swap(p[1], p[5]);
  }
}

void IESwapRBRow(void* Buffer, int, std::int64_t Count) { IESwapRB(Buffer, Count); }

}  // namespace redozir
