// The library starts on first need, in a process of its own for each case
// (a death-test child run afresh), after views and program settings exist.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/core/dialog_text.h"
#include "imaging/core/ie_filters.h"
#include "imaging/core/ie_startup.h"
#include "imaging/core/iegdiplus.h"
#include "imaging/view/iepresetim.h"
#include "imaging/view/iopreviews.h"
#include "imaging/view/redozir_view.h"
#include "platform/inject.h"
#include "platform/timers.h"

using namespace redozir;

namespace {

// 2 x 2 pixels, 24 bits, uncompressed: a format found only after the
// library's own detectors were asked.
TMemoryStream TinyTga() {
  const std::uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, 0};
  std::vector<std::uint8_t> bytes(sizeof header + 12, 0x80);
  std::copy(std::begin(header), std::end(header), bytes.begin());
  return TMemoryStream(bytes);
}

// Ends the child: 0 when nothing was reported.
[[noreturn]] void Finish(const std::string& faults) {
  std::fputs(faults.c_str(), stderr);
  std::_Exit(faults.empty() ? 0 : 1);
}

void Check(std::string& faults, bool ok, const std::string& what) {
  if (!ok) faults += what + "\n";
}

struct TPath {
  const char* Name;
  std::function<void(TRedozIrView& View)> Start;
};

}  // namespace

TEST(LateStartup, ViewsKeepAntiAliasingTheCountAndTheProgramsSwitch) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const TPath paths[] = {
      {"a view loading a TGA from memory",
       [](TRedozIrView& View) {
         TMemoryStream tga = TinyTga();
         View.GetIO()->LoadFromStream(tga);
       }},
      {"the predefined filters", [](TRedozIrView&) { IEPredefinedFilters(); }},
      {"an I/O component reading a layers stream",
       [](TRedozIrView&) {
         TRedozIrIO io;
         TMemoryStream empty;
         io.LoadFromStreamFormat(empty, ioLYR);
       }},
      {"the save dialog",
       [](TRedozIrView&) {
         TRedozIrIO io;
         io.GetIEBitmap()->Allocate(8, 8, ie24RGB);
         io.Params().FileType = ioPNG;
         TTimer timer(nullptr);
         timer.SetInterval(10);
         TForm* dialog = nullptr;
         io.OnIOPreview = [&](TObject*, TObject* Form) { dialog = static_cast<TForm*>(Form); };
         timer.SetOnTimer([&](TObject*) {
           timer.SetEnabled(false);
           if (dialog) dialog->SetModalResult(mrCancel);
         });
         if (io.DoPreviews(ppPNG) || !dialog) Finish("the save dialog did not open and close\n");
       }},
      {"a dialog text", [](TRedozIrView&) { IEGetDialogText(0, msEnglish); }},
  };
  for (bool allowed : {true, false})
    for (const TPath& path : paths)
      EXPECT_EXIT(
          {
            THeadlessSession session;
            GDIPlusAllowed = allowed;
            TRedozIrView view(nullptr);
            std::string faults;
            Check(faults, !IEPreviewsDialog, "the library had started before the path");
            path.Start(view);
            Check(faults, static_cast<bool>(IEPreviewsDialog), "the path did not start the library");
            Check(faults, GDIPlusAllowed == allowed, "GDIPlusAllowed changed");
            Check(faults, IEGDIPLoadCount() == 1, "load count " + std::to_string(IEGDIPLoadCount()));
            TBitmap bmp(4, 4, pf24bit);
            Check(faults, TIECanvas(bmp.Canvas()).UseGDIPlus() == allowed,
                  "the canvas's anti-aliasing changed");
            Finish(faults);
          },
          testing::ExitedWithCode(0), "")
          << path.Name << (allowed ? "" : ", anti-aliasing switched off");
}

TEST(LateStartup, DialogTextsAreThereBeforeAnyComponentAndTheProgramsOwnStay) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::string faults;
        Check(faults, IEPresetImages().size() == 4, "the preset pictures");
        Check(faults, IEGetDialogText(0, msEnglish) == "Preview", "English text 0");
        Check(faults, IEGetDialogText(4, msGerman) == "Abbrechen", "German text 4");
        Check(faults, !IEGetDialogText(37, msSystem).empty(), "the system row's text 37");
        Finish(faults);
      },
      testing::ExitedWithCode(0), "");
  // What the program sets first is not undone by the library's start.
  EXPECT_EXIT(
      {
        std::string faults;
        bool ownDialog = false;
        IEPreviewsDialog = [&](TRedozIrIO&, std::uint16_t) { return ownDialog = true; };
        bool ownLoader = false;
        IERegisterSpecialLoader(ioIEV,
                                [&](TRedozIrIO&, TStream*, const std::string&) { return ownLoader = true; });
        IESetDialogText(msEnglish, 4, "Stop");
        IEPredefinedFilters();
        Check(faults, IEGetDialogText(4, msEnglish) == "Stop", "the program's text");
        Check(faults, IEGetDialogText(0, msEnglish) == "Preview", "the library's text");
        // No picture: the library's own dialog would refuse it at once.
        TRedozIrIO io;
        io.DoPreviews(ppPNG);
        Check(faults, ownDialog, "the program's save dialog");
        TMemoryStream empty;
        io.LoadFromStreamFormat(empty, ioIEV);
        Check(faults, ownLoader, "the program's vector-object loader");
        Finish(faults);
      },
      testing::ExitedWithCode(0), "");
}
