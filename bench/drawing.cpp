// Drawing primitives on a 1920 x 1080 24-bit bitmap: a full fill, an aliased
// and an anti-aliased polygon, and a line of text.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "platform/aa.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"

using namespace redozir;

namespace {
constexpr int kW = 1920, kH = 1080;

// A 24-pointed star spanning most of the bitmap.
std::vector<TPointD> Star() {
  std::vector<TPointD> pts;
  for (int i = 0; i < 48; ++i) {
    double a = i * 3.14159265358979323846 / 24;
    double r = (i % 2 ? 0.45 : 0.2) * kH;
    pts.push_back({kW / 2 + r * 1.6 * std::cos(a), kH / 2 + r * std::sin(a)});
  }
  return pts;
}
}  // namespace

static void BM_BitmapSetPixelRow(benchmark::State& state) {
  TBitmap bmp(kW, kH, pf24bit);
  for (auto _ : state) {
    for (int x = 0; x < kW; ++x) bmp.SetPixel(x, 540, clRed);
    benchmark::DoNotOptimize(bmp.ScanLine(540));
  }
}
BENCHMARK(BM_BitmapSetPixelRow);

static void BM_FillRect(benchmark::State& state) {
  TBitmap bmp(kW, kH, pf24bit);
  TCanvas* c = bmp.Canvas();
  c->Brush.Color = clTeal;
  for (auto _ : state) {
    c->FillRect({0, 0, kW, kH});
    benchmark::DoNotOptimize(bmp.Bits());
  }
  state.SetItemsProcessed(state.iterations() * kW * kH);
}
BENCHMARK(BM_FillRect);

static void BM_AliasedPolygon(benchmark::State& state) {
  TBitmap bmp(kW, kH, pf24bit);
  TCanvas* c = bmp.Canvas();
  c->Brush.Color = clNavy;
  c->Pen.Color = clYellow;
  std::vector<TPoint> pts;
  for (const TPointD& p : Star()) pts.push_back({static_cast<int>(p.X), static_cast<int>(p.Y)});
  for (auto _ : state) {
    c->Polygon(pts);
    benchmark::DoNotOptimize(bmp.Bits());
  }
}
BENCHMARK(BM_AliasedPolygon);

static void BM_AntiAliasedPolygon(benchmark::State& state) {
  TBitmap bmp(kW, kH, pf24bit);
  TAAPath path;
  std::vector<TPointD> pts = Star();
  path.AddPolygon(pts.data(), static_cast<int>(pts.size()));
  TAARenderer r(bmp);
  for (auto _ : state) {
    r.Fill(path, clNavy, 200);
    benchmark::DoNotOptimize(bmp.Bits());
  }
}
BENCHMARK(BM_AntiAliasedPolygon);

static void BM_TextLine(benchmark::State& state) {
  TBitmap bmp(kW, kH, pf24bit);
  TCanvas* c = bmp.Canvas();
  c->Font.Name = "Arial";
  c->Font.Height = -24;
  c->Font.Color = clWhite;
  c->Brush.Style = bsClear;
  const std::string line = "The quick brown fox jumps over the lazy dog 0123456789 (drawing benchmark)";
  for (auto _ : state) {
    c->TextOut(20, 500, line);
    benchmark::DoNotOptimize(bmp.Bits());
  }
}
BENCHMARK(BM_TextLine);

BENCHMARK_MAIN();
