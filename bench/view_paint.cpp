// Repaints of the image view: a 1920 x 1080 client over an 8000 x 6000
// picture with an alpha layer, a half-transparent layer and a rotated layer,
// at zoom to fit, 25 %, 100 % and 400 %, with the zoom filters none, fast
// linear and Lanczos3. Three kinds of repaint: a full recomposition (an
// update drops what the layers keep, as any change of the picture does), the
// steady state (the back buffer composed again from what the layers keep, as
// a moved layer or the selection's animation asks) and an exposure (the back
// buffer only blitted). A memcpy of the client's 32-bit bytes is the floor.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"
#include "platform/application.h"
#include "platform/forms.h"
#include "platform/inject.h"

using namespace redozir;

namespace {
constexpr int kClientW = 1920, kClientH = 1080;
constexpr int kPictureW = 8000, kPictureH = 6000;

void Gradient(TIEBitmap* b, int w, int h, int seed) {
  b->Allocate(w, h, ie24RGB);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = b->GetScanline(y);
    for (int x = 0; x < w; ++x) {
      row[3 * x] = static_cast<std::uint8_t>(x * 255 / w + seed);
      row[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / h);
      row[3 * x + 2] = static_cast<std::uint8_t>((x / 40 + y / 40 + seed) * 37);
    }
  }
}

// One view for the whole run: making the picture takes longer than most
// of the measurements.
struct TScene {
  THeadlessSession session;
  TForm* form;
  TRedozIrView* view;
  TScene() {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, kClientW, kClientH);
    view = new TRedozIrView(form);
    view->SetParent(form);
    view->SetBorderStyle(bsNone);
    view->SetScrollBars(ssNone);
    view->SetBounds(0, 0, kClientW, kClientH);
    Gradient(view->GetIEBitmap(), kPictureW, kPictureH, 0);
    // An alpha layer: transparent at its left, opaque at its right.
    view->LayersAdd();
    Gradient(view->GetIEBitmap(), 2000, 1500, 50);
    TIEBitmap* a = view->GetIEBitmap()->GetAlphaChannel();
    for (int y = 0; y < a->Height(); ++y)
      for (int x = 0; x < a->Width(); ++x)
        a->GetScanline(y)[x] = static_cast<std::uint8_t>(x * 255 / a->Width());
    a->SetFull(false);
    view->GetCurrentLayer()->PosX = 500;
    view->GetCurrentLayer()->PosY = 400;
    // A half-transparent layer.
    view->LayersAdd();
    Gradient(view->GetIEBitmap(), 2000, 1500, 100);
    view->GetCurrentLayer()->Transparency = 128;
    view->GetCurrentLayer()->PosX = 3000;
    view->GetCurrentLayer()->PosY = 2500;
    // A rotated layer.
    view->LayersAdd();
    Gradient(view->GetIEBitmap(), 1500, 1000, 150);
    view->GetCurrentLayer()->PosX = 5000;
    view->GetCurrentLayer()->PosY = 1000;
    view->GetCurrentLayer()->SetRotate(30);
    view->SetLayersCurrent(0);
    form->Show();
    Application->ProcessMessages();
  }
  ~TScene() { delete form; }
};

// Kept to the end of the program: the platform's globals go first.
TScene& Scene() {
  static TScene* scene = new TScene;
  return *scene;
}

constexpr double kZooms[] = {0, 25, 100, 400};  // 0: fit
constexpr TResampleFilter kFilters[] = {rfNone, rfFastLinear, rfLanczos3};

// Arguments: zoom (0 fit, 1 25 %, 2 100 %, 3 400 %), filter (0 none, 1 fast
// linear, 2 Lanczos3), repaint (0 full recomposition, 1 steady state, 2
// exposure).
void BM_ViewRepaint(benchmark::State& state) {
  TScene& s = Scene();
  TRedozIrView* v = s.view;
  v->SetZoomFilter(kFilters[state.range(1)]);
  if (kZooms[state.range(0)] == 0)
    v->Fit();
  else
    v->Zoom(kZooms[state.range(0)]);
  // Into the middle of the picture.
  int mx, my;
  v->GetMaxViewXY(mx, my);
  v->SetViewXY(mx / 2, my / 2);
  Application->ProcessMessages();
  const int kind = static_cast<int>(state.range(2));
  int composed = v->CompositionCount();
  for (auto _ : state) {
    if (kind == 0)
      v->Update();
    else if (kind == 1)
      v->InvalidateRectEx(v->ClientRect());
    else
      v->Invalidate();
    Application->ProcessMessages();
  }
  int compositions = v->CompositionCount() - composed;
  if ((kind < 2 && compositions != state.iterations()) || (kind == 2 && compositions != 0))
    state.SkipWithError("the repaints composed the back buffer another number of times than asked");
  state.counters["repaints/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.SetLabel(
      std::string(kZooms[state.range(0)] == 0 ? "fit" : std::to_string(int(kZooms[state.range(0)])) + "%") +
      (state.range(1) == 0   ? " none"
       : state.range(1) == 1 ? " fast linear"
                             : " Lanczos3") +
      (kind == 0   ? " recompose"
       : kind == 1 ? " steady"
                   : " exposure"));
}
BENCHMARK(BM_ViewRepaint)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1, 2}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.3)
    ->UseRealTime();

// The floor: the client's 32-bit bytes moved by memcpy.
void BM_MemcpyClient(benchmark::State& state) {
  size_t n = static_cast<size_t>(kClientW) * kClientH * 4;
  std::vector<std::uint8_t> a(n, 1), b(n, 2);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), n);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(n));
}
BENCHMARK(BM_MemcpyClient)->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
