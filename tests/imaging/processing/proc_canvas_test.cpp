#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/iemask.h"
#include "imaging/core/ieproc.h"
#include "imaging/core/ieview.h"
#include "imaging/processing/ie_rotate.h"

using namespace redozir;

namespace {

// A 24-bit image whose pixel (x, y) holds x, y and 7 (blue, green, red).
std::unique_ptr<TIEBitmap> Coded(int w, int h) {
  auto b = std::make_unique<TIEBitmap>(w, h, ie24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = b->GetScanline(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x);
      p[1] = static_cast<std::uint8_t>(y);
      p[2] = 7;
    }
  return b;
}

struct TProcFixture {
  std::unique_ptr<TIEBitmap> image;
  TRedozIrProc proc;
  int finished = 0;
  explicit TProcFixture(std::unique_ptr<TIEBitmap> b) : image(std::move(b)) {
    proc.SetAttachedIEBitmap(image.get());
    proc.SetUndoLimit(10);
    proc.OnFinishWork = [this](TObject*) { ++finished; };
  }
  std::uint8_t Blue(int x, int y) { return image->GetScanline(y)[3 * x]; }
  std::uint8_t Green(int x, int y) { return image->GetScanline(y)[3 * x + 1]; }
};

}  // namespace

TEST(ProcCanvas, UndoCaptionsOfEveryOperation) {
  TProcFixture f(Coded(100, 50));
  f.proc.Rotate(30, true, 1, clWhite);
  EXPECT_EQ(f.proc.GetUndoCaption(0), "Rotate 30");
  f.proc.Rotate(-12.5, false);
  EXPECT_EQ(f.proc.GetUndoCaption(0), "Rotate -12.5");
  f.proc.ImageResize(640, 480, 0, 0, 255);
  EXPECT_EQ(f.proc.GetUndoCaption(0), "ImageResize 640,480");
  f.proc.Crop(10, 10, 19, 29);
  EXPECT_EQ(f.proc.GetUndoCaption(0), "Crop");
  f.proc.Fill(TRGB{1, 2, 3});
  EXPECT_EQ(f.proc.GetUndoCaption(0), "Fill");
  f.proc.Clear();
  EXPECT_EQ(f.proc.GetUndoCaption(0), "Clear");
  EXPECT_EQ(f.proc.GetUndoCount(), 6);
  EXPECT_EQ(f.finished, 6);
}

TEST(ProcCanvas, RotateKeepsImageAndAlphaTogether) {
  struct Case {
    bool antiAlias;
    std::uint8_t mode;
    TIEPixelFormat pf;
    int w, h;
  } cases[] = {{true, 0, ie24RGB, 112, 94},  {true, 1, ie24RGB, 112, 93}, {true, 2, ie24RGB, 112, 93},
               {false, 0, ie24RGB, 112, 93}, {true, 0, ie1g, 111, 93},    {false, 0, ie8g, 112, 93}};
  for (const Case& c : cases) {
    TProcFixture f(std::make_unique<TIEBitmap>(100, 50, c.pf));
    f.image->Fill(0);
    f.image->GetAlphaChannel()->Fill(255);
    f.proc.Rotate(30, c.antiAlias, c.mode, clBlack);
    EXPECT_EQ(f.image->GetWidth(), c.w) << int(c.mode) << " " << int(c.pf);
    EXPECT_EQ(f.image->GetHeight(), c.h) << int(c.mode) << " " << int(c.pf);
    TIEBitmap* a = f.image->GetAlphaChannel();
    EXPECT_EQ(a->GetWidth(), f.image->GetWidth());
    EXPECT_EQ(a->GetHeight(), f.image->GetHeight());
    EXPECT_EQ(a->GetScanline(0)[0], 0);
    EXPECT_EQ(a->GetScanline(a->GetHeight() / 2)[a->GetWidth() / 2], 255);
  }
  TProcFixture f(Coded(10, 8));
  f.proc.Rotate(0);
  EXPECT_EQ(f.proc.GetUndoCount(), 0);
  EXPECT_EQ(f.finished, 0);
  EXPECT_THROW(f.proc.Rotate(std::nan("")), EInvalidOp);
}

TEST(ProcCanvas, ImageResizeKeepsTheOldColumnsAtTheAlignedPlace) {
  TProcFixture grow(Coded(100, 100));
  grow.proc.SetBackground(RGB(9, 9, 9));
  grow.proc.ImageResize(200, 100, 1, 0, 255);
  ASSERT_EQ(grow.image->GetWidth(), 200);
  EXPECT_EQ(grow.Blue(49, 5), 9);  // the band of background at the left
  EXPECT_EQ(grow.Blue(50, 5), 0);  // old column 0
  EXPECT_EQ(grow.Blue(149, 5), 99);
  EXPECT_EQ(grow.Blue(150, 5), 9);

  TProcFixture shrink(Coded(100, 100));
  shrink.proc.ImageResize(51, 100, 1, 0, 255);
  ASSERT_EQ(shrink.image->GetWidth(), 51);
  EXPECT_EQ(shrink.Blue(0, 0), 24);
  EXPECT_EQ(shrink.Blue(50, 0), 74);

  // The same size, or a zero one: no entry, no event.
  shrink.proc.ImageResize(51, 100, 0, 0, 255);
  shrink.proc.ImageResize(0, 10, 0, 0, 255);
  EXPECT_EQ(shrink.proc.GetUndoCount(), 1);
  EXPECT_EQ(shrink.finished, 1);
  EXPECT_THROW(shrink.proc.ImageResize(-1, 10, 0, 0, 255), ERangeError);
  EXPECT_EQ(shrink.image->GetWidth(), 51);

  // A 1 x 1 image is cleared to the background first; AlphaFill makes a plane.
  TProcFixture one(Coded(1, 1));
  one.image->GetScanline(0)[0] = 200;
  one.proc.SetBackground(RGB(5, 6, 7));
  one.proc.ImageResize(3, 2, 0, 0, 100);
  EXPECT_EQ(one.Blue(0, 0), 7);
  EXPECT_EQ(one.Blue(2, 1), 7);
  ASSERT_TRUE(one.image->HasAlphaChannel());
  EXPECT_EQ(one.image->GetAlphaChannel()->GetScanline(0)[0], 255);
  EXPECT_EQ(one.image->GetAlphaChannel()->GetScanline(1)[2], 100);
}

TEST(ProcCanvas, CropKeepsTheRectangleInsideTheImage) {
  TProcFixture f(Coded(40, 40));
  f.image->GetAlphaChannel()->Fill(255);
  f.image->GetAlphaChannel()->GetScanline(10)[10] = 17;
  f.proc.Crop(10, 10, 19, 29);
  ASSERT_EQ(f.image->GetWidth(), 10);
  ASSERT_EQ(f.image->GetHeight(), 20);
  EXPECT_EQ(f.Blue(0, 0), 10);
  EXPECT_EQ(f.Green(0, 0), 10);
  EXPECT_EQ(f.image->GetAlphaChannel()->GetWidth(), 10);
  EXPECT_EQ(f.image->GetAlphaChannel()->GetScanline(0)[0], 17);

  // Partly outside: only the part inside is kept.
  f.proc.CropRect(Rect(-5, 15, 4, 40));
  ASSERT_EQ(f.image->GetWidth(), 5);
  ASSERT_EQ(f.image->GetHeight(), 5);
  EXPECT_EQ(f.Blue(0, 0), 10);
  EXPECT_EQ(f.Green(4, 4), 29);
  int entries = f.proc.GetUndoCount();
  // The whole image, an empty or an outside rectangle: no entry, no change.
  f.proc.Crop(0, 0, 4, 4);
  f.proc.Crop(3, 3, 2, 4);
  f.proc.Crop(10, 10, 20, 20);
  EXPECT_EQ(f.proc.GetUndoCount(), entries);
  EXPECT_EQ(f.image->GetWidth(), 5);
}

TEST(ProcCanvas, FillAndClearPaintInTheImagesFormat) {
  TProcFixture f(std::make_unique<TIEBitmap>(20, 4, ie1g));
  f.image->Fill(0);
  f.proc.Fill(TRGB{0, 0, 255});
  for (int x = 0; x < 20; ++x) EXPECT_TRUE((f.image->GetScanline(3)[x >> 3] >> (7 - (x & 7))) & 1);
  f.proc.Fill(TRGB{255, 255, 0});
  for (int x = 0; x < 20; ++x) EXPECT_FALSE((f.image->GetScanline(3)[x >> 3] >> (7 - (x & 7))) & 1);

  TProcFixture g(std::make_unique<TIEBitmap>(6, 4, ie8g));
  g.proc.SetBackground(clWhite);
  g.proc.Clear();
  EXPECT_EQ(g.image->GetScanline(3)[5], 255);
  g.proc.SetBackground(clRed);
  g.proc.Clear();
  EXPECT_EQ(g.image->GetScanline(0)[0], 53) << "the grey of red, not the colour as a level";
}

namespace {
// A viewer with one bitmap and a selection mask.
class TSelectionView : public TIEView {
 public:
  TSelectionView() : TIEView(nullptr), bitmap(10, 8, ie24RGB) {
    bitmap.Fill(0);
    mask.AllocateBits(10, 8, 1);
  }
  TIEBitmap* GetIEBitmap() override { return &bitmap; }
  TIEMask* GetSelectionMask() override { return &mask; }
  TIEBitmap bitmap;
  TIEMask mask;
};
}  // namespace

TEST(ProcCanvas, FillPaintsOnlyTheSelectedPixels) {
  TSelectionView view;
  // An L-shaped selection inside the box (2, 1)-(5, 4).
  for (int y = 1; y <= 4; ++y) view.mask.SetPixel(2, y, 1);
  for (int x = 2; x <= 5; ++x) view.mask.SetPixel(x, 4, 1);
  TRedozIrProc proc;
  proc.SetAttachedRedozIr(&view);
  proc.Fill(TRGB{50, 60, 70});
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x) {
      bool selected = (x == 2 && y >= 1 && y <= 4) || (y == 4 && x >= 2 && x <= 5);
      EXPECT_EQ(view.bitmap.GetScanline(y)[3 * x + 2], selected ? 70 : 0) << x << "," << y;
    }
  view.mask.Empty();
  proc.Fill(TRGB{1, 1, 1});
  EXPECT_EQ(view.bitmap.GetScanline(7)[3 * 9], 1) << "no selection: the whole image";
}

TEST(ProcCanvas, CropTransparentBorderKeepsTheVisiblePixelsWithoutAnUndoEntry) {
  TProcFixture f(Coded(30, 20));
  f.proc.AutoUndo = true;
  TIEBitmap* alpha = f.image->GetAlphaChannel();
  alpha->Fill(0);
  alpha->GetScanline(4)[6] = 1;
  alpha->GetScanline(12)[21] = 200;
  int entries = f.proc.GetUndoCount();
  f.proc.CropTransparentBorder();
  ASSERT_EQ(f.image->GetWidth(), 16);
  ASSERT_EQ(f.image->GetHeight(), 9);
  EXPECT_EQ(f.Blue(0, 0), 6);
  EXPECT_EQ(f.Green(0, 0), 4);
  EXPECT_EQ(f.image->GetAlpha(15, 8), 200);
  EXPECT_EQ(f.proc.GetUndoCount(), entries);
  EXPECT_TRUE(f.proc.AutoUndo);

  // Nothing visible: the image stays as it is.
  f.image->GetAlphaChannel()->Fill(0);
  f.proc.CropTransparentBorder();
  EXPECT_EQ(f.image->GetWidth(), 16);
}
