// The shared pseudo-random generator: seed x 134775813 + 1, the result the
// high half of n x seed.
#include "imaging/processing/transition_random.h"

namespace redozir {

std::uint32_t IERandSeed = 0;

int IERandom(int n) {
  IERandSeed = IERandSeed * 134775813u + 1u;
  if (n <= 0) return 0;
  return static_cast<int>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(n)) * IERandSeed) >> 32);
}

}  // namespace redozir
