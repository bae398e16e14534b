// TRedozIrView's layer list: the current layer, adding, removing, clearing
// and keeping the layers in step with the current bitmap.
#include <algorithm>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"

namespace redozir {

TIELayer* TRedozIrView::GetLayer(int Index) const {
  if (Index < 0 || Index >= GetLayersCount())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return fLayers[static_cast<size_t>(Index)];
}

void TRedozIrView::SetLayersCurrent(int Index) {
  if (Index < 0 || Index >= GetLayersCount() || Index == fLayersCurrent) return;
  // The selection travels to the new layer only when it was saved from a
  // layer still there: after a removal (current -1) nothing was pushed, and
  // popping then would take an entry that belongs to someone else.
  bool pushed = false;
  if (fLayersCurrent > -1) {
    // A load or an attach may have replaced the current bitmap object.
    fLayers[fLayersCurrent]->Bitmap = fIEBitmap;
    if (Selected()) {
      PushSelection();
      pushed = true;
    }
  }
  fLayersCurrent = Index;
  while (!fLayers[fLayersCurrent]->Selectable && fLayersCurrent != 0 && LayersSelectableOnly)
    --fLayersCurrent;
  fIEBitmap = fLayers[fLayersCurrent]->Bitmap;
  if (pushed) PopSelection(true, 2);
  CallBitmapChangeEvents();
  Update();
}

int TRedozIrView::LayersAdd() {
  auto layer = std::make_unique<TIELayer>(this, false, fIEBitmap);
  fLayers.push_back(layer.get());
  layer.release();
  int index = GetLayersCount() - 1;
  SetLayersCurrent(index);
  Update();
  DoImageChange();
  return index;
}

void TRedozIrView::LayersRemove(int Index) {
  if (GetLayersCount() < 2 || Index < 0 || Index >= GetLayersCount()) return;
  int current = fLayersCurrent;
  if (current > -1) fLayers[current]->Bitmap = fIEBitmap;
  bool currentGone = Index == current;
  int removed = 0;
  if (Index + 1 < GetLayersCount() && fLayers[Index + 1]->IsMask) {
    currentGone = currentGone || Index + 1 == current;
    delete fLayers[Index + 1];
    fLayers.erase(fLayers.begin() + Index + 1);
    ++removed;
  }
  delete fLayers[Index];
  fLayers.erase(fLayers.begin() + Index);
  ++removed;
  // The current bitmap may have gone with the removed layers; the index of a
  // current layer above them moves down by as many as were removed.
  if (currentGone) {
    fLayersCurrent = -1;
    fIEBitmap = nullptr;
    SetLayersCurrent(std::min(Index, GetLayersCount() - 1));
  } else if (Index < current) {
    fLayersCurrent = -1;
    SetLayersCurrent(current - removed);
  }
}

void TRedozIrView::LayersClear() {
  if (fLayersCurrent > -1) fLayers[fLayersCurrent]->Bitmap = fIEBitmap;
  while (GetLayersCount() > 1) {
    delete fLayers.back();
    fLayers.pop_back();
  }
  fLayersCurrent = -1;
  SetLayersCurrent(0);
  TIELayer* l0 = fLayers[0];
  l0->Reset();
  l0->VisibleBox = false;
  l0->Locked = true;
  Update();
  DoImageChange();
}

void TRedozIrView::SyncLayers() {
  if (!fIEBitmap) return;
  // A size change made on the platform bitmap reaches the image this way.
  if (fLegacyBitmap && fIEBitmap->Location() == ieTBitmap)
    fIEBitmap->AttachTBitmap(fIEBitmap->GetVclBitmap(), false);
  if (fLayersCurrent > -1 && fLayersCurrent < GetLayersCount()) fLayers[fLayersCurrent]->Bitmap = fIEBitmap;
  fImageWidth = fLayers[0]->Bitmap->Width();
  fImageHeight = fLayers[0]->Bitmap->Height();
  if (!LayersSync || GetLayersCount() < 2) return;
  for (TIELayer* l : fLayers) {
    fImageWidth = std::max(fImageWidth, l->Bitmap->Width());
    fImageHeight = std::max(fImageHeight, l->Bitmap->Height());
  }
  // Enlarged layers get a transparent new area.
  for (TIELayer* l : fLayers) {
    TIEBitmap* b = l->Bitmap;
    if (b->Width() != fImageWidth || b->Height() != fImageHeight) {
      b->GetAlphaChannel();
      b->Resize(fImageWidth, fImageHeight, static_cast<double>(Background()), 0, 0, 0);
    } else if (b->HasAlphaChannel()) {
      TIEBitmap* a = b->GetAlphaChannel();
      if (a->Width() != fImageWidth || a->Height() != fImageHeight)
        a->Resize(fImageWidth, fImageHeight, 0, 0, 0, 0);
    }
  }
}

}  // namespace redozir
