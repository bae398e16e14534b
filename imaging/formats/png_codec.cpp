// PNG through libpng: every colour type and depth in, palette, grey and
// RGB out, the alpha plane both ways (tRNS for palettes), 16-bit kept when
// the pixel format is native.
#include <png.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "imaging/core/ie_rowband.h"
#include "imaging/formats/ie_codec_util.h"
#include "imaging/formats/ie_codecs.h"
#include "imaging/formats/ie_debuglog.h"

namespace redozir {

namespace {
[[noreturn]] void PngError(png_structp, png_const_charp msg) {
  throw EIEImageError(std::string("PNG: ") + msg);
}
void PngWarning(png_structp, png_const_charp msg) { IEDebugLog(std::string("PNG warning: ") + msg); }

struct ReadState {
  TStream* s;
  std::int64_t left;
  bool truncated = false;
};
void PngRead(png_structp png, png_bytep data, size_t n) {
  auto* st = static_cast<ReadState*>(png_get_io_ptr(png));
  if (static_cast<std::int64_t>(n) > st->left) {
    st->truncated = true;
    throw EIEImageError("PNG: file truncated");
  }
  st->s->ReadBuffer(data, static_cast<std::int64_t>(n));
  st->left -= static_cast<std::int64_t>(n);
}
void PngWrite(png_structp png, png_bytep data, size_t n) {
  static_cast<TStream*>(png_get_io_ptr(png))->WriteBuffer(data, static_cast<std::int64_t>(n));
}
void PngFlush(png_structp) {}

struct ReadGuard {
  png_structp png = nullptr;
  png_infop info = nullptr;
  png_infop end = nullptr;
  ~ReadGuard() { png_destroy_read_struct(&png, info ? &info : nullptr, end ? &end : nullptr); }
};
struct WriteGuard {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~WriteGuard() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};
}  // namespace

bool PNGTryStream(TStream& s) {
  std::uint8_t b[8];
  return s.Read(b, 8) == 8 && png_sig_cmp(b, 0, 8) == 0;
}

void PNGReadStream(TStream& Stream, TIEBitmap& Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  ReadState st{&Stream, Stream.Size() - Stream.Position()};
  ReadGuard g;
  g.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!g.png) throw EIEImageError("PNG: cannot create the reader");
  g.info = png_create_info_struct(g.png);
  g.end = png_create_info_struct(g.png);
  if (!g.info || !g.end) throw EIEImageError("PNG: cannot create the reader");
  png_set_read_fn(g.png, &st, PngRead);
  png_set_user_limits(g.png, 1000000, 1000000);
  png_set_chunk_malloc_max(g.png, 16 << 20);
  png_read_info(g.png, g.info);
  png_uint_32 w = 0, h = 0;
  int depth = 0, ctype = 0, interlace = 0;
  png_get_IHDR(g.png, g.info, &w, &h, &depth, &ctype, &interlace, nullptr, nullptr);
  const int channels = png_get_channels(g.png, g.info);
  // Deflate cannot shrink data by more than about 1032 to 1.
  IECheckImageSize("PNG", w, h, depth * channels, st.left, 1100);

  const bool hasTrns = png_get_valid(g.png, g.info, PNG_INFO_tRNS) != 0;
  TIEPixelFormat pf;
  bool alpha = (ctype & PNG_COLOR_MASK_ALPHA) != 0;
  int paletteCount = 0;
  std::vector<TRGB> pal;
  if (ctype == PNG_COLOR_TYPE_PALETTE) {
    png_colorp p = nullptr;
    png_get_PLTE(g.png, g.info, &p, &paletteCount);
    for (int i = 0; i < paletteCount; ++i) pal.push_back(TRGB{p[i].blue, p[i].green, p[i].red});
    if (hasTrns) {
      // Transparent entries: the image becomes colour with an alpha plane.
      png_set_palette_to_rgb(g.png);
      png_set_tRNS_to_alpha(g.png);
      alpha = true;
      pf = ie24RGB;
    } else {
      if (depth < 8) png_set_packing(g.png);
      pf = ie8p;
    }
  } else if (ctype == PNG_COLOR_TYPE_GRAY || ctype == PNG_COLOR_TYPE_GRAY_ALPHA) {
    if (depth == 1 && !alpha && !hasTrns) {
      pf = ie1g;
    } else if (depth == 16) {
      png_set_swap(g.png);
      if (hasTrns) {
        png_set_tRNS_to_alpha(g.png);
        alpha = true;
      }
      pf = ie16g;
    } else {
      if (depth < 8) png_set_expand_gray_1_2_4_to_8(g.png);
      if (depth == 16) png_set_strip_16(g.png);
      if (hasTrns) {
        png_set_tRNS_to_alpha(g.png);
        alpha = true;
      }
      pf = ie8g;
    }
  } else {
    if (depth == 16) {
      png_set_swap(g.png);
      if (hasTrns) {
        png_set_tRNS_to_alpha(g.png);
        alpha = true;
      }
      pf = ieRGB48;
    } else {
      if (depth == 16) png_set_strip_16(g.png);
      if (hasTrns) {
        png_set_tRNS_to_alpha(g.png);
        alpha = true;
      }
      png_set_bgr(g.png);
      pf = ie24RGB;
    }
  }
  const int passes = png_set_interlace_handling(g.png);
  png_read_update_info(g.png, g.info);
  const size_t rowBytes = png_get_rowbytes(g.png, g.info);
  const int outChannels = png_get_channels(g.png, g.info);
  // Interlaced passes split into pixels and alpha keep every decoded row.
  const bool direct = !alpha && pf != ie1g;
  const std::int64_t kept = static_cast<std::int64_t>(rowBytes) * (direct ? 0 : passes > 1 ? h : 1);
  IECheckLoadBudget("PNG", w, h, pf, alpha, kept, Params);
  IEAllocImage(Bitmap, w, h, pf, "PNG");
  const int W = static_cast<int>(w), H = static_cast<int>(h);
  if (pf == ie8p) {
    for (int i = 0; i < paletteCount; ++i) Bitmap.SetPalette(i, pal[i]);
    Bitmap.SetPaletteUsed(std::max(paletteCount, 1));
  }
  TIEBitmap* a = alpha ? Bitmap.GetAlphaChannel() : nullptr;
  if (!alpha && Bitmap.HasAlphaChannel()) Bitmap.RemoveAlphaChannel();

  // Rows are kept as decoded (all of them for interlaced files, whose
  // passes revisit every row), then split into pixels and alpha.
  std::vector<std::uint8_t> buf(static_cast<size_t>(kept));
  Progress.SetRows(std::int64_t(H) * passes);
  // Rows written once go through a sink; interlaced passes decoded straight
  // into the bitmap revisit its rows.
  std::optional<TIERowSink> sink;
  if (!direct || passes == 1) sink.emplace(&Bitmap, 0, H);
  for (int pass = 0; pass < passes; ++pass) {
    for (int y = 0; y < H; ++y) {
      std::uint8_t* row = !direct ? buf.data() + (passes > 1 ? rowBytes * y : 0)
                          : sink  ? sink->Row(y)
                                  : Bitmap.GetScanline(y);
      png_read_row(g.png, row, nullptr);
      if (!direct && pass == passes - 1) {
        std::uint8_t* d = sink->Row(y);
        if (pf == ie1g) {
          std::memcpy(d, row, static_cast<size_t>((W + 7) / 8));
        } else {
          std::uint8_t* ar = a->GetScanline(y);
          int colour = outChannels - 1;
          for (int x = 0; x < W && (pf == ie16g || pf == ieRGB48); ++x) {
            // 16-bit samples (already in host order); alpha to 8 bits.
            const auto* px =
                reinterpret_cast<const std::uint16_t*>(row) + static_cast<size_t>(x) * outChannels;
            std::memcpy(d + static_cast<size_t>(x) * colour * 2, px, static_cast<size_t>(colour) * 2);
            ar[x] = static_cast<std::uint8_t>((px[colour] + 128) / 257);
          }
          for (int x = 0; x < W && pf != ie16g && pf != ieRGB48; ++x) {
            const std::uint8_t* px = row + static_cast<size_t>(x) * outChannels;
            if (colour == 1) {
              d[x] = px[0];
            } else if (ctype == PNG_COLOR_TYPE_PALETTE) {
              d[3 * x] = px[2];
              d[3 * x + 1] = px[1];
              d[3 * x + 2] = px[0];
            } else {
              std::memcpy(d + 3 * x, px, 3);
            }
            ar[x] = px[colour];
          }
        }
      }
      Progress.Report(std::int64_t(pass) * H + y + 1);
    }
  }
  if (sink) sink->Finish();
  // A file cut after its last row (its end chunk or the chunks before it
  // lost) still holds the whole picture.
  try {
    png_read_end(g.png, g.end);
  } catch (const EIEImageError&) {
    if (!st.truncated) throw;
    IEDebugLog("PNG: file cut after the image data; the picture is complete");
  }
  if (a) a->SyncFull();

  Params.FileType = ioPNG;
  Params.PNGInterlaced = interlace != PNG_INTERLACE_NONE;
  Params.BitsPerSample = depth;
  Params.SamplesPerPixel = (ctype == PNG_COLOR_TYPE_PALETTE || ctype == PNG_COLOR_TYPE_GRAY) ? 1 : channels;
  if ((ctype & PNG_COLOR_MASK_ALPHA) != 0) Params.SamplesPerPixel = channels;
  png_color_16p bkgd = nullptr;
  if (png_get_bKGD(g.png, g.info, &bkgd) && bkgd) {
    if (ctype == PNG_COLOR_TYPE_PALETTE) {
      if (bkgd->index < pal.size()) Params.PNGBackground = pal[bkgd->index];
    } else if (ctype & PNG_COLOR_MASK_COLOR) {
      int sh = depth == 16 ? 8 : 0;
      Params.PNGBackground =
          TRGB{static_cast<std::uint8_t>(bkgd->blue >> sh), static_cast<std::uint8_t>(bkgd->green >> sh),
               static_cast<std::uint8_t>(bkgd->red >> sh)};
    } else {
      int v = depth == 16 ? bkgd->gray >> 8 : bkgd->gray * 255 / ((1 << depth) - 1);
      auto c = static_cast<std::uint8_t>(v);
      Params.PNGBackground = TRGB{c, c, c};
    }
  }
  IESetColorMap(Params, pal);
}

void PNGWriteStream(TStream& Stream, TIEBitmap& Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  const int w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
  TIEBitmap temp;
  TIEBitmap* src;
  int ctype, depth;
  const TIEPixelFormat bpf = Bitmap.GetPixelFormat();
  TIEBitmap* alpha = Bitmap.HasAlphaChannel() ? Bitmap.GetAlphaChannel() : nullptr;
  // A palette carries alpha as one value per entry (tRNS): only when every
  // pixel of an entry has the same alpha; RGBA otherwise.
  std::vector<int> entryAlpha;
  auto alphaPerEntry = [&](TIEBitmap& pb) {
    entryAlpha.assign(256, -1);
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* s = pb.GetScanline(y);
      const std::uint8_t* ar = alpha->GetScanline(y);
      for (int x = 0; x < w; ++x) {
        int& e = entryAlpha[s[x]];
        if (e >= 0 && e != ar[x]) return false;
        e = ar[x];
      }
    }
    return true;
  };
  const bool paletteHoldsAlpha = !alpha || (bpf == ie8p && alphaPerEntry(Bitmap));
  TIEBitmap twoTemp;
  TIEBitmap* two = Params.SamplesPerPixel == 1 && Params.BitsPerSample == 1
                       ? IETwoColourSource(Bitmap, Params, twoTemp)
                       : nullptr;
  if (two && (!alpha || alphaPerEntry(*two))) {
    src = two;
    ctype = PNG_COLOR_TYPE_PALETTE;
    depth = 1;
  } else if (Params.SamplesPerPixel == 1 && Params.BitsPerSample == 1 && !alpha) {
    src = IEWriteSource(Bitmap, ie1g, 2, temp);
    ctype = PNG_COLOR_TYPE_GRAY;
    depth = 1;
  } else if (Params.SamplesPerPixel == 1 && Params.BitsPerSample > 8) {
    src = IEWriteSource(Bitmap, ie16g, 256, temp);
    ctype = PNG_COLOR_TYPE_GRAY;
    depth = 16;
  } else if (Params.SamplesPerPixel == 1 && (bpf == ie8g || bpf == ie16g)) {
    src = IEWriteSource(Bitmap, ie8g, 256, temp);
    ctype = PNG_COLOR_TYPE_GRAY;
    depth = 8;
  } else if (Params.SamplesPerPixel == 1 && (!alpha || paletteHoldsAlpha)) {
    int bits = std::clamp(Params.BitsPerSample, 1, 8);
    src = IEWriteSource(Bitmap, ie8p, 1 << bits, temp);
    ctype = PNG_COLOR_TYPE_PALETTE;
    depth = 8;
    if (alpha && src != &Bitmap && !alphaPerEntry(*src)) {
      // Quantised colours that mix alphas: RGBA keeps both.
      src = IEWriteSource(Bitmap, ie24RGB, 256, temp);
      ctype = PNG_COLOR_TYPE_RGB;
    }
  } else if (Params.BitsPerSample > 8) {
    src = IEWriteSource(Bitmap, ieRGB48, 256, temp);
    ctype = PNG_COLOR_TYPE_RGB;
    depth = 16;
  } else {
    src = IEWriteSource(Bitmap, ie24RGB, 256, temp);
    ctype = PNG_COLOR_TYPE_RGB;
    depth = 8;
  }
  // A 1-bit image with alpha got past the 1-bit forms above: it is RGBA.
  if (alpha && ctype != PNG_COLOR_TYPE_PALETTE) ctype |= PNG_COLOR_MASK_ALPHA;

  WriteGuard g;
  g.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!g.png) throw EIEImageError("PNG: cannot create the writer");
  g.info = png_create_info_struct(g.png);
  if (!g.info) throw EIEImageError("PNG: cannot create the writer");
  png_set_write_fn(g.png, &Stream, PngWrite, PngFlush);
  png_set_compression_level(g.png, std::clamp(Params.PNGCompression, 0, 9));
  static const int filters[] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_PAETH};
  png_set_filter(g.png, PNG_FILTER_TYPE_BASE, filters[std::min<int>(Params.PNGFilter, 2)]);

  std::vector<std::uint8_t> trns;
  int palCount = 0;
  if (ctype == PNG_COLOR_TYPE_PALETTE) {
    palCount = std::max(1, std::min(src->PaletteUsed(), 256));
    // The palette's size decides the stored depth: 1, 2, 4 or 8 bits.
    depth = palCount <= 2 ? 1 : palCount <= 4 ? 2 : palCount <= 16 ? 4 : 8;
  }
  png_set_IHDR(g.png, g.info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), depth, ctype,
               Params.PNGInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
               PNG_FILTER_TYPE_BASE);
  std::vector<png_color> pal;
  if (ctype == PNG_COLOR_TYPE_PALETTE) {
    for (int i = 0; i < palCount; ++i) {
      TRGB c = src->GetPalette(i);
      pal.push_back(png_color{c.r, c.g, c.b});
    }
    png_set_PLTE(g.png, g.info, pal.data(), palCount);
  }
  png_color_16 bkgd{};
  const TRGB bg = Params.PNGBackground;
  if (ctype == PNG_COLOR_TYPE_PALETTE) {
    int best = 0, bestD = 1 << 30;
    for (int i = 0; i < palCount; ++i) {
      int d = (pal[i].red - bg.r) * (pal[i].red - bg.r) + (pal[i].green - bg.g) * (pal[i].green - bg.g) +
              (pal[i].blue - bg.b) * (pal[i].blue - bg.b);
      if (d < bestD) bestD = d, best = i;
    }
    bkgd.index = static_cast<png_byte>(best);
  } else if (ctype & PNG_COLOR_MASK_COLOR) {
    int mul = depth == 16 ? 257 : 1;
    bkgd.red = static_cast<png_uint_16>(bg.r * mul);
    bkgd.green = static_cast<png_uint_16>(bg.g * mul);
    bkgd.blue = static_cast<png_uint_16>(bg.b * mul);
  } else {
    int grey = IEGreyOf(bg);
    bkgd.gray = static_cast<png_uint_16>(depth == 16 ? grey * 257 : depth == 1 ? grey >> 7 : grey);
  }
  png_set_bKGD(g.png, g.info, &bkgd);

  // Palette alpha: a palette entry per distinct (index, alpha) is not
  // possible, so a transparent pixel takes the alpha of its index's first
  // appearance; fully opaque images store no tRNS.
  if (ctype == PNG_COLOR_TYPE_PALETTE && alpha) {
    trns.assign(static_cast<size_t>(palCount), 255);
    std::vector<bool> seen(static_cast<size_t>(palCount), false);
    bool any = false;
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* s = src->GetScanline(y);
      const std::uint8_t* ar = alpha->GetScanline(y);
      for (int x = 0; x < w; ++x) {
        int i = std::min<int>(s[x], palCount - 1);
        if (!seen[i]) seen[i] = true, trns[i] = ar[x];
        any |= trns[i] != 255;
      }
    }
    if (any) png_set_tRNS(g.png, g.info, trns.data(), palCount, nullptr);
  }
  png_write_info(g.png, g.info);
  if (depth == 16) png_set_swap(g.png);
  if (depth < 8 && ctype == PNG_COLOR_TYPE_PALETTE) png_set_packing(g.png);
  if (ctype == PNG_COLOR_TYPE_RGB || ctype == PNG_COLOR_TYPE_RGB_ALPHA) {
    if (depth == 8) png_set_bgr(g.png);
  }
  const int passes = png_set_interlace_handling(g.png);
  const int outCh = (ctype == PNG_COLOR_TYPE_RGB_ALPHA) ? 4 : (ctype == PNG_COLOR_TYPE_GRAY_ALPHA) ? 2 : 0;
  const size_t sampleBytes = depth == 16 ? 2 : 1;
  std::vector<std::uint8_t> row(outCh ? static_cast<size_t>(w) * outCh * sampleBytes : 0);
  Progress.SetRows(std::int64_t(h) * passes);
  for (int pass = 0; pass < passes; ++pass) {
    for (int y = 0; y < h; ++y) {
      std::uint8_t* s = src->GetScanline(y);
      if (outCh) {
        const std::uint8_t* ar = alpha->GetScanline(y);
        const size_t c = static_cast<size_t>(outCh - 1) * sampleBytes;
        for (int x = 0; x < w; ++x) {
          std::uint8_t* d = row.data() + static_cast<size_t>(x) * outCh * sampleBytes;
          std::memcpy(d, s + static_cast<size_t>(x) * c, c);
          if (sampleBytes == 2) {
            const auto a16 = static_cast<std::uint16_t>(ar[x] * 257);
            std::memcpy(d + c, &a16, 2);
          } else {
            d[c] = ar[x];
          }
        }
        png_write_row(g.png, row.data());
      } else {
        png_write_row(g.png, s);
      }
      Progress.Report(std::int64_t(pass) * h + y + 1);
    }
  }
  png_write_end(g.png, g.info);
}

}  // namespace redozir
