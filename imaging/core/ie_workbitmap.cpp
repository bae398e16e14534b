// TIEWorkBitmap and TIEDibbitmap.
#include "imaging/core/ie_workbitmap.h"

#include <cstring>
#include <new>

#include "platform/canvas.h"

namespace redozir {

TIEWorkBitmap::TIEWorkBitmap(int Width, int Height, int BitCount) {
  if (Width < 1 || Height < 1 || BitCount < 1 || BitCount > 64) return;
  std::int64_t rowLen = BytesPerScanline(Width, BitCount, 32);
  if (rowLen * Height > kMaxBitmapBytes) throw EOutOfMemory("Cannot allocate a work bitmap");
  fBits.resize(static_cast<size_t>(rowLen * Height));
  fWidth = Width;
  fHeight = Height;
  fBitCount = BitCount;
  fRowLen = static_cast<int>(rowLen);
}

std::uint8_t* TIEWorkBitmap::GetScanline(int Y) {
  if (fBits.empty()) return nullptr;
  if (Y < 0 || Y >= fHeight) throw ERangeError("Work bitmap row out of range: " + std::to_string(Y));
  return fBits.data() + static_cast<std::int64_t>(fRowLen) * Y;
}

bool TIEDibbitmap::AllocateBits(int Width, int Height, int BitCount) {
  FreeBits();
  if (Width < 1 || Height < 1 || (BitCount != 1 && BitCount != 24)) return false;
  try {
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(BitCount == 1 ? pf1bit : pf24bit);
    b->SetSize(Width, Height);
    fBitmap = std::move(b);
  } catch (const Exception&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (BitCount == 1) fPalette = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
  return true;
}

void TIEDibbitmap::FreeBits() {
  fBitmap.reset();
  fPalette.clear();
}

TCanvas* TIEDibbitmap::Canvas() { return fBitmap ? fBitmap->Canvas() : nullptr; }

std::uint8_t* TIEDibbitmap::GetScanline(int Y) {
  if (!fBitmap) throw ERangeError("TIEDibbitmap has no bits");
  return fBitmap->ScanLine(Y);
}

TIEPixelFormat TIEDibbitmap::GetPixelFormat() const {
  if (!fBitmap) return ienull;
  return fBitmap->PixelFormat() == pf1bit ? ie1g : ie24RGB;
}

void TIEDibbitmap::SetPalette(int index, TRGB value) {
  if (index < 0 || index >= static_cast<int>(fPalette.size())) return;
  fPalette[index] = value;
  auto& q = fBitmap->Palette();
  if (index < static_cast<int>(q.size())) q[index] = TRGBQuad{value.b, value.g, value.r, 0};
}

bool TIEDibbitmap::Allocate(int ImageWidth, int ImageHeight, TIEPixelFormat ImagePixelFormat) {
  if (ImagePixelFormat != ie1g && ImagePixelFormat != ie24RGB) return false;
  if (fBitmap && GetWidth() == ImageWidth && GetHeight() == ImageHeight &&
      GetPixelFormat() == ImagePixelFormat)
    return true;
  return AllocateBits(ImageWidth, ImageHeight, ImagePixelFormat == ie1g ? 1 : 24);
}

void TIEDibbitmap::Assign(TIEBaseBitmap* Source) {
  if (!Source || Source == this) return;
  if (Source->GetWidth() < 1 || Source->GetHeight() < 1) {
    FreeBits();
    return;
  }
  TIEBitmap converted;
  TIEBaseBitmap* src = Source;
  TIEPixelFormat pf = Source->GetPixelFormat();
  if (pf != ie1g && pf != ie24RGB) {
    auto* ie = dynamic_cast<TIEBitmap*>(Source);
    if (!ie) return;
    converted.Allocate(ie->GetWidth(), ie->GetHeight(), ie24RGB);
    converted.ConvertFrom(ie);
    src = &converted;
    pf = ie24RGB;
  }
  if (!Allocate(src->GetWidth(), src->GetHeight(), pf))
    throw EOutOfMemory("Cannot allocate a " + std::to_string(src->GetWidth()) + " x " +
                       std::to_string(src->GetHeight()) + " bitmap");
  std::int64_t n = BytesPerScanline(src->GetWidth(), pf == ie1g ? 1 : 24, 8);
  for (int y = 0; y < GetHeight(); ++y)
    std::memcpy(GetScanline(y), src->GetScanline(y), static_cast<size_t>(n));
  src->CopyPaletteTo(this);
}

void TIEDibbitmap::CopyPaletteTo(TIEBaseBitmap* Dest) {
  if (!Dest || Dest == this) return;
  for (int i = 0; i < static_cast<int>(fPalette.size()) && i < Dest->GetPaletteLength(); ++i)
    Dest->SetPalette(i, fPalette[i]);
}

}  // namespace redozir
