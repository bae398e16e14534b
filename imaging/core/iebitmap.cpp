#include "imaging/core/iebitmap.h"
#include "imaging/core/ie_diskbuffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

std::int64_t TIEBitmap::DefaultMemoryThreshold = std::int64_t(1) << 30;

int IEBitmapRowLen(int Width, int BitCount, int Align) {
  if (Align <= 0) Align = 8;
  std::int64_t bits = static_cast<std::int64_t>(Width) * BitCount;
  return static_cast<int>(((bits + Align - 1) / Align) * (Align / 8));
}

TIEBitmap::TIEBitmap() = default;

TIEBitmap::TIEBitmap(int Width, int Height, TIEPixelFormat pf) { Allocate(Width, Height, pf); }

TIEBitmap::~TIEBitmap() {
  FreePixels();
  if (fAlpha) delete fAlpha;
}

void TIEBitmap::FreePixels() {
  fMemory.reset();
  if (fVclBitmap && fOwnsVclBitmap) delete fVclBitmap;
  fVclBitmap = nullptr;
  fOwnsVclBitmap = false;
}

std::uint8_t* TIEBitmap::GetScanline(int Y) {
  if (Y < 0 || Y >= fHeight) throw ERangeError("TIEBitmap row out of range: " + std::to_string(Y));
  switch (fLocation) {
    case ieMemory: return fMemory.get() + static_cast<std::int64_t>(fRowLen) * Y;
    case ieTBitmap: return fVclBitmap->ScanLine(Y);
    default: return LockRow(Y);
  }
}

std::uint8_t* TIEBitmap::LockRow(int Y) {
  if (fLocation != ieFile) return GetScanline(Y);
  throw EIEBitmapError("disk buffer not available");
}

void TIEBitmap::UnlockRow(int) {}

TRGB TIEBitmap::GetPalette(int index) const {
  if (index < 0 || index >= static_cast<int>(fPalette.size())) return TRGB{};
  return fPalette[index];
}

void TIEBitmap::SetPalette(int index, TRGB value) {
  if (index < 0 || index >= static_cast<int>(fPalette.size())) return;
  fPalette[index] = value;
}

void TIEBitmap::SetPaletteLength(int n) {
  n = std::clamp(n, 0, 65536);
  fPalette.resize(n);
  fPaletteUsed = std::min(fPaletteUsed, n);
}

void TIEBitmap::SetPaletteUsed(int n) { fPaletteUsed = std::clamp(n, 0, GetPaletteLength()); }

bool TIEBitmap::AllocatePixels(int w, int h, TIEPixelFormat pf, TIELocation loc) {
  int bits = IEPixelFormatBits(pf);
  if (w < 0 || h < 0 || bits == 0) return false;
  std::int64_t rowLen = IEBitmapRowLen(w, bits, fRowAlign);
  std::int64_t total = rowLen * h;
  if (rowLen > 0x7FFFFFFF || total > kMaxBitmapBytes) return false;
  if (loc == ieTBitmap) {
    // Only the formats a platform bitmap can hold live there.
    TPixelFormat vpf = pf == ie1g ? pf1bit : pf == ie24RGB ? pf24bit : pf == ie32RGB ? pf32bit : pfCustom;
    if (vpf == pfCustom || fRowAlign != 32) {
      loc = ieMemory;
    } else {
      if (!fVclBitmap) {
        fVclBitmap = new TBitmap();
        fOwnsVclBitmap = true;
      }
      try {
        fVclBitmap->SetPixelFormat(vpf);
        fVclBitmap->SetSize(w, h);
      } catch (const Exception&) {
        return false;
      }
      fLocation = ieTBitmap;
    }
  }
  if (loc != ieTBitmap) {
    if (total > 0) {
      fMemory.reset(new (std::nothrow) std::uint8_t[static_cast<size_t>(total)]);
      if (!fMemory) return false;
    }
    fLocation = ieMemory;
  }
  fWidth = w;
  fHeight = h;
  fPixelFormat = pf;
  fBitCount = bits;
  fRowLen = static_cast<int>(rowLen);
  if (pf == ie8p) {
    if (fPalette.size() != 256) fPalette.assign(256, TRGB{});
    fPaletteUsed = 256;
  } else if (pf == ie1g) {
    fPalette = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
    fPaletteUsed = 2;
  } else {
    fPalette.clear();
    fPaletteUsed = 0;
  }
  return true;
}

bool TIEBitmap::Allocate(int ImageWidth, int ImageHeight, TIEPixelFormat ImagePixelFormat) {
  if (ImageWidth == fWidth && ImageHeight == fHeight && ImagePixelFormat == fPixelFormat &&
      (fMemory || fVclBitmap || fDisk || ImageWidth == 0 || ImageHeight == 0))
    return true;
  TIELocation want = fLocation == ieTBitmap ? ieTBitmap : ieMemory;
  if (want != ieTBitmap) FreePixels();
  if (!AllocatePixels(ImageWidth, ImageHeight, ImagePixelFormat, want)) {
    FreePixels();
    fWidth = fHeight = 0;
    fRowLen = 0;
    fLocation = ieMemory;
    return false;
  }
  return true;
}

void TIEBitmap::FreeImage(bool FreeAlpha) {
  FreePixels();
  fWidth = fHeight = 0;
  fRowLen = 0;
  fLocation = ieMemory;
  if (FreeAlpha && fAlpha) {
    delete fAlpha;
    fAlpha = nullptr;
  }
}

void TIEBitmap::CopyPaletteTo(TIEBaseBitmap* Dest) {
  auto* d = dynamic_cast<TIEBitmap*>(Dest);
  if (!d || d == this) return;
  d->fPalette = fPalette;
  d->fPaletteUsed = fPaletteUsed;
}

void TIEBitmap::Assign(TIEBaseBitmap* Source) {
  auto* src = dynamic_cast<TIEBitmap*>(Source);
  if (!src || src == this) return;
  fRowAlign = src->fRowAlign;
  if (!Allocate(src->fWidth, src->fHeight, src->fPixelFormat))
    throw EOutOfMemory("Cannot allocate a " + std::to_string(src->fWidth) + " x " +
                       std::to_string(src->fHeight) + " bitmap");
  int n = std::min(fRowLen, src->fRowLen);
  for (int y = 0; y < fHeight; ++y) std::memcpy(GetScanline(y), src->GetScanline(y), n);
  fPalette = src->fPalette;
  fPaletteUsed = src->fPaletteUsed;
  fFull = src->fFull;
  fDitherMethod = src->fDitherMethod;
  if (!fIsAlpha) {
    if (src->fAlpha) {
      GetAlphaChannel()->Assign(src->fAlpha);
      fAlpha->fIsAlpha = true;
    } else if (fAlpha) {
      delete fAlpha;
      fAlpha = nullptr;
    }
  }
}

void TIEBitmap::AssignImage(TIEBitmap* Source) {
  if (!Source || Source == this || Source->fWidth == 0 || Source->fHeight == 0) return;
  if (!Allocate(Source->fWidth, Source->fHeight, Source->fPixelFormat))
    throw EOutOfMemory("Cannot allocate a " + std::to_string(Source->fWidth) + " x " +
                       std::to_string(Source->fHeight) + " bitmap");
  int n = std::min(fRowLen, Source->fRowLen);
  for (int y = 0; y < fHeight; ++y) std::memcpy(GetScanline(y), Source->GetScanline(y), n);
  fPalette = Source->fPalette;
  fPaletteUsed = Source->fPaletteUsed;
}

// --- alpha plane

TIEBitmap* TIEBitmap::GetAlphaChannel() {
  if (!fAlpha) {
    auto plane = std::make_unique<TIEBitmap>();
    plane->fIsAlpha = true;
    plane->fMemoryThreshold = fMemoryThreshold;
    if (!plane->Allocate(fWidth, fHeight, ie8g))
      throw EOutOfMemory("Cannot allocate the alpha plane");
    plane->Fill(255);
    fAlpha = plane.release();
  } else if (fAlpha->fWidth != fWidth || fAlpha->fHeight != fHeight) {
    fAlpha->Allocate(fWidth, fHeight, ie8g);
    fAlpha->Fill(255);
  }
  return fAlpha;
}

void TIEBitmap::SetAlphaChannel(TIEBitmap* Plane) {
  // The bitmap takes the plane over; a different previous plane is freed
  // rather than leaked.
  if (Plane == fAlpha) return;
  delete fAlpha;
  fAlpha = Plane;
  if (fAlpha) fAlpha->fIsAlpha = true;
}

void TIEBitmap::RemoveAlphaChannel(bool Merge, TColor Background) {
  if (!fAlpha) return;
  if (Merge && fPixelFormat == ie24RGB) {
    TColor bgc = ColorToRGB(Background);
    int bg[3] = {GetBValue(bgc), GetGValue(bgc), GetRValue(bgc)};
    for (int y = 0; y < fHeight; ++y) {
      std::uint8_t* p = GetScanline(y);
      const std::uint8_t* a = fAlpha->GetScanline(y);
      for (int x = 0; x < fWidth; ++x)
        for (int c = 0; c < 3; ++c) {
          int v = p[3 * x + c];
          p[3 * x + c] = static_cast<std::uint8_t>(bg[c] + (v - bg[c]) * a[x] / 256);
        }
    }
  }
  delete fAlpha;
  fAlpha = nullptr;
}

std::uint8_t TIEBitmap::GetAlpha(int X, int Y) {
  if (fIsAlpha) return GetScanline(Y)[X];
  return GetAlphaChannel()->GetScanline(Y)[X];
}

void TIEBitmap::SyncFull() {
  fFull = false;
  if (fPixelFormat != ie8g) return;
  for (int y = 0; y < fHeight; ++y) {
    const std::uint8_t* p = GetScanline(y);
    for (int x = 0; x < fWidth; ++x)
      if (p[x] != 255) return;
  }
  fFull = true;
}

// --- fill

namespace {
// The bytes of one pixel of the format for a fill value.
std::vector<std::uint8_t> FillPixelBytes(TIEPixelFormat pf, double v) {
  auto clampTo = [](double x, double hi) { return std::isnan(x) ? 0.0 : std::clamp(x, 0.0, hi); };
  auto colorOf = [&](double x) {
    return ColorToRGB(static_cast<TColor>(static_cast<std::int64_t>(clampTo(x, 4294967295.0))));
  };
  switch (pf) {
    case ie8p:
    case ie8g: return {static_cast<std::uint8_t>(clampTo(v, 255))};
    case ie16g: {
      auto w = static_cast<std::uint16_t>(clampTo(v, 65535));
      return {static_cast<std::uint8_t>(w & 0xFF), static_cast<std::uint8_t>(w >> 8)};
    }
    case ie32f: {
      float f = static_cast<float>(v);
      std::vector<std::uint8_t> b(4);
      std::memcpy(b.data(), &f, 4);
      return b;
    }
    case ie24RGB: {
      TColor c = colorOf(v);
      return {static_cast<std::uint8_t>(GetBValue(c)), static_cast<std::uint8_t>(GetGValue(c)),
              static_cast<std::uint8_t>(GetRValue(c))};
    }
    case ie32RGB: {
      TColor c = colorOf(v);
      return {static_cast<std::uint8_t>(GetBValue(c)), static_cast<std::uint8_t>(GetGValue(c)),
              static_cast<std::uint8_t>(GetRValue(c)), 0};
    }
    case ieRGB48: {
      TColor c = colorOf(v);
      std::vector<std::uint8_t> b(6);
      std::uint16_t w[3] = {static_cast<std::uint16_t>(GetRValue(c) * 257),
                            static_cast<std::uint16_t>(GetGValue(c) * 257),
                            static_cast<std::uint16_t>(GetBValue(c) * 257)};
      std::memcpy(b.data(), w, 6);
      return b;
    }
    case ieCMYK: {
      TColor c = colorOf(v);
      int r = GetRValue(c), g = GetGValue(c), bl = GetBValue(c);
      int k = 255 - std::max({r, g, bl});
      auto ch = [&](int x) { return static_cast<std::uint8_t>(k == 255 ? 0 : (255 - x - k) * 255 / (255 - k)); };
      return {ch(r), ch(g), ch(bl), static_cast<std::uint8_t>(k)};
    }
    default: return {};
  }
}
}  // namespace

void TIEBitmap::Fill(double Value) {
  FillRect(0, 0, fWidth - 1, fHeight - 1, Value);
}

void TIEBitmap::FillRect(int x1, int y1, int x2, int y2, double Value) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, fWidth - 1);
  y2 = std::min(y2, fHeight - 1);
  if (x1 > x2 || y1 > y2) return;
  if (fPixelFormat == ie1g) {
    bool on = Value != 0;
    for (int y = y1; y <= y2; ++y) {
      std::uint8_t* row = GetScanline(y);
      for (int x = x1; x <= x2; ++x) {
        std::uint8_t m = static_cast<std::uint8_t>(0x80 >> (x & 7));
        row[x >> 3] = on ? (row[x >> 3] | m) : (row[x >> 3] & ~m);
      }
    }
  } else {
    std::vector<std::uint8_t> px = FillPixelBytes(fPixelFormat, Value);
    if (px.empty()) return;
    size_t n = px.size();
    for (int y = y1; y <= y2; ++y) {
      std::uint8_t* p = GetScanline(y) + static_cast<size_t>(x1) * n;
      if (n == 1) {
        std::memset(p, px[0], static_cast<size_t>(x2 - x1 + 1));
      } else {
        for (int x = x1; x <= x2; ++x, p += n) std::memcpy(p, px.data(), n);
      }
    }
  }
  bool whole = x1 == 0 && y1 == 0 && x2 == fWidth - 1 && y2 == fHeight - 1;
  if (whole) fFull = (fPixelFormat == ie8g && Value >= 255) || (fPixelFormat == ie1g && Value != 0);
  else if (fFull && !(fPixelFormat == ie8g && Value >= 255)) fFull = false;
}
