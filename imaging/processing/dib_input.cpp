// Packed DIB reader. The header, colour table and masks are parsed through
// the bounded reader; the pixel rows are read in place once their total
// length has been checked against the block. Everything is checked before
// Dst is touched, so a refused block leaves it as it was.
#include "imaging/processing/dib_input.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "imaging/core/ie_pixel.h"
#include "imaging/core/ie_rowband.h"
#include "imaging/processing/video_frames.h"
#include "platform/byte_reader.h"

namespace redozir {

namespace {
constexpr std::uint32_t BI_RGB = 0;
constexpr std::uint32_t BI_BITFIELDS = 3;
// Neither side of a DIB may exceed this (the platform's own bitmap limit).
constexpr std::int64_t kMaxDIBSide = 0x7FFFFFF;

[[noreturn]] void Refuse(const std::string& why) { throw EFormatError("DIB: " + why); }

[[noreturn]] void Unsupported(TIEBitmap* dst, const TIEDIBHeader& h) {
  dst->FreeImage();
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", h.biCompression);
  throw EIEUnsupportedDIB("DIB: unsupported layout (bit count " + std::to_string(h.biBitCount) +
                          ", compression " + code + ")");
}

std::int64_t RowLength(std::int64_t width, int bitCount) { return (width * bitCount + 31) / 32 * 4; }

struct TPalette {
  TRGB c[256];
  int n = 0;
};

void Need(std::int64_t need, std::int64_t have) {
  if (need > have)
    Refuse("pixel data too short (" + std::to_string(need) + " bytes needed, " + std::to_string(have) +
           " given)");
}

TIEBitmap* Allocated(TIEBitmap* dst, std::int64_t w, std::int64_t h, TIEPixelFormat pf) {
  if (!dst->Allocate(static_cast<int>(w), static_cast<int>(h), pf))
    throw EOutOfMemory("DIB: cannot allocate a " + std::to_string(w) + " x " + std::to_string(h) + " bitmap");
  return dst;
}
}  // namespace

TIEDIBHeader IEReadDIBHeader(const void* DIB, std::int64_t DIBSize) {
  if (!DIB || DIBSize < 0) Refuse("no data");
  TReadOnlyMemoryStream s(DIB, DIBSize);
  TByteReader r(s, -1, "DIB");
  TIEDIBHeader h;
  h.biSize = r.U32();
  if (h.biSize < 40) Refuse("bad header size (" + std::to_string(h.biSize) + ")");
  h.biWidth = r.I32();
  h.biHeight = r.I32();
  r.U16();  // planes
  h.biBitCount = r.U16();
  h.biCompression = r.U32();
  r.Skip(12);  // image size, resolution
  h.biClrUsed = r.U32();
  r.Skip(4);  // important colours
  r.Skip(static_cast<std::int64_t>(h.biSize) - 40);
  if (h.biWidth < 1 || h.biWidth > kMaxDIBSide) Refuse("bad width (" + std::to_string(h.biWidth) + ")");
  const std::int64_t ah = h.biHeight < 0 ? -std::int64_t{h.biHeight} : h.biHeight;
  if (ah < 1 || ah > kMaxDIBSide) Refuse("bad height (" + std::to_string(h.biHeight) + ")");

  // What follows the header: a colour table for 1, 4 and 8 bits, three masks
  // for bit fields, and for the deeper formats an optional table of
  // biClrUsed entries that the pixels follow.
  std::int64_t table = 0;
  const int bc = h.biBitCount;
  if (!IEIsVideoFourCC(h.biCompression)) {
    if (bc == 1 || bc == 4 || bc == 8) {
      const std::int64_t most = std::int64_t{1} << bc;
      if (h.biClrUsed > most) Refuse("bad colour count (" + std::to_string(h.biClrUsed) + ")");
      table = 4 * (h.biClrUsed ? h.biClrUsed : most);
    } else {
      if (h.biClrUsed > 256) Refuse("bad colour count (" + std::to_string(h.biClrUsed) + ")");
      table = 4 * std::int64_t{h.biClrUsed};
      if (h.biCompression == BI_BITFIELDS && (bc == 16 || bc == 32)) table += 12;
    }
  }
  r.Need(table);
  h.BitsOffset = h.biSize + table;
  return h;
}

int _CopyDIBtoBitmapEx(const void* DIB, std::int64_t DIBSize, TIEBitmap* Dst, const void* Bits,
                       std::int64_t BitsSize) {
  if (!Dst) return 0;
  const TIEDIBHeader h = IEReadDIBHeader(DIB, DIBSize);
  const auto* block = static_cast<const std::uint8_t*>(DIB);
  const std::uint8_t* data = Bits ? static_cast<const std::uint8_t*>(Bits) : block + h.BitsOffset;
  const std::int64_t have = Bits ? std::max<std::int64_t>(BitsSize, 0) : DIBSize - h.BitsOffset;
  const std::int64_t w = h.biWidth;
  const bool topDown = h.biHeight < 0;
  const std::int64_t ht = topDown ? -std::int64_t{h.biHeight} : h.biHeight;
  const int bc = h.biBitCount;
  // Destination row of stored row r, in stored order (bottom-up unless the
  // height was negative) through a sink made at the first row, once the
  // destination is allocated.
  std::optional<TIERowSink> sink;
  auto dstRow = [&](TIEBitmap* d, std::int64_t r) {
    if (!sink) sink.emplace(d, 0, static_cast<int>(ht), !topDown);
    return sink->Row(static_cast<int>(topDown ? r : ht - 1 - r));
  };

  if (IEIsVideoFourCC(h.biCompression)) {
    IECheckVideoFrame(h.biCompression, w, ht, have);
    IEDecodeVideoFrame(h.biCompression, data, have, Allocated(Dst, w, ht, ie24RGB), topDown);
    return bc;
  }

  const std::int64_t rowLen = RowLength(w, bc);
  TPalette pal;
  if (bc == 1 || bc == 4 || bc == 8) {
    if (h.biCompression != BI_RGB) Unsupported(Dst, h);
    pal.n = static_cast<int>(h.biClrUsed ? h.biClrUsed : 1u << bc);
    const std::uint8_t* q = block + h.biSize;
    for (int i = 0; i < pal.n; ++i, q += 4) pal.c[i] = TRGB{q[0], q[1], q[2]};
    Need(rowLen * ht, have);
    // Every index must name an entry of the table.
    if (pal.n < (1 << bc)) {
      int most = 0;
      for (std::int64_t r = 0; r < ht; ++r) {
        const std::uint8_t* s = data + r * rowLen;
        for (std::int64_t x = 0; x < w; ++x) {
          const int v = bc == 8   ? s[x]
                        : bc == 4 ? (s[x >> 1] >> (x & 1 ? 0 : 4)) & 15
                                  : (s[x >> 3] >> (7 - (x & 7))) & 1;
          most = std::max(most, v);
        }
      }
      if (most >= pal.n) Refuse("pixel index " + std::to_string(most) + " beyond the colour table");
    }
  }

  switch (bc) {
    case 1: {
      const TRGB black{0, 0, 0}, white{255, 255, 255};
      const bool t1 = pal.n < 2;  // only entry 0 is ever used
      const bool direct = pal.c[0] == black && (t1 || pal.c[1] == white);
      const bool inverse = pal.c[0] == white && (t1 || pal.c[1] == black);
      const size_t bytes = static_cast<size_t>((w + 7) / 8);
      if (direct || inverse) {
        Allocated(Dst, w, ht, ie1g);
        for (std::int64_t r = 0; r < ht; ++r) {
          std::uint8_t* d = dstRow(Dst, r);
          const std::uint8_t* s = data + r * rowLen;
          if (direct) {
            std::memcpy(d, s, bytes);
          } else {
            for (size_t i = 0; i < bytes; ++i) d[i] = static_cast<std::uint8_t>(~s[i]);
          }
        }
      } else {
        // A two-colour table other than black and white keeps its colours.
        Allocated(Dst, w, ht, ie24RGB);
        for (std::int64_t r = 0; r < ht; ++r) {
          auto* d = reinterpret_cast<TRGB*>(dstRow(Dst, r));
          const std::uint8_t* s = data + r * rowLen;
          for (std::int64_t x = 0; x < w; ++x) d[x] = pal.c[(s[x >> 3] >> (7 - (x & 7))) & 1];
        }
      }
      break;
    }
    case 4:
      Allocated(Dst, w, ht, ie24RGB);
      for (std::int64_t r = 0; r < ht; ++r) {
        auto* d = reinterpret_cast<TRGB*>(dstRow(Dst, r));
        const std::uint8_t* s = data + r * rowLen;
        for (std::int64_t x = 0; x < w; ++x) d[x] = pal.c[(s[x >> 1] >> (x & 1 ? 0 : 4)) & 15];
      }
      break;
    case 8:
      Allocated(Dst, w, ht, ie24RGB);
      for (std::int64_t r = 0; r < ht; ++r) {
        auto* d = reinterpret_cast<TRGB*>(dstRow(Dst, r));
        const std::uint8_t* s = data + r * rowLen;
        for (std::int64_t x = 0; x < w; ++x) d[x] = pal.c[s[x]];
      }
      break;
    case 16: {
      std::uint32_t mr = 0x7C00, mg = 0x03E0, mb = 0x001F;
      if (h.biCompression == BI_BITFIELDS) {
        const std::uint8_t* q = block + h.biSize;
        auto le = [](const std::uint8_t* p) {
          return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                 static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
        };
        mr = le(q);
        mg = le(q + 4);
        mb = le(q + 8);
      } else if (h.biCompression != BI_RGB) {
        Unsupported(Dst, h);
      }
      const int wr = IEMaskBitCount(mr), wg = IEMaskBitCount(mg), wb = IEMaskBitCount(mb);
      const int sr = wb + wg - (8 - wr), sg = wb - (8 - wg), sb = 8 - wb;
      for (int sh : {sr, sg, sb})
        if (sh < 0 || sh > 31) Refuse("colour masks out of range");
      Need(rowLen * ht, have);
      Allocated(Dst, w, ht, ie24RGB);
      for (std::int64_t r = 0; r < ht; ++r) {
        auto* d = reinterpret_cast<TRGB*>(dstRow(Dst, r));
        const std::uint8_t* s = data + r * rowLen;
        for (std::int64_t x = 0; x < w; ++x) {
          const std::uint32_t p = s[2 * x] | static_cast<std::uint32_t>(s[2 * x + 1]) << 8;
          d[x].r = static_cast<std::uint8_t>((p & mr) >> sr);
          d[x].g = static_cast<std::uint8_t>((p & mg) >> sg);
          d[x].b = static_cast<std::uint8_t>(((p & 0xFF) & mb) << sb);
        }
      }
      break;
    }
    case 24:
      if (h.biCompression != BI_RGB) Unsupported(Dst, h);
      Need(rowLen * ht, have);
      Allocated(Dst, w, ht, ie24RGB);
      for (std::int64_t r = 0; r < ht; ++r)
        std::memcpy(dstRow(Dst, r), data + r * rowLen, static_cast<size_t>(w * 3));
      break;
    case 32:
      if (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) Unsupported(Dst, h);
      Need(rowLen * ht, have);
      Allocated(Dst, w, ht, ie24RGB);
      for (std::int64_t r = 0; r < ht; ++r) {
        std::uint8_t* d = dstRow(Dst, r);
        const std::uint8_t* s = data + r * rowLen;
        for (std::int64_t x = 0; x < w; ++x, d += 3, s += 4) {
          d[0] = s[0];
          d[1] = s[1];
          d[2] = s[2];
        }
      }
      break;
    default: Unsupported(Dst, h);
  }
  if (sink) sink->Finish();
  return bc;
}

}  // namespace redozir
