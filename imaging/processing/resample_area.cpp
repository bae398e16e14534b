// The area-weighted bilinear and bicubic resamplers (8- and 16-bit
// channels) and IECubicInterpolate4, which the bicubic rotation shares.
#include <algorithm>
#include <cmath>

#include "imaging/processing/resample.h"
#include "imaging/processing/resample_internal.h"
#include "platform/numeric.h"

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
}  // namespace

double IECubicInterpolate4(int P0, int P1, int P2, int P3, double T, double Min, double Max) {
  return Cubic4(P0, P1, P2, P3, CubicWeights(T), Min, Max);
}

void IEAreaLinearRow(const double* H0, const double* H1, double TY, double* V, std::size_t n) {
  for (std::size_t j = 0; j < n; ++j) V[j] = (1 - TY) * H0[j] + TY * H1[j];
}

void IEAreaCubicRow(const double* Hm, const double* H0, const double* H1, const double* H2, const double W[4],
                    double Max, double* V, std::size_t n) {
  // The samples are whole numbers, so they enter as IECubicInterpolate4's
  // integer arguments would.
  TIECubicWeights k{{W[0], W[1], W[2], W[3]}};
  for (std::size_t j = 0; j < n; ++j)
    V[j] = Cubic4(static_cast<int>(Hm[j]), static_cast<int>(H0[j]), static_cast<int>(H1[j]),
                  static_cast<int>(H2[j]), k, 0, Max);
}

void IEAreaAddRow(const double* V, const double* PW, double PH, double* Acc, std::size_t n) {
  for (std::size_t j = 0; j < n; ++j) Acc[j] += V[j] * PW[j] * PH;
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

template <typename Sample>
void AreaResample(TIEBitmap* Src, TIEBitmap* Dst, int Mode, int Ch, double Max, TObject* Sender,
                  const TIEProgressEvent& OnProgress) {
  const int sw = Src->Width(), sh = Src->Height(), dw = Dst->Width(), dh = Dst->Height();
  const double XR = static_cast<double>(sw) / dw, YR = static_cast<double>(sh) / dh;
  const int Case = (XR < 1 && YR < 1) ? 0 : (XR < 1) ? 1 : (YR < 1) ? 2 : 3;
  const bool cubic = Mode == 1;

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
    const Sample* row = reinterpret_cast<const Sample*>(Src->GetScanline(r));
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
  const bool simd = IEResampleUseAVX2();
  const bool watched = static_cast<bool>(OnProgress);
  // Row pieces grouped by destination row, so that bands of destination
  // rows can run apart and still add their pieces in the same order.
  std::vector<std::size_t> firstPiece(static_cast<std::size_t>(dh) + 1, rows.size());
  for (std::size_t i = rows.size(); i-- > 0;)
    if (rows[i].Dst < dh) firstPiece[static_cast<std::size_t>(rows[i].Dst)] = i;
  for (int y = dh - 1; y >= 0; --y) firstPiece[y] = std::min(firstPiece[y], firstPiece[y + 1]);

  int n = (watched || Src->Location() == ieFile || Dst->Location() == ieFile) ? 1 : IEResampleThreadCount();
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
        if (simd)
          IEAreaAddRow_AVX2(val, pwx.data(), ph, acc.data(), nk * Ch);
        else
          IEAreaAddRow(val, pwx.data(), ph, acc.data(), nk * Ch);
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
          if (simd)
            IEAreaLinearRow_AVX2(H0.data(), H1.data(), TY, v.data(), nk * Ch);
          else
            IEAreaLinearRow(H0.data(), H1.data(), TY, v.data(), nk * Ch);
        } else {
          const auto& Hm = rowH(sy - 1);
          const auto& H0 = rowH(sy);
          const auto& H1 = rowH(sy + 1);
          const auto& H2 = rowH(sy + 2);
          TIECubicWeights kw = CubicWeights(TY);
          if (simd)
            IEAreaCubicRow_AVX2(Hm.data(), H0.data(), H1.data(), H2.data(), kw.w, Max, v.data(), nk * Ch);
          else
            IEAreaCubicRow(Hm.data(), H0.data(), H1.data(), H2.data(), kw.w, Max, v.data(), nk * Ch);
        }
        accumulate(v.data(), ph);
      }
      Sample* d = reinterpret_cast<Sample*>(Dst->GetScanline(y));
      if (simd && sizeof(Sample) == 1) {
        IEAreaStoreRow8_AVX2(acc.data(), inv, reinterpret_cast<std::uint8_t*>(d), acc.size());
      } else {
        for (std::size_t j = 0; j < acc.size(); ++j)
          d[j] = static_cast<Sample>(RoundClamp(acc[j] * inv, 0, static_cast<std::int32_t>(Max)));
      }
      if (watched) OnProgress(Sender, static_cast<int>(Trunc(static_cast<double>(y + 1) / dh * 100)));
    }
  });
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
  AreaResample<std::uint8_t>(Src, Dst, Mode, pf == ie8g ? 1 : 3, 255.0, Sender, OnProgress);
}

void _IEResampleBilinearBicubic16(TIEBitmap* Src, TIEBitmap* Dst, int Mode, TObject* Sender,
                                  const TIEProgressEvent& OnProgress) {
  if (!Usable(Src, Dst)) return;
  TIEPixelFormat pf = Src->PixelFormat();
  if (pf != ieRGB48 && pf != ie16g) return;
  if (Dst->PixelFormat() != pf && !Dst->Allocate(Dst->Width(), Dst->Height(), pf)) return;
  AreaResample<std::uint16_t>(Src, Dst, Mode, pf == ie16g ? 1 : 3, 65535.0, Sender, OnProgress);
}
