// Targa: colour-mapped, true-colour and grey images, raw or run-length
// coded, 8 to 32 bits with the alpha plane, the image id and the TGA 2.0
// extension area (job name and key colour).
#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "imaging/core/ie_rowband.h"
#include "imaging/formats/ie_codec_util.h"
#include "imaging/formats/ie_codecs.h"

namespace redozir {

namespace {
constexpr char kFooterSig[] = "TRUEVISION-XFILE.";  // 17 characters and a zero
constexpr int kExtSize = 495;

struct Header {
  int idLen, cmType, type, cmFirst, cmLen, cmBits, w, h, depth, desc;
};

bool ReadHeader(TByteReader& r, Header& h) {
  h.idLen = r.U8();
  h.cmType = r.U8();
  h.type = r.U8();
  h.cmFirst = r.U16();
  h.cmLen = r.U16();
  h.cmBits = r.U8();
  r.Skip(4);
  h.w = r.U16();
  h.h = r.U16();
  h.depth = r.U8();
  h.desc = r.U8();
  const int base = h.type & 7;
  if (h.type != 1 && h.type != 2 && h.type != 3 && h.type != 9 && h.type != 10 && h.type != 11) return false;
  if (h.cmType > 1 || (h.desc & 0xC0) != 0) return false;
  if (h.cmType == 1 && h.cmBits != 15 && h.cmBits != 16 && h.cmBits != 24 && h.cmBits != 32) return false;
  if (base == 1 && (h.cmType != 1 || h.depth != 8)) return false;
  if (base == 2 && h.depth != 15 && h.depth != 16 && h.depth != 24 && h.depth != 32) return false;
  if (base == 3 && h.depth != 8 && h.depth != 16) return false;
  return h.w > 0 && h.h > 0;
}

TRGB From16(std::uint16_t v) {
  auto ex = [](int x) { return static_cast<std::uint8_t>((x << 3) | (x >> 2)); };
  return TRGB{ex(v & 31), ex((v >> 5) & 31), ex((v >> 10) & 31)};
}

// Reads one pixel's bytes into an RGBA value (grey and indices in .b).
TRGBA Pixel(const std::uint8_t* p, int bytes) {
  switch (bytes) {
    case 1: return TRGBA{p[0], 0, 0, 255};
    case 2: {
      TRGB c = From16(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
      return TRGBA{c.b, c.g, c.r, 255};
    }
    case 3: return TRGBA{p[0], p[1], p[2], 255};
    default: return TRGBA{p[0], p[1], p[2], p[3]};
  }
}
}  // namespace

bool TGATryStream(TStream& s) {
  TByteReader r(s, 18, "TGA");
  if (r.Left() < 18) return false;
  Header h;
  return ReadHeader(r, h);
}

void TGAReadStream(TStream& Stream, TIEBitmap& Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  TByteReader r(Stream, -1, "TGA");
  Header h;
  if (!ReadHeader(r, h)) r.Fail("not a Targa file or an unsupported kind");
  std::string id = r.Str(h.idLen);
  id = id.substr(0, id.find('\0'));
  std::vector<TRGB> pal;
  if (h.cmType == 1) {
    int eb = (h.cmBits + 7) / 8;
    r.Count(h.cmLen, 65535, eb, "colour map length");
    for (int i = 0; i < h.cmLen; ++i) {
      std::uint8_t b[4] = {};
      r.Bytes(b, eb);
      TRGBA c = Pixel(b, eb);
      pal.push_back(TRGB{c.b, c.g, c.r});
    }
  }
  const int base = h.type & 7;
  const bool rle = h.type >= 9;
  const int bytes = (h.depth + 7) / 8;
  IECheckImageSize("TGA", h.w, h.h, h.depth, r.Left(), rle ? 130 : 1);
  if (!rle && std::int64_t(h.w) * h.h * bytes > r.Left()) r.Fail("pixel data truncated");

  const int alphaBits = h.desc & 15;
  const bool alpha = (base == 2 && h.depth == 32 && alphaBits > 0) || (base == 3 && h.depth == 16);
  bool bw =
      base == 1 && h.cmLen == 2 && h.cmFirst == 0 && pal[0] == TRGB{0, 0, 0} && pal[1] == TRGB{255, 255, 255};
  TIEPixelFormat pf = base == 1 ? (bw ? ie1g : ie8p) : base == 3 ? ie8g : ie24RGB;
  IECheckLoadBudget("TGA", h.w, h.h, pf, alpha, std::int64_t(h.w) * bytes, Params);
  IEAllocImage(Bitmap, h.w, h.h, pf, "TGA");
  if (pf == ie8p) {
    int n = std::min<int>(256, static_cast<int>(pal.size()));
    for (int i = 0; i < n; ++i) Bitmap.SetPalette(i, pal[i]);
    Bitmap.SetPaletteUsed(std::max(n, 1));
  }
  if (pf == ie1g)
    for (int y = 0; y < h.h; ++y)
      std::memset(Bitmap.GetScanline(y), 0, static_cast<size_t>(Bitmap.GetRowLen()));
  TIEBitmap* a = alpha ? Bitmap.GetAlphaChannel() : nullptr;
  if (!alpha && Bitmap.HasAlphaChannel()) Bitmap.RemoveAlphaChannel();

  const bool topDown = (h.desc & 0x20) != 0, rightToLeft = (h.desc & 0x10) != 0;
  std::vector<std::uint8_t> row(static_cast<size_t>(h.w) * bytes);
  // Rows are stored bottom-up unless the descriptor says otherwise.
  TIERowSink sink(&Bitmap, 0, h.h, !topDown);
  std::optional<TIERowsUpwards> alphaUp;
  if (a && !topDown) alphaUp.emplace(a);
  int runLeft = 0, rawLeft = 0;
  std::uint8_t runPix[4] = {};
  Progress.SetRows(h.h);
  for (int k = 0; k < h.h; ++k) {
    if (!rle) {
      r.Bytes(row.data(), static_cast<std::int64_t>(row.size()));
    } else {
      // Packets may run on into the next row (older writers do that).
      for (int x = 0; x < h.w; ++x) {
        std::uint8_t* d = row.data() + static_cast<size_t>(x) * bytes;
        if (!runLeft && !rawLeft) {
          std::uint8_t p = r.U8();
          if (p & 0x80) {
            runLeft = (p & 0x7F) + 1;
            r.Bytes(runPix, bytes);
          } else {
            rawLeft = p + 1;
          }
        }
        if (runLeft) {
          std::memcpy(d, runPix, static_cast<size_t>(bytes));
          --runLeft;
        } else {
          r.Bytes(d, bytes);
          --rawLeft;
        }
      }
    }
    const int y = topDown ? k : h.h - 1 - k;
    std::uint8_t* dst = sink.Row(y);
    std::uint8_t* ad = alphaUp ? alphaUp->Row(y) : a ? a->GetScanline(y) : nullptr;
    for (int i = 0; i < h.w; ++i) {
      const int x = rightToLeft ? h.w - 1 - i : i;
      const std::uint8_t* s = row.data() + static_cast<size_t>(i) * bytes;
      if (base == 1) {
        int v = (bytes == 1 ? s[0] : s[0] | (s[1] << 8)) - h.cmFirst;
        v = std::clamp(v, 0, std::max(0, static_cast<int>(pal.size()) - 1));
        if (pf == ie1g) {
          if (v) dst[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
        } else {
          dst[x] = static_cast<std::uint8_t>(std::min(v, 255));
        }
      } else if (base == 3) {
        dst[x] = s[0];
        if (ad) ad[x] = s[1];
      } else {
        TRGBA c = Pixel(s, bytes);
        dst[3 * x] = c.b;
        dst[3 * x + 1] = c.g;
        dst[3 * x + 2] = c.r;
        if (ad) ad[x] = alphaBits >= 8 ? c.a : (c.a ? 255 : 0);
      }
    }
    Progress.Report(k + 1);
  }
  sink.Finish();
  if (a) a->SyncFull();

  Params.TGAImageName.clear();
  Params.TGABackground = TRGB{};
  // A TGA 2.0 extension area and footer right after the pixels belong to the file.
  const std::int64_t after = Stream.Position();
  const std::int64_t left = r.Left();
  auto footerAt = [&](std::int64_t off) {
    if (left < off + 26) return false;
    Stream.SetPosition(after + off + 8);
    char sig[18];
    Stream.ReadBuffer(sig, 18);
    return std::memcmp(sig, kFooterSig, 18) == 0;
  };
  if (footerAt(kExtSize)) {
    Stream.SetPosition(after);
    TByteReader e(Stream, kExtSize, "TGA extension area");
    if (e.U16() == kExtSize) {
      e.Skip(41 + 324 + 12);
      std::string job = e.Str(41);
      Params.TGAImageName = job.substr(0, job.find('\0'));
      e.Skip(6 + 41 + 3);
      std::uint8_t key[4];
      e.Bytes(key, 4);
      Params.TGABackground = TRGB{key[0], key[1], key[2]};
    }
    Stream.SetPosition(after + kExtSize + 26);
  } else if (footerAt(0)) {
    Stream.SetPosition(after + 26);
  } else {
    Stream.SetPosition(after);
  }

  Params.FileType = ioTGA;
  Params.TGACompressed = rle;
  Params.TGADescriptor = id;
  Params.SamplesPerPixel = base == 2 ? (alpha ? 4 : 3) : 1;
  Params.BitsPerSample = base == 2 ? (h.depth <= 16 ? 5 : 8) : pf == ie1g ? 1 : 8;
  IESetColorMap(Params, pal);
}

namespace {
void PutLE16(std::vector<std::uint8_t>& v, int x) {
  v.push_back(static_cast<std::uint8_t>(x));
  v.push_back(static_cast<std::uint8_t>(x >> 8));
}

// One row of pixels (bytes each) as run-length packets, never crossing rows.
void EncodeRow(const std::uint8_t* px, int w, int bytes, std::vector<std::uint8_t>& out) {
  auto same = [&](int a, int b) {
    return std::memcmp(px + a * bytes, px + b * bytes, static_cast<size_t>(bytes)) == 0;
  };
  int x = 0;
  while (x < w) {
    int run = 1;
    while (x + run < w && run < 128 && same(x, x + run)) ++run;
    if (run >= 2) {
      out.push_back(static_cast<std::uint8_t>(0x80 | (run - 1)));
      out.insert(out.end(), px + x * bytes, px + (x + 1) * bytes);
      x += run;
      continue;
    }
    int raw = 1;
    while (x + raw < w && raw < 128 && !(x + raw + 1 < w && same(x + raw, x + raw + 1))) ++raw;
    out.push_back(static_cast<std::uint8_t>(raw - 1));
    out.insert(out.end(), px + x * bytes, px + (x + raw) * bytes);
    x += raw;
  }
}
}  // namespace

void TGAWriteStream(TStream& Stream, TIEBitmap& Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  const std::int64_t start = Stream.Position();
  const int w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
  if (w > 65535 || h > 65535) throw EIEImageError("TGA: images are at most 65535 pixels wide and high");
  TIEBitmap temp;
  TIEBitmap* src;
  int type, depth;
  const TIEPixelFormat bpf = Bitmap.GetPixelFormat();
  // A colour map has no alpha: an image with alpha to keep is true colour.
  const bool keepAlpha = IEAlphaToWrite(Bitmap) != nullptr;
  TIEBitmap twoTemp;
  TIEBitmap* two = nullptr;
  if (keepAlpha && Params.SamplesPerPixel == 1 && bpf != ie8g && bpf != ie16g) {
    src = IEWriteSource(Bitmap, ie24RGB, 256, temp);
    type = 2;
    depth = 24;
  } else if (Params.SamplesPerPixel == 1 && Params.BitsPerSample == 1 && !keepAlpha &&
             !(two = IETwoColourSource(Bitmap, Params, twoTemp))) {
    // Targa has no 1-bit images: a black and white colour map stands in.
    src = IEWriteSource(Bitmap, ie1g, 2, temp);
    type = 1;
    depth = 8;
  } else if (Params.SamplesPerPixel == 1 && (bpf == ie8g || bpf == ie16g)) {
    src = IEWriteSource(Bitmap, ie8g, 256, temp);
    type = 3;
    depth = 8;
  } else if (Params.SamplesPerPixel == 1) {
    src = IEWriteSource(two ? *two : Bitmap, ie8p, 1 << std::clamp(Params.BitsPerSample, 1, 8), temp);
    type = 1;
    depth = 8;
  } else {
    src = IEWriteSource(Bitmap, ie24RGB, 256, temp);
    type = 2;
    depth = 24;
  }
  TIEBitmap* alpha = Bitmap.HasAlphaChannel() && type != 1 ? Bitmap.GetAlphaChannel() : nullptr;
  if (alpha) depth = type == 3 ? 16 : 32;
  const int bytes = depth / 8;

  std::vector<std::uint8_t> out;
  std::string id = Params.TGADescriptor.substr(0, 255);
  out.push_back(static_cast<std::uint8_t>(id.size()));
  out.push_back(type == 1 ? 1 : 0);
  out.push_back(static_cast<std::uint8_t>(Params.TGACompressed ? type + 8 : type));
  std::vector<TRGB> pal;
  if (type == 1) {
    if (src->GetPixelFormat() == ie1g)
      pal = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
    else
      for (int i = 0; i < std::max(1, src->PaletteUsed()); ++i) pal.push_back(src->GetPalette(i));
  }
  PutLE16(out, 0);
  PutLE16(out, static_cast<int>(pal.size()));
  out.push_back(type == 1 ? 24 : 0);
  PutLE16(out, 0);
  PutLE16(out, 0);
  PutLE16(out, w);
  PutLE16(out, h);
  out.push_back(static_cast<std::uint8_t>(depth));
  out.push_back(static_cast<std::uint8_t>(alpha ? 8 : 0));
  out.insert(out.end(), id.begin(), id.end());
  for (const TRGB& c : pal) out.insert(out.end(), {c.b, c.g, c.r});
  Stream.WriteBuffer(out.data(), static_cast<std::int64_t>(out.size()));

  std::vector<std::uint8_t> row(static_cast<size_t>(w) * bytes), packed;
  Progress.SetRows(h);
  TIERowsUpwards srcRows(src);
  std::optional<TIERowsUpwards> alphaRows;
  if (alpha) alphaRows.emplace(alpha);
  for (int k = 0; k < h; ++k) {
    const int y = h - 1 - k;
    const std::uint8_t* s = srcRows.Row(y);
    const std::uint8_t* a = alphaRows ? alphaRows->Row(y) : nullptr;
    for (int x = 0; x < w; ++x) {
      std::uint8_t* d = row.data() + static_cast<size_t>(x) * bytes;
      if (src->GetPixelFormat() == ie1g) {
        d[0] = (s[x >> 3] >> (7 - (x & 7))) & 1;
      } else if (type == 2) {
        std::memcpy(d, s + 3 * x, 3);
        if (a) d[3] = a[x];
      } else {
        d[0] = s[x];
        if (a) d[1] = a[x];
      }
    }
    if (Params.TGACompressed) {
      packed.clear();
      EncodeRow(row.data(), w, bytes, packed);
      Stream.WriteBuffer(packed.data(), static_cast<std::int64_t>(packed.size()));
    } else {
      Stream.WriteBuffer(row.data(), static_cast<std::int64_t>(row.size()));
    }
    Progress.Report(k + 1);
  }

  // TGA 2.0 extension area: the image name as the job name, the background
  // as the key colour; then the footer that points at it.
  const std::int64_t extPos = Stream.Position();
  std::vector<std::uint8_t> ext(kExtSize, 0);
  ext[0] = kExtSize & 0xFF;
  ext[1] = kExtSize >> 8;
  std::string job = Params.TGAImageName.substr(0, 40);
  std::memcpy(ext.data() + 2 + 41 + 324 + 12, job.data(), job.size());
  const size_t keyAt = 2 + 41 + 324 + 12 + 41 + 6 + 41 + 3;
  ext[keyAt] = Params.TGABackground.b;
  ext[keyAt + 1] = Params.TGABackground.g;
  ext[keyAt + 2] = Params.TGABackground.r;
  ext[kExtSize - 1] = alpha ? 3 : 0;  // attributes type: 3 = true alpha
  Stream.WriteBuffer(ext.data(), kExtSize);
  std::vector<std::uint8_t> footer(26, 0);
  // The offset counts from the start of the file, where the header began.
  const auto extOff = static_cast<std::uint32_t>(extPos - start);
  for (int i = 0; i < 4; ++i) footer[i] = static_cast<std::uint8_t>(extOff >> (8 * i));
  std::memcpy(footer.data() + 8, kFooterSig, 18);
  Stream.WriteBuffer(footer.data(), 26);
}

}  // namespace redozir
