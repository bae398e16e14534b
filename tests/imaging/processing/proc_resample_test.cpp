// TRedozIrProc.Resample and ResampleTo on an attached bitmap: sizes, undo
// captions, the image left alone where nothing is asked.
#include <gtest/gtest.h>

#include "imaging/core/ieproc.h"
#include "resample_test_util.h"

using namespace redozir;

TEST(ProcResample, SizesUndoAndFinish) {
  auto image = MakeImage(800, 400, ie24RGB, 9);
  TRedozIrProc proc;
  proc.SetAttachedIEBitmap(image.get());
  int finished = 0;
  proc.OnFinishWork = [&](TObject*) { ++finished; };

  proc.Resample(-1, 600, rfTriangle);
  EXPECT_EQ(image->Width(), 1200);
  EXPECT_EQ(image->Height(), 600);
  ASSERT_EQ(proc.GetUndoCount(), 1);
  EXPECT_EQ(proc.GetUndoCaption(0), "Resample -1,600");
  EXPECT_GE(finished, 1);

  // The current size: no undo entry, nothing changes.
  auto before = Bytes(image.get());
  proc.Resample(1200, 600, rfLanczos3);
  EXPECT_EQ(proc.GetUndoCount(), 1);
  // Both negative: the image stays as it was.
  proc.Resample(-1, -1, rfNone);
  EXPECT_EQ(image->Width(), 1200);
  EXPECT_EQ(Bytes(image.get()), before);
  EXPECT_EQ(proc.GetUndoCount(), 1);

  // ResampleTo fills the target and leaves the image alone.
  TIEBitmap target;
  proc.ResampleTo(&target, 300, -1, rfFastLinear);
  EXPECT_EQ(target.Width(), 300);
  EXPECT_EQ(target.Height(), 150);
  EXPECT_EQ(Bytes(image.get()), before);
  proc.ResampleTo(&target, 0, 0, rfNone);
  EXPECT_EQ(Bytes(&target), before);
  proc.ResampleTo(&target, -1, 0, rfNone);
  EXPECT_EQ(target.Width(), 1);
  EXPECT_EQ(target.Height(), 600);

  proc.Undo();
  EXPECT_EQ(image->Width(), 800);
  EXPECT_EQ(image->Height(), 400);
}

TEST(ProcResample, OneBitStaysOrBecomesGrey) {
  auto image = MakeImage(40, 30, ie1g, 3);
  TRedozIrProc proc;
  proc.AutoUndo = false;
  proc.SetAttachedIEBitmap(image.get());
  proc.Resample(20, 15, rfProjectBW);
  EXPECT_EQ(image->PixelFormat(), ie1g);
  proc.Resample(10, 7, rfNone);
  EXPECT_EQ(image->PixelFormat(), ie1g);
  proc.Resample(20, 14, rfTriangle);
  EXPECT_EQ(image->PixelFormat(), ie24RGB);
  EXPECT_EQ(proc.GetUndoCount(), 0);
}
