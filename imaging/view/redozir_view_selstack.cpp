// TRedozIrView's selection record (polygon, mask and the current layer's
// position), the selection stack built of such records, and the undo states
// of selections and layers. Selection record, little-endian:
//   i32 x 2   mask width, height
//   i32       polygon point count P, then P x (i32 X, i32 Y)
//   i32 x 4   polygon box left, top, right, bottom
//   u8        selected
//   i32 x 2   PosX, PosY of the then current layer
//   i32       mask bits per pixel (1 or 8)
//   i32 x 4   mask box x1, y1, x2, y2
//   u8        mask all-opaque flag
//   rows      height x row length bytes, the mask's rows as they lie in memory
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "imaging/core/iebitmap.h"
#include "imaging/io/take_result.h"
#include "imaging/view/ie_wand.h"
#include "imaging/view/redozir_view.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"

namespace redozir {

namespace {

constexpr std::int64_t kMaxSelectionPoints = std::int64_t(1) << 26;
// A carried mask of scattered pixels is outlined by its first regions only:
// each costs a pass over the image, and the mask itself stays whole.
constexpr int kMaxOutlineRegions = 64;

std::int64_t MaskRowBytes(std::int64_t Width, int Bits) { return ((Width * Bits + 31) / 32) * 4; }

// Clears what lies past the last pixel of every row.
void ClearRowPadding(TIEMask& m) {
  if (m.RowLen() == 0) return;  // a width of 0 has no rows
  std::int64_t used = (static_cast<std::int64_t>(m.Width()) * m.BitsPerPixel() + 7) / 8;
  int restBits = m.BitsPerPixel() == 1 ? m.Width() % 8 : 0;
  for (int y = 0; y < m.Height(); ++y) {
    std::uint8_t* row = m.GetScanline(y);
    std::memset(row + used, 0, static_cast<size_t>(m.RowLen() - used));
    if (restBits) row[used - 1] &= static_cast<std::uint8_t>(0xFF00 >> restBits);
  }
}

// The mask of Width x Height that holds Source's pixels moved by (DX, DY),
// what lands outside cut.
void PlaceMask(TIEMask& Dest, const TIEMask& Source, std::int64_t DX, std::int64_t DY, int Width,
               int Height) {
  Dest.AllocateBits(Width, Height, Source.BitsPerPixel());
  if (Source.IsEmpty()) return;
  std::int64_t y1 = std::max<std::int64_t>(Source.Y1, -DY),
               y2 = std::min<std::int64_t>(Source.Y2, Height - 1 - DY);
  std::int64_t x1 = std::max<std::int64_t>(Source.X1, -DX),
               x2 = std::min<std::int64_t>(Source.X2, Width - 1 - DX);
  for (std::int64_t y = y1; y <= y2; ++y)
    for (std::int64_t x = x1; x <= x2; ++x)
      if (int v = Source.GetPixel(static_cast<int>(x), static_cast<int>(y)))
        Dest.SetPixel(static_cast<int>(x + DX), static_cast<int>(y + DY), v);
  Dest.SyncFull();
}

TPoint ShiftClamped(const TPoint& P, std::int64_t DX, std::int64_t DY, int Width, int Height) {
  if (IEIsSelBreak(P)) return P;
  return TPoint{static_cast<int>(std::clamp<std::int64_t>(P.X + DX, 0, Width)),
                static_cast<int>(std::clamp<std::int64_t>(P.Y + DY, 0, Height))};
}

// The outline of the placed mask: a rectangle in the order Select stores it
// when the mask fills its box, the traced regions otherwise.
std::vector<TPoint> MaskOutline(const TIEMask& M) {
  if (M.IsEmpty()) return {};
  bool full = true;
  for (int y = M.Y1; y <= M.Y2 && full; ++y)
    for (int x = M.X1; x <= M.X2 && full; ++x) full = M.GetPixel(x, y) != 0;
  if (full)
    return {TPoint{M.X1, M.Y1}, TPoint{M.X2 + 1, M.Y1}, TPoint{M.X2 + 1, M.Y2 + 1}, TPoint{M.X1, M.Y2 + 1}};
  return IEMaskPolygon(M, kMaxOutlineRegions);
}

}  // namespace

void TRedozIrView::SaveSelectionToStream(TStream& Stream) {
  const TIEMask& m = *fSelectionMask;
  const TIESelectionPolygon& poly = fSel->Poly;
  TByteWriter w(Stream);
  w.I32(m.Width());
  w.I32(m.Height());
  w.I32(poly.Count());
  for (const TPoint& p : poly.Points) {
    w.I32(p.X);
    w.I32(p.Y);
  }
  w.I32(poly.Box.Left);
  w.I32(poly.Box.Top);
  w.I32(poly.Box.Right);
  w.I32(poly.Box.Bottom);
  w.Bool(Selected());
  TIELayer* l = fLayersCurrent > -1 && fLayersCurrent < GetLayersCount() ? fLayers[fLayersCurrent] : nullptr;
  w.I32(l ? l->PosX : 0);
  w.I32(l ? l->PosY : 0);
  w.I32(m.BitsPerPixel());
  w.I32(m.X1);
  w.I32(m.Y1);
  w.I32(m.X2);
  w.I32(m.Y2);
  w.Bool(m.Full());
  std::int64_t bytes = static_cast<std::int64_t>(m.RowLen()) * m.Height();
  w.Bytes(fSelectionMask->Bits(), bytes);
}

bool TRedozIrView::LoadSelectionFromStream(TStream& Stream, int Mode) {
  TIELayer* l = fLayersCurrent > -1 && fLayersCurrent < GetLayersCount() ? fLayers[fLayersCurrent] : nullptr;
  TStagedSelection staged;
  IEGuardMemory("read the selection", fIEBitmap,
                [&] { StageSelection(Stream, Mode, l, fIEBitmap->Width(), fIEBitmap->Height(), staged); });
  CommitSelection(staged);
  return true;
}

void TRedozIrView::StageSelection(TStream& Stream, int Mode, const TIELayer* Layer, int Width, int Height,
                                  TStagedSelection& staged) {
  std::int64_t start = Stream.Position();
  TIEMask& mask = staged.Mask;
  std::vector<TPoint>& points = staged.Points;
  std::int32_t sx = 0, sy = 0;
  try {
    TByteReader r(Stream, -1, "Selection record");
    std::int32_t w = r.I32(), h = r.I32();
    if (w < 0 || h < 0) r.Fail("bad mask size " + std::to_string(w) + " x " + std::to_string(h));
    std::int64_t n = r.Count(r.I32(), kMaxSelectionPoints, 8, "point count");
    points.resize(static_cast<size_t>(n));
    for (TPoint& p : points) {
      p.X = r.I32();
      p.Y = r.I32();
    }
    r.Skip(16);  // the polygon box: made again from the points
    r.U8();      // selected: the mask and the points say it
    sx = r.I32();
    sy = r.I32();
    std::int32_t bits = r.I32();
    if (bits != 1 && bits != 8) r.Fail("bad mask depth " + std::to_string(bits));
    r.Skip(16 + 1);  // the mask box and its all-opaque flag: made again from the rows
    // No pixels either way: an empty mask, not millions of empty rows.
    if (w == 0 || h == 0) w = h = 0;
    std::int64_t rowLen = MaskRowBytes(w, bits);
    if (rowLen > INT32_MAX) r.Fail("mask too wide (" + std::to_string(w) + ")");
    std::int64_t total = rowLen * h;
    r.Need(total);
    mask.AllocateBits(w, h, bits);
    if (total > 0) r.Bytes(mask.Bits(), total);
    // The mask and the points are made to fit the image here, aside.
    ClearRowPadding(mask);
    mask.SyncRect();
    mask.SyncFull();
    for (TPoint& p : points) p = ShiftClamped(p, 0, 0, mask.Width(), mask.Height());
    const int w0 = Width, h0 = Height;
    if (Mode == 2) {
      std::int64_t dx = static_cast<std::int64_t>(sx) - (Layer ? Layer->PosX : 0);
      std::int64_t dy = static_cast<std::int64_t>(sy) - (Layer ? Layer->PosY : 0);
      TIEMask placed;
      PlaceMask(placed, mask, dx, dy, w0, h0);
      mask.Swap(placed);
      // The stored outline, moved and clamped, no longer matches what the
      // new layer's edges cut from the mask: the outline is the mask's own.
      points = MaskOutline(mask);
    } else if ((mask.Width() != w0 || mask.Height() != h0) && !mask.IsEmpty()) {
      int dx = 0, dy = 0;
      if (Mode == 1) {
        // A selection hanging over the right or bottom edge of a smaller
        // image moves back inside rather than being cut.
        if (w0 <= mask.X2) dx = (w0 - (mask.X2 - mask.X1 + 1)) - mask.X1;
        if (h0 <= mask.Y2) dy = (h0 - (mask.Y2 - mask.Y1 + 1)) - mask.Y1;
        mask.Translate(dx, dy, false);
      }
      for (TPoint& p : points) p = ShiftClamped(p, dx, dy, w0, h0);
      mask.Resize(w0, h0);
      mask.SyncRect();
      mask.SyncFull();
    } else if (mask.Width() != w0 || mask.Height() != h0) {
      mask.AllocateBits(w0, h0, mask.BitsPerPixel());
    }
    // Room for every point, so that appending them cannot fail.
    if (fSel->Poly.Points.capacity() < points.size()) fSel->Poly.Points.reserve(points.size());
  } catch (...) {
    Stream.SetPosition(start);
    throw;
  }
}

void TRedozIrView::CommitSelection(TStagedSelection& Staged) {
  TIEMask& m = *fSelectionMask;
  m.Swap(Staged.Mask);
  TIESelectionState& st = *fSel;
  st.Poly.Points.clear();
  for (const TPoint& p : Staged.Points) {
    if (IEIsSelBreak(p))
      AppendSelectionBreak();
    else
      AppendSelectionPoint(p.X, p.Y);
  }
  st.Poly.AntsPhase = st.Poly.DrawPhase = 0;
  st.PolySelecting = st.Lasso = st.RectSelecting = st.CircleSelecting = false;
  st.GripDrag = 0;
  st.SelectionMove = -1;
  st.MovingRect = false;
  if (m.IsEmpty()) {
    Deselect();
  } else {
    st.Selected = true;
    st.Poly.Visible = true;
    DrawSelectionNow();
    UpdateAfterChange();
  }
}

void TRedozIrView::PushSelection() {
  auto record = std::make_unique<TMemoryStream>();
  SaveSelectionToStream(*record);
  fSelectionStack.push_back(std::move(record));
}

bool TRedozIrView::PopSelection(bool Remove, int Mode) {
  if (fSelectionStack.empty()) return false;
  TMemoryStream& record = *fSelectionStack.back();
  record.SetPosition(0);
  bool result = LoadSelectionFromStream(record, Mode);
  if (Remove) fSelectionStack.pop_back();
  return result;
}

// ---- undo states

bool TRedozIrView::SaveUndoState(TIEUndoSource Source, TStream& Stream) {
  switch (Source) {
    case ieuSelection: SaveSelectionToStream(Stream); return true;
    case ieuLayer:
    case ieuFullLayer: {
      TIELayer* l = GetCurrentLayer();
      SyncLayers();
      TByteWriter(Stream).I32(fLayersCurrent);
      l->SaveToStream(Stream, Source == ieuFullLayer);
      return true;
    }
    case ieuObjectsAndLayers: LayersSaveToStream(Stream, -2); return true;
    default: return false;
  }
}

void TRedozIrView::LoadUndoState(TIEUndoSource Source, TStream& Stream) {
  switch (Source) {
    case ieuSelection: LoadSelectionFromStream(Stream, 1); return;
    case ieuLayer:
    case ieuFullLayer: {
      TByteReader r(Stream, 4, "Layer undo");
      std::int32_t index = r.I32();
      if (index < 0 || index >= GetLayersCount()) return;
      fLayers[index]->LoadFromStream(Stream);
      Update();
      return;
    }
    case ieuObjectsAndLayers: LayersLoadFromStream(Stream); return;
    default: return;
  }
}

}  // namespace redozir
