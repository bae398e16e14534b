// The platform's paint path on a 1920 x 1080 client: blits onto the form's
// 32-bit surface (24 -> 32 copy, same-format copy, a grey 8-bit picture,
// overlapping scrolls, stretches), the same blits drawn pixel by pixel as
// before the row paths, and the display's present (whole surface, one changed
// rectangle, and an exposure that paints and presents), beside a plain memcpy
// of the same bytes. The present runs through SDL's dummy display unless
// SDL_VIDEODRIVER names another.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "../tests/platform/blit_reference.h"
#include "platform/application.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/forms.h"
#ifdef IMAGING_BENCH_SDL
#include "platform/sdl/sdl_backend.h"
#endif

using namespace redozir;

namespace {
constexpr int kW = 1920, kH = 1080;

void Noise(TBitmap& b) {
  std::mt19937 rng(5);
  for (int y = 0; y < b.Height(); ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (std::int64_t i = 0; i < b.RowBytes(); ++i) row[i] = static_cast<std::uint8_t>(rng());
  }
}

void Bytes(benchmark::State& state, std::int64_t perRound) {
  state.SetBytesProcessed(state.iterations() * perRound);
}
}  // namespace

// The floor: the same bytes moved by memcpy (argument: bytes per pixel).
static void BM_Memcpy(benchmark::State& state) {
  size_t n = static_cast<size_t>(kW) * kH * static_cast<size_t>(state.range(0));
  std::vector<std::uint8_t> a(n, 1), b(n, 2);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), n);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  Bytes(state, static_cast<std::int64_t>(n));
}
BENCHMARK(BM_Memcpy)->Arg(3)->Arg(4);

// A back buffer of the given bits onto the 32-bit surface, whole; argument
// 1 draws it through the pixel-by-pixel reference instead.
static void Copy(benchmark::State& state, TPixelFormat from, TPixelFormat to) {
  TBitmap src(kW, kH, from), dst(kW, kH, to);
  Noise(src);
  bool reference = state.range(0) == 1;
  for (auto _ : state) {
    if (reference)
      blit_reference::StretchWithMode(dst.Canvas(), 0, 0, kW, kH, src, 0, 0, kW, kH, SRCCOPY, COLORONCOLOR);
    else
      BitBlt(dst.Canvas(), 0, 0, kW, kH, src.Canvas(), 0, 0, SRCCOPY);
    benchmark::DoNotOptimize(dst.ScanLine(0));
  }
  Bytes(state, dst.ImageSize());
}
static void BM_Blit24To32(benchmark::State& state) { Copy(state, pf24bit, pf32bit); }
static void BM_Blit32To32(benchmark::State& state) { Copy(state, pf32bit, pf32bit); }
static void BM_Blit24To24(benchmark::State& state) { Copy(state, pf24bit, pf24bit); }
static void BM_Blit8To32(benchmark::State& state) { Copy(state, pf8bit, pf32bit); }
BENCHMARK(BM_Blit24To32)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blit32To32)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blit24To24)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blit8To32)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The surface scrolled onto itself by 16 pixels (argument 0: down, 1: right),
// as a view scrolls before painting the uncovered strip.
static void BM_ScrollSurface(benchmark::State& state) {
  TBitmap surface(kW, kH, pf32bit);
  Noise(surface);
  int dx = state.range(0) ? 16 : 0, dy = state.range(0) ? 0 : 16;
  TCanvas* c = surface.Canvas();
  for (auto _ : state) {
    BitBlt(c, dx, dy, kW - dx, kH - dy, c, 0, 0, SRCCOPY);
    benchmark::DoNotOptimize(surface.ScanLine(0));
  }
  Bytes(state, surface.ImageSize());
}
BENCHMARK(BM_ScrollSurface)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A 24-bit picture stretched onto the whole 32-bit surface by the nearest
// pixel: argument 0 enlarges 960 x 540, 1 shrinks 3840 x 2160; 2 and 3 the
// same through the pixel-by-pixel reference.
static void BM_StretchToSurface(benchmark::State& state) {
  bool shrink = state.range(0) % 2 == 1, reference = state.range(0) >= 2;
  int sw = shrink ? 2 * kW : kW / 2, sh = shrink ? 2 * kH : kH / 2;
  TBitmap src(sw, sh, pf24bit), dst(kW, kH, pf32bit);
  Noise(src);
  for (auto _ : state) {
    if (reference)
      blit_reference::StretchWithMode(dst.Canvas(), 0, 0, kW, kH, src, 0, 0, sw, sh, SRCCOPY, COLORONCOLOR);
    else
      StretchBitmap(dst.Canvas(), 0, 0, kW, kH, src, 0, 0, sw, sh, SRCCOPY);
    benchmark::DoNotOptimize(dst.ScanLine(0));
  }
  Bytes(state, dst.ImageSize());
}
BENCHMARK(BM_StretchToSurface)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// A halftone stretch of a 24-bit frame as a zooming transition draws it:
// argument 0 shrinks 1920 x 1080 to two thirds, 2 enlarges two thirds to
// 1920 x 1080; 1 and 3 the same through the pixel-by-pixel reference.
static void BM_StretchHalftone(benchmark::State& state) {
  bool enlarge = state.range(0) >= 2, reference = state.range(0) % 2 == 1;
  int small = kW * 2 / 3, smallH = kH * 2 / 3;
  TBitmap src(enlarge ? small : kW, enlarge ? smallH : kH, pf24bit);
  TBitmap dst(enlarge ? kW : small, enlarge ? kH : smallH, pf24bit);
  Noise(src);
  SetStretchBltMode(dst.Canvas(), HALFTONE);
  for (auto _ : state) {
    if (reference)
      blit_reference::StretchWithMode(dst.Canvas(), 0, 0, dst.Width(), dst.Height(), src, 0, 0, src.Width(),
                                      src.Height(), SRCCOPY, HALFTONE);
    else
      StretchBitmap(dst.Canvas(), 0, 0, dst.Width(), dst.Height(), src, 0, 0, src.Width(), src.Height(),
                    SRCCOPY);
    benchmark::DoNotOptimize(dst.ScanLine(0));
  }
  Bytes(state, dst.ImageSize());
}
BENCHMARK(BM_StretchHalftone)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

#ifdef IMAGING_BENCH_SDL
namespace {
// A control that paints a 24-bit back buffer of its own size.
class TBackBuffered : public TControl {
 public:
  explicit TBackBuffered(TComponent* owner) : TControl(owner), back_(kW, kH, pf24bit) { Noise(back_); }

 protected:
  void Paint() override {
    TRect r = Canvas()->ClipRect();
    BitBlt(Canvas(), r.Left, r.Top, r.Width(), r.Height(), back_.Canvas(), r.Left, r.Top, SRCCOPY);
  }

 private:
  TBitmap back_;
};

// One display for the whole run: some GL drivers cannot open a second one
// after the first has closed.
struct TShownForm {
  static TShownForm& Get() {
    static auto* shown = new TShownForm;
    return *shown;
  }
  TShownForm() {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    backEnd = std::make_unique<TSDLBackEnd>();
    Application->SetBackEnd(backEnd.get());
    form = new TForm(nullptr);
    form->SetBounds(0, 0, kW, kH);
    view = new TBackBuffered(form);
    view->SetBounds(0, 0, kW, kH);
    view->SetParent(form);
    form->Show();
    Application->ProcessMessages();
  }
  std::unique_ptr<TSDLBackEnd> backEnd;
  TForm* form;
  TBackBuffered* view;
};
}  // namespace

// The whole surface uploaded and shown.
static void BM_PresentWhole(benchmark::State& state) {
  TShownForm& s = TShownForm::Get();
  for (auto _ : state) s.backEnd->Present(s.form);
  Bytes(state, s.form->Surface()->ImageSize());
}
BENCHMARK(BM_PresentWhole)->Unit(benchmark::kMillisecond);

// One changed rectangle of 256 x 256 uploaded, the window shown.
static void BM_PresentRect(benchmark::State& state) {
  TShownForm& s = TShownForm::Get();
  std::vector<TRect> changed{Rect(800, 400, 1056, 656)};
  for (auto _ : state) s.backEnd->PresentChanged(s.form, changed);
}
BENCHMARK(BM_PresentRect)->Unit(benchmark::kMillisecond);

// An exposure of the whole client: the control paints its back buffer onto
// the surface and the display shows it (argument 1: a 256 x 256 part).
static void BM_ExposeAndPresent(benchmark::State& state) {
  TShownForm& s = TShownForm::Get();
  TRect part = state.range(0) ? Rect(800, 400, 1056, 656) : Rect(0, 0, kW, kH);
  for (auto _ : state) {
    s.view->InvalidateRect(part, false);
    Application->ProcessMessages();
  }
}
BENCHMARK(BM_ExposeAndPresent)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
#endif
BENCHMARK_MAIN();
