#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "imaging/core/iemask.h"
#include "imaging/core/ieproc.h"
#include "imaging/core/ieview.h"
#include "imaging/core/convert_1bit.h"

using namespace redozir;

namespace {
// A viewer with one 24-bit bitmap and a selection mask.
class TSelView : public TIEView {
 public:
  TSelView() : TIEView(nullptr), bitmap(std::make_unique<TIEBitmap>(6, 4, ie24RGB)) {
    mask.AllocateBits(6, 4, 1);
  }
  TIEBitmap* GetIEBitmap() override { return bitmap.get(); }
  TIEMask* GetSelectionMask() override { return &mask; }
  std::unique_ptr<TIEBitmap> bitmap;
  TIEMask mask;
};

TRGB& Px(TIEBitmap& b, int x, int y) { return reinterpret_cast<TRGB*>(b.GetScanline(y))[x]; }
void Paint(TIEBitmap& b) {
  for (int y = 0; y < b.GetHeight(); ++y)
    for (int x = 0; x < b.GetWidth(); ++x)
      Px(b, x, y) = TRGB{static_cast<std::uint8_t>(40 * x), static_cast<std::uint8_t>(60 * y),
                         static_cast<std::uint8_t>(200 - 30 * x)};
}
bool Bit(TIEBitmap& b, int x, int y) { return (b.GetScanline(y)[x >> 3] >> (7 - (x & 7))) & 1; }

struct TProcFixture {
  TIEBitmap img{16, 8, ie24RGB};
  TRedozIrProc proc;
  int finished = 0;
  int maxProgress = 0;
  TProcFixture() {
    Paint(img);
    proc.SetUndoLimit(10);
    proc.SetAttachedIEBitmap(&img);
    proc.OnFinishWork = [this](TObject*) { ++finished; };
    proc.OnProgress = [this](TObject*, int per) { maxProgress = std::max(maxProgress, per); };
  }
};
}  // namespace

TEST(ProcConvertTo, ByColourCount) {
  // Two colours, ordered or by the average level, as the routines do it.
  for (std::uint8_t method : {0, 1}) {
    TProcFixture f;
    TIEBitmap want;
    want.Assign(&f.img);
    if (method)
      _IEConvertTo1bitInPlace(&want, -1);
    else
      _IEConvertTo1bitOrdered(&want);
    f.proc.ConvertTo(2, method);
    ASSERT_EQ(f.img.GetPixelFormat(), ie1g);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 16; ++x) ASSERT_EQ(Bit(f.img, x, y), Bit(want, x, y)) << int(method);
    EXPECT_EQ(f.proc.GetUndoCaption(0), "ConvertTo 2");
    EXPECT_EQ(f.finished, 1);
    EXPECT_EQ(f.maxProgress, 100);
  }
  // 4 colours: still 24 bits, at most 4 distinct.
  TProcFixture f;
  f.proc.ConvertTo(4);
  ASSERT_EQ(f.img.GetPixelFormat(), ie24RGB);
  std::set<int> seen;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x)
      seen.insert(Px(f.img, x, y).r << 16 | Px(f.img, x, y).g << 8 | Px(f.img, x, y).b);
  EXPECT_LE(seen.size(), 4u);
  // 2000 colours: nothing changes, but the entry and the finish are there.
  TProcFixture g;
  TIEBitmap before;
  before.Assign(&g.img);
  g.proc.ConvertTo(2000);
  EXPECT_EQ(std::memcmp(before.GetScanline(3), g.img.GetScanline(3), 48), 0);
  EXPECT_EQ(g.proc.GetUndoCaption(0), "ConvertTo 2000");
  EXPECT_EQ(g.finished, 1);
  // A refused format does nothing at all.
  TProcFixture h;
  h.img.SetPixelFormat(ie8g);
  h.proc.AutoConvertFormat = false;
  h.proc.ConvertTo(2);
  EXPECT_EQ(h.img.GetPixelFormat(), ie8g);
  EXPECT_EQ(h.proc.GetUndoCount(), 0);
  EXPECT_EQ(h.finished, 0);
}

TEST(ProcConvertTo, CountsFrom257To1024KeepThatManyColoursIn24Bits) {
  // W x H pixels of distinct colours, two to each 8-level cell of red and green.
  auto distinct = [](TIEBitmap& b) {
    for (int y = 0; y < b.GetHeight(); ++y)
      for (int x = 0; x < b.GetWidth(); ++x)
        Px(b, x, y) = TRGB{static_cast<std::uint8_t>(x + y), static_cast<std::uint8_t>(8 * y),
                           static_cast<std::uint8_t>(4 * x)};
  };
  auto colours = [](TIEBitmap& b) {
    std::set<int> seen;
    for (int y = 0; y < b.GetHeight(); ++y)
      for (int x = 0; x < b.GetWidth(); ++x)
        seen.insert(Px(b, x, y).r << 16 | Px(b, x, y).g << 8 | Px(b, x, y).b);
    return seen;
  };
  struct Case {
    int w, h, n;
    size_t most, least;
  } cases[] = {
      {30, 20, 1024, 600, 600},  // 600 colours fit: the image is kept exactly
      {30, 20, 600, 600, 600},
      {64, 32, 1024, 1024, 257},
      {64, 32, 257, 257, 200},
  };
  for (const auto& c : cases) {
    TIEBitmap img(c.w, c.h, ie24RGB);
    distinct(img);
    TIEBitmap before;
    before.Assign(&img);
    TRedozIrProc proc;
    proc.SetAttachedIEBitmap(&img);
    proc.ConvertTo(c.n);
    ASSERT_EQ(img.GetPixelFormat(), ie24RGB);
    const auto seen = colours(img);
    EXPECT_LE(seen.size(), c.most) << c.n;
    EXPECT_GE(seen.size(), c.least) << c.n;
    if (c.least == static_cast<size_t>(c.w * c.h)) {
      EXPECT_EQ(colours(before), seen) << c.n;
    }
  }
  // The palette gets every entry asked for, and the pixels take only those.
  TIEBitmap img(64, 32, ie24RGB);
  distinct(img);
  TRedozIrProc proc;
  proc.SetAttachedIEBitmap(&img);
  std::vector<TRGB> pal(301, TRGB{1, 2, 3});
  proc.ConvertToPalette(300, pal.data(), 0);
  EXPECT_EQ(pal[300], (TRGB{1, 2, 3}));
  std::set<int> entries;
  for (int i = 0; i < 300; ++i) entries.insert(pal[i].r << 16 | pal[i].g << 8 | pal[i].b);
  const auto seen = colours(img);
  EXPECT_GT(seen.size(), 256u);
  for (int v : seen) EXPECT_TRUE(entries.count(v)) << v;
}

TEST(ProcConvertToPalette, NeverWritesPastThePalette) {
  struct Case {
    int n;
    int written;
  } cases[] = {{1, 1}, {2, 2}, {-3, 0}, {5, 5}};
  for (const auto& c : cases) {
    TProcFixture f;
    std::vector<TRGB> pal(8, TRGB{7, 7, 7});
    f.proc.ConvertToPalette(c.n, pal.data(), 0);
    for (int i = c.written; i < 8; ++i)
      EXPECT_EQ(pal[static_cast<size_t>(i)], (TRGB{7, 7, 7})) << c.n << " " << i;
    if (c.n == 1 || c.n == 2) {
      EXPECT_EQ(pal[0], (TRGB{0, 0, 0}));
    }
    if (c.n == 2) {
      EXPECT_EQ(pal[1], (TRGB{255, 255, 255}));
    }
    EXPECT_EQ(f.proc.GetUndoCaption(0), "ConvertToPalette");
  }
  TProcFixture z;
  z.proc.ConvertToPalette(0, nullptr);
  EXPECT_EQ(z.proc.GetUndoCount(), 0);
  EXPECT_EQ(z.finished, 0);
  EXPECT_EQ(z.img.GetPixelFormat(), ie24RGB);
}

TEST(ProcConvertToGray, WholeImageOrOnlyUnderTheSelection) {
  TProcFixture f;
  f.proc.ConvertToGray();
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(Px(f.img, x, y).r, Px(f.img, x, y).b);
  EXPECT_EQ(f.proc.GetUndoCaption(0), "ConvertToGray");
  EXPECT_EQ(f.finished, 1);

  TSelView view;
  Paint(*view.bitmap);
  view.bitmap->GetAlphaChannel()->Fill(200);
  view.bitmap->GetAlphaChannel()->SetFull(false);
  view.mask.SetPixel(1, 1, 1);
  view.mask.SetPixel(3, 2, 1);
  TIEBitmap before;
  before.Assign(view.bitmap.get());
  TRedozIrProc proc;
  proc.SetAttachedRedozIr(&view);
  proc.ConvertToGray();
  TIEBitmap& img = *view.bitmap;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) {
      const bool selected = (x == 1 && y == 1) || (x == 3 && y == 2);
      const TRGB o = Px(before, x, y);
      const auto g = static_cast<std::uint8_t>((o.r * 21 + o.g * 71 + o.b * 8) / 100);
      EXPECT_EQ(Px(img, x, y), (selected ? TRGB{g, g, g} : o)) << x << " " << y;
      EXPECT_EQ(img.GetAlpha(x, y), 200);
    }
}
