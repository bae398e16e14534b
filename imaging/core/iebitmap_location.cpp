// TIEBitmap between its three storage locations, its work in place on a
// platform TBitmap, the row alignment and the copy of a platform bitmap.
#include <algorithm>
#include <cstring>

#include "imaging/core/ie_rowband.h"
#include "imaging/core/iebitmap.h"
#include "platform/canvas.h"

namespace redozir {

namespace {
[[noreturn]] void NoMemory(int w, int h) {
  throw EOutOfMemory("Cannot allocate a " + std::to_string(w) + " x " + std::to_string(h) + " bitmap");
}
}  // namespace

void TIEBitmap::SetLocation(TIELocation Location) {
  if (Location > ieTBitmap) return;
  if (Location == fLocation) return;
  if (Location == ieTBitmap) {
    // Only a few formats have a platform twin; the rest are drawn on as 24 bits.
    if (IEVclPixelFormat(fPixelFormat) == pfCustom) ConvertToPixelFormat(ie24RGB);
    if (fRowAlign != 32) SetRowAlign(32);
  }
  TIEBitmap staging;
  staging.fRowAlign = fRowAlign;
  staging.fMemoryThreshold = fMemoryThreshold;
  if (!staging.AllocateAt(fWidth, fHeight, fPixelFormat, Location)) NoMemory(fWidth, fHeight);
  staging.CopyRowsFrom(*this);
  staging.fPalette = fPalette;
  staging.fPaletteUsed = fPaletteUsed;
  SwapImage(staging);
  SyncVclPalette();
  // The plane goes to the disk with the image and stays in memory otherwise.
  if (fAlpha) fAlpha->SetLocation(fLocation == ieFile ? ieFile : ieMemory);
}

void TIEBitmap::AttachTBitmap(TBitmap* Bitmap, bool FreeCurrent) {
  if (!Bitmap) return;
  switch (Bitmap->PixelFormat()) {
    case pf1bit:
    case pf8bit:
    case pf24bit:
    case pf32bit: break;
    default: Bitmap->SetPixelFormat(pf24bit); break;
  }
  TIEPixelFormat pf = Bitmap->PixelFormat() == pf1bit    ? ie1g
                      : Bitmap->PixelFormat() == pf8bit  ? ie8p
                      : Bitmap->PixelFormat() == pf24bit ? ie24RGB
                                                         : ie32RGB;
  // An 8-bit platform bitmap holds grey or palette pixels alike: one we
  // already work on as grey stays grey when attached again.
  const bool keepGrey = pf == ie8p && fVclBitmap == Bitmap && fPixelFormat == ie8g;
  if (keepGrey) pf = ie8g;
  if (fVclBitmap == Bitmap && fLocation == ieTBitmap && fWidth == Bitmap->Width() &&
      fHeight == Bitmap->Height() && fPixelFormat == pf)
    return;
  // Re-attaching a bitmap we hold (resized behind our back) keeps it and
  // its ownership.
  bool owned = fVclBitmap == Bitmap && fOwnsVclBitmap;
  if (fVclBitmap == Bitmap) {
    fVclBitmap = nullptr;
    fOwnsVclBitmap = false;
  } else if (fVclBitmap && fOwnsVclBitmap && !FreeCurrent) {
    fRetired.emplace_back(fVclBitmap);
    fVclBitmap = nullptr;
    fOwnsVclBitmap = false;
  }
  FreePixels();
  fVclBitmap = Bitmap;
  fOwnsVclBitmap = owned;
  fLocation = ieTBitmap;
  fRowAlign = 32;
  fWidth = Bitmap->Width();
  fHeight = Bitmap->Height();
  fPixelFormat = pf;
  fBitCount = IEPixelFormatBits(pf);
  fRowLen = IEBitmapRowLen(fWidth, fBitCount, 32);
  fPalette.clear();
  ResetPalette();
  if (pf == ie8p) {
    const auto& q = Bitmap->Palette();
    for (size_t i = 0; i < q.size() && i < 256; ++i)
      fPalette[i] = TRGB{q[i].rgbBlue, q[i].rgbGreen, q[i].rgbRed};
    fPaletteUsed = static_cast<int>(std::min<size_t>(q.size(), 256));
  }
  if (keepGrey) SyncVclPalette();
}

TBitmap* TIEBitmap::GetVclBitmap() {
  if (fLocation != ieTBitmap) SetLocation(ieTBitmap);
  SyncVclPalette();
  return fVclBitmap;
}

TCanvas* TIEBitmap::GetCanvas() { return GetVclBitmap()->Canvas(); }

void TIEBitmap::SetRowAlign(int bits) {
  if (bits != 8 && bits != 16 && bits != 32 && bits != 64)
    throw EIEBitmapError("Unsupported row alignment: " + std::to_string(bits));
  if (bits == fRowAlign) return;
  TIEBitmap staging;
  staging.fRowAlign = bits;
  staging.fMemoryThreshold = fMemoryThreshold;
  TIELocation loc = fLocation == ieFile ? ieFile : ieMemory;
  if (!staging.AllocateAt(fWidth, fHeight, fPixelFormat, loc)) NoMemory(fWidth, fHeight);
  staging.CopyRowsFrom(*this);
  staging.fPalette = fPalette;
  staging.fPaletteUsed = fPaletteUsed;
  SwapImage(staging);
}

void TIEBitmap::Assign(TBitmap* Source) {
  if (!Source) return;
  int w = Source->Width(), h = Source->Height();
  if (Source->Empty()) w = h = 0;
  TIEPixelFormat pf;
  switch (Source->PixelFormat()) {
    case pf1bit: pf = ie1g; break;
    case pf4bit:
    case pf8bit: pf = ie8p; break;
    case pf15bit:
    case pf16bit:
    case pf24bit: pf = ie24RGB; break;
    default: pf = ie32RGB; break;
  }
  TIEBitmap staging;
  staging.fMemoryThreshold = fMemoryThreshold;
  if (!staging.Allocate(w, h, pf)) NoMemory(w, h);
  const auto& pal = Source->Palette();
  auto entry = [&](size_t i) {
    return i < pal.size() ? TRGB{pal[i].rgbBlue, pal[i].rgbGreen, pal[i].rgbRed} : TRGB{};
  };
  // A two-colour table whose first entry is the lighter one is stored with
  // the bits inverted, so that a set bit stays the lighter colour.
  bool invert = false;
  if (pf == ie1g) {
    TRGB c0 = entry(0), c1 = entry(1);
    invert = (c0.r * 21 + c0.g * 71 + c0.b * 8) > (c1.r * 21 + c1.g * 71 + c1.b * 8);
  } else if (pf == ie8p) {
    for (int i = 0; i < 256; ++i) staging.fPalette[i] = entry(static_cast<size_t>(i));
    staging.fPaletteUsed = static_cast<int>(std::min<size_t>(pal.size(), 256));
  }
  // A 5-bit channel is widened by repeating its top bits, so 31 gives 255.
  auto wide5 = [](unsigned v) { return static_cast<std::uint8_t>((v << 3) | (v >> 2)); };
  auto wide6 = [](unsigned v) { return static_cast<std::uint8_t>((v << 2) | (v >> 4)); };
  TIERowSink sink(&staging, 0, h);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* s = Source->ScanLine(y);
    std::uint8_t* d = sink.Row(y);
    switch (Source->PixelFormat()) {
      case pf1bit: {
        int n = (w + 7) / 8;
        for (int i = 0; i < n; ++i) d[i] = invert ? static_cast<std::uint8_t>(~s[i]) : s[i];
        break;
      }
      case pf4bit:
        for (int x = 0; x < w; ++x) d[x] = (x & 1) ? (s[x >> 1] & 0x0F) : (s[x >> 1] >> 4);
        break;
      case pf8bit: std::memcpy(d, s, static_cast<size_t>(w)); break;
      case pf15bit:
      case pf16bit:
        for (int x = 0; x < w; ++x) {
          unsigned v = s[2 * x] | (s[2 * x + 1] << 8);
          bool six = Source->PixelFormat() == pf16bit;
          d[3 * x] = wide5(v & 31);
          d[3 * x + 1] = six ? wide6((v >> 5) & 63) : wide5((v >> 5) & 31);
          d[3 * x + 2] = wide5(six ? (v >> 11) & 31 : (v >> 10) & 31);
        }
        break;
      case pf24bit: std::memcpy(d, s, static_cast<size_t>(w) * 3); break;
      default: std::memcpy(d, s, static_cast<size_t>(w) * 4); break;
    }
  }
  sink.Finish();
  TakeImage(staging);
  fFull = false;
  if (!fIsAlpha && fAlpha) {
    delete fAlpha;
    fAlpha = nullptr;
  }
}

}  // namespace redozir
