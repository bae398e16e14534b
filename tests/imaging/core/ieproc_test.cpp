#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/iemask.h"
#include "imaging/core/ieproc.h"
#include "imaging/core/ieview.h"

using namespace redozir;

namespace {

// A viewer with one bitmap, a selection mask and a selection undo stream.
class TTestView : public TIEView {
 public:
  explicit TTestView(TComponent* owner = nullptr)
      : TIEView(owner), bitmap(std::make_unique<TIEBitmap>(8, 6, ie24RGB)) {
    bitmap->Fill(0);
    mask.AllocateBits(8, 6, 1);
  }
  TIEBitmap* GetIEBitmap() override { return bitmap.get(); }
  TIEMask* GetSelectionMask() override { return &mask; }
  void DoImageChange() override { ++imageChanges; }
  void Update() override {
    ++updates;
    TIEView::Update();
  }
  bool SaveUndoState(TIEUndoSource Source, TStream& Stream) override {
    if (Source != ieuSelection) return false;
    Stream.WriteBuffer(mask.Bits(), static_cast<std::int64_t>(mask.RowLen()) * mask.Height());
    return true;
  }
  void LoadUndoState(TIEUndoSource Source, TStream& Stream) override {
    Stream.ReadBuffer(mask.Bits(), static_cast<std::int64_t>(mask.RowLen()) * mask.Height());
    mask.SyncRect();
  }
  void SwapBitmap() {
    bitmap = std::make_unique<TIEBitmap>(3, 3, ie8g);
    CallBitmapChangeEvents();
  }

  std::unique_ptr<TIEBitmap> bitmap;
  TIEMask mask;
  int imageChanges = 0;
  int updates = 0;
};

// The whole image, pixels and alpha, as bytes.
std::vector<std::uint8_t> Snapshot(TIEBitmap& b) {
  std::vector<std::uint8_t> v = {std::uint8_t(b.GetWidth()), std::uint8_t(b.GetHeight()),
                                 std::uint8_t(b.GetPixelFormat()), std::uint8_t(b.HasAlphaChannel())};
  int bytes = (b.GetWidth() * b.GetBitCount() + 7) / 8;
  for (int y = 0; y < b.GetHeight(); ++y) v.insert(v.end(), b.GetScanline(y), b.GetScanline(y) + bytes);
  if (b.HasAlphaChannel())
    for (int y = 0; y < b.GetHeight(); ++y)
      v.insert(v.end(), b.GetAlphaChannel()->GetScanline(y),
               b.GetAlphaChannel()->GetScanline(y) + b.GetWidth());
  return v;
}

int FirstByte(TIEBitmap& b) { return b.GetScanline(0)[0]; }

}  // namespace

TEST(IEProcUndo, LimitOfThreeKeepsTheNewestThree) {
  TIEBitmap img(4, 4, ie8g);
  TRedozIrProc proc;
  proc.SetAttachedIEBitmap(&img);
  proc.SetUndoLimit(3);
  for (int i = 0; i < 4; ++i) {
    img.Fill(i);
    proc.SaveUndoCaptioned("Step " + std::to_string(i));
  }
  img.Fill(4);
  ASSERT_EQ(proc.GetUndoCount(), 3);
  EXPECT_EQ(proc.GetUndoCaption(0), "Step 3");
  EXPECT_EQ(proc.GetUndoCaption(2), "Step 1");
  for (int want : {3, 2, 1}) {
    proc.Undo();
    EXPECT_EQ(FirstByte(img), want);
  }
  EXPECT_EQ(proc.GetUndoCount(), 0);
  EXPECT_EQ(proc.GetRedoCount(), 3);
  proc.Undo();  // nothing left: the image stays
  EXPECT_EQ(FirstByte(img), 1);
  proc.Redo();
  EXPECT_EQ(FirstByte(img), 2);
  EXPECT_EQ(proc.GetRedoCaption(0), "Step 2");
  EXPECT_EQ(proc.GetUndoCaption(0), "Step 1");
  proc.SaveUndo();  // a new change drops what was undone
  EXPECT_EQ(proc.GetRedoCount(), 0);
  proc.SetUndoLimit(1);
  EXPECT_EQ(proc.GetUndoCount(), 1);
  proc.SetUndoLimit(0);  // undo switched off
  proc.SaveUndoCaptioned("Off");
  EXPECT_EQ(proc.GetUndoCount(), 0);
  proc.SetUndoLimit(-5);
  EXPECT_EQ(proc.UndoLimit(), 0);
}

TEST(IEProcUndo, ClearUndoAtRemovesTheEntryCountedFromTheNewest) {
  TIEBitmap img(4, 4, ie8g);
  TRedozIrProc proc;
  proc.SetAttachedIEBitmap(&img);
  proc.SetUndoLimit(10);
  for (const char* c : {"A", "B", "C", "D"}) {
    img.Fill(c[0]);
    proc.SaveUndoCaptioned(c);
  }
  proc.ClearUndoAt(1);  // "C"
  ASSERT_EQ(proc.GetUndoCount(), 3);
  EXPECT_EQ(proc.GetUndoCaption(0), "D");
  EXPECT_EQ(proc.GetUndoCaption(1), "B");
  EXPECT_EQ(proc.GetUndoCaption(2), "A");
  proc.ClearUndoAt(3);  // out of range: nothing
  proc.ClearUndoAt(-1);
  EXPECT_EQ(proc.GetUndoCount(), 3);
  proc.Undo();
  proc.Undo();
  EXPECT_EQ(FirstByte(img), 'B');
}

TEST(IEProcUndo, UndoRestoresTheImageExactly) {
  TIEBitmap img(5, 3, ie24RGB);
  for (int y = 0; y < 3; ++y)
    for (int i = 0; i < 15; ++i) img.GetScanline(y)[i] = static_cast<std::uint8_t>(y * 31 + i * 7);
  img.GetAlphaChannel()->GetScanline(2)[4] = 17;
  auto before = Snapshot(img);
  TRedozIrProc proc;
  proc.SetAttachedIEBitmap(&img);
  proc.SaveUndo(ieuImage);
  img.RemoveAlphaChannel();
  img.Allocate(2, 2, ie8g);
  img.Fill(9);
  auto after = Snapshot(img);
  proc.Undo();
  EXPECT_EQ(Snapshot(img), before);
  proc.Redo();
  EXPECT_EQ(Snapshot(img), after);
  EXPECT_FALSE(img.HasAlphaChannel());
}

TEST(IEProcUndo, CaptionedSavesNeedAPreparedImageLargerThanOnePixel) {
  TRedozIrProc proc;
  proc.SaveUndoCaptioned("Crop");  // nothing attached
  TIEBitmap thin(1, 9, ie24RGB);
  proc.SetAttachedIEBitmap(&thin);
  proc.SaveUndoCaptioned("Crop");
  EXPECT_EQ(proc.GetUndoCount(), 0);
  TIEBitmap ok(2, 2, ie24RGB);
  proc.SetAttachedIEBitmap(&ok);
  int saves = 0;
  proc.OnSaveUndo = [&](TObject* sender, TIEUndoSource s) {
    EXPECT_EQ(sender, &proc);
    EXPECT_EQ(s, ieuImage);
    ++saves;
  };
  proc.SaveUndoCaptioned("Fill");
  EXPECT_EQ(proc.GetUndoCount(), 1);
  EXPECT_EQ(proc.GetUndoSource(0), ieuImage);
  EXPECT_EQ(saves, 1);
  // A view state the view does not keep makes no entry.
  proc.SaveUndo(ieuLayer);
  EXPECT_EQ(proc.GetUndoCount(), 1);
}

TEST(IEProcPrepare, FormatsAcceptedConvertedOrRefused) {
  for (int f = 0; f < kIEPixelFormatCount; ++f) {
    const TIEPixelFormat* p = TRedozIrProc::PreferredFormats(static_cast<TIEPixelFormat>(f));
    TIEPixelFormatSet seen = 0;
    for (int i = 0; i < TRedozIrProc::kPreferredFormatCount; ++i) {
      EXPECT_NE(p[i], ienull);
      EXPECT_NE(static_cast<int>(p[i]), f);
      EXPECT_FALSE(IEPFIn(seen, p[i])) << f;
      seen |= IEPF(p[i]);
    }
  }
  struct Case {
    TIEPixelFormat from;
    TIEPixelFormatSet formats;
    bool autoConvert;
    bool ok;
    TIEPixelFormat after;
  } cases[] = {
      {ie24RGB, 0, false, true, ie24RGB},
      {ie24RGB, IEPFSet(ie8g, ie24RGB), false, true, ie24RGB},
      {ie24RGB, IEPFSet(ie8g), false, false, ie24RGB},
      {ie8g, IEPFSet(ie24RGB, ie16g), true, true, ie16g},       // the nearest richer format
      {ie1g, IEPFSet(ieCMYK, ieCIELab), true, true, ieCIELab},  // none listed: the highest
  };
  for (const auto& c : cases) {
    TIEBitmap img(3, 3, c.from);
    TRedozIrProc proc;
    proc.SetAttachedIEBitmap(&img);
    proc.AutoConvertFormat = c.autoConvert;
    EXPECT_EQ(proc.PrepareBitmap(c.formats), c.ok) << int(c.from);
    EXPECT_EQ(img.GetPixelFormat(), c.after) << int(c.from);
  }
  TRedozIrProc none;
  EXPECT_FALSE(none.PrepareBitmap(0));
  TIEBitmap empty;
  none.SetAttachedIEBitmap(&empty);
  EXPECT_FALSE(none.PrepareBitmap(0));
}

TEST(IEProcView, FollowsTheViewsBitmapAndSelection) {
  auto view = std::make_unique<TTestView>();
  EXPECT_EQ(view->Background(), clBtnFace);
  EXPECT_EQ(view->BorderStyle(), bsSingle);
  EXPECT_TRUE(view->Ctl3D());
  view->SetDpi(300, 0);
  EXPECT_EQ(view->DpiX(), 300);
  EXPECT_EQ(view->DpiY(), 96);
  TRedozIrProc proc;
  proc.SetAttachedRedozIr(view.get());
  EXPECT_EQ(proc.IEBitmap(), view->bitmap.get());
  EXPECT_EQ(view->BitmapChangeEventCount(), 1);
  proc.SetBackground(clRed);
  EXPECT_EQ(view->Background(), clRed);
  EXPECT_EQ(proc.Background(), clRed);

  int x1, y1, x2, y2;
  TIEMask* m = nullptr;
  ASSERT_TRUE(proc.GetSelectionBounds(x1, y1, x2, y2, m));
  EXPECT_EQ((std::vector<int>{x1, y1, x2, y2}), (std::vector<int>{0, 0, 8, 6}));
  EXPECT_EQ(m, nullptr);
  view->mask.SetPixel(2, 1, 1);
  view->mask.SetPixel(4, 3, 1);
  ASSERT_TRUE(proc.GetSelectionBounds(x1, y1, x2, y2, m));
  EXPECT_EQ((std::vector<int>{x1, y1, x2, y2}), (std::vector<int>{2, 1, 5, 4}));
  EXPECT_EQ(m, &view->mask);

  // The selection goes through the view's own undo stream.
  proc.SaveUndo(ieuSelection);
  view->mask.Empty();
  proc.Undo();
  EXPECT_EQ(view->mask.GetPixel(4, 3), 1);
  EXPECT_EQ(proc.GetRedoSource(0), ieuSelection);

  proc.Update();
  EXPECT_EQ(view->updates, 1);
  EXPECT_EQ(view->imageChanges, 1);
  view->bitmap->GetAlphaChannel();
  proc.Update();  // an image in memory keeps its plane
  EXPECT_TRUE(view->bitmap->HasAlphaChannel());
  view->bitmap->SetIsVclBitmap(true);  // the view's legacy platform bitmap mirrors it
  proc.Update();
  EXPECT_FALSE(view->bitmap->HasAlphaChannel());
  view->bitmap->SetIsVclBitmap(false);

  view->SwapBitmap();
  EXPECT_EQ(proc.IEBitmap(), view->bitmap.get());
  view.reset();  // the view tells the component it is going
  EXPECT_EQ(proc.AttachedRedozIr(), nullptr);
  EXPECT_EQ(proc.IEBitmap(), nullptr);
  EXPECT_EQ(proc.Background(), clBlack);
}

TEST(IEProcView, CallbacksRegisterUnregisterAndHearTheEnd) {
  std::vector<std::string> heard;
  auto view = std::make_unique<TTestView>();
  auto h1 = view->RegisterBitmapChangeEvent([&](TObject*, bool d) { heard.push_back(d ? "1 end" : "1"); });
  auto h2 = view->RegisterBitmapChangeEvent([&](TObject*, bool d) { heard.push_back(d ? "2 end" : "2"); });
  view->CallBitmapChangeEvents();
  view->RemoveBitmapChangeEvent(h1);
  view->CallBitmapChangeEvents();
  EXPECT_NE(h1, h2);
  view.reset();
  EXPECT_EQ(heard, (std::vector<std::string>{"1", "2", "2", "2 end"}));
  // A component owned by the view and attached to it goes with it cleanly.
  auto owner = std::make_unique<TTestView>();
  auto* owned = new TRedozIrProc(owner.get());
  owned->SetAttachedRedozIr(owner.get());
  owner.reset();
}

TEST(IEProcCore, FinishWorkAndAlphaBounds) {
  TRedozIrProc proc;
  std::vector<int> calls;
  proc.OnProgress = [&](TObject*, int per) { calls.push_back(per); };
  proc.OnFinishWork = [&](TObject*) { calls.push_back(-1); };
  proc.DoFinishWork();
  EXPECT_EQ(calls, (std::vector<int>{100, -1}));

  TIEBitmap img(6, 5, ie24RGB);
  EXPECT_EQ(IEGetAlphaBounds(&img), Rect(0, 0, 5, 4));
  img.GetAlphaChannel()->Fill(0);
  EXPECT_EQ(IEGetAlphaBounds(&img), Rect(0, 0, -1, -1));
  img.GetAlphaChannel()->GetScanline(1)[4] = 1;
  img.GetAlphaChannel()->GetScanline(3)[2] = 255;
  EXPECT_EQ(IEGetAlphaBounds(&img), Rect(2, 1, 4, 3));
  EXPECT_EQ(IEGetAlphaBounds(nullptr), Rect(0, 0, -1, -1));
}

TEST(IEProcCore, PlatformBitmapIsWorkedOnInPlaceAndReReadWhenPrepared) {
  TBitmap bmp(4, 3, pf24bit);
  TRedozIrProc proc;
  proc.AutoUndo = false;
  proc.SetAttachedBitmap(&bmp);
  ASSERT_TRUE(proc.PrepareBitmap(IEPF(ie24RGB)));
  ASSERT_NE(proc.IEBitmap(), nullptr);
  EXPECT_EQ(proc.IEBitmap()->GetWidth(), 4);
  reinterpret_cast<TRGB*>(proc.IEBitmap()->GetScanline(1))[2] = TRGB{1, 2, 3};
  EXPECT_EQ(bmp.GetPixel(2, 1), RGB(3, 2, 1));
  bmp.SetSize(7, 2);  // the owner resizes its bitmap
  ASSERT_TRUE(proc.PrepareBitmap(0));
  EXPECT_EQ(proc.IEBitmap()->GetWidth(), 7);
  EXPECT_EQ(proc.IEBitmap()->GetHeight(), 2);
  proc.IEBitmap()->GetAlphaChannel();
  proc.Update();  // a platform bitmap keeps no alpha plane
  EXPECT_FALSE(proc.IEBitmap()->HasAlphaChannel());
  proc.SetAttachedIEBitmap(nullptr);
  EXPECT_EQ(proc.AttachedBitmap(), nullptr);
}
