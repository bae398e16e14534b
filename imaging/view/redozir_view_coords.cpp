// TRedozIrView's conversions between client coordinates, pixels of the
// image and pixels of a layer, the image and source rectangles with the
// lookup tables behind the conversions, and the hit tests of layers.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"
#include "platform/numeric.h"

namespace redozir {

namespace {
// Bitmap offset under client offset i at a zoom in percent. Floor rather
// than trunc, so that the column left of the image is as wide as any other;
// divided rather than multiplied by 100/zoom, so that a whole quotient comes
// out whole.
int ScrToBmpOffset(int i, double zoom) { return TruncInt(std::floor(i * 100.0 / zoom)); }

// The first client offset whose bitmap offset is d or more: the exact
// inverse of ScrToBmpOffset (at zoom 100 or more it maps back to d; at less
// a client offset maps back to itself).
int BmpToScrOffset(int d, double zoom) {
  int i = TruncInt(std::ceil(d * zoom / 100.0));
  while (ScrToBmpOffset(i - 1, zoom) >= d) --i;
  while (ScrToBmpOffset(i, zoom) < d) ++i;
  return i;
}

// A client or bitmap coordinate less an offset, refused when the difference
// leaves the integers.
int Offset(int v, int origin) { return TruncInt(static_cast<double>(v) - origin); }

bool Lookup(const std::vector<int>& table, int i, int& out) {
  if (i < 0 || static_cast<size_t>(i) >= table.size()) return false;
  out = table[static_cast<size_t>(i)];
  return true;
}
}  // namespace

int TRedozIrView::XScr2Bmp(int x) {
  int i = Offset(x, fImageLeft), b;
  if (!Lookup(fXTables.Scr2Bmp, i, b)) b = ScrToBmpOffset(i, fZoomX);
  return TruncInt(static_cast<double>(b) + fFirstColumn);
}

int TRedozIrView::YScr2Bmp(int y) {
  int i = Offset(y, fImageTop), b;
  if (!Lookup(fYTables.Scr2Bmp, i, b)) b = ScrToBmpOffset(i, fZoomY);
  return TruncInt(static_cast<double>(b) + fFirstRow);
}

int TRedozIrView::XBmp2Scr(int x) {
  int d = Offset(x, fFirstColumn), c;
  if (!Lookup(fXTables.Bmp2Scr, d, c)) c = BmpToScrOffset(d, fZoomX);
  return TruncInt(static_cast<double>(c) + fImageLeft);
}

int TRedozIrView::YBmp2Scr(int y) {
  int d = Offset(y, fFirstRow), c;
  if (!Lookup(fYTables.Bmp2Scr, d, c)) c = BmpToScrOffset(d, fZoomY);
  return TruncInt(static_cast<double>(c) + fImageTop);
}

int TRedozIrView::FirstOriginOf(int Axis, int Index) const {
  return Axis == 0 ? BmpToScrOffset(Index, fZoomX) : BmpToScrOffset(Index, fZoomY);
}

void TRedozIrView::UpdateImageRect() {
  bool designing = (ComponentState() & csDesigning) != 0;
  int cw = designing ? Width() : GetClientWidthEx();
  int ch = designing ? Height() : GetClientHeightEx();
  fZoomedWidth = RoundInt(fImageWidth * fZoomD100X);
  fZoomedHeight = RoundInt(fImageHeight * fZoomD100Y);
  fImageLeft = fCenter && fZoomedWidth < cw ? (cw - fZoomedWidth) / 2 : 0;
  fImageTop = fCenter && fZoomedHeight < ch ? (ch - fZoomedHeight) / 2 : 0;
  fVisibleWidth = std::min(fZoomedWidth, cw);
  fVisibleHeight = std::min(fZoomedHeight, ch);
}

namespace {
// One axis of the source rectangle: the first visible bitmap index, how many
// are visible and the client size they are drawn to.
void SourceAxis(int origin, int visible, int image, double zoom, double z, int& first, int& count,
                int& dest) {
  first = ScrToBmpOffset(origin, zoom);
  count = ScrToBmpOffset(visible, zoom);
  if (first + static_cast<std::int64_t>(count) > image) count = std::max(image - first, 0);
  if (zoom > 100) {
    dest = TruncInt(count * z);
    // A partly shown last pixel still gets drawn.
    if (dest < visible && first + static_cast<std::int64_t>(count) + 1 <= image) {
      ++count;
      dest = TruncInt(count * z);
    }
  } else {
    dest = visible;
  }
}

void BuildTables(std::vector<int>& scr2bmp, std::vector<int>& bmp2scr, int visible, int columns,
                 double zoom) {
  scr2bmp.resize(static_cast<size_t>(visible) + 1);
  for (int i = 0; i <= visible; ++i) scr2bmp[static_cast<size_t>(i)] = ScrToBmpOffset(i, zoom);
  bmp2scr.resize(static_cast<size_t>(columns) + 1);
  for (int d = 0; d <= columns; ++d) bmp2scr[static_cast<size_t>(d)] = BmpToScrOffset(d, zoom);
}
}  // namespace

void TRedozIrView::UpdateSourceRect() {
  SourceAxis(fViewX, fVisibleWidth, fImageWidth, fZoomX, fZoomD100X, fFirstColumn, fSourceColumns,
             fDestWidth);
  SourceAxis(fViewY, fVisibleHeight, fImageHeight, fZoomY, fZoomD100Y, fFirstRow, fSourceRows, fDestHeight);
}

void TRedozIrView::UpdateCoordTables() {
  auto rebuild = [](TCoordTables& t, double zoom, int visible, int image) {
    if (t.Zoom == zoom && t.Visible == visible && t.Image == image) return;
    // The visible bitmap span plus one, whatever the origin.
    int columns = std::min(ScrToBmpOffset(visible, zoom) + 1, std::max(image, 0));
    std::vector<int> s, b;
    BuildTables(s, b, visible, columns, zoom);
    t.Scr2Bmp = std::move(s);
    t.Bmp2Scr = std::move(b);
    t.Zoom = zoom;
    t.Visible = visible;
    t.Image = image;
  };
  rebuild(fXTables, fZoomX, fVisibleWidth, fImageWidth);
  rebuild(fYTables, fZoomY, fVisibleHeight, fImageHeight);
}

namespace {
// Trunc(v / Size x Extent), taken as v x Extent / Size in integers: in
// doubles 55 / 150 x 150 comes out at 54.99..., a pixel short. A range of no
// size maps everything to 0 rather than dividing by zero.
int Scale(int v, int Size, int Extent) {
  if (Size == 0) return 0;
  std::int64_t q = static_cast<std::int64_t>(v) * Extent / Size;
  return static_cast<int>(std::clamp<std::int64_t>(q, INT32_MIN, INT32_MAX));
}
}  // namespace

int TRedozIrView::LayerXScr2Bmp(TIELayer* Layer, int X) {
  int x = XScr2Bmp(TruncInt(static_cast<double>(X) - TruncInt(Layer->PosX * fZoomX / 100.0)));
  return Scale(x, Layer->GetWidth(), Layer->Bitmap->Width());
}

int TRedozIrView::LayerYScr2Bmp(TIELayer* Layer, int Y) {
  int y = YScr2Bmp(TruncInt(static_cast<double>(Y) - TruncInt(Layer->PosY * fZoomY / 100.0)));
  return Scale(y, Layer->GetHeight(), Layer->Bitmap->Height());
}

int TRedozIrView::LayerXBmp2Scr(TIELayer* Layer, int X) {
  int x = XBmp2Scr(Scale(X, Layer->Bitmap->Width(), Layer->GetWidth()));
  return TruncInt(static_cast<double>(x) + TruncInt(Layer->PosX * fZoomX / 100.0));
}

int TRedozIrView::LayerYBmp2Scr(TIELayer* Layer, int Y) {
  int y = YBmp2Scr(Scale(Y, Layer->Bitmap->Height(), Layer->GetHeight()));
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

}  // namespace redozir
