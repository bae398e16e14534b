// The library's shared pseudo-random generator (linear congruential), from
// which the transitions draw their random points, boxes and ragged edges.
#pragma once

#include <cstdint>

#pragma GCC visibility push(default)
namespace redozir {

// The generator's state: set it to repeat a sequence. Main thread only.
extern std::uint32_t IERandSeed;

// A number in 0 .. n - 1 (0 when n <= 0); every call moves the seed on.
int IERandom(int n);

}  // namespace redozir
#pragma GCC visibility pop
