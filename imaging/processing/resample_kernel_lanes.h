// The vector passes of the kernel resampler written once for both widths:
// resample_kernel_avx2.cpp and resample_kernel_avx512.cpp include this
// header, each compiling its own copy (internal linkage) with its own
// instruction set, and instantiate the templates with traits K of their own.
//
// K gives the integer vector K::I of K::Bytes bytes and these operations:
// Zero, Set1 (a 32-bit value in every lane), Add and Neg (32-bit), Madd
// (pairs of words times pairs of words, added), LoadA (an aligned vector);
// Divider / Divide<Exact> (a divisor d > 0 and its exact reciprocal, or 0
// unless Exact: the sums are held to 0 .. 256 d, so that every value is
// exact in a float and the truncated quotient, or product by the
// reciprocal, is the integer one; quotients above 255 are left to the
// narrowing, which saturates). For the second pass, K::Block bytes of a row
// at a time: Widen (as words), UnpackLo / UnpackHi (the words of two rows
// interleaved), PutRow (the bytes from the quotients of the two unpacked
// halves); K::Overlap: the last block of a row starts K::Block bytes before
// its end (rows are at least that long) instead of the bytes after the
// whole blocks going through the scalar sums. For the 16-row first pass,
// PutChannel: 16 bytes of one channel from its 192 / K::Bytes / 3 vectors
// of sums.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/processing/resample_block.h"
#include "imaging/processing/resample_internal.h"

#pragma GCC visibility push(default)
namespace redozir {

namespace {
inline std::uint8_t IEKernelDivClamp1(int s, int d) {
  int v = s / d;
  return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// The 16-row first pass of 24-bit rows: every tap weighs 16 rows of a
// channel at once (K::Bytes / 4 rows per vector).
template <class K>
void IEKernelBlockH3(const TIEResampleTaps& T, const std::uint8_t* const* Src, int Rows,
                     std::uint8_t* const* Dst, std::vector<std::uint8_t>& Scratch) {
  constexpr int N = 192 / K::Bytes;  // vectors per pair of pixels: 16 rows x 3 channels
  KernelBlockH3(T, Src, Rows, Dst, Scratch, [&](const std::uint8_t* pairs, auto* out, int x0, int x1) {
    for (int x = x0; x < x1; ++x) {
      typename K::I acc[N];
      for (auto& v : acc) v = K::Zero();
      const std::int32_t* w = T.PW.data() + static_cast<std::size_t>(x) * T.PStride;
      const std::uint8_t* q = pairs + 192 * static_cast<std::size_t>(T.PStart[x] / 2);
      for (int k = 0, n = T.PLen[x]; k < n; ++k, q += 192) {
        const typename K::I wk = K::Set1(w[k]);
        for (int i = 0; i < N; ++i) acc[i] = K::Add(acc[i], K::Madd(K::LoadA(q + i * K::Bytes), wk));
      }
      int d = T.Sum[x];
      if (d < 0) {
        for (auto& v : acc) v = K::Neg(v);
        d = -d;
      }
      const auto div = K::Divider(d, T.Rcp[static_cast<std::size_t>(x)]);
      std::uint8_t* o = out + 48 * static_cast<std::size_t>(x - x0);
      for (int c = 0; c < 3; ++c) K::PutChannel(o + 16 * c, acc + c * (N / 3), div);
    }
  });
}

// Rows y .. y + R - 1 of the second pass into Dst[0 .. R - 1]; Exact: every
// one of them has a positive sum and an exact reciprocal.
template <class K, int R, bool Exact>
void IEKernelRowsV(const TIEResampleTaps& T, int y, const std::uint8_t* const* Rows, int Bytes,
                   std::uint8_t* const* Dst) {
  using I = typename K::I;
  // Each pair of source rows is loaded and interleaved once for all R; the
  // tables are read into locals, which the stores of bytes could alias.
  const TIEKernelRowPairs P(T, y, R, Rows);
  const std::uint8_t* const* pr = P.PR.data();
  const int pairs = P.Count;
  const int* pw[R];
  bool neg[R];
  decltype(K::Divider(1, 0.0f)) div[R];
  std::uint8_t* out[R];
  for (int i = 0; i < R; ++i) {
    const int d = T.Sum[y + i];
    pw[i] = P.PW[i].data();
    neg[i] = d < 0;
    div[i] = K::Divider(d < 0 ? -d : d, T.Rcp[static_cast<std::size_t>(y + i)]);
    out[i] = Dst[i];
  }
  auto block = [&](int b) __attribute__((always_inline)) {
    I lo[R], hi[R];
    for (int i = 0; i < R; ++i) lo[i] = hi[i] = K::Zero();
    for (int k = 0; k < pairs; ++k) {
      const I ra = K::Widen(pr[2 * k] + b), rb = K::Widen(pr[2 * k + 1] + b);
      const I ulo = K::UnpackLo(ra, rb), uhi = K::UnpackHi(ra, rb);
      for (int i = 0; i < R; ++i) {
        const I wk = K::Set1(pw[i][k]);
        lo[i] = K::Add(lo[i], K::Madd(ulo, wk));
        hi[i] = K::Add(hi[i], K::Madd(uhi, wk));
      }
    }
    for (int i = 0; i < R; ++i) {
      if (!Exact && neg[i]) {
        lo[i] = K::Neg(lo[i]);
        hi[i] = K::Neg(hi[i]);
      }
      K::PutRow(out[i] + b, K::template Divide<Exact>(lo[i], div[i]),
                K::template Divide<Exact>(hi[i], div[i]));
    }
  };
  int b = 0;
  for (; b + K::Block <= Bytes; b += K::Block) block(b);
  if (b == Bytes) return;
  if constexpr (K::Overlap) {
    block(Bytes - K::Block);
  } else {
    for (int i = 0; i < R; ++i) {
      const int start = T.Start[y + i], len = T.Len[y + i], d = T.Sum[y + i];
      const std::int16_t* w = T.W.data() + static_cast<std::size_t>(y + i) * T.Stride;
      for (int c = b; c < Bytes; ++c) {
        int s = 0;
        for (int k = 0; k < len; ++k) s += Rows[start + k][c] * w[k];
        Dst[i][c] = IEKernelDivClamp1(s, d);
      }
    }
  }
}

// Rows y .. y + R - 1 (R 1 or 2) of the second pass.
template <class K>
void IEKernelRowV(const TIEResampleTaps& T, int y, int R, const std::uint8_t* const* Rows, int Bytes,
                  std::uint8_t* const* Dst) {
  // Nearly every row is exact, and skips the checks for the others.
  bool exact = true;
  for (int i = 0; i < R; ++i)
    exact = exact && T.Sum[y + i] > 0 && T.Rcp[static_cast<std::size_t>(y + i)] != 0;
  using TRows = void (*)(const TIEResampleTaps&, int, const std::uint8_t* const*, int, std::uint8_t* const*);
  static constexpr TRows rows[2][2] = {{IEKernelRowsV<K, 1, false>, IEKernelRowsV<K, 1, true>},
                                       {IEKernelRowsV<K, 2, false>, IEKernelRowsV<K, 2, true>}};
  rows[R == 2][exact](T, y, Rows, Bytes, Dst);
}
}  // namespace

}  // namespace redozir
#pragma GCC visibility pop
