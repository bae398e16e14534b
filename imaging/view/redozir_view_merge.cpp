// TRedozIrView's flattening: every layer drawn into one bitmap at 100 %
// (LayersDrawTo) and the layers merged into layer 0 (LayersMergeAll).
#include <algorithm>
#include <cstdint>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"

namespace redozir {

namespace {
int CheckedExtent(std::int64_t v) {
  if (v > INT32_MAX) throw EOutOfMemory("Layers extend too far to be drawn into one bitmap");
  return static_cast<int>(v);
}
}  // namespace

// Draws the plain layers: placed by PosX/PosY, stretched to their shown size,
// blended by the renderer. Rotation, mask layers and magnifiers belong to the
// full composition, which overrides this.
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
  // The renderer blends into 24-bit rows only; anything else would come back
  // silently unchanged.
  if (Dest->PixelFormat() != ie24RGB) Dest->ConvertToPixelFormat(ie24RGB);
  Dest->Resize(w, h, static_cast<double>(Background()), 255, 0, 0);
  // Layer 0's area, where a cropped layer is cut.
  TRect l0Area{ox, oy, CheckedExtent(std::int64_t(ox) + l0->Bitmap->Width()),
               CheckedExtent(std::int64_t(oy) + l0->Bitmap->Height())};
  for (TIELayer* l : fLayers) {
    TIEBitmap* b = l->Bitmap;
    if (!l->Visible || l->GetRotate() != 0 || b->Width() < 1 || b->Height() < 1) continue;
    // A layer at its own size needs no resampling.
    TResampleFilter filter = rfNone;
    if (l->Width != 0 || l->Height != 0) filter = l->UseResampleFilter ? l->ResampleFilter : ZoomFilter();
    int x = CheckedExtent(std::int64_t(l->PosX) + ox), y = CheckedExtent(std::int64_t(l->PosY) + oy);
    b->RenderToTIEBitmapEx(Dest, nullptr, l->Cropped ? &l0Area : nullptr, x, y, l->GetWidth(), l->GetHeight(),
                           0, 0, b->Width(), b->Height(), EnableAlphaChannel(), false, l->Transparency,
                           filter, l->Operation);
  }
}

void TRedozIrView::LayersMergeAll() {
  auto merged = std::make_unique<TIEBitmap>();
  if (!merged->Allocate(fIEBitmap->Width(), fIEBitmap->Height(), ie24RGB))
    throw EOutOfMemory("Cannot allocate the merged image");
  merged->Fill(static_cast<double>(Background()));
  LayersDrawTo(merged.get());
  LayersClear();
  fIEBitmap->Assign(merged.get());
  Update();
}

}  // namespace redozir
