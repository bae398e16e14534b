// The fast linear resamplers (24-bit and one 8-bit channel, 17-bit fixed
// point), the 1-bit linear resampler and the 1-bit box reduction.
#include <algorithm>
#include <cstring>
#include <memory>

#include "imaging/core/ie_parallel.h"
#include "imaging/processing/resample.h"
#include "imaging/processing/resample_internal.h"
#include "platform/exceptions.h"
#include "platform/numeric.h"

namespace redozir {

namespace {
constexpr int kFracBits = 17;
constexpr double kFracOne = 131072.0;

// Exact n div d for the box averages through one multiply: with m =
// ceil(2^32 / d), (n * m) shr 32 equals n div d whenever n * d < 2^32.
struct TIEDivider {
  std::uint32_t d = 1;
  std::uint64_t m = 0;
  std::uint64_t limit = 0;
  explicit TIEDivider(std::uint32_t D) : d(D ? D : 1) {
    m = ((std::uint64_t(1) << 32) + d - 1) / d;
    limit = (std::uint64_t(1) << 32) / d;
  }
  std::uint32_t operator()(std::uint32_t n) const {
    return n < limit ? static_cast<std::uint32_t>((n * m) >> 32) : n / d;
  }
};

// A multiplier m and shift k with ((s x m) shr 16) shr k = s div d for every
// sum s of d bytes, found by trying them all; {0, 0} when none fits 16 bits.
std::pair<int, int> DivMagic16(int d) {
  const std::uint32_t top = 255u * static_cast<std::uint32_t>(d);
  for (int k = 0; k < 16; ++k) {
    const std::uint64_t m = ((std::uint64_t(1) << (16 + k)) + d - 1) / static_cast<std::uint64_t>(d);
    if (m > 0xFFFF) break;
    bool exact = true;
    for (std::uint32_t s = 0; s <= top && exact; ++s)
      exact = ((s * m) >> 16 >> k) == s / static_cast<std::uint32_t>(d);
    if (exact) return {static_cast<int>(m), k};
  }
  return {0, 0};
}

struct TIEFastTables {
  std::vector<int> Left, Right, Frac;
};

// Column (or row) tables of the fast linear resampler for S source and D
// destination pixels; every index is kept inside the source.
TIEFastTables FastTables(int S, int D, bool rightEps) {
  TIEFastTables t;
  double scale = static_cast<double>(D) / S;
  t.Left.resize(static_cast<std::size_t>(D));
  t.Right.resize(static_cast<std::size_t>(D));
  t.Frac.resize(static_cast<std::size_t>(D));
  for (int x = 0; x < D; ++x) {
    double p = x / scale;
    std::int64_t l = Trunc(p);
    t.Frac[x] = static_cast<int>(std::clamp<std::int64_t>(Trunc((p - l) * kFracOne), 0, 131071));
    double r = std::min(x + 1, D - 1) / scale + (rightEps ? 1e-10 : 0.0);
    t.Left[x] = static_cast<int>(std::clamp<std::int64_t>(l, 0, S - 1));
    t.Right[x] = static_cast<int>(std::clamp<std::int64_t>(Trunc(r), t.Left[x], S - 1));
  }
  return t;
}

inline int Lerp17(int c0, int c1, int f) { return c0 + ((c1 - c0) * f >> kFracBits); }

// The scalar rows of the reduction to exactly half (what IEHalfRows_AVX2
// and _AVX512 do, from pixel X0 on): pixels X0 .. N - 1 average three source
// pixels each, and when Alone, pixel N, the last of the destination row,
// takes source pixel 2N alone. Carry here is indexed by byte of the row.
template <int Ch>
void HalfRows(const std::uint8_t* A, const std::uint8_t* B, int X0, int N, bool Alone, std::uint16_t* Carry,
              std::uint8_t* D) {
  auto across = [](const std::uint8_t* s, int x, int c, bool one) {
    const std::uint8_t* p = s + static_cast<std::size_t>(2 * x) * Ch + c;
    return one ? p[0] : static_cast<std::uint16_t>((p[0] + p[Ch] + p[2 * Ch]) / 3);
  };
  for (int x = X0, end = N + (Alone ? 1 : 0); x < end; ++x)
    for (int c = 0; c < Ch; ++c) {
      const std::size_t i = static_cast<std::size_t>(x) * Ch + c;
      const std::uint16_t b = across(B, x, c, x == N);
      if (A) D[i] = static_cast<std::uint8_t>((Carry[i] + across(A, x, c, x == N) + b) / 3);
      Carry[i] = b;
    }
}

// Both passes of the reduction to exactly half (2 Dw x 2 Dh to Dw x Dh), for
// the destination pixels of Win, with the arguments of FastLinearPasses.
// Each worker keeps the averages across of the last source row it read, so
// that every source row is read once per band, two at a time, with no work
// image. The last destination row takes source row 2 Dh - 2 alone: as its
// averages across, three times over, divided by 3.
template <int Ch>
void HalfPasses(int dw, int dh, const TRect& Win, int Threads,
                const std::function<const std::uint8_t*(int r, std::uint8_t* scratch)>& GetRow,
                const std::function<std::uint8_t*(int y)>& DstRow,
                const std::function<void(int y, const std::uint8_t* row)>& Finish) {
  const bool alone = Win.Right == dw;
  const int N = Win.Width() - (alone ? 1 : 0);
  const std::size_t skip = 2 * static_cast<std::size_t>(Win.Left) * Ch;
  const std::size_t rowBytes = (2 * static_cast<std::size_t>(dw)) * Ch + kIEResampleRowPad;
  const std::size_t vecWords = 2 * static_cast<std::size_t>(N) * Ch + 64;
  std::size_t (*vec)(int, const std::uint8_t*, const std::uint8_t*, int, std::uint16_t*, std::uint8_t*) =
      IEResampleUseAVX512() ? IEHalfRows_AVX512
      : IEResampleUseAVX2() ? IEHalfRows_AVX2
                            : nullptr;
  struct Worker {
    std::vector<std::uint8_t> scratch[2];
    std::vector<std::uint16_t> carry;
    int row = -1;  // the source row whose averages Carry holds
  };
  const int n = std::max(1, Threads), rows = Win.Height();
  std::vector<Worker> workers(static_cast<std::size_t>(n));
  // Bands of consecutive rows, so that a worker reads the source row its
  // carry comes from once per band rather than once per chunk.
  IERunSteal(rows, n, 8, [&](int t, int first, int count) {
    Worker& w = workers[static_cast<std::size_t>(t)];
    if (w.carry.empty()) {
      for (auto& s : w.scratch) s.resize(rowBytes);
      w.carry.resize(vecWords + (static_cast<std::size_t>(N) + 1) * Ch);
    }
    auto pass = [&](const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* d) {
      const int done = vec ? static_cast<int>(vec(Ch, a, b, N, w.carry.data(), d)) : 0;
      HalfRows<Ch>(a, b, done, N, alone, w.carry.data() + vecWords, d);
    };
    auto src = [&](int r, int k) { return GetRow(r, w.scratch[k].data()) + skip; };
    for (int y = Win.Top + first; y < Win.Top + first + count; ++y) {
      const int r = 2 * y;
      if (w.row != r) pass(nullptr, src(r, 0), nullptr);
      std::uint8_t* d = DstRow(y - Win.Top);
      if (y == dh - 1) {
        const std::uint8_t* s = src(r, 0);
        pass(s, s, d);
        w.row = r;
      } else {
        pass(src(r + 1, 0), src(r + 2, 1), d);
        w.row = r + 2;
      }
      Finish(y - Win.Top, d);
    }
  });
}

// Both passes for Ch interleaved channels of 8 bits. Src rows come through
// GetRow (which may expand them into the scratch row); DstRow gives the row
// destination row y is written to and Finish takes it once written. XInterp
// and YInterp pick interpolation over the box average per direction.
//
// With progress watched, the passes run one after the other over a whole
// work image, row by row on the calling thread. Otherwise each thread takes
// a band of destination rows and makes just the work rows they read, in a
// small ring; a work row depends on its source row only, so the bytes are
// the same.
//
// Win (inside dw x dh) limits the work to the destination pixels it covers,
// each made as the whole resampling makes it (every one from its own table
// entries); DstRow and Finish then take rows counted from Win's top.
template <int Ch>
void FastLinearPasses(int sw, int sh, int dw, int dh, const TRect& Win, bool XInterp, bool YInterp,
                      int Threads,
                      const std::function<const std::uint8_t*(int r, std::uint8_t* scratch)>& GetRow,
                      const std::function<std::uint8_t*(int y)>& DstRow,
                      const std::function<void(int y, const std::uint8_t* row)>& Finish,
                      const TIEProgressEvent& OnProgress, TObject* Sender) {
  const bool watched = static_cast<bool>(OnProgress);
  if (!watched && !XInterp && !YInterp && sw == 2 * dw && sh == 2 * dh) {
    HalfPasses<Ch>(dw, dh, Win, Threads, GetRow, DstRow, Finish);
    return;
  }
  const double F = 100.0 / (static_cast<double>(sh) + dh + 0.5);
  TIEFastTables cx = FastTables(sw, dw, true);
  if (Win.Left > 0 || Win.Right < dw) {
    auto cut = [&](std::vector<int>& v) {
      v.erase(v.begin() + Win.Right, v.end());
      v.erase(v.begin(), v.begin() + Win.Left);
    };
    cut(cx.Left);
    cut(cx.Right);
    cut(cx.Frac);
  }
  const int y0 = Win.Top, y1 = Win.Bottom;
  // From here on dw counts the columns made.
  dw = Win.Width();
  const std::size_t wstride = static_cast<std::size_t>(dw) * Ch;
  const int n = watched ? 1 : std::max(1, Threads);
  const double YS = static_cast<double>(dh) / sh;
  const bool simd = IEResampleUseAVX2(), wide = IEResampleUseAVX512();
  // Box averages pick their bytes with permutes (AVX-512) or shuffles
  // (AVX2); where the boxes are too wide for them, and otherwise, the rows
  // gather.
  TIEBoxRowPlan box;
  if (simd && !XInterp)
    (wide ? IEBoxRowPlan_AVX512 : IEBoxRowPlan_AVX2)(Ch, cx.Left.data(), cx.Right.data(), sw, dw, box);
  // Interpolation across takes byte permutes on AVX-512.
  TIELerpRowPlan lerp;
  if (simd && XInterp && wide) IELerpRowPlan_AVX512(Ch, cx.Left.data(), cx.Frac.data(), sw, dw, lerp);
  TIEFastRowPlan plan;
  if (simd && box.Lim == 0 && lerp.Lim == 0)
    IEFastRowHPlan(Ch, XInterp, cx.Left.data(), cx.Right.data(), sw, dw, plan);
  const int x0 = box.Lim > 0 ? box.Lim : lerp.Lim > 0 ? lerp.Lim : plan.Lim;
  // Dividers for the box averages the scalar rows finish.
  std::vector<TIEDivider> div;
  if (!XInterp)
    for (int x = x0; x < dw; ++x) div.emplace_back(static_cast<std::uint32_t>(cx.Right[x] - cx.Left[x] + 1));

  auto horiz = [&](int r, std::uint8_t* scratch, std::uint8_t* o) {
    const std::uint8_t* s = GetRow(r, scratch);
    if (box.Lim > 0) {
      if (wide)
        IEBoxRowH_AVX512(box, sw, s, o);
      else
        IEBoxRowH_AVX2(box, s, o);
    } else if (lerp.Lim > 0) {
      IELerpRowH_AVX512(lerp, sw, s, o);
    } else if (x0 > 0) {
      IEFastRowH_AVX2(Ch, XInterp, cx.Left.data(), cx.Right.data(), cx.Frac.data(), plan, s, o);
    }
    if (XInterp) {
      for (int x = x0; x < dw; ++x) {
        const std::uint8_t* p0 = s + static_cast<std::size_t>(cx.Left[x]) * Ch;
        const std::uint8_t* p1 = s + static_cast<std::size_t>(std::min(cx.Left[x] + 1, sw - 1)) * Ch;
        const int f = cx.Frac[x];
        for (int c = 0; c < Ch; ++c) o[x * Ch + c] = static_cast<std::uint8_t>(Lerp17(p0[c], p1[c], f));
      }
    } else {
      for (int x = x0; x < dw; ++x) {
        const std::uint8_t* p = s + static_cast<std::size_t>(cx.Left[x]) * Ch;
        const int cnt = cx.Right[x] - cx.Left[x] + 1;
        std::uint32_t sum[Ch] = {};
        for (int k = 0; k < cnt; ++k)
          for (int c = 0; c < Ch; ++c) sum[c] += p[k * Ch + c];
        for (int c = 0; c < Ch; ++c) o[x * Ch + c] = static_cast<std::uint8_t>(div[x - x0](sum[c]));
      }
    }
  };
  // The work rows destination row y reads, and its fraction.
  auto rowsOf = [&](int y, int& R0, int& R1, int& f) {
    if (YInterp) {
      double P = y / YS;
      R0 = static_cast<int>(std::clamp<std::int64_t>(Trunc(P), 0, sh - 1));
      f = static_cast<int>(std::clamp<std::int64_t>(Trunc((P - Trunc(P)) * kFracOne), 0, 131071));
      R1 = std::min(R0 + 1, sh - 1);
    } else {
      R0 = static_cast<int>(std::clamp<std::int64_t>(Trunc(y / YS), 0, sh - 1));
      R1 = static_cast<int>(std::clamp<std::int64_t>(Trunc(std::min(y + 1, dh - 1) / YS), R0, sh - 1));
      f = 0;
    }
  };
  // Multipliers for the row box averages, by row count, and the most work
  // rows a destination row reads (the ring's size).
  std::vector<std::pair<int, int>> magic;
  int cap = 1;
  for (int y = y0; y < y1; ++y) {
    int R0, R1, f;
    rowsOf(y, R0, R1, f);
    const int count = R1 - R0 + 1;
    cap = std::max(cap, count);
    if (!simd || YInterp || count < 2 || count > 257) continue;
    if (count >= static_cast<int>(magic.size())) magic.resize(static_cast<std::size_t>(count) + 1, {0, 0});
    if (!magic[count].first) magic[count] = DivMagic16(count);
  }
  auto vert = [&](int y, const std::function<const std::uint8_t*(int r)>& work,
                  std::vector<std::uint32_t>& acc) {
    int R0, R1, f;
    rowsOf(y, R0, R1, f);
    std::uint8_t* d = DstRow(y - y0);
    if (YInterp && f == 0) {
      // A destination row on a work row takes it as it is.
      std::memcpy(d, work(R0), wstride);
    } else if (YInterp) {
      const std::uint8_t* a = work(R0);
      const std::uint8_t* b = work(R1);
      const std::size_t i0 = simd ? IEFastRowVLerp_AVX2(a, b, f, d, wstride) : 0;
      for (std::size_t i = i0; i < wstride; ++i) d[i] = static_cast<std::uint8_t>(Lerp17(a[i], b[i], f));
    } else if (R0 == R1) {
      std::memcpy(d, work(R0), wstride);
    } else {
      const int count = R1 - R0 + 1;
      std::size_t i0 = 0;
      if (simd && count < static_cast<int>(magic.size()) && magic[count].first) {
        const std::uint8_t* rows[257];
        for (int r = R0; r <= R1; ++r) rows[r - R0] = work(r);
        i0 = (wide ? IEFastRowVBox_AVX512 : IEFastRowVBox_AVX2)(rows, count, magic[count].first,
                                                                magic[count].second, d, wstride);
      }
      if (i0 < wstride) {
        const std::uint8_t* a = work(R0);
        for (std::size_t i = i0; i < wstride; ++i) acc[i] = a[i];
        for (int r = R0 + 1; r <= R1; ++r) {
          a = work(r);
          for (std::size_t i = i0; i < wstride; ++i) acc[i] += a[i];
        }
        TIEDivider dv(static_cast<std::uint32_t>(count));
        for (std::size_t i = i0; i < wstride; ++i) d[i] = static_cast<std::uint8_t>(dv(acc[i]));
      }
    }
    Finish(y - y0, d);
  };

  if (watched) {
    // Only whole resamplings are watched.
    std::unique_ptr<std::uint8_t[]> work(new std::uint8_t[wstride * static_cast<std::size_t>(sh)]);
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(sw) * Ch + kIEResampleRowPad);
    for (int r = 0; r < sh; ++r) {
      horiz(r, scratch.data(), work.get() + wstride * static_cast<std::size_t>(r));
      OnProgress(Sender, static_cast<int>(Trunc(r * F)));
    }
    std::vector<std::uint32_t> acc(wstride);
    auto row = [&](int r) -> const std::uint8_t* {
      return work.get() + wstride * static_cast<std::size_t>(r);
    };
    for (int y = 0; y < dh; ++y) {
      vert(y, row, acc);
      OnProgress(Sender, static_cast<int>(Trunc((static_cast<double>(y) + sh) * F)));
    }
    return;
  }

  // Each worker keeps its ring from one chunk of destination rows to the
  // next (its chunks come in increasing order).
  struct Worker {
    std::vector<std::uint8_t> scratch;
    std::unique_ptr<std::uint8_t[]> ring;
    std::vector<int> tag;
    std::vector<std::uint32_t> acc;
  };
  std::vector<Worker> workers(static_cast<std::size_t>(n));
  const int rows = y1 - y0;
  IERunChunks(rows, n, std::max(8, std::min(64, rows / (8 * n))), [&](int t, int first, int count) {
    Worker& w = workers[static_cast<std::size_t>(t)];
    if (!w.ring) {
      w.scratch.resize(static_cast<std::size_t>(sw) * Ch + kIEResampleRowPad);
      w.ring.reset(new std::uint8_t[wstride * static_cast<std::size_t>(cap)]);
      w.tag.assign(static_cast<std::size_t>(cap), -1);
      w.acc.resize(wstride);
    }
    // Direct-mapped by work row: the rows of one destination row are
    // consecutive and at most cap, so they never evict each other.
    auto row = [&](int r) -> const std::uint8_t* {
      int slot = r % cap;
      std::uint8_t* p = w.ring.get() + wstride * static_cast<std::size_t>(slot);
      if (w.tag[static_cast<std::size_t>(slot)] != r) {
        horiz(r, w.scratch.data(), p);
        w.tag[static_cast<std::size_t>(slot)] = r;
      }
      return p;
    };
    for (int y = y0 + first; y < y0 + first + count; ++y) vert(y, row, w.acc);
  });
}

// True when nothing is left to resample: an empty side, or the same size
// (then Dst becomes a copy of Src).
bool NothingToResample(TIEBitmap* Src, TIEBitmap* Dst) {
  if (!Src || !Dst || Src->Width() <= 0 || Src->Height() <= 0 || Dst->Width() <= 0 || Dst->Height() <= 0)
    return true;
  if (Src->Width() != Dst->Width() || Src->Height() != Dst->Height()) return false;
  Dst->Assign(Src);
  return true;
}

void FastLinear(TIEBitmap* Src, TIEBitmap* Dst, int Ch, TObject* Sender, const TIEProgressEvent& OnProgress) {
  if (NothingToResample(Src, Dst)) return;
  int sw = Src->Width(), sh = Src->Height(), dw = Dst->Width(), dh = Dst->Height();
  double XS = static_cast<double>(dw) / sw, YS = static_cast<double>(dh) / sh;
  // Row tables keep every thread on disk-buffered bitmaps too.
  TIERowTable s(Src);
  TIERowWriter d(Dst);
  auto row = [&](int r, std::uint8_t*) { return s.Walk(r); };
  auto dst = [&](int y) { return d.Row(y); };
  auto done = [&](int y, const std::uint8_t*) { d.Done(y); };
  const int n = IEResampleThreadCount();
  const TRect all{0, 0, dw, dh};
  if (Ch == 3)
    FastLinearPasses<3>(sw, sh, dw, dh, all, XS > 1, YS > 1, n, row, dst, done, OnProgress, Sender);
  else
    FastLinearPasses<1>(sw, sh, dw, dh, all, XS > 1, YS > 1, n, row, dst, done, OnProgress, Sender);
}

inline bool Bit(const std::uint8_t* row, int x) { return (row[x >> 3] & (0x80 >> (x & 7))) != 0; }
}  // namespace

void _IEResampleFastLinear24(TIEBitmap* Src, TIEBitmap* Dst, TObject* Sender,
                             const TIEProgressEvent& OnProgress) {
  FastLinear(Src, Dst, 3, Sender, OnProgress);
}

void _IEResampleFastLinear8(TIEBitmap* Src, TIEBitmap* Dst, TObject* Sender,
                            const TIEProgressEvent& OnProgress) {
  FastLinear(Src, Dst, 1, Sender, OnProgress);
}

void _IEResampleFastLinearWindow(TIEBitmap* Src, int Sx, int Sy, int Sw, int Sh, int Dw, int Dh,
                                 const TRect& Win, TIEBitmap* Dst) {
  const int ch = Src->PixelFormat() == ie8g ? 1 : 3;
  if ((ch == 3 && Src->PixelFormat() != ie24RGB) || Dst->PixelFormat() != Src->PixelFormat() ||
      Dst->Width() != Win.Width() || Dst->Height() != Win.Height() || Win.Left < 0 || Win.Top < 0 ||
      Win.Right > Dw || Win.Bottom > Dh || Win.Width() <= 0 || Win.Height() <= 0)
    throw EInvalidOperation(
        "A fast linear window takes a 24-bit or grey source and a window inside the result");
  TIERowTable s(Src);
  TIERowWriter d(Dst);
  const std::size_t skip = static_cast<std::size_t>(Sx) * ch;
  auto row = [&](int r, std::uint8_t*) { return s.Walk(Sy + r) + skip; };
  auto dst = [&](int y) { return d.Row(y); };
  auto done = [&](int y, const std::uint8_t*) { d.Done(y); };
  const bool xi = Dw > Sw, yi = Dh > Sh;
  if (Sw == Dw && Sh == Dh) {
    // Not resampled at all: the pixels themselves.
    for (int y = 0; y < Win.Height(); ++y) {
      std::memcpy(dst(y), row(Win.Top + y, nullptr) + static_cast<std::size_t>(Win.Left) * ch,
                  static_cast<std::size_t>(Win.Width()) * ch);
      done(y, nullptr);
    }
  } else if (ch == 3) {
    FastLinearPasses<3>(Sw, Sh, Dw, Dh, Win, xi, yi, IEResampleThreadCount(), row, dst, done,
                        TIEProgressEvent(), nullptr);
  } else {
    FastLinearPasses<1>(Sw, Sh, Dw, Dh, Win, xi, yi, IEResampleThreadCount(), row, dst, done,
                        TIEProgressEvent(), nullptr);
  }
}

void _IEResample1bitLinear(TIEBitmap* Src, TIEBitmap* Dst, TObject* Sender,
                           const TIEProgressEvent& OnProgress) {
  if (NothingToResample(Src, Dst)) return;
  int sw = Src->Width(), sh = Src->Height(), dw = Dst->Width(), dh = Dst->Height();
  double XS = static_cast<double>(dw) / sw, YS = static_cast<double>(dh) / sh;
  if (Dst->PixelFormat() != ie24RGB && !Dst->Allocate(dw, dh, ie24RGB)) return;
  if (XS < 1 && YS < 1) {
    _IEResample1bitBox(Src, 0, 0, sw - 1, sh - 1, Dst);
    return;
  }
  // The grey value is the same in all three channels: one channel is
  // interpolated and spread into the 24-bit rows.
  std::vector<std::uint8_t> grey(static_cast<std::size_t>(dh) * dw);
  TIERowTable s(Src);
  TIERowWriter d(Dst);
  FastLinearPasses<1>(
      sw, sh, dw, dh, TRect{0, 0, dw, dh}, true, true, IEResampleThreadCount(),
      [&](int r, std::uint8_t* scratch) {
        const std::uint8_t* bits = s.Walk(r);
        for (int x = 0; x < sw; ++x) scratch[x] = Bit(bits, x) ? 255 : 0;
        return static_cast<const std::uint8_t*>(scratch);
      },
      [&](int y) { return grey.data() + static_cast<std::size_t>(y) * dw; },
      [&](int y, const std::uint8_t* g) {
        std::uint8_t* row = d.Row(y);
        for (int x = 0; x < dw; ++x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = g[x];
        d.Done(y);
      },
      OnProgress, Sender);
}

void _IEResample1bitBox(TIEBitmap* Src, int X1, int Y1, int X2, int Y2, TIEBitmap* Dst) {
  if (!Src || !Dst || Src->Width() <= 0 || Src->Height() <= 0 || Dst->Width() <= 0 || Dst->Height() <= 0)
    return;
  if (Src->PixelFormat() != ie1g || Dst->PixelFormat() != ie24RGB) return;
  const int sw = Src->Width(), sh = Src->Height(), dw = Dst->Width(), dh = Dst->Height();
  if (X1 > X2) std::swap(X1, X2);
  if (Y1 > Y2) std::swap(Y1, Y2);
  // The rectangle is kept inside the image before the blocks are measured
  // and every block again after the offset.
  X1 = std::clamp(X1, 0, sw - 1);
  X2 = std::clamp(X2, 0, sw - 1);
  Y1 = std::clamp(Y1, 0, sh - 1);
  Y2 = std::clamp(Y2, 0, sh - 1);
  const double RX = static_cast<double>(X2 - X1 + 1) / dw, RY = static_cast<double>(Y2 - Y1 + 1) / dh;
  std::vector<int> c0(static_cast<std::size_t>(dw)), c1(static_cast<std::size_t>(dw));
  for (int x = 0; x < dw; ++x) {
    std::int64_t a = Trunc(x * RX - RX / 2) + X1, b = Trunc(RX / 2 + x * RX) + X1;
    c0[x] = static_cast<int>(std::clamp<std::int64_t>(a, X1, X2));
    c1[x] = static_cast<int>(std::clamp<std::int64_t>(b, X1, X2));
  }
  const double halfRY = static_cast<double>(Trunc(RY)) / 2;
  std::vector<int> counts(static_cast<std::size_t>(dw));
  for (int y = 0; y < dh; ++y) {
    std::int64_t a = std::clamp<std::int64_t>(Trunc(y * RY - RY / 2), 0, sh - 1) + Y1;
    std::int64_t b = std::clamp<std::int64_t>(Trunc(halfRY + y * RY), 0, sh - 1) + Y1;
    int r0 = static_cast<int>(std::clamp<std::int64_t>(a, Y1, Y2));
    int r1 = static_cast<int>(std::clamp<std::int64_t>(b, Y1, Y2));
    std::fill(counts.begin(), counts.end(), 0);
    for (int r = r0; r <= r1; ++r) {
      const std::uint8_t* bits = Src->GetScanline(r);
      for (int x = 0; x < dw; ++x)
        for (int k = c0[x]; k <= c1[x]; ++k) counts[x] += Bit(bits, k);
    }
    std::uint8_t* d = Dst->GetScanline(y);
    for (int x = 0; x < dw; ++x) {
      std::int64_t total = static_cast<std::int64_t>(r1 - r0 + 1) * (c1[x] - c0[x] + 1);
      auto v = static_cast<std::uint8_t>(total > 0 ? 255 * static_cast<std::int64_t>(counts[x]) / total : 0);
      d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = v;
    }
  }
}

}  // namespace redozir
