// TIEBitmap's own raw layout, "TIEBITMAPRAW". Version 1, little-endian:
//   12 bytes  "TIEBITMAPRAW"
//   u32       version (1)
//   u32, u32  palette entries N (at most 65536), entries in use (at most N)
//   N x 3     palette entries: blue, green, red
//   i32, i32  width, height (not negative)
//   u8        pixel format (1..10)
//   u8        flags: 1 an alpha plane follows, 2 the Full flag
//   u8        dither method (0 ordered, 1 threshold)
//   u8        row alignment in bits (8, 16, 32 or 64)
//   rows      height rows of (width x bits per pixel + 7) div 8 bytes, top first
//   alpha     when flagged: u8 plane flags (1 Full), then height rows of width bytes
#include <cstring>
#include <vector>

#include "imaging/core/ie_rowband.h"
#include "imaging/core/iebitmap.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"

namespace redozir {

namespace {
constexpr char kSignature[] = "TIEBITMAPRAW";
constexpr std::uint32_t kVersion = 1;
constexpr std::int64_t kMaxPalette = 65536;

std::int64_t PackedRow(std::int64_t width, int bits) { return (width * bits + 7) / 8; }

// Reads h rows of n bytes into b, clearing the alignment padding.
void ReadRows(TByteReader& r, TIEBitmap& b, std::int64_t n) {
  if (b.GetRowLen() == 0) return;  // a width of 0 has no rows to fill
  TIERowSink sink(&b, 0, b.GetHeight());
  for (int y = 0; y < b.GetHeight(); ++y) {
    std::uint8_t* row = sink.Row(y);
    r.Bytes(row, n);
    std::memset(row + n, 0, static_cast<size_t>(b.GetRowLen() - n));
  }
  sink.Finish();
}
}  // namespace

void TIEBitmap::SaveRawToStream(TStream& Stream) {
  TByteWriter w(Stream);
  w.Bytes(kSignature, 12);
  w.U32(kVersion);
  auto n = static_cast<std::uint32_t>(
      std::min<std::int64_t>(static_cast<std::int64_t>(fPalette.size()), kMaxPalette));
  w.U32(n);
  w.U32(static_cast<std::uint32_t>(std::min<int>(fPaletteUsed, static_cast<int>(n))));
  for (std::uint32_t i = 0; i < n; ++i) Stream.WriteBuffer(&fPalette[i], 3);
  w.U32(static_cast<std::uint32_t>(fWidth));
  w.U32(static_cast<std::uint32_t>(fHeight));
  w.U8(fPixelFormat);
  bool alpha = fAlpha && !fIsAlpha;
  w.U8(static_cast<std::uint8_t>((alpha ? 1 : 0) | (fFull ? 2 : 0)));
  w.U8(fDitherMethod ? 1 : 0);
  w.U8(static_cast<std::uint8_t>(fRowAlign));
  std::int64_t packed = PackedRow(fWidth, fBitCount);
  for (int y = 0; y < fHeight; ++y) Stream.WriteBuffer(GetScanline(y), packed);
  if (alpha) {
    TIEBitmap* plane = GetAlphaChannel();
    w.U8(plane->fFull ? 1 : 0);
    for (int y = 0; y < fHeight; ++y) Stream.WriteBuffer(plane->GetScanline(y), fWidth);
  }
}

namespace {
// The record's header, checked; the rows and the alpha plane follow.
struct TRawHeader {
  std::vector<TRGB> Palette;
  std::int64_t Used = 0;
  std::int32_t Width = 0, Height = 0;
  TIEPixelFormat PixelFormat = ienull;
  std::uint8_t Flags = 0, Dither = 0, Align = 32;
  std::int64_t Packed = 0, Rows = 0, Plane = 0;  // a row's bytes, all rows', the alpha plane's
};

// False (nothing read past the signature) when the signature does not match.
bool ReadRawHeader(TByteReader& r, TRawHeader& h) {
  char sig[12];
  if (r.Left() < 12) return false;
  r.Bytes(sig, 12);
  if (std::memcmp(sig, kSignature, 12) != 0) return false;
  std::uint32_t version = r.U32();
  if (version != kVersion) r.Fail("unsupported version " + std::to_string(version));
  std::int64_t n = r.Count(r.U32(), kMaxPalette, 3, "palette length");
  h.Used = r.U32();
  if (h.Used > n) r.Fail("palette entries in use beyond the palette (" + std::to_string(h.Used) + ")");
  h.Palette.resize(static_cast<size_t>(n));
  if (n) r.Bytes(h.Palette.data(), n * 3);
  std::int32_t w = r.I32(), ht = r.I32();
  if (w < 0 || ht < 0) r.Fail("bad size " + std::to_string(w) + " x " + std::to_string(ht));
  // No pixels either way: an empty bitmap, not millions of empty rows.
  if (w == 0 || ht == 0) w = ht = 0;
  h.Width = w, h.Height = ht;
  h.PixelFormat = static_cast<TIEPixelFormat>(r.U8());
  int bits = IEPixelFormatBits(h.PixelFormat);
  if (bits == 0) r.Fail("bad pixel format " + std::to_string(static_cast<int>(h.PixelFormat)));
  h.Flags = r.U8();
  if (h.Flags & ~3) r.Fail("unknown flags " + std::to_string(h.Flags));
  h.Dither = r.U8();
  if (h.Dither > 1) r.Fail("bad dither method " + std::to_string(h.Dither));
  h.Align = r.U8();
  if (h.Align != 8 && h.Align != 16 && h.Align != 32 && h.Align != 64)
    r.Fail("bad row alignment " + std::to_string(h.Align));
  h.Packed = PackedRow(w, bits);
  if (__builtin_mul_overflow(h.Packed, std::int64_t{ht}, &h.Rows) ||
      __builtin_mul_overflow(std::int64_t{w}, std::int64_t{ht}, &h.Plane))
    r.Fail("bad size " + std::to_string(w) + " x " + std::to_string(ht));
  if (!(h.Flags & 1)) h.Plane = 0;
  return true;
}
}  // namespace

TIEBitmap::TRawSize TIEBitmap::PeekRawSize(TStream& Stream) {
  const std::int64_t start = Stream.Position();
  TRawSize size;
  try {
    TByteReader r(Stream, -1, "TIEBITMAPRAW");
    TRawHeader h;
    if (ReadRawHeader(r, h)) size = {h.Width, h.Height, h.Rows + h.Plane};
  } catch (const EFormatError&) {
    // A short or damaged header declares nothing; reading the record says why.
  }
  Stream.SetPosition(start);
  return size;
}

bool TIEBitmap::LoadRawFromStream(TStream& Stream) {
  std::int64_t start = Stream.Position();
  TByteReader r(Stream, -1, "TIEBITMAPRAW");
  TRawHeader hd;
  if (!ReadRawHeader(r, hd)) {
    Stream.SetPosition(start);
    return false;
  }
  const std::int32_t w = hd.Width, h = hd.Height;
  const TIEPixelFormat pf = hd.PixelFormat;
  const std::uint8_t flags = hd.Flags, dither = hd.Dither, align = hd.Align;
  const std::int64_t packed = hd.Packed, rows = hd.Rows;
  std::vector<TRGB> palette = std::move(hd.Palette);
  const std::int64_t used = hd.Used;
  // Every byte the header promises must be there before anything is allocated.
  r.Need(rows);
  if (flags & 1) r.Need(rows + 1 + hd.Plane);

  TIEBitmap staging;
  staging.fRowAlign = align;
  staging.fMemoryThreshold = fMemoryThreshold;
  if (!staging.Allocate(w, h, pf))
    throw EOutOfMemory("Cannot allocate a " + std::to_string(w) + " x " + std::to_string(h) + " bitmap");
  ReadRows(r, staging, packed);
  staging.fPalette = std::move(palette);
  staging.fPaletteUsed = static_cast<int>(used);
  std::unique_ptr<TIEBitmap> alpha;
  if (flags & 1) {
    std::uint8_t planeFlags = r.U8();
    if (planeFlags & ~1) r.Fail("unknown alpha plane flags " + std::to_string(planeFlags));
    alpha = std::make_unique<TIEBitmap>();
    alpha->fIsAlpha = true;
    alpha->fMemoryThreshold = fMemoryThreshold;
    if (!alpha->AllocateAt(w, h, ie8g, staging.fLocation == ieFile ? ieFile : ieMemory))
      throw EOutOfMemory("Cannot allocate the alpha plane");
    ReadRows(r, *alpha, w);
    alpha->fFull = planeFlags & 1;
  }

  TakeImage(staging);
  fFull = flags & 2;
  fDitherMethod = dither;
  if (!fIsAlpha) {
    delete fAlpha;
    fAlpha = alpha.release();
  }
  return true;
}

}  // namespace redozir
