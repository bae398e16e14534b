// The view's background painter: the fourteen background styles with the
// wallpaper over them, and the two-colour gradient fill they use.
#pragma once

#include "imaging/view/redozir_view.h"

#pragma GCC visibility push(default)
namespace redozir {

// Everything a background is painted from.
struct TIEBackgroundParams {
  TIEBackgroundStyle Style = iebsSolid;
  TColor Background = clBtnFace;
  TColor GradientEndColor = 0xFF0000;
  const TPicture* WallPaper = nullptr;
  TIEWallPaperStyle WallPaperStyle = iewoNormal;
  int ChessboardSize = 16;
  TBrushStyle ChessboardBrushStyle = bsSolid;
};

// Paints Area of Canvas by P.Style, then the wallpaper. Target, when given,
// is the 24-bit bitmap behind Canvas (written directly where a style can);
// ImageRect is where the picture lies, for the styles drawn around it.
// Designing paints the plain background for the styles that frame the image.
void IEPaintBackground(const TIEBackgroundParams& P, TCanvas* Canvas, TIEBitmap* Target,
                       const TRect& ImageRect, const TRect& Area, bool Designing);

// A two-colour gradient over R, First at the top (or left) and Second at the
// bottom (or right); False and nothing drawn when the canvas refuses it.
bool IEGradientFillRect(const TRect& R, TCanvas* Canvas, TColor First, bool Vertical, TColor Second);

}  // namespace redozir
#pragma GCC visibility pop
