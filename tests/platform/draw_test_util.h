// Helpers of the drawing tests: bitmaps in every drawable format and a
// picture of which pixels differ from the background.
#pragma once

#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/canvas.h"

using namespace redozir;

inline const std::vector<TPixelFormat> kDrawFormats = {pf1bit, pf8bit, pf24bit, pf32bit};

// A w x h bitmap filled with white.
inline TBitmap* WhiteBitmap(TBitmap& b, int w, int h, TPixelFormat pf) {
  b.SetPixelFormat(pf);
  b.SetSize(w, h);
  b.Canvas()->Brush.Color = clWhite;
  b.Canvas()->Brush.Style = bsSolid;
  b.Canvas()->FillRect({0, 0, w, h});
  return &b;
}

// One text line per row: '#' where the pixel is not white, '.' elsewhere.
inline std::string Picture(const TBitmap& b) {
  std::string s;
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) s += b.GetPixel(x, y) == clWhite ? '.' : '#';
    s += '\n';
  }
  return s;
}

inline std::string Rows(std::initializer_list<const char*> rows) {
  std::string s;
  for (const char* r : rows) (s += r) += '\n';
  return s;
}

// The padding bytes of every row, to check that drawing never touches them.
inline std::vector<std::uint8_t> Padding(TBitmap& b) {
  std::vector<std::uint8_t> out;
  long long used = (static_cast<long long>(b.Width()) * b.BitCount() + 7) / 8;
  for (int y = 0; y < b.Height(); ++y) {
    const std::uint8_t* row = b.ScanLine(y);
    for (long long i = used; i < b.RowBytes(); ++i) out.push_back(row[i]);
    // The unused low bits of a 1-bit row's last byte are padding too.
    if (b.BitCount() == 1 && b.Width() % 8) out.push_back(row[used - 1] & ((1u << (8 - b.Width() % 8)) - 1));
  }
  return out;
}
