// The area-weighted bilinear and bicubic resamplers (8- and 16-bit
// channels) and IECubicInterpolate4, which the bicubic rotation shares. The
// scalar walk is the reference; the vector engine and the box sums of
// resample_area_avx2.cpp give its bytes exactly, faster.
#include <algorithm>
#include <cmath>

#include "imaging/processing/ie_parallel.h"
#include "imaging/processing/resample.h"
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
