// TIEMask: the selection mask (1 or 8 bits per pixel, rows stored bottom-up)
// with its bounding box, polygon fill, translation and the drawing of the
// selection over a view's back buffer.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/core/ie_types.h"
#include "platform/canvas.h"
#include "platform/object.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

class TIEBitmap;

// The point that separates the sub-polygons of a selection polygon.
constexpr int IESELBREAK = 1048575;
// X1 of an empty bounding box.
constexpr int IEMASK_EMPTY = 0x7FFFFFFF;

class TIEMask : public TObject {
 public:
  TIEMask() = default;
  ~TIEMask() override = default;

  // Zero-filled rows aligned to 32 bits; bounding box empty. A size or bit
  // count that cannot be allocated raises EOutOfMemory and leaves an empty mask.
  void AllocateBits(int Width, int Height, int BitsPerPixel);
  // Changes the size keeping the content at the top-left.
  void Resize(int Width, int Height);
  void Assign(const TIEMask& Source);
  // Exchanges the whole content with Other: commits a mask built aside.
  void Swap(TIEMask& Other) noexcept;

  int Width() const { return fWidth; }
  int Height() const { return fHeight; }
  int BitsPerPixel() const { return fBitsPerPixel; }
  int RowLen() const { return fRowLen; }
  // Row Y of the image (rows are stored bottom-up).
  std::uint8_t* GetScanline(int Y);
  const std::uint8_t* GetScanline(int Y) const;
  std::uint8_t* Bits() { return fBits.get(); }

  // The value at (X, Y), 0 outside the mask.
  int GetPixel(int X, int Y) const;
  // Sets the bit or byte at (X, Y) (ignored outside); non-zero widens the box.
  void SetPixel(int X, int Y, int Value);
  bool IsPointInside(int X, int Y) const { return GetPixel(X, Y) != 0; }

  bool IsEmpty() const { return X1 == IEMASK_EMPTY; }
  void Empty();
  void SyncRect();
  void SyncFull();
  bool Full() const { return fFull; }

  // Moves the content by (DX, DY). With CutBorders what leaves the mask is
  // cut; otherwise DX, DY are first reduced so that the content stays inside.
  void Translate(int& DX, int& DY, bool CutBorders);

  // Fills every polygon of Points (sub-polygons separated by the point
  // (IESELBREAK, IESELBREAK)) with Value: a pixel belongs to a polygon when
  // its centre lies inside by the even-odd rule, with a centre on a left or
  // top edge inside and one on a right or bottom edge outside.
  void FillPolygons(int Value, const TPoint* Points, int Count);

  // Copies the pixels of Source under the set mask pixels into Dest. Source
  // covers the mask from (SourceX, SourceY) on (a selection's work bitmap);
  // both bitmaps must have the same pixel format. With DoAlpha the alpha
  // planes are copied the same way (Dest's Full flag cleared).
  void CopyBitmap(TIEBitmap* Dest, TIEBitmap* Source, bool DoAlpha, int SourceX = 0, int SourceY = 0);

  // Draws the border of the selected area on a 24- or 32-bit canvas: mask
  // pixel (x, y) is shown at (OffsetX + x * ZoomX, OffsetY + y * ZoomY); the
  // border alternates ColorA and ColorB in dashes of 4 pixels starting at
  // Phase (the marching ants).
  void DrawOutline(TCanvas* Canvas, int OffsetX, int OffsetY, double ZoomX, double ZoomY, TColor ColorA,
                   TColor ColorB, int Phase);
  // Inverts every other pixel (a checker) of the selected area stretched from
  // the mask rectangle Src onto the rectangle Dst of the canvas.
  void StretchDrawXor(TCanvas* Canvas, const TRect& Dst, const TRect& Src);
  // Darkens (halves) the pixels of Dst whose mask pixel (through the same
  // stretch) is not selected.
  void DrawOuter(TCanvas* Canvas, const TRect& Dst, const TRect& Src);

  // Inclusive bounding box of the set pixels (X1 = IEMASK_EMPTY when empty).
  int X1 = IEMASK_EMPTY;
  int Y1 = 0;
  int X2 = 0;
  int Y2 = 0;

 private:
  void Widen(int x1, int y1, int x2, int y2);
  void FillSpan(int y, int xa, int xb, int Value);

  int fWidth = 0;
  int fHeight = 0;
  int fBitsPerPixel = 1;
  int fRowLen = 0;
  bool fFull = false;
  std::unique_ptr<std::uint8_t[]> fBits;
};

}  // namespace redozir
#pragma GCC visibility pop
