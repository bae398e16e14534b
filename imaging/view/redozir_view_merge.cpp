// TRedozIrView's flattening: every layer drawn into one bitmap at 100 %
// (LayersDrawTo), the layers merged into layer 0 (LayersMergeAll), and the
// fixes that bake a layer's shown size, rotation or transparent border into
// its bitmap.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>

#include "imaging/core/iebitmap.h"
#include "imaging/core/ieproc.h"
#include "imaging/io/take_result.h"
#include "imaging/view/redozir_view.h"
#include "platform/numeric.h"

namespace redozir {

namespace {
int CheckedExtent(std::int64_t v) {
  if (v > INT32_MAX) throw EOutOfMemory("Layers extend too far to be drawn into one bitmap");
  return static_cast<int>(v);
}
}  // namespace

void TRedozIrView::LayersDrawTo(TIEBitmap* Dest) {
  if (!Dest) return;
  SyncLayers();
  TIELayer* l0 = fLayers[0];
  std::int64_t right = static_cast<std::int64_t>(l0->PosX) + l0->GetWidth();
  std::int64_t bottom = static_cast<std::int64_t>(l0->PosY) + l0->GetHeight();
  std::int64_t left = 0, top = 0;  // overhangs
  for (TIELayer* l : fLayers) {
    if (l->Cropped) continue;
    right = std::max(right, static_cast<std::int64_t>(l->PosX) + l->GetWidth());
    bottom = std::max(bottom, static_cast<std::int64_t>(l->PosY) + l->GetHeight());
    left = std::max(left, -static_cast<std::int64_t>(l->PosX));
    top = std::max(top, -static_cast<std::int64_t>(l->PosY));
  }
  int ox = CheckedExtent(left), oy = CheckedExtent(top);
  int w = CheckedExtent(right + left), h = CheckedExtent(bottom + top);
  // The renderer blends into 24-bit rows only.
  if (Dest->PixelFormat() != ie24RGB) Dest->ConvertToPixelFormat(ie24RGB);
  Dest->Resize(w, h, static_cast<double>(Background()), 255, 0, 0);
  if (w <= 0 || h <= 0) return;

  // The layout at 100 % on Dest: layer 0 at the overhangs, all of it
  // visible whatever the window's size (a windowless view included). The
  // view's coordinate tables are put aside and come back whole: the
  // restoring destructor must not allocate.
  struct TSaved {
    TRedozIrView* v;
    double zx, zy;
    int vx, vy, iw, ih;
    TCoordTables xt, yt;
    ~TSaved() {
      v->fDrawingTo = false;
      v->fZoomX = zx;
      v->fZoomY = zy;
      v->fViewX = vx;
      v->fViewY = vy;
      v->fImageWidth = iw;
      v->fImageHeight = ih;
      v->UpdateZoomFactors();
      v->UpdateImageRect();
      v->UpdateSourceRect();
      v->fXTables = std::move(xt);
      v->fYTables = std::move(yt);
    }
  } saved{this,
          fZoomX,
          fZoomY,
          fViewX,
          fViewY,
          fImageWidth,
          fImageHeight,
          std::move(fXTables),
          std::move(fYTables)};
  fXTables = fYTables = TCoordTables{};
  fDrawingTo = true;
  fZoomX = fZoomY = 100.0;
  UpdateZoomFactors();
  fViewX = fViewY = 0;
  fImageWidth = l0->Bitmap->Width();
  fImageHeight = l0->Bitmap->Height();
  fImageLeft = ox;
  fImageTop = oy;
  fZoomedWidth = fImageWidth;
  fZoomedHeight = fImageHeight;
  fVisibleWidth = std::min(fImageWidth, w);
  fVisibleHeight = std::min(fImageHeight, h);
  fFirstColumn = fFirstRow = 0;
  fSourceColumns = fDestWidth = fImageWidth;
  fSourceRows = fDestHeight = fImageHeight;
  PaintLayersToBackBuffer(Dest, nullptr, false, false);
}

void TRedozIrView::LayersMergeAll() {
  IEGuardMemory("merge the layers", fIEBitmap, [&] { MergeAll(); });
}

void TRedozIrView::MergeAll() {
  auto merged = std::make_unique<TIEBitmap>();
  if (!merged->Allocate(fIEBitmap->Width(), fIEBitmap->Height(), ie24RGB))
    throw EOutOfMemory("Cannot allocate the merged image");
  merged->Fill(static_cast<double>(Background()));
  LayersDrawTo(merged.get());
  // Everything that can fail comes first, aside: the selection mask fitted
  // to layer 0, then to the merged size (the selection stays where it is on
  // the image), then layer 0's pixels, taken whole or not at all.
  if (fLayersCurrent > -1 && fLayersCurrent < GetLayersCount()) fLayers[fLayersCurrent]->Bitmap = fIEBitmap;
  TIELayer* l0 = fLayers[0];
  TIEMask fitted;
  fitted.Assign(*fSelectionMask);
  FitMask(fitted, l0->Bitmap->Width(), l0->Bitmap->Height());
  FitMask(fitted, merged->Width(), merged->Height());
  IETakeAll(l0->Bitmap, *merged);

  while (GetLayersCount() > 1) {
    delete fLayers.back();
    fLayers.pop_back();
  }
  fLayersCurrent = 0;
  fIEBitmap = l0->Bitmap;
  l0->Reset();
  l0->VisibleBox = false;
  l0->Locked = true;
  fSelectionMask->Swap(fitted);
  CallBitmapChangeEvents();
  UpdateAfterChange();
  DoImageChange();
}

// ---- the layer fixes

namespace {
// A processing component of its own, without undo, for the fixes.
std::unique_ptr<TRedozIrProc> FixProc() {
  auto proc = std::make_unique<TRedozIrProc>(nullptr);
  proc->AutoUndo = false;
  return proc;
}
}  // namespace

void TRedozIrView::ForEachLayerToFix(int LayerIndex, const std::function<void(int, TIELayer*)>& Fix) {
  int current = fLayersCurrent;
  for (int i = 0; i < GetLayersCount(); ++i)
    if (LayerIndex < 0 || i == LayerIndex) Fix(i, fLayers[static_cast<size_t>(i)]);
  SetLayersCurrent(current);
  Update();
}

void TRedozIrView::LayersFixSizes(int LayerIndex) {
  auto proc = FixProc();
  ForEachLayerToFix(LayerIndex, [&](int i, TIELayer* L) {
    TIEBitmap* B = L->Bitmap;
    int w = L->GetWidth(), h = L->GetHeight();
    if ((L->Width == 0 && L->Height == 0) || (w == B->Width() && h == B->Height()) || w <= 0 || h <= 0)
      return;
    SetLayersCurrent(i);
    proc->SetAttachedIEBitmap(L->Bitmap);
    proc->Resample(w, h, L->UseResampleFilter ? L->ResampleFilter : fZoomFilter);
    L->Width = L->Height = 0;
  });
}

void TRedozIrView::LayersFixRotations(int LayerIndex) {
  ForEachLayerToFix(LayerIndex, [&](int i, TIELayer* L) {
    double angle = L->GetRotate();
    if (angle == 0) return;
    LayersFixSizes(i);
    SetLayersCurrent(i);
    const int W = L->Bitmap->Width(), H = L->Bitmap->Height();
    // Where the turned corners land, as the composition places them.
    const double a = angle * std::numbers::pi / 180.0, ca = std::cos(a), sa = std::sin(a);
    const int cx = TruncInt(W * L->RotateCenterX), cy = TruncInt(H * L->RotateCenterY);
    double minX = 0, minY = 0;
    const double corners[4][2] = {{0, 0}, {double(W), 0}, {double(W), double(H)}, {0, double(H)}};
    for (int k = 0; k < 4; ++k) {
      double dx = corners[k][0] - cx, dy = corners[k][1] - cy;
      double rx = cx + dx * ca + dy * sa, ry = cy - dx * sa + dy * ca;
      minX = k == 0 ? rx : std::min(minX, rx);
      minY = k == 0 ? ry : std::min(minY, ry);
    }
    auto proc = FixProc();
    proc->SetAttachedIEBitmap(L->Bitmap);
    L->Bitmap->GetAlphaChannel();  // the corners the turn uncovers become transparent
    proc->Rotate(angle, LayersRotateAntiAlias, LayersRotateAntialiasMode, Background());
    L->PosX = TruncClamp(L->PosX + minX, INT_MIN / 2, INT_MAX / 2);
    L->PosY = TruncClamp(L->PosY + minY, INT_MIN / 2, INT_MAX / 2);
    L->SetRotate(0);
    TRect bounds = IEGetAlphaBounds(L->Bitmap);
    if (bounds.Right >= bounds.Left && bounds.Bottom >= bounds.Top) {
      proc->CropTransparentBorder();
      L->PosX += bounds.Left;
      L->PosY += bounds.Top;
    }
  });
}

void TRedozIrView::LayersCropTransparentBorders(int LayerIndex) {
  auto proc = FixProc();
  ForEachLayerToFix(LayerIndex, [&](int i, TIELayer* L) {
    TIEBitmap* B = L->Bitmap;
    if (!B->HasAlphaChannel() || B->Width() <= 0 || B->Height() <= 0) return;
    TRect bounds = IEGetAlphaBounds(B);
    if (bounds.Right < bounds.Left || bounds.Bottom < bounds.Top) return;
    if (bounds.Left == 0 && bounds.Top == 0 && bounds.Right == B->Width() - 1 &&
        bounds.Bottom == B->Height() - 1)
      return;
    // The kept pixels stay where they were shown, at the layer's scale.
    double sx = static_cast<double>(L->GetWidth()) / B->Width();
    double sy = static_cast<double>(L->GetHeight()) / B->Height();
    bool sized = L->Width != 0 || L->Height != 0;
    SetLayersCurrent(i);
    proc->SetAttachedIEBitmap(B);
    proc->CropTransparentBorder();
    L->PosX = TruncClamp(L->PosX + bounds.Left * sx, INT_MIN / 2, INT_MAX / 2);
    L->PosY = TruncClamp(L->PosY + bounds.Top * sy, INT_MIN / 2, INT_MAX / 2);
    if (sized) {
      L->Width = std::max(1, RoundInt(B->Width() * sx));
      L->Height = std::max(1, RoundInt(B->Height() * sy));
    }
  });
}

}  // namespace redozir
