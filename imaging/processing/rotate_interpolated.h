// The inner rows of the bilinear / bicubic rotation, shared by the scalar
// reference and the vector path (which must give the same bytes).
#pragma once

#include <cmath>
#include <cstdint>

#include "imaging/core/ie_parallel.h"

#pragma GCC visibility push(default)
namespace redozir {

struct TIERotateJob {
  const TIERowTable* Src = nullptr;
  std::uint8_t* const* Dst = nullptr;  // the destination rows, by row
  int W = 0, H = 0, NW = 0;
  int N = 3;  // bytes per pixel: 3 or 1
  bool Bicubic = false;
  const double* AX = nullptr;  // per destination column: (x - cdx) cos + csx
  const double* BX = nullptr;  // per destination column: (x - cdx) sin + csy
  double CDY = 0, Cos = 0, Sin = 0;
  std::uint8_t Bg[4] = {0, 0, 0, 0};
  int X0 = 0, X1 = 0;  // the destination columns worked on: [X0, X1)
};

// The four cubic-convolution weights (a = -1) of the neighbours -1, 0, 1, 2 at t.
inline void IECubicWeights(double t, double w[4]) {
  w[0] = -t * (1 - t) * (1 - t);
  w[1] = 1 - 2 * t * t + t * t * t;
  w[2] = t * (1 + t - t * t);
  w[3] = -t * t * (1 - t);
}

// Source position of destination pixel x of the row whose ry = y - cdy.
inline void IERotateSource(const TIERotateJob& j, int x, double ry, double& sx, double& sy) {
  sx = j.AX[x] - ry * j.Sin;
  sy = j.BX[x] + ry * j.Cos;
}

// True when every neighbour that either sampler reads lies outside the
// source: the pixel is then the background exactly.
inline bool IERotateOutside(const TIERotateJob& j, double sx, double sy) {
  return sx < -4 || sy < -4 || sx > j.W + 2 || sy > j.H + 2;
}

// The columns of one destination row by what their pixels read: outside
// [Lo, Hi) only the background; inside [FastLo, FastHi) only source pixels
// whose Floor (bilinear) or Trunc (bicubic) position lies within
// MinXY..MaxX, MinXY..MaxY. Each condition is monotonic along a row (every
// rounding of the column terms is), so both sets are ranges; the fast range
// lies within the other one and is empty (FastLo = FastHi) when there is none.
struct TIERotateSpans {
  int Lo = 0, Hi = 0, FastLo = 0, FastHi = 0;
};
TIERotateSpans IERotateRowSpans(const TIERotateJob& j, double rySin, double ryCos, int MinXY, int MaxX,
                                int MaxY);

// Destination rows are walked in tiles of this many rows and columns, so
// that the source pixels a tile reads stay in the cache.
constexpr int kIERotateTileRows = 32;
constexpr int kIERotateTileColumns = 64;
// The widest strip of columns that a rotation of a disk-buffered picture
// walks down at a time.
constexpr int kIERotateStripColumns = 6144;

// One destination pixel through the scalar reference (any position).
void IERotateSampleScalar(const TIERotateJob& j, double sx, double sy, std::uint8_t* out);
// Destination rows [Y0, Y1), columns [X0, X1) of the job.
void IERotateRowsScalar(const TIERotateJob& j, int Y0, int Y1);

// One destination row as the vector paths see it. Base and Stride are set
// when the source rows lie evenly apart (Base is row 0), else Base is null;
// FastLo, FastHi are the row's whole fast range (of which a tile gets a part).
struct TIERotateRow {
  const TIERotateJob* Job = nullptr;
  std::uint8_t* const* Rows = nullptr;
  const std::uint8_t* Base = nullptr;
  std::ptrdiff_t Stride = 0;
  double RySin = 0, RyCos = 0;
  int FastLo = 0, FastHi = 0;
};
// Columns [X0, X1) of a row's fast range, written from Row (the row's first byte).
using TIERotateFastSpan = void (*)(const TIERotateRow& R, int X0, int X1, std::uint8_t* Row);
// Columns [X0, X1) of a row through the scalar reference.
inline void IERotateScalarSpan(const TIERotateRow& R, int X0, int X1, std::uint8_t* Row) {
  const TIERotateJob& j = *R.Job;
  for (int x = X0; x < X1; ++x)
    IERotateSampleScalar(j, j.AX[x] - R.RySin, j.BX[x] + R.RyCos, Row + static_cast<std::ptrdiff_t>(x) * j.N);
}
// Asks for the cache line at P. An asm statement: GCC drops the calls of a
// function whose only effect is __builtin_prefetch.
inline void IERotateTouch(const void* P) {
#if defined(__x86_64__) || defined(__i386__)
  asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(P)));
#else
  __builtin_prefetch(P, 0, 3);
#endif
}

// Destination rows [Y0, Y1) (columns [X0, X1) of the job) of a 24-bit job in tiles: each row's ranges
// (IERotateRowSpans with the given bounds) are filled with the background,
// through the scalar reference, and through Fast.
void IERotateRowsTiled(const TIERotateJob& j, const TIERotateRow& Shape, int Y0, int Y1,
                       TIERotateFastSpan Fast, int MinXY, int MaxX, int MaxY);
// The vector paths: their fast spans with the bounds they read within.
void IERotateRowsAVX2(const TIERotateJob& j, const TIERotateRow& Shape, int Y0, int Y1);
void IERotateRowsAVX512(const TIERotateJob& j, const TIERotateRow& Shape, int Y0, int Y1);

}  // namespace redozir
#pragma GCC visibility pop
