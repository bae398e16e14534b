// The predefined 3 x 3 convolution filters offered by the library (entry 1,
// "Blur", is the one the soft shadow uses).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#pragma GCC visibility push(default)
namespace redozir {

// Nine coefficients in row order and a divisor.
struct TIEFilterKernel {
  std::int32_t Values[3][3];
  std::int32_t Divisor;
  friend bool operator==(const TIEFilterKernel&, const TIEFilterKernel&) = default;
};

struct TIEPredefinedFilter {
  std::string Name;
  TIEFilterKernel Filter;
};

// The nine filters, "None" to "Low Pass 2", built by the library's start-up
// (which this call runs when it has not run yet).
const std::vector<TIEPredefinedFilter>& IEPredefinedFilters();

// The unit's start-up and shutdown parts.
void IEInitPredefinedFilters();
void IEFreePredefinedFilters();

}  // namespace redozir
#pragma GCC visibility pop
