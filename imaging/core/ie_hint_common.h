// What the two hint boxes share: the canvas state they borrow and give back,
// and the text written inside the box's 6-pixel margin.
#pragma once

#include <string>

#include "platform/canvas.h"

#pragma GCC visibility push(default)
namespace redozir {

// Keeps the canvas's font, brush, pen and text alignment and puts them back
// when it goes out of scope.
class TIEHintCanvasState {
 public:
  explicit TIEHintCanvasState(TCanvas* Canvas)
      : fCanvas(Canvas), fFont(Canvas->Font), fBrush(Canvas->Brush), fPen(Canvas->Pen),
        fAlign(Canvas->TextAlign) {}
  ~TIEHintCanvasState() {
    fCanvas->Font = fFont;
    fCanvas->Brush = fBrush;
    fCanvas->Pen = fPen;
    fCanvas->TextAlign = fAlign;
  }
  TIEHintCanvasState(const TIEHintCanvasState&) = delete;
  TIEHintCanvasState& operator=(const TIEHintCanvasState&) = delete;

 private:
  TCanvas* fCanvas;
  TFont fFont;
  TBrush fBrush;
  TPen fPen;
  unsigned fAlign;
};

// The hint's text over the box drawn at X, Y, in the canvas's current font.
inline void IEHintText(TCanvas* Canvas, int X, int Y, const std::string& Text) {
  Canvas->Brush.Style = bsClear;
  Canvas->TextAlign = TA_LEFT | TA_TOP;
  Canvas->TextOut(X + 6, Y + 6, Text);
}

}  // namespace redozir
#pragma GCC visibility pop
