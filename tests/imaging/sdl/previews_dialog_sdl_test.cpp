// The save-parameters dialog in a real SDL window on the X server that
// tests/under-x gives the test: the window shows what the dialog painted, its
// captions in the language asked for, and a screenshot is kept next to the
// test binary (previews_dialog.ppm).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "imaging/core/iebitmap.h"
#include "imaging/view/iopreviews.h"
#include "platform/application.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/timers.h"
#include "pump_until.h"
#include "x11_window.h"

using namespace redozir;

// SDL's system libraries keep process-wide allocations until exit.
extern "C" void __lsan_disable() __attribute__((weak));
extern "C" void __lsan_enable() __attribute__((weak));

namespace {

void SavePPM(const std::string& path, const std::vector<std::uint32_t>& shot, int w, int h) {
  std::ofstream f(path, std::ios::binary);
  f << "P6\n" << w << " " << h << "\n255\n";
  for (int i = 0; i < w * h; ++i) {
    std::uint32_t p = shot[static_cast<size_t>(i)];
    char rgb[3] = {static_cast<char>(p >> 16), static_cast<char>(p >> 8), static_cast<char>(p)};
    f.write(rgb, 3);
  }
}

}  // namespace

TEST(PreviewsDialogSDL, OpensInAWindowWithItsPagesInTheChosenLanguage) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) GTEST_SKIP() << "no X server (run under tests/under-x)";
  setenv("SDL_VIDEODRIVER", "x11", 1);
  std::unique_ptr<TSDLBackEnd> backend;
  struct TCleanup {
    std::unique_ptr<TSDLBackEnd>& backend;
    ~TCleanup() {
      Application->SetBackEnd(nullptr);
      backend.reset();
      if (__lsan_enable) __lsan_enable();
    }
  } cleanup{backend};
  if (__lsan_disable) __lsan_disable();
  try {
    backend = std::make_unique<TSDLBackEnd>();
  } catch (const std::exception& e) {
    GTEST_SKIP() << "SDL cannot open the display: " << e.what();
  }
  Application->SetBackEnd(backend.get());

  IEInitPreviewsDialog();
  TRedozIrIO io;
  io.SimplifiedParamsDialogs = false;
  io.MsgLanguage = msGerman;
  io.Params().FileType = ioJPEG;
  TIEBitmap* b = io.GetIEBitmap();
  b->Allocate(160, 120, ie24RGB);
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 480; ++x) b->GetScanline(y)[x] = static_cast<std::uint8_t>(x + y * 2);

  TfIOPreviews* dialog = nullptr;
  io.OnIOPreview = [&](TObject*, TObject* f) { dialog = static_cast<TfIOPreviews*>(f); };
  bool checked = false;
  TTimer timer(nullptr);
  timer.SetInterval(50);
  timer.SetOnTimer([&](TObject*) {
    // The timer may fire while the activation still processes messages.
    if (!dialog || !dialog->Activated) return;
    timer.SetEnabled(false);
    TfIOPreviews& d = *dialog;
    struct TClose {
      TfIOPreviews& d;
      ~TClose() { d.SetModalResult(mrCancel); }
    } close{d};
    ASSERT_FALSE(IEGetDialogText(1, msGerman).empty());
    EXPECT_EQ(d.Label1->Caption(), IEGetDialogText(1, msGerman) + ":");
    unsigned long xid = SDLNativeWindow(backend->WindowId(&d));
    ASSERT_NE(xid, 0u);
    TX11Window xw(display, xid);
    ASSERT_TRUE(xw.Open());
    ASSERT_TRUE(PumpUntil([&] { return xw.Viewable(); }));
    const int w = d.ClientWidth(), h = d.ClientHeight();
    TBitmap* surface = d.Surface();
    auto same = [&](const std::vector<std::uint32_t>& shot) {
      if (shot.size() != static_cast<size_t>(w) * h) return false;
      for (int y = 0; y < h; y += 3)
        for (int x = 0; x < w; x += 3) {
          TColor c = surface->GetPixel(x, y);
          std::uint32_t rgb = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
          if (shot[static_cast<size_t>(y) * w + x] != rgb) return false;
        }
      return true;
    };
    std::vector<std::uint32_t> shot;
    EXPECT_TRUE(PumpUntil([&] {
      d.Update();
      shot = xw.Grab(w, h);
      return same(shot);
    })) << "the window shows what the dialog painted";
    ASSERT_FALSE(shot.empty());
    SavePPM("previews_dialog.ppm", shot, w, h);
    // The caption of the source view is text: dark pixels in its box.
    int dark = 0;
    for (int y = 1; y < 14; ++y)
      for (int x = 5; x < 42; ++x) dark += (shot[static_cast<size_t>(y) * w + x] & 0xFF) < 0x60;
    EXPECT_GT(dark, 10);
    checked = true;
  });
  EXPECT_FALSE(io.DoPreviews(ppALL));
  EXPECT_TRUE(checked);
}
