// TRedozIrView's painting: the back buffer composed when a full repaint is
// due and blitted to the window, the version text, the interaction hint and
// the painting events.
#include <algorithm>
#include <string>

#include "imaging/core/ie_drawing.h"
#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"
#include "imaging/view/redozir_view_background.h"

namespace redozir {

namespace {
const char* const kVersionText = "RedozIr Version 3.1.0 - 21/2/2010";
// The overview's darkening of what the viewed view does not show.
constexpr std::uint8_t kOverviewDimOption = 2;
}  // namespace

TIEBackgroundParams TRedozIrView::BackgroundParams() {
  TIEBackgroundParams p;
  p.Style = fBackgroundStyle;
  p.Background = Background();
  p.GradientEndColor = GradientEndColor;
  p.WallPaper = fWallPaper.get();
  p.WallPaperStyle = fWallPaperStyle;
  p.ChessboardSize = fChessboardSize;
  p.ChessboardBrushStyle = fChessboardBrushStyle;
  return p;
}

void TRedozIrView::SetChessboardStyle(int Size, TBrushStyle Style) {
  fChessboardSize = std::max(Size, 1);
  fChessboardBrushStyle = Style;
  fRepaintMode = 4;
  Update();
}

void TRedozIrView::PaintBackgroundTo(TCanvas* Target) {
  TransitionPaintBackground(Target, Width(), Height());
}

TBitmap* TRedozIrView::GetBackBufferBitmap() {
  fFrame.Movable = false;
  return fBackBuffer ? fBackBuffer->GetVclBitmap() : nullptr;
}

void TRedozIrView::InvalidateRectEx(const TRect& R) {
  fFullRepaint = true;
  InvalidateRect(R, false);
}

void TRedozIrView::SetInteractionHint(const std::string& Text, int X, int Y, const std::string& SizingText) {
  // The hint is drawn over the client, not into the back buffer: once it is
  // gone the client shows the frame again, whatever ended the drag.
  if (Text.empty() && !fHintText.empty()) Invalidate();
  fHintText = Text;
  fHintSizingText = SizingText;
  fHintX = X;
  fHintY = Y;
}

void TRedozIrView::Paint() {
  if (!HandleAllocated()) return;
  int cw = GetClientWidthEx(), ch = GetClientHeightEx();
  if (!ClientSizeFromControl && (!HasParentWindow() || cw <= 0 || ch <= 0)) return;
  TControlCanvas* canvas = Canvas();
  const TRect client = Rect(0, 0, cw, ch);
  // A failure while painting (a handler's among them) must not escape the
  // paint message: the loop goes on and the next paint tries again.
  try {
    if (ComponentState() & csDesigning) {
      IEPaintBackground(BackgroundParams(), canvas, nullptr, ImageRect(), Rect(0, 0, Width(), Height()),
                        true);
    } else if (fPaintLock == 0) {
      TRect r = client;
      TRect clip = canvas->ClipRect();
      if (!fPaintWholeClient && !clip.IsEmpty() && !IntersectRect(r, clip, client)) r = TRect{};
      if (!r.IsEmpty()) PaintRect(r);
      if (OnDrawCanvas) OnDrawCanvas(this, Canvas(), client);
    }
    fPaintWholeClient = false;
    if (!SuppressInvalidate) DrawSelectionOutline(Canvas());
    if (OnPaint) OnPaint(this);
  } catch (...) {
    fPaintWholeClient = false;
  }
  try {
    if (fDrawVersion) {
      canvas = Canvas();
      TFont oldFont = canvas->Font;
      TBrush oldBrush = canvas->Brush;
      canvas->Font.Name = "Arial";
      canvas->Font.Height = 13;
      canvas->Font.Color = clBlack;
      canvas->Brush.Style = bsSolid;
      canvas->Brush.Color = clWhite;
      TSize e = canvas->TextExtent(kVersionText);
      canvas->TextOut(cw - e.cx, ch - e.cy, kVersionText);
      canvas->Font = oldFont;
      canvas->Brush = oldBrush;
    }
    if (!fHintText.empty() && EnableInteractionHints) {
      int x = fHintX, y = fHintY;
      IEDrawHintEx(Canvas(), x, y, fHintText, fHintSizingText);
    }
  } catch (...) {
  }
  if (!fCursorApplied && Owner()) {
    fCursorApplied = true;
    SetTempCursor(Cursor());
  }
}

void TRedozIrView::PaintRect(const TRect& R) {
  if (!ClientSizeFromControl && !HasParentWindow()) return;
  if (!fBackBuffer) return;
  int cw = GetClientWidthEx(), ch = GetClientHeightEx();
  if (cw <= 0 || ch <= 0) return;
  if (fBackBuffer->Width() != cw || fBackBuffer->Height() != ch || fBackBuffer->PixelFormat() != ie24RGB) {
    if (!fBackBuffer->Allocate(cw, ch, ie24RGB)) throw EOutOfMemory("Cannot allocate the back buffer");
    fFullRepaint = true;
  }
  if (fFullRepaint || fOriginMoved) {
    ++fCompositions;
    if (fFullRepaint || !ComposeMovedFrame()) ComposeFrame();
    if (OnDrawBackBuffer) OnDrawBackBuffer(this);
    fFullRepaint = fOriginMoved = false;
  }
  TRect r;
  if (!IntersectRect(r, R, Rect(0, 0, cw, ch))) return;
  // The back end shows 24 and 32 bits alike: the plain copy serves every
  // display (there are no palette or 16-bit screens to dither for).
  TBitmap* source = fBackBuffer->GetVclBitmap();
  if (IsOverview() && (fOverviewOptions & kOverviewDimOption)) {
    TBitmap work(cw, ch, pf24bit);
    StretchBitmap(work.Canvas(), r.Left, r.Top, r.Width(), r.Height(), *source, r.Left, r.Top, r.Width(),
                  r.Height(), SRCCOPY);
    TRect sel{XBmp2Scr(fOverviewSelection.Left), YBmp2Scr(fOverviewSelection.Top),
              XBmp2Scr(fOverviewSelection.Right), YBmp2Scr(fOverviewSelection.Bottom)};
    IEDimOutsideRect(work.Canvas(), sel, Rect(0, 0, cw, ch));
    StretchBitmap(Canvas(), r.Left, r.Top, r.Width(), r.Height(), work, r.Left, r.Top, r.Width(), r.Height(),
                  SRCCOPY);
    return;
  }
  StretchBitmap(Canvas(), r.Left, r.Top, r.Width(), r.Height(), *source, r.Left, r.Top, r.Width(), r.Height(),
                SRCCOPY);
}

}  // namespace redozir
