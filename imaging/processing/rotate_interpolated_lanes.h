// The vector pixels of the bilinear / bicubic rotation written once for both
// widths: rotate_interpolated_avx2.cpp and rotate_interpolated_avx512.cpp
// include this header, each compiling its own copy (internal linkage) with
// its own instruction set, and instantiate the templates with traits R of
// their own.
//
// R gives the vector R::D of R::Pixels doubles (one per destination pixel)
// and these operations: Set1, Zero, Load, Add, Sub, Mul, Min, Max, Neg and
// Round<Rounding>; R::TPosition (fx, fy and where each pixel's reads start)
// filled by Cell from the cells' doubles; BilinearTaps / BilinearSample
// (the pixels' sample of channel c at (x0 + Col, y0 + Row)) and CubicRow /
// CubicTaps (the four samples of channel c along row y0 - 1 + K), every
// sample given as 2^52 + its byte; R::Q, the pixels' whole numbers, with
// Zero and AddChannel (the truncated values of channel c into byte c of
// each 32-bit lane).
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "imaging/processing/rotate_interpolated.h"

#pragma GCC visibility push(default)
namespace redozir {

namespace {
// 2^52: a byte b placed in the low bits of this double's pattern reads as
// 2^52 + b, so subtractions of two such values give exact differences.
constexpr double kIERotateMagic = 4503599627370496.0;

// Source positions of the pixels from column X: the cell (Rounding: Floor
// for bilinear, Trunc for bicubic) and its fractions; the reads start at the
// cell moved by D in both directions.
template <class R, int Rounding>
inline typename R::TPosition IERotatePosition(const TIERotateRow& r, int x, int d) {
  using D = typename R::D;
  const TIERotateJob& j = *r.Job;
  const D sx = R::Sub(R::Load(j.AX + x), R::Set1(r.RySin));
  const D sy = R::Add(R::Load(j.BX + x), R::Set1(r.RyCos));
  const D cx = R::template Round<Rounding>(sx), cy = R::template Round<Rounding>(sy);
  typename R::TPosition p;
  p.fx = R::Sub(sx, cx);
  p.fy = R::Sub(sy, cy);
  R::Cell(r, cx, cy, d, p);
  return p;
}

// Bilinear pixels from column X on, all of whose neighbours lie inside
// (always inlined: a call would cost more than the pixels themselves).
template <class R>
__attribute__((always_inline)) inline typename R::Q IERotateBilinear(const TIERotateRow& r, int x) {
  using D = typename R::D;
  const auto p = IERotatePosition<R, _MM_FROUND_TO_NEG_INF>(r, x, 0);
  const auto taps = R::BilinearTaps(r, p);
  const D magic = R::Set1(kIERotateMagic);
  typename R::Q result = R::QZero();
  for (int c = 0; c < 3; ++c) {
    const D q00 = R::BilinearSample(taps, 0, 0, c), q10 = R::BilinearSample(taps, 0, 1, c);
    const D q01 = R::BilinearSample(taps, 1, 0, c), q11 = R::BilinearSample(taps, 1, 1, c);
    const D t = R::Add(R::Sub(q00, magic), R::Mul(R::Sub(q10, q00), p.fx));
    const D b = R::Add(R::Sub(q01, magic), R::Mul(R::Sub(q11, q01), p.fx));
    const D v = R::Add(t, R::Mul(R::Sub(b, t), p.fy));
    result = R::AddChannel(result, v, c);
  }
  return result;
}

// Q1 + w0 (q0 - q1) + w2 (q2 - q1) + w3 (q3 - q1), evaluated left to right,
// Q1 being q1 less 2^52 where the samples are given as 2^52 + value.
template <class R>
inline typename R::D IERotateCubic(typename R::D Q1, typename R::D q0, typename R::D q1, typename R::D q2,
                                   typename R::D q3, typename R::D w0, typename R::D w2, typename R::D w3) {
  typename R::D v = R::Add(Q1, R::Mul(w0, R::Sub(q0, q1)));
  v = R::Add(v, R::Mul(w2, R::Sub(q2, q1)));
  return R::Add(v, R::Mul(w3, R::Sub(q3, q1)));
}

// The weights of IECubicWeights in its order of operations (the second
// weight is not needed: the sums are written relative to the second sample).
template <class R>
inline void IERotateCubicWeights(typename R::D t, typename R::D& w0, typename R::D& w2, typename R::D& w3) {
  using D = typename R::D;
  const D one = R::Set1(1.0);
  const D omt = R::Sub(one, t), neg = R::Neg(t);
  w0 = R::Mul(R::Mul(neg, omt), omt);
  w2 = R::Mul(t, R::Sub(R::Add(one, t), R::Mul(t, t)));
  w3 = R::Mul(R::Mul(neg, t), omt);
}

// Bicubic pixels from column X on, all of whose neighbours lie inside.
template <class R>
inline typename R::Q IERotateBicubic(const TIERotateRow& r, int x) {
  using D = typename R::D;
  const auto p = IERotatePosition<R, _MM_FROUND_TO_ZERO>(r, x, -1);
  D wx0, wx2, wx3, wy0, wy2, wy3;
  IERotateCubicWeights<R>(p.fx, wx0, wx2, wx3);
  IERotateCubicWeights<R>(p.fy, wy0, wy2, wy3);
  decltype(R::CubicRow(r, p, 0)) rows[4];
  for (int k = 0; k < 4; ++k) rows[k] = R::CubicRow(r, p, k);
  const D magic = R::Set1(kIERotateMagic), zero = R::Zero();
  typename R::Q result = R::QZero();
  for (int c = 0; c < 3; ++c) {
    D h[4];
    for (int k = 0; k < 4; ++k) {
      D q[4];
      R::CubicTaps(rows[k], c, q);
      h[k] = IERotateCubic<R>(R::Sub(q[1], magic), q[0], q[1], q[2], q[3], wx0, wx2, wx3);
    }
    D v = IERotateCubic<R>(h[1], h[0], h[1], h[2], h[3], wy0, wy2, wy3);
    // A negative result (or none) becomes 0, one above 255 becomes 255.
    v = R::Min(R::Max(v, zero), R::Set1(255.0));
    result = R::AddChannel(result, v, c);
  }
  return result;
}
}  // namespace

}  // namespace redozir
#pragma GCC visibility pop
