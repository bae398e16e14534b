// PaintBrush PCX: 1-bit, 16 colours (four planes or one 4-bit plane), 256
// colours with the palette after the pixels, and 24-bit in three planes;
// run-length coded or raw.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/ie_rowband.h"
#include "imaging/formats/ie_codec_util.h"
#include "imaging/formats/ie_codecs.h"

namespace redozir {

namespace {
struct PcxHeader {
  int version, encoding, bpp, xmin, ymin, xmax, ymax, planes, bytesPerLine;
  TRGB pal16[16];
};

bool ReadHeader(TByteReader& r, PcxHeader& h) {
  if (r.U8() != 0x0A) return false;
  h.version = r.U8();
  h.encoding = r.U8();
  h.bpp = r.U8();
  h.xmin = r.U16();
  h.ymin = r.U16();
  h.xmax = r.U16();
  h.ymax = r.U16();
  r.Skip(4);
  for (TRGB& c : h.pal16) {
    c.r = r.U8();
    c.g = r.U8();
    c.b = r.U8();
  }
  r.Skip(1);
  h.planes = r.U8();
  h.bytesPerLine = r.U16();
  r.Skip(60);
  if (h.version > 5 || h.version == 1 || h.encoding > 1) return false;
  const bool ok = (h.bpp == 1 && (h.planes == 1 || h.planes == 4)) || (h.bpp == 4 && h.planes == 1) ||
                  (h.bpp == 8 && (h.planes == 1 || h.planes == 3 || h.planes == 4));
  return ok && h.xmax >= h.xmin && h.ymax >= h.ymin;
}
}  // namespace

bool PCXTryStream(TStream& s) {
  TByteReader r(s, 128, "PCX");
  if (r.Left() < 128) return false;
  PcxHeader h;
  return ReadHeader(r, h);
}

void PCXReadStream(TStream& Stream, TIEBitmap& Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  TByteReader r(Stream, -1, "PCX");
  PcxHeader h;
  if (!ReadHeader(r, h)) r.Fail("not a PCX file or an unsupported kind");
  const int w = h.xmax - h.xmin + 1, hh = h.ymax - h.ymin + 1;
  if (h.bytesPerLine * 8 < w * h.bpp) r.Fail("bytes per line too small for the width");
  const std::int64_t lineBytes = std::int64_t(h.bytesPerLine) * h.planes;
  // A run codes at most 63 bytes in two.
  IECheckImageSize("PCX", w, hh, h.bpp * h.planes, r.Left(), h.encoding ? 32 : 1);
  if (lineBytes * hh > r.Left() * (h.encoding ? 32 : 1)) r.Fail("pixel data truncated");

  TIEPixelFormat pf;
  if (h.bpp == 1 && h.planes == 1)
    pf = ie1g;
  else if (h.bpp == 8 && h.planes >= 3)
    pf = ie24RGB;
  else
    pf = ie8p;
  IECheckLoadBudget("PCX", w, hh, pf, false, lineBytes, Params);
  IEAllocImage(Bitmap, w, hh, pf, "PCX");
  if (Bitmap.HasAlphaChannel()) Bitmap.RemoveAlphaChannel();

  std::vector<std::uint8_t> line(static_cast<size_t>(lineBytes));
  int pending = 0;
  std::uint8_t pendingValue = 0;
  Progress.SetRows(hh);
  TIERowSink sink(&Bitmap, 0, hh);
  for (int y = 0; y < hh; ++y) {
    if (!h.encoding) {
      r.Bytes(line.data(), lineBytes);
    } else {
      // Runs may carry over into the next line.
      for (std::int64_t i = 0; i < lineBytes;) {
        if (!pending) {
          std::uint8_t b = r.U8();
          if ((b & 0xC0) == 0xC0) {
            pending = b & 0x3F;
            pendingValue = r.U8();
          } else {
            pending = 1;
            pendingValue = b;
          }
        }
        while (pending && i < lineBytes) {
          line[static_cast<size_t>(i++)] = pendingValue;
          --pending;
        }
      }
    }
    std::uint8_t* d = sink.Row(y);
    const std::uint8_t* p = line.data();
    if (pf == ie1g) {
      std::memcpy(d, p, static_cast<size_t>((w + 7) / 8));
    } else if (pf == ie24RGB) {
      for (int x = 0; x < w; ++x) {
        d[3 * x + 2] = p[x];
        d[3 * x + 1] = p[h.bytesPerLine + x];
        d[3 * x] = p[2 * h.bytesPerLine + x];
      }
    } else if (h.bpp == 8) {
      std::memcpy(d, p, static_cast<size_t>(w));
    } else if (h.bpp == 4) {
      for (int x = 0; x < w; ++x)
        d[x] = static_cast<std::uint8_t>((x & 1) ? (p[x >> 1] & 15) : (p[x >> 1] >> 4));
    } else {
      for (int x = 0; x < w; ++x) {
        int v = 0;
        for (int pl = 0; pl < h.planes; ++pl)
          v |= ((p[pl * h.bytesPerLine + (x >> 3)] >> (7 - (x & 7))) & 1) << pl;
        d[x] = static_cast<std::uint8_t>(v);
      }
    }
    Progress.Report(y + 1);
  }
  sink.Finish();
  std::vector<TRGB> pal;
  if (pf == ie8p && h.bpp == 8) {
    // The 256-colour palette follows the pixels after a 12 byte. Nothing
    // after the pixels is a grey file of an older writer; a 12 byte with
    // less than a palette behind it is a truncated file.
    if (r.Left() > 0) {
      std::int64_t here = Stream.Position();
      if (r.U8() == 12) {
        if (r.Left() < 768) throw EIEImageError("PCX: file truncated in the palette");
        for (int i = 0; i < 256; ++i) {
          TRGB c;
          c.r = r.U8();
          c.g = r.U8();
          c.b = r.U8();
          pal.push_back(c);
        }
      } else {
        Stream.SetPosition(here);
      }
    }
    if (pal.empty())
      for (int i = 0; i < 256; ++i) pal.push_back(TRGB{std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)});
  } else if (pf == ie8p) {
    pal.assign(h.pal16, h.pal16 + 16);
  }
  if (pf == ie8p) {
    for (size_t i = 0; i < pal.size(); ++i) Bitmap.SetPalette(static_cast<int>(i), pal[i]);
    Bitmap.SetPaletteUsed(static_cast<int>(pal.size()));
  }
  Params.FileType = ioPCX;
  Params.PCXCompression = static_cast<std::uint8_t>(h.encoding);
  Params.SamplesPerPixel = pf == ie24RGB ? 3 : 1;
  Params.BitsPerSample = pf == ie24RGB ? 8 : h.bpp * h.planes;
  IESetColorMap(Params, pal);
}

namespace {
void EncodeLine(const std::uint8_t* p, std::int64_t n, std::vector<std::uint8_t>& out) {
  std::int64_t i = 0;
  while (i < n) {
    int run = 1;
    while (i + run < n && run < 63 && p[i + run] == p[i]) ++run;
    if (run > 1 || (p[i] & 0xC0) == 0xC0) out.push_back(static_cast<std::uint8_t>(0xC0 | run));
    out.push_back(p[i]);
    i += run;
  }
}
}  // namespace

void PCXWriteStream(TStream& Stream, TIEBitmap& Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  const int w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
  if (w > 65536 || h > 65536) throw EIEImageError("PCX: images are at most 65536 pixels wide and high");
  TIEBitmap temp;
  TIEBitmap* src;
  int bpp, planes;
  const TIEPixelFormat bpf = Bitmap.GetPixelFormat();
  // A two-colour picture goes in the 16-colour form, which keeps its colours.
  TIEBitmap twoTemp;
  TIEBitmap* two = Params.SamplesPerPixel == 1 && Params.BitsPerSample == 1
                       ? IETwoColourSource(Bitmap, Params, twoTemp)
                       : nullptr;
  if (Params.SamplesPerPixel == 1 && Params.BitsPerSample == 1 && !two) {
    src = IEWriteSource(Bitmap, ie1g, 2, temp);
    bpp = 1, planes = 1;
  } else if (Params.SamplesPerPixel == 1 && Params.BitsPerSample <= 4) {
    src = IEWriteSource(two ? *two : Bitmap, ie8p, 16, temp);
    bpp = 1, planes = 4;
  } else if (Params.SamplesPerPixel == 1) {
    src = (bpf == ie8g || bpf == ie16g) ? IEWriteSource(Bitmap, ie8g, 256, temp)
                                        : IEWriteSource(Bitmap, ie8p, 256, temp);
    bpp = 8, planes = 1;
  } else {
    src = IEWriteSource(Bitmap, ie24RGB, 256, temp);
    bpp = 8, planes = 3;
  }
  int bpl = (w * bpp + 7) / 8;
  bpl += bpl & 1;
  std::vector<std::uint8_t> hdr(128, 0);
  hdr[0] = 0x0A;
  hdr[1] = 5;
  hdr[2] = Params.PCXCompression ? 1 : 0;
  hdr[3] = static_cast<std::uint8_t>(bpp);
  auto put16 = [&](int at, int v) {
    hdr[at] = static_cast<std::uint8_t>(v);
    hdr[at + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  put16(8, w - 1);
  put16(10, h - 1);
  put16(12, 72);
  put16(14, 72);
  if (planes == 4) {
    for (int i = 0; i < 16; ++i) {
      TRGB c = src->GetPalette(i);
      hdr[16 + 3 * i] = c.r;
      hdr[17 + 3 * i] = c.g;
      hdr[18 + 3 * i] = c.b;
    }
  } else if (bpp == 1) {
    hdr[19] = hdr[20] = hdr[21] = 255;
  }
  hdr[65] = static_cast<std::uint8_t>(planes);
  put16(66, bpl);
  put16(68, (bpp == 8 && planes == 1 && src->GetPixelFormat() == ie8g) ? 2 : 1);
  Stream.WriteBuffer(hdr.data(), 128);

  std::vector<std::uint8_t> line(static_cast<size_t>(bpl) * planes), out;
  Progress.SetRows(h);
  for (int y = 0; y < h; ++y) {
    std::fill(line.begin(), line.end(), 0);
    const std::uint8_t* s = src->GetScanline(y);
    if (bpp == 1 && planes == 1) {
      std::memcpy(line.data(), s, static_cast<size_t>((w + 7) / 8));
    } else if (planes == 4) {
      for (int x = 0; x < w; ++x)
        for (int pl = 0; pl < 4; ++pl)
          if ((s[x] >> pl) & 1)
            line[static_cast<size_t>(pl) * bpl + (x >> 3)] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
    } else if (planes == 3) {
      for (int x = 0; x < w; ++x) {
        line[x] = s[3 * x + 2];
        line[bpl + x] = s[3 * x + 1];
        line[2 * static_cast<size_t>(bpl) + x] = s[3 * x];
      }
    } else {
      std::memcpy(line.data(), s, static_cast<size_t>(w));
    }
    if (Params.PCXCompression) {
      out.clear();
      // Each plane is coded on its own so that no run crosses a plane.
      for (int pl = 0; pl < planes; ++pl) EncodeLine(line.data() + static_cast<size_t>(pl) * bpl, bpl, out);
      Stream.WriteBuffer(out.data(), static_cast<std::int64_t>(out.size()));
    } else {
      Stream.WriteBuffer(line.data(), static_cast<std::int64_t>(line.size()));
    }
    Progress.Report(y + 1);
  }
  if (bpp == 8 && planes == 1) {
    std::vector<std::uint8_t> pal(769, 0);
    pal[0] = 12;
    for (int i = 0; i < 256; ++i) {
      TRGB c = src->GetPixelFormat() == ie8g ? TRGB{std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)}
                                             : src->GetPalette(i);
      pal[1 + 3 * i] = c.r;
      pal[2 + 3 * i] = c.g;
      pal[3 + 3 * i] = c.b;
    }
    Stream.WriteBuffer(pal.data(), 769);
  }
}

}  // namespace redozir
