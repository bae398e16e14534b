// The Lanczos3 weights of a contributor list several taps at a time, in
// vectors of Lanes doubles: included by the scalar, AVX2 and AVX-512 files
// of the kernel resampler, each compiling its own copy (internal linkage)
// with its own instruction set.
#pragma once

#include <cstdint>
#include <cstring>

#include "imaging/processing/resample_internal.h"

#pragma GCC visibility push(default)
namespace redozir {

namespace {
// Vectors of Lanes doubles and of as many 64-bit masks.
template <int Lanes>
struct TIELanes;
template <>
struct TIELanes<2> {
  typedef double D __attribute__((vector_size(16)));
  typedef std::int64_t M __attribute__((vector_size(16)));
};
template <>
struct TIELanes<4> {
  typedef double D __attribute__((vector_size(32)));
  typedef std::int64_t M __attribute__((vector_size(32)));
};
template <>
struct TIELanes<8> {
  typedef double D __attribute__((vector_size(64)));
  typedef std::int64_t M __attribute__((vector_size(64)));
};

template <int Lanes>
std::uint64_t Lanczos3Weights(const TIELanczos3Steps& P, double Sin, double Cos, double Centre, double First,
                              int Count, double* V) {
  using D = typename TIELanes<Lanes>::D;
  using M = typename TIELanes<Lanes>::M;
  static_assert(64 % Lanes == 0);
  D k;
  for (int l = 0; l < Lanes; ++l) k[l] = l;
  std::uint64_t near = 0;
  for (int k0 = 0; k0 < Count; k0 += Lanes, k += Lanes) {
    D sk, ck;
    std::memcpy(&sk, P.Sin + k0, sizeof sk);
    std::memcpy(&ck, P.Cos + k0, sizeof ck);
    const D t = (Centre - (First + k)) * P.Inv;
    const D a = t < 0 ? -t : t;
    // sin(theta - k step) of the tap's angle; the kernel is
    // sin^2 (3 - 4 sin^2) / a^2 times the weight's factor, 0 from a = 3 on.
    const D s = Sin * ck - Cos * sk;
    const D s2 = s * s;
    const M inside = a >= 1.0 / 64;
    const D v = s2 * (3 - 4 * s2) / (inside ? a * a : D{} + 1) * P.RotScale;
    const D w = a < 3 ? v : D{};
    std::memcpy(V + k0, &w, sizeof w);
    for (int l = 0; l < Lanes; ++l)
      if (!inside[l]) near |= std::uint64_t(1) << (k0 + l);
  }
  return near;
}
}  // namespace

}  // namespace redozir
#pragma GCC visibility pop
