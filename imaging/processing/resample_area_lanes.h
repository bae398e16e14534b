// The vector rows of the area-weighted resampler written once for both
// widths: resample_area_avx2.cpp and resample_area_avx512.cpp include this
// header, each compiling its own copy (internal linkage) with its own
// instruction set, and instantiate the templates with traits of their own.
//
// The double rows take traits V with the vector V::T of V::Pixels pixels
// (four lanes each) and their whole numbers V::Q, and these operations:
// Zero, Set1, Add, Mul, Clamp (to 0..hi), Round (halves to even), Load and
// Store of doubles or floats (whole numbers below 2^24, which float holds
// exactly), Weight (table value i of each pixel over its four lanes), Empty
// (whether slot i is empty in every pixel of the vector), Columns / Column
// (the pixels at offset Off of the padded row from column X[i] of each
// pixel), Finish (the sums times Inv, rounded, held to 0..Max, as whole
// numbers) and Put (four finished pixels, or the first n, written out).
//
// The checked float rows (resample_area_float.h) take traits F with the
// vector F::T of F::Lanes floats and these operations: Zero, Set1, Load,
// Store, Add, Sub, Mul, Fma, Min, Max, Round, Frac (the value less its
// nearest whole number, exactly), Picks / Tap (lanes of a window of 2
// F::Lanes floats by an index table), FromBytes (F::Lanes samples as
// floats), FromBytesTail (the last n < F::Lanes of them), Far (the mask of
// lanes at least Limit from their nearest whole number) and PutBytes (the
// first Valid lanes as bytes, halves to even, saturated to 0..255).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "imaging/processing/resample_area_float.h"
#include "imaging/processing/resample_internal.h"

#pragma GCC visibility push(default)
namespace redozir {

namespace {
// --- double rows

template <class V, TIEAreaHKind Kind, typename HT>
void IEAreaRowHOf(const TIEAreaCols& T, const double* Px, double Max, HT* H) {
  using D = typename V::T;
  const D hi = V::Set1(Max);
  for (int s = 0; s < T.P; ++s) {
    for (int j = 0; j < T.Dwp; j += V::Pixels) {
      const std::size_t i = static_cast<std::size_t>(s) * T.Dwp + j;
      // An empty slot keeps the 0 its row was made with; its width 0 makes
      // it add nothing anyway.
      if (s > 0 && V::Empty(T.PW.data() + i)) continue;
      // Taps x - 1 .. x + 2 of column x start at pixel x of the padded row.
      const auto at = V::Columns(Px, T.X.data() + i);
      D r;
      // A piece of one unit tap is that sample: a shortcut where a vector
      // holds one pixel (weights of exactly 1 and 0 give the same anyway).
      if (V::Pixels == 1 && T.Unit[i] >= 0) {
        r = V::Column(at, 4 * T.Unit[i]);
      } else if constexpr (Kind == ahSample) {
        r = V::Column(at, 4);
      } else if constexpr (Kind == ahLinear) {
        r = V::Add(V::Mul(V::Weight(&T.W[0][i]), V::Column(at, 4)),
                   V::Mul(V::Weight(&T.W[1][i]), V::Column(at, 8)));
      } else {
        r = V::Add(V::Mul(V::Column(at, 0), V::Weight(&T.W[0][i])),
                   V::Mul(V::Column(at, 4), V::Weight(&T.W[1][i])));
        r = V::Add(r, V::Mul(V::Column(at, 8), V::Weight(&T.W[2][i])));
        r = V::Add(r, V::Mul(V::Column(at, 12), V::Weight(&T.W[3][i])));
        r = V::Clamp(r, hi);
        if constexpr (Kind == ahCubicRounded) r = V::Round(r);
      }
      V::Store(H + 4 * i, r);
    }
  }
}

// The piece values of a row for Kind (see IEAreaRowH_AVX2).
template <class V>
void IEAreaRowH(const TIEAreaCols& T, TIEAreaHKind Kind, const double* Px, double Max, void* H) {
  switch (Kind) {
    case ahSample: IEAreaRowHOf<V, ahSample>(T, Px, Max, static_cast<float*>(H)); break;
    case ahLinear: IEAreaRowHOf<V, ahLinear>(T, Px, Max, static_cast<double*>(H)); break;
    case ahCubic: IEAreaRowHOf<V, ahCubic>(T, Px, Max, static_cast<double*>(H)); break;
    case ahCubicRounded: IEAreaRowHOf<V, ahCubicRounded>(T, Px, Max, static_cast<float*>(H)); break;
  }
}

// Adds the slots of every destination pixel; Sample is void when the sums
// stay in Acc, else the type of the finished samples written to Out. One:
// every pixel has a single slot.
template <class V, TIEAreaVKind Kind, typename Sample, bool One, typename HT>
void IEAreaAccumulateOf(const TIEAreaCols& T, int Ch, const void* const Rows[4], const double VW[4],
                        double Max, double PH, bool First, double* Acc, double Inv, void* Out) {
  using D = typename V::T;
  constexpr int G = 4 / V::Pixels;  // vectors per four pixels
  const D ph = V::Set1(PH), hi = V::Set1(Max), inv = V::Set1(Inv);
  const D w0 = V::Set1(VW[0]), w1 = V::Set1(VW[1]), w2 = V::Set1(VW[2]), w3 = V::Set1(VW[3]);
  const int Dw = T.Dw, P = One ? 1 : T.P;
  const std::size_t Dwp = static_cast<std::size_t>(T.Dwp);
  const std::int32_t* X = T.X.data();
  const double* PW = T.PW.data();
  const HT *R0 = static_cast<const HT*>(Rows[0]), *R1 = static_cast<const HT*>(Rows[1]),
           *R2 = static_cast<const HT*>(Rows[2]), *R3 = static_cast<const HT*>(Rows[3]);
  // The pixels of the vector from j (the tables and rows run to Dwp, a
  // multiple of 4). A slot empty in some of them adds (V x 0) x PH = 0 there.
  auto pixels = [&](std::size_t j) __attribute__((always_inline)) {
    D a = First ? V::Zero() : V::Load(Acc + 4 * j);
    for (int s = 0; s < P; ++s) {
      const std::size_t i = static_cast<std::size_t>(s) * Dwp + j, o = 4 * i;
      if (!One && s > 0 && V::Empty(PW + i)) continue;
      D v;
      if constexpr (Kind == avSamples) {
        v = V::Column(V::Columns(R0, X + i), 4);
      } else if constexpr (Kind == avIdentity) {
        v = V::Load(R0 + o);
      } else if constexpr (Kind == avLinear) {
        v = V::Add(V::Mul(w0, V::Load(R0 + o)), V::Mul(w1, V::Load(R1 + o)));
      } else {
        v = V::Add(V::Mul(V::Load(R0 + o), w0), V::Mul(V::Load(R1 + o), w1));
        v = V::Add(v, V::Mul(V::Load(R2 + o), w2));
        v = V::Add(v, V::Mul(V::Load(R3 + o), w3));
        v = V::Clamp(v, hi);
      }
      a = V::Add(a, V::Mul(V::Mul(v, V::Weight(PW + i)), ph));
    }
    return a;
  };
  for (int j0 = 0; j0 < Dw; j0 += 4) {
    const int n = std::min(4, Dw - j0);
    if constexpr (std::is_void_v<Sample>) {
      for (int k = 0; k < n; k += V::Pixels)
        V::Store(Acc + 4 * static_cast<std::size_t>(j0 + k), pixels(j0 + k));
    } else {
      typename V::Q q[G] = {};
      if (n == 4) {
        [&]<std::size_t... K>(std::index_sequence<K...>) __attribute__((always_inline)) {
          ((q[K] = V::Finish(pixels(j0 + K * V::Pixels), inv, hi)), ...);
        }
        (std::make_index_sequence<G>());
      } else {
        for (int k = 0; k < n; k += V::Pixels) q[k / V::Pixels] = V::Finish(pixels(j0 + k), inv, hi);
      }
      V::Put(q, Ch, static_cast<Sample*>(Out) + static_cast<std::size_t>(j0) * Ch, n);
    }
  }
}

template <class V, TIEAreaVKind Kind, bool One, typename HT>
void IEAreaAccumulateTo(const TIEAreaCols& T, int Ch, const void* const Rows[4], const double VW[4],
                        double Max, double PH, bool First, double* Acc, const TIEAreaOut* Out) {
  if (!Out)
    IEAreaAccumulateOf<V, Kind, void, One, HT>(T, Ch, Rows, VW, Max, PH, First, Acc, 1, nullptr);
  else if (Out->Bytes == 1)
    IEAreaAccumulateOf<V, Kind, std::uint8_t, One, HT>(T, Ch, Rows, VW, Max, PH, First, Acc, Out->Inv,
                                                       Out->D);
  else
    IEAreaAccumulateOf<V, Kind, std::uint16_t, One, HT>(T, Ch, Rows, VW, Max, PH, First, Acc, Out->Inv,
                                                        Out->D);
}

template <class V, TIEAreaVKind Kind, typename HT>
void IEAreaAccumulateAny(const TIEAreaCols& T, int Ch, const void* const Rows[4], const double VW[4],
                         double Max, double PH, bool First, double* Acc, const TIEAreaOut* Out) {
  if (T.P == 1)
    IEAreaAccumulateTo<V, Kind, true, HT>(T, Ch, Rows, VW, Max, PH, First, Acc, Out);
  else
    IEAreaAccumulateTo<V, Kind, false, HT>(T, Ch, Rows, VW, Max, PH, First, Acc, Out);
}

// The double rows' sums for Kind (see IEAreaAccumulate_AVX2); rows of
// pixels in their double form are never compact.
template <class V>
void IEAreaAccumulate(const TIEAreaCols& T, TIEAreaVKind Kind, bool Compact, int Ch,
                      const void* const Rows[4], const double VW[4], double Max, double PH, bool First,
                      double* Acc, const TIEAreaOut* Out) {
  using TRun = void (*)(const TIEAreaCols&, int, const void* const*, const double*, double, double, bool,
                        double*, const TIEAreaOut*);
  TRun run = nullptr;
  switch (Kind) {
    case avSamples: run = IEAreaAccumulateAny<V, avSamples, double>; break;
    case avIdentity:
      run = Compact ? IEAreaAccumulateAny<V, avIdentity, float> : IEAreaAccumulateAny<V, avIdentity, double>;
      break;
    case avLinear:
      run = Compact ? IEAreaAccumulateAny<V, avLinear, float> : IEAreaAccumulateAny<V, avLinear, double>;
      break;
    case avCubic:
      run = Compact ? IEAreaAccumulateAny<V, avCubic, float> : IEAreaAccumulateAny<V, avCubic, double>;
      break;
  }
  run(T, Ch, Rows, VW, Max, PH, First, Acc, Out);
}

// --- checked float rows

// The lanes of mask M among the first Valid, as indices from First into
// Flags; returns their count.
inline int IEAreaFlags(unsigned M, int Valid, int First, std::int32_t* Flags) {
  M &= (1u << Valid) - 1;
  int n = 0;
  for (; M; M &= M - 1) Flags[n++] = First + __builtin_ctz(M);
  return n;
}

template <class F>
void IEAreaFloatPixels(const std::uint8_t* Row, int Sw, int Ch, float* Px) {
  const int n = Sw * Ch;
  float* p = Px + Ch;
  int i = 0;
  for (; i + F::Lanes <= n; i += F::Lanes) F::Store(p + i, F::FromBytes(Row + i));
  if (i < n) F::FromBytesTail(Row + i, n - i, p + i);
  for (int c = 0; c < Ch; ++c) {
    Px[c] = p[c];
    p[n + c] = p[n - Ch + c];
    p[n + Ch + c] = p[n - Ch + c];
  }
}

template <class F>
int IEAreaFloatRowH(const TIEAreaFloatTables& T, const float* Px, float* H, std::int32_t* Flags) {
  using V = typename F::T;
  constexpr int L = F::Lanes;
  const int blocks = static_cast<int>(T.HBase.size()), ch = T.Ch, adv = T.HAdv, lanes = T.Lanes;
  const std::int32_t* base = T.HBase.data();
  const std::int32_t* idx = T.HIdx.data();
  const float* wt = T.HW.data();
  const V limit = F::Set1(T.HLimit), hi = F::Set1(T.Max), zero = F::Zero();
  int flagged = 0;
  for (int b = 0; b < blocks; ++b) {
    // Tap t of a lane: its index in the window that starts t pixels on.
    const float* p = Px + base[b];
    const float* w = wt + static_cast<std::size_t>(b) * 4 * L;
    const auto pick = F::Picks(idx + static_cast<std::size_t>(b) * L);
    float* h = H + static_cast<std::size_t>(b) * adv;
    if (T.Cubic) {
      V v = F::Mul(F::Tap(p, pick), F::Load(w));
      v = F::Fma(F::Tap(p + ch, pick), F::Load(w + L), v);
      v = F::Fma(F::Tap(p + 2 * ch, pick), F::Load(w + 2 * L), v);
      v = F::Fma(F::Tap(p + 3 * ch, pick), F::Load(w + 3 * L), v);
      const V r = F::Round(v);
      flagged +=
          IEAreaFlags(F::Far(F::Sub(v, r), limit), std::min(adv, lanes - b * adv), b * adv, Flags + flagged);
      F::Store(h, F::Min(F::Max(r, zero), hi));
    } else {
      F::Store(h, F::Fma(F::Tap(p + 2 * ch, pick), F::Load(w + 2 * L),
                         F::Mul(F::Tap(p + ch, pick), F::Load(w + L))));
    }
  }
  return flagged;
}

template <class F>
int IEAreaFloatFinish(const TIEAreaFloatTables& T, const float* A, const float* AU, std::uint8_t* D,
                      std::int32_t* Flags, int From, int To) {
  using V = typename F::T;
  constexpr int L = F::Lanes;
  const int lanes = T.OutLanes;
  const std::int32_t* base = T.UBase.data();
  const std::int32_t* idx = T.UIdx.data();
  const float* wt = T.OW.data();
  const V limit = F::Set1(T.OLimit);
  int flagged = 0;
  for (int o = From; o < To; ++o) {
    const int first = o * L;
    const float* w = wt + static_cast<std::size_t>(o) * 2 * L;
    const V v = F::Fma(F::Tap(AU + base[o], F::Picks(idx + first)), F::Load(w + L),
                       F::Mul(F::Load(A + first), F::Load(w)));
    const int valid = std::min(L, lanes - first);
    flagged += IEAreaFlags(F::Far(F::Frac(v), limit), valid, first, Flags + flagged);
    F::PutBytes(D + first, v, valid);
  }
  return flagged;
}

// The sums over lanes From to To of N row pieces (1 or 2): piece p cubic
// (four rows held to 0..Hi[p]) or linear (two rows), or with U0 / U1 its
// one row whose weight is 1 (the others 0), weighed by its height.
template <class V, bool Cubic, int N, bool U0, bool U1>
void IEAreaVertRun(const float* const R[8], const float VW[8], const float Hi[2], float* A, int From,
                   int To) {
  using T = typename V::T;
  const T zero = V::Zero();
  const T w0 = V::Set1(VW[0]), w1 = V::Set1(VW[1]), w2 = V::Set1(VW[2]), w3 = V::Set1(VW[3]),
          w4 = V::Set1(VW[4]), w5 = V::Set1(VW[5]), w6 = V::Set1(VW[6]), w7 = V::Set1(VW[7]);
  const T hi0 = V::Set1(Hi[0]), hi1 = V::Set1(Hi[1]);
  const float *r0 = R[0], *r1 = R[1], *r2 = R[2], *r3 = R[3], *r4 = R[4], *r5 = R[5], *r6 = R[6], *r7 = R[7];
  auto fma = [](const float* r, T w, T v) __attribute__((always_inline)) { return V::Fma(V::Load(r), w, v); };
  auto mul = [](const float* r, T w) __attribute__((always_inline)) { return V::Mul(V::Load(r), w); };
  auto piece = [&](bool Unit, const float* a, const float* b, const float* c, const float* d, T wa, T wb,
                   T wc, T wd, T hi) __attribute__((always_inline)) {
    if (Unit) return mul(a, wa);
    if (!Cubic) return fma(b, wb, mul(a, wa));
    return V::Min(V::Max(fma(d, wd, fma(c, wc, fma(b, wb, mul(a, wa)))), zero), hi);
  };
  for (int i = From; i < To; i += V::Lanes) {
    T v = piece(U0, r0 + i, r1 + i, r2 + i, r3 + i, w0, w1, w2, w3, hi0);
    if (N == 2) v = V::Add(v, piece(U1, r4 + i, r5 + i, r6 + i, r7 + i, w4, w5, w6, w7, hi1));
    V::Store(A + i, v);
  }
}

// IEAreaVertRun for Pieces (1 or 2) and the unit pieces' bits of Unit.
template <class V>
void IEAreaVert(bool Cubic, int Pieces, int Unit, const float* const R[8], const float VW[8],
                const float Hi[2], float* A, int From, int To) {
  using TRun = void (*)(const float* const*, const float*, const float*, float*, int, int);
  static constexpr TRun runs[2][2][4] = {
      {{IEAreaVertRun<V, false, 1, false, false>, IEAreaVertRun<V, false, 1, true, false>,
        IEAreaVertRun<V, false, 1, false, false>, IEAreaVertRun<V, false, 1, true, false>},
       {IEAreaVertRun<V, false, 2, false, false>, IEAreaVertRun<V, false, 2, true, false>,
        IEAreaVertRun<V, false, 2, false, true>, IEAreaVertRun<V, false, 2, true, true>}},
      {{IEAreaVertRun<V, true, 1, false, false>, IEAreaVertRun<V, true, 1, true, false>,
        IEAreaVertRun<V, true, 1, false, false>, IEAreaVertRun<V, true, 1, true, false>},
       {IEAreaVertRun<V, true, 2, false, false>, IEAreaVertRun<V, true, 2, true, false>,
        IEAreaVertRun<V, true, 2, false, true>, IEAreaVertRun<V, true, 2, true, true>}}};
  runs[Cubic][Pieces - 1][Unit & 3](R, VW, Hi, A, From, To);
}

}  // namespace

}  // namespace redozir
#pragma GCC visibility pop
