// TIEWorkBitmap, a plain row buffer, and TIEDibbitmap, the 1- or 24-bit
// bitmap that packed DIBs are drawn into.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/iebitmap.h"

#pragma GCC visibility push(default)
namespace redozir {

// Rows of Width x BitCount bits aligned to 32 bits, allocated when both
// sizes are at least 1 (and the size is sane); row 0 is the top row.
class TIEWorkBitmap {
 public:
  TIEWorkBitmap(int Width, int Height, int BitCount);
  int Width() const { return fWidth; }
  int Height() const { return fHeight; }
  int BitCount() const { return fBitCount; }
  int RowLen() const { return fRowLen; }
  bool Allocated() const { return !fBits.empty(); }
  // nullptr when nothing was allocated; raises ERangeError for a row outside.
  std::uint8_t* GetScanline(int Y);

 private:
  int fWidth = 0, fHeight = 0, fBitCount = 0, fRowLen = 0;
  std::vector<std::uint8_t> fBits;
};

// A 1- or 24-bit platform bitmap with a canvas of its own.
class TIEDibbitmap : public TIEBaseBitmap {
 public:
  TIEDibbitmap() = default;
  ~TIEDibbitmap() override = default;

  // Frees the old bits first; False (and nothing held) for a size of 0, a
  // bit count other than 1 or 24, or a failed allocation.
  bool AllocateBits(int Width, int Height, int BitCount);
  void FreeBits();
  TCanvas* Canvas();
  TBitmap* VclBitmap() { return fBitmap.get(); }

  std::uint8_t* GetScanline(int Y) override;
  int GetBitCount() const override { return fBitmap ? fBitmap->BitCount() : 0; }
  int GetHeight() const override { return fBitmap ? fBitmap->Height() : 0; }
  int GetWidth() const override { return fBitmap ? fBitmap->Width() : 0; }
  TIEPixelFormat GetPixelFormat() const override;
  int GetRowLen() const override { return fBitmap ? static_cast<int>(fBitmap->RowBytes()) : 0; }
  void SetPalette(int index, TRGB value) override;
  // ie1g and ie24RGB only; other formats answer False.
  bool Allocate(int ImageWidth, int ImageHeight, TIEPixelFormat ImagePixelFormat) override;
  // Copies a TIEBitmap or TIEDibbitmap of 1 or 24 bits (others through 24).
  void Assign(TIEBaseBitmap* Source) override;
  void CopyPaletteTo(TIEBaseBitmap* Dest) override;

 private:
  std::unique_ptr<TBitmap> fBitmap;
};

}  // namespace redozir
#pragma GCC visibility pop
