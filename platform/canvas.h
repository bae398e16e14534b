// TCanvas: drawing on a TBitmap with a pen, a brush and a font. Shapes follow
// the classic aliased rules (half-open rectangles, a line's end point left
// out, pixel centres sampled); bitmaps are copied with raster operations and
// stretched; a clip region limits everything drawn. GDI-style free functions
// (BitBlt, StretchBlt, SelectClipRgn, ...) take the canvas as the device.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/graphics.h"
#include "platform/region.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

// Ternary raster operations (the platform's codes).
constexpr std::uint32_t SRCCOPY = 0x00CC0020;
constexpr std::uint32_t SRCPAINT = 0x00EE0086;
constexpr std::uint32_t SRCAND = 0x008800C6;
constexpr std::uint32_t SRCINVERT = 0x00660046;
constexpr std::uint32_t SRCERASE = 0x00440328;
constexpr std::uint32_t NOTSRCCOPY = 0x00330008;
constexpr std::uint32_t NOTSRCERASE = 0x001100A6;
constexpr std::uint32_t MERGECOPY = 0x00C000CA;
constexpr std::uint32_t MERGEPAINT = 0x00BB0226;
constexpr std::uint32_t PATCOPY = 0x00F00021;
constexpr std::uint32_t PATPAINT = 0x00FB0A09;
constexpr std::uint32_t PATINVERT = 0x005A0049;
constexpr std::uint32_t DSTINVERT = 0x00550009;
constexpr std::uint32_t BLACKNESS = 0x00000042;
constexpr std::uint32_t WHITENESS = 0x00FF0062;
using TCopyMode = std::uint32_t;
constexpr TCopyMode cmSrcCopy = SRCCOPY, cmSrcPaint = SRCPAINT, cmSrcAnd = SRCAND, cmSrcInvert = SRCINVERT,
                    cmSrcErase = SRCERASE, cmNotSrcCopy = NOTSRCCOPY, cmNotSrcErase = NOTSRCERASE,
                    cmMergeCopy = MERGECOPY, cmMergePaint = MERGEPAINT, cmPatCopy = PATCOPY,
                    cmPatPaint = PATPAINT, cmPatInvert = PATINVERT, cmDstInvert = DSTINVERT,
                    cmBlackness = BLACKNESS, cmWhiteness = WHITENESS;

// Stretch modes: HALFTONE averages areas when shrinking and interpolates
// bilinearly when enlarging; the others take the nearest source pixel.
constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;
constexpr int STRETCH_DELETESCANS = COLORONCOLOR;
constexpr int STRETCH_HALFTONE = HALFTONE;

// Text alignment flags.
constexpr unsigned TA_NOUPDATECP = 0, TA_UPDATECP = 1, TA_LEFT = 0, TA_RIGHT = 2, TA_CENTER = 6, TA_TOP = 0,
                   TA_BOTTOM = 8, TA_BASELINE = 24;
// ExtTextOut options.
constexpr unsigned ETO_OPAQUE = 2, ETO_CLIPPED = 4;

// DrawEdge edges and sides.
constexpr unsigned BDR_RAISEDOUTER = 1, BDR_SUNKENOUTER = 2, BDR_RAISEDINNER = 4, BDR_SUNKENINNER = 8;
constexpr unsigned EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER,
                   EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER,
                   EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER,
                   EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;
constexpr unsigned BF_LEFT = 1, BF_TOP = 2, BF_RIGHT = 4, BF_BOTTOM = 8, BF_RECT = 15, BF_MIDDLE = 0x800,
                   BF_ADJUST = 0x2000, BF_FLAT = 0x4000, BF_MONO = 0x8000;

class TCanvas;
// A device context: the canvas that drawing calls go to.
using HDC = TCanvas*;

class TCanvas {
 public:
  explicit TCanvas(TBitmap* bitmap);
  virtual ~TCanvas() = default;
  // The device context the GDI-style calls take: the canvas itself.
  HDC Handle() { return this; }

  TBitmap* Bitmap() const { return bitmap_; }
  // Called by the bitmap when its pixels were reallocated.
  void BitmapChanged() {}

  // A control's canvas draws into its form's surface: Origin is where the
  // canvas's (0, 0) lies on the bitmap, and drawing touches only DeviceClip
  // (bitmap coordinates). A plain bitmap canvas has origin (0, 0) and no
  // device clip (the whole bitmap). Every other coordinate of the canvas,
  // the clip region's included, is relative to the origin.
  // With no bitmap the canvas draws on an empty one of its own (nothing).
  void SetBitmap(TBitmap* bitmap) { bitmap_ = bitmap ? bitmap : &none_; }
  TPoint Origin() const { return origin_; }
  void SetOrigin(TPoint origin) { origin_ = origin; }
  bool HasDeviceClip() const { return hasDeviceClip_; }
  TRect DeviceClip() const { return deviceClip_; }
  void SetDeviceClip(const TRect& r) {
    deviceClip_ = r;
    hasDeviceClip_ = true;
  }
  void ClearDeviceClip() { hasDeviceClip_ = false; }

  TPen Pen;
  TBrush Brush;
  TFont Font;
  TPoint PenPos;
  TCopyMode CopyMode = cmSrcCopy;
  TPolyFillMode PolyFillMode = pfAlternate;
  int StretchMode = COLORONCOLOR;
  unsigned TextAlign = TA_LEFT | TA_TOP;
  // Extra ExtTextOut options that TextRect adds (the canvas's text flags).
  unsigned TextFlags = 0;

  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void Polyline(const TPoint* pts, int count);
  void Polyline(const std::vector<TPoint>& pts) { Polyline(pts.data(), static_cast<int>(pts.size())); }
  void Polygon(const TPoint* pts, int count);
  void Polygon(const std::vector<TPoint>& pts) { Polygon(pts.data(), static_cast<int>(pts.size())); }
  void Rectangle(int x1, int y1, int x2, int y2);
  void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
  void FillRect(const TRect& r);
  void FrameRect(const TRect& r);
  void Ellipse(int x1, int y1, int x2, int y2);
  void Ellipse(const TRect& r) { Ellipse(r.Left, r.Top, r.Right, r.Bottom); }
  // The part of the ellipse in the box from the ray towards (x3, y3)
  // counter-clockwise to the ray towards (x4, y4).
  void Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
  void Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
  void Chord(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
  void RoundRect(int x1, int y1, int x2, int y2, int x3, int y3);
  void FillRgn(const TRegion& rgn);
  TColor Pixels(int x, int y) const;
  void SetPixel(int x, int y, TColor c);

  // Text: 8-bit strings are in the code page of Font.Charset, W strings are
  // UTF-16. The reference point follows TextAlign; with a solid brush the
  // text cell is filled with the brush colour first.
  void TextOut(int x, int y, const std::string& text);
  void TextOutW(int x, int y, const std::u16string& text);
  void TextRect(const TRect& r, int x, int y, const std::string& text);
  void TextRectW(const TRect& r, int x, int y, const std::u16string& text);
  // rect: the opaque cell (ETO_OPAQUE) and the clip (ETO_CLIPPED), or nullptr.
  void ExtTextOutW(int x, int y, unsigned options, const TRect* rect, const std::u16string& text);
  int TextWidth(const std::string& text);
  int TextHeight(const std::string& text);
  TSize TextExtent(const std::string& text);
  TSize TextExtentW(const std::u16string& text);
  TTextMetric GetTextMetrics();

  void Draw(int x, int y, const TBitmap& bmp);
  void StretchDraw(const TRect& r, const TBitmap& bmp);
  void CopyRect(const TRect& dst, TCanvas& src, const TRect& srcRect);

  // The clip region (nullopt: the whole bitmap).
  const std::optional<TRegion>& ClipRegion() const { return clip_; }
  void SetClipRegion(const TRegion* rgn);
  // The bounds of the area drawing may reach, in canvas coordinates.
  TRect ClipRect() const;
  // The part of the bitmap (and the device clip) in canvas coordinates.
  TRect VisibleBounds() const;

  // Drawing reports the part of the canvas it may have changed (canvas
  // coordinates); code that writes the bitmap's rows itself reports them the
  // same way. A control's canvas passes it on to its form, whose display
  // then shows only what changed.
  void Changed(const TRect& r);

 protected:
  // The changed part in bitmap coordinates, inside the bitmap and the device
  // clip (never empty).
  virtual void BitmapRectChanged(const TRect& r) {}

 private:
  friend struct TCanvasAccess;
  TBitmap none_;
  TBitmap* bitmap_;
  TPoint origin_;
  TRect deviceClip_;
  bool hasDeviceClip_ = false;
  std::optional<TRegion> clip_;
  int styleStep_ = 0;
};

bool BitBlt(TCanvas* dst, int x, int y, int w, int h, TCanvas* src, int sx, int sy, std::uint32_t rop);
bool StretchBlt(TCanvas* dst, int x, int y, int w, int h, TCanvas* src, int sx, int sy, int sw, int sh,
                std::uint32_t rop);
// Copies (rows of) a bitmap directly, the source needing no canvas.
bool StretchBitmap(TCanvas* dst, int x, int y, int w, int h, const TBitmap& src, int sx, int sy, int sw,
                   int sh, std::uint32_t rop);
bool PatBlt(TCanvas* dst, int x, int y, int w, int h, std::uint32_t rop);
int SetStretchBltMode(TCanvas* c, int mode);
int GetStretchBltMode(TCanvas* c);
unsigned SetTextAlign(TCanvas* c, unsigned align);
// ALTERNATE or WINDING for Polygon; answers the previous mode (0 on error).
int SetPolyFillMode(TCanvas* c, int mode);
// A copy of the region becomes the clip (nullptr removes it); answers the
// clip's kind.
int SelectClipRgn(TCanvas* c, HRGN rgn);
int ExcludeClipRect(TCanvas* c, int l, int t, int r, int b);
int IntersectClipRect(TCanvas* c, int l, int t, int r, int b);
int GetClipBox(TCanvas* c, TRect& box);
// Two-colour gradients over rectangles, GradientFill-style: vertex channels
// are 16-bit (the 8-bit value in the high byte); each rectangle runs from
// its upper-left vertex's colour to its lower-right one's.
struct TRIVERTEX {
  int x = 0;
  int y = 0;
  std::uint16_t Red = 0;
  std::uint16_t Green = 0;
  std::uint16_t Blue = 0;
  std::uint16_t Alpha = 0;
};
struct GRADIENT_RECT {
  unsigned UpperLeft = 0;
  unsigned LowerRight = 0;
};
constexpr unsigned GRADIENT_FILL_RECT_H = 0;
constexpr unsigned GRADIENT_FILL_RECT_V = 1;
// False for another mode or a vertex index out of range (nothing drawn).
bool GradientFill(TCanvas* c, const TRIVERTEX* vertices, unsigned vertexCount, const GRADIENT_RECT* rects,
                  unsigned rectCount, unsigned mode);

// Draws the edges; with BF_ADJUST the rectangle shrinks by the edges drawn.
bool DrawEdge(TCanvas* c, TRect& r, unsigned edge, unsigned flags);

}  // namespace redozir
#pragma GCC visibility pop
