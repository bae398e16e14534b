#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <utility>

#include "imaging/core/ie_startup.h"
#include "imaging/core/ieview.h"
#include "imaging/formats/ie_debuglog.h"
#include "imaging/formats/test_images.h"

using namespace redozir;

namespace {
// A viewer that counts what the component asks of it; Replace swaps its
// current bitmap and tells the registered callbacks, as a real view does.
struct FakeView : TIEView {
  FakeView() : TIEView(nullptr) {}
  TIEBitmap* current = nullptr;
  int updates = 0, changes = 0;
  TIEBitmap* GetIEBitmap() override { return current; }
  void Update() override { ++updates; }
  void DoImageChange() override { ++changes; }
  void Replace(TIEBitmap* b) {
    current = b;
    CallBitmapChangeEvents();
  }
};

std::string TempName(const std::string& ext) {
  return "/tmp/redozir_io_test_" + std::to_string(getpid()) + ext;
}
}  // namespace

TEST(RedozIrIO, ProgressRisesToHundredAndFinishWorkFiresOncePerLoadAndSave) {
  auto src = MakeRGB(30, 40);
  for (int ft : {ioTIFF, ioGIF, ioJPEG, ioPCX, ioBMP, ioPNG, ioTGA, ioJP2, ioJ2K}) {
    TRedozIrIO io;
    io.GetIEBitmap()->Assign(src.get());
    std::vector<int> seen;
    int finished = 0;
    io.OnProgress = [&](TObject* s, int per) {
      EXPECT_EQ(s, &io);
      seen.push_back(per);
    };
    io.OnFinishWork = [&](TObject*) { ++finished; };
    TMemoryStream ms;
    io.SaveToStream(ms, ft);
    for (int pass = 0; pass < 2; ++pass) {
      ASSERT_GE(seen.size(), 30u) << ft;  // a report per row
      EXPECT_EQ(seen.front(), 0);
      EXPECT_EQ(seen.back(), 100);
      EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << ft;
      EXPECT_EQ(finished, 1);
      seen.clear();
      finished = 0;
      ms.SetPosition(0);
      if (pass == 0) io.LoadFromStreamFormat(ms, ft);
    }
  }
}

TEST(RedozIrIO, AttachedViewReceivesTheImageAndIsFollowedWhenItsBitmapIsReplaced) {
  auto src = MakePalette(12, 9, 5);
  auto bytes = EncodeAs(*src, ioPNG, [](TIOParamsVals& p) { p.SamplesPerPixel = 1; });
  TIEBitmap first, second;
  FakeView view;
  view.current = &first;
  TRedozIrIO io;
  io.SetAttachedRedozIr(&view);
  EXPECT_EQ(view.BitmapChangeEventCount(), 1);
  TMemoryStream ms(bytes);
  io.LoadFromStreamPNG(ms);
  EXPECT_EQ(first.GetWidth(), 12);
  EXPECT_EQ(view.updates, 1);
  EXPECT_EQ(view.changes, 1);
  view.Replace(&second);
  EXPECT_EQ(io.GetIEBitmap(), &second);
  ms.SetPosition(0);
  io.LoadFromStreamPNG(ms);
  EXPECT_EQ(second.GetWidth(), 12);
  // Binding to a bitmap drops the view and its callback.
  TIEBitmap third;
  io.SetAttachedIEBitmap(&third);
  EXPECT_EQ(io.AttachedRedozIr(), nullptr);
  EXPECT_EQ(view.BitmapChangeEventCount(), 0);
  ms.SetPosition(0);
  io.LoadFromStreamPNG(ms);
  EXPECT_EQ(third.GetWidth(), 12);
  EXPECT_EQ(view.updates, 2);
  view.Replace(&first);
  EXPECT_EQ(io.GetIEBitmap(), &third);
}

TEST(RedozIrIO, AViewFreedFirstOrAComponentFreedFirstLeavesNoDanglingLink) {
  TIEBitmap b;
  // The view goes first: the component falls back to its own bitmap.
  auto* view = new FakeView;
  view->current = &b;
  TComponent owner(nullptr);
  auto* io = new TRedozIrIO(&owner);
  EXPECT_EQ(io->Owner(), &owner);
  io->SetAttachedRedozIr(view);
  EXPECT_EQ(io->GetIEBitmap(), &b);
  delete view;
  EXPECT_EQ(io->AttachedRedozIr(), nullptr);
  EXPECT_NE(io->GetIEBitmap(), &b);
  // The component goes first (here with its owner): the view forgets it.
  FakeView other;
  other.current = &b;
  auto* io2 = new TRedozIrIO(&owner);
  io2->SetAttachedRedozIr(&other);
  EXPECT_EQ(other.BitmapChangeEventCount(), 1);
  delete io2;
  EXPECT_EQ(other.BitmapChangeEventCount(), 0);
  EXPECT_EQ(owner.ComponentCount(), 1);
  other.Replace(nullptr);  // would reach a freed component otherwise
}

TEST(RedozIrIO, FilesLoadByContentAndSaveByExtension) {
  auto src = MakeRGB(17, 5);
  TRedozIrIO io;
  io.GetIEBitmap()->Assign(src.get());
  std::string png = TempName(".png"), wrong = TempName(".bmp"), unknown = TempName(".xyz");
  io.SaveToFile(png);
  EXPECT_EQ(io.Params().FileType, ioPNG);
  // A PNG named .bmp still loads: content wins over the name.
  std::rename(png.c_str(), wrong.c_str());
  TRedozIrIO back;
  back.LoadFromFile(wrong);
  EXPECT_EQ(back.Params().FileType, ioPNG);
  EXPECT_EQ(MaxRGBDiff(*back.GetIEBitmap(), *src), 0);
  EXPECT_THROW(io.SaveToFile(unknown), EIEImageError);
  EXPECT_THROW(back.LoadFromFile(unknown), EStreamError);
  std::remove(wrong.c_str());
  // Nothing to save is an error, not an empty file.
  TRedozIrIO empty;
  TMemoryStream ms;
  EXPECT_THROW(empty.SaveToStream(ms, ioBMP), EIEImageError);
  EXPECT_EQ(ms.Size(), 0);
  EXPECT_THROW(empty.SaveToStream(ms, ioIEV), EIEImageError);
}

TEST(RedozIrIO, SpecialFormatsGoThroughTheirLoadersOnly) {
  TRedozIrIO io;
  TMemoryStream ms(std::vector<std::uint8_t>{'I', 'E', 'V'});
  // Without a loader a stream of these ids does nothing. The library starts
  // first, or its start would install the layers loader in the middle.
  IEInitialize();
  TIESpecialLoader installed = IERegisterSpecialLoader(ioLYR, nullptr);
  io.LoadFromStreamFormat(ms, ioLYR);
  EXPECT_EQ(io.Params().FileType, ioUnknown);
  EXPECT_THROW(io.LoadFromFileFormat("/nonexistent.lyr", ioLYR), EIEImageError);
  int calls = 0;
  IERegisterSpecialLoader(ioLYR, [&](TRedozIrIO& target, TStream* s, const std::string&) {
    ++calls;
    target.GetIEBitmap()->Allocate(3, 2, ie24RGB);
    return s != nullptr;
  });
  io.LoadFromStreamFormat(ms, ioLYR);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(io.Params().FileType, ioLYR);
  EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 3);
  IERegisterSpecialLoader(ioLYR, installed);
}

TEST(RedozIrIO, DoPreviewsAsksTheEventThenTheDialog) {
  TRedozIrIO io;
  // The library's start installs the dialog (DoPreviews starts it): without
  // a dialog nothing answers.
  IEInitialize();
  TIEPreviewsDialog installed = std::exchange(IEPreviewsDialog, nullptr);
  EXPECT_FALSE(io.DoPreviews(ppALL));
  io.OnDoPreviews = [](TObject*, bool& handled) { handled = true; };
  EXPECT_TRUE(io.DoPreviews(ppALL));
  io.OnDoPreviews = nullptr;
  std::uint16_t asked = 0;
  IEPreviewsDialog = [&](TRedozIrIO&, std::uint16_t pages) {
    asked = pages;
    return true;
  };
  EXPECT_TRUE(io.DoPreviews(ppPNG | ppBMP));
  EXPECT_EQ(asked, ppPNG | ppBMP);
  IEPreviewsDialog = installed;
}

TEST(RedozIrIO, BilevelModeReachesTheWorkBitmapAndDirectShowHasNoGraph) {
  TRedozIrIO io;
  EXPECT_EQ(io.BilevelConversionMode(), 1);
  io.SetBilevelConversionMode(0);
  EXPECT_EQ(io.GetIEBitmap()->DitherMethod(), 0);
  // A load replaces the pixels, not the mode.
  auto src = MakeRGB(3, 3);
  TMemoryStream ms(EncodeAs(*src, ioPNG));
  io.LoadFromStreamPNG(ms);
  EXPECT_EQ(io.GetIEBitmap()->DitherMethod(), 0);
  io.SetBilevelConversionMode(1);
  ms.SetPosition(0);
  io.LoadFromStreamPNG(ms);
  EXPECT_EQ(io.GetIEBitmap()->DitherMethod(), 1);
  EXPECT_EQ(io.MsgLanguage, msSystem);
  EXPECT_TRUE(io.SimplifiedParamsDialogs);
  EXPECT_FALSE(io.DShowControl()->GetConnected());
  EXPECT_FALSE(io.DShowControl()->IsPlaying());
  int w = 5, h = 5;
  io.DShowControl()->GetNativeVideoSize(w, h);
  EXPECT_EQ(w + h, 0);
}

TEST(IOParamsVals, AssignCopiesEverythingAndImageIndexReachesEveryMultiImageFormat) {
  TIOParamsVals a;
  a.JPEGQuality = 33;
  a.TIFFDocumentName = "doc";
  a.GIFTranspColor = TRGB{1, 2, 3};
  a.J2000Rate = 0.25;
  a.AllocColorMap(3);
  a.ColorMap[2] = TRGB{9, 8, 7};
  a.NativePixelFormat = true;
  TIOParamsVals b;
  b.Assign(a);
  EXPECT_EQ(b.JPEGQuality, 33);
  EXPECT_EQ(b.TIFFDocumentName, "doc");
  EXPECT_EQ(b.GIFTranspColor, (TRGB{1, 2, 3}));
  EXPECT_EQ(b.J2000Rate, 0.25);
  ASSERT_EQ(b.ColorMapCount, 3);
  EXPECT_NE(b.ColorMap, a.ColorMap);  // a copy, not a shared block
  EXPECT_EQ(b.ColorMap[2], (TRGB{9, 8, 7}));
  EXPECT_TRUE(b.NativePixelFormat);
  b.SetImageIndex(4);
  EXPECT_EQ(b.TIFFImageIndex, 4);
  EXPECT_EQ(b.GIFImageIndex, 4);
  b.FreeColorMap();
  EXPECT_EQ(b.ColorMap, nullptr);
  EXPECT_EQ(b.ColorMapCount, 0);
  // The LZW procedures come from the library globals.
  EXPECT_EQ(TIOParamsVals().TIFFLZWCompressor, IEGlobalTIFFLZWCompressor);
  EXPECT_NE(IEGlobalTIFFLZWCompressor, nullptr);
}

TEST(IEDebugLog, WritesDatedLinesOnlyWhenALogIsNamed) {
  std::string name = TempName(".log");
  std::remove(name.c_str());
  IEDebugLog("ignored");
  IEDebugLogFileName = name;
  IEDebugLog("first");
  IEDebugLog("second");
  IEDebugLogFileName.clear();
  std::ifstream f(name);
  std::string l1, l2, l3;
  std::getline(f, l1);
  std::getline(f, l2);
  EXPECT_FALSE(std::getline(f, l3));
  EXPECT_EQ(l1.size(), std::string("2026-01-01 00:00:00 : first").size());
  EXPECT_EQ(l1.substr(l1.size() - 8), " : first");
  EXPECT_EQ(l2.substr(l2.size() - 9), " : second");
  std::remove(name.c_str());
}
