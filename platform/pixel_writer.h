// Writes runs of pixels of one paint (a solid colour or a hatch, under a pen
// mode) into a bitmap's rows, in every pixel format, cut to the bitmap and a
// clip region and never touching a row's padding.
#pragma once

#include <cstdint>

#include "platform/bitmap.h"
#include "platform/graphics.h"
#include "platform/region.h"

#pragma GCC visibility push(default)
namespace redozir {

// The value a colour takes in a bitmap's pixels: a palette index, a packed
// 15- or 16-bit word, or 0x00RRGGBB for 24 and 32 bits.
std::uint32_t RawPixelValue(const TBitmap& bmp, TColor c);
// Applies a binary raster operation (pen mode) to a pen and a destination value.
std::uint32_t ApplyPenMode(TPenMode mode, std::uint32_t pen, std::uint32_t dst);
// Whether a hatch style marks pixel (x, y) (patterns of 8 x 8 anchored at 0, 0).
bool HatchBit(TBrushStyle style, int x, int y);

class TCanvas;

class TPixelWriter {
 public:
  TPixelWriter(TBitmap& bmp, const TRegion* clip);
  // Coordinates are moved by offset on the way to the bitmap; bounds and the
  // clip region are in the coordinates before the move. A canvas to report
  // to hears of the pixels written (TCanvas::Changed) when the writer ends.
  TPixelWriter(TBitmap& bmp, const TRegion* clip, const TRect& bounds, TPoint offset,
               TCanvas* reportTo = nullptr);
  ~TPixelWriter();
  TPixelWriter(const TPixelWriter&) = delete;
  TPixelWriter& operator=(const TPixelWriter&) = delete;

  void SetSolid(TColor c, TPenMode mode = pmCopy);
  // A value already in the bitmap's pixel format (RawPixelValue).
  void SetRaw(std::uint32_t raw, TPenMode mode = pmCopy);
  // Hatch pixels in the colour; the others are left alone.
  void SetHatch(TColor c, TBrushStyle style, TPenMode mode = pmCopy);

  void Span(int y, int x0, int x1);
  void Pixel(int x, int y) { Span(y, x, x + 1); }
  void Region(const TRegion& r);

  int BitCount() const { return bits_; }

 private:
  void RawSpan(int y, int x0, int x1);

  TBitmap& bmp_;
  const TRegion* clip_;
  TRect bounds_;
  TPoint offset_;
  int bits_;
  std::uint32_t mask_;
  std::uint32_t value_ = 0;
  TPenMode mode_ = pmCopy;
  TBrushStyle hatch_ = bsSolid;
  TCanvas* reportTo_ = nullptr;
  // The box of the runs written, before the move.
  TRect written_;
};

// Reads and writes one raw pixel of a row.
std::uint32_t ReadRaw(const std::uint8_t* row, int x, int bits);
void WriteRaw(std::uint8_t* row, int x, int bits, std::uint32_t v);

}  // namespace redozir
#pragma GCC visibility pop
