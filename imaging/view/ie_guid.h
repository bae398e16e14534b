// TGUID, the 16-byte identity of a layer, and the making of random
// (version 4) identities.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#pragma GCC visibility push(default)
namespace redozir {

struct TGUID {
  std::uint32_t D1 = 0;
  std::uint16_t D2 = 0;
  std::uint16_t D3 = 0;
  std::array<std::uint8_t, 8> D4{};
  friend bool operator==(const TGUID&, const TGUID&) = default;
};

// A new identity from the system's random source, with the version (4) and
// variant (binary 10) bits set, so two layers never share one by chance.
TGUID IECreateGuid();
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case digits.
std::string GUIDToString(const TGUID& g);

}  // namespace redozir
#pragma GCC visibility pop
