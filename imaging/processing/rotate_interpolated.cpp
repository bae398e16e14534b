// The bilinear and bicubic rotation of 24-bit images and 8-bit planes by
// inverse mapping: every destination pixel samples the source at its
// rotated centre, neighbours outside the source reading as the background.
// Both interpolations are written relative to one sample, so a uniform
// area stays exactly uniform.
#include "imaging/processing/rotate_interpolated.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <numbers>
#include <utility>
#include <vector>

#include "imaging/core/ie_pixel.h"
#include "imaging/processing/ie_rotate.h"
#include "imaging/processing/rotate_common.h"
#include "platform/numeric.h"

namespace redozir {

namespace {

inline int Sample(const TIERotateJob& j, std::int64_t x, std::int64_t y, int c) {
  if (x < 0 || y < 0 || x >= j.W || y >= j.H) return j.Bg[c];
  return (*j.Src)[static_cast<int>(y)][x * j.N + c];
}

inline std::uint8_t ToByte(double v) {
  // A negative result is no colour at all: it becomes 0.
  if (!(v > 0)) return 0;
  if (v >= 255) return 255;
  return static_cast<std::uint8_t>(v);
}

}  // namespace

void IERotateSampleScalar(const TIERotateJob& j, double sx, double sy, std::uint8_t* out) {
  if (IERotateOutside(j, sx, sy)) {
    for (int c = 0; c < j.N; ++c) out[c] = j.Bg[c];
    return;
  }
  if (!j.Bicubic) {
    double fx0 = std::floor(sx), fy0 = std::floor(sy);
    double fx = sx - fx0, fy = sy - fy0;
    auto x0 = static_cast<std::int64_t>(fx0), y0 = static_cast<std::int64_t>(fy0);
    for (int c = 0; c < j.N; ++c) {
      double p00 = Sample(j, x0, y0, c), p10 = Sample(j, x0 + 1, y0, c);
      double p01 = Sample(j, x0, y0 + 1, c), p11 = Sample(j, x0 + 1, y0 + 1, c);
      double top = p00 + (p10 - p00) * fx;
      double bottom = p01 + (p11 - p01) * fx;
      out[c] = ToByte(top + (bottom - top) * fy);
    }
    return;
  }
  double tx0 = std::trunc(sx), ty0 = std::trunc(sy);
  double wx[4], wy[4];
  IECubicWeights(sx - tx0, wx);
  IECubicWeights(sy - ty0, wy);
  auto x0 = static_cast<std::int64_t>(tx0), y0 = static_cast<std::int64_t>(ty0);
  for (int c = 0; c < j.N; ++c) {
    double h[4];
    for (int r = 0; r < 4; ++r) {
      std::int64_t y = y0 - 1 + r;
      double q0 = Sample(j, x0 - 1, y, c), q1 = Sample(j, x0, y, c);
      double q2 = Sample(j, x0 + 1, y, c), q3 = Sample(j, x0 + 2, y, c);
      h[r] = q1 + wx[0] * (q0 - q1) + wx[2] * (q2 - q1) + wx[3] * (q3 - q1);
    }
    out[c] = ToByte(h[1] + wy[0] * (h[0] - h[1]) + wy[2] * (h[2] - h[1]) + wy[3] * (h[3] - h[1]));
  }
}

namespace {

// Narrows [lo, hi) to the columns where Holds is true, for a condition that
// holds on a prefix or a suffix of the row (or everywhere, or nowhere).
template <class F>
void Narrow(int nw, F holds, int& lo, int& hi) {
  bool first = holds(0), last = holds(nw - 1);
  if (first && last) return;
  if (!first && !last) {
    hi = lo;
    return;
  }
  // a holds, b does not; the change lies between them.
  int a = first ? 0 : nw - 1, b = first ? nw - 1 : 0;
  while (std::abs(b - a) > 1) {
    int m = a + (b - a) / 2;
    (holds(m) ? a : b) = m;
  }
  if (first)
    hi = std::min(hi, a + 1);
  else
    lo = std::max(lo, a);
}

}  // namespace

TIERotateSpans IERotateRowSpans(const TIERotateJob& j, double rySin, double ryCos, int MinXY, int MaxX,
                                int MaxY) {
  TIERotateSpans s;
  s.Hi = j.NW;
  if (j.NW <= 0) return s;
  // The same expressions as IERotateSource and IERotateOutside.
  auto sx = [&](int x) { return j.AX[x] - rySin; };
  auto sy = [&](int x) { return j.BX[x] + ryCos; };
  Narrow(
      j.NW, [&](int x) { return !(sx(x) < -4); }, s.Lo, s.Hi);
  Narrow(
      j.NW, [&](int x) { return !(sy(x) < -4); }, s.Lo, s.Hi);
  Narrow(
      j.NW, [&](int x) { return !(sx(x) > j.W + 2); }, s.Lo, s.Hi);
  Narrow(
      j.NW, [&](int x) { return !(sy(x) > j.H + 2); }, s.Lo, s.Hi);
  if (s.Lo >= s.Hi) {
    s.Lo = s.Hi = s.FastLo = s.FastHi = 0;
    return s;
  }
  auto cell = [&](double v) { return j.Bicubic ? std::trunc(v) : std::floor(v); };
  int lo = s.Lo, hi = s.Hi;
  Narrow(
      j.NW, [&](int x) { return cell(sx(x)) >= MinXY; }, lo, hi);
  Narrow(
      j.NW, [&](int x) { return cell(sx(x)) <= MaxX; }, lo, hi);
  Narrow(
      j.NW, [&](int x) { return cell(sy(x)) >= MinXY; }, lo, hi);
  Narrow(
      j.NW, [&](int x) { return cell(sy(x)) <= MaxY; }, lo, hi);
  if (lo >= hi) lo = hi = s.Lo;
  s.FastLo = lo;
  s.FastHi = hi;
  return s;
}

void IERotateRowsScalar(const TIERotateJob& j, int Y0, int Y1) {
  for (int yb = Y0; yb < Y1; yb += kIERotateTileRows)
    for (int xb = j.X0; xb < j.X1; xb += kIERotateTileColumns)
      for (int y = yb; y < std::min(Y1, yb + kIERotateTileRows); ++y) {
        double ry = y - j.CDY;
        int xe = std::min(j.X1, xb + kIERotateTileColumns);
        std::uint8_t* out = j.Dst[y] + static_cast<std::ptrdiff_t>(xb) * j.N;
        for (int x = xb; x < xe; ++x, out += j.N) {
          double sx, sy;
          IERotateSource(j, x, ry, sx, sy);
          IERotateSampleScalar(j, sx, sy, out);
        }
      }
}

namespace {

// Asks for the source lines that the tile of destination rows [Y0, Y1) and
// columns [X0, X1) will read: a rotated walk defeats the hardware
// prefetchers, and waiting for each line in turn would dominate the time.
void PrefetchTile(const TIERotateJob& j, int Y0, int Y1, int X0, int X1) {
  double sxMin = 1e300, sxMax = -1e300, syMin = 1e300, syMax = -1e300;
  for (int y : {Y0, Y1 - 1})
    for (int x : {X0, X1 - 1}) {
      double sx, sy;
      IERotateSource(j, x, y - j.CDY, sx, sy);
      sxMin = std::min(sxMin, sx), sxMax = std::max(sxMax, sx);
      syMin = std::min(syMin, sy), syMax = std::max(syMax, sy);
    }
  if (sxMax < -4 || syMax < -4 || sxMin > j.W + 2 || syMin > j.H + 2) return;
  int ya = static_cast<int>(std::clamp(syMin - 2, 0.0, j.H - 1.0));
  int yb = static_cast<int>(std::clamp(syMax + 3, 0.0, j.H - 1.0));
  auto xa = static_cast<std::ptrdiff_t>(std::clamp(sxMin - 2, 0.0, j.W - 1.0)) * j.N;
  auto xb = static_cast<std::ptrdiff_t>(std::clamp(sxMax + 3, 0.0, j.W - 1.0)) * j.N;
  for (int y = ya; y <= yb; ++y) {
    const std::uint8_t* row = (*j.Src)[y];
    for (std::ptrdiff_t b = xa; b <= xb + 63; b += 64) IERotateTouch(row + std::min(b, xb));
  }
}

// Columns [X0, X1) of a row, all of which read only the background.
void BackgroundSpan(const TIERotateJob& j, const std::uint8_t* run, std::uint8_t* row, int x0, int x1) {
  while (x0 < x1) {
    int n = std::min(kIERotateTileColumns, x1 - x0);
    std::memcpy(row + static_cast<std::ptrdiff_t>(x0) * j.N, run, static_cast<size_t>(n) * j.N);
    x0 += n;
  }
}

}  // namespace

void IERotateRowsTiled(const TIERotateJob& j, const TIERotateRow& Shape, int Y0, int Y1,
                       TIERotateFastSpan Fast, int MinXY, int MaxX, int MaxY) {
  std::uint8_t run[kIERotateTileColumns * 4];
  for (int k = 0; k < kIERotateTileColumns; ++k) std::memcpy(run + k * j.N, j.Bg, static_cast<size_t>(j.N));
  TIERotateSpans spans[kIERotateTileRows];
  TIERotateRow r = Shape;
  for (int yb = Y0; yb < Y1; yb += kIERotateTileRows) {
    int ye = std::min(Y1, yb + kIERotateTileRows);
    for (int y = yb; y < ye; ++y) {
      double ry = y - j.CDY;
      spans[y - yb] = IERotateRowSpans(j, ry * j.Sin, ry * j.Cos, MinXY, MaxX, MaxY);
    }
    for (int xb = j.X0; xb < j.X1; xb += kIERotateTileColumns) {
      int xe = std::min(j.X1, xb + kIERotateTileColumns);
      // The next tile's lines are asked for while this one is worked out.
      int next = xe, py = yb;
      if (next == j.X1) next = j.X0, py = ye;
      if (py < Y1)
        PrefetchTile(j, py, std::min(Y1, py + kIERotateTileRows), next,
                     std::min(j.X1, next + kIERotateTileColumns));
      for (int y = yb; y < ye; ++y) {
        double ry = y - j.CDY;
        r.RySin = ry * j.Sin;
        r.RyCos = ry * j.Cos;
        const TIERotateSpans& s = spans[y - yb];
        r.FastLo = s.FastLo;
        r.FastHi = s.FastHi;
        std::uint8_t* row = j.Dst[y];
        // The ranges in column order, each cut to the tile; a fast range
        // writes only its own columns and the ones after it in the row.
        auto cut = [&](int a, int b) { return std::pair(std::max(a, xb), std::min(b, xe)); };
        if (auto [a, b] = cut(0, s.Lo); a < b) BackgroundSpan(j, run, row, a, b);
        if (auto [a, b] = cut(s.Lo, s.FastLo); a < b) IERotateScalarSpan(r, a, b, row);
        if (auto [a, b] = cut(s.FastLo, s.FastHi); a < b) Fast(r, a, b, row);
        if (auto [a, b] = cut(s.FastHi, s.Hi); a < b) IERotateScalarSpan(r, a, b, row);
        if (auto [a, b] = cut(s.Hi, j.NW); a < b) BackgroundSpan(j, run, row, a, b);
      }
    }
  }
}

namespace {

// Bands of a disk-buffered rotation made at a time by a thread, how far
// ahead of the first unfinished band a thread may start, and how many bands
// done make memory go back to the system. The disk buffer maps huge pages,
// each of which holds some 40 to 60 whole rows of a big picture, so every
// band held keeps whole rows of the source and the result resident.
constexpr int kDiskBands = 2;
constexpr int kDiskAhead = 48;
constexpr int kDiskReleaseBands = 8;

// Dst becomes bmp turned; false when there is nothing to turn.
bool RotateInterpolated(TIEBitmap* bmp, TIEBitmap& dst, const std::uint8_t* bg, int n, std::uint8_t mode,
                        TObject* Sender, const TIEProgressEvent& OnProgress, double Angle) {
  int W = bmp->GetWidth(), H = bmp->GetHeight();
  double a = IEReduceAngle(Angle);
  if (W == 0 || H == 0 || std::isnan(a) || a == 0) return false;
  if (IEIsMultipleOf90(a)) {
    IERotateQuarter(bmp, &dst, IEQuarterOf(a));
    return true;
  }
  double theta = a * std::numbers::pi / 180;
  double cs = std::cos(theta), sn = std::sin(theta);
  // The rotated extent, rounded: at small angles every row and column stays.
  int NW = RoundInt(std::fabs(cs) * W + std::fabs(sn) * H);
  int NH = RoundInt(std::fabs(sn) * W + std::fabs(cs) * H);
  if (!dst.Allocate(NW, NH, bmp->GetPixelFormat()))
    throw EOutOfMemory("Cannot allocate a " + std::to_string(NW) + " x " + std::to_string(NH) + " bitmap");
  bmp->CopyPaletteTo(&dst);
  double csx = (W - 1) / 2.0, csy = (H - 1) / 2.0, cdx = (NW - 1) / 2.0;
  std::vector<double> ax(static_cast<size_t>(NW)), bx(static_cast<size_t>(NW));
  for (int x = 0; x < NW; ++x) {
    ax[x] = (x - cdx) * cs + csx;
    bx[x] = (x - cdx) * sn + csy;
  }
  // A row of a turned picture crosses many source rows (most of them at 45
  // degrees), so a walk down whole rows keeps most of a disk-buffered source
  // in memory. There the result is made in strips of columns, each walked
  // downwards by all the threads close together: a strip reads a narrow
  // slanting band of the source, whose rows behind the walk leave memory, as
  // do the finished rows of the result (the next strip brings back the
  // pages it shares with this one).
  const bool disk = bmp->Location() == ieFile || dst.Location() == ieFile;
  {
    TIERowTable s(bmp), d(&dst);
    TIERotateJob j;
    j.Src = &s;
    j.Dst = d.Rows();
    j.W = W;
    j.H = H;
    j.NW = NW;
    j.N = n;
    j.Bicubic = mode == 2;
    j.AX = ax.data();
    j.BX = bx.data();
    j.CDY = (NH - 1) / 2.0;
    j.Cos = cs;
    j.Sin = sn;
    j.X0 = 0;
    j.X1 = NW;
    for (int c = 0; c < n; ++c) j.Bg[c] = bg[c];
    // The vector paths read the 24-bit source by row pointers (256-bit) or
    // by 32-bit offsets from row 0 (512-bit, rows evenly apart).
    TIERotateRow shape;
    shape.Job = &j;
    shape.Rows = s.Rows();
    if (H > 1) {
      std::ptrdiff_t stride = s[1] - s[0];
      bool even = true;
      for (int y = 2; y < H && even; ++y) even = s[y] - s[y - 1] == stride;
      double reach = std::fabs(static_cast<double>(stride)) * (H + 1) + 3.0 * W + 64;
      if (even && reach < 2147483647.0) {
        shape.Base = s[0];
        shape.Stride = stride;
      }
    }
    int path = n != 3 ? 0 : IEUseAVX512() && shape.Base ? 2 : IEUseAVX2() ? 1 : 0;
    const int strip =
        disk ? std::clamp((NW / 3 + kIERotateTileColumns - 1) / kIERotateTileColumns * kIERotateTileColumns,
                          kIERotateTileColumns, kIERotateStripColumns)
             : NW;
    const int strips = (NW + strip - 1) / strip;
    // The work is handed out in bands of tile rows of a strip, so that no
    // piece ends inside a band; progress comes row by row, in order.
    const int band = kIERotateTileRows, bands = (NH + band - 1) / band;
    auto rowsOf = [&](int b) { return std::pair(b % bands * band, std::min(NH, (b % bands + 1) * band)); };
    std::function<void(int)> after;
    if (OnProgress)
      after = [&](int b) {
        const double done = static_cast<double>(b / bands) * NH;
        for (int y = rowsOf(b).first; y < rowsOf(b).second; ++y)
          OnProgress(Sender, TruncInt((done + y) * 100.0 / (static_cast<double>(strips) * NH)));
      };
    // The source rows that strip K no longer reads once its bands before B
    // are done: below lo(B) when the source is walked downwards (the cosine
    // positive), above hi(B) otherwise; everything once the strip is done.
    auto lo = [&](int K, int B) {
      const int x0 = K * strip, x1 = std::min(NW, x0 + strip) - 1;
      const double b = std::min(bx[static_cast<size_t>(x0)], bx[static_cast<size_t>(x1)]);
      return static_cast<int>(std::floor(b + ((B < bands ? B * band : NH) - j.CDY) * cs)) - 2;
    };
    auto hi = [&](int K, int B) {
      const int x0 = K * strip, x1 = std::min(NW, x0 + strip) - 1;
      const double b = std::max(bx[static_cast<size_t>(x0)], bx[static_cast<size_t>(x1)]);
      return static_cast<int>(std::ceil(b + ((B < bands ? B * band : NH) - j.CDY) * cs)) + 3;
    };
    // Source rows leave memory as the bands done without a gap (the
    // frontier) reach them, whatever order the threads finish their pieces
    // in; a thread does not start a piece far ahead of the frontier, so that
    // a thread the system keeps waiting cannot hold many rows in memory, nor
    // a piece of the next strip before the last strip's memory is gone (the
    // two strips read different source rows: together they would hold twice
    // as many).
    std::mutex doneLock;
    std::condition_variable moved;
    std::vector<char> done(disk ? static_cast<size_t>(strips) * bands : 0);
    int frontier = 0, released = 0;
    auto letGo = [&](int from, int to) {
      for (int k = from; k < to; k = (k / bands + 1) * bands) {
        const int K = k / bands, b0 = k % bands, b1 = std::min(to - K * bands, bands);
        // Finished result rows (the next strip brings back the pages it
        // shares with this one), and the source rows no later band of the
        // strip reads (a row still read by another thread is read again
        // from the file).
        d.Release(rowsOf(b0).first, rowsOf(b1 - 1).second - rowsOf(b0).first);
        if (cs >= 0) {
          const int first = lo(K, b0), last = b1 == bands ? hi(K, bands) : lo(K, b1);
          s.Release(first, last - first);
        } else {
          const int first = b1 == bands ? lo(K, bands) : hi(K, b1), last = hi(K, b0);
          s.Release(first, last - first);
        }
      }
    };
    auto finished = [&](int B, int E) {
      std::unique_lock<std::mutex> g(doneLock);
      std::fill(done.begin() + B, done.begin() + E, 1);
      const int was = frontier;
      while (frontier < static_cast<int>(done.size()) && done[static_cast<size_t>(frontier)]) ++frontier;
      if (frontier == was) return;
      if (frontier / bands == released / bands) {
        moved.notify_all();
        // Memory is let go a few bands at a time: each time costs every
        // thread a flush of its address cache.
        if (frontier - released < kDiskReleaseBands) return;
        const int from = std::exchange(released, frontier), to = frontier;
        g.unlock();
        letGo(from, to);
        return;
      }
      // A strip is done: its memory goes before the threads waiting for
      // the next one hear of it.
      const int from = std::exchange(released, frontier);
      letGo(from, released);
      moved.notify_all();
    };
    auto run = [&](int B, int E) {
      TIERotateJob js = j;
      js.X0 = B / bands * strip;
      js.X1 = std::min(NW, js.X0 + strip);
      const int y0 = rowsOf(B).first, y1 = rowsOf(E - 1).second;
      TIERotateRow shapeS = shape;
      shapeS.Job = &js;
      auto render = [&] {
        if (path == 2)
          IERotateRowsAVX512(js, shapeS, y0, y1);
        else if (path == 1)
          IERotateRowsAVX2(js, shapeS, y0, y1);
        else
          IERotateRowsScalar(js, y0, y1);
      };
      if (!disk) {
        render();
        return;
      }
      {
        std::unique_lock<std::mutex> g(doneLock);
        moved.wait(g, [&] { return frontier >= B - kDiskAhead && frontier / bands >= B / bands; });
      }
      render();
      finished(B, E);
    };
    IEParallelForProgress(
        strips * bands, static_cast<std::int64_t>(strip) * band * (j.Bicubic ? 8 : 2),
        s.Shareable() && d.Shareable(),
        [&](int b, int e) {
          // A piece may reach into the next strip; on the disk buffer it is
          // made a few bands at a time.
          for (int k = b, ke; k < e; k = ke) {
            ke = std::min(e, (k / bands + 1) * bands);
            if (disk) ke = std::min(ke, k + kDiskBands);
            try {
              run(k, ke);
            } catch (...) {
              // The frontier passes the rest of a failed piece: no thread
              // waits for it.
              if (disk) finished(k, e);
              throw;
            }
          }
        },
        after, disk ? kDiskBands : 0);
  }
  return true;
}

// An alpha plane turns like its image, into transparency.
bool RotateAlpha(TIEBitmap* plane, TIEBitmap& out, std::uint8_t mode, double Angle) {
  const std::uint8_t transparent = 0;
  return RotateInterpolated(plane, out, &transparent, 1, mode, nullptr, nullptr, Angle);
}

}  // namespace

void _IERotateInterpolated(TIEBitmap* Bitmap, TColor Background, std::uint8_t AntialiasMode, TObject* Sender,
                           const TIEProgressEvent& OnProgress, double Angle) {
  if (Bitmap->GetPixelFormat() != ie24RGB) return;
  TRGB c = IEColorToRGB(Background);
  const std::uint8_t bg[3] = {c.b, c.g, c.r};
  IETurnWithAlpha(
      Bitmap,
      [&](TIEBitmap* src, TIEBitmap& out) {
        return RotateInterpolated(src, out, bg, 3, AntialiasMode, Sender, OnProgress, Angle);
      },
      [&](TIEBitmap* src, TIEBitmap& out) { return RotateAlpha(src, out, AntialiasMode, Angle); });
}

void _IERotateInterpolated8bit(TIEBitmap* Plane, std::uint8_t Background, std::uint8_t AntialiasMode,
                               double Angle) {
  TIEPixelFormat pf = Plane->GetPixelFormat();
  if (pf != ie8g && pf != ie8p) return;
  IETurnWithAlpha(
      Plane,
      [&](TIEBitmap* src, TIEBitmap& out) {
        return RotateInterpolated(src, out, &Background, 1, AntialiasMode, nullptr, nullptr, Angle);
      },
      [&](TIEBitmap* src, TIEBitmap& out) { return RotateAlpha(src, out, AntialiasMode, Angle); });
}

}  // namespace redozir
