// Image codecs, the colour quantiser and the zlib streams on a 1024 x 768
// photograph-like image (smooth gradients with some texture).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/core/ie_quantizer.h"
#include "imaging/formats/zstreams.h"
#include "imaging/io/redozir_io.h"

using namespace redozir;

namespace {
constexpr int W = 1024, H = 768;

void FillPhoto(TIEBitmap& b) {
  b.Allocate(W, H, ie24RGB);
  for (int y = 0; y < H; ++y) {
    std::uint8_t* p = b.GetScanline(y);
    for (int x = 0; x < W; ++x) {
      p[3 * x] = static_cast<std::uint8_t>(x / 4);
      p[3 * x + 1] = static_cast<std::uint8_t>(128 + 100 * std::sin((x + 2 * y) / 40.0));
      p[3 * x + 2] = static_cast<std::uint8_t>((y / 3 + ((x * 7 + y * 13) % 17)) & 255);
    }
  }
}

// BENCH_SAVE_DIR=dir keeps each format's file there (bench.<format>), so
// that bench/peers has the peers decode the very bytes ours decodes.
void Encode(benchmark::State& state, int ft, const char* ext) {
  TRedozIrIO io;
  FillPhoto(*io.GetIEBitmap());
  for (auto _ : state) {
    TMemoryStream ms;
    io.SaveToStream(ms, ft);
    benchmark::DoNotOptimize(ms.Size());
  }
  state.SetItemsProcessed(state.iterations() * W * H);
  if (const char* dir = std::getenv("BENCH_SAVE_DIR")) {
    TMemoryStream ms;
    io.SaveToStream(ms, ft);
    ms.SaveToFile(std::string(dir) + "/bench." + ext);
  }
}

void Decode(benchmark::State& state, int ft) {
  TRedozIrIO io;
  FillPhoto(*io.GetIEBitmap());
  TMemoryStream ms;
  io.SaveToStream(ms, ft);
  for (auto _ : state) {
    ms.SetPosition(0);
    io.LoadFromStreamFormat(ms, ft);
  }
  state.SetItemsProcessed(state.iterations() * W * H);
}
}  // namespace

static void BM_EncodePNG(benchmark::State& s) { Encode(s, ioPNG, "png"); }
static void BM_DecodePNG(benchmark::State& s) { Decode(s, ioPNG); }
static void BM_EncodeJPEG(benchmark::State& s) { Encode(s, ioJPEG, "jpg"); }
static void BM_DecodeJPEG(benchmark::State& s) { Decode(s, ioJPEG); }
static void BM_EncodeBMP(benchmark::State& s) { Encode(s, ioBMP, "bmp"); }
static void BM_DecodeBMP(benchmark::State& s) { Decode(s, ioBMP); }
static void BM_EncodeTIFF(benchmark::State& s) { Encode(s, ioTIFF, "tif"); }
static void BM_DecodeTIFF(benchmark::State& s) { Decode(s, ioTIFF); }
BENCHMARK(BM_EncodePNG)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePNG)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeJPEG)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeJPEG)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeBMP)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeBMP)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeTIFF)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTIFF)->Unit(benchmark::kMillisecond);

// Palette of 256 colours, then every pixel mapped through RGBIndex.
static void BM_Quantize256(benchmark::State& state) {
  TIEBitmap b;
  FillPhoto(b);
  std::vector<TRGB> pal(256);
  for (auto _ : state) {
    TIEQuantizer q(&b, pal.data(), 0x7FFFFFF, 256);
    long sum = 0;
    for (int y = 0; y < H; ++y) {
      const TRGB* row = reinterpret_cast<const TRGB*>(b.GetScanline(y));
      for (int x = 0; x < W; ++x) sum += q.RGBIndex(row[x]);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * W * H);
}
BENCHMARK(BM_Quantize256)->Unit(benchmark::kMillisecond);

static void BM_ZCompressDefault(benchmark::State& state) {
  TIEBitmap b;
  FillPhoto(b);
  for (auto _ : state) {
    TMemoryStream out;
    TZCompressionStream z(out, 2);
    for (int y = 0; y < H; ++y) z.WriteBuffer(b.GetScanline(y), W * 3);
    z.Finish();
    benchmark::DoNotOptimize(out.Size());
  }
  state.SetBytesProcessed(state.iterations() * W * H * 3);
}
BENCHMARK(BM_ZCompressDefault)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
