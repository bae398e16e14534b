// TRedozIrView's mouse interaction set: which interactions may be on at once.
#include "imaging/view/redozir_view.h"

namespace redozir {

namespace {
struct TInteractRule {
  TIEMouseInteractItems added;
  TIEMouseInteract keeps;
};

// Tested in this order against the members a new value adds; the first one
// found decides what may stay with it.
constexpr TInteractRule kAddedRules[] = {
    {miScroll, IEMouseInteract({miZoom, miScroll, miMovingScroll})},
    {miSelect, IEMouseInteract({miZoom, miSelect, miMovingScroll})},
    {miSelectPolygon, IEMouseInteract({miSelectPolygon, miMovingScroll})},
    {miSelectCircle, IEMouseInteract({miZoom, miSelectCircle, miMovingScroll})},
    {miSelectLasso, IEMouseInteract({miZoom, miSelectLasso, miMovingScroll})},
    {miSelectZoom, IEMouseInteract({miZoom, miSelectZoom, miMovingScroll})},
    {miZoom, IEMouseInteract(
                 {miZoom, miScroll, miSelect, miSelectCircle, miSelectZoom, miSelectLasso, miMovingScroll})},
    {miSelectMagicWand, IEMouseInteract({miSelectMagicWand, miMovingScroll})},
};
}  // namespace

void TRedozIrView::SetMouseInteract(TIEMouseInteract Value) {
  if (Value == fMouseInteract) return;
  // A polygon being drawn ends (its rubber band is drawn, never stored).
  if (fSel->PolySelecting && IEInMouseInteract(fMouseInteract, miSelectPolygon)) {
    EraseRubberBand();
    fSelectionMask->Empty();
    EndSelect();
    fSel->PolySelecting = false;
    Invalidate();
  }
  TIEMouseInteract added = Value & static_cast<TIEMouseInteract>(~fMouseInteract);
  TIEMouseInteract keep = static_cast<TIEMouseInteract>(~0u);
  bool decided = false;
  for (const auto& r : kAddedRules) {
    if (IEInMouseInteract(added, r.added)) {
      keep = r.keeps;
      decided = true;
      break;
    }
  }
  if (!decided) {
    if (IEInMouseInteract(Value, miRotateLayers)) {
      keep = IEMouseInteract({miMoveLayers, miRotateLayers, miMovingScroll});
    } else if (IEInMouseInteract(Value, miMoveLayers)) {
      keep = IEMouseInteract({miMoveLayers, miResizeLayers, miRotateLayers, miMovingScroll});
      if (IEInMouseInteract(Value, miResizeLayers))
        keep &= static_cast<TIEMouseInteract>(~(1u << miRotateLayers));
    } else if (IEInMouseInteract(Value, miResizeLayers)) {
      keep = IEMouseInteract({miMoveLayers, miResizeLayers, miMovingScroll});
    }
  }
  Value &= keep;
  if (IEInMouseInteract(Value, miRotateLayers)) {
    if (LayersCropBeforeRotating) LayersCropTransparentBorders(-1);
  } else {
    LayersFixRotations(-1);
  }
  fMouseInteract = Value;
}

bool TRedozIrView::IsRectanglePolygon(const TPoint* Points, int Count) {
  if (!Points || Count != 4) return false;
  bool across[4], down[4];
  for (int i = 0; i < 4; ++i) {
    const TPoint& a = Points[i];
    const TPoint& b = Points[(i + 1) % 4];
    across[i] = a.Y == b.Y;
    down[i] = a.X == b.X;
  }
  return (across[0] && down[1] && across[2] && down[3]) || (down[0] && across[1] && down[2] && across[3]);
}

}  // namespace redozir
