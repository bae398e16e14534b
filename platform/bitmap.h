// TBitmap: the platform's device-independent bitmap. Rows are top-down
// (ScanLine(0) is the top row) and aligned to 32 bits; formats of 1, 4 and 8
// bits carry a palette.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

// A palette entry as a bitmap's colour table stores it.
struct TRGBQuad {
  std::uint8_t rgbBlue = 0;
  std::uint8_t rgbGreen = 0;
  std::uint8_t rgbRed = 0;
  std::uint8_t rgbReserved = 0;
  friend bool operator==(const TRGBQuad&, const TRGBQuad&) = default;
};

class TCanvas;

int PixelFormatBits(TPixelFormat pf);
// Bytes of one row of the given width and bit count, aligned to 32 bits.
std::int64_t BytesPerScanline(std::int64_t width, int bitCount, int alignBits = 32);

class TBitmap {
 public:
  TBitmap();
  TBitmap(int width, int height, TPixelFormat pf = pf24bit);
  virtual ~TBitmap();
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  TPixelFormat PixelFormat() const { return pf_; }
  int BitCount() const { return PixelFormatBits(pf_); }
  std::int64_t RowBytes() const { return rowBytes_; }
  bool Empty() const { return width_ <= 0 || height_ <= 0; }

  void SetWidth(int w) { SetSize(w, height_); }
  void SetHeight(int h) { SetSize(width_, h); }
  // Resizes keeping the top-left content; new pixels are 0. Sizes outside
  // 0..0x7FFFFFF or a byte size above the platform's cap raise EOutOfMemory.
  void SetSize(int w, int h);
  // Changes the format, converting the pixels (colour to palette formats by
  // the nearest palette entry; the default palette is the one of the format).
  void SetPixelFormat(TPixelFormat pf);

  std::uint8_t* ScanLine(int y);
  const std::uint8_t* ScanLine(int y) const;
  std::uint8_t* Bits() { return bits_.data(); }
  std::int64_t ImageSize() const { return rowBytes_ * height_; }

  // The colour table of a 1-, 4- or 8-bit bitmap.
  std::vector<TRGBQuad>& Palette() { return palette_; }
  const std::vector<TRGBQuad>& Palette() const { return palette_; }
  void SetPalette(const std::vector<TRGBQuad>& pal) { palette_ = pal; }

  // The colour of a pixel as a TColor, for any format.
  TColor GetPixel(int x, int y) const;
  // Stores a colour (the nearest palette entry in palette formats).
  void SetPixel(int x, int y, TColor c);
  // The palette index nearest to a colour.
  int NearestPaletteIndex(TColor c) const;
  // An 8-bit bitmap whose colour table is the grey ramp (entry i is grey i):
  // its bytes are levels, such as an alpha plane's, that drawing blends.
  bool IsGreyRamp() const;

  TCanvas* Canvas();
  bool HasCanvas() const { return canvas_ != nullptr; }
  void Assign(const TBitmap& src);

  // Increments whenever the pixels are reallocated; views that cache a pointer
  // to the rows compare it.
  std::uint64_t Generation() const { return generation_; }

 private:
  void Reallocate(int w, int h, TPixelFormat pf, bool keep);

  int width_ = 0;
  int height_ = 0;
  TPixelFormat pf_ = pf24bit;
  std::int64_t rowBytes_ = 0;
  std::vector<std::uint8_t> bits_;
  std::vector<TRGBQuad> palette_;
  std::unique_ptr<TCanvas> canvas_;
  std::uint64_t generation_ = 0;
};

// The platform's cap on one bitmap's pixel bytes (a guard against absurd sizes).
constexpr std::int64_t kMaxBitmapBytes = std::int64_t(4) << 30;
// The default colour table of a palette format (black/white, the 16 VGA
// colours, or a 6x6x6 cube with greys for 8 bits).
std::vector<TRGBQuad> DefaultPalette(TPixelFormat pf);

}  // namespace redozir
#pragma GCC visibility pop
