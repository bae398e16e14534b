// Drawing routines of the imaging core: the crop-shadow strips of the view's
// background, the two dialog background pictures and the library-wide choice
// between them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

// Shadow styles of the strips.
constexpr int ieShadowSolid = 1;     // a flat fill in the shadow colour
constexpr int ieShadowGaussian = 2;  // the background darkened by a gaussian falloff

// The strip right of an image whose right edge (exclusive) is EdgeX: columns
// EdgeX .. EdgeX + Width - 1, rows Top .. Bottom - 1, drawn on Target when
// given (a 24- or 32-bit bitmap), else on the canvas. The falloff runs across
// the strip, darkest next to the image. The crop-shadow background passes the
// image rectangle's right edge, its top + 3, its bottom + 5 and 5.
void IEDrawShadowRight(TCanvas* Canvas, TBitmap* Target, int EdgeX, TColor Background, int Style, int Top,
                       int Bottom, int Width = 5);
// The strip below an image whose bottom edge (exclusive) is EdgeY: rows
// EdgeY .. EdgeY + Height - 1, columns Left .. Right - 1 (the crop shadow
// passes left + 3 and the right edge, the corner belonging to the right strip).
void IEDrawShadowBottom(TCanvas* Canvas, TBitmap* Target, int EdgeY, TColor Background, int Style, int Left,
                        int Right, int Height = 5);

// The shadow colour of a background at a distance (0 = next to the image) in
// a strip of the given width.
TColor IEShadowColor(TColor Background, int Style, int Distance, int Width);

// Sizes Bitmap to Width x Height (24 bits) and paints horizontal grey stripes.
void IEMakeStripesBitmap(TBitmap* Bitmap, int Width, int Height);
// Sizes Bitmap to Width x Height (24 bits) and paints brushed metal (the same
// picture every time for a given size).
void IEMakeMetalBitmap(TBitmap* Bitmap, int Width, int Height);

// Which picture the library's dialogs show behind their controls: 0 none,
// 1 stripes, 2 metal.
extern std::uint8_t gIEDialogsBackground;

// Draws a hint box holding Text at (X, Y) of the canvas: the box is the
// text's size + 12 pixels each way (6 of margin around the text), moved so
// that it stays inside (0, 0)-(MaxX, MaxY) (X and Y return where it went).
// The area under the box is first copied into Saved (made 24-bit, of the
// box's size) for the caller to put back with Canvas->Draw(X, Y, *Saved).
// The box is filled with Brush and framed light (Highlight) at the top and
// left and dark (Shadow) at the bottom and right.
void IEDrawHint(TCanvas* Canvas, int& X, int& Y, const std::string& Text, const TFont& Font,
                const TBrush& Brush, TBitmap* Saved, int MaxX, int MaxY, TColor Highlight = clBtnHighlight,
                TColor Shadow = clBtnShadow);

// The hint box of the view's mouse interaction, drawn through the
// anti-aliased canvas: "Arial" 9 on a semi-transparent fill, as wide as the
// longer of Text and SizingText + 12 and as high as the text + 12, moved so
// that it stays inside the canvas (X and Y return where it went).
void IEDrawHintEx(TCanvas* Canvas, int& X, int& Y, const std::string& Text, const std::string& SizingText);
// Darkens the four bands of Outer that lie outside Inner with black at
// alpha 150, through the anti-aliased canvas.
void IEDimOutsideRect(TCanvas* Canvas, const TRect& Inner, const TRect& Outer);

}  // namespace redozir
#pragma GCC visibility pop
