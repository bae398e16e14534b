// The anti-aliased hint box and the dimming of the area around a rectangle.
#include <algorithm>
#include <optional>

#include "imaging/core/ie_drawing.h"
#include "imaging/core/ie_hint_common.h"
#include "imaging/core/iegdiplus.h"

namespace redozir {

void IEDrawHintEx(TCanvas* Canvas, int& X, int& Y, const std::string& Text, const std::string& SizingText) {
  if (!Canvas) return;
  TIEHintCanvasState keep(Canvas);
  Canvas->Font = TFont{};
  Canvas->Font.Name = "Arial";
  Canvas->Font.SetSize(9);
  Canvas->Font.Color = clInfoText;
  int w = std::max(Canvas->TextWidth(Text), Canvas->TextWidth(SizingText)) + 12;
  int h = Canvas->TextHeight(Text.empty() ? SizingText : Text) + 12;
  TRect area = Canvas->VisibleBounds();
  if (static_cast<std::int64_t>(X) + w > area.Right) X = area.Right - w;
  if (static_cast<std::int64_t>(Y) + h > area.Bottom) Y = area.Bottom - h;
  X = std::max(X, area.Left);
  Y = std::max(Y, area.Top);
  {
    TIECanvas c(Canvas);
    c.Brush()->SetStyle(bsSolid);
    c.Brush()->SetColor(clInfoBk);
    c.Brush()->SetTransparency(200);
    c.Pen()->SetStyle(psSolid);
    c.Pen()->SetColor(clGray);
    c.Pen()->SetTransparency(220);
    c.Pen()->SetWidth(1);
    c.RoundRect(X, Y, X + w, Y + h, 6, 6);
  }
  IEHintText(Canvas, X, Y, Text);
}

void IEDimOutsideRect(TCanvas* Canvas, const TRect& Inner, const TRect& Outer) {
  if (!Canvas) return;
  TBrush oldBrush = Canvas->Brush;
  TPen oldPen = Canvas->Pen;
  {
    TIECanvas c(Canvas);
    c.Brush()->SetStyle(bsSolid);
    c.Brush()->SetColor(clBlack);
    c.Brush()->SetTransparency(150);
    c.Pen()->SetStyle(psClear);
    int il = std::clamp(Inner.Left, Outer.Left, Outer.Right),
        ir = std::clamp(Inner.Right, Outer.Left, Outer.Right);
    int it = std::clamp(Inner.Top, Outer.Top, Outer.Bottom),
        ib = std::clamp(Inner.Bottom, Outer.Top, Outer.Bottom);
    // Each band is filled once, so the corners are not darkened twice.
    const TRect bands[] = {
        {Outer.Left, Outer.Top, Outer.Right, it},
        {Outer.Left, ib, Outer.Right, Outer.Bottom},
        {Outer.Left, it, il, ib},
        {ir, it, Outer.Right, ib},
    };
    // The bands meet edge to edge on pixel boundaries, so the anti-aliased
    // path fills them on the pixel grid rather than around pixel centres.
    std::optional<TAARenderer> aa;
    if (c.UseGDIPlus()) aa.emplace(*Canvas);
    for (const TRect& b : bands) {
      if (b.IsEmpty()) continue;
      if (aa) {
        TAAPath p;
        p.AddRectangle(b.Left, b.Top, b.Width(), b.Height());
        aa->Fill(p, clBlack, c.Brush()->GetTransparency());
      } else {
        c.FillRect(b);
      }
    }
  }
  Canvas->Brush = oldBrush;
  Canvas->Pen = oldPen;
}

}  // namespace redozir
