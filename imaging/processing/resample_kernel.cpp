// The separable filter-kernel resampler: _IEResampleKernel (threaded first
// and second pass), _IEResample8bit and the kernel path of _IEResample1bit,
// with the scalar reference of the rows (resample_kernel_avx2.cpp and
// resample_kernel_avx512.cpp hold the vector rows). The kernels and the
// contributor tables are in resample_kernel_taps.cpp.
#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "imaging/core/ie_kept.h"
#include "imaging/core/ie_parallel.h"
#include "imaging/core/ie_pixelblocks.h"
#include "imaging/processing/resample.h"
#include "imaging/processing/resample_internal.h"
#include "platform/numeric.h"

namespace redozir {

namespace {
inline std::uint8_t DivClamp(int s, int d) {
  int v = s / d;
  return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}
}  // namespace

void IEKernelRowH(const TIEResampleTaps& T, int Channels, const std::uint8_t* Src, std::uint8_t* Dst) {
  for (int x = 0; x < T.M; ++x) {
    const auto list = T.List(x);
    for (int c = 0; c < Channels; ++c) {
      int s = 0;
      for (const auto& e : list) s += Src[e.Pixel * Channels + c] * e.Weight;
      Dst[x * Channels + c] = DivClamp(s, T.Sum[static_cast<size_t>(x)]);
    }
  }
}

TIEKernelRowPairs::TIEKernelRowPairs(const TIEResampleTaps& T, int y, int R,
                                     const std::uint8_t* const* Rows) {
  int first = T.Start[y], end = first + T.Len[y];
  for (int i = 1; i < R; ++i) {
    first = std::min(first, T.Start[y + i]);
    end = std::max(end, T.Start[y + i] + T.Len[y + i]);
  }
  const int count = end - first, pairs = Count = (count + 1) / 2;
  PR.resize(static_cast<std::size_t>(pairs) * 2);
  for (int k = 0; k < pairs; ++k) {
    PR[2 * k] = Rows[first + 2 * k];
    PR[2 * k + 1] = Rows[first + (2 * k + 1 < count ? 2 * k + 1 : 2 * k)];
  }
  for (int i = 0; i < R; ++i) {
    const int start = T.Start[y + i], len = T.Len[y + i];
    const std::int16_t* w = T.W.data() + static_cast<std::size_t>(y + i) * T.Stride;
    // Row y + i's weight of row first + j: 0 outside its own window.
    auto weight = [&](int j) {
      const int k = first + j - start;
      return j < count && k >= 0 && k < len ? static_cast<unsigned>(w[k]) & 0xFFFFu : 0u;
    };
    PW[i].resize(static_cast<std::size_t>(pairs));
    for (int k = 0; k < pairs; ++k) PW[i][k] = static_cast<int>(weight(2 * k) | (weight(2 * k + 1) << 16));
  }
}

void IEKernelRowV(const TIEResampleTaps& T, int y, const std::uint8_t* const* Rows, int Bytes,
                  std::uint8_t* Dst) {
  std::vector<int> acc;
  acc.assign(static_cast<size_t>(Bytes), 0);
  for (const auto& e : T.List(y)) {
    const std::uint8_t* r = Rows[e.Pixel];
    int w = e.Weight;
    for (int b = 0; b < Bytes; ++b) acc[static_cast<size_t>(b)] += r[b] * w;
  }
  for (int b = 0; b < Bytes; ++b)
    Dst[b] = DivClamp(acc[static_cast<size_t>(b)], T.Sum[static_cast<size_t>(y)]);
}

namespace {
// A plane of bytes (the work image between the passes) with spare bytes
// after each row for the vector stores.
// Left unset: every row is written before it is read, and the pages are
// first touched by the threads that write them.
struct TIEWorkPlane {
  std::size_t Stride = 0, Size = 0;
  std::unique_ptr<std::uint8_t[]> Data;
  TIEWorkPlane() = default;
  TIEWorkPlane(int RowBytes, int Rows) { Resize(RowBytes, Rows); }
  // Room for Rows rows of RowBytes (the block is kept when large enough).
  void Resize(int RowBytes, int Rows) {
    Stride = static_cast<std::size_t>(RowBytes) + kIEResampleRowPad;
    const std::size_t n = Stride * static_cast<std::size_t>(Rows) + kIEResampleRowPad;
    if (n <= Size) return;
    Data.reset();
    Data.reset(new std::uint8_t[n]);
    Size = n;
  }
  std::uint8_t* Row(int r) { return Data.get() + Stride * static_cast<std::size_t>(r); }
};

// One thread's source row buffers: the row expanded or its padded tail,
// and the scratch of the 16-row first pass.
struct TIERowBuffers {
  std::vector<std::uint8_t> scratch, padded, block;
  TIERowBuffers() = default;
  explicit TIERowBuffers(std::size_t n) { Size(n); }
  void Size(std::size_t n) {
    scratch.assign(n + kIEResampleRowPad, 0);
    padded.assign(n + kIEResampleRowPad, 0);
  }
};

// The work rows one thread keeps during a call: a ring direct-mapped by
// source row, tag[slot] the row a slot holds (-1: none), rows[r] where row r
// was put.
struct TIEWorkRing {
  TIERowBuffers b;
  TIEWorkPlane plane;
  std::vector<int> tag;
  std::vector<const std::uint8_t*> rows;
  void Prepare(std::size_t SrcBytes, int Bytes, int Cap, int Rows) {
    b.Size(SrcBytes);
    plane.Resize(Bytes, Cap);
    tag.assign(static_cast<std::size_t>(Cap), -1);
    rows.assign(static_cast<std::size_t>(Rows), nullptr);
  }
  std::int64_t Bytes() const {
    return static_cast<std::int64_t>(plane.Size + b.block.capacity() + b.scratch.capacity() +
                                     b.padded.capacity() + 4 * tag.capacity() + 8 * rows.capacity());
  }
};

// The memory of a call, kept for about a second for the next one (within
// the pixel keeper's limit, and let go with its blocks): the tables and the
// threads' rings (their bytes stale: the tables are built again and a
// ring's tags start empty). Made afresh for each call, their
// blocks (a few hundred KB each) came from the system and went back to it
// every time, which cleared their pages again (173 faults for a 1000x750 ->
// 4000x3000) and gave them back on the calling thread after the workers
// were done (0.1-0.2 ms).
struct TIEKernelScratch {
  TIEResampleTaps h, v;
  std::vector<std::unique_ptr<TIEWorkRing>> rings;
  std::int64_t Bytes() const {
    std::int64_t n = 0;
    for (const TIEResampleTaps* t : {&h, &v})
      n += static_cast<std::int64_t>(8 * t->Taps.capacity() +
                                     4 * (t->TapCount.capacity() + t->Start.capacity() + t->Len.capacity() +
                                          t->Sum.capacity() + t->PStart.capacity() + t->PLen.capacity() +
                                          t->PW.capacity() + t->Rcp.capacity()) +
                                     2 * (t->W.capacity() + t->W3.capacity()));
    for (const auto& r : rings)
      if (r) n += r->Bytes();
    return n;
  }
};
TIEKeeper& KeptScratch() {
  static TIEKeeper* k =
      new TIEKeeper([](TIEKeeper::TItem r) { delete reinterpret_cast<TIEKernelScratch*>(r.Handle); },
                    std::int64_t(64) << 20, 4, &IEKeptPixels());
  return *k;
}
// Smaller calls' memory comes from the heap without faults: it is freed.
constexpr std::int64_t kKeptScratchFrom = std::int64_t(512) << 10;
struct TIEKeepScratch {
  void operator()(TIEKernelScratch* r) const noexcept {
    const std::int64_t bytes = r->Bytes();
    if (bytes < kKeptScratchFrom) {
      delete r;
      return;
    }
    KeptScratch().Keep({reinterpret_cast<std::uintptr_t>(r), bytes, {}});
  }
};
std::unique_ptr<TIEKernelScratch, TIEKeepScratch> TakeScratch() {
  TIEKeeper::TItem got;
  return std::unique_ptr<TIEKernelScratch, TIEKeepScratch>(
      KeptScratch().Take(0, std::numeric_limits<std::int64_t>::max(), got)
          ? reinterpret_cast<TIEKernelScratch*>(got.Handle)
          : new TIEKernelScratch);
}

// Both passes for Channels interleaved 8-bit channels. GetSrc(r) hands the
// source row r as Channels bytes per pixel (read-only, or expanded into the
// scratch row); DstRow(y) gives the row that destination row y is written
// to and Finish(y, row) takes it once written.
//
// With progress watched, the passes run as two phases: the first over every
// source row on Threads bands (band 0 reporting), the second row by row on
// the calling thread. Otherwise each thread takes chunks of destination rows
// and keeps just the work rows its windows need in a small ring, which
// spares the whole work image and its memory traffic; a work row depends
// only on its source row, so the bytes are the same either way.
//
// With StableRows (rows handed by GetSrc stay valid together, as in a bitmap
// in memory) three channels go through the first pass 16 rows at a time.
void KernelTwoPass(int sw, int sh, int dw, int dh, int Channels, TResampleFilter Filter, int Threads,
                   bool StableRows,
                   const std::function<const std::uint8_t*(int r, std::uint8_t* scratch)>& GetSrc,
                   const std::function<std::uint8_t*(int y)>& DstRow,
                   const std::function<void(int y, const std::uint8_t* row)>& Finish,
                   const TIEProgressEvent* OnProgress, TObject* Sender) {
  const bool watched = OnProgress && *OnProgress;
  const double F = 100.0 / (static_cast<double>(sh) + dh + 0.5);
  const int n = std::max(1, Threads);
  // Built for this call: nothing of them is used by the next (only their
  // memory is kept for it).
  const auto kept = TakeScratch();
  TIEResampleTaps &th = kept->h, &tv = kept->v;
  // The rows follow on the same workers (unless progress is watched). Three
  // channels of stable rows go through the first pass 16 rows at a time
  // whenever the vector rows can take the weights: W3 is not needed then.
  IEBuildTapsPair(sw, dw, sh, dh, Filter, n, th, tv, !watched,
                  Channels == 3 && StableRows && IEResampleUseAVX2());
  const bool simdH = IEResampleUseAVX2() && !th.W.empty() && (Channels == 3 || Channels == 1);
  const bool simdV = IEResampleUseAVX2() && !tv.W.empty();
  const int bytes = dw * Channels;
  const std::size_t srcBytes = static_cast<std::size_t>(sw) * Channels;

  const bool block = simdH && Channels == 3 && StableRows;
  const bool wide = block && IEResampleUseAVX512();
  const bool wideV = simdV && IEResampleUseAVX512();
  using RowBuffers = TIERowBuffers;
  // Work rows r0 .. r0 + count - 1 (count <= 16) into outs.
  auto horizBlock = [&](int r0, int count, RowBuffers& b, std::uint8_t* const* outs) {
    const std::uint8_t* srcs[kIEBlockRows];
    for (int i = 0; i < count; ++i) srcs[i] = GetSrc(r0 + i, b.scratch.data());
    if (wide)
      IEKernelBlockH3_AVX512(th, srcs, count, outs, b.block);
    else
      IEKernelBlockH3_AVX2(th, srcs, count, outs, b.block);
  };
  auto horizRow = [&](int r, RowBuffers& b, std::uint8_t* out) {
    const std::uint8_t* s = GetSrc(r, b.scratch.data());
    if (!simdH) {
      IEKernelRowH(th, Channels, s, out);
      return;
    }
    // The last windows read a little past the row's end: they read from a
    // copy of the row's tail with spare bytes.
    const std::size_t tail = static_cast<std::size_t>(
        std::min<std::int64_t>(Channels == 3 ? th.Tail3 : th.Tail1, static_cast<std::int64_t>(srcBytes)));
    std::memcpy(b.padded.data(), s + tail, srcBytes - tail);
    if (Channels == 3)
      IEKernelRowH3_AVX2(th, s, b.padded.data(), out);
    else
      IEKernelRowH1_AVX2(th, s, b.padded.data(), out);
  };
  auto vertRow = [&](int y, const std::uint8_t* const* rows) {
    std::uint8_t* d = DstRow(y);
    if (simdV && wideV)
      IEKernelRowV_AVX512(tv, y, rows, bytes, d);
    else if (simdV)
      IEKernelRowV_AVX2(tv, y, rows, bytes, d);
    else
      IEKernelRowV(tv, y, rows, bytes, d);
    Finish(y, d);
  };

  if (watched) {
    TIEWorkPlane work(bytes, sh);
    IERunBands(sh, n, [&](int t, int first, int count) {
      RowBuffers b(srcBytes);
      TIEPercentReporter rep{OnProgress, Sender};
      const int step = block ? kIEBlockRows : 1;
      for (int r0 = first; r0 < first + count; r0 += step) {
        const int rows = std::min(step, first + count - r0);
        if (block) {
          std::uint8_t* outs[kIEBlockRows];
          for (int i = 0; i < rows; ++i) outs[i] = work.Row(r0 + i);
          horizBlock(r0, rows, b, outs);
        } else {
          horizRow(r0, b, work.Row(r0));
        }
        for (int r = r0; r < r0 + rows; ++r)
          if (t == 0) rep.Report(static_cast<int>(Trunc((static_cast<double>(n) * r + 1) * F)));
      }
    });
    std::vector<const std::uint8_t*> rows(static_cast<std::size_t>(sh));
    for (int r = 0; r < sh; ++r) rows[static_cast<std::size_t>(r)] = work.Row(r);
    TIEPercentReporter rep{OnProgress, Sender};
    for (int y = 0; y < dh; ++y) {
      vertRow(y, rows.data());
      rep.Report(static_cast<int>(Trunc((static_cast<double>(sh) + y + 1) * F)));
    }
    return;
  }

  // Destination rows in one band per thread, walked in small steps; a
  // thread done with its band takes the back half of the fullest one, so a
  // thread held up by other load delays the call by a step at most.
  // Each thread keeps the work rows its windows need in a ring of its own,
  // direct-mapped by source row: a window of at most Stride consecutive rows
  // (and the blocks of 16 from its first missing row on) never evicts its own
  // rows.
  // A step that follows the thread's previous one finds most of its rows
  // made; only the rows shared by the bands of different threads are made
  // twice, by each of them.
  const int cap = block ? std::min((tv.Stride + 15) / 16 * 16 + 16, (sh + 15) / 16 * 16)
                        : std::max(1, std::min(tv.Stride, sh));
  if (kept->rings.size() < static_cast<std::size_t>(n)) kept->rings.resize(static_cast<std::size_t>(n));
  std::vector<TIEWorkRing*> rings(static_cast<std::size_t>(n), nullptr);
  // Steps of an even number of rows, which the second pass takes two at a time.
  IERunSteal(dh, n, std::max(2, dh / (64 * n) & ~1), [&](int t, int first, int count) {
    auto& slot = rings[static_cast<std::size_t>(t)];
    if (!slot) {
      auto& mine = kept->rings[static_cast<std::size_t>(t)];
      if (!mine) mine = std::make_unique<TIEWorkRing>();
      mine->Prepare(srcBytes, bytes, cap, sh);
      slot = mine.get();
    }
    TIEWorkRing& g = *slot;
    // The work rows r0 .. r1 - 1 made (at most Stride of them).
    auto need = [&](int r0, int r1) {
      for (int r = r0; r < r1; ++r) {
        int at = r % cap;
        if (g.tag[static_cast<std::size_t>(at)] != r) {
          if (block) {
            // The 16 rows from the first one missing: a block aligned to 16
            // made rows before it that another thread's band had made.
            const int rb = r, rows = std::min(kIEBlockRows, sh - rb);
            std::uint8_t* outs[kIEBlockRows];
            for (int i = 0; i < rows; ++i) {
              outs[i] = g.plane.Row((rb + i) % cap);
              g.tag[static_cast<std::size_t>((rb + i) % cap)] = rb + i;
            }
            horizBlock(rb, rows, g.b, outs);
          } else {
            horizRow(r, g.b, g.plane.Row(at));
            g.tag[static_cast<std::size_t>(at)] = r;
          }
        }
        g.rows[static_cast<std::size_t>(r)] = g.plane.Row(at);
      }
    };
    for (int y = first; y < first + count;) {
      const int r0 = tv.Start[static_cast<std::size_t>(y)], r1 = r0 + tv.Len[static_cast<std::size_t>(y)];
      // Two rows whose windows differ by a row or two at either end (an
      // enlargement, a mild reduction) go through the vector rows at once,
      // which read and interleave the rows of both windows once; the ring
      // holds them together when they lie within Stride rows. (Four rows at
      // once ran no faster.)
      int s0 = r0, s1 = r1;
      auto together = [&](int R) {
        if (!simdV || y + R > first + count) return false;
        int a = r0, b = r1, most = r1 - r0;
        for (int i = 1; i < R; ++i) {
          const std::size_t yi = static_cast<std::size_t>(y + i);
          a = std::min(a, tv.Start[yi]);
          b = std::max(b, tv.Start[yi] + tv.Len[yi]);
          most = std::max(most, tv.Len[yi]);
        }
        if (b - a > std::min(tv.Stride, most + 2)) return false;
        s0 = a;
        s1 = b;
        return true;
      };
      const int R = together(2) ? 2 : 1;
      if (R > 1) {
        need(s0, s1);
        std::uint8_t* d[2];
        for (int i = 0; i < R; ++i) d[i] = DstRow(y + i);
        if (wideV)
          IEKernelRowV_AVX512(tv, y, R, g.rows.data(), bytes, d);
        else
          IEKernelRowV_AVX2(tv, y, R, g.rows.data(), bytes, d);
        for (int i = 0; i < R; ++i) Finish(y + i, d[i]);
        y += R;
        continue;
      }
      need(r0, r1);
      vertRow(y, g.rows.data());
      ++y;
    }
  });
}

bool IsKernelFilter(TResampleFilter f) { return f >= rfTriangle && f <= rfLinear; }
}  // namespace

void _IEResampleKernel(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter FilterType,
                       const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Src || !Dst || Src->Width() <= 0 || Src->Height() <= 0 || Dst->Width() <= 0 || Dst->Height() <= 0)
    return;
  TIEPixelFormat pf = Src->PixelFormat();
  if (FilterType == rfBilinear || FilterType == rfBicubic) {
    int mode = FilterType == rfBicubic ? 1 : 0;
    if (pf == ie24RGB || pf == ie8g) {
      _IEResampleBilinearBicubic8(Src, Dst, mode, Sender, OnProgress);
      return;
    }
    if (pf == ieRGB48 || pf == ie16g) {
      _IEResampleBilinearBicubic16(Src, Dst, mode, Sender, OnProgress);
      return;
    }
    FilterType = rfTriangle;
  }
  if (pf == ie8g) {
    _IEResample8bit(Src, Dst, FilterType);
    return;
  }
  if (pf == ie1g) {
    // The dispatcher sends 1-bit sources to _IEResample1bit; a direct caller
    // gets the same.
    if (FilterType != rfProjectBW && FilterType != rfProjectWB)
      Dst->Allocate(Dst->Width(), Dst->Height(), ie24RGB);
    _IEResample1bit(Src, Dst, FilterType);
    return;
  }
  std::unique_ptr<TIEBitmap> copy;
  if (pf != ie24RGB) {
    copy = TIEBitmap::CreateSized(Src->Width(), Src->Height(), ie24RGB);
    copy->ConvertFrom(Src);
    Src = copy.get();
    if (Dst->PixelFormat() != ie24RGB && !Dst->Allocate(Dst->Width(), Dst->Height(), ie24RGB)) return;
  }
  if (FilterType == rfFastLinear) {
    _IEResampleFastLinear24(Src, Dst, Sender, OnProgress);
    return;
  }
  if (FilterType == rfProjectBW || FilterType == rfProjectWB) {
    _IEProject24to1(Src, Dst, FilterType == rfProjectWB ? 1 : 0, Sender, OnProgress);
    return;
  }
  if (!IsKernelFilter(FilterType)) FilterType = rfTriangle;
  if (Dst->PixelFormat() != ie24RGB && !Dst->Allocate(Dst->Width(), Dst->Height(), ie24RGB)) return;
  int sw = Src->Width(), sh = Src->Height(), dw = Dst->Width(), dh = Dst->Height();
  // A disk-buffered source or result is mapped once for all the threads.
  const bool disk = Src->Location() == ieFile || Dst->Location() == ieFile;
  if (disk) {
    TIERowTable s(Src);
    TIERowWriter d(Dst);
    // Each thread walks its rows downwards: rows well behind the row asked
    // for leave memory (they stay in the file; a row still wanted by another
    // thread is read again), so the resident size stays small. Result rows
    // go to the file in blocks.
    KernelTwoPass(
        sw, sh, dw, dh, 3, FilterType, IEResampleThreadCount(), true,
        [&](int r, std::uint8_t*) { return s.Walk(r); }, [&](int y) { return d.Row(y); },
        [&](int y, const std::uint8_t*) { d.Done(y); }, &OnProgress, Sender);
    return;
  }
  KernelTwoPass(
      sw, sh, dw, dh, 3, FilterType, IEResampleThreadCount(), Src->Location() == ieMemory,
      [&](int r, std::uint8_t*) { return Src->GetScanline(r); }, [&](int y) { return Dst->GetScanline(y); },
      [](int, const std::uint8_t*) {}, &OnProgress, Sender);
}

void _IEResample8bit(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter FilterType) {
  if (!Src || !Dst || Src->Width() <= 0 || Src->Height() <= 0 || Dst->Width() <= 0 || Dst->Height() <= 0)
    return;
  if (FilterType == rfFastLinear || FilterType == rfBilinear || FilterType == rfBicubic ||
      FilterType == rfProjectBW || FilterType == rfProjectWB) {
    _IEResampleFastLinear8(Src, Dst, nullptr, TIEProgressEvent());
    return;
  }
  if (!IsKernelFilter(FilterType)) FilterType = rfTriangle;
  // Row tables keep every thread on disk-buffered bitmaps too.
  TIERowTable s(Src);
  TIERowWriter d(Dst);
  KernelTwoPass(
      Src->Width(), Src->Height(), Dst->Width(), Dst->Height(), 1, FilterType, IEResampleThreadCount(), false,
      [&](int r, std::uint8_t*) { return s.Walk(r); }, [&](int y) { return d.Row(y); },
      [&](int y, const std::uint8_t*) { d.Done(y); }, nullptr, nullptr);
}

void _IEResample1bit(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter FilterType) {
  if (!Src || !Dst || Src->Width() <= 0 || Src->Height() <= 0 || Dst->Width() <= 0 || Dst->Height() <= 0)
    return;
  if (FilterType == rfProjectBW || FilterType == rfProjectWB) {
    _IEProject1to1(Src, Dst, FilterType == rfProjectWB ? 1 : 0, nullptr, TIEProgressEvent());
    return;
  }
  if (FilterType == rfFastLinear || FilterType == rfBilinear || FilterType == rfBicubic) {
    _IEResample1bitLinear(Src, Dst, nullptr, TIEProgressEvent());
    return;
  }
  if (Dst->PixelFormat() != ie24RGB && !Dst->Allocate(Dst->Width(), Dst->Height(), ie24RGB)) return;
  if (!IsKernelFilter(FilterType)) FilterType = rfTriangle;
  int sw = Src->Width(), dw = Dst->Width();
  TIERowTable s(Src);
  TIERowWriter d(Dst);
  // Grey rows are built beside the 24-bit destination and spread into it.
  std::vector<std::uint8_t> grey(static_cast<std::size_t>(Dst->Height()) * (dw + kIEResampleRowPad));
  KernelTwoPass(
      sw, Src->Height(), dw, Dst->Height(), 1, FilterType, IEResampleThreadCount(), false,
      [&](int r, std::uint8_t* scratch) {
        const std::uint8_t* bits = s.Walk(r);
        for (int x = 0; x < sw; ++x) scratch[x] = (bits[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        return static_cast<const std::uint8_t*>(scratch);
      },
      [&](int y) { return grey.data() + static_cast<std::size_t>(y) * (dw + kIEResampleRowPad); },
      [&](int y, const std::uint8_t* g) {
        std::uint8_t* row = d.Row(y);
        for (int x = 0; x < dw; ++x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = g[x];
        d.Done(y);
      },
      nullptr, nullptr);
}

}  // namespace redozir
