// GIF through giflib: one frame of a file by its index (the others are
// skipped without decoding), transparency as the alpha plane, interlace,
// positions, delay and background; written as GIF89a with a palette of
// 2 to 256 colours.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/formats/ie_codec_util.h"
#include "imaging/formats/ie_codecs.h"
#include "imaging/formats/ie_debuglog.h"

namespace redozir {

namespace {
struct GifRead {
  TStream* s;
  std::int64_t left;
};
int ReadFn(GifFileType* g, GifByteType* buf, int n) {
  auto* st = static_cast<GifRead*>(g->UserData);
  std::int64_t want = std::min<std::int64_t>(n, st->left);
  std::int64_t got = want > 0 ? st->s->Read(buf, want) : 0;
  st->left -= got;
  return static_cast<int>(got);
}
int WriteFn(GifFileType* g, const GifByteType* buf, int n) {
  static_cast<TStream*>(g->UserData)->WriteBuffer(buf, n);
  return n;
}

[[noreturn]] void Fail(GifFileType* g, const char* what) {
  int code = g ? g->Error : 0;
  const char* msg = GifErrorString(code);
  throw EIEImageError(std::string("GIF: ") + what + (msg ? std::string(": ") + msg : std::string()));
}

struct DGifCloser {
  GifFileType* g = nullptr;
  ~DGifCloser() {
    int err;
    if (g) DGifCloseFile(g, &err);
  }
};
struct EGifCloser {
  GifFileType* g = nullptr;
  ~EGifCloser() {
    int err;
    if (g) EGifCloseFile(g, &err);
  }
};

// Rows of an interlaced frame in the order they are stored.
std::vector<int> RowOrder(int h, bool interlaced) {
  std::vector<int> rows;
  if (!interlaced) {
    for (int y = 0; y < h; ++y) rows.push_back(y);
    return rows;
  }
  const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
  for (int p = 0; p < 4; ++p)
    for (int y = start[p]; y < h; y += step[p]) rows.push_back(y);
  return rows;
}

TRGB ToRGB(const GifColorType& c) { return TRGB{c.Blue, c.Green, c.Red}; }

int NearestIndex(const std::vector<TRGB>& pal, TRGB c) {
  int best = 0, bestD = 1 << 30;
  for (size_t i = 0; i < pal.size(); ++i) {
    int dr = pal[i].r - c.r, dg = pal[i].g - c.g, db = pal[i].b - c.b;
    int d = dr * dr + dg * dg + db * db;
    if (d < bestD) bestD = d, best = static_cast<int>(i);
  }
  return best;
}
}  // namespace

bool GIFTryStream(TStream& s) {
  char b[6];
  return s.Read(b, 6) == 6 && (std::memcmp(b, "GIF87a", 6) == 0 || std::memcmp(b, "GIF89a", 6) == 0);
}

void GIFReadStream(TStream& Stream, TIEBitmap& Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  GifRead st{&Stream, Stream.Size() - Stream.Position()};
  if (st.left < 13) throw EIEImageError("GIF: file truncated");
  int err = 0;
  DGifCloser c;
  c.g = DGifOpen(&st, ReadFn, &err);
  if (!c.g)
    throw EIEImageError(std::string("GIF: ") +
                        (GifErrorString(err) ? GifErrorString(err) : "not a GIF file"));
  GifFileType* g = c.g;
  const int wanted = std::max(0, Params.GIFImageIndex);
  int frame = 0;
  bool got = false;
  int transIndex = -1, delay = 0, pendingTrans = -1, pendingDelay = 0;
  std::vector<TRGB> pal;
  int x0 = 0, y0 = 0;
  bool interlaced = false;
  // Once the frame asked for is read, damage further on (a frame without a
  // colour map, a cut file) ends the count of frames, not the load.
  try {
    for (;;) {
      GifRecordType rt;
      if (DGifGetRecordType(g, &rt) == GIF_ERROR) Fail(g, "bad record");
      if (rt == TERMINATE_RECORD_TYPE) break;
      if (rt == EXTENSION_RECORD_TYPE) {
        int code = 0;
        GifByteType* ext = nullptr;
        if (DGifGetExtension(g, &code, &ext) == GIF_ERROR) Fail(g, "bad extension");
        if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
          GraphicsControlBlock gcb;
          DGifExtensionToGCB(ext[0], ext + 1, &gcb);
          pendingTrans = gcb.TransparentColor;
          pendingDelay = gcb.DelayTime;
        }
        while (ext) {
          if (DGifGetExtensionNext(g, &ext) == GIF_ERROR) Fail(g, "bad extension");
        }
        continue;
      }
      if (rt != IMAGE_DESC_RECORD_TYPE) continue;
      if (DGifGetImageDesc(g) == GIF_ERROR) Fail(g, "bad image descriptor");
      // giflib keeps a record per frame; only the count matters here.
      GifImageDesc d = g->Image;
      if (frame == wanted && !got) {
        const ColorMapObject* cm = d.ColorMap ? d.ColorMap : g->SColorMap;
        if (!cm) throw EIEImageError("GIF: frame without a colour map");
        for (int i = 0; i < cm->ColorCount; ++i) pal.push_back(ToRGB(cm->Colors[i]));
        // LZW codes cannot describe more than about 4096 pixels per 12 bits.
        IECheckImageSize("GIF", d.Width, d.Height, 8, st.left, 4096);
        const int w = d.Width, h = d.Height;
        bool bw =
            pal.size() == 2 && pal[0] == TRGB{0, 0, 0} && pal[1] == TRGB{255, 255, 255} && pendingTrans < 0;
        IECheckLoadBudget("GIF", w, h, bw ? ie1g : ie8p, pendingTrans >= 0, w, Params);
        IEAllocImage(Bitmap, w, h, bw ? ie1g : ie8p, "GIF");
        std::vector<GifPixelType> line(static_cast<size_t>(w));
        TIEBitmap* a = pendingTrans >= 0 ? Bitmap.GetAlphaChannel() : nullptr;
        if (!a && Bitmap.HasAlphaChannel()) Bitmap.RemoveAlphaChannel();
        auto rows = RowOrder(h, d.Interlace);
        Progress.SetRows(h);
        for (int i = 0; i < h; ++i) {
          if (DGifGetLine(g, line.data(), w) == GIF_ERROR) Fail(g, "bad image data");
          const int y = rows[static_cast<size_t>(i)];
          std::uint8_t* dst = Bitmap.GetScanline(y);
          if (bw) {
            std::memset(dst, 0, static_cast<size_t>(Bitmap.GetRowLen()));
            for (int x = 0; x < w; ++x)
              if (line[x] & 1) dst[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
          } else {
            std::memcpy(dst, line.data(), static_cast<size_t>(w));
          }
          if (a) {
            std::uint8_t* ar = a->GetScanline(y);
            for (int x = 0; x < w; ++x) ar[x] = line[x] == pendingTrans ? 0 : 255;
          }
          Progress.Report(i + 1);
        }
        if (a) a->SyncFull();
        if (!bw) {
          for (size_t i = 0; i < pal.size() && i < 256; ++i) Bitmap.SetPalette(static_cast<int>(i), pal[i]);
          Bitmap.SetPaletteUsed(static_cast<int>(std::min<size_t>(pal.size(), 256)));
        }
        transIndex = pendingTrans;
        delay = pendingDelay;
        x0 = d.Left;
        y0 = d.Top;
        interlaced = d.Interlace;
        got = true;
      } else {
        int size = 0;
        GifByteType* code = nullptr;
        if (DGifGetCode(g, &size, &code) == GIF_ERROR) Fail(g, "bad image data");
        while (code) {
          if (DGifGetCodeNext(g, &code) == GIF_ERROR) Fail(g, "bad image data");
        }
      }
      pendingTrans = -1;
      pendingDelay = 0;
      ++frame;
    }
  } catch (const EIEImageError& e) {
    if (!got) throw;
    IEDebugLog(std::string(e.what()) + " after image " + std::to_string(wanted) + ": " +
               std::to_string(frame) + " images counted");
  }
  if (!got)
    throw EIEImageError("GIF: image index " + std::to_string(wanted) + " not found (" +
                        std::to_string(frame) + " images)");
  Params.FileType = ioGIF;
  Params.ImageCount = frame;
  Params.GIFXPos = x0;
  Params.GIFYPos = y0;
  Params.GIFDelayTime = delay;
  Params.GIFInterlaced = interlaced;
  Params.GIFTransparent = transIndex >= 0;
  Params.GIFTranspColor =
      transIndex >= 0 && transIndex < static_cast<int>(pal.size()) ? pal[transIndex] : TRGB{};
  Params.GIFBackground = g->SColorMap && g->SBackGroundColor < g->SColorMap->ColorCount
                             ? ToRGB(g->SColorMap->Colors[g->SBackGroundColor])
                             : TRGB{};
  int bits = 1;
  while ((1 << bits) < static_cast<int>(pal.size()) && bits < 8) ++bits;
  Params.BitsPerSample = bits;
  Params.SamplesPerPixel = 1;
  IESetColorMap(Params, pal);
}

void GIFWriteStream(TStream& Stream, TIEBitmap& Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  const int w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
  if (Params.GIFXPos < 0 || Params.GIFYPos < 0 || w + std::int64_t(Params.GIFXPos) > 65535 ||
      h + std::int64_t(Params.GIFYPos) > 65535)
    throw EIEImageError("GIF: image and position must fit in 65535 x 65535 pixels");
  // A 24-bit parameter set means "as many colours as GIF has".
  int bits = Params.SamplesPerPixel == 1 ? std::clamp(Params.BitsPerSample, 1, 8) : 8;
  TIEBitmap temp;
  TIEBitmap* src;
  // With an alpha plane, the pixels under alpha 128 take GIF's one
  // transparent colour: an entry that no visible pixel uses (a new one, or
  // one freed by reducing the colours). The parameters' transparent colour
  // is for images without an alpha plane.
  TIEBitmap* alpha = Bitmap.HasAlphaChannel() ? Bitmap.GetAlphaChannel() : nullptr;
  bool anyClear = false;
  for (int y = 0; alpha && y < h && !anyClear; ++y) {
    const std::uint8_t* ar = alpha->GetScanline(y);
    for (int x = 0; x < w && !anyClear; ++x) anyClear = ar[x] < 128;
  }
  int trans = NO_TRANSPARENT_COLOR;
  if (anyClear) {
    auto freeEntry = [&](TIEBitmap& pb) {
      std::vector<bool> used(256, false);
      for (int y = 0; y < h; ++y) {
        const std::uint8_t* p = pb.GetScanline(y);
        const std::uint8_t* ar = alpha->GetScanline(y);
        for (int x = 0; x < w; ++x)
          if (ar[x] >= 128) used[p[x]] = true;
      }
      for (int i = 0; i < 256; ++i)
        if (!used[i]) return i;
      return -1;
    };
    src = IEWriteSource(Bitmap, ie8p, 1 << bits, temp);
    trans = freeEntry(*src);
    if (trans < 0) {
      src = IEWriteSource(Bitmap, ie8p, 255, temp);
      trans = freeEntry(*src);
    }
    while ((1 << bits) <= trans) ++bits;
  } else {
    src =
        bits == 1 && Bitmap.GetPixelFormat() == ie1g ? &Bitmap : IEWriteSource(Bitmap, ie8p, 1 << bits, temp);
  }
  std::vector<TRGB> pal(static_cast<size_t>(1) << bits, TRGB{});
  if (src->GetPixelFormat() == ie1g) {
    pal[1] = TRGB{255, 255, 255};
  } else {
    for (int i = 0; i < std::min<int>(src->PaletteUsed(), static_cast<int>(pal.size())); ++i)
      pal[i] = src->GetPalette(i);
  }
  // The transparent entry, which no visible pixel uses, takes the colour of
  // the first transparent pixel, so that a copy of a GIF stays the same.
  for (int y = 0; anyClear && y < h; ++y) {
    const std::uint8_t* ar = alpha->GetScanline(y);
    const int x = static_cast<int>(std::find_if(ar, ar + w, [](std::uint8_t v) { return v < 128; }) - ar);
    if (x < w) {
      pal[static_cast<size_t>(trans)] = Bitmap.GetPixels(x, y);
      break;
    }
  }
  std::vector<GifColorType> colors;
  for (const TRGB& c : pal) colors.push_back(GifColorType{c.r, c.g, c.b});

  int err = 0;
  EGifCloser c;
  c.g = EGifOpen(&Stream, WriteFn, &err);
  if (!c.g) throw EIEImageError("GIF: cannot create the writer");
  GifFileType* g = c.g;
  EGifSetGifVersion(g, true);
  ColorMapObject* map = GifMakeMapObject(static_cast<int>(colors.size()), colors.data());
  if (!map) throw EIEImageError("GIF: cannot make the colour map");
  const int bg = NearestIndex(pal, Params.GIFBackground);
  int rc = EGifPutScreenDesc(g, w + Params.GIFXPos, h + Params.GIFYPos, bits, bg, map);
  GifFreeMapObject(map);
  if (rc == GIF_ERROR) Fail(g, "cannot write the screen");
  if (!alpha && Params.GIFTransparent) trans = NearestIndex(pal, Params.GIFTranspColor);
  if (trans != NO_TRANSPARENT_COLOR || Params.GIFDelayTime != 0) {
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
    gcb.DelayTime = std::clamp(Params.GIFDelayTime, 0, 65535);
    gcb.TransparentColor = trans;
    GifByteType ext[4];
    size_t n = EGifGCBToExtension(&gcb, ext);
    if (EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext) == GIF_ERROR)
      Fail(g, "cannot write the control block");
  }
  if (EGifPutImageDesc(g, Params.GIFXPos, Params.GIFYPos, w, h, Params.GIFInterlaced, nullptr) == GIF_ERROR)
    Fail(g, "cannot write the image descriptor");
  std::vector<GifPixelType> line(static_cast<size_t>(w));
  auto rows = RowOrder(h, Params.GIFInterlaced);
  Progress.SetRows(h);
  for (int i = 0; i < h; ++i) {
    const std::uint8_t* s = src->GetScanline(rows[static_cast<size_t>(i)]);
    if (src->GetPixelFormat() == ie1g) {
      for (int x = 0; x < w; ++x) line[x] = (s[x >> 3] >> (7 - (x & 7))) & 1;
    } else {
      for (int x = 0; x < w; ++x) line[x] = static_cast<GifPixelType>(std::min<int>(s[x], (1 << bits) - 1));
    }
    if (anyClear) {
      const std::uint8_t* ar = alpha->GetScanline(rows[static_cast<size_t>(i)]);
      for (int x = 0; x < w; ++x)
        if (ar[x] < 128) line[x] = static_cast<GifPixelType>(trans);
    }
    if (EGifPutLine(g, line.data(), w) == GIF_ERROR) Fail(g, "cannot write the image data");
    Progress.Report(i + 1);
  }
  int cerr = 0;
  GifFileType* done = c.g;
  c.g = nullptr;
  if (EGifCloseFile(done, &cerr) == GIF_ERROR) throw EIEImageError("GIF: cannot finish the file");
}

}  // namespace redozir
