#include "imaging/view/iepalettedialog.h"

#include <algorithm>

#include "platform/surface_fill.h"

namespace redozir {

namespace {
constexpr int kMargin = 4;
}

TRedozIrPaletteDialog::TRedozIrPaletteDialog(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Palette");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetBounds(0, 0, 520, 199);
  fCancel = new TButton(this);
  fCancel->SetParent(this);
  fCancel->SetBounds(4, 136, 75, 25);
  fCancel->SetCaption("&Cancel");
  fCancel->SetCancel(true);
  fCancel->SetModalResult(mrCancel);
}

void TRedozIrPaletteDialog::SetPalette(const TRGB* Palette, int Count) {
  int n = Palette ? std::clamp(Count, 0, kColumns * kRows) : 0;
  fCells.assign(Palette, Palette + n);
  Invalidate();
}

bool TRedozIrPaletteDialog::Execute() { return ShowModal() == mrOk; }

int TRedozIrPaletteDialog::CellAt(int X, int Y) const {
  if (X < kMargin || Y < kMargin) return -1;
  int col = (X - kMargin) / kCell, row = (Y - kMargin) / kCell;
  if (col >= kColumns || row >= kRows) return -1;
  int i = row * kColumns + col;
  return i < CellCount() ? i : -1;
}

void TRedozIrPaletteDialog::PickCell(int Index) {
  if (Index < 0 || Index >= CellCount()) return;
  const TRGB& c = fCells[static_cast<size_t>(Index)];
  fColor = RGB(c.r, c.g, c.b);
  SetModalResult(mrOk);
}

void TRedozIrPaletteDialog::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) PickCell(CellAt(X, Y));
  TForm::MouseDown(Button, Shift, X, Y);
}

void TRedozIrPaletteDialog::Paint() {
  TForm::Paint();
  TControlCanvas* c = Canvas();
  TRect clip = c->DeviceClip();
  TPoint o = c->Origin();
  for (int i = 0; i < CellCount(); ++i) {
    const TRGB& e = fCells[static_cast<size_t>(i)];
    TRect r =
        Bounds(o.X + kMargin + (i % kColumns) * kCell, o.Y + kMargin + (i / kColumns) * kCell, kCell, kCell);
    FillSurfaceRect(c->Bitmap(), r, RGB(e.r, e.g, e.b), &clip);
    FrameSurfaceRect(c->Bitmap(), r, clBtnShadow, clBtnHighlight, &clip);
  }
}

}  // namespace redozir
