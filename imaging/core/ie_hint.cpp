// The hint box of the measure tool.
#include <algorithm>

#include "imaging/core/ie_drawing.h"
#include "imaging/core/ie_hint_common.h"

namespace redozir {

void IEDrawHint(TCanvas* Canvas, int& X, int& Y, const std::string& Text, const TFont& Font,
                const TBrush& Brush, TBitmap* Saved, int MaxX, int MaxY, TColor Highlight, TColor Shadow) {
  if (!Canvas) return;
  TIEHintCanvasState keep(Canvas);
  Canvas->Font = Font;
  TSize ts = Canvas->TextExtent(Text);
  int w = ts.cx + 12, h = ts.cy + 12;
  // Right and bottom first, so that a box larger than the area keeps its
  // top-left corner visible.
  if (static_cast<std::int64_t>(X) + w > MaxX) X = MaxX - w;
  if (static_cast<std::int64_t>(Y) + h > MaxY) Y = MaxY - h;
  X = std::max(X, 0);
  Y = std::max(Y, 0);
  TRect box = Bounds(X, Y, w, h);
  if (Saved) {
    Saved->SetPixelFormat(pf24bit);
    Saved->SetSize(w, h);
    Saved->Canvas()->CopyRect(Rect(0, 0, w, h), *Canvas, box);
  }
  Canvas->Brush = Brush;
  Canvas->FillRect(box);
  Canvas->Pen = TPen{};
  Canvas->Pen.Color = Highlight;
  Canvas->MoveTo(box.Left, box.Bottom - 1);
  Canvas->LineTo(box.Left, box.Top);
  Canvas->LineTo(box.Right - 1, box.Top);
  Canvas->Pen.Color = Shadow;
  Canvas->LineTo(box.Right - 1, box.Bottom - 1);
  Canvas->LineTo(box.Left, box.Bottom - 1);
  IEHintText(Canvas, X, Y, Text);
}

}  // namespace redozir
