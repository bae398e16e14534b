// The inner rows of the bilinear / bicubic rotation, shared by the scalar
// reference and the vector path (which must give the same bytes).
#pragma once

#include <cmath>
#include <cstdint>

#include "imaging/processing/ie_parallel.h"

struct TIERotateJob {
  const TIERowTable* Src = nullptr;
  const TIERowTable* Dst = nullptr;
  int W = 0, H = 0, NW = 0;
  int N = 3;  // bytes per pixel: 3 or 1
  bool Bicubic = false;
  const double* AX = nullptr;  // per destination column: (x - cdx) cos + csx
  const double* BX = nullptr;  // per destination column: (x - cdx) sin + csy
  double CDY = 0, Cos = 0, Sin = 0;
  std::uint8_t Bg[4] = {0, 0, 0, 0};
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

// Destination rows are walked in tiles of this many rows and columns, so
// that the source pixels a tile reads stay in the cache.
constexpr int kIERotateTileRows = 32;
constexpr int kIERotateTileColumns = 64;

// One destination pixel through the scalar reference (any position).
void IERotateSampleScalar(const TIERotateJob& j, double sx, double sy, std::uint8_t* out);
// Destination rows [Y0, Y1).
void IERotateRowsScalar(const TIERotateJob& j, int Y0, int Y1);
void IERotateRowsAVX2(const TIERotateJob& j, int Y0, int Y1);
