// Random version-4 identities.
#include "imaging/view/ie_guid.h"

#include <cstdio>
#include <mutex>
#include <random>

namespace redozir {

TGUID IECreateGuid() {
  // random_device may be slow on some systems; one seeded engine per process
  // keeps the identities unpredictable enough for telling layers apart.
  static std::mutex m;
  static std::mt19937_64 engine{[] {
    std::random_device rd;
    std::seed_seq seq{rd(), rd(), rd(), rd(), rd(), rd(), rd(), rd()};
    return std::mt19937_64(seq);
  }()};
  std::uint64_t hi, lo;
  {
    std::lock_guard<std::mutex> lock(m);
    hi = engine();
    lo = engine();
  }
  TGUID g;
  g.D1 = static_cast<std::uint32_t>(hi >> 32);
  g.D2 = static_cast<std::uint16_t>(hi >> 16);
  g.D3 = static_cast<std::uint16_t>((hi & 0x0FFF) | 0x4000);
  for (int i = 0; i < 8; ++i) g.D4[i] = static_cast<std::uint8_t>(lo >> (56 - 8 * i));
  g.D4[0] = static_cast<std::uint8_t>((g.D4[0] & 0x3F) | 0x80);
  return g;
}

std::string GUIDToString(const TGUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.D1, g.D2, g.D3,
                g.D4[0], g.D4[1], g.D4[2], g.D4[3], g.D4[4], g.D4[5], g.D4[6], g.D4[7]);
  return buf;
}

}  // namespace redozir
