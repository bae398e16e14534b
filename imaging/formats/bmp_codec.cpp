// Windows bitmaps: core, info and V4/V5 headers; 1, 4, 8, 16, 24 and 32 bits;
// RLE4, RLE8 and bit fields; bottom-up and top-down rows.
#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "imaging/core/ie_rowband.h"
#include "imaging/formats/ie_codec_util.h"
#include "imaging/formats/ie_codecs.h"

namespace redozir {

namespace {
constexpr int BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6;

struct Mask {
  std::uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
  explicit Mask(std::uint32_t m = 0) : mask(m) {
    if (!m) return;
    while (!((m >> shift) & 1)) ++shift;
    while (shift + bits < 32 && ((m >> (shift + bits)) & 1)) ++bits;
  }
  std::uint8_t Get(std::uint32_t v) const {
    if (!bits) return 0;
    std::uint32_t x = (v & mask) >> shift;
    if (bits >= 8) return static_cast<std::uint8_t>(x >> (bits - 8));
    std::uint32_t max = (1u << bits) - 1;
    return static_cast<std::uint8_t>((x * 255 + max / 2) / max);
  }
};

bool IsGreyRamp(const std::vector<TRGB>& pal) {
  if (pal.size() != 256) return false;
  for (int i = 0; i < 256; ++i)
    if (pal[i].r != i || pal[i].g != i || pal[i].b != i) return false;
  return true;
}

// Decodes RLE4 or RLE8 data into one index per pixel, rows as stored
// (bottom-up: row 0 is the bottom). Skipped pixels stay 0.
void DecodeRLE(TByteReader& r, bool rle4, int w, int h, std::vector<std::uint8_t>& idx,
               TIEProgressRecord& prog) {
  int x = 0, y = 0;
  prog.SetRows(h);
  auto put = [&](std::uint8_t v) {
    if (x < w && y < h) idx[static_cast<size_t>(y) * w + x] = v;
    ++x;
  };
  for (;;) {
    if (r.Left() < 2) r.Fail("RLE data without an end of bitmap");
    std::uint8_t n = r.U8(), v = r.U8();
    if (n > 0) {
      for (int i = 0; i < n; ++i) put(rle4 ? ((i & 1) ? (v & 15) : (v >> 4)) : v);
    } else if (v == 0) {
      x = 0;
      ++y;
      prog.Report(std::min(y, h));
    } else if (v == 1) {
      break;
    } else if (v == 2) {
      x += r.U8();
      y += r.U8();
    } else {
      int bytes = rle4 ? (v + 1) / 2 : v;
      std::vector<std::uint8_t> lit = r.Vec(bytes);
      for (int i = 0; i < v; ++i) put(rle4 ? ((i & 1) ? (lit[i / 2] & 15) : (lit[i / 2] >> 4)) : lit[i]);
      if (bytes & 1) r.Skip(1);
    }
    if (y > h) r.Fail("RLE data beyond the image");
  }
}
}  // namespace

bool BMPTryStream(TStream& s) {
  std::uint8_t b[18];
  if (s.Read(b, 18) != 18) return false;
  if (b[0] != 'B' || b[1] != 'M') return false;
  std::uint32_t hs = b[14] | (b[15] << 8) | (b[16] << 16) | (std::uint32_t(b[17]) << 24);
  return hs == 12 || hs == 40 || hs == 52 || hs == 56 || hs == 64 || hs == 108 || hs == 124;
}

void BMPReadStream(TStream& Stream, TIEBitmap& Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  const std::int64_t start = Stream.Position();
  TByteReader r(Stream, -1, "BMP");
  if (r.U8() != 'B' || r.U8() != 'M') r.Fail("not a BMP file");
  r.Skip(8);
  std::uint32_t offBits = r.U32();
  std::uint32_t hs = r.U32();
  std::int64_t w, h;
  int bits, compression = BI_RGB, planes;
  std::uint32_t clrUsed = 0;
  std::uint32_t masks[4] = {0, 0, 0, 0};
  bool core = hs == 12;
  if (core) {
    w = r.U16();
    h = r.I16();
    planes = r.U16();
    bits = r.U16();
  } else {
    if (hs < 40 || hs > 1024) r.Fail("unsupported header size " + std::to_string(hs));
    w = r.I32();
    h = r.I32();
    planes = r.U16();
    bits = r.U16();
    compression = static_cast<int>(r.U32());
    r.Skip(12);
    clrUsed = r.U32();
    r.Skip(4);
    std::uint32_t rest = hs - 40;
    if (rest >= 12) {
      for (int i = 0; i < 3; ++i) masks[i] = r.U32();
      rest -= 12;
      if (rest >= 4) {
        masks[3] = r.U32();
        rest -= 4;
      }
    }
    r.Skip(rest);
    if ((compression == BI_BITFIELDS || compression == BI_ALPHABITFIELDS) && hs == 40) {
      for (int i = 0; i < (compression == BI_ALPHABITFIELDS ? 4 : 3); ++i) masks[i] = r.U32();
    }
  }
  (void)planes;
  bool topDown = h < 0;
  if (topDown) h = -h;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    r.Fail("unsupported bit count " + std::to_string(bits));
  if (compression == BI_RLE8 && bits != 8) r.Fail("RLE8 needs 8 bits per pixel");
  if (compression == BI_RLE4 && bits != 4) r.Fail("RLE4 needs 4 bits per pixel");
  if (compression != BI_RGB && compression != BI_RLE8 && compression != BI_RLE4 &&
      compression != BI_BITFIELDS && compression != BI_ALPHABITFIELDS)
    r.Fail("unsupported compression " + std::to_string(compression));
  if (topDown && (compression == BI_RLE4 || compression == BI_RLE8)) r.Fail("top-down RLE bitmap");

  std::vector<TRGB> pal;
  if (bits <= 8) {
    std::int64_t n = clrUsed ? clrUsed : (std::int64_t(1) << bits);
    n = std::min<std::int64_t>(n, std::int64_t(1) << bits);
    int entry = core ? 3 : 4;
    // A palette shorter than the depth allows (OS/2 writers save only the
    // colours used) ends where the pixels begin.
    const std::int64_t headerEnd = Stream.Position() - start;
    if (offBits > headerEnd) n = std::min<std::int64_t>(n, (offBits - headerEnd) / entry);
    r.Count(n, 256, entry, "palette size");
    for (std::int64_t i = 0; i < n; ++i) {
      TRGB c;
      c.b = r.U8();
      c.g = r.U8();
      c.r = r.U8();
      if (!core) r.U8();
      pal.push_back(c);
    }
  }
  std::int64_t here = Stream.Position() - start;
  if (offBits >= here) r.Skip(offBits - here);

  const bool rle = compression == BI_RLE8 || compression == BI_RLE4;
  const std::int64_t rowBytes = ((w * bits + 31) / 32) * 4;
  IECheckImageSize("BMP", w, h, bits, r.Left(), rle ? 1024 : 1);
  if (!rle && rowBytes * h > r.Left()) r.Fail("pixel data truncated");

  TIEPixelFormat pf;
  bool invert1 = false;
  if (bits == 1 && pal.size() == 2 && pal[0] == TRGB{0, 0, 0} && pal[1] == TRGB{255, 255, 255}) {
    pf = ie1g;
  } else if (bits == 1 && pal.size() == 2 && pal[1] == TRGB{0, 0, 0} && pal[0] == TRGB{255, 255, 255}) {
    pf = ie1g;
    invert1 = true;
  } else if (bits <= 8) {
    pf = bits == 8 && IsGreyRamp(pal) ? ie8g : ie8p;
  } else {
    pf = ie24RGB;
  }
  // RLE data is decoded into an index per pixel first: skips may land anywhere.
  const bool fields = compression == BI_BITFIELDS || compression == BI_ALPHABITFIELDS;
  const bool alphaField = (bits == 32 || bits == 16) && fields && masks[3] != 0;
  IECheckLoadBudget("BMP", w, h, pf, alphaField, rle ? w * h : rowBytes, Params);
  IEAllocImage(Bitmap, w, h, pf, "BMP");
  const int W = static_cast<int>(w), H = static_cast<int>(h);
  if (pf == ie8p) {
    for (size_t i = 0; i < pal.size(); ++i) Bitmap.SetPalette(static_cast<int>(i), pal[i]);
    Bitmap.SetPaletteUsed(static_cast<int>(std::max<size_t>(pal.size(), 1)));
  }
  auto target = [&](int storedRow) { return topDown ? storedRow : H - 1 - storedRow; };
  auto palIndex = [&](int i) { return pal.empty() ? 0 : std::min<int>(i, static_cast<int>(pal.size()) - 1); };

  bool hasAlpha = false;
  if (rle) {
    std::vector<std::uint8_t> idx(static_cast<size_t>(W) * H, 0);
    DecodeRLE(r, compression == BI_RLE4, W, H, idx, Progress);
    TIERowSink sink(&Bitmap, 0, H, !topDown);
    for (int y = 0; y < H; ++y) {
      std::uint8_t* d = sink.Row(target(y));
      for (int x = 0; x < W; ++x)
        d[x] = static_cast<std::uint8_t>(palIndex(idx[static_cast<size_t>(y) * W + x]));
    }
    sink.Finish();
  } else {
    Mask m[4];
    if (fields || (!core && hs >= 56 && masks[0])) {
      for (int i = 0; i < 4; ++i) m[i] = Mask(masks[i]);
    } else if (bits == 16) {
      m[0] = Mask(0x7C00);
      m[1] = Mask(0x03E0);
      m[2] = Mask(0x001F);
    } else {
      m[0] = Mask(0xFF0000);
      m[1] = Mask(0x00FF00);
      m[2] = Mask(0x0000FF);
    }
    hasAlpha = alphaField;
    TIEBitmap* alpha = hasAlpha ? Bitmap.GetAlphaChannel() : nullptr;
    std::vector<std::uint8_t> row(static_cast<size_t>(rowBytes));
    Progress.SetRows(H);
    // Rows are stored bottom-up unless the height was negative.
    TIERowSink sink(&Bitmap, 0, H, !topDown);
    std::optional<TIERowSink> alphaSink;
    if (alpha) alphaSink.emplace(alpha, 0, H, !topDown);
    for (int y = 0; y < H; ++y) {
      r.Bytes(row.data(), rowBytes);
      std::uint8_t* d = sink.Row(target(y));
      switch (bits) {
        case 1:
          if (pf == ie1g) {
            std::memcpy(d, row.data(), static_cast<size_t>((W + 7) / 8));
            if (invert1)
              for (int i = 0; i < (W + 7) / 8; ++i) d[i] = static_cast<std::uint8_t>(~d[i]);
          } else {
            for (int x = 0; x < W; ++x)
              d[x] = static_cast<std::uint8_t>(palIndex((row[x >> 3] >> (7 - (x & 7))) & 1));
          }
          break;
        case 4:
          for (int x = 0; x < W; ++x)
            d[x] = static_cast<std::uint8_t>(palIndex((x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4)));
          break;
        case 8:
          if (pf == ie8g)
            std::memcpy(d, row.data(), static_cast<size_t>(W));
          else
            for (int x = 0; x < W; ++x) d[x] = static_cast<std::uint8_t>(palIndex(row[x]));
          break;
        case 24: std::memcpy(d, row.data(), static_cast<size_t>(W) * 3); break;
        default: {
          std::uint8_t* a = alpha ? alphaSink->Row(target(y)) : nullptr;
          int bpp = bits / 8;
          for (int x = 0; x < W; ++x) {
            std::uint32_t v = row[bpp * x] | (row[bpp * x + 1] << 8);
            if (bpp == 4) v |= (std::uint32_t(row[4 * x + 2]) << 16) | (std::uint32_t(row[4 * x + 3]) << 24);
            d[3 * x] = m[2].Get(v);
            d[3 * x + 1] = m[1].Get(v);
            d[3 * x + 2] = m[0].Get(v);
            if (a) a[x] = m[3].Get(v);
          }
        }
      }
      Progress.Report(y + 1);
    }
    sink.Finish();
    if (alphaSink) alphaSink->Finish();
    if (alpha) alpha->SyncFull();
  }
  if (!hasAlpha && Bitmap.HasAlphaChannel()) Bitmap.RemoveAlphaChannel();

  Params.FileType = ioBMP;
  Params.BMPCompression = rle ? 1 : 0;
  Params.SamplesPerPixel = bits <= 8 ? 1 : 3;
  Params.BitsPerSample = bits <= 8 ? bits : 8;
  IESetColorMap(Params, pal);
}

namespace {
// One row of indices (or nibbles) as RLE8 or RLE4 records.
void EncodeRLERow(const std::uint8_t* idx, int w, bool rle4, std::vector<std::uint8_t>& out) {
  int x = 0;
  while (x < w) {
    int run = 1;
    if (rle4) {
      // Runs of two alternating indices encode as one record; plain runs count.
      while (x + run < w && run < 255 && idx[x + run] == idx[x + (run & 1)]) ++run;
    } else {
      while (x + run < w && run < 255 && idx[x + run] == idx[x]) ++run;
    }
    if (run >= 3 || x + run >= w) {
      out.push_back(static_cast<std::uint8_t>(run));
      out.push_back(rle4 ? static_cast<std::uint8_t>((idx[x] << 4) | (run > 1 ? idx[x + 1] : 0)) : idx[x]);
      x += run;
      continue;
    }
    // A literal stretch up to the next run of three or more.
    int lit = 0;
    while (x + lit < w && lit < 255) {
      if (x + lit + 2 < w && idx[x + lit] == idx[x + lit + 1] && idx[x + lit] == idx[x + lit + 2] && lit > 0)
        break;
      ++lit;
    }
    if (lit < 3) {
      for (int i = 0; i < lit; ++i) {
        out.push_back(1);
        out.push_back(rle4 ? static_cast<std::uint8_t>(idx[x + i] << 4) : idx[x + i]);
      }
    } else {
      out.push_back(0);
      out.push_back(static_cast<std::uint8_t>(lit));
      int bytes = rle4 ? (lit + 1) / 2 : lit;
      for (int i = 0; i < bytes; ++i) {
        if (rle4) {
          std::uint8_t hi = idx[x + 2 * i], lo = (2 * i + 1 < lit) ? idx[x + 2 * i + 1] : 0;
          out.push_back(static_cast<std::uint8_t>((hi << 4) | lo));
        } else {
          out.push_back(idx[x + i]);
        }
      }
      if (bytes & 1) out.push_back(0);
    }
    x += lit;
  }
}

void PutLE(std::vector<std::uint8_t>& v, std::uint32_t x, int n) {
  for (int i = 0; i < n; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}
}  // namespace

void BMPWriteStream(TStream& Stream, TIEBitmap& Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  const int w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
  // Alpha is kept in 32 bits with an alpha mask (a BITMAPV5 header).
  TIEBitmap* alpha = IEAlphaToWrite(Bitmap);
  int bits;
  if (alpha)
    bits = 32;
  else if (Params.SamplesPerPixel == 1 && Params.BitsPerSample == 1)
    bits = 1;
  else if (Params.SamplesPerPixel == 1 && Params.BitsPerSample <= 4)
    bits = 4;
  else if (Params.SamplesPerPixel == 1)
    bits = 8;
  else
    bits = 24;
  TIEBitmap temp;
  TIEBitmap* src;
  TIEBitmap twoTemp;
  TIEBitmap* two = bits == 1 ? IETwoColourSource(Bitmap, Params, twoTemp) : nullptr;
  if (bits == 1)
    src = two ? two : IEWriteSource(Bitmap, ie1g, 2, temp);
  else if (bits >= 24)
    src = IEWriteSource(Bitmap, ie24RGB, 256, temp);
  else if (bits == 8 && (Bitmap.GetPixelFormat() == ie8g || Bitmap.GetPixelFormat() == ie16g))
    src = IEWriteSource(Bitmap, ie8g, 256, temp);
  else
    src = IEWriteSource(Bitmap, ie8p, 1 << bits, temp);
  // BMP has run-length coding only for 4 and 8 bits: other depths go uncompressed.
  const bool rle = Params.BMPCompression == 1 && (bits == 4 || bits == 8);

  std::vector<TRGB> pal;
  if (bits <= 8) {
    int n = 1 << bits;
    pal.assign(static_cast<size_t>(n), TRGB{});
    if (src->GetPixelFormat() == ie1g) {
      pal[1] = TRGB{255, 255, 255};
    } else if (bits == 1) {
      for (int i = 0; i < std::min(2, src->PaletteUsed()); ++i) pal[i] = src->GetPalette(i);
    } else if (src->GetPixelFormat() == ie8g) {
      for (int i = 0; i < 256; ++i) pal[i] = TRGB{std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)};
    } else {
      for (int i = 0; i < std::min(n, src->GetPaletteLength()); ++i) pal[i] = src->GetPalette(i);
    }
  }
  const std::int64_t rowBytes = ((std::int64_t(w) * bits + 31) / 32) * 4;
  const std::uint32_t palBytes = static_cast<std::uint32_t>(pal.size() * 4);
  const std::uint32_t headerSize = bits == 32 ? 124 : 40;
  const std::uint32_t offBits = 14 + headerSize + palBytes;
  auto writeHeader = [&](std::uint64_t pixelBytes) {
    const std::uint64_t fileSize = offBits + pixelBytes;
    if (fileSize > 0xFFFFFFFFu) throw EIEImageError("BMP: image too large for the format");
    std::vector<std::uint8_t> data;
    PutLE(data, 'B' | ('M' << 8), 2);
    PutLE(data, static_cast<std::uint32_t>(fileSize), 4);
    PutLE(data, 0, 4);
    PutLE(data, offBits, 4);
    PutLE(data, headerSize, 4);
    PutLE(data, static_cast<std::uint32_t>(w), 4);
    PutLE(data, static_cast<std::uint32_t>(h), 4);
    PutLE(data, 1, 2);
    PutLE(data, static_cast<std::uint32_t>(bits), 2);
    PutLE(data, rle ? (bits == 8 ? BI_RLE8 : BI_RLE4) : bits == 32 ? BI_BITFIELDS : BI_RGB, 4);
    PutLE(data, static_cast<std::uint32_t>(pixelBytes), 4);
    PutLE(data, 2835, 4);
    PutLE(data, 2835, 4);
    PutLE(data, static_cast<std::uint32_t>(pal.size()), 4);
    PutLE(data, 0, 4);
    if (bits == 32) {
      // BITMAPV5: red, green, blue and alpha masks, sRGB, no profile.
      for (std::uint32_t m : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}) PutLE(data, m, 4);
      PutLE(data, 0x73524742, 4);  // 'sRGB'
      data.insert(data.end(), 36 + 12, 0);
      PutLE(data, 4, 4);  // rendering intent: pictures
      PutLE(data, 0, 4);
      PutLE(data, 0, 4);
      PutLE(data, 0, 4);
    }
    for (const TRGB& c : pal) {
      data.push_back(c.b);
      data.push_back(c.g);
      data.push_back(c.r);
      data.push_back(0);
    }
    Stream.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
  };
  // Uncompressed rows, whose total size is known, go to the stream as they
  // are made, in blocks of whole rows (one write per row costs more than the
  // row); run-length rows are gathered first, the header giving their size.
  constexpr std::int64_t kBlockBytes = 256 << 10;
  const std::int64_t blockRows =
      rle ? 0
          : std::max<std::int64_t>(
                1, std::min<std::int64_t>(kBlockBytes / std::max<std::int64_t>(rowBytes, 1), h));
  std::vector<std::uint8_t> pixels;
  if (!rle) {
    writeHeader(static_cast<std::uint64_t>(rowBytes) * static_cast<std::uint64_t>(h));
    pixels.resize(static_cast<size_t>(blockRows * rowBytes));
  }
  std::vector<std::uint8_t> idx(static_cast<size_t>(w));
  std::int64_t filled = 0;  // rows in the block
  Progress.SetRows(h);
  TIERowsUpwards srcRows(src);
  std::optional<TIERowsUpwards> alphaRows;
  if (bits == 32) alphaRows.emplace(alpha);
  for (int k = 0; k < h; ++k) {
    int y = h - 1 - k;
    const std::uint8_t* s = srcRows.Row(y);
    std::uint8_t* row = rle ? nullptr : pixels.data() + filled * rowBytes;
    if (row) {
      // The padding at the end of the row, and the bits past the last pixel.
      std::memset(row, 0, static_cast<size_t>(rowBytes));
    }
    if (bits == 32) {
      const std::uint8_t* a = alphaRows->Row(y);
      for (int x = 0; x < w; ++x) {
        std::memcpy(row + 4 * x, s + 3 * x, 3);
        row[4 * x + 3] = a[x];
      }
    } else if (bits == 1 && src->GetPixelFormat() == ie1g) {
      std::memcpy(row, s, static_cast<size_t>((w + 7) / 8));
    } else if (bits == 1) {
      for (int x = 0; x < w; ++x)
        if (s[x] & 1) row[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
    } else if (bits == 24 || (bits == 8 && !rle)) {
      std::memcpy(row, s, static_cast<size_t>(bits == 24 ? w * 3 : w));
    } else {
      for (int x = 0; x < w; ++x) idx[x] = static_cast<std::uint8_t>(s[x] & ((1 << bits) - 1));
      if (rle) {
        EncodeRLERow(idx.data(), w, bits == 4, pixels);
        pixels.push_back(0);
        pixels.push_back(k == h - 1 ? 1 : 0);
      } else {
        for (int x = 0; x < w; ++x) row[x >> 1] |= static_cast<std::uint8_t>((x & 1) ? idx[x] : idx[x] << 4);
      }
    }
    if (!rle && (++filled == blockRows || k == h - 1)) {
      Stream.WriteBuffer(pixels.data(), filled * rowBytes);
      filled = 0;
    }
    Progress.Report(k + 1);
  }
  if (rle) {
    writeHeader(pixels.size());
    Stream.WriteBuffer(pixels.data(), static_cast<std::int64_t>(pixels.size()));
  }
}

}  // namespace redozir
