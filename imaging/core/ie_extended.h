// Extended precision. The formulas the library computes in long double (the
// YUV ties, the resampling kernels, their constants and windows) give their
// bytes only with the x87 80-bit type; a build where long double is anything
// else stops here instead of silently giving other bytes.
#pragma once

#include <limits>

namespace redozir {

static_assert(std::numeric_limits<long double>::radix == 2 &&
                  std::numeric_limits<long double>::digits == 64 &&
                  std::numeric_limits<long double>::max_exponent == 16384,
              "redozir computes in the x87 80-bit extended type: long double must be it (x86 or x86-64, "
              "without -mlong-double-64 or -mlong-double-128)");

}  // namespace redozir
