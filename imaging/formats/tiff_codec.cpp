// TIFF through libtiff on our streams (client I/O): pages by index,
// bilevel, grey, palette, RGB(A), 16-bit, in strips or tiles and, through
// libtiff's RGBA reader, everything else it decodes (YCbCr, Lab, planes);
// written with every compression the parameters name.
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "imaging/core/ie_rowband.h"
#include "imaging/formats/byte_order.h"
#include "imaging/formats/ie_codec_util.h"
#include "imaging/formats/ie_codecs.h"
#include "imaging/formats/ie_debuglog.h"

namespace redozir {

namespace {
struct Client {
  TStream* s;
  std::int64_t base;          // the file's first byte in the stream
  std::int64_t furthest = 0;  // read or written, relative to base
  bool writing = false;
  std::string error;
  // libtiff only warns when a tag's data lies beyond the end of the file and
  // drops the tag (a palette image then reads as grey): that is a truncated
  // file to us.
  std::string truncated;
  // Writes held back and handed to the stream in large blocks: libtiff
  // writes a strip of about 8 KB at a time, and every call through a stream
  // costs far more than copying the bytes. The pending bytes belong at the
  // stream's position; every other call flushes them first.
  std::vector<std::uint8_t> pending;
  static constexpr std::size_t kWriteBlock = 1 << 20;

  bool Flush() noexcept {
    if (pending.empty()) return true;
    try {
      s->WriteBuffer(pending.data(), static_cast<std::int64_t>(pending.size()));
      pending.clear();
      furthest = std::max(furthest, s->Position() - base);
      return true;
    } catch (const std::exception& e) {
      if (error.empty()) error = e.what();
    } catch (...) {
      if (error.empty()) error = "stream failure";
    }
    pending.clear();
    return false;
  }
};

// libtiff is C: nothing may be thrown through it. A stream's exception
// becomes the client's error and a failed call, which libtiff reports.
template <typename F, typename R>
R Guarded(Client* c, R Failed, F Call) noexcept {
  try {
    return Call();
  } catch (const std::exception& e) {
    if (c->error.empty()) c->error = e.what();
  } catch (...) {
    if (c->error.empty()) c->error = "stream failure";
  }
  return Failed;
}

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t n) {
  auto* c = static_cast<Client*>(h);
  if (!c->Flush()) return -1;
  return Guarded(c, tmsize_t(-1), [&] {
    std::int64_t got = c->s->Read(buf, n);
    c->furthest = std::max(c->furthest, c->s->Position() - c->base);
    return static_cast<tmsize_t>(got);
  });
}
tmsize_t WriteProc(thandle_t h, void* buf, tmsize_t n) {
  auto* c = static_cast<Client*>(h);
  if (!c->writing || n < 0) return -1;
  const auto count = static_cast<std::size_t>(n);
  if (c->pending.size() + count > Client::kWriteBlock && !c->Flush()) return -1;
  if (count >= Client::kWriteBlock) {
    return Guarded(c, tmsize_t(-1), [&] {
      c->s->WriteBuffer(buf, n);
      c->furthest = std::max(c->furthest, c->s->Position() - c->base);
      return n;
    });
  }
  return Guarded(c, tmsize_t(-1), [&] {
    if (c->pending.capacity() == 0) c->pending.reserve(Client::kWriteBlock);
    const auto* b = static_cast<const std::uint8_t*>(buf);
    c->pending.insert(c->pending.end(), b, b + count);
    return n;
  });
}
toff_t SeekProc(thandle_t h, toff_t off, int whence) {
  auto* c = static_cast<Client*>(h);
  if (!c->Flush()) return static_cast<toff_t>(-1);
  return Guarded(c, static_cast<toff_t>(-1), [&] {
    std::int64_t target;
    const auto o = static_cast<std::int64_t>(off);
    if (whence == SEEK_SET)
      target = c->base + o;
    else if (whence == SEEK_CUR)
      target = c->s->Position() + o;
    else
      target = c->s->Size() + o;
    if (target < c->base) return static_cast<toff_t>(-1);
    if (target > c->s->Size()) {
      if (!c->writing) return static_cast<toff_t>(-1);
      // Seeking past the end while writing grows the file with zeros.
      c->s->Seek(0, soEnd);
      std::vector<std::uint8_t> zeros(static_cast<size_t>(target - c->s->Size()), 0);
      c->s->WriteBuffer(zeros.data(), static_cast<std::int64_t>(zeros.size()));
    }
    return static_cast<toff_t>(c->s->Seek(target, soBeginning) - c->base);
  });
}
int CloseProc(thandle_t h) { return static_cast<Client*>(h)->Flush() ? 0 : -1; }
toff_t SizeProc(thandle_t h) {
  auto* c = static_cast<Client*>(h);
  c->Flush();
  return Guarded(c, static_cast<toff_t>(0), [&] { return static_cast<toff_t>(c->s->Size() - c->base); });
}
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

int ErrorHandler(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  auto* c = static_cast<Client*>(user);
  char msg[512];
  std::vsnprintf(msg, sizeof msg, fmt, ap);
  if (c->error.empty()) c->error = std::string(module ? module : "") + (module ? ": " : "") + msg;
  return 1;
}
int WarningHandler(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  auto* c = static_cast<Client*>(user);
  char msg[512];
  std::vsnprintf(msg, sizeof msg, fmt, ap);
  if (c->truncated.empty() && std::strstr(msg, "IO error")) c->truncated = msg;
  IEDebugLog(std::string("TIFF warning: ") + (module ? module : "") + (module ? ": " : "") + msg);
  return 1;
}

struct Handle {
  TIFF* t = nullptr;
  Client* c = nullptr;
  ~Handle() {
    if (t) TIFFClose(t);
  }
  [[noreturn]] void Fail(const std::string& what) const {
    throw EIEImageError("TIFF: " + what + (c && !c->error.empty() ? " (" + c->error + ")" : ""));
  }
};

TIFF* Open(Client& c, const char* mode) {
  TIFFOpenOptions* o = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetMaxSingleMemAlloc(o, 512 << 20);
  TIFFOpenOptionsSetErrorHandlerExtR(o, ErrorHandler, &c);
  TIFFOpenOptionsSetWarningHandlerExtR(o, WarningHandler, &c);
  TIFF* t = TIFFClientOpenExt("stream", mode, &c, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                              UnmapProc, o);
  TIFFOpenOptionsFree(o);
  return t;
}

std::string GetString(TIFF* t, ttag_t tag) {
  char* v = nullptr;
  return TIFFGetField(t, tag, &v) == 1 && v ? std::string(v) : std::string();
}

std::uint8_t OurCompression(int c, int g3opts) {
  switch (c) {
    case COMPRESSION_NONE: return ioTIFF_UNCOMPRESSED;
    case COMPRESSION_CCITTRLE: return ioTIFF_CCITT1D;
    case COMPRESSION_CCITTFAX3: return (g3opts & GROUP3OPT_2DENCODING) ? ioTIFF_G3FAX2D : ioTIFF_G3FAX1D;
    case COMPRESSION_CCITTFAX4: return ioTIFF_G4FAX;
    case COMPRESSION_LZW: return ioTIFF_LZW;
    case COMPRESSION_OJPEG: return ioTIFF_OLDJPEG;
    case COMPRESSION_JPEG: return ioTIFF_JPEG;
    case COMPRESSION_PACKBITS: return ioTIFF_PACKBITS;
    case COMPRESSION_ADOBE_DEFLATE: return ioTIFF_ZIP;
    case COMPRESSION_DEFLATE: return ioTIFF_DEFLATE;
    default: return ioTIFF_UNKNOWN;
  }
}
// CIE L*a*b* as TIFF stores it (white point D50; L in 0..100 over the
// sample's range, a and b signed, a 16-bit step 1/256) to sRGB. The white
// is adapted to sRGB's D65 by the Bradford transform, folded into the
// matrix from XYZ; stored white reads as (255, 255, 255). Rows of 8-bit
// samples become blue, green, red bytes, of 16-bit ones red, green, blue
// 16-bit words.
void LabRowToRGB(const std::uint8_t* Src, int Bits, int Width, std::uint8_t* Dst) {
  static constexpr double kD50[3] = {0.96422, 1.0, 0.82521};
  static constexpr double kToSRGB[3][3] = {{3.1338561, -1.6168667, -0.4906146},
                                           {-0.9787684, 1.9161415, 0.0334540},
                                           {0.0719453, -0.2289914, 1.4052427}};
  auto finv = [](double t) {
    constexpr double e = 6.0 / 29;
    return t > e ? t * t * t : 3 * e * e * (t - 4.0 / 29);
  };
  auto* d16 = reinterpret_cast<std::uint16_t*>(Dst);
  for (int x = 0; x < Width; ++x) {
    double L, a, b;
    if (Bits == 8) {
      const std::uint8_t* s = Src + 3 * x;
      L = s[0] * 100.0 / 255, a = static_cast<std::int8_t>(s[1]), b = static_cast<std::int8_t>(s[2]);
    } else {
      const auto* s = reinterpret_cast<const std::uint16_t*>(Src) + 3 * x;
      L = s[0] * 100.0 / 65535, a = static_cast<std::int16_t>(s[1]) / 256.0,
      b = static_cast<std::int16_t>(s[2]) / 256.0;
    }
    const double fy = (L + 16) / 116;
    const double xyz[3] = {kD50[0] * finv(fy + a / 500), kD50[1] * finv(fy), kD50[2] * finv(fy - b / 200)};
    for (int c = 0; c < 3; ++c) {
      double v =
          std::clamp(kToSRGB[c][0] * xyz[0] + kToSRGB[c][1] * xyz[1] + kToSRGB[c][2] * xyz[2], 0.0, 1.0);
      v = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
      if (Bits == 8)
        Dst[3 * x + 2 - c] = static_cast<std::uint8_t>(std::lround(v * 255));
      else
        d16[3 * x + c] = static_cast<std::uint16_t>(std::lround(v * 65535));
    }
  }
}
}  // namespace

bool TIFFTryStream(TStream& s) {
  std::uint8_t b[4];
  if (s.Read(b, 4) != 4) return false;
  return (b[0] == 'I' && b[1] == 'I' && (b[2] == 42 || b[2] == 43) && b[3] == 0) ||
         (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && (b[3] == 42 || b[3] == 43));
}

void TIFFReadStream(TStream& Stream, TIEBitmap& Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  Client c{&Stream, Stream.Position(), 0, false, {}, {}, {}};
  const std::int64_t fileBytes = Stream.Size() - c.base;
  if (fileBytes < 8) throw EIEImageError("TIFF: file truncated");
  Handle h;
  h.c = &c;
  h.t = Open(c, "rm");
  if (!h.t) h.Fail("cannot open the file");
  TIFF* t = h.t;
  const int pages = TIFFNumberOfDirectories(t);
  const int index = Params.TIFFImageIndex;
  if (index < 0 || index >= pages)
    throw EIEImageError("TIFF: image index " + std::to_string(index) + " not found (" +
                        std::to_string(pages) + " images)");
  if (!TIFFSetDirectory(t, static_cast<tdir_t>(index))) h.Fail("cannot read image " + std::to_string(index));
  if (!c.truncated.empty()) throw EIEImageError("TIFF: file truncated (" + c.truncated + ")");

  std::uint32_t w = 0, hh = 0;
  std::uint16_t bps = 1, spp = 1, photo = PHOTOMETRIC_MINISBLACK, comp = COMPRESSION_NONE,
                planar = PLANARCONFIG_CONTIG;
  std::uint32_t g3 = 0;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &hh);
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bps);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &comp);
  TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
  if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photo))
    photo = spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  if (comp == COMPRESSION_CCITTFAX3) TIFFGetField(t, TIFFTAG_GROUP3OPTIONS, &g3);
  std::uint16_t extraCount = 0;
  std::uint16_t* extra = nullptr;
  TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
  if (!TIFFIsCODECConfigured(comp)) h.Fail("compression " + std::to_string(comp) + " is not supported");
  if (comp == COMPRESSION_LZW && !Params.TIFFLZWDecompressor)
    throw EIEImageError("TIFF: LZW compressed image and no LZW decoder installed");
  IECheckImageSize("TIFF", w, hh, std::int64_t(bps) * spp, fileBytes, comp == COMPRESSION_NONE ? 1 : 4096);
  // A strip or tile running past the end of the file cannot be read whole,
  // and not every decoder says so: old-style JPEG fills the rest with grey.
  const std::uint32_t striles = TIFFIsTiled(t) ? TIFFNumberOfTiles(t) : TIFFNumberOfStrips(t);
  for (std::uint32_t i = 0; i < striles; ++i) {
    const auto at =
        static_cast<std::int64_t>(std::min<std::uint64_t>(TIFFGetStrileOffset(t, i), INT64_MAX / 2));
    const auto n =
        static_cast<std::int64_t>(std::min<std::uint64_t>(TIFFGetStrileByteCount(t, i), INT64_MAX / 2));
    if (n > 0 && at + n > fileBytes)
      throw EIEImageError("TIFF: file truncated (" + std::string(TIFFIsTiled(t) ? "tile " : "strip ") +
                          std::to_string(i) + " ends at byte " + std::to_string(at + n) + " of " +
                          std::to_string(fileBytes) + ")");
  }

  const int W = static_cast<int>(w), H = static_cast<int>(hh);
  const bool contig = planar == PLANARCONFIG_CONTIG || spp == 1;
  // Samples in planes of their own are read plane by plane and put
  // together into the row a contiguous file would have.
  const bool planes = !contig && (bps == 8 || bps == 16);
  const bool strips = !TIFFIsTiled(t);
  // Tiles are put together into rows here for the kinds read natively; a
  // tile row must then start on a byte.
  std::uint32_t tw = 0, th = 0;
  if (!strips) {
    TIFFGetField(t, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(t, TIFFTAG_TILELENGTH, &th);
  }
  const bool rows = strips || (tw > 0 && th > 0 && (std::uint64_t(tw) * bps * spp) % 8 == 0);
  const bool grey = photo == PHOTOMETRIC_MINISBLACK || photo == PHOTOMETRIC_MINISWHITE;
  const bool hasAlpha =
      extraCount > 0 && extra && (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA);
  // Premultiplied colour is made straight again as it is read.
  const bool assocAlpha = hasAlpha && extra[0] == EXTRASAMPLE_ASSOCALPHA;
  std::uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &orientation);
  // Colour samples per pixel of the kinds read natively.
  int colourSamples = 0;
  TIEPixelFormat pf = ienull;
  const bool lab = photo == PHOTOMETRIC_CIELAB && (bps == 8 || bps == 16) && spp == 3;
  if (rows && (contig || planes)) {
    if (grey && spp == 1 && bps == 1)
      pf = ie1g;
    else if (grey && spp == 1 && (bps == 4 || bps == 8))
      pf = ie8g;
    else if (grey && spp == 1 && bps == 16)
      pf = ie16g;
    else if (grey && spp == 2 && hasAlpha && (bps == 8 || bps == 16))
      pf = bps == 8 ? ie8g : ie16g;
    else if (photo == PHOTOMETRIC_RGB && bps == 16 && spp == 4 && hasAlpha)
      pf = ieRGB48;
    else if (photo == PHOTOMETRIC_PALETTE && spp == 1 && (bps == 1 || bps == 2 || bps == 4 || bps == 8))
      pf = ie8p;
    else if (photo == PHOTOMETRIC_RGB && bps == 8 && (spp == 3 || spp == 4))
      pf = ie24RGB;
    else if (photo == PHOTOMETRIC_RGB && bps == 16 && spp == 3)
      pf = ieRGB48;
    else if (photo == PHOTOMETRIC_SEPARATED && bps == 8 && spp == 4)
      pf = ieCMYK;
    else if (lab)
      pf = bps == 8 ? ie24RGB : ieRGB48;
    else if (strips && photo == PHOTOMETRIC_YCBCR && comp == COMPRESSION_JPEG && bps == 8 && spp == 3) {
      TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
      pf = ie24RGB;
    }
  }
  std::vector<TRGB> pal;
  if (pf == ie8g || pf == ie16g) colourSamples = 1;
  if (pf == ie24RGB || pf == ieRGB48) colourSamples = 3;
  const bool alpha = hasAlpha && (pf == ienull || (colourSamples > 0 && spp > colourSamples));
  // Straight samples from premultiplied ones (alpha of the same depth).
  auto unpremultiply = [](std::uint32_t v, std::uint32_t a, std::uint32_t max) {
    return a == 0 ? 0u : std::min(max, (v * max + a / 2) / a);
  };
  {
    // Beside the picture the decoder holds libtiff's RGBA image or a band of
    // strips or tiles; the turn to the upright orientation a copy after it.
    const TIEPixelFormat got = pf == ienull ? ie24RGB : pf;
    std::int64_t work = 0;
    if (pf == ienull)
      work = std::int64_t(W) * H * 4;
    else if (!strips && tw > 0)
      work = TIFFTileSize64(t) * ((W + std::int64_t(tw) - 1) / tw) * (planes ? spp : 1);
    else if (planes)
      work = TIFFStripSize64(t) * spp;
    if (orientation >= 2 && orientation <= 8) work = std::max(work, IEBitmapBytes(W, H, got, alpha));
    IECheckLoadBudget("TIFF", W, H, got, alpha, work, Params);
  }
  if (pf == ienull) {
    // Everything else goes through libtiff's RGBA reader.
    char emsg[1024] = "";
    if (!TIFFRGBAImageOK(t, emsg)) h.Fail(std::string("unsupported image: ") + emsg);
    IEAllocImage(Bitmap, W, H, ie24RGB, "TIFF");
    std::vector<std::uint32_t> rgba(static_cast<size_t>(W) * H);
    // Rows in stored order: the orientation is applied below, as on the
    // native path (libtiff's own turns only flip). A strip or tile that
    // fails stops the read: going on would leave another tile's pixels in
    // its place.
    c.error.clear();
    if (!TIFFReadRGBAImageOriented(t, w, hh, rgba.data(), orientation, 1) || !c.error.empty())
      h.Fail("cannot decode the image");
    TIEBitmap* a = alpha ? Bitmap.GetAlphaChannel() : nullptr;
    Progress.SetRows(H);
    for (int y = 0; y < H; ++y) {
      std::uint8_t* d = Bitmap.GetScanline(y);
      std::uint8_t* ar = a ? a->GetScanline(y) : nullptr;
      for (int x = 0; x < W; ++x) {
        std::uint32_t p = rgba[static_cast<size_t>(y) * W + x];
        // libtiff's RGBA reader gives premultiplied colour whatever the file holds.
        const std::uint32_t av = TIFFGetA(p);
        auto ch = [&](std::uint32_t v) {
          return static_cast<std::uint8_t>(ar ? unpremultiply(v, av, 255) : v);
        };
        d[3 * x] = ch(TIFFGetB(p));
        d[3 * x + 1] = ch(TIFFGetG(p));
        d[3 * x + 2] = ch(TIFFGetR(p));
        if (ar) ar[x] = static_cast<std::uint8_t>(av);
      }
      Progress.Report(y + 1);
    }
    if (a) a->SyncFull();
  } else {
    IEAllocImage(Bitmap, W, H, pf, "TIFF");
    if (pf == ie8p) {
      std::uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
      if (!TIFFGetField(t, TIFFTAG_COLORMAP, &r, &g, &b)) h.Fail("palette image without a colour map");
      const int n = 1 << bps;
      // Some writers store 8-bit values in the 16-bit map.
      bool eight = true;
      for (int i = 0; i < n; ++i) eight &= r[i] < 256 && g[i] < 256 && b[i] < 256;
      for (int i = 0; i < n; ++i) {
        auto v = [&](std::uint16_t x) { return static_cast<std::uint8_t>(eight ? x : x >> 8); };
        pal.push_back(TRGB{v(b[i]), v(g[i]), v(r[i])});
        Bitmap.SetPalette(i, pal.back());
      }
      Bitmap.SetPaletteUsed(n);
    }
    TIEBitmap* a = alpha ? Bitmap.GetAlphaChannel() : nullptr;
    // With planes: the row of one plane.
    const std::int64_t lineBytes = TIFFScanlineSize64(t);
    if (lineBytes <= 0) h.Fail("invalid row size");
    const int planeCount = planes ? spp : 1;
    const int sampleBytes = bps / 8;
    std::vector<std::uint8_t> line(static_cast<size_t>(lineBytes) * planeCount);
    std::vector<std::uint8_t> plane(planes ? static_cast<size_t>(lineBytes) * planeCount : 0);
    // One band of tiles (a tile high, the image wide), read when a row
    // enters it.
    // Strips in planes go by bands too: the strips of one plane after
    // another cannot be decoded a row at a time in turn.
    const bool bands = !strips || planes;
    std::vector<std::uint8_t> band;
    std::int64_t tileBytes = 0, tileRowBytes = 0, across = 0, bandLoaded = -1;
    std::uint32_t bandRows = th;
    if (bands && strips) {
      TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &bandRows);
      bandRows = std::clamp<std::uint32_t>(bandRows, 1, hh);
      tileBytes = TIFFStripSize64(t);
      tileRowBytes = lineBytes;
      across = 1;
      const std::int64_t bandBytes = tileBytes * spp;
      if (tileBytes <= 0 || bandBytes > kMaxBitmapBytes ||
          bandBytes > fileBytes * (comp == COMPRESSION_NONE ? 1 : 4096) + 65536)
        h.Fail("strips of " + std::to_string(bandRows) + " rows cannot come from this file");
      band.resize(static_cast<size_t>(bandBytes));
    } else if (bands) {
      tileBytes = TIFFTileSize64(t);
      tileRowBytes = TIFFTileRowSize64(t);
      across = (W + std::int64_t(tw) - 1) / tw;
      const std::int64_t bandBytes = tileBytes * across * (planes ? spp : 1);
      if (tileBytes <= 0 || tileRowBytes <= 0 || bandBytes > kMaxBitmapBytes ||
          bandBytes > fileBytes * (comp == COMPRESSION_NONE ? 1 : 4096) + 65536)
        h.Fail("tiles of " + std::to_string(tw) + " x " + std::to_string(th) + " cannot come from this file");
      band.resize(static_cast<size_t>(bandBytes));
    }
    // Row y of plane s (the row itself without planes) into Out.
    auto readPlaneRow = [&](int y, int s, std::uint8_t* Out) {
      if (!bands) {
        if (TIFFReadScanline(t, Out, static_cast<std::uint32_t>(y), 0) < 0) h.Fail("cannot decode the image");
        return;
      }
      const std::int64_t b = y / bandRows;
      std::uint8_t* planeBand = band.data() + s * tileBytes * across;
      if (b != bandLoaded) {
        for (int k = 0; k < planeCount; ++k)
          for (std::int64_t i = 0; i < across; ++i) {
            const auto plane = static_cast<std::uint16_t>(k);
            std::uint8_t* to = band.data() + (k * across + i) * tileBytes;
            const tmsize_t got =
                strips ? TIFFReadEncodedStrip(t, TIFFComputeStrip(t, static_cast<std::uint32_t>(y), plane),
                                              to, tileBytes)
                       : TIFFReadEncodedTile(t,
                                             TIFFComputeTile(t, static_cast<std::uint32_t>(i * tw),
                                                             static_cast<std::uint32_t>(y), 0, plane),
                                             to, tileBytes);
            if (got < 0) h.Fail("cannot decode the image");
          }
        bandLoaded = b;
      }
      const std::int64_t r = y - b * bandRows;
      for (std::int64_t i = 0; i < across; ++i) {
        const std::int64_t at = i * tileRowBytes;
        const std::int64_t n = std::min(tileRowBytes, lineBytes - at);
        std::memcpy(Out + at, planeBand + i * tileBytes + r * tileRowBytes, static_cast<size_t>(n));
      }
    };
    auto readRow = [&](int y) {
      if (!planes) return readPlaneRow(y, 0, line.data());
      for (int s = 0; s < spp; ++s) {
        readPlaneRow(y, s, plane.data());
        for (int x = 0; x < W; ++x)
          std::memcpy(line.data() + (static_cast<size_t>(x) * spp + s) * sampleBytes,
                      plane.data() + static_cast<size_t>(x) * sampleBytes, static_cast<size_t>(sampleBytes));
      }
    };
    Progress.SetRows(H);
    TIERowSink sink(&Bitmap, 0, H);
    for (int y = 0; y < H; ++y) {
      readRow(y);
      std::uint8_t* d = sink.Row(y);
      const std::uint8_t* p = line.data();
      if (lab) {
        LabRowToRGB(p, bps, W, d);
        Progress.Report(y + 1);
        continue;
      }
      switch (pf) {
        case ie1g:
          std::memcpy(d, p, static_cast<size_t>((W + 7) / 8));
          if (photo == PHOTOMETRIC_MINISWHITE)
            for (int i = 0; i < (W + 7) / 8; ++i) d[i] = static_cast<std::uint8_t>(~d[i]);
          break;
        case ie8g:
          if (spp == 2) {
            std::uint8_t* ar = a ? a->GetScanline(y) : nullptr;
            for (int x = 0; x < W; ++x) {
              const std::uint32_t v = p[2 * x], av = p[2 * x + 1];
              d[x] = static_cast<std::uint8_t>(assocAlpha ? unpremultiply(v, av, 255) : v);
              if (photo == PHOTOMETRIC_MINISWHITE) d[x] = static_cast<std::uint8_t>(255 - d[x]);
              if (ar) ar[x] = static_cast<std::uint8_t>(av);
            }
            break;
          }
          [[fallthrough]];
        case ie8p:
          for (int x = 0; x < W; ++x) {
            int v = bps == 8 ? p[x] : (p[(x * bps) >> 3] >> (8 - bps - ((x * bps) & 7))) & ((1 << bps) - 1);
            if (pf == ie8g && bps == 4) v *= 17;
            if (photo == PHOTOMETRIC_MINISWHITE) v = 255 - v;
            d[x] = static_cast<std::uint8_t>(v);
          }
          break;
        case ie16g:
        case ieRGB48: {
          // Samples of 16 bits; an alpha sample after the colour ones.
          const auto* s16 = reinterpret_cast<const std::uint16_t*>(p);
          auto* d16 = reinterpret_cast<std::uint16_t*>(d);
          std::uint8_t* ar = a ? a->GetScanline(y) : nullptr;
          for (int x = 0; x < W; ++x) {
            const std::uint16_t* px = s16 + static_cast<size_t>(x) * spp;
            const std::uint32_t av = spp > colourSamples ? px[colourSamples] : 65535;
            for (int k = 0; k < colourSamples; ++k) {
              std::uint32_t v = assocAlpha ? unpremultiply(px[k], av, 65535) : px[k];
              if (photo == PHOTOMETRIC_MINISWHITE) v ^= 0xFFFF;
              d16[static_cast<size_t>(x) * colourSamples + k] = static_cast<std::uint16_t>(v);
            }
            if (ar) ar[x] = static_cast<std::uint8_t>((av + 128) / 257);
          }
          break;
        }
        case ieCMYK: std::memcpy(d, p, static_cast<size_t>(W) * 4); break;
        default: {
          std::uint8_t* ar = a ? a->GetScanline(y) : nullptr;
          if (spp == 3 && !ar && !assocAlpha) {
            IECopyAndSwapRB(d, p, W);
            break;
          }
          for (int x = 0; x < W; ++x) {
            const std::uint8_t* s = p + static_cast<size_t>(x) * spp;
            const std::uint32_t av = ar ? s[3] : 255;
            auto ch = [&](std::uint32_t v) {
              return static_cast<std::uint8_t>(assocAlpha ? unpremultiply(v, av, 255) : v);
            };
            d[3 * x] = ch(s[2]);
            d[3 * x + 1] = ch(s[1]);
            d[3 * x + 2] = ch(s[0]);
            if (ar) ar[x] = static_cast<std::uint8_t>(av);
          }
        }
      }
      Progress.Report(y + 1);
    }
    sink.Finish();
    if (a) a->SyncFull();
  }
  if (!alpha && Bitmap.HasAlphaChannel()) Bitmap.RemoveAlphaChannel();
  IEApplyOrientation(Bitmap, orientation);

  float xpos = 0, ypos = 0;
  std::uint16_t pageNo = 0, pageCount = 0;
  TIFFGetField(t, TIFFTAG_XPOSITION, &xpos);
  TIFFGetField(t, TIFFTAG_YPOSITION, &ypos);
  TIFFGetField(t, TIFFTAG_PAGENUMBER, &pageNo, &pageCount);
  Params.FileType = ioTIFF;
  Params.ImageCount = pages;
  Params.TIFFCompression = OurCompression(comp, static_cast<int>(g3));
  Params.TIFFPhotometric =
      static_cast<std::uint8_t>(photo == PHOTOMETRIC_CIELAB ? ioTIFF_CIELAB : std::min<int>(photo, 7));
  Params.TIFFXPos = static_cast<int>(std::clamp(xpos, -1e9f, 1e9f));
  Params.TIFFYPos = static_cast<int>(std::clamp(ypos, -1e9f, 1e9f));
  Params.TIFFDocumentName = GetString(t, TIFFTAG_DOCUMENTNAME);
  Params.TIFFImageDescription = GetString(t, TIFFTAG_IMAGEDESCRIPTION);
  Params.TIFFPageName = GetString(t, TIFFTAG_PAGENAME);
  Params.TIFFPageNumber = pageNo;
  Params.TIFFPageCount = pageCount;
  Params.BitsPerSample = bps;
  Params.SamplesPerPixel = spp;
  IESetColorMap(Params, pal);
  // The file ends where the furthest byte libtiff needed lies.
  Stream.SetPosition(c.base + c.furthest);
}

void TIFFWriteStream(TStream& Stream, TIEBitmap& Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  const int w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
  const std::uint8_t ph = Params.TIFFPhotometric;
  const int bits = Params.BitsPerSample, spp = Params.SamplesPerPixel;
  int compression;
  int g3 = 0;
  switch (Params.TIFFCompression) {
    case ioTIFF_UNCOMPRESSED: compression = COMPRESSION_NONE; break;
    case ioTIFF_CCITT1D: compression = COMPRESSION_CCITTRLE; break;
    case ioTIFF_G3FAX1D: compression = COMPRESSION_CCITTFAX3; break;
    case ioTIFF_G3FAX2D:
      compression = COMPRESSION_CCITTFAX3;
      g3 = GROUP3OPT_2DENCODING;
      break;
    case ioTIFF_G4FAX: compression = COMPRESSION_CCITTFAX4; break;
    // Without an installed LZW encoder PackBits stands in, as the dialog shows it.
    case ioTIFF_LZW:
      compression = Params.TIFFLZWCompressor ? Params.TIFFLZWCompressor() : COMPRESSION_PACKBITS;
      break;
    case ioTIFF_JPEG: compression = COMPRESSION_JPEG; break;
    case ioTIFF_PACKBITS: compression = COMPRESSION_PACKBITS; break;
    case ioTIFF_ZIP: compression = COMPRESSION_ADOBE_DEFLATE; break;
    case ioTIFF_DEFLATE: compression = COMPRESSION_DEFLATE; break;
    // What a source file was read with but cannot be written (old-style
    // JPEG, WebP, LZMA, ...): the nearest that can, so that a picture read
    // from a TIFF saves as a TIFF with the parameters it came with.
    case ioTIFF_OLDJPEG:
      compression = COMPRESSION_JPEG;
      IEDebugLog("TIFF: old-style JPEG compression cannot be written; JPEG compression instead");
      break;
    default:
      compression = COMPRESSION_ADOBE_DEFLATE;
      IEDebugLog("TIFF: compression " + std::to_string(Params.TIFFCompression) +
                 " cannot be written; deflate instead");
  }
  const bool fax = compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
                   compression == COMPRESSION_CCITTFAX4;
  // What is stored: decided by the depth, then by the photometric value.
  // Alpha goes with grey and RGB as an extra, unassociated sample; a
  // palette image with alpha is stored as RGB to keep it.
  TIEBitmap temp;
  TIEBitmap* src;
  int photo, obits, ospp;
  const TIEPixelFormat bpf = Bitmap.GetPixelFormat();
  TIEBitmap* alpha = compression == COMPRESSION_JPEG || fax ? nullptr : IEAlphaToWrite(Bitmap);
  // Fax codes hold black and white only.
  TIEBitmap twoTemp;
  TIEBitmap* two = spp == 1 && bits == 1 && !fax ? IETwoColourSource(Bitmap, Params, twoTemp) : nullptr;
  // Black and white has no room for alpha: grey with alpha keeps it.
  if (spp == 1 && bits == 1 && !two && !alpha) {
    src = IEWriteSource(Bitmap, ie1g, 2, temp);
    photo = ph == ioTIFF_WHITEISZERO ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK;
    obits = 1, ospp = 1;
    alpha = nullptr;
  } else if (spp == 1 && bits > 8) {
    src = IEWriteSource(Bitmap, ie16g, 256, temp);
    photo = PHOTOMETRIC_MINISBLACK;
    obits = 16, ospp = 1;
  } else if (spp == 1 && (ph == ioTIFF_WHITEISZERO || ph == ioTIFF_BLACKISZERO ||
                          (ph != ioTIFF_RGBPALETTE && (bpf == ie8g || bpf == ie16g)))) {
    src = IEWriteSource(Bitmap, ie8g, 256, temp);
    photo = ph == ioTIFF_WHITEISZERO ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK;
    obits = 8, ospp = 1;
  } else if (spp == 1 && !alpha) {
    obits = bits <= 1 && two ? 1 : bits <= 4 ? 4 : 8;
    src = IEWriteSource(two ? *two : Bitmap, ie8p, 1 << obits, temp);
    photo = PHOTOMETRIC_PALETTE;
    ospp = 1;
  } else if (ph == ioTIFF_CMYK || (spp == 4 && bpf == ieCMYK)) {
    src = IEWriteSource(Bitmap, ieCMYK, 256, temp);
    photo = PHOTOMETRIC_SEPARATED;
    obits = 8, ospp = 4;
    alpha = nullptr;
  } else if (bits > 8) {
    src = IEWriteSource(Bitmap, ieRGB48, 256, temp);
    photo = PHOTOMETRIC_RGB;
    obits = 16, ospp = 3;
  } else {
    src = IEWriteSource(Bitmap, ie24RGB, 256, temp);
    // YCbCr is stored only with JPEG compression, where libtiff converts.
    photo = ph == ioTIFF_YCBCR && compression == COMPRESSION_JPEG ? PHOTOMETRIC_YCBCR : PHOTOMETRIC_RGB;
    obits = 8, ospp = 3;
  }
  if (fax && !(obits == 1 && ospp == 1 && photo != PHOTOMETRIC_PALETTE))
    throw EIEImageError("TIFF: fax compression needs a black and white image (1 bit per sample, 1 sample)");
  if (compression == COMPRESSION_JPEG && !(obits == 8 && (photo == PHOTOMETRIC_MINISBLACK || ospp == 3))) {
    // CMYK, palettes and 16 bits (a CMYK JPEG source, say): lossless instead.
    compression = COMPRESSION_ADOBE_DEFLATE;
    IEDebugLog("TIFF: JPEG compression cannot hold this image (" + std::to_string(ospp) + " samples of " +
               std::to_string(obits) + " bits); deflate instead");
  }

  Client c{&Stream, Stream.Position(), 0, false, {}, {}, {}};
  c.writing = true;
  Handle hd;
  hd.c = &c;
  hd.t = Open(c, "w");
  if (!hd.t) hd.Fail("cannot create the file");
  TIFF* t = hd.t;
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(w));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(h));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, obits);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, ospp + (alpha ? 1 : 0));
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photo);
  TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
  if (g3) TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, g3);
  if (alpha) {
    std::uint16_t ex = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &ex);
  }
  if (compression == COMPRESSION_JPEG) {
    TIFFSetField(t, TIFFTAG_JPEGQUALITY, std::clamp(Params.JPEGQuality, 1, 100));
    if (photo == PHOTOMETRIC_YCBCR) TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  }
  if (compression == COMPRESSION_ADOBE_DEFLATE || compression == COMPRESSION_LZW) {
    TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_NONE);
  }
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
  TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(t, TIFFTAG_XRESOLUTION, 150.0f);
  TIFFSetField(t, TIFFTAG_YRESOLUTION, 150.0f);
  if (Params.TIFFXPos) TIFFSetField(t, TIFFTAG_XPOSITION, static_cast<float>(Params.TIFFXPos));
  if (Params.TIFFYPos) TIFFSetField(t, TIFFTAG_YPOSITION, static_cast<float>(Params.TIFFYPos));
  if (!Params.TIFFDocumentName.empty())
    TIFFSetField(t, TIFFTAG_DOCUMENTNAME, Params.TIFFDocumentName.c_str());
  if (!Params.TIFFImageDescription.empty())
    TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, Params.TIFFImageDescription.c_str());
  if (!Params.TIFFPageName.empty()) TIFFSetField(t, TIFFTAG_PAGENAME, Params.TIFFPageName.c_str());
  if (Params.TIFFPageNumber || Params.TIFFPageCount)
    TIFFSetField(t, TIFFTAG_PAGENUMBER,
                 static_cast<std::uint16_t>(std::clamp(Params.TIFFPageNumber, 0, 65535)),
                 static_cast<std::uint16_t>(std::clamp(Params.TIFFPageCount, 0, 65535)));
  std::vector<std::uint16_t> maps;
  if (photo == PHOTOMETRIC_PALETTE) {
    const int n = 1 << obits;
    maps.assign(static_cast<size_t>(3 * n), 0);
    for (int i = 0; i < n && i < src->GetPaletteLength(); ++i) {
      TRGB col = src->GetPalette(i);
      maps[i] = static_cast<std::uint16_t>(col.r * 257);
      maps[n + i] = static_cast<std::uint16_t>(col.g * 257);
      maps[2 * n + i] = static_cast<std::uint16_t>(col.b * 257);
    }
    TIFFSetField(t, TIFFTAG_COLORMAP, maps.data(), maps.data() + n, maps.data() + 2 * n);
  }
  const tmsize_t lineSize = TIFFScanlineSize(t);
  // Uncompressed strips are filled row by row and handed to libtiff whole
  // (the same bytes as row by row, one copy fewer); the others go by rows.
  const bool raw = compression == COMPRESSION_NONE;
  std::uint32_t rps = 1;
  if (raw) TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rps);
  rps = std::clamp<std::uint32_t>(rps, 1, static_cast<std::uint32_t>(h));
  const std::size_t lineBytes = static_cast<size_t>(std::max<tmsize_t>(lineSize, 1));
  std::vector<std::uint8_t> lines(lineBytes * (raw ? rps : 1));
  // 8-bit RGB without alpha writes every byte of its row.
  const bool whole =
      ospp == 3 && obits == 8 && !alpha && photo == PHOTOMETRIC_RGB && lineSize == 3 * tmsize_t(w);
  Progress.SetRows(h);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* line = lines.data() + (raw ? lineBytes * (static_cast<std::uint32_t>(y) % rps) : 0);
    if (!whole) std::fill(line, line + lineBytes, 0);
    const std::uint8_t* s = src->GetScanline(y);
    if (photo == PHOTOMETRIC_PALETTE && obits == 1) {
      for (int x = 0; x < w; ++x)
        if (s[x] & 1) line[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
    } else if (obits == 1) {
      std::memcpy(line, s, static_cast<size_t>((w + 7) / 8));
      if (photo == PHOTOMETRIC_MINISWHITE)
        for (int i = 0; i < (w + 7) / 8; ++i) line[i] = static_cast<std::uint8_t>(~line[i]);
    } else if (obits == 4) {
      for (int x = 0; x < w; ++x)
        line[x >> 1] |= static_cast<std::uint8_t>((x & 1) ? (s[x] & 15) : (s[x] << 4));
    } else if (ospp == 1 && obits == 8) {
      const int step = alpha ? 2 : 1;
      const std::uint8_t* a = alpha ? alpha->GetScanline(y) : nullptr;
      for (int x = 0; x < w; ++x) {
        line[static_cast<size_t>(x) * step] =
            photo == PHOTOMETRIC_MINISWHITE ? static_cast<std::uint8_t>(255 - s[x]) : s[x];
        if (a) line[2 * static_cast<size_t>(x) + 1] = a[x];
      }
    } else if (obits == 16) {
      const int step = ospp + (alpha ? 1 : 0);
      const auto* s16 = reinterpret_cast<const std::uint16_t*>(s);
      auto* d16 = reinterpret_cast<std::uint16_t*>(line);
      const std::uint8_t* a = alpha ? alpha->GetScanline(y) : nullptr;
      for (int x = 0; x < w; ++x) {
        for (int k = 0; k < ospp; ++k)
          d16[static_cast<size_t>(x) * step + k] = s16[static_cast<size_t>(x) * ospp + k];
        if (a) d16[static_cast<size_t>(x) * step + ospp] = static_cast<std::uint16_t>(a[x] * 257);
      }
    } else if (ospp == 4) {
      std::memcpy(line, s, static_cast<size_t>(lineSize));
    } else if (whole) {
      IECopyAndSwapRB(line, s, w);
    } else {
      const int step = alpha ? 4 : 3;
      const std::uint8_t* a = alpha ? alpha->GetScanline(y) : nullptr;
      for (int x = 0; x < w; ++x) {
        std::uint8_t* d = line + static_cast<size_t>(x) * step;
        d[0] = s[3 * x + 2];
        d[1] = s[3 * x + 1];
        d[2] = s[3 * x];
        if (a) d[3] = a[x];
      }
    }
    if (raw) {
      const auto row = static_cast<std::uint32_t>(y);
      if (row % rps == rps - 1 || y == h - 1) {
        const tmsize_t n = static_cast<tmsize_t>(lineBytes * (row % rps + 1));
        if (TIFFWriteRawStrip(t, row / rps, lines.data(), n) != n) hd.Fail("cannot write the image");
      }
    } else if (TIFFWriteScanline(t, line, static_cast<std::uint32_t>(y), 0) < 0) {
      hd.Fail("cannot write the image");
    }
    Progress.Report(y + 1);
  }
  if (!TIFFWriteDirectory(t)) hd.Fail("cannot write the directory");
  TIFF* done = hd.t;
  hd.t = nullptr;
  TIFFClose(done);
  if (!c.error.empty()) throw EIEImageError("TIFF: " + c.error);
  Stream.SetPosition(c.base + c.furthest);
}

}  // namespace redozir
