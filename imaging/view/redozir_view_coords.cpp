// TRedozIrView's conversions between client coordinates, pixels of the
// image and pixels of a layer, and the hit tests of layers.
#include <algorithm>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"
#include "platform/numeric.h"

int TRedozIrView::XScr2Bmp(int x) {
  double i = static_cast<double>(x) - fImageLeft;
  return TruncInt(i * 100.0 / fZoomX + fFirstColumn);
}

int TRedozIrView::YScr2Bmp(int y) {
  double i = static_cast<double>(y) - fImageTop;
  return TruncInt(i * 100.0 / fZoomY + fFirstRow);
}

int TRedozIrView::XBmp2Scr(int x) {
  double c = fFirstColumn;
  return RoundInt((x + std::nearbyint(-c * 100.0 / fZoomX)) * fZoomX / 100.0 + fImageLeft);
}

int TRedozIrView::YBmp2Scr(int y) {
  double c = fFirstRow;
  return RoundInt((y + std::nearbyint(-c * 100.0 / fZoomY)) * fZoomY / 100.0 + fImageTop);
}

namespace {
// Scales v from a range of Size to one of Extent; a range of no size maps
// everything to 0 rather than dividing by zero.
double Scale(double v, int Size, int Extent) { return Size == 0 ? 0.0 : v / Size * Extent; }
}  // namespace

int TRedozIrView::LayerXScr2Bmp(TIELayer* Layer, int X) {
  double x = XScr2Bmp(TruncInt(static_cast<double>(X) - TruncInt(Layer->PosX * fZoomX / 100.0)));
  return TruncInt(Scale(x, Layer->GetWidth(), Layer->Bitmap->Width()));
}

int TRedozIrView::LayerYScr2Bmp(TIELayer* Layer, int Y) {
  double y = YScr2Bmp(TruncInt(static_cast<double>(Y) - TruncInt(Layer->PosY * fZoomY / 100.0)));
  return TruncInt(Scale(y, Layer->GetHeight(), Layer->Bitmap->Height()));
}

int TRedozIrView::LayerXBmp2Scr(TIELayer* Layer, int X) {
  int x = XBmp2Scr(TruncInt(Scale(X, Layer->Bitmap->Width(), Layer->GetWidth())));
  return TruncInt(static_cast<double>(x) + TruncInt(Layer->PosX * fZoomX / 100.0));
}

int TRedozIrView::LayerYBmp2Scr(TIELayer* Layer, int Y) {
  int y = YBmp2Scr(TruncInt(Scale(Y, Layer->Bitmap->Height(), Layer->GetHeight())));
  return TruncInt(static_cast<double>(y) + TruncInt(Layer->PosY * fZoomY / 100.0));
}

namespace {
bool InBox(const TRect& r, int X, int Y) {
  return X >= r.Left && X <= r.Right && Y >= r.Top && Y <= r.Bottom;
}
}  // namespace

int TRedozIrView::FindLayerAt(int X, int Y, bool SelectableOnly) {
  for (int i = GetLayersCount() - 1; i >= 0; --i) {
    TIELayer* l = fLayers[i];
    if (!(l->Selectable || !LayersSelectableOnly || !SelectableOnly)) continue;
    if (!l->Visible || !InBox(l->ClientAreaBox, X, Y)) continue;
    TIEBitmap* b = l->Bitmap;
    if (b->HasAlphaChannel() && !(SelectionOptions & (1u << iesoSelectTranspLayers))) {
      if (b->Width() < 1 || b->Height() < 1) continue;
      int bx = std::clamp(LayerXScr2Bmp(l, X), 0, b->Width() - 1);
      int by = std::clamp(LayerYScr2Bmp(l, Y), 0, b->Height() - 1);
      if (b->GetAlpha(bx, by) == 0) continue;
    }
    return i;
  }
  return -1;
}

bool TRedozIrView::IsPointInLayer(int X, int Y, int Index) {
  if (Index < 0 || Index >= GetLayersCount()) return false;
  TIELayer* l = fLayers[Index];
  if (!l->Visible) return false;
  if (l->GetRotate() == 0) return InBox(l->ClientAreaBox, X, Y);
  // Even-odd rule against the rotated corners.
  const TPoint* p = l->DrawingInfo.RotatedDest;
  bool inside = false;
  for (int i = 0, j = 3; i < 4; j = i++) {
    if ((p[i].Y > Y) != (p[j].Y > Y)) {
      double cx = p[i].X + static_cast<double>(Y - p[i].Y) * (p[j].X - p[i].X) / (p[j].Y - p[i].Y);
      if (X < cx) inside = !inside;
    }
  }
  return inside;
}
