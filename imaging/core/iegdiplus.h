// The anti-aliased canvas: TIECanvas with its TIEPen and TIEBrush draws
// smooth shapes with alpha through the anti-aliased back end while it is
// bound and allowed, and through the plain platform canvas otherwise, with
// the same calls and the same coordinates. Text always goes through the
// plain canvas.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/aa.h"
#include "platform/canvas.h"
#include "platform/exceptions.h"
#include "platform/object.h"

#pragma GCC visibility push(default)
namespace redozir {

// The process-wide binding of the anti-aliased back end. Each view loads it
// on creation and unloads it on destruction; it is bound while the count is
// above 0 and GDIPlusAllowed was set when it was first loaded. It starts
// unbound and allowed with the process; the library's start-up leaves it alone.
extern bool GDIPlusAllowed;
void IEGDIPLoadLibrary();
void IEGDIPUnloadLibrary();
bool IEGDIPLoaded();
bool IEGDIPAvailable();
int IEGDIPLoadCount();
// Whether the back end can be bound at all (a test can report it missing;
// a missing back end is silent and canvases draw through the plain canvas).
void IEGDIPSetBackEndPresent(bool present);

class EIECanvasError : public Exception {
  using Exception::Exception;
};

// Smoothing modes as the canvas counts them (from 1).
constexpr int iesmHighSpeed = 2;
constexpr int iesmAntiAlias = 5;

class TIEPen : public TObject {
 public:
  explicit TIEPen(TPen* APen);

  TColor GetColor() const { return fColor; }
  void SetColor(TColor v);
  int GetTransparency() const { return fTransparency; }
  void SetTransparency(int v);
  float GetWidth() const { return fWidth; }
  void SetWidth(float v);
  TPenStyle GetStyle() const { return fStyle; }
  void SetStyle(TPenStyle v);
  TPenMode GetMode() const { return fPen->Mode; }
  void SetMode(TPenMode v);
  std::uint8_t GetLineJoin() const { return fLineJoin; }
  void SetLineJoin(std::uint8_t v) { fLineJoin = v; }
  // The ends of open lines: 0 flat, 1 square, 2 round.
  std::uint8_t GetLineCap() const { return fLineCap; }
  void SetLineCap(std::uint8_t v) { fLineCap = v; }
  void SetHandle(const TPen& pen);

  TPen* Pen() const { return fPen; }
  // What the anti-aliased back end strokes with (width at least one pixel,
  // dashes scaled by the width); Visible is false for a clear pen.
  bool Visible() const { return fStyle != psClear && fTransparency > 0; }
  TAAStroke Stroke() const;

 private:
  TPen* fPen;
  TColor fColor;
  int fTransparency = 255;
  float fWidth;
  TPenStyle fStyle;
  std::uint8_t fLineJoin = 2;
  std::uint8_t fLineCap = 0;
};

class TIEBrush : public TObject {
 public:
  explicit TIEBrush(TBrush* ABrush);

  TColor GetColor() const { return fColor; }
  void SetColor(TColor v);
  int GetTransparency() const { return fTransparency; }
  void SetTransparency(int v) { fTransparency = v; }
  TColor GetBackColor() const { return fBackColor; }
  void SetBackColor(TColor v) { fBackColor = v; }
  int GetBackTransparency() const { return fBackTransparency; }
  void SetBackTransparency(int v) { fBackTransparency = v; }
  TBrushStyle GetStyle() const { return fStyle; }
  void SetStyle(TBrushStyle v);

  TBrush* Brush() const { return fBrush; }
  // Fills the path with this brush through the renderer (nothing for a
  // clear brush).
  void FillPath(TAARenderer& r, const TAAPath& path, TAAFillRule rule) const;

 private:
  TBrush* fBrush;
  TColor fColor;
  int fTransparency = 255;
  TColor fBackColor = 0;
  int fBackTransparency = 0;
  TBrushStyle fStyle;
};

class TIECanvas : public TObject {
 public:
  TIECanvas(TCanvas* ACanvas, bool AntiAlias = true, bool UseGDIPlus = true);
  ~TIECanvas() override;

  TCanvas* GetCanvas() const { return fCanvas; }
  // The device context of the wrapped canvas, valid while that canvas lives.
  HDC GetHandle() const { return fCanvas->Handle(); }
  TIEPen* Pen() const { return fPen.get(); }
  TIEBrush* Brush() const { return fBrush.get(); }
  TFont& Font() { return fCanvas->Font; }
  bool UseGDIPlus() const { return fUseGDIPlus; }
  TPoint GetPenPos() const { return fPenPos; }

  void SetSmoothingMode(int Mode);
  void SetPenPos(TPoint P);
  void MoveTo(int X, int Y);
  void LineTo(int X, int Y);
  void DrawLine(int X1, int Y1, int X2, int Y2);
  void FillRect(const TRect& R);
  void Rectangle(int X1, int Y1, int X2, int Y2);
  void Rectangle(const TRect& R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
  void Ellipse(int X1, int Y1, int X2, int Y2);
  void Ellipse(const TRect& R) { Ellipse(R.Left, R.Top, R.Right, R.Bottom); }
  void Polygon(const std::vector<TPoint>& Points);
  void Polyline(const std::vector<TPoint>& Points);
  void Arc(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4);
  void RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3);

  int TextWidth(const std::string& Text) { return fCanvas->TextWidth(Text); }
  int TextHeight(const std::string& Text) { return fCanvas->TextHeight(Text); }
  void TextOut(int X, int Y, const std::string& Text) { fCanvas->TextOut(X, Y, Text); }
  void TextRect(const TRect& R, int X, int Y, const std::string& Text) { fCanvas->TextRect(R, X, Y, Text); }
  // Text clipped to R, always through the plain canvas.
  void TextRectEx(const TRect& R, int X, int Y, const std::string& Text);

 private:
  void StrokePath(const TAAPath& path);

  TCanvas* fCanvas;
  std::unique_ptr<TIEPen> fPen;
  TPoint fPenPos;
  std::unique_ptr<TIEBrush> fBrush;
  bool fUseGDIPlus = false;
  std::unique_ptr<TAARenderer> fGraphics;
};

}  // namespace redozir
#pragma GCC visibility pop
