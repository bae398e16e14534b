// TIEBitmap's storage: allocation at the three locations, row access,
// palette, copies, the alpha plane and fills.
#include "imaging/core/iebitmap.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>

#include "imaging/core/ie_color.h"
#include "imaging/core/ie_diskbuffer.h"
#include "imaging/core/ie_pixelrow.h"
#include "imaging/core/ie_rowband.h"
#include "platform/numeric.h"

namespace redozir {

std::int64_t TIEBitmap::DefaultMemoryThreshold = IEDefaultMemoryThreshold();

namespace {
std::int64_t RowLen64(std::int64_t Width, int BitCount, int Align) {
  if (Align <= 0) Align = 8;
  return ((Width * BitCount + Align - 1) / Align) * (Align / 8);
}
}  // namespace

namespace {
// Rows x row length, saturated instead of overflowing.
std::int64_t ImageBytes(std::int64_t rowLen, std::int64_t rows) {
  std::int64_t total;
  return __builtin_mul_overflow(rowLen, rows, &total) ? INT64_MAX : total;
}
}  // namespace

int IEBitmapRowLen(int Width, int BitCount, int Align) {
  std::int64_t n = RowLen64(Width, BitCount, Align);
  return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

TPixelFormat IEVclPixelFormat(TIEPixelFormat pf) {
  switch (pf) {
    case ie1g: return pf1bit;
    case ie8p:
    case ie8g: return pf8bit;
    case ie24RGB: return pf24bit;
    case ie32RGB: return pf32bit;
    default: return pfCustom;
  }
}

TIEBitmap::TIEBitmap() = default;

TIEBitmap::TIEBitmap(int Width, int Height, TIEPixelFormat pf) { Allocate(Width, Height, pf); }

TIEBitmap::~TIEBitmap() {
  FreePixels();
  delete fAlpha;
}

void TIEBitmap::FreePixels() {
  fMemory.reset();
  fDisk.reset();
  if (fVclBitmap && fOwnsVclBitmap) delete fVclBitmap;
  fVclBitmap = nullptr;
  fOwnsVclBitmap = false;
}

std::uint8_t* TIEBitmap::GetScanline(int Y) {
  if (Y < 0 || Y >= fHeight) throw ERangeError("TIEBitmap row out of range: " + std::to_string(Y));
  switch (fLocation) {
    case ieMemory: return fMemory.get() + static_cast<std::int64_t>(fRowLen) * Y;
    case ieTBitmap:
      // A platform bitmap resized or reformatted behind our back would hand
      // out rows shorter than ours; it has to be attached again first.
      if (fVclBitmap->Width() != fWidth || fVclBitmap->Height() != fHeight ||
          fVclBitmap->PixelFormat() != IEVclPixelFormat(fPixelFormat))
        throw EIEBitmapError("The platform bitmap changed size or format; attach it again");
      return fVclBitmap->ScanLine(Y);
    default: return fDisk->Row(Y, fAccess);
  }
}

std::uint8_t* TIEBitmap::LockRow(int Y) {
  if (fLocation != ieFile) return GetScanline(Y);
  if (Y < 0 || Y >= fHeight) throw ERangeError("TIEBitmap row out of range: " + std::to_string(Y));
  return fDisk->LockRow(Y, fAccess);
}

void TIEBitmap::UnlockRow(int Y) {
  if (fLocation == ieFile && fDisk) fDisk->UnlockRow(Y);
}

std::uint8_t* TIEBitmap::LockRows() {
  if (fHeight <= 0) return nullptr;
  if (fLocation == ieFile) return fDisk->LockAll(fAccess);
  return GetScanline(0);
}

void TIEBitmap::UnlockRows() {
  if (fLocation == ieFile && fDisk) fDisk->UnlockAll();
}

void TIEBitmap::ReleaseRows(int First, int Count, bool Loose) {
  if (fLocation == ieFile && fDisk) fDisk->Release(First, Count, Loose);
}

void TIEBitmap::WriteRows(int First, int Count, const std::uint8_t* Data) {
  if (First < 0 || Count < 0 || First > fHeight - Count)
    throw ERangeError("TIEBitmap rows out of range: " + std::to_string(First) + " + " +
                      std::to_string(Count));
  if (fLocation == ieFile) {
    fDisk->WriteRows(First, Count, Data);
    return;
  }
  for (int i = 0; i < Count; ++i)
    std::memcpy(GetScanline(First + i), Data + static_cast<std::int64_t>(fRowLen) * i,
                static_cast<size_t>(fRowLen));
}

void TIEBitmap::SetPalette(int index, TRGB value) {
  if (index < 0 || index >= static_cast<int>(fPalette.size())) return;
  fPalette[index] = value;
  if (fLocation == ieTBitmap && fPixelFormat == ie8p) {
    auto& q = fVclBitmap->Palette();
    if (index < static_cast<int>(q.size())) q[index] = TRGBQuad{value.b, value.g, value.r, 0};
  }
}

void TIEBitmap::SetPaletteLength(int n) {
  n = std::clamp(n, 0, 65536);
  fPalette.resize(n);
  fPaletteUsed = std::min(fPaletteUsed, n);
  SyncVclPalette();
}

void TIEBitmap::SetPaletteUsed(int n) { fPaletteUsed = std::clamp(n, 0, GetPaletteLength()); }

void TIEBitmap::SyncVclPalette() {
  if (fLocation != ieTBitmap || !fVclBitmap) return;
  std::vector<TRGBQuad> q;
  if (fPixelFormat == ie8g) {
    for (int i = 0; i < 256; ++i) {
      auto v = static_cast<std::uint8_t>(i);
      q.push_back(TRGBQuad{v, v, v, 0});
    }
  } else if (fPixelFormat == ie8p || fPixelFormat == ie1g) {
    size_t n = fPixelFormat == ie1g ? 2 : 256;
    q.resize(n);
    for (size_t i = 0; i < n && i < fPalette.size(); ++i)
      q[i] = TRGBQuad{fPalette[i].b, fPalette[i].g, fPalette[i].r, 0};
  } else {
    return;
  }
  fVclBitmap->SetPalette(q);
}

bool TIEBitmap::AllocatePixels(int w, int h, TIEPixelFormat pf, TIELocation loc) {
  int bits = IEPixelFormatBits(pf);
  if (w < 0 || h < 0 || bits == 0) return false;
  if (loc == ieTBitmap && (IEVclPixelFormat(pf) == pfCustom || fRowAlign != 32)) loc = ieMemory;
  std::int64_t rowLen = RowLen64(w, bits, fRowAlign);
  std::int64_t total = ImageBytes(rowLen, h);
  if (total == 0 && loc == ieFile) loc = ieMemory;
  if (rowLen > INT_MAX || total > (loc == ieFile ? kMaxDiskBitmapBytes : kMaxBitmapBytes)) return false;
  if (loc != ieTBitmap && fVclBitmap) {
    if (fOwnsVclBitmap) delete fVclBitmap;
    fVclBitmap = nullptr;
    fOwnsVclBitmap = false;
  }
  fMemory.reset();
  fDisk.reset();
  switch (loc) {
    case ieTBitmap:
      if (!fVclBitmap) {
        fVclBitmap = new TBitmap();
        fOwnsVclBitmap = true;
      }
      try {
        // Emptying first spares the platform a conversion of pixels that
        // are about to be replaced.
        if (fVclBitmap->PixelFormat() != IEVclPixelFormat(pf)) {
          fVclBitmap->SetSize(0, 0);
          fVclBitmap->SetPixelFormat(IEVclPixelFormat(pf));
        }
        fVclBitmap->SetSize(w, h);
      } catch (const Exception&) {
        return false;
      }
      break;
    case ieFile:
      fDisk = TIEDiskBuffer::Create(rowLen, h);
      if (!fDisk) return false;
      break;
    default:
      if (total > 0) {
        fMemory = IENewPixels(total);
        if (!fMemory) return false;
      }
      break;
  }
  fLocation = loc;
  fWidth = w;
  fHeight = h;
  fPixelFormat = pf;
  fBitCount = bits;
  fRowLen = static_cast<int>(rowLen);
  ResetPalette();
  SyncVclPalette();
  return true;
}

void TIEBitmap::ResetPalette() {
  if (fPixelFormat == ie8p) {
    if (fPalette.size() != 256) fPalette.assign(256, TRGB{});
    fPaletteUsed = 256;
  } else if (fPixelFormat == ie1g) {
    fPalette = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
    fPaletteUsed = 2;
  } else {
    fPalette.clear();
    fPaletteUsed = 0;
  }
}

bool TIEBitmap::AllocateAt(int w, int h, TIEPixelFormat pf, TIELocation loc) {
  if (AllocatePixels(w, h, pf, loc)) return true;
  FreePixels();
  fWidth = fHeight = 0;
  fRowLen = 0;
  fLocation = ieMemory;
  return false;
}

bool TIEBitmap::Allocate(int ImageWidth, int ImageHeight, TIEPixelFormat ImagePixelFormat) {
  if (ImageWidth == fWidth && ImageHeight == fHeight && ImagePixelFormat == fPixelFormat &&
      (fMemory || fVclBitmap || fDisk || ImageWidth == 0 || ImageHeight == 0))
    return true;
  TIELocation want = ieMemory;
  if (fLocation == ieTBitmap) {
    want = ieTBitmap;
  } else if (fMemoryThreshold >= 0 && ImageWidth >= 0 && ImageHeight >= 0) {
    std::int64_t total =
        ImageBytes(RowLen64(ImageWidth, IEPixelFormatBits(ImagePixelFormat), fRowAlign), ImageHeight);
    if (total > fMemoryThreshold) want = ieFile;
  }
  return AllocateAt(ImageWidth, ImageHeight, ImagePixelFormat, want);
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

void TIEBitmap::SwapImage(TIEBitmap& o) {
  std::swap(fWidth, o.fWidth);
  std::swap(fHeight, o.fHeight);
  std::swap(fPixelFormat, o.fPixelFormat);
  std::swap(fBitCount, o.fBitCount);
  std::swap(fRowLen, o.fRowLen);
  std::swap(fRowAlign, o.fRowAlign);
  std::swap(fLocation, o.fLocation);
  std::swap(fMemory, o.fMemory);
  std::swap(fDisk, o.fDisk);
  std::swap(fVclBitmap, o.fVclBitmap);
  std::swap(fOwnsVclBitmap, o.fOwnsVclBitmap);
  std::swap(fPalette, o.fPalette);
  std::swap(fPaletteUsed, o.fPaletteUsed);
}

void TIEBitmap::CopyRowsFrom(TIEBitmap& Source) {
  std::int64_t n = std::min(RowLen64(fWidth, fBitCount, 8), RowLen64(Source.fWidth, Source.fBitCount, 8));
  n = std::min<std::int64_t>({n, fRowLen, Source.fRowLen});
  int h = std::min(fHeight, Source.fHeight);
  if (n <= 0 || h <= 0) return;
  TIERowSink sink(this, 0, h);
  for (int y = 0; y < h; ++y) std::memcpy(sink.Row(y), Source.GetScanline(y), static_cast<size_t>(n));
  sink.Finish();
}

void TIEBitmap::TakeImage(TIEBitmap& Staging) {
  if (fLocation == ieTBitmap && fVclBitmap && IEVclPixelFormat(Staging.fPixelFormat) != pfCustom &&
      Staging.fRowAlign == 32) {
    // Keep working in the platform bitmap: callers may hold it or its canvas.
    if (!AllocateAt(Staging.fWidth, Staging.fHeight, Staging.fPixelFormat, ieTBitmap))
      throw EOutOfMemory("Cannot allocate a " + std::to_string(Staging.fWidth) + " x " +
                         std::to_string(Staging.fHeight) + " bitmap");
    CopyRowsFrom(Staging);
    fPalette = Staging.fPalette;
    fPaletteUsed = Staging.fPaletteUsed;
    SyncVclPalette();
    return;
  }
  SwapImage(Staging);
}

void TIEBitmap::CopyPaletteTo(TIEBaseBitmap* Dest) {
  auto* d = dynamic_cast<TIEBitmap*>(Dest);
  if (!d) {
    // Another kind of bitmap takes the entries its palette has room for.
    for (int i = 0; Dest && i < GetPaletteLength() && i < Dest->GetPaletteLength(); ++i)
      Dest->SetPalette(i, fPalette[i]);
    return;
  }
  if (d == this) return;
  d->fPalette = fPalette;
  d->fPaletteUsed = fPaletteUsed;
  d->SyncVclPalette();
}

void TIEBitmap::Assign(TIEBaseBitmap* Source) {
  auto* src = dynamic_cast<TIEBitmap*>(Source);
  if (!src && Source) {
    // Another kind of bitmap is copied through the base operations.
    int w = Source->GetWidth(), h = Source->GetHeight();
    if (!Allocate(w, h, Source->GetPixelFormat()))
      throw EOutOfMemory("Cannot allocate a " + std::to_string(w) + " x " + std::to_string(h) + " bitmap");
    std::int64_t n = std::min<std::int64_t>({RowLen64(w, fBitCount, 8), fRowLen, Source->GetRowLen()});
    for (int y = 0; y < h && n > 0; ++y)
      std::memcpy(GetScanline(y), Source->GetScanline(y), static_cast<size_t>(n));
    Source->CopyPaletteTo(this);
    fFull = false;
    if (!fIsAlpha && fAlpha) {
      delete fAlpha;
      fAlpha = nullptr;
    }
    return;
  }
  if (!src || src == this) return;
  if (fRowAlign != src->fRowAlign) {
    FreePixels();
    fWidth = fHeight = 0;
    fLocation = ieMemory;
    fRowAlign = src->fRowAlign;
  }
  if (!Allocate(src->fWidth, src->fHeight, src->fPixelFormat))
    throw EOutOfMemory("Cannot allocate a " + std::to_string(src->fWidth) + " x " +
                       std::to_string(src->fHeight) + " bitmap");
  CopyRowsFrom(*src);
  fPalette = src->fPalette;
  fPaletteUsed = src->fPaletteUsed;
  SyncVclPalette();
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
  CopyRowsFrom(*Source);
  fPalette = Source->fPalette;
  fPaletteUsed = Source->fPaletteUsed;
  SyncVclPalette();
}

// --- alpha plane

TIEBitmap* TIEBitmap::GetAlphaChannel() {
  // The plane shares the image's location, but a platform bitmap never
  // holds it.
  TIELocation loc = fLocation == ieFile ? ieFile : ieMemory;
  if (!fAlpha) {
    auto plane = std::make_unique<TIEBitmap>();
    plane->fIsAlpha = true;
    plane->fMemoryThreshold = fMemoryThreshold;
    if (!plane->AllocateAt(fWidth, fHeight, ie8g, loc)) throw EOutOfMemory("Cannot allocate the alpha plane");
    plane->Fill(255);
    fAlpha = plane.release();
  } else if (fAlpha->fWidth != fWidth || fAlpha->fHeight != fHeight) {
    if (!fAlpha->AllocateAt(fWidth, fHeight, ie8g, loc))
      throw EOutOfMemory("Cannot allocate the alpha plane");
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
  // An image answers for its plane; a plane (or any grey bitmap) for itself.
  if (!fIsAlpha && fAlpha) {
    fAlpha->SyncFull();
    fFull = fAlpha->fFull;
    return;
  }
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
// The bytes of one pixel of the format for a fill value: a TColor (system
// colours resolved) for the colour formats, a level or index for grey and
// palette formats, the float itself for ie32f.
std::vector<std::uint8_t> FillPixelBytes(TIEPixelFormat pf, double v) {
  switch (pf) {
    case ie8p:
    case ie8g: return {static_cast<std::uint8_t>(RoundClamp(v, 0, 255))};
    case ie16g: {
      auto w = static_cast<std::uint16_t>(RoundClamp(v, 0, 65535));
      return {static_cast<std::uint8_t>(w & 0xFF), static_cast<std::uint8_t>(w >> 8)};
    }
    case ie32f: {
      float f = static_cast<float>(v);
      std::vector<std::uint8_t> b(4);
      std::memcpy(b.data(), &f, 4);
      return b;
    }
    default: {
      // A TColor arrives as a signed or an unsigned 32-bit value.
      double x = std::isnan(v) ? 0.0 : std::clamp(v, -2147483648.0, 4294967295.0);
      auto bits = static_cast<std::uint32_t>(static_cast<std::int64_t>(x));
      TColor c = ColorToRGB(static_cast<TColor>(bits));
      TRGB rgb{static_cast<std::uint8_t>(GetBValue(c)), static_cast<std::uint8_t>(GetGValue(c)),
               static_cast<std::uint8_t>(GetRValue(c))};
      std::vector<std::uint8_t> b(8);
      if (!IERowFromRGB(pf, &rgb, 1, b.data())) return {};
      b.resize(static_cast<size_t>(IEPixelFormatBits(pf) / 8));
      return b;
    }
  }
}

bool IsFormatMaximum(TIEPixelFormat pf, double v) {
  switch (pf) {
    case ie1g: return v != 0;
    case ie8g:
    case ie8p: return v >= 255;
    case ie16g: return v >= 65535;
    case ie32f: return v >= 1.0;
    default: return false;
  }
}
}  // namespace

void TIEBitmap::Fill(double Value) { FillRect(0, 0, fWidth - 1, fHeight - 1, Value); }

void TIEBitmap::FillRect(int x1, int y1, int x2, int y2, double Value) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, fWidth - 1);
  y2 = std::min(y2, fHeight - 1);
  if (x1 > x2 || y1 > y2) return;
  // Whole rows go through a sink (on the disk buffer, to the file in bands:
  // a new alpha plane is filled so).
  std::optional<TIERowSink> sink;
  if (x1 == 0 && x2 == fWidth - 1) sink.emplace(this, y1, y2 - y1 + 1);
  auto rowAt = [&](int y) { return sink ? sink->Row(y) : GetScanline(y); };
  if (fPixelFormat == ie1g) {
    bool on = Value != 0;
    for (int y = y1; y <= y2; ++y) {
      std::uint8_t* row = rowAt(y);
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
      std::uint8_t* p = rowAt(y) + static_cast<size_t>(x1) * n;
      if (n == 1) {
        std::memset(p, px[0], static_cast<size_t>(x2 - x1 + 1));
      } else {
        for (int x = x1; x <= x2; ++x, p += n) std::memcpy(p, px.data(), n);
      }
    }
  }
  if (sink) sink->Finish();
  bool whole = x1 == 0 && y1 == 0 && x2 == fWidth - 1 && y2 == fHeight - 1;
  bool top = IsFormatMaximum(fPixelFormat, Value);
  if (whole)
    fFull = top;
  else if (!top)
    fFull = false;
}

}  // namespace redozir
