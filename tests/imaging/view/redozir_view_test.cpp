#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <set>

#include "imaging/core/iegdiplus.h"
#include "imaging/formats/test_images.h"
#include "imaging/view/ievect.h"
#include "imaging/view/redozir_view.h"

using namespace redozir;

namespace {
std::string TempName(const std::string& ext) {
  return "/tmp/redozir_view_test_" + std::to_string(getpid()) + ext;
}

struct CountingView : TRedozIrView {
  CountingView() : TRedozIrView(nullptr) {}
  int updates = 0;
  void DoUpdate() override {
    ++updates;
    TRedozIrView::DoUpdate();
  }
};

bool ScrollBarUntouched(const TWindowScrollBar& b) {
  TWindowScrollBar d;
  return b.Min == d.Min && b.Max == d.Max && b.Page == d.Page && b.Pos == d.Pos && !b.Visible;
}
}  // namespace

TEST(RedozIrView, HiddenViewLoadsAFileIntoLayerZeroInsideItsPlatformBitmap) {
  auto src = MakeRGB(37, 21);
  for (const char* ext : {".png", ".bmp"}) {
    std::string name = TempName(ext);
    {
      TRedozIrIO writer;
      writer.GetIEBitmap()->Assign(src.get());
      writer.SaveToFile(name);
    }
    int gdipBefore = IEGDIPLoadCount();
    auto* view = new TRedozIrView(nullptr);
    EXPECT_EQ(IEGDIPLoadCount(), gdipBefore + 1);
    EXPECT_FALSE(view->HasIO());
    view->GetIO()->LoadFromFile(name);
    TIEBitmap* b = view->GetIEBitmap();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b, view->GetLayer(0)->Bitmap) << ext;
    EXPECT_EQ(view->GetLayersCount(), 1);
    EXPECT_EQ(b->Width(), 37);
    EXPECT_EQ(b->Height(), 21);
    EXPECT_EQ(MaxRGBDiff(*b, *src), 0) << ext;
    // The pixels live in the platform bitmap GetBitmap hands out.
    ASSERT_NE(view->GetBitmap(), nullptr);
    EXPECT_EQ(b->Location(), ieTBitmap);
    EXPECT_EQ(b->GetVclBitmap(), view->GetBitmap());
    EXPECT_EQ(view->GetBitmap()->Width(), 37);
    EXPECT_EQ(view->GetBitmap()->Height(), 21);
    EXPECT_EQ(view->ImageWidth(), 37);
    // No window, no scroll bar.
    EXPECT_FALSE(view->HandleAllocated());
    EXPECT_EQ(view->GetClientWidthEx(), 50);
    EXPECT_EQ(view->GetClientHeightEx(), 50);
    EXPECT_TRUE(ScrollBarUntouched(view->ScrollBar(SB_HORZ)));
    EXPECT_TRUE(ScrollBarUntouched(view->ScrollBar(SB_VERT)));
    EXPECT_FALSE(view->IsEmpty());
    delete view;
    EXPECT_EQ(IEGDIPLoadCount(), gdipBefore);
    std::remove(name.c_str());
  }
}

TEST(RedozIrView, AnAttachedBitmapOutlivesTheViewAndTheComponentsFollowIt) {
  auto outside = MakeRGB(9, 4);
  auto* view = new TRedozIrView(nullptr);
  TRedozIrProc* proc = view->GetProc();
  EXPECT_EQ(proc->AttachedIEBitmap(), view->GetIEBitmap());
  view->AttachIEBitmap(outside.get());
  EXPECT_EQ(view->GetIEBitmap(), outside.get());
  EXPECT_EQ(view->GetLayer(0)->Bitmap, outside.get());
  EXPECT_EQ(proc->AttachedIEBitmap(), outside.get());
  EXPECT_EQ(view->GetIO()->GetIEBitmap(), outside.get());
  EXPECT_EQ(view->GetBitmap(), nullptr);  // it keeps its pixels in memory
  // Detaching gives the view a bitmap of its own again, and the components
  // let go of the outside one.
  view->AttachIEBitmap(nullptr);
  EXPECT_NE(view->GetIEBitmap(), outside.get());
  EXPECT_EQ(proc->AttachedIEBitmap(), view->GetIEBitmap());
  view->AttachIEBitmap(outside.get());
  delete view;
  EXPECT_EQ(outside->Width(), 9);  // still alive (ASan would complain otherwise)
  EXPECT_EQ(MaxRGBDiff(*outside, *MakeRGB(9, 4)), 0);
}

TEST(RedozIrView, TwoLocksAndOneUnlockGiveNoUpdateTheSecondUnlockExactlyOne) {
  CountingView v;
  v.updates = 0;
  v.LockUpdate();
  v.LockUpdate();
  v.UnlockUpdate();
  EXPECT_EQ(v.updates, 0);
  v.UnlockUpdate();
  EXPECT_EQ(v.updates, 1);
  // The lock never goes below 0.
  v.UnlockUpdateEx();
  EXPECT_EQ(v.UpdateLockCount(), 0);
  v.Update();
  EXPECT_EQ(v.updates, 2);
  // The paint lock is separate and reports its count.
  v.LockPaint();
  v.LockPaint();
  EXPECT_EQ(v.UnlockPaintEx(), 1);
  v.UnlockPaint();
  EXPECT_EQ(v.updates, 3);
  EXPECT_EQ(v.UnlockPaintEx(), 0);
}

TEST(RedozIrView, IsEmptyOnlyWhenBothSidesAreBelowTwo) {
  struct Case {
    int w, h;
    bool empty;
  } cases[] = {{0, 0, true}, {1, 1, true}, {1, 5, false}, {5, 1, false}, {2, 2, false}};
  TRedozIrView v(nullptr);
  for (const auto& c : cases) {
    v.GetIEBitmap()->Allocate(c.w, c.h, ie24RGB);
    EXPECT_EQ(v.IsEmpty(), c.empty) << c.w << "x" << c.h;
  }
}

TEST(RedozIrView, ComponentsAreMadeOnFirstRequestAndCarryTheViewsEvents) {
  TRedozIrView v(nullptr);
  int progress = 0, saved = 0;
  v.SetOnProgress([&](TObject*, int) { ++progress; });
  v.SetOnSaveUndo([&](TObject*, TIEUndoSource) { ++saved; });
  EXPECT_FALSE(v.HasIO());
  EXPECT_FALSE(v.HasProc());
  TRedozIrIO* io = v.GetIO();
  EXPECT_EQ(v.GetIO(), io);
  EXPECT_EQ(io->AttachedRedozIr(), &v);
  EXPECT_FALSE(v.HasProc());
  TRedozIrProc* proc = v.GetProc();
  EXPECT_EQ(v.GetProc(), proc);
  EXPECT_EQ(proc->AttachedRedozIr(), &v);
  ASSERT_TRUE(io->OnProgress);
  ASSERT_TRUE(proc->OnProgress);
  ASSERT_TRUE(proc->OnSaveUndo);
  io->OnProgress(io, 5);
  proc->OnSaveUndo(proc, ieuImage);
  EXPECT_EQ(progress, 1);
  EXPECT_EQ(saved, 1);
  // Later handlers reach the existing components at once.
  v.SetOnFinishWork([&](TObject*) { progress += 10; });
  ASSERT_TRUE(io->OnFinishWork);
  proc->OnFinishWork(proc);
  EXPECT_EQ(progress, 11);
}

TEST(RedozIrView, LegacyBitmapOffKeepsThePixelsInMemoryOrTheDiskBufferAndBack) {
  auto src = MakeRGB(40, 30);
  struct Case {
    std::int64_t threshold;
    TIELocation where;
  } cases[] = {{-1, ieMemory}, {1 << 20, ieMemory}, {100, ieFile}};
  for (const auto& c : cases) {
    TRedozIrView v(nullptr);
    v.Assign(static_cast<TRedozIrView*>(nullptr));
    v.GetIEBitmap()->Assign(src.get());
    v.GetIEBitmap()->SetLocation(ieTBitmap);
    v.GetIEBitmap()->SetMemoryThreshold(c.threshold);
    TIEBitmap* before = v.GetIEBitmap();
    v.SetLegacyBitmap(false);
    EXPECT_EQ(v.GetBitmap(), nullptr);
    EXPECT_EQ(v.GetIEBitmap(), before);
    EXPECT_EQ(v.GetIEBitmap()->Location(), c.where) << c.threshold;
    EXPECT_FALSE(v.GetIEBitmap()->IsVclBitmap());
    EXPECT_EQ(MaxRGBDiff(*v.GetIEBitmap(), *src), 0);
    v.SetLegacyBitmap(true);
    ASSERT_NE(v.GetBitmap(), nullptr);
    EXPECT_EQ(v.GetBitmap()->Width(), 40);
    EXPECT_EQ(MaxRGBDiff(*v.GetIEBitmap(), *src), 0);
  }
}

TEST(RedozIrView, EveryPixelFormatKeepsItsFormatAndBytesThroughUpdateAndNewLayers) {
  for (TIEPixelFormat pf : {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB}) {
    TRedozIrView v(nullptr);
    TIEBitmap* b = v.GetIEBitmap();
    ASSERT_TRUE(b->Allocate(7, 3, pf));
    const size_t bytes = (7 * static_cast<size_t>(b->GetBitCount()) + 7) / 8;
    std::vector<std::uint8_t> before;
    for (int y = 0; y < 3; ++y)
      for (size_t i = 0; i < bytes; ++i) before.push_back(b->GetScanline(y)[i] = (y * 31 + i * 7) & 0x3F);
    v.Update();
    v.Update();
    ASSERT_EQ(v.GetIEBitmap(), b);
    EXPECT_EQ(b->GetPixelFormat(), pf) << int(pf);
    std::vector<std::uint8_t> after;
    for (int y = 0; y < 3; ++y) after.insert(after.end(), b->GetScanline(y), b->GetScanline(y) + bytes);
    EXPECT_EQ(after, before) << int(pf);
    v.LayersAdd();
    v.Update();
    EXPECT_EQ(v.GetIEBitmap()->GetPixelFormat(), pf) << int(pf);
    EXPECT_EQ(v.GetLayer(0)->Bitmap->GetPixelFormat(), pf) << int(pf);
  }
}

TEST(RedozIrView, GetBitmapNamesTheCurrentLayersPlatformBitmapWithLegacyBitmapOff) {
  TRedozIrView v(nullptr);
  v.GetIEBitmap()->Allocate(8, 6, ie24RGB);
  v.LayersAdd();  // made in a platform bitmap, as layer 0 is
  v.SetLayersCurrent(0);
  v.SetLegacyBitmap(false);
  EXPECT_EQ(v.GetBitmap(), nullptr);
  v.SetLayersCurrent(1);
  ASSERT_EQ(v.GetIEBitmap()->Location(), ieTBitmap);
  EXPECT_EQ(v.GetBitmap(), v.GetIEBitmap()->GetVclBitmap());
}

TEST(RedozIrView, ANewLayerTakesTheSourcesMemoryOrDiskBufferLocation) {
  struct Case {
    TIELocation source;
    std::int64_t threshold;  // the source's, which would choose otherwise
  } cases[] = {{ieFile, -1}, {ieMemory, 100}};
  for (const auto& c : cases) {
    TRedozIrView v(nullptr);
    v.SetLegacyBitmap(false);
    TIEBitmap* b = v.GetIEBitmap();
    b->Allocate(40, 30, ie24RGB);
    b->SetLocation(c.source);
    b->SetMemoryThreshold(c.threshold);
    ASSERT_EQ(b->Location(), c.source);
    v.LayersAdd();
    EXPECT_EQ(v.GetIEBitmap()->Location(), c.source) << int(c.source);
    EXPECT_EQ(v.GetIEBitmap()->Width(), 40);
  }
}

TEST(RedozIrView, ClearingLayersFreesTheUserDataLayerZeroOwns) {
  // LeakSanitizer reports the block when the reset drops it.
  TRedozIrView v(nullptr);
  v.LayersAdd();
  for (int i = 0; i < 2; ++i) {
    v.GetLayer(i)->UserData = new std::uint8_t[1000];
    v.GetLayer(i)->UserDataLen = 1000;
  }
  v.LayersClear();
  EXPECT_EQ(v.GetLayer(0)->UserData, nullptr);
  EXPECT_EQ(v.GetLayer(0)->UserDataLen, 0);
}

TEST(RedozIrView, LayerIdentitiesAreRandomVersionFourIdentifiers) {
  TRedozIrView v(nullptr);
  std::set<std::string> seen;
  for (int i = 0; i < 20; ++i) v.LayersAdd();
  for (int i = 0; i < v.GetLayersCount(); ++i) {
    const TGUID& g = v.GetLayer(i)->GUID();
    EXPECT_EQ(g.D3 >> 12, 4);
    EXPECT_EQ(g.D4[0] >> 6, 2);
    seen.insert(GUIDToString(g));
  }
  EXPECT_EQ(seen.size(), 21u);
  EXPECT_EQ(GUIDToString(TGUID{}), "{00000000-0000-0000-0000-000000000000}");
}

TEST(RedozIrView, RemovingLayersKeepsTheCurrentLayerAndBitmapValid) {
  // Layers 0..4; layer 2 has its mask at 3 in the "mask" cases.
  struct Case {
    const char* what;
    int current, remove;
    bool mask;
    int count, newCurrent;  // newCurrent names the old index expected current
  } cases[] = {
      {"current removed", 2, 2, false, 4, 3},         {"current top removed", 4, 4, false, 4, 3},
      {"below current", 4, 1, false, 4, 4},           {"above current", 1, 3, false, 4, 1},
      {"below current, with mask", 4, 2, true, 3, 4}, {"current with mask", 2, 2, true, 3, 4},
      {"current is the mask", 3, 2, true, 3, 4},      {"above current, with mask", 1, 2, true, 3, 1},
  };
  for (const auto& c : cases) {
    TRedozIrView v(nullptr);
    for (int i = 1; i < 5; ++i) v.LayersAdd();
    std::vector<TIEBitmap*> bitmaps;
    for (int i = 0; i < 5; ++i) bitmaps.push_back(v.GetLayer(i)->Bitmap);
    v.GetLayer(3)->IsMask = c.mask;
    v.SetLayersCurrent(c.current);
    TRedozIrProc* proc = v.GetProc();
    v.LayersRemove(c.remove);
    EXPECT_EQ(v.GetLayersCount(), c.count) << c.what;
    ASSERT_GE(v.LayersCurrent(), 0) << c.what;
    EXPECT_EQ(v.GetIEBitmap(), v.GetCurrentLayer()->Bitmap) << c.what;
    EXPECT_EQ(v.GetIEBitmap(), bitmaps[c.newCurrent]) << c.what;
    EXPECT_EQ(proc->AttachedIEBitmap(), v.GetIEBitmap()) << c.what;
  }
}

TEST(RedozIrView, LayerListBoundsSelectabilityAndClear) {
  TRedozIrView v(nullptr);
  v.LayersRemove(0);  // the only layer stays
  EXPECT_EQ(v.GetLayersCount(), 1);
  EXPECT_THROW(v.GetLayer(1), EListError);
  EXPECT_THROW(v.GetLayer(-1), EListError);
  EXPECT_EQ(v.LayersAdd(), 1);
  EXPECT_EQ(v.LayersAdd(), 2);
  EXPECT_EQ(v.LayersCurrent(), 2);
  // A layer that may not be selected hands over to the nearest below.
  v.SetLayersCurrent(0);
  v.GetLayer(1)->Selectable = false;
  v.GetLayer(2)->Selectable = false;
  v.SetLayersCurrent(2);
  EXPECT_EQ(v.LayersCurrent(), 0);
  v.LayersSelectableOnly = false;
  v.SetLayersCurrent(2);
  EXPECT_EQ(v.LayersCurrent(), 2);
  v.SetLayersCurrent(7);  // ignored
  EXPECT_EQ(v.LayersCurrent(), 2);
  v.GetLayer(0)->PosX = 5;
  v.LayersClear();
  EXPECT_EQ(v.GetLayersCount(), 1);
  EXPECT_EQ(v.LayersCurrent(), 0);
  EXPECT_EQ(v.GetIEBitmap(), v.GetLayer(0)->Bitmap);
  EXPECT_EQ(v.GetLayer(0)->PosX, 0);
  EXPECT_FALSE(v.GetLayer(0)->VisibleBox);
  EXPECT_TRUE(v.GetLayer(0)->Locked);
}

TEST(RedozIrView, LayersSyncEnlargesEveryLayerWithATransparentFill) {
  TRedozIrView v(nullptr);
  v.GetIEBitmap()->Allocate(4, 3, ie24RGB);
  v.GetIEBitmap()->Fill(0);
  v.LayersAdd();
  v.GetIEBitmap()->Allocate(6, 5, ie24RGB);
  v.GetIEBitmap()->Fill(0);
  v.LayersSync = true;
  v.Update();
  EXPECT_EQ(v.ImageWidth(), 6);
  EXPECT_EQ(v.ImageHeight(), 5);
  TIEBitmap* l0 = v.GetLayer(0)->Bitmap;
  ASSERT_EQ(l0->Width(), 6);
  ASSERT_EQ(l0->Height(), 5);
  ASSERT_TRUE(l0->HasAlphaChannel());
  EXPECT_EQ(l0->GetAlpha(0, 0), 255);
  EXPECT_EQ(l0->GetAlpha(3, 2), 255);
  EXPECT_EQ(l0->GetAlpha(4, 0), 0);
  EXPECT_EQ(l0->GetAlpha(0, 3), 0);
  EXPECT_EQ(l0->GetAlpha(5, 4), 0);
}

TEST(TIELayer, SetRotateTurnsWholeTurnsIntoZero) {
  struct Case {
    double in, out;
  } cases[] = {{720, 0}, {-360, 0}, {360, 0}, {0, 0}, {360.5, 360.5}, {90, 90}, {-450, -450}, {1e300, 0}};
  TIELayer l(nullptr, false, nullptr);
  for (const auto& c : cases) {
    l.SetRotate(c.in);
    EXPECT_EQ(l.GetRotate(), c.out) << c.in;
  }
}

TEST(TIELayer, AssignSharesUserDataWithoutOwningIt) {
  TIELayer a(nullptr, false, nullptr), b(nullptr, false, nullptr);
  a.UserData = new std::uint8_t[8];
  a.UserDataLen = 8;
  b.UserData = new std::uint8_t[4];
  b.UserDataLen = 4;
  a.Name = "top";
  a.PosX = 3;
  a.SetRotate(30);
  b.Assign(&a);
  EXPECT_EQ(b.UserData, a.UserData);
  EXPECT_EQ(b.UserDataLen, 0);
  EXPECT_EQ(b.Name, "top");
  EXPECT_EQ(b.PosX, 3);
  EXPECT_EQ(b.GetRotate(), 0);
  EXPECT_FALSE(a.GUID() == b.GUID());
}

TEST(RedozIrView, SetMouseInteractKeepsOnlyWhatWorksWithTheNewMember) {
  using M = TIEMouseInteract;
  struct Case {
    M before, asked, after;
  } cases[] = {
      {0, IEMouseInteract({miZoom, miScroll}), IEMouseInteract({miZoom, miScroll})},
      {IEMouseInteract({miSelect}), IEMouseInteract({miSelect, miScroll}), IEMouseInteract({miScroll})},
      {IEMouseInteract({miZoom}), IEMouseInteract({miZoom, miSelectPolygon}),
       IEMouseInteract({miSelectPolygon})},
      {0, IEMouseInteract({miSelectPolygon, miMovingScroll, miZoom}),
       IEMouseInteract({miSelectPolygon, miMovingScroll})},
      {IEMouseInteract({miScroll}), IEMouseInteract({miScroll, miSelectCircle}),
       IEMouseInteract({miSelectCircle})},
      {IEMouseInteract({miSelect}), IEMouseInteract({miSelect, miZoom}), IEMouseInteract({miSelect, miZoom})},
      {IEMouseInteract({miScroll}), IEMouseInteract({miScroll, miSelectMagicWand}),
       IEMouseInteract({miSelectMagicWand})},
      {IEMouseInteract({miZoom}), IEMouseInteract({miZoom, miSelectLasso, miMoveLayers}),
       IEMouseInteract({miZoom, miSelectLasso})},
      {0, IEMouseInteract({miMoveLayers, miResizeLayers}), IEMouseInteract({miMoveLayers, miResizeLayers})},
      {0, IEMouseInteract({miMoveLayers, miRotateLayers, miResizeLayers}),
       IEMouseInteract({miMoveLayers, miRotateLayers})},
      {0, IEMouseInteract({miResizeLayers, miZoom}), IEMouseInteract({miZoom})},
      {IEMouseInteract({miZoom}), IEMouseInteract({miZoom, miResizeLayers}),
       IEMouseInteract({miResizeLayers})},
      {IEMouseInteract({miZoom, miScroll}), IEMouseInteract({miScroll}), IEMouseInteract({miScroll})},
      {IEMouseInteract({miZoom}), 0, 0},
  };
  for (const auto& c : cases) {
    TRedozIrView v(nullptr);
    v.SetMouseInteract(c.before);
    ASSERT_EQ(v.MouseInteract(), c.before);
    v.SetMouseInteract(c.asked);
    EXPECT_EQ(v.MouseInteract(), c.after) << c.before << " -> " << c.asked;
  }
}

TEST(RedozIrView, LayerCoordinatesFollowPositionAndShownSizeAndSurviveNoSize) {
  TRedozIrView v(nullptr);
  v.GetIEBitmap()->Allocate(100, 80, ie24RGB);
  v.LayersAdd();
  TIELayer* l = v.GetCurrentLayer();
  l->Bitmap->Allocate(20, 10, ie24RGB);
  l->PosX = 30;
  l->PosY = 5;
  l->Width = 40;  // shown at twice its width
  struct Case {
    int scrX, scrY, bmpX, bmpY;
  } cases[] = {{30, 5, 0, 0}, {31, 6, 0, 1}, {32, 14, 1, 9}, {69, 14, 19, 9}, {50, 10, 10, 5}};
  for (const auto& c : cases) {
    EXPECT_EQ(v.LayerXScr2Bmp(l, c.scrX), c.bmpX) << c.scrX;
    EXPECT_EQ(v.LayerYScr2Bmp(l, c.scrY), c.bmpY) << c.scrY;
  }
  EXPECT_EQ(v.LayerXBmp2Scr(l, 10), 50);
  EXPECT_EQ(v.LayerYBmp2Scr(l, 9), 14);
  // A layer with no size: no division by zero, everything maps to 0.
  TIELayer* empty = v.GetLayer(1);
  empty->Bitmap->Allocate(0, 0, ie24RGB);
  empty->Width = empty->Height = 0;
  EXPECT_EQ(v.LayerXScr2Bmp(empty, 70), 0);
  EXPECT_EQ(v.LayerYScr2Bmp(empty, 70), 0);
  EXPECT_EQ(v.LayerXBmp2Scr(empty, 7), 30);
  EXPECT_EQ(v.LayerYBmp2Scr(empty, 7), 5);
}

TEST(RedozIrView, FindLayerAtTakesTheTopmostOpaqueLayerWithEdgesInside) {
  TRedozIrView v(nullptr);
  v.GetIEBitmap()->Allocate(50, 50, ie24RGB);
  v.GetLayer(0)->ClientAreaBox = Rect(0, 0, 50, 50);
  v.LayersAdd();
  TIELayer* top = v.GetLayer(1);
  top->Bitmap->Allocate(10, 10, ie24RGB);
  top->PosX = 10;
  top->PosY = 10;
  top->ClientAreaBox = Rect(10, 10, 20, 20);
  TIEBitmap* a = top->Bitmap->GetAlphaChannel();
  a->Fill(255);
  a->FillRect(5, 5, 9, 9, 0);  // the lower-right quarter is transparent
  struct Case {
    int x, y, expected;
  } cases[] = {{10, 10, 1}, {20, 10, 1}, {10, 14, 1}, {9, 10, 0},  {21, 21, 0},
               {16, 16, 0}, {20, 20, 0}, {14, 16, 1}, {50, 50, 0}, {51, 10, -1}};
  for (const auto& c : cases) EXPECT_EQ(v.FindLayerAt(c.x, c.y), c.expected) << c.x << "," << c.y;
  v.SelectionOptions |= 1u << iesoSelectTranspLayers;
  EXPECT_EQ(v.FindLayerAt(16, 16), 1);
  top->Selectable = false;
  EXPECT_EQ(v.FindLayerAt(12, 12), 0);
  EXPECT_EQ(v.FindLayerAt(12, 12, false), 1);
  top->Visible = false;
  EXPECT_EQ(v.FindLayerAt(12, 12, false), 0);
  EXPECT_FALSE(v.IsPointInLayer(12, 12, 1));
  EXPECT_TRUE(v.IsPointInLayer(50, 50, 0));
  EXPECT_FALSE(v.IsPointInLayer(0, 0, 5));
  // A rotated layer is tested against its drawn corners.
  top->Visible = true;
  top->SetRotate(45);
  top->DrawingInfo.RotatedDest[0] = {15, 5};
  top->DrawingInfo.RotatedDest[1] = {25, 15};
  top->DrawingInfo.RotatedDest[2] = {15, 25};
  top->DrawingInfo.RotatedDest[3] = {5, 15};
  EXPECT_TRUE(v.IsPointInLayer(15, 15, 1));
  EXPECT_FALSE(v.IsPointInLayer(7, 7, 1));
}

TEST(RedozIrView, TheSelectionMaskFollowsTheImageSizeKeepingASelection) {
  TRedozIrView v(nullptr);
  v.GetIEBitmap()->Allocate(30, 20, ie24RGB);
  v.Update();
  ASSERT_EQ(v.SelectionMask()->Width(), 30);
  EXPECT_EQ(v.SelectionMask()->Height(), 20);
  EXPECT_EQ(v.SelectionMask()->BitsPerPixel(), 1);
  EXPECT_EQ(v.GetSelectionMask(), nullptr);
  v.SelectionMask()->SetPixel(3, 4, 1);
  EXPECT_EQ(v.GetSelectionMask(), v.SelectionMask());
  v.GetIEBitmap()->Allocate(40, 25, ie24RGB);
  v.Update();
  EXPECT_EQ(v.SelectionMask()->Width(), 40);
  EXPECT_EQ(v.SelectionMask()->GetPixel(3, 4), 1);
  // An alpha plane of another size becomes opaque at the image size.
  v.GetIEBitmap()->GetAlphaChannel()->Allocate(5, 5, ie8g);
  v.Update();
  EXPECT_EQ(v.GetAlphaChannel()->Width(), 40);
  EXPECT_EQ(v.GetIEBitmap()->GetAlpha(39, 24), 255);
}

TEST(RedozIrView, AssignCopiesAnotherViewAndNilClearsWithTheBackground) {
  TRedozIrView a(nullptr), b(nullptr);
  auto src = MakeRGB(12, 7);
  a.GetIEBitmap()->Assign(src.get());
  AddAlpha(*a.GetIEBitmap());
  a.SetBackground(clRed);
  a.SetDpi(150, 72);
  int changes = 0;
  b.OnImageChange = [&](TObject* s) {
    EXPECT_EQ(s, &b);
    ++changes;
  };
  b.Assign(&a);
  EXPECT_EQ(changes, 1);
  EXPECT_NE(b.GetIEBitmap(), a.GetIEBitmap());
  EXPECT_EQ(MaxRGBDiff(*b.GetIEBitmap(), *src), 0);
  EXPECT_EQ(b.Background(), clRed);
  EXPECT_EQ(b.DpiX(), 150);
  EXPECT_EQ(b.DpiY(), 72);
  ASSERT_TRUE(b.GetHasAlphaChannel());
  b.Assign(static_cast<TRedozIrView*>(nullptr));
  EXPECT_FALSE(b.GetHasAlphaChannel());
  TRGB px = b.GetIEBitmap()->GetPixels(5, 3);
  EXPECT_EQ(px.r, 255);
  EXPECT_EQ(px.g, 0);
  EXPECT_EQ(px.b, 0);
  b.Blank();
  EXPECT_TRUE(b.IsEmpty());
}

TEST(RedozIrView, ANewViewHasItsDocumentedDefaultsAndSettersMakeNoWindow) {
  TRedozIrView v(nullptr);
  EXPECT_EQ(v.Width(), 105);
  EXPECT_EQ(v.Height(), 105);
  EXPECT_EQ(v.DpiX(), 300);
  EXPECT_EQ(v.DpiY(), 300);
  EXPECT_TRUE(v.LegacyBitmap());
  EXPECT_TRUE(v.Center());
  EXPECT_EQ(v.ZoomFilter(), rfNone);
  EXPECT_EQ(v.ZoomX(), 100.0);
  EXPECT_EQ(v.BackgroundStyle(), iebsSolid);
  EXPECT_EQ(v.SelectionOptions,
            IESelectionOptions({iesoAnimated, iesoSizeable, iesoMoveable, iesoCanScroll}));
  EXPECT_EQ(v.MouseInteract(), 0);
  EXPECT_FALSE(v.GetLayer(0)->VisibleBox);
  EXPECT_TRUE(v.GetLayer(0)->Locked);
  EXPECT_EQ(v.LayersCurrent(), 0);
  EXPECT_EQ(TRedozIrView::RedozIrVersion(), "3.1.0");
  // What both views publish of the platform's controls, as they start.
  TRedozIrVect vect(nullptr);
  for (TControl* c : {static_cast<TControl*>(&v), static_cast<TControl*>(&vect)}) {
    EXPECT_TRUE(c->Ctl3D() && c->ParentCtl3D() && c->ParentShowHint());
    EXPECT_FALSE(c->ShowHint() || c->TabStop);
    EXPECT_EQ(c->Anchors(), akLeft | akTop);
    EXPECT_EQ(c->DragMode(), dmManual);
    EXPECT_EQ(c->DragCursor(), crDrag);
  }
  v.SetCenter(false);
  v.SetZoomFilter(rfLanczos3);
  v.SetBackgroundStyle(iebsChessboard);
  v.SetWallPaperStyle(iewoTile);
  v.SetDrawVersion(true);
  v.SetEnableAlphaChannel(false);
  EXPECT_EQ(v.ZoomFilter(), rfLanczos3);
  EXPECT_FALSE(v.HandleAllocated());
}
