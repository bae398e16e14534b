// The view's background: the fourteen styles, the wallpaper over them and
// the gradient fill.
#include "imaging/view/redozir_view_background.h"

#include <algorithm>
#include <cstdint>

#include "imaging/core/ie_drawing.h"
#include "imaging/core/iebitmap.h"
#include "imaging/processing/ie_blur.h"

namespace redozir {

namespace {
// The photo-like background's surround.
constexpr TColor kPhotoLikeGrey = RGB(0xB0, 0xB0, 0xB0);

// A system colour means nothing bit by bit: it is resolved first.
TColor Complement(TColor c) { return ~ColorToRGB(c) & 0xFFFFFF; }

void FillSolid(TCanvas* Canvas, const TRect& Area, TColor Color) {
  Canvas->Brush.Style = bsSolid;
  Canvas->Brush.Color = Color;
  Canvas->FillRect(Area);
}

// A hatch leaves its gaps alone on this canvas: they get the white that the
// desktop's opaque background mode paints there, or the previous frame would
// show through them after a scroll.
void FillHatched(TCanvas* Canvas, const TRect& Area, TColor Color, TBrushStyle Style) {
  FillSolid(Canvas, Area, clWhite);
  Canvas->Brush.Style = Style;
  Canvas->Brush.Color = Color;
  Canvas->FillRect(Area);
  Canvas->Brush.Style = bsSolid;
}

// Squares of Size from Area's top-left, Background and its complement in turn.
void PaintChessboard(TCanvas* Canvas, TIEBitmap* Target, const TRect& Area, TColor Background, int Size,
                     TBrushStyle Style) {
  if (Size <= 0 || Area.IsEmpty()) return;
  TColor a = ColorToRGB(Background), b = Complement(Background);
  if (Target && Target->PixelFormat() == ie24RGB && Style == bsSolid) {
    // Written past the canvas, so kept inside its clip by hand.
    TRect clip = Canvas->ClipRect();
    int x0 = std::max({Area.Left, clip.Left, 0}), x1 = std::min({Area.Right, clip.Right, Target->Width()});
    int y0 = std::max({Area.Top, clip.Top, 0}), y1 = std::min({Area.Bottom, clip.Bottom, Target->Height()});
    if (x0 >= x1) return;
    const std::uint8_t ca[3] = {static_cast<std::uint8_t>(GetBValue(a)),
                                static_cast<std::uint8_t>(GetGValue(a)),
                                static_cast<std::uint8_t>(GetRValue(a))};
    const std::uint8_t cb[3] = {static_cast<std::uint8_t>(GetBValue(b)),
                                static_cast<std::uint8_t>(GetGValue(b)),
                                static_cast<std::uint8_t>(GetRValue(b))};
    for (int y = y0; y < y1; ++y) {
      std::uint8_t* row = Target->GetScanline(y);
      bool oddRow = ((y - Area.Top) / Size) & 1;
      for (int x = x0; x < x1; ++x) {
        const std::uint8_t* c = (((x - Area.Left) / Size) & 1) != oddRow ? cb : ca;
        std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
        p[0] = c[0];
        p[1] = c[1];
        p[2] = c[2];
      }
    }
    return;
  }
  for (int y = Area.Top, row = 0; y < Area.Bottom; y += Size, ++row) {
    for (int x = Area.Left, col = 0; x < Area.Right; x += Size, ++col) {
      TRect sq{x, y, std::min(x + Size, Area.Right), std::min(y + Size, Area.Bottom)};
      TColor c = ((row + col) & 1) ? b : a;
      if (Style == bsSolid)
        FillSolid(Canvas, sq, c);
      else
        FillHatched(Canvas, sq, c, Style);
    }
  }
}

void PaintWallPaper(TCanvas* Canvas, const TPicture* WallPaper, TIEWallPaperStyle Style, const TRect& Area) {
  if (!WallPaper || WallPaper->Empty()) return;
  const TBitmap& g = *WallPaper->Graphic();
  switch (Style) {
    case iewoNormal: Canvas->Draw(0, 0, g); break;
    case iewoStretch: Canvas->StretchDraw(Rect(0, 0, Area.Width(), Area.Height()), g); break;
    case iewoTile:
      for (int y = 0; y < Area.Height(); y += g.Height())
        for (int x = 0; x < Area.Width(); x += g.Width()) Canvas->Draw(x, y, g);
      break;
  }
}
}  // namespace

bool IEGradientFillRect(const TRect& R, TCanvas* Canvas, TColor First, bool Vertical, TColor Second) {
  if (!Canvas) return false;
  TColor a = ColorToRGB(First), b = ColorToRGB(Second);
  auto vertex = [](int x, int y, TColor c) {
    TRIVERTEX v;
    v.x = x;
    v.y = y;
    v.Red = static_cast<std::uint16_t>(GetRValue(c) << 8);
    v.Green = static_cast<std::uint16_t>(GetGValue(c) << 8);
    v.Blue = static_cast<std::uint16_t>(GetBValue(c) << 8);
    return v;
  };
  const TRIVERTEX v[2] = {vertex(R.Left, R.Top, a), vertex(R.Right, R.Bottom, b)};
  const GRADIENT_RECT gr{0, 1};
  return GradientFill(Canvas, v, 2, &gr, 1, Vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
}

void IEPaintBackground(const TIEBackgroundParams& P, TCanvas* Canvas, TIEBitmap* Target,
                       const TRect& ImageRect, const TRect& Area, bool Designing) {
  if (!Canvas) return;
  TBrush oldBrush = Canvas->Brush;
  TPen oldPen = Canvas->Pen;
  TColor bg = P.Background;
  bool framesImage = P.Style == iebsCropped || P.Style == iebsCropShadow || P.Style == iebsSoftShadow;
  TIEBackgroundStyle style = Designing && framesImage ? iebsSolid : P.Style;
  switch (style) {
    case iebsSolid: FillSolid(Canvas, Area, bg); break;
    case iebsHorizontal: FillHatched(Canvas, Area, bg, bsHorizontal); break;
    case iebsVertical: FillHatched(Canvas, Area, bg, bsVertical); break;
    case iebsFDiagonal: FillHatched(Canvas, Area, bg, bsFDiagonal); break;
    case iebsBDiagonal: FillHatched(Canvas, Area, bg, bsBDiagonal); break;
    case iebsCross: FillHatched(Canvas, Area, bg, bsCross); break;
    case iebsDiagCross: FillHatched(Canvas, Area, bg, bsDiagCross); break;
    case iebsChessboard:
      PaintChessboard(Canvas, Target, Area, bg, P.ChessboardSize, P.ChessboardBrushStyle);
      break;
    case iebsDiagonals:
      FillSolid(Canvas, Area, bg);
      Canvas->Pen.Style = psSolid;
      Canvas->Pen.Mode = pmCopy;
      Canvas->Pen.Width = 1;
      Canvas->Pen.Color = Complement(bg);
      Canvas->MoveTo(Area.Left, Area.Top);
      Canvas->LineTo(Area.Right, Area.Bottom);
      Canvas->MoveTo(Area.Right, Area.Top);
      Canvas->LineTo(Area.Left, Area.Bottom);
      break;
    case iebsCropped:
      FillSolid(Canvas, Area, clBtnFace);
      if (ImageRect.Width() >= 2 && ImageRect.Height() >= 2) {
        int ex = GetSystemMetrics(SM_CXEDGE), ey = GetSystemMetrics(SM_CYEDGE);
        TRect edge{ImageRect.Left - ex, ImageRect.Top - ey, ImageRect.Right + ex, ImageRect.Bottom + ey};
        DrawEdge(Canvas, edge, EDGE_SUNKEN, BF_RECT);
      }
      break;
    case iebsCropShadow:
      FillSolid(Canvas, Area, bg);
      if (ImageRect.Width() > 1 && ImageRect.Height() > 1) {
        TBitmap* t = Target && Target->Location() == ieTBitmap ? Target->GetVclBitmap() : nullptr;
        IEDrawShadowRight(Canvas, t, ImageRect.Right, bg, ieShadowGaussian, ImageRect.Top + 3,
                          ImageRect.Bottom + 5, 5);
        IEDrawShadowBottom(Canvas, t, ImageRect.Bottom, bg, ieShadowGaussian, ImageRect.Left + 3,
                           ImageRect.Right, 5);
      }
      break;
    case iebsGradient: IEGradientFillRect(Area, Canvas, bg, true, P.GradientEndColor); break;
    case iebsSoftShadow:
      if (!Target) break;
      FillSolid(Canvas, Area, bg);
      if (ImageRect.Width() > 1 && ImageRect.Height() > 1) IEDrawSoftShadow(Target, ImageRect, bg);
      break;
    case iebsPhotoLike: {
      FillSolid(Canvas, Area, kPhotoLikeGrey);
      Canvas->Brush.Color = clBlack;
      Canvas->FrameRect(
          TRect{ImageRect.Left - 1, ImageRect.Top - 1, ImageRect.Right + 1, ImageRect.Bottom + 1});
      TRect inside;
      if (IntersectRect(inside, ImageRect, Area))
        PaintChessboard(Canvas, Target, ImageRect, bg, P.ChessboardSize, P.ChessboardBrushStyle);
      break;
    }
  }
  PaintWallPaper(Canvas, P.WallPaper, P.WallPaperStyle, Area);
  Canvas->Brush = oldBrush;
  Canvas->Pen = oldPen;
}

}  // namespace redozir
