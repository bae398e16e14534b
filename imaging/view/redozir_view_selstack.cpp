// TRedozIrView's selection stack: the selection saved before the current
// layer changes and put back, in the new layer's pixels, afterwards.
#include <algorithm>
#include <cstdint>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"

namespace redozir {

void TRedozIrView::PushSelection() {
  auto saved = std::make_unique<TIESavedSelection>();
  saved->Mask.Assign(*fSelectionMask);
  if (fLayersCurrent > -1 && fLayersCurrent < GetLayersCount()) {
    saved->PosX = fLayers[fLayersCurrent]->PosX;
    saved->PosY = fLayers[fLayersCurrent]->PosY;
  }
  fSelectionStack.push_back(std::move(saved));
}

namespace {
// Moves the selected pixels by (DX, DY) into a mask of Width x Height, what
// falls outside is cut. The intermediate mask is only as large as needed to
// keep every pixel that can land inside.
void CarryMask(TIEMask& m, std::int64_t DX, std::int64_t DY, int Width, int Height) {
  bool lands = !m.IsEmpty() && m.X1 + DX < Width && m.X2 + DX >= 0 && m.Y1 + DY < Height && m.Y2 + DY >= 0;
  if (!lands) {
    m.AllocateBits(Width, Height, m.BitsPerPixel());
    return;
  }
  std::int64_t ew = std::max(m.Width(), Width) + std::max<std::int64_t>(0, DX);
  std::int64_t eh = std::max(m.Height(), Height) + std::max<std::int64_t>(0, DY);
  if (ew > INT32_MAX || eh > INT32_MAX) throw EOutOfMemory("Selection too large to carry to the layer");
  m.Resize(static_cast<int>(ew), static_cast<int>(eh));
  int dx = static_cast<int>(DX), dy = static_cast<int>(DY);
  m.Translate(dx, dy, true);
  m.Resize(Width, Height);
  m.SyncRect();
  m.SyncFull();
}
}  // namespace

bool TRedozIrView::PopSelection(bool Remove, int Mode) {
  if (fSelectionStack.empty()) return false;
  TIESavedSelection& saved = *fSelectionStack.back();
  TIEMask& m = *fSelectionMask;
  m.Assign(saved.Mask);
  int w = fIEBitmap->Width(), h = fIEBitmap->Height();
  if (Mode == 2) {
    int px = 0, py = 0;
    if (fLayersCurrent > -1 && fLayersCurrent < GetLayersCount()) {
      px = fLayers[fLayersCurrent]->PosX;
      py = fLayers[fLayersCurrent]->PosY;
    }
    CarryMask(m, static_cast<std::int64_t>(saved.PosX) - px, static_cast<std::int64_t>(saved.PosY) - py, w,
              h);
  } else if (m.Width() != w || m.Height() != h) {
    if (m.IsEmpty()) {
      m.AllocateBits(w, h, m.BitsPerPixel());
    } else {
      if (Mode == 1) {
        // A selection hanging over the right or bottom edge of a smaller
        // image moves back inside rather than being cut.
        int dx = 0, dy = 0;
        if (w <= m.X2) dx = (w - (m.X2 - m.X1 + 1)) - m.X1;
        if (h <= m.Y2) dy = (h - (m.Y2 - m.Y1 + 1)) - m.Y1;
        m.Translate(dx, dy, false);
      }
      m.Resize(w, h);
      m.SyncRect();
      m.SyncFull();
    }
  }
  if (Remove) fSelectionStack.pop_back();
  Update();
  return true;
}

}  // namespace redozir
