// Checked conversions from floating point to integers. Round takes halves to
// the even neighbour; Trunc drops the fraction. A NaN or a value outside the
// target range raises EInvalidOp instead of being undefined behaviour.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/exceptions.h"

#pragma GCC visibility push(default)
namespace redozir {

namespace detail {
template <typename I, typename F>
I CheckedToInt(F v, const char* what) {
  // The bounds are exact in long double for every integer type up to 64 bits.
  constexpr long double lo = static_cast<long double>(std::numeric_limits<I>::min());
  constexpr long double hi = static_cast<long double>(std::numeric_limits<I>::max());
  long double x = static_cast<long double>(v);
  if (!(x >= lo && x <= hi)) throw EInvalidOp(std::string("Invalid floating point operation in ") + what);
  return static_cast<I>(x);
}
}  // namespace detail

// Round to the nearest 64-bit integer, halves to even.
inline std::int64_t Round(long double v) {
  return detail::CheckedToInt<std::int64_t>(std::nearbyint(v), "Round");
}
inline std::int64_t Round(double v) { return detail::CheckedToInt<std::int64_t>(std::nearbyint(v), "Round"); }
inline std::int64_t Trunc(long double v) {
  return detail::CheckedToInt<std::int64_t>(std::trunc(v), "Trunc");
}
inline std::int64_t Trunc(double v) { return detail::CheckedToInt<std::int64_t>(std::trunc(v), "Trunc"); }

// The same, into a 32-bit integer (values outside its range raise).
inline std::int32_t RoundInt(double v) {
  return detail::CheckedToInt<std::int32_t>(std::nearbyint(v), "Round");
}
inline std::int32_t RoundInt(long double v) {
  return detail::CheckedToInt<std::int32_t>(std::nearbyint(v), "Round");
}
inline std::int32_t TruncInt(double v) { return detail::CheckedToInt<std::int32_t>(std::trunc(v), "Trunc"); }
inline std::int32_t TruncInt(long double v) {
  return detail::CheckedToInt<std::int32_t>(std::trunc(v), "Trunc");
}

namespace detail {
// A whole number r clamped to lo..hi; lo for a NaN.
inline std::int32_t ClampWhole(double r, std::int32_t lo, std::int32_t hi) {
  if (std::isnan(r) || r < lo) return lo;
  if (r > hi) return hi;
  return static_cast<std::int32_t>(r);
}
}  // namespace detail

// Saturating variants for pixel work, where a clamp is the intended answer.
inline std::int32_t RoundClamp(double v, std::int32_t lo, std::int32_t hi) {
  return detail::ClampWhole(std::nearbyint(v), lo, hi);
}
inline std::int32_t TruncClamp(double v, std::int32_t lo, std::int32_t hi) {
  return detail::ClampWhole(std::trunc(v), lo, hi);
}

}  // namespace redozir
#pragma GCC visibility pop
