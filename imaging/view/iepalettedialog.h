// TRedozIrPaletteDialog: a modal grid of colour cells; a click on a cell picks
// its colour and closes the dialog, the cancel button closes it with none.
#pragma once

#include <vector>

#include "imaging/core/ie_types.h"
#include "platform/buttons.h"
#include "platform/forms.h"

#pragma GCC visibility push(default)
namespace redozir {

class TRedozIrPaletteDialog : public TForm {
 public:
  // Cells in a row and rows shown: at most kColumns x kRows entries.
  static constexpr int kColumns = 32;
  static constexpr int kRows = 8;
  static constexpr int kCell = 16;

  explicit TRedozIrPaletteDialog(TComponent* AOwner);
  // The cells: the first Count entries of Palette, never more than the grid
  // holds (nullptr or a count below 1 shows none).
  void SetPalette(const TRGB* Palette, int Count);
  int CellCount() const { return static_cast<int>(fCells.size()); }
  // Shows the dialog modally; True when a cell was clicked.
  bool Execute();
  TColor Color() const { return fColor; }
  TButton* CancelButton() const { return fCancel; }
  // The cell under a client point (-1 outside every cell).
  int CellAt(int X, int Y) const;
  // What a click on cell Index does.
  void PickCell(int Index);

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  std::vector<TRGB> fCells;
  TColor fColor = clBlack;
  TButton* fCancel;
};

}  // namespace redozir
#pragma GCC visibility pop
