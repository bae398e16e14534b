// The save-parameters dialog in a real SDL window on the X server that
// tests/under-x gives the test: the window shows what the dialog painted, its
// captions in the language asked for, and a screenshot is kept next to the
// test binary (previews_dialog.ppm); a user's clicks and keys through X reach
// its controls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "imaging/core/iebitmap.h"
#include "imaging/view/iopreviews.h"
#include "platform/application.h"
#include "platform/timers.h"
#include "sdl_session.h"

using namespace redozir;

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

// Runs the dialog of the I/O component, and Act on it once it shows; the
// dialog is cancelled after Act unless Act ended it.
bool RunDialog(TRedozIrIO& io, const std::function<void(TfIOPreviews&)>& Act) {
  TfIOPreviews* dialog = nullptr;
  io.OnIOPreview = [&](TObject*, TObject* f) { dialog = static_cast<TfIOPreviews*>(f); };
  TTimer timer(nullptr);
  timer.SetInterval(50);
  timer.SetOnTimer([&](TObject*) {
    // The timer may fire while the activation still processes messages.
    if (!dialog || !dialog->Activated) return;
    timer.SetEnabled(false);
    struct TClose {
      TfIOPreviews& d;
      ~TClose() {
        if (d.ModalResult() == mrNone) d.SetModalResult(mrCancel);
      }
    } close{*dialog};
    Act(*dialog);
  });
  return io.DoPreviews(ppALL);
}

// The display and an I/O component that saves JPEG with the full dialog.
class PreviewsDialogSDL : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!on.Skip().empty()) GTEST_SKIP() << on.Skip();
    IEInitPreviewsDialog();
    io.SimplifiedParamsDialogs = false;
    io.Params().FileType = ioJPEG;
  }
  TSDLSession on{std::getenv("DISPLAY") ? std::getenv("DISPLAY") : ""};
  TRedozIrIO io;
};

}  // namespace

TEST_F(PreviewsDialogSDL, OpensInAWindowWithItsPagesInTheChosenLanguage) {
  io.MsgLanguage = msGerman;
  TIEBitmap* b = io.GetIEBitmap();
  b->Allocate(160, 120, ie24RGB);
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 480; ++x) b->GetScanline(y)[x] = static_cast<std::uint8_t>(x + y * 2);

  bool checked = false;
  EXPECT_FALSE(RunDialog(io, [&](TfIOPreviews& d) {
    ASSERT_FALSE(IEGetDialogText(1, msGerman).empty());
    EXPECT_EQ(d.Label1->Caption(), IEGetDialogText(1, msGerman) + ":");
    unsigned long xid = on.Shown(&d);
    ASSERT_NE(xid, 0u);
    TX11Window xw(on.Display(), xid);
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
  }));
  EXPECT_TRUE(checked);
}

TEST_F(PreviewsDialogSDL, WhatTheUserTypesAfterChoosingFromAListIsWhatOKWrites) {
  io.GetIEBitmap()->Allocate(64, 48, ie24RGB);
  bool done = false;
  EXPECT_TRUE(RunDialog(io, [&](TfIOPreviews& d) {
    ASSERT_EQ(d.Edit22->Text(), "80");
    ASSERT_TRUE(on.Click(d.ComboBox1, 5, 5));
    ASSERT_TRUE(PumpUntil([&] { return d.ComboBox1->DroppedDown(); }));
    TForm* list = d.ComboBox1->DropDownWindow();
    const int row = (list->Height() - 2) / 3;
    ASSERT_TRUE(on.Click(list, 10, 1 + row + row / 2));
    ASSERT_TRUE(PumpUntil([&] { return !d.ComboBox1->DroppedDown(); }));
    EXPECT_EQ(d.ComboBox1->ItemIndex(), 1);
    ASSERT_TRUE(on.Click(d.Edit22, 28, 5));
    ASSERT_TRUE(PumpUntil([&] { return d.Edit22->Focused(); }));
    EXPECT_TRUE(on.Shell("xdotool key End BackSpace BackSpace 5"));
    EXPECT_TRUE(PumpUntil([&] { return d.Edit22->Text() == "5"; })) << d.Edit22->Text();
    ASSERT_TRUE(on.Click(d.Button1, 5, 5));
    done = PumpUntil([&] { return d.ModalResult() == mrOk; });
  }));
  EXPECT_TRUE(done);
  EXPECT_EQ(io.Params().JPEGQuality, 5);
  EXPECT_EQ(io.Params().JPEGDCTMethod, 1);
}
