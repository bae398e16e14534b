// The area-weighted bilinear and bicubic resamplers (8- and 16-bit
// channels) and IECubicInterpolate4, which the bicubic rotation shares. The
// scalar walk is the reference; the vector engine and the box sums of
// resample_area_avx2.cpp give its bytes exactly, faster.
#include <algorithm>
#include <atomic>
#include <cmath>

#include "imaging/core/ie_parallel.h"
#include "imaging/processing/resample.h"
#include "imaging/processing/resample_area_float.h"
#include "imaging/processing/resample_internal.h"
#include "platform/numeric.h"

namespace redozir {

namespace {
struct TIECubicWeights {
  double w[4];
};

inline double W1(double d) { return d * d * d - 2 * d * d + 1; }
inline double W2(double d) { return -d * d * d + 5 * d * d - 8 * d + 4; }

inline TIECubicWeights CubicWeights(double T) {
  return {{W2(std::fabs(T + 1)), W1(std::fabs(T)), W1(std::fabs(T - 1)), W2(std::fabs(T - 2))}};
}

inline double Cubic4(int P0, int P1, int P2, int P3, const TIECubicWeights& k, double Min, double Max) {
  double r = P0 * k.w[0] + P1 * k.w[1] + P2 * k.w[2] + P3 * k.w[3];
  if (r < Min) r = Min;
  if (r > Max) r = Max;
  return r;
}

void LinearRow(const double* H0, const double* H1, double TY, double* V, std::size_t n) {
  for (std::size_t j = 0; j < n; ++j) V[j] = (1 - TY) * H0[j] + TY * H1[j];
}

void CubicRow(const double* Hm, const double* H0, const double* H1, const double* H2,
              const TIECubicWeights& k, double Max, double* V, std::size_t n) {
  // The samples are whole numbers, so they enter as IECubicInterpolate4's
  // integer arguments would.
  for (std::size_t j = 0; j < n; ++j)
    V[j] = Cubic4(static_cast<int>(Hm[j]), static_cast<int>(H0[j]), static_cast<int>(H1[j]),
                  static_cast<int>(H2[j]), k, 0, Max);
}
}  // namespace

double IECubicInterpolate4(int P0, int P1, int P2, int P3, double T, double Min, double Max) {
  return Cubic4(P0, P1, P2, P3, CubicWeights(T), Min, Max);
}

namespace {
// One piece of a row or column cut at every source and destination pixel
// boundary: its length, its sampling position T, the source pixel it lies
// in and the destination pixel it belongs to.
struct TIEPiece {
  double Len;
  double T;
  int Src;
  int Dst;
};

std::vector<TIEPiece> CutPieces(int N, int M, double R) {
  std::vector<TIEPiece> out;
  out.reserve(static_cast<std::size_t>(N) + M);
  int x = 0, di = 0;
  double D = 0, L = 0;
  for (std::int64_t k = 0; k < static_cast<std::int64_t>(N) + M; ++k) {
    TIEPiece p;
    if ((x + 1) + 0.0001 < D + R) {
      p = {(x + 1) - L, 1.0, x, di};
      ++x;
    } else {
      D += R;
      p = {D - L, D - x, x, di};
      ++di;
    }
    L += p.Len;
    p.Src = std::min(p.Src, N - 1);
    out.push_back(p);
  }
  return out;
}

// What the vertical step does with the per-row values: take them as they
// are, blend two rows linearly, or interpolate four rows cubically.
enum TIEVertKind { vkIdentity, vkLinear, vkCubic };

// The scalar walk, piece by piece: the reference for the vector paths and
// what runs when they are switched off or the processor lacks AVX2.
template <typename Sample>
void AreaResample(TIEBitmap* Src, TIEBitmap* Dst, int Mode, int Ch, double Max, TObject* Sender,
                  const TIEProgressEvent& OnProgress) {
  const int sw = Src->Width(), sh = Src->Height(), dw = Dst->Width(), dh = Dst->Height();
  const double XR = static_cast<double>(sw) / dw, YR = static_cast<double>(sh) / dh;
  const int Case = (XR < 1 && YR < 1) ? 0 : (XR < 1) ? 1 : (YR < 1) ? 2 : 3;
  const bool cubic = Mode == 1;
  // Row tables keep every thread on disk-buffered bitmaps too.
  TIERowTable src(Src);
  TIERowWriter dst(Dst);

  // Column pieces of non-zero length (a piece of length 0 adds nothing).
  std::vector<TIEPiece> cols;
  for (const auto& p : CutPieces(sw, dw, XR))
    if (p.Len != 0 && p.Dst < dw) cols.push_back(p);
  std::vector<TIEPiece> rows = CutPieces(sh, dh, YR);
  std::vector<TIECubicWeights> colW;
  if (cubic)
    for (const auto& p : cols) colW.push_back(CubicWeights(p.T));

  // Horizontal step per source row: interpolate across x at TX when
  // enlarging horizontally (rounded first in the bicubic case 0), else the
  // plain sample.
  const bool hInterp = Case == 0 || Case == 1;
  const TIEVertKind vk = (Case == 0 || Case == 2) ? (cubic ? vkCubic : vkLinear) : vkIdentity;
  const bool roundH = cubic && Case == 0;
  const std::size_t nk = cols.size();
  auto sample = [&](const Sample* row, int x, int c) {
    return static_cast<int>(row[static_cast<std::size_t>(x) * Ch + c]);
  };
  auto buildH = [&](int r, std::vector<double>& H) {
    const Sample* row = reinterpret_cast<const Sample*>(src.Walk(r));
    H.resize(nk * Ch);
    for (std::size_t k = 0; k < nk; ++k) {
      const TIEPiece& p = cols[k];
      int x = p.Src;
      for (int c = 0; c < Ch; ++c) {
        double v;
        if (!hInterp) {
          v = sample(row, x, c);
        } else if (!cubic) {
          int x1 = std::min(x + 1, sw - 1);
          v = (1 - p.T) * sample(row, x, c) + p.T * sample(row, x1, c);
        } else {
          int xm = std::max(x - 1, 0), x1 = std::min(x + 1, sw - 1), x2 = std::min(x + 2, sw - 1);
          v = Cubic4(sample(row, xm, c), sample(row, x, c), sample(row, x1, c), sample(row, x2, c), colW[k],
                     0, Max);
          if (roundH) v = std::nearbyint(v);
        }
        H[k * Ch + c] = v;
      }
    }
  };

  const double inv = 1 / (XR * YR);
  // Piece widths per sample, and whether every destination pixel has exactly
  // one piece in row order (then the accumulators add row against row).
  std::vector<double> pwx(nk * Ch);
  bool direct = nk == static_cast<std::size_t>(dw);
  for (std::size_t k = 0; k < nk; ++k) {
    for (int c = 0; c < Ch; ++c) pwx[k * Ch + c] = cols[k].Len;
    direct = direct && cols[k].Dst == static_cast<int>(k);
  }
  const bool watched = static_cast<bool>(OnProgress);
  // Row pieces grouped by destination row, so that bands of destination
  // rows can run apart and still add their pieces in the same order.
  std::vector<std::size_t> firstPiece(static_cast<std::size_t>(dh) + 1, rows.size());
  for (std::size_t i = rows.size(); i-- > 0;)
    if (rows[i].Dst < dh) firstPiece[static_cast<std::size_t>(rows[i].Dst)] = i;
  for (int y = dh - 1; y >= 0; --y) firstPiece[y] = std::min(firstPiece[y], firstPiece[y + 1]);

  int n = watched ? 1 : IEResampleThreadCount();
  IERunBands(dh, n, [&](int, int first, int count) {
    // A small cache of per-row values keyed by source row.
    struct Slot {
      int Row = -1;
      std::vector<double> H;
    };
    Slot slots[4];
    // Rows are asked for in increasing order, four at most per piece: the
    // slot of the lowest row is never one of those still in use.
    auto rowH = [&](int r) -> const std::vector<double>& {
      r = std::clamp(r, 0, sh - 1);
      Slot* victim = &slots[0];
      for (auto& s : slots) {
        if (s.Row == r) return s.H;
        if (s.Row < victim->Row) victim = &s;
      }
      Slot& s = *victim;
      buildH(r, s.H);
      s.Row = r;
      return s.H;
    };
    std::vector<double> acc(static_cast<std::size_t>(dw) * Ch);
    std::vector<double> v(nk * Ch);
    // Adds a row of piece values into the accumulators of their pixels.
    auto accumulate = [&](const double* val, double ph) {
      if (direct) {
        for (std::size_t j = 0; j < nk * Ch; ++j) acc[j] += val[j] * pwx[j] * ph;
        return;
      }
      for (std::size_t k = 0; k < nk; ++k) {
        double* a = &acc[static_cast<std::size_t>(cols[k].Dst) * Ch];
        for (int c = 0; c < Ch; ++c) a[c] += val[k * Ch + c] * cols[k].Len * ph;
      }
    };
    for (int y = first; y < first + count; ++y) {
      std::fill(acc.begin(), acc.end(), 0.0);
      for (std::size_t i = firstPiece[y]; i < rows.size() && rows[i].Dst == y; ++i) {
        const TIEPiece& rp = rows[i];
        if (rp.Len == 0) continue;
        const double ph = rp.Len, TY = rp.T;
        const int sy = rp.Src;
        if (vk == vkIdentity) {
          accumulate(rowH(sy).data(), ph);
          continue;
        }
        if (vk == vkLinear) {
          const auto& H0 = rowH(sy);
          const auto& H1 = rowH(sy + 1);
          LinearRow(H0.data(), H1.data(), TY, v.data(), nk * Ch);
        } else {
          const auto& Hm = rowH(sy - 1);
          const auto& H0 = rowH(sy);
          const auto& H1 = rowH(sy + 1);
          const auto& H2 = rowH(sy + 2);
          CubicRow(Hm.data(), H0.data(), H1.data(), H2.data(), CubicWeights(TY), Max, v.data(), nk * Ch);
        }
        accumulate(v.data(), ph);
      }
      Sample* d = reinterpret_cast<Sample*>(dst.Row(y));
      for (std::size_t j = 0; j < acc.size(); ++j)
        d[j] = static_cast<Sample>(RoundClamp(acc[j] * inv, 0, static_cast<std::int32_t>(Max)));
      dst.Done(y);
      if (watched) OnProgress(Sender, static_cast<int>(Trunc(static_cast<double>(y + 1) / dh * 100)));
    }
  });
}

// The index of the one weight of N that is exactly 1 while the others are
// exactly 0, or -1.
int UnitTap(const double* W, int N) {
  int u = -1;
  for (int t = 0; t < N; ++t) {
    const double w = W[t];
    if (w == 1 && u < 0)
      u = t;
    else if (w != 0)
      return -1;
  }
  return u;
}

// The smallest q up to 24 for which V x 2^q is a whole number, or 99.
int FractionBits(double V) {
  for (int q = 0; q <= 24; ++q) {
    const double v = std::ldexp(V, q);
    if (v == std::floor(v)) return q;
  }
  return 99;
}

// True when every product and partial sum of the walk is a multiple of 2^-G
// below 2^(24 - G) for its G: then float holds each one exactly, as double
// does, and the float rows give the same results. Bounds: samples below Max,
// weights of at most Q fraction bits summing (in magnitude) to at most S.
bool ExactInFloat(const TIEAreaCols& T, const std::vector<TIEPiece>& Cols, const std::vector<TIEPiece>& Rows,
                  TIEAreaHKind hk, TIEAreaVKind vk, double Max) {
  constexpr double kLimit = 16777216.0;  // 2^24
  const std::size_t cells = T.X.size();
  const int taps = hk == ahSample ? 0 : hk == ahLinear ? 2 : 4;
  int qh = 0;
  double sh = 1;
  for (std::size_t i = 0; i < cells && taps > 0; ++i) {
    double sum = 0;
    for (int t = 0; t < taps; ++t) {
      qh = std::max(qh, FractionBits(T.W[t][i]));
      if (qh > 24) return false;
      sum += std::fabs(T.W[t][i]);
    }
    sh = std::max(sh, sum);
  }
  if (Max * sh * std::ldexp(1.0, qh) >= kLimit) return false;
  // The piece values: whole numbers when sampled or rounded.
  const int gH = (hk == ahSample || hk == ahCubicRounded) ? 0 : qh;
  const double bH = hk == ahLinear ? Max * sh : Max;
  int qv = 0, qw = 0, qp = 0;
  double sv = 1, pwSum = 0, phSum = 0;
  for (const auto& p : Cols)
    if ((qw = std::max(qw, FractionBits(p.Len))) > 24) return false;
  std::vector<double> perPixel(static_cast<std::size_t>(T.Dw), 0.0);
  for (const auto& p : Cols) perPixel[static_cast<std::size_t>(p.Dst)] += p.Len;
  for (double v : perPixel) pwSum = std::max(pwSum, v);
  double rowSum = 0;
  int rowDst = -1;
  for (const auto& p : Rows) {
    if (p.Len == 0) continue;
    if ((qp = std::max(qp, FractionBits(p.Len))) > 24) return false;
    rowSum = p.Dst == rowDst ? rowSum + p.Len : p.Len;
    rowDst = p.Dst;
    phSum = std::max(phSum, rowSum);
    if (vk == avLinear || vk == avCubic) {
      double w[4] = {1 - p.T, p.T, 0, 0};
      if (vk == avCubic) {
        TIECubicWeights k = CubicWeights(p.T);
        std::copy(k.w, k.w + 4, w);
      }
      double sum = 0;
      for (double x : w) {
        if ((qv = std::max(qv, FractionBits(x))) > 24) return false;
        sum += std::fabs(x);
      }
      sv = std::max(sv, sum);
    }
  }
  const int gV = gH + qv;
  if (gV > 24 || bH * sv * std::ldexp(1.0, gV) >= kLimit) return false;
  const double bV = vk == avCubic ? Max : bH * sv;
  const int gA = gV + qw + qp;
  return gA <= 24 && bV * pwSum * phSum * std::ldexp(1.0, gA) < kLimit;
}

bool AreaResampleFloat(TIEBitmap* Src, TIEBitmap* Dst, int Mode, int Ch, TObject* Sender,
                       const TIEProgressEvent& OnProgress);

// The vector engine: the same pieces, products and sums as AreaResample,
// with the column pieces laid out in slots per destination pixel so that
// four destination pixels of a channel move together.
template <typename Sample>
void AreaResampleAVX2(TIEBitmap* Src, TIEBitmap* Dst, int Mode, int Ch, double Max, TObject* Sender,
                      const TIEProgressEvent& OnProgress) {
  const int sw = Src->Width(), sh = Src->Height(), dw = Dst->Width(), dh = Dst->Height();
  const double XR = static_cast<double>(sw) / dw, YR = static_cast<double>(sh) / dh;
  const int Case = (XR < 1 && YR < 1) ? 0 : (XR < 1) ? 1 : (YR < 1) ? 2 : 3;
  const bool cubic = Mode == 1;
  const TIEAreaHKind hk = (Case == 2 || Case == 3) ? ahSample
                          : !cubic                 ? ahLinear
                          : Case == 0              ? ahCubicRounded
                                                   : ahCubic;
  // Reducing both ways, the piece values are the samples themselves: they
  // are taken straight from the source row.
  const TIEAreaVKind vk = (Case == 0 || Case == 2) ? (cubic ? avCubic : avLinear)
                          : Case == 3              ? avSamples
                                                   : avIdentity;

  TIEAreaCols T;
  T.Dw = dw;
  T.Dwp = (dw + 3) / 4 * 4;
  std::vector<TIEPiece> cols;
  for (const auto& p : CutPieces(sw, dw, XR))
    if (p.Len != 0 && p.Dst < dw) cols.push_back(p);
  std::vector<int> slot(static_cast<std::size_t>(dw), 0);
  for (const auto& p : cols) T.P = std::max(T.P, ++slot[static_cast<std::size_t>(p.Dst)]);
  const std::size_t cells = static_cast<std::size_t>(T.P) * T.Dwp;
  T.X.assign(cells, 0);
  T.Unit.assign(cells, -1);
  T.PW.assign(cells, 0.0);
  for (auto& w : T.W) w.assign(cells, 0.0);
  std::fill(slot.begin(), slot.end(), 0);
  for (const auto& p : cols) {
    const std::size_t i = static_cast<std::size_t>(slot[static_cast<std::size_t>(p.Dst)]++) * T.Dwp + p.Dst;
    T.X[i] = p.Src;
    T.PW[i] = p.Len;
    if (hk == ahLinear) {
      const double w[2] = {1 - p.T, p.T};
      T.W[0][i] = w[0];
      T.W[1][i] = w[1];
      // Linear taps are columns x and x + 1, pixels 1 and 2 from x - 1.
      const int u = UnitTap(w, 2);
      T.Unit[i] = static_cast<std::int8_t>(u < 0 ? -1 : u + 1);
    } else if (hk == ahCubic || hk == ahCubicRounded) {
      TIECubicWeights k = CubicWeights(p.T);
      for (int t = 0; t < 4; ++t) T.W[t][i] = k.w[t];
      T.Unit[i] = static_cast<std::int8_t>(UnitTap(k.w, 4));
    }
  }

  std::vector<TIEPiece> rows = CutPieces(sh, dh, YR);
  std::vector<std::size_t> firstPiece(static_cast<std::size_t>(dh) + 1, rows.size());
  for (std::size_t i = rows.size(); i-- > 0;)
    if (rows[i].Dst < dh) firstPiece[static_cast<std::size_t>(rows[i].Dst)] = i;
  for (int y = dh - 1; y >= 0; --y) firstPiece[y] = std::min(firstPiece[y], firstPiece[y + 1]);

  const double inv = 1 / (XR * YR);
  if (ExactInFloat(T, cols, rows, hk, vk, Max)) {
    T.Single = true;
    int e = 0;
    T.ExactInv = std::frexp(inv, &e) == 0.5;
    auto spread = [&](const std::vector<double>& v, std::vector<float>& out) {
      out.resize(4 * v.size());
      for (std::size_t i = 0; i < v.size(); ++i)
        for (int l = 0; l < 4; ++l) out[4 * i + l] = static_cast<float>(v[i]);
    };
    for (int t = 0; t < 4; ++t) spread(T.W[t], T.WX[t]);
    spread(T.PW, T.PWX);
  }
  // Other enlargements of bytes take the checked float rows.
  if constexpr (sizeof(Sample) == 1)
    if (!T.Single && AreaResampleFloat(Src, Dst, Mode, Ch, Sender, OnProgress)) return;
  const bool watched = static_cast<bool>(OnProgress);
  const bool wide = IEResampleUseAVX512();
  const std::size_t hSize = 4 * cells;
  int n = watched ? 1 : IEResampleThreadCount();
  TIERowTable src(Src);
  TIERowWriter dst(Dst);
  // Per worker: a source row in pixel form, four rows of piece values
  // (keyed by source row) and the sums of a destination row.
  struct alignas(64) TWorker {
    std::vector<double> Px, H, Acc;
    int PxRow = -1;
    int SlotRow[4] = {-1, -1, -1, -1};
    std::vector<std::size_t> Pieces;
  };
  std::vector<TWorker> workers(static_cast<std::size_t>(n));
  const int chunk = std::max(8, dh / (4 * n));
  IERunChunks(dh, n, chunk, [&](int t, int first, int count) {
    TWorker& wk = workers[static_cast<std::size_t>(t)];
    if (wk.Px.empty()) {
      wk.Px.resize((static_cast<std::size_t>(sw) + 3) * 4);
      wk.H.resize(vk == avSamples ? 0 : 4 * hSize);
      wk.Acc.resize(4 * static_cast<std::size_t>(T.Dwp));
    }
    auto &px = wk.Px, &hBuf = wk.H, &acc = wk.Acc;
    auto& pieces = wk.Pieces;
    int& pxRow = wk.PxRow;
    int* slotRow = wk.SlotRow;
    auto toPixels = [&](int r) {
      if (pxRow == r) return;
      const std::uint8_t* row = src.Walk(r);
      if constexpr (sizeof(Sample) == 1)
        IEAreaPixels8_AVX2(row, sw, Ch, T.Single, px.data());
      else
        IEAreaPixels16_AVX2(reinterpret_cast<const std::uint16_t*>(row), sw, Ch, T.Single, px.data());
      pxRow = r;
    };
    auto rowH = [&](int r) -> const void* {
      r = std::clamp(r, 0, sh - 1);
      if (vk == avSamples) {
        toPixels(r);
        return static_cast<const void*>(px.data());
      }
      int victim = 0;
      for (int i = 0; i < 4; ++i) {
        if (slotRow[i] == r) return static_cast<const void*>(hBuf.data() + i * hSize);
        if (slotRow[i] < slotRow[victim]) victim = i;
      }
      toPixels(r);
      double* H = hBuf.data() + victim * hSize;
      (wide ? IEAreaRowH_AVX512 : IEAreaRowH_AVX2)(T, hk, px.data(), Max, H);
      slotRow[victim] = r;
      return static_cast<const void*>(H);
    };
    for (int y = first; y < first + count; ++y) {
      pieces.clear();
      for (std::size_t i = firstPiece[y]; i < rows.size() && rows[i].Dst == y; ++i)
        if (rows[i].Len != 0) pieces.push_back(i);
      std::uint8_t* d = dst.Row(y);
      const TIEAreaOut out{inv, static_cast<int>(sizeof(Sample)), d};
      if (pieces.empty()) std::fill(d, d + static_cast<std::size_t>(dw) * Ch * sizeof(Sample), 0);
      for (std::size_t k = 0; k < pieces.size(); ++k) {
        const TIEPiece& rp = rows[pieces[k]];
        const void* R[4] = {nullptr, nullptr, nullptr, nullptr};
        double VW[4] = {0, 0, 0, 0};
        if (vk == avSamples || vk == avIdentity) {
          R[0] = rowH(rp.Src);
        } else if (vk == avLinear) {
          R[0] = rowH(rp.Src);
          R[1] = rowH(rp.Src + 1);
          VW[0] = 1 - rp.T;
          VW[1] = rp.T;
        } else {
          for (int t = 0; t < 4; ++t) R[t] = rowH(rp.Src - 1 + t);
          TIECubicWeights kw = CubicWeights(rp.T);
          for (int t = 0; t < 4; ++t) VW[t] = kw.w[t];
        }
        // Rows with a unit weight pass one row on as it is: its values lie in
        // 0..Max already (cubic rows hold clamped or sampled whole numbers).
        TIEAreaVKind kind = vk;
        if (const int u = UnitTap(VW, vk == avLinear ? 2 : vk == avCubic ? 4 : 0); u >= 0) {
          kind = avIdentity;
          R[0] = R[u];
        }
        (wide ? IEAreaAccumulate_AVX512 : IEAreaAccumulate_AVX2)(T, kind, IEAreaCompact(hk), Ch, R, VW, Max,
                                                                 rp.Len, k == 0, acc.data(),
                                                                 k + 1 == pieces.size() ? &out : nullptr);
      }
      dst.Done(y);
      if (watched) OnProgress(Sender, static_cast<int>(Trunc(static_cast<double>(y + 1) / dh * 100)));
    }
  });
}

// Enlargement both ways of 8-bit samples in float, checked (the AVX2 and
// AVX-512 rows of resample_area_float.h): channels packed, the pieces
// walked in order, the sums of a destination row's pieces kept per
// destination pixel (its last piece) and per source pixel (a first piece,
// which is a source sample) and weighed into pixels strip by strip. False
// when the rows do not apply (then the double engine runs).
//
// Why the bytes stay those of the walk: let R be the value of the walk's
// formula in exact arithmetic, its weights being the doubles the walk uses.
// The walk's double result lies within Ed of R and the float one within Ef,
// bounds worked out below from the sizes of every term; a float result
// further than Ef + Ed from the middle between two whole numbers therefore
// rounds as the walk's does, and one nearer is flagged and taken again in
// double, the walk's own way. The bicubic piece values are rounded to whole
// numbers on the way: they are checked the same way, so they are the walk's
// exactly. Clamping to 0..Max moves no value further from another.
std::atomic<bool> gCheckAll{false};

bool AreaResampleFloat(TIEBitmap* Src, TIEBitmap* Dst, int Mode, int Ch, TObject* Sender,
                       const TIEProgressEvent& OnProgress) {
  const int sw = Src->Width(), sh = Src->Height(), dw = Dst->Width(), dh = Dst->Height();
  const double XR = static_cast<double>(sw) / dw, YR = static_cast<double>(sh) / dh;
  if (!(XR < 1 && YR < 1) || (Ch != 1 && Ch != 3) || !IEResampleUseAVX2()) return false;
  const bool wide = IEResampleUseAVX512();
  const bool cubic = Mode == 1;
  constexpr double Max = 255;
  TIEAreaFloatTables T;
  T.Ch = Ch;
  T.VL = wide ? 16 : 8;
  T.Cubic = cubic;
  T.Max = static_cast<float>(Max);
  const int VL = T.VL, W = 2 * VL;

  std::vector<TIEPiece> cols;
  for (const auto& p : CutPieces(sw, dw, XR))
    if (p.Len != 0 && p.Dst < dw) cols.push_back(p);
  const int nc = static_cast<int>(cols.size());
  std::vector<TIECubicWeights> colW(cols.size());
  for (std::size_t c = 0; c < cols.size(); ++c)
    colW[c] = cubic ? CubicWeights(cols[c].T) : TIECubicWeights{{0, 1 - cols[c].T, cols[c].T, 0}};
  // Pieces of every destination pixel: at most two when enlarging.
  std::vector<int> firstCol(static_cast<std::size_t>(dw) + 1, nc);
  for (int c = nc; c-- > 0;) firstCol[static_cast<std::size_t>(cols[c].Dst)] = c;
  for (int x = dw - 1; x >= 0; --x) firstCol[x] = std::min(firstCol[x], firstCol[x + 1]);
  double PWs = 0, SH = 0;
  for (int x = 0; x < dw; ++x) {
    const int n = firstCol[x + 1] - firstCol[x];
    if (n < 1 || n > 2) return false;
    double s = 0;
    for (int c = firstCol[x]; c < firstCol[x + 1]; ++c) s += cols[c].Len;
    PWs = std::max(PWs, s);
  }
  for (const auto& w : colW)
    SH = std::max(SH, std::fabs(w.w[0]) + std::fabs(w.w[1]) + std::fabs(w.w[2]) + std::fabs(w.w[3]));

  std::vector<TIEPiece> rows = CutPieces(sh, dh, YR);
  std::vector<std::size_t> firstPiece(static_cast<std::size_t>(dh) + 1, rows.size());
  for (std::size_t i = rows.size(); i-- > 0;)
    if (rows[i].Dst < dh) firstPiece[static_cast<std::size_t>(rows[i].Dst)] = i;
  for (int y = dh - 1; y >= 0; --y) firstPiece[y] = std::min(firstPiece[y], firstPiece[y + 1]);
  double PHs = 0, SV = 0;
  int NR = 0;
  for (int y = 0; y < dh; ++y) {
    double s = 0;
    int n = 0;
    for (std::size_t i = firstPiece[y]; i < rows.size() && rows[i].Dst == y; ++i) {
      if (rows[i].Len == 0) continue;
      s += rows[i].Len;
      ++n;
      const TIEPiece& p = rows[i];
      const TIECubicWeights k = cubic ? CubicWeights(p.T) : TIECubicWeights{{1 - p.T, p.T, 0, 0}};
      SV = std::max(SV, std::fabs(k.w[0]) + std::fabs(k.w[1]) + std::fabs(k.w[2]) + std::fabs(k.w[3]));
    }
    PHs = std::max(PHs, s);
    NR = std::max(NR, n);
  }
  // Enlarging, a destination row has one or two pieces.
  if (NR > 2) return false;
  const double inv = 1 / (XR * YR);

  // The bounds, u being the unit roundoff of float (2^-24). A weight
  // rounded to float is off by at most u of itself (1.01 u when it is first
  // a product in double), a product or fused step by u of its result; the
  // sum of n terms so taken is off by at most n u (1 + n u) of the sum of
  // their magnitudes. Values lie in 0..Max, weights sum in magnitude to at
  // most SH across and SV down.
  constexpr double u = 0x1p-24;
  // The walk's own result is within some 1e-13 of Max of R.
  const double Ed = 1e-9 * Max;
  // A piece value: four (two) weights rounded, four (two) steps. Rounded
  // cubic ones come out exact once checked.
  const double eHf = (cubic ? 5.01 : 3.01) * u * Max * SH;
  const double Hm = cubic ? Max : Max * SH, eH = cubic ? 0 : eHf;
  // A row piece's value per unit of its height PH (which the weights and the
  // clamp's bound carry, each rounded once): the weighed sum of the piece
  // values, and for the cubic the clamp to a bound off by 1.01 u of Max.
  const double ev = cubic ? Max * u * (5.01 * SV + 1.01) : SV * eH + 3.01 * u * SV * (Hm + eH);
  const double Vm = cubic ? Max : SV * (Hm + eH);
  // The sum of a destination row's (NR) pieces, their heights within PHs.
  const double eA = PHs * ev + (NR - 1) * 1.01 * u * PHs * (Vm + ev);
  // The finished value: one product and one fused step over NC sums whose
  // weights (width / area) are rounded once; inv x PWs x PHs is 1 give or
  // take rounding.
  const double Ef = 1.01 * (inv * PWs * eA + 3.05 * u * inv * PWs * (PHs * (Vm + ev) + eA));
  const double E = Ef + Ed;
  if (E > 0.01 || eHf + Ed > 0.01) return false;
  // The limits as floats no larger than the exact ones.
  auto below = [](double v) {
    float f = static_cast<float>(v);
    return f > v ? std::nextafter(f, 0.0f) : f;
  };
  const bool all = gCheckAll.load(std::memory_order_relaxed);
  T.HLimit = all ? 0 : below(0.5 - eHf - Ed);
  T.OLimit = all ? 0 : below(0.5 - E);

  // Every destination pixel's last piece (the one that ends on its right
  // edge) gets its value from the rows of piece values, laid out by pixel;
  // a pixel of two pieces starts with the piece that ends on a source
  // pixel's edge, whose value is that sample itself (its one weight is 1,
  // the others 0), so it is read from the source row, laid out by source
  // pixel.
  auto lastCol = [&](int x) { return firstCol[x + 1] - 1; };
  for (int x = 0; x < dw; ++x)
    if (firstCol[x + 1] - firstCol[x] == 2) {
      const TIECubicWeights& k = colW[firstCol[x]];
      const double w4[4] = {k.w[0], k.w[1], k.w[2], k.w[3]};
      if (UnitTap(w4, 4) != 2) return false;
    }
  // Piece value blocks of VL lanes (pixels): tap t of every lane lies in the
  // window that starts t pixels on from pixel x - 1 of the block's first
  // piece.
  T.Lanes = dw * Ch;
  T.ULanes = sw * Ch;
  T.OutLanes = dw * Ch;
  T.HAdv = VL;
  const int hBlocks = (T.Lanes + VL - 1) / VL;
  T.HBase.resize(static_cast<std::size_t>(hBlocks));
  T.HIdx.assign(static_cast<std::size_t>(hBlocks) * VL, 0);
  T.HW.assign(static_cast<std::size_t>(hBlocks) * 4 * VL, 0.0f);
  for (int b = 0; b < hBlocks; ++b) {
    const int c0 = lastCol(b * VL / Ch);
    T.HBase[b] = cols[c0].Src * Ch;  // pixel Src - 1 of the padded row
    for (int l = 0; l < VL && b * VL + l < T.Lanes; ++l) {
      const int c = lastCol((b * VL + l) / Ch), k = (b * VL + l) % Ch,
                at = (cols[c].Src - cols[c0].Src) * Ch + k;
      if (at < 0 || at >= W) return false;
      T.HIdx[static_cast<std::size_t>(b) * VL + l] = at;
      for (int t = 0; t < 4; ++t)
        T.HW[(static_cast<std::size_t>(b) * 4 + t) * VL + l] = static_cast<float>(colW[c].w[t]);
    }
  }
  // Finished blocks of VL lanes: the last piece's sum of the same lane, and
  // the first piece's sum from the window at UBase of the source pixel sums.
  const int oBlocks = hBlocks;
  T.UBase.resize(static_cast<std::size_t>(oBlocks));
  T.UNeed.resize(static_cast<std::size_t>(oBlocks));
  T.UIdx.assign(static_cast<std::size_t>(oBlocks) * VL, 0);
  T.OW.assign(static_cast<std::size_t>(oBlocks) * 2 * VL, 0.0f);
  for (int o = 0; o < oBlocks; ++o) {
    const int s0 = cols[firstCol[o * VL / Ch]].Src;
    T.UBase[o] = s0 * Ch;
    T.UNeed[o] = s0 * Ch + W;
    for (int l = 0; l < VL && o * VL + l < T.OutLanes; ++l) {
      const int x = (o * VL + l) / Ch, k = (o * VL + l) % Ch, c = firstCol[x], two = lastCol(x) != c;
      const int at = (cols[c].Src - s0) * Ch + k;
      if (at < 0 || at >= W) return false;
      const std::size_t w = static_cast<std::size_t>(o) * 2 * VL + l;
      T.UIdx[static_cast<std::size_t>(o) * VL + l] = at;
      T.OW[w] = static_cast<float>(cols[lastCol(x)].Len * inv);
      T.OW[w + VL] = two ? static_cast<float>(cols[c].Len * inv) : 0.0f;
    }
  }

  // The walk's value of one sample, for the flagged ones.
  TIERowTable src(Src);
  auto sample = [&](int r, int x, int k) {
    return static_cast<int>(
        src[std::clamp(r, 0, sh - 1)][static_cast<std::size_t>(std::clamp(x, 0, sw - 1)) * Ch + k]);
  };
  auto pieceValue = [&](int r, int c, int k) {
    const int x = cols[c].Src;
    if (!cubic) return (1 - cols[c].T) * sample(r, x, k) + cols[c].T * sample(r, x + 1, k);
    return std::nearbyint(Cubic4(sample(r, x - 1, k), sample(r, x, k), sample(r, x + 1, k),
                                 sample(r, x + 2, k), colW[c], 0, Max));
  };
  // The walk's value of sample k of pixel x from the row pieces of its
  // destination row: their heights, vertical weights and rows (for the
  // cubic, the rows of piece values and the source rows held, whose values
  // are the walk's).
  struct TRowPiece {
    const TIEPiece* P;
    TIECubicWeights K;
    const float* H[4];
    const float* Px[4];
  };
  auto walkValue = [&](const TRowPiece* Pieces, int Count, int x, int k) {
    double acc = 0;
    for (int i = 0; i < Count; ++i) {
      const TRowPiece& rp = Pieces[i];
      for (int c = firstCol[x]; c <= lastCol(x); ++c) {
        double v;
        if (cubic) {
          // The last piece's value by pixel, a first one's (sample Src + 1)
          // by source pixel.
          const bool last = c == lastCol(x);
          const std::size_t l = last ? static_cast<std::size_t>(x) * Ch + k
                                     : static_cast<std::size_t>(cols[c].Src + 2) * Ch + k;
          const float* const* from = last ? rp.H : rp.Px;
          v = Cubic4(static_cast<int>(from[0][l]), static_cast<int>(from[1][l]), static_cast<int>(from[2][l]),
                     static_cast<int>(from[3][l]), rp.K, 0, Max);
        } else {
          v = (1 - rp.P->T) * pieceValue(rp.P->Src, c, k) + rp.P->T * pieceValue(rp.P->Src + 1, c, k);
        }
        acc += v * cols[c].Len * rp.P->Len;
      }
    }
    return static_cast<std::uint8_t>(RoundClamp(acc * inv, 0, static_cast<std::int32_t>(Max)));
  };

  const auto pixels = wide ? IEAreaFloatPixels_AVX512 : IEAreaFloatPixels_AVX2;
  const auto rowH = wide ? IEAreaFloatRowH_AVX512 : IEAreaFloatRowH_AVX2;
  const auto vert = wide ? IEAreaFloatVert_AVX512 : IEAreaFloatVert_AVX2;
  const auto finish = wide ? IEAreaFloatFinish_AVX512 : IEAreaFloatFinish_AVX2;
  // Rows of lanes with room for a vector and a window past their end.
  const int lanesPad = (T.Lanes + VL - 1) / VL * VL, uPad = (T.ULanes + VL - 1) / VL * VL;
  const std::size_t rowLen = static_cast<std::size_t>(lanesPad + 2 * W);
  const std::size_t uLen = static_cast<std::size_t>(uPad + 2 * W);
  constexpr int kStrip = 48;
  // Source rows as floats: pixel x at (x + 1) x Ch; sample x + 1 of source
  // pixel x (the first pieces' values) at (x + 2) x Ch.
  const std::size_t pxLen = static_cast<std::size_t>(sw + 3) * Ch + 2 * W;
  const int uAt = 2 * Ch;
  const bool watched = static_cast<bool>(OnProgress);
  const int n = watched ? 1 : IEResampleThreadCount();
  TIERowWriter dst(Dst);
  // Five source rows per worker, as floats and as piece values: the rows of
  // a destination row's pieces (at most two pieces, five rows, when
  // enlarging) all stay for the flagged values; rows are asked for in
  // increasing order, so the slot of the lowest row is never one still
  // needed.
  constexpr int kSlots = 5;
  struct alignas(64) TWorker {
    std::vector<float> Px, H, A, AU;
    std::vector<std::int32_t> Flags;
    int SlotRow[kSlots] = {-1, -1, -1, -1, -1};
  };
  std::vector<TWorker> workers(static_cast<std::size_t>(n));
  IERunChunks(dh, n, std::max(8, dh / (2 * n)), [&](int t, int first, int count) {
    TWorker& wk = workers[static_cast<std::size_t>(t)];
    if (wk.Px.empty()) {
      wk.Px.assign(kSlots * pxLen, 0.0f);
      wk.H.assign(kSlots * rowLen, 0.0f);
      wk.A.assign(rowLen, 0.0f);
      wk.AU.assign(uLen, 0.0f);
      wk.Flags.resize(static_cast<std::size_t>(T.Lanes + W));
    }
    // The slot of source row r, made when missing.
    auto slotOf = [&](int r) {
      r = std::clamp(r, 0, sh - 1);
      int victim = 0;
      for (int i = 0; i < kSlots; ++i) {
        if (wk.SlotRow[i] == r) return i;
        if (wk.SlotRow[i] < wk.SlotRow[victim]) victim = i;
      }
      float* px = wk.Px.data() + victim * pxLen;
      float* H = wk.H.data() + victim * rowLen;
      pixels(src.Walk(r), sw, Ch, px);
      const int flagged = rowH(T, px, H, wk.Flags.data());
      for (int f = 0; f < flagged; ++f) {
        const int l = wk.Flags[static_cast<std::size_t>(f)];
        H[l] = static_cast<float>(pieceValue(r, lastCol(l / Ch), l % Ch));
      }
      wk.SlotRow[victim] = r;
      return victim;
    };
    for (int y = first; y < first + count; ++y) {
      std::uint8_t* d = dst.Row(y);
      const float *R[8], *RU[8];
      float VW[8], Hi[2];
      TRowPiece redo[2];
      int pieces = 0, unit = 0;
      for (std::size_t i = firstPiece[y]; i < rows.size() && rows[i].Dst == y; ++i) {
        const TIEPiece& rp = rows[i];
        if (rp.Len == 0) continue;
        // The piece's height goes into the weights (and the bound of the
        // clamp): (V held to 0..Max) x PH is V x PH held to 0..Max x PH.
        const double ph = rp.Len;
        const float** r = R + 4 * pieces;
        const float** ru = RU + 4 * pieces;
        float* w = VW + 4 * pieces;
        for (int k = 0; k < 4; ++k) {
          const int at = slotOf(cubic ? rp.Src - 1 + k : rp.Src + std::min(k, 1));
          r[k] = wk.H.data() + at * rowLen;
          ru[k] = wk.Px.data() + at * pxLen + uAt;
        }
        if (cubic) {
          const TIECubicWeights kw = CubicWeights(rp.T);
          for (int k = 0; k < 4; ++k) w[k] = static_cast<float>(kw.w[k] * ph);
        } else {
          w[0] = static_cast<float>((1 - rp.T) * ph);
          w[1] = static_cast<float>(rp.T * ph);
          w[2] = w[3] = 0;
        }
        redo[pieces] = {&rp,
                        CubicWeights(rp.T),
                        {r[0], r[1], r[2], r[3]},
                        {ru[0] - uAt, ru[1] - uAt, ru[2] - uAt, ru[3] - uAt}};
        // A piece that ends on a source row's edge takes that row as it is.
        const double unitW[4] = {redo[pieces].K.w[0], redo[pieces].K.w[1], redo[pieces].K.w[2],
                                 redo[pieces].K.w[3]};
        const double linW[2] = {1 - rp.T, rp.T};
        if (const int u = cubic ? UnitTap(unitW, 4) : UnitTap(linW, 2); u >= 0) {
          r[0] = r[u];
          ru[0] = ru[u];
          w[0] = static_cast<float>(ph);
          unit |= 1 << pieces;
        }
        Hi[pieces++] = static_cast<float>(Max * ph);
      }
      if (pieces == 0) {
        std::fill(d, d + static_cast<std::size_t>(dw) * Ch, 0);
      } else {
        // Strips of blocks, so that the sums are still in the first-level
        // cache when they are finished.
        int done = 0, doneU = 0, flagged = 0;
        for (int o = 0; o < oBlocks; o += kStrip) {
          const int oe = std::min(o + kStrip, oBlocks);
          const int need = std::min(oe * VL, lanesPad);
          const int needU = std::min((T.UNeed[oe - 1] + VL - 1) / VL * VL, uPad);
          if (need > done) vert(T, R, VW, Hi, pieces, unit, wk.A.data(), done, need);
          if (needU > doneU) vert(T, RU, VW, Hi, pieces, unit, wk.AU.data(), doneU, needU);
          done = std::max(done, need);
          doneU = std::max(doneU, needU);
          flagged += finish(T, wk.A.data(), wk.AU.data(), d, wk.Flags.data() + flagged, o, oe);
        }
        for (int f = 0; f < flagged; ++f) {
          const int l = wk.Flags[static_cast<std::size_t>(f)];
          d[l] = walkValue(redo, pieces, l / Ch, l % Ch);
        }
      }
      dst.Done(y);
      if (watched) OnProgress(Sender, static_cast<int>(Trunc(static_cast<double>(y + 1) / dh * 100)));
    }
  });
  return true;
}

// The smallest q (up to 12) for which every length times 2^q is a whole
// number no larger than 2^16, or -1.
int DyadicBits(const std::vector<TIEPiece>& Pieces) {
  for (int q = 0; q <= 12; ++q) {
    bool whole = true;
    for (const auto& p : Pieces) {
      const double v = std::ldexp(p.Len, q);
      if (v != std::floor(v) || v > 65536) {
        whole = false;
        break;
      }
    }
    if (whole) return q;
  }
  return -1;
}

// Reduction both ways where every piece is a multiple of 2^-q: then every
// product and partial sum of the walk is exact, so its sums are the integer
// box sums scaled by 2^-2q, which any order of addition gives. Rows are
// summed first, then columns; the sum x the inverse area is taken in double
// as in the walk. False when the pieces do not allow it.
template <typename Sample>
bool AreaBoxAVX2(TIEBitmap* Src, TIEBitmap* Dst, int Ch, double Max, TObject* Sender,
                 const TIEProgressEvent& OnProgress) {
  const int sw = Src->Width(), sh = Src->Height(), dw = Dst->Width(), dh = Dst->Height();
  const double XR = static_cast<double>(sw) / dw, YR = static_cast<double>(sh) / dh;
  if (XR < 1 || YR < 1) return false;
  std::vector<TIEPiece> cols, rows;
  for (const auto& p : CutPieces(sw, dw, XR))
    if (p.Len != 0 && p.Dst < dw) cols.push_back(p);
  for (const auto& p : CutPieces(sh, dh, YR))
    if (p.Len != 0 && p.Dst < dh) rows.push_back(p);
  const int qx = DyadicBits(cols), qy = DyadicBits(rows);
  if (qx < 0 || qy < 0) return false;
  const int q = std::max(qx, qy);
  auto sums = [&](const std::vector<TIEPiece>& v, int M, std::vector<std::uint32_t>& W,
                  std::vector<std::size_t>& first) {
    first.assign(static_cast<std::size_t>(M) + 1, v.size());
    double top = 0, sum = 0;
    W.resize(v.size());
    for (std::size_t i = v.size(); i-- > 0;) {
      W[i] = static_cast<std::uint32_t>(std::ldexp(v[i].Len, q));
      first[static_cast<std::size_t>(v[i].Dst)] = i;
    }
    for (int k = M - 1; k >= 0; --k) first[k] = std::min(first[k], first[k + 1]);
    for (int k = 0; k < M; ++k) {
      sum = 0;
      for (std::size_t i = first[k]; i < first[k + 1]; ++i) sum += W[i];
      top = std::max(top, sum);
    }
    return top;
  };
  std::vector<std::uint32_t> cw, rw;
  std::vector<std::size_t> cFirst, rFirst;
  const double cTop = sums(cols, dw, cw, cFirst), rTop = sums(rows, dh, rw, rFirst);
  // Box sums stay below 2^31.
  if (Max * cTop * rTop >= 2147483648.0) return false;
  std::vector<std::int32_t> cx(cols.size());
  for (std::size_t i = 0; i < cols.size(); ++i) cx[i] = cols[i].Src * Ch;

  const double inv = 1 / (XR * YR), scale = std::ldexp(1.0, -2 * q);
  const bool watched = static_cast<bool>(OnProgress);
  const std::size_t n = static_cast<std::size_t>(sw) * Ch, m = static_cast<std::size_t>(dw) * Ch;
  int threads = watched ? 1 : IEResampleThreadCount();
  TIERowTable src(Src);
  TIERowWriter dst(Dst);
  // Per worker: the row sums and column sums of a destination row, with one
  // spare sample past each: three channels move as four.
  struct alignas(64) TWorker {
    std::vector<std::uint32_t> V, S;
  };
  std::vector<TWorker> workers(static_cast<std::size_t>(threads));
  IERunChunks(dh, threads, std::max(4, dh / (8 * threads)), [&](int t, int first, int count) {
    TWorker& wk = workers[static_cast<std::size_t>(t)];
    if (wk.V.empty()) {
      wk.V.resize(n + 1);
      wk.S.resize(m + 1);
    }
    auto &v = wk.V, &s = wk.S;
    for (int y = first; y < first + count; ++y) {
      for (std::size_t i = rFirst[y]; i < rFirst[y + 1]; ++i) {
        const std::uint8_t* row = src.Walk(rows[i].Src);
        if constexpr (sizeof(Sample) == 1)
          IEAreaBoxAddRow8_AVX2(row, n, rw[i], i == rFirst[y], v.data());
        else
          IEAreaBoxAddRow16_AVX2(reinterpret_cast<const std::uint16_t*>(row), n, rw[i], i == rFirst[y],
                                 v.data());
      }
      if (rFirst[y] == rFirst[y + 1]) std::fill(v.begin(), v.end(), 0u);
      IEAreaBoxCols_AVX2(v.data(), Ch, dw, cFirst.data(), cx.data(), cw.data(), s.data());
      IEAreaBoxFinish_AVX2(s.data(), m, scale, inv, Max, static_cast<int>(sizeof(Sample)), dst.Row(y));
      dst.Done(y);
      if (watched) OnProgress(Sender, static_cast<int>(Trunc(static_cast<double>(y + 1) / dh * 100)));
    }
  });
  return true;
}

template <typename Sample>
void AreaResampleAny(TIEBitmap* Src, TIEBitmap* Dst, int Mode, int Ch, double Max, TObject* Sender,
                     const TIEProgressEvent& OnProgress) {
  if (IEResampleUseAVX2()) {
    if (AreaBoxAVX2<Sample>(Src, Dst, Ch, Max, Sender, OnProgress)) return;
    AreaResampleAVX2<Sample>(Src, Dst, Mode, Ch, Max, Sender, OnProgress);
  } else {
    AreaResample<Sample>(Src, Dst, Mode, Ch, Max, Sender, OnProgress);
  }
}

bool Usable(TIEBitmap* Src, TIEBitmap* Dst) {
  return Src && Dst && Src->Width() > 0 && Src->Height() > 0 && Dst->Width() > 0 && Dst->Height() > 0;
}
}  // namespace

void IEAreaFloatCheckAll(bool All) { gCheckAll.store(All, std::memory_order_relaxed); }

void _IEResampleBilinearBicubic8(TIEBitmap* Src, TIEBitmap* Dst, int Mode, TObject* Sender,
                                 const TIEProgressEvent& OnProgress) {
  if (!Usable(Src, Dst)) return;
  TIEPixelFormat pf = Src->PixelFormat();
  if (pf != ie24RGB && pf != ie8g) return;
  if (Dst->PixelFormat() != pf && !Dst->Allocate(Dst->Width(), Dst->Height(), pf)) return;
  AreaResampleAny<std::uint8_t>(Src, Dst, Mode, pf == ie8g ? 1 : 3, 255.0, Sender, OnProgress);
}

void _IEResampleBilinearBicubic16(TIEBitmap* Src, TIEBitmap* Dst, int Mode, TObject* Sender,
                                  const TIEProgressEvent& OnProgress) {
  if (!Usable(Src, Dst)) return;
  TIEPixelFormat pf = Src->PixelFormat();
  if (pf != ieRGB48 && pf != ie16g) return;
  if (Dst->PixelFormat() != pf && !Dst->Allocate(Dst->Width(), Dst->Height(), pf)) return;
  AreaResampleAny<std::uint16_t>(Src, Dst, Mode, pf == ie16g ? 1 : 3, 65535.0, Sender, OnProgress);
}

}  // namespace redozir
