// The vertical sums of the checked float rows (resample_area_float.h) for
// one vector width: each engine's file instantiates them with a type V of
// its own that gives the vector (V::T, V::Lanes floats) and its operations.
#pragma once

#pragma GCC visibility push(default)
namespace redozir {

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

}  // namespace redozir
#pragma GCC visibility pop
