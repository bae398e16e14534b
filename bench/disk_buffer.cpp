// A 12000 x 12000 picture in memory and in the disk buffer (its memory
// threshold forced to 0), through the same work: a 30 degree bilinear
// rotation and a Lanczos3 reduction to half of the 24-bit picture, and the
// gaussian blur (sigma 10) of its 8-bit plane. The disk runs come first: the
// peak resident size is reset before them and reported after each of them
// ("peak_rss_MB", the whole process: pictures in memory are built only after
// the disk runs), beside the picture's in-memory size ("picture_MB"), and the
// processor time the kernel spent for the timed work ("sys_ms", all threads:
// page faults, mostly). Each job first runs once untimed: memory the process
// touches for the first time can cost several times more (a virtual machine's
// host may have to back it first), and without that the disk runs, which come
// first, paid for it alone.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <utility>

#include "imaging/core/iebitmap.h"
#include "imaging/core/ieproc.h"
#include "imaging/formats/ie_codecs.h"
#include "imaging/formats/ioparams.h"
#include "imaging/processing/bitmap_ops.h"
#include "imaging/processing/ie_blur.h"
#include "imaging/processing/ie_rotate.h"
#include "imaging/processing/resample.h"

using namespace redozir;

namespace {

constexpr int kSide = 12000;

// Diagonal stripes over two gradients with a little noise, written row by
// row (a disk-buffered picture never has all of its rows in memory).
void Paint(TIEBitmap& b) {
  const bool grey = b.GetPixelFormat() == ie8g;
  std::uint32_t s = 2024;
  for (int y = 0; y < kSide; ++y) {
    std::uint8_t* r = b.GetScanline(y);
    for (int x = 0; x < kSide; ++x) {
      s = s * 22695477u + 1u;
      int noise = static_cast<int>(s >> 29);
      std::uint8_t g = static_cast<std::uint8_t>((y * 255 / kSide + noise) & 0xFF);
      if (grey) {
        r[x] = g;
        continue;
      }
      r[3 * x] = static_cast<std::uint8_t>((x * 255 / kSide + noise) & 0xFF);
      r[3 * x + 1] = g;
      r[3 * x + 2] = static_cast<std::uint8_t>((((x + y) / 61) % 2 ? 200 : 40) + noise);
    }
  }
}

std::unique_ptr<TIEBitmap> Picture(TIEPixelFormat pf, bool disk) {
  auto b = std::make_unique<TIEBitmap>();
  b->SetMemoryThreshold(disk ? 0 : -1);
  if (!b->Allocate(kSide, kSide, pf)) std::abort();
  Paint(*b);
  return b;
}

std::int64_t StatusKB(const char* key) {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind(key, 0) == 0) return std::atoll(line.c_str() + std::strlen(key));
  return 0;
}

double SystemSeconds() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return static_cast<double>(r.ru_stime.tv_sec) + static_cast<double>(r.ru_stime.tv_usec) / 1e6;
}

// Starts a new peak of the resident size (Linux: clear_refs value 5), after
// letting go of the pixel blocks earlier jobs left kept.
void ResetPeak() {
  IEReleaseKeptPixelMemory();
  if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
}

enum TWork { wRotate, wLanczos, wBlur };

// The work on picture B (its result's allocation included).
void Work(TWork work, TIEBitmap* b, bool disk) {
  switch (work) {
    case wRotate:
      _IERotateInterpolated(b, 0xFFFFFF, 1, nullptr, TIEProgressEvent(), 30);
      benchmark::DoNotOptimize(b->GetScanline(0));
      break;
    case wLanczos: {
      TIEBitmap dst;
      dst.SetMemoryThreshold(disk ? 0 : -1);
      if (!dst.Allocate(kSide / 2 + 1, kSide / 2 + 1, ie24RGB)) std::abort();
      _IEResampleIEBitmap(b, &dst, rfLanczos3, TIEProgressEvent(), nullptr);
      benchmark::DoNotOptimize(dst.GetScanline(0));
      break;
    }
    case wBlur:
      _IEBlurRect8bit(b, 0, 0, kSide - 1, kSide - 1, 10);
      benchmark::DoNotOptimize(b->GetScanline(0));
      break;
  }
}

void Run(benchmark::State& state, TWork work) {
  const bool disk = state.range(0) != 0;
  const TIEPixelFormat pf = work == wBlur ? ie8g : ie24RGB;
  // Once untimed first (see the top).
  Work(work, Picture(pf, disk).get(), disk);
  if (disk) ResetPeak();
  // Each iteration works on a fresh picture (not timed); the result's
  // allocation is timed.
  double sys = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto b = Picture(pf, disk);
    sys -= SystemSeconds();
    state.ResumeTiming();
    Work(work, b.get(), disk);
    state.PauseTiming();
    sys += SystemSeconds();
    b.reset();
    state.ResumeTiming();
  }
  state.counters["sys_ms"] = sys * 1000 / static_cast<double>(state.iterations());
  state.counters["picture_MB"] = static_cast<double>(kSide) * kSide * IEPixelFormatBits(pf) / 8 / 1e6;
  if (disk) state.counters["peak_rss_MB"] = static_cast<double>(StatusKB("VmHWM:")) / 1000.0;
}

}  // namespace

// Argument 1: the pictures live in the disk buffer; 0: in memory.
static void BM_BigRotateBilinear30(benchmark::State& s) { Run(s, wRotate); }
static void BM_BigLanczos3Half(benchmark::State& s) { Run(s, wLanczos); }
static void BM_BigGaussBlur10(benchmark::State& s) { Run(s, wBlur); }

BENCHMARK(BM_BigRotateBilinear30)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_BigLanczos3Half)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_BigGaussBlur10)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_BigRotateBilinear30)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_BigLanczos3Half)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_BigGaussBlur10)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// --- Rows walked in order: conversions, copies, codecs and the 1-bit
// resamplers on a 12000 x 8000 picture, each job on the disk buffer (threshold
// 0; argument 1) and then in memory (argument 0), the peak resident size
// reset before each job ("peak_rss_MB", the whole process, for both). Run
// with --benchmark_repetitions to get medians.

namespace {

constexpr int kWalkW = 12000, kWalkH = 8000;

// The same stripes and gradients at the walk size; a 1-bit picture gets
// diagonal stripes with noise.
std::unique_ptr<TIEBitmap> WalkPicture(TIEPixelFormat pf, bool disk) {
  auto b = std::make_unique<TIEBitmap>();
  b->SetMemoryThreshold(disk ? 0 : -1);
  if (!b->Allocate(kWalkW, kWalkH, pf)) std::abort();
  std::uint32_t s = 2024;
  for (int y = 0; y < kWalkH; ++y) {
    std::uint8_t* r = b->GetScanline(y);
    if (pf == ie1g) {
      for (int x = 0; x < kWalkW; x += 8) {
        std::uint8_t v = 0;
        for (int i = 0; i < 8; ++i) {
          s = s * 22695477u + 1u;
          if ((((x + i + y) / 37) % 2 != 0) != ((s >> 28) == 0)) v |= static_cast<std::uint8_t>(0x80 >> i);
        }
        r[x >> 3] = v;
      }
      continue;
    }
    for (int x = 0; x < kWalkW; ++x) {
      s = s * 22695477u + 1u;
      int noise = static_cast<int>(s >> 29);
      r[3 * x] = static_cast<std::uint8_t>((x * 255 / kWalkW + noise) & 0xFF);
      r[3 * x + 1] = static_cast<std::uint8_t>((y * 255 / kWalkH + noise) & 0xFF);
      r[3 * x + 2] = static_cast<std::uint8_t>((((x + y) / 61) % 2 ? 200 : 40) + noise);
    }
  }
  return b;
}

enum TWalk {
  wTo32,
  wToGrey,
  wTo1bit,
  w1bitTo24,
  wAssign,
  wCopyRect,
  wCrop,
  wFlipV,
  wAlphaPlane,
  wCanvasGrow,
  wSaveBMP,
  wSaveTIFF,
  wSavePNG,
  wSaveJPEG,
  wLoadBMP,
  wLoadTIFF,
  wLoadPNG,
  wLoadJPEG,
  w1bitTriangle,
  w1bitLinear
};

struct TWalkCodec {
  TIEWriteProc Write;
  TIEReadProc Read;
  const char* Name;
};

TWalkCodec CodecOf(TWalk w) {
  switch (w) {
    case wSaveBMP:
    case wLoadBMP: return {BMPWriteStream, BMPReadStream, "bmp"};
    case wSaveTIFF:
    case wLoadTIFF: return {TIFFWriteStream, TIFFReadStream, "tif"};
    case wSavePNG:
    case wLoadPNG: return {PNGWriteStream, PNGReadStream, "png"};
    default: return {JPEGWriteStream, JPEGReadStream, "jpg"};
  }
}

std::string WalkFile(const char* ext, const char* what) {
  return "/tmp/redozir_bench_walk_" + std::to_string(getpid()) + "_" + what + "." + ext;
}

// The file a load job reads: written once per process from a picture in memory.
const std::string& LoadFile(TWalk w) {
  static std::string files[4];
  TWalkCodec c = CodecOf(w);
  std::string& f = files[w - wLoadBMP];
  if (f.empty()) {
    f = WalkFile(c.Name, "in");
    auto b = WalkPicture(ie24RGB, false);
    TIOParamsVals params;
    TIEProgressRecord progress;
    TFileStream out(f, fmCreate);
    c.Write(out, *b, params, progress);
  }
  return f;
}

void RunWalk(benchmark::State& state, TWalk work) {
  const bool disk = state.range(0) != 0;
  const bool oneBit = work == w1bitTo24 || work == w1bitTriangle || work == w1bitLinear;
  const bool load = work >= wLoadBMP && work <= wLoadJPEG;
  if (load) LoadFile(work);
  ResetPeak();
  double sys = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<TIEBitmap> b = load ? nullptr : WalkPicture(oneBit ? ie1g : ie24RGB, disk);
    TIEBitmap dst;
    dst.SetMemoryThreshold(disk ? 0 : -1);
    TIOParamsVals params;
    TIEProgressRecord progress;
    std::string saved;
    sys -= SystemSeconds();
    state.ResumeTiming();
    switch (work) {
      case wTo32: b->ConvertToPixelFormat(ie32RGB); break;
      case wToGrey: b->ConvertToPixelFormat(ie8g); break;
      case wTo1bit: b->ConvertToPixelFormat(ie1g); break;
      case w1bitTo24: b->ConvertToPixelFormat(ie24RGB); break;
      case wAssign: dst.Assign(b.get()); break;
      case wCopyRect:
        if (!dst.Allocate(kWalkW - 2, kWalkH - 2, ie24RGB)) std::abort();
        b->CopyRectTo(&dst, 1, 1, 0, 0, kWalkW - 2, kWalkH - 2);
        break;
      case wCrop: {
        TRedozIrProc proc;
        proc.AutoUndo = false;
        proc.SetAttachedIEBitmap(b.get());
        proc.Crop(1, 1, kWalkW - 2, kWalkH - 2);
        break;
      }
      case wFlipV: _IEFlip(b.get(), 1); break;
      case wAlphaPlane: benchmark::DoNotOptimize(b->GetAlphaChannel()); break;
      case wCanvasGrow: b->Resize(kWalkW + 200, kWalkH + 200, 0, 255, 1, 1); break;
      case wSaveBMP:
      case wSaveTIFF:
      case wSavePNG:
      case wSaveJPEG: {
        saved = WalkFile(CodecOf(work).Name, "out");
        TFileStream out(saved, fmCreate);
        CodecOf(work).Write(out, *b, params, progress);
        break;
      }
      case wLoadBMP:
      case wLoadTIFF:
      case wLoadPNG:
      case wLoadJPEG: {
        TFileStream in(LoadFile(work), fmOpenRead);
        CodecOf(work).Read(in, dst, params, progress);
        break;
      }
      case w1bitTriangle:
      case w1bitLinear:
        if (!dst.Allocate(kWalkW / 2, kWalkH / 2, ie24RGB)) std::abort();
        _IEResampleIEBitmap(b.get(), &dst, work == w1bitTriangle ? rfTriangle : rfFastLinear,
                            TIEProgressEvent(), nullptr);
        break;
    }
    state.PauseTiming();
    sys += SystemSeconds();
    if (!saved.empty()) std::remove(saved.c_str());
    b.reset();
    dst.FreeImage();
    state.ResumeTiming();
  }
  state.counters["sys_ms"] = sys * 1000 / static_cast<double>(state.iterations());
  // The larger of the source and the result, in memory (the 1-bit
  // resamplers make a 24-bit picture of a quarter of the source's pixels).
  const bool quarter = work == w1bitTriangle || work == w1bitLinear;
  state.counters["picture_MB"] = static_cast<double>(kWalkW) * kWalkH * (quarter ? 0.75 : 3.0) / 1e6;
  state.counters["peak_rss_MB"] = static_cast<double>(StatusKB("VmHWM:")) / 1000.0;
}

// Deletes the load jobs' files at exit.
struct TWalkFiles {
  ~TWalkFiles() {
    for (TWalk w : {wLoadBMP, wLoadTIFF, wLoadPNG, wLoadJPEG})
      std::remove(WalkFile(CodecOf(w).Name, "in").c_str());
  }
} walkFiles;

// Every job on the disk buffer, then in memory.
[[maybe_unused]] const bool walkJobs = [] {
  const std::pair<const char*, TWalk> jobs[] = {{"To32", wTo32},
                                                {"ToGrey", wToGrey},
                                                {"To1bit", wTo1bit},
                                                {"1bitTo24", w1bitTo24},
                                                {"Assign", wAssign},
                                                {"CopyRect", wCopyRect},
                                                {"Crop", wCrop},
                                                {"FlipVertical", wFlipV},
                                                {"AlphaPlane", wAlphaPlane},
                                                {"CanvasGrow", wCanvasGrow},
                                                {"SaveBMP", wSaveBMP},
                                                {"SaveTIFF", wSaveTIFF},
                                                {"SavePNG", wSavePNG},
                                                {"SaveJPEG", wSaveJPEG},
                                                {"LoadBMP", wLoadBMP},
                                                {"LoadTIFF", wLoadTIFF},
                                                {"LoadPNG", wLoadPNG},
                                                {"LoadJPEG", wLoadJPEG},
                                                {"1bitTriangle", w1bitTriangle},
                                                {"1bitLinear", w1bitLinear}};
  for (const auto& [name, job] : jobs)
    benchmark::RegisterBenchmark((std::string("BM_Walk") + name).c_str(),
                                 [job = job](benchmark::State& s) { RunWalk(s, job); })
        ->Arg(1)
        ->Arg(0)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(1);
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
