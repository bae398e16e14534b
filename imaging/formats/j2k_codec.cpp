// JPEG 2000 through OpenJPEG: JP2 files and bare J2K code streams. The
// file's extent is found by walking its boxes or tile-parts first, so that
// the decoder sees exactly the file and the stream ends right after it.
#include <openjpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/ie_rowband.h"
#include "imaging/formats/ie_codec_util.h"
#include "imaging/formats/ie_codecs.h"
#include "imaging/formats/ie_debuglog.h"
#include "platform/numeric.h"

namespace redozir {

namespace {
const std::uint8_t kJP2Sig[12] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};

// What the image-and-tile-size marker claims, checked before the decoder
// sees it (the decoder allocates per tile as soon as it reads the header).
struct Siz {
  std::int64_t w = 0, h = 0;
  int comps = 0;
  std::int64_t tiles = 0;
  std::int64_t tileW = 0, tileH = 0;  // the largest tile within the image
  bool subsampled = false;            // a component on a coarser grid than the image
  std::vector<bool> present;          // tiles with at least one tile-part
  int paletteColumns = 0;             // colours a JP2 palette box turns one component into
  bool channelDefinition = false;     // a JP2 box naming or reordering the components
  int precision = 0;                  // bits of the deepest component
};

void ReadSiz(TByteReader& r, Siz& siz) {
  std::uint16_t len = IEBE16(r);
  r.Skip(2);
  std::int64_t x = IEBE32(r), y = IEBE32(r), x0 = IEBE32(r), y0 = IEBE32(r);
  std::int64_t tw = IEBE32(r), th = IEBE32(r), tx0 = IEBE32(r), ty0 = IEBE32(r);
  int c = IEBE16(r);
  if (x <= x0 || y <= y0 || tw == 0 || th == 0 || tx0 > x0 || ty0 > y0 || c < 1 || c > 16384)
    r.Fail("bad image and tile sizes");
  if (len != 38 + 3 * c) r.Fail("bad size marker length");
  const std::int64_t tiles = ((x - tx0 + tw - 1) / tw) * ((y - ty0 + th - 1) / th);
  if (tiles > 65535) r.Fail("too many tiles (" + std::to_string(tiles) + ")");
  for (int i = 0; i < c; ++i) {
    siz.precision = std::max(siz.precision, (r.U8() & 0x7F) + 1);
    const int dx = r.U8(), dy = r.U8();
    if (dx != 1 || dy != 1) siz.subsampled = true;
  }
  siz.w = x - x0;
  siz.h = y - y0;
  siz.tileW = std::min(tw, siz.w);
  siz.tileH = std::min(th, siz.h);
  siz.comps = c;
  siz.tiles = tiles;
  siz.present.assign(static_cast<size_t>(tiles), false);
}

// Length of a J2K code stream at the reader's position: markers up to the
// first tile-part, tile-parts by their lengths, up to the end-of-codestream.
std::int64_t CodestreamLength(TByteReader& r, Siz& siz) {
  const std::int64_t total = r.Left();
  if (IEBE16(r) != 0xFF4F) r.Fail("missing start of code stream");
  for (;;) {
    std::uint16_t m = IEBE16(r);
    if (m == 0xFFD9) break;
    if (m == 0xFF90) {
      std::uint16_t lsot = IEBE16(r);
      const std::uint16_t isot = IEBE16(r);
      std::uint32_t psot = IEBE32(r);
      if (lsot != 10) r.Fail("bad tile-part header");
      if (siz.comps == 0) r.Fail("tile-part before the image size marker");
      if (isot >= siz.tiles)
        r.Fail("tile " + std::to_string(isot) + " beyond the " + std::to_string(siz.tiles) + " tiles");
      siz.present[isot] = true;
      if (psot == 0) return total;  // the last tile-part runs to the end of the data
      if (psot < 12) r.Fail("bad tile-part length");
      r.Skip(psot - 10);  // the marker, Lsot, Isot and Psot are read
      continue;
    }
    if ((m & 0xFF00) != 0xFF00) r.Fail("bad marker");
    if (m == 0xFF51) {
      ReadSiz(r, siz);
      continue;
    }
    std::uint16_t len = IEBE16(r);
    if (len < 2) r.Fail("bad marker length");
    r.Skip(len - 2);
  }
  if (siz.comps == 0) r.Fail("missing image size marker");
  return total - r.Left();
}

// JPEG 2000 can code a uniform picture of any size in a few hundred bytes,
// so no ratio of pixels to bytes holds; what the code stream declares must
// be there instead: a tile-part for every tile (a code stream that names
// 65535 tiles needs about a megabyte). Within that, the library's cap on
// an image's size is the guard.
void CheckDeclared(const char* Format, const Siz& siz) {
  const auto missing = std::count(siz.present.begin(), siz.present.end(), false);
  if (missing > 0)
    throw EIEImageError(std::string(Format) + ": " + std::to_string(missing) + " of " +
                        std::to_string(siz.tiles) + " tiles missing");
  IECheckImageSize(Format, siz.w, siz.h, 32 * std::int64_t(siz.comps + siz.paletteColumns), kMaxBitmapBytes,
                   1);
}

// Length of a JP2 file: boxes up to and including the code stream box.
std::int64_t JP2Length(TStream& s, TByteReader& r, Siz& siz) {
  const std::int64_t total = r.Left();
  bool codestream = false;
  while (!codestream) {
    std::uint64_t len = IEBE32(r);
    std::uint32_t type = IEBE32(r);
    std::int64_t head = 8;
    if (len == 1) {
      len = (std::uint64_t(IEBE32(r)) << 32) | IEBE32(r);
      head = 16;
    }
    codestream = type == 0x6A703263;  // 'jp2c'
    std::int64_t payload = r.Left();
    if (len != 0) {
      if (len < static_cast<std::uint64_t>(head) || len - head > static_cast<std::uint64_t>(r.Left()))
        r.Fail("box length beyond the data");
      payload = static_cast<std::int64_t>(len) - head;
    }
    if (codestream) {
      const std::int64_t at = s.Position();
      TByteReader cs(s, payload, "JP2 code stream");
      CodestreamLength(cs, siz);
      s.SetPosition(at);
    }
    if (type == 0x6A703268) {  // 'jp2h': the decoder gives a palette's columns as components
      const std::int64_t at = s.Position();
      TByteReader hd(s, payload, "JP2 header");
      while (hd.Left() >= 8) {
        const std::uint32_t blen = IEBE32(hd), btype = IEBE32(hd);
        if (blen < 8 || blen - 8 > hd.Left()) break;
        if (btype == 0x70636C72 && blen >= 11) {  // 'pclr': entries (2 bytes), columns (1 byte)
          hd.Skip(2);
          siz.paletteColumns = hd.U8();
          hd.Skip(blen - 11);
          continue;
        }
        if (btype == 0x63646566) siz.channelDefinition = true;  // 'cdef'
        hd.Skip(blen - 8);
      }
      s.SetPosition(at);
    }
    if (len == 0) return total;  // the last box runs to the end of the data
    r.Skip(payload);
  }
  return total - r.Left();
}

struct MemIn {
  const std::uint8_t* data;
  std::int64_t size;
  std::int64_t pos = 0;
};
OPJ_SIZE_T MemRead(void* buf, OPJ_SIZE_T n, void* user) {
  auto* m = static_cast<MemIn*>(user);
  std::int64_t k = std::min<std::int64_t>(static_cast<std::int64_t>(n), m->size - m->pos);
  if (k <= 0) return static_cast<OPJ_SIZE_T>(-1);
  std::memcpy(buf, m->data + m->pos, static_cast<size_t>(k));
  m->pos += k;
  return static_cast<OPJ_SIZE_T>(k);
}
OPJ_OFF_T MemSkip(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<MemIn*>(user);
  std::int64_t to = std::clamp<std::int64_t>(m->pos + n, 0, m->size);
  OPJ_OFF_T moved = to - m->pos;
  m->pos = to;
  return moved;
}
OPJ_BOOL MemSeek(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<MemIn*>(user);
  if (n < 0 || n > m->size) return OPJ_FALSE;
  m->pos = n;
  return OPJ_TRUE;
}

struct StreamOut {
  TStream* s;
  std::int64_t base;
};
OPJ_SIZE_T OutWrite(void* buf, OPJ_SIZE_T n, void* user) {
  auto* o = static_cast<StreamOut*>(user);
  o->s->WriteBuffer(buf, static_cast<std::int64_t>(n));
  return n;
}
OPJ_BOOL OutSeek(OPJ_OFF_T n, void* user) {
  auto* o = static_cast<StreamOut*>(user);
  std::int64_t target = o->base + n;
  if (target > o->s->Size()) {
    o->s->Seek(0, soEnd);
    std::vector<std::uint8_t> zeros(static_cast<size_t>(target - o->s->Size()), 0);
    o->s->WriteBuffer(zeros.data(), static_cast<std::int64_t>(zeros.size()));
  }
  o->s->Seek(target, soBeginning);
  return OPJ_TRUE;
}
OPJ_OFF_T OutSkip(OPJ_OFF_T n, void* user) {
  auto* o = static_cast<StreamOut*>(user);
  OutSeek(o->s->Position() - o->base + n, user);
  return n;
}

void OnError(const char* msg, void* user) {
  auto* s = static_cast<std::string*>(user);
  if (s->empty()) {
    *s = msg;
    while (!s->empty() && (s->back() == '\n' || s->back() == ' ')) s->pop_back();
  }
}
void OnQuiet(const char*, void*) {}
void OnWarning(const char* msg, void*) {
  std::string s(msg);
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  IEDebugLog("JPEG 2000 warning: " + s);
}

struct Opj {
  opj_codec_t* codec = nullptr;
  opj_stream_t* stream = nullptr;
  opj_image_t* image = nullptr;
  std::string error;
  ~Opj() {
    if (image) opj_image_destroy(image);
    if (stream) opj_stream_destroy(stream);
    if (codec) opj_destroy_codec(codec);
  }
  void Handlers() {
    opj_set_error_handler(codec, OnError, &error);
    opj_set_warning_handler(codec, OnWarning, nullptr);
    opj_set_info_handler(codec, OnQuiet, nullptr);
  }
  [[noreturn]] void Fail(const std::string& what) const {
    throw EIEImageError("JPEG 2000: " + what + (error.empty() ? "" : " (" + error + ")"));
  }
};

// Scales a sample of Prec bits (signed samples shifted to unsigned) to
// Bits bits, rounding.
std::uint32_t ScaleSample(std::int64_t v, const opj_image_comp_t& c, int Bits) {
  if (c.sgnd) v += std::int64_t(1) << (c.prec - 1);
  const std::int64_t top = (std::int64_t(1) << c.prec) - 1, out = (std::int64_t(1) << Bits) - 1;
  v = std::clamp<std::int64_t>(v, 0, top);
  if (static_cast<int>(c.prec) == Bits) return static_cast<std::uint32_t>(v);
  return static_cast<std::uint32_t>((v * out + top / 2) / top);
}

// Where each component of the picture comes from: colour (red, green, blue
// or grey), then alpha when there is one.
struct Layout {
  std::vector<int> use;
  bool colour = false, deep = false, alpha = false;
  int channels = 1, prec = 0;
};

// Counted on the decoded image where a palette box turns one component into
// the colours it names, and a channel definition may reorder them.
Layout LayoutOf(const Opj& o) {
  const int nc = static_cast<int>(o.image->numcomps);
  if (nc < 1) o.Fail("no components");
  int alphaComp = -1;
  for (int i = 0; i < nc; ++i)
    if (o.image->comps[i].alpha) {
      alphaComp = i;
      break;
    }
  int colourComps = nc;
  if (alphaComp < 0 && (nc == 2 || nc >= 4)) alphaComp = nc == 2 ? 1 : 3;
  if (alphaComp >= 0) colourComps = alphaComp == 0 ? nc - 1 : std::min(nc - 1, alphaComp);
  Layout l;
  l.colour = colourComps >= 3;
  l.channels = l.colour ? 3 : 1;
  for (int i = 0, k = 0; i < nc && k < l.channels; ++i)
    if (i != alphaComp) l.use.push_back(i), ++k;
  if (l.use.empty()) o.Fail("no colour component");
  l.alpha = alphaComp >= 0;
  if (l.alpha) l.use.push_back(alphaComp);
  for (size_t k = 0; k < l.use.size(); ++k) {
    const opj_image_comp_t& c = o.image->comps[l.use[k]];
    if (c.dx == 0 || c.dy == 0 || c.prec == 0 || c.prec > 31) o.Fail("bad component");
    if (static_cast<int>(k) < l.channels) l.prec = std::max<int>(l.prec, static_cast<int>(c.prec));
  }
  // More than 8 bits per sample stay 16 bits.
  l.deep = l.prec > 8;
  return l;
}

// Stores the samples of pixel X, each got by Sample(k) for use[k] and scaled
// to Bits bits, into its colour row D (24-bit rows are blue, green, red;
// 48-bit rows red, green, blue) and its alpha row A.
template <class SampleAt>
void StorePixel(const Layout& l, std::uint8_t* d, std::uint8_t* a, int x, SampleAt Sample) {
  for (int k = 0; k < l.channels; ++k) {
    const int at = l.channels * x + (l.colour && !l.deep ? 2 - k : k);
    if (l.deep)
      reinterpret_cast<std::uint16_t*>(d)[at] = static_cast<std::uint16_t>(Sample(k, 16));
    else
      d[at] = static_cast<std::uint8_t>(Sample(k, 8));
  }
  if (a) a[x] = static_cast<std::uint8_t>(Sample(l.channels, 8));
}

// Decodes a tiled stream one tile at a time into the picture: the decoder
// holds one tile's samples instead of the whole image's. The decoder hands
// each component's samples of a tile in a plane of 1, 2 or 4 bytes each by
// their precision, one plane after another.
void DecodeTiles(Opj& o, const Layout& l, TIEBitmap& Bitmap, TIEBitmap* a, std::int64_t Tiles,
                 TIEProgressRecord& Progress) {
  const opj_image_t& im = *o.image;
  std::vector<std::uint8_t> buf;
  std::int64_t done = 0;
  Progress.SetRows(Tiles);
  for (;;) {
    OPJ_UINT32 index = 0, size = 0, ncomps = 0;
    OPJ_INT32 tx0 = 0, ty0 = 0, tx1 = 0, ty1 = 0;
    OPJ_BOOL more = OPJ_FALSE;
    if (!opj_read_tile_header(o.codec, o.stream, &index, &size, &tx0, &ty0, &tx1, &ty1, &ncomps, &more))
      o.Fail("bad tile header");
    if (!more) break;
    if (ncomps != im.numcomps || tx0 < static_cast<std::int64_t>(im.x0) ||
        ty0 < static_cast<std::int64_t>(im.y0) || tx1 <= tx0 || ty1 <= ty0 ||
        tx1 > static_cast<std::int64_t>(im.x1) || ty1 > static_cast<std::int64_t>(im.y1))
      o.Fail("bad tile " + std::to_string(index));
    const std::int64_t tw = tx1 - tx0, th = ty1 - ty0;
    std::vector<std::int64_t> plane(im.numcomps);
    std::vector<int> bytes(im.numcomps);
    std::int64_t at = 0;
    for (OPJ_UINT32 i = 0; i < im.numcomps; ++i) {
      const int b = (static_cast<int>(im.comps[i].prec) + 7) / 8;
      bytes[i] = b == 3 ? 4 : b;
      plane[i] = at;
      at += tw * th * bytes[i];
    }
    if (static_cast<std::int64_t>(size) < at) o.Fail("bad tile " + std::to_string(index));
    buf.resize(size);
    if (!opj_decode_tile_data(o.codec, index, buf.data(), size, o.stream))
      o.Fail("cannot decode tile " + std::to_string(index));
    auto raw = [&](int i, std::int64_t n) -> std::int64_t {
      const std::uint8_t* p = buf.data() + plane[i] + n * bytes[i];
      const bool sgnd = o.image->comps[i].sgnd != 0;
      switch (bytes[i]) {
        case 1: return sgnd ? std::int64_t(static_cast<std::int8_t>(*p)) : std::int64_t(*p);
        case 2: {
          std::uint16_t v;
          std::memcpy(&v, p, 2);
          return sgnd ? std::int64_t(static_cast<std::int16_t>(v)) : std::int64_t(v);
        }
        default: {
          std::int32_t v;
          std::memcpy(&v, p, 4);
          return v;
        }
      }
    };
    const int x0 = static_cast<int>(tx0 - im.x0), y0 = static_cast<int>(ty0 - im.y0);
    for (std::int64_t ty = 0; ty < th; ++ty) {
      std::uint8_t* d = Bitmap.GetScanline(y0 + static_cast<int>(ty));
      std::uint8_t* ar = a ? a->GetScanline(y0 + static_cast<int>(ty)) : nullptr;
      for (std::int64_t tx = 0; tx < tw; ++tx)
        StorePixel(l, d, ar, x0 + static_cast<int>(tx), [&](int k, int Bits) {
          const int i = l.use[k];
          return ScaleSample(raw(i, ty * tw + tx), o.image->comps[i], Bits);
        });
    }
    Progress.Report(++done);
  }
  // Every pixel comes from some tile: a tile the decoder passed over would
  // leave its place unwritten.
  if (done != Tiles) o.Fail(std::to_string(done) + " of " + std::to_string(Tiles) + " tiles decoded");
}

void ReadAs(TStream& Stream, TIEBitmap& Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
            bool jp2) {
  const char* fmt = jp2 ? "JP2" : "J2K";
  const std::int64_t start = Stream.Position();
  std::int64_t length;
  Siz siz;
  {
    TByteReader r(Stream, -1, fmt);
    if (jp2) {
      std::uint8_t sig[12];
      r.Bytes(sig, 12);
      if (std::memcmp(sig, kJP2Sig, 12) != 0) r.Fail("not a JP2 file");
      length = 12 + JP2Length(Stream, r, siz);
      if (siz.comps == 0) r.Fail("no code stream");
    } else {
      length = CodestreamLength(r, siz);
    }
  }
  CheckDeclared(fmt, siz);
  // A tiled stream is decoded tile by tile, except where only the whole
  // image's decoding does it all: a palette and a channel definition are
  // applied there alone, and a subsampled component's samples do not fall
  // on the tiles' pixels. The whole image's decoding keeps every sample of
  // every component as a 32-bit integer; the tile by tile one a tile's
  // samples twice (the decoder's and the copy it hands out, at most 4 bytes
  // each). Both beside the code stream's bytes and the picture, whose
  // samples are as deep as the components' (see LayoutOf).
  const bool tiled = siz.tiles > 1 && siz.paletteColumns == 0 && !siz.channelDefinition && !siz.subsampled;
  const std::int64_t decoder = tiled ? siz.tileW * siz.tileH * 8 * std::int64_t(siz.comps)
                                     : siz.w * siz.h * 4 * std::int64_t(siz.comps + siz.paletteColumns);
  const int comps = siz.paletteColumns > 0 ? siz.comps - 1 + siz.paletteColumns : siz.comps;
  const bool deep = siz.precision > 8;
  IECheckLoadBudget(fmt, siz.w, siz.h, comps >= 3 ? (deep ? ieRGB48 : ie24RGB) : (deep ? ie16g : ie8g),
                    comps == 2 || comps >= 4, decoder + length, Params);
  Stream.SetPosition(start);
  std::vector<std::uint8_t> data(static_cast<size_t>(length));
  Stream.ReadBuffer(data.data(), length);

  Opj o;
  o.codec = opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
  if (!o.codec) o.Fail("cannot create the decoder");
  o.Handlers();
  opj_dparameters_t dp;
  opj_set_default_decoder_parameters(&dp);
  if (!opj_setup_decoder(o.codec, &dp)) o.Fail("cannot set up the decoder");
  MemIn in{data.data(), length};
  o.stream = opj_stream_create(65536, OPJ_TRUE);
  opj_stream_set_user_data(o.stream, &in, nullptr);
  opj_stream_set_user_data_length(o.stream, static_cast<OPJ_UINT64>(length));
  opj_stream_set_read_function(o.stream, MemRead);
  opj_stream_set_skip_function(o.stream, MemSkip);
  opj_stream_set_seek_function(o.stream, MemSeek);
  if (!opj_read_header(o.stream, o.codec, &o.image) || !o.image) o.Fail("bad header");
  const std::int64_t w = std::int64_t(o.image->x1) - o.image->x0, h = std::int64_t(o.image->y1) - o.image->y0;
  if (o.image->numcomps < 1) o.Fail("no components");
  IECheckImageSize(fmt, w, h, 32 * std::int64_t(o.image->numcomps + siz.paletteColumns), kMaxBitmapBytes, 1);
  if (!tiled && (!opj_decode(o.codec, o.stream, o.image) || !opj_end_decompress(o.codec, o.stream)))
    o.Fail("cannot decode");
  const Layout l = LayoutOf(o);
  if (!tiled)
    for (int i : l.use) {
      const opj_image_comp_t& c = o.image->comps[i];
      if (!c.data || c.w == 0 || c.h == 0) o.Fail("bad component");
    }
  const TIEPixelFormat pf = l.colour ? (l.deep ? ieRGB48 : ie24RGB) : (l.deep ? ie16g : ie8g);
  IEAllocImage(Bitmap, w, h, pf, fmt);
  TIEBitmap* a = l.alpha ? Bitmap.GetAlphaChannel() : nullptr;
  if (!l.alpha && Bitmap.HasAlphaChannel()) Bitmap.RemoveAlphaChannel();
  const int W = static_cast<int>(w), H = static_cast<int>(h);
  if (tiled) {
    DecodeTiles(o, l, Bitmap, a, siz.tiles, Progress);
    if (!opj_end_decompress(o.codec, o.stream)) o.Fail("cannot decode");
  } else {
    // A sample of component i at pixel (x, y), scaled to Bits bits.
    auto sample = [&](int i, int x, int y, int Bits) {
      const opj_image_comp_t& c = o.image->comps[i];
      std::uint32_t cx = std::min<std::uint32_t>(static_cast<std::uint32_t>(x) / c.dx, c.w - 1);
      std::uint32_t cy = std::min<std::uint32_t>(static_cast<std::uint32_t>(y) / c.dy, c.h - 1);
      return ScaleSample(c.data[static_cast<size_t>(cy) * c.w + cx], c, Bits);
    };
    Progress.SetRows(H);
    TIERowSink sink(&Bitmap, 0, H);
    for (int y = 0; y < H; ++y) {
      std::uint8_t* d = sink.Row(y);
      std::uint8_t* ar = a ? a->GetScanline(y) : nullptr;
      for (int x = 0; x < W; ++x)
        StorePixel(l, d, ar, x, [&](int k, int Bits) { return sample(l.use[k], x, y, Bits); });
      Progress.Report(y + 1);
    }
    sink.Finish();
  }
  if (a) a->SyncFull();
  Stream.SetPosition(start + length);
  Params.FileType = jp2 ? ioJP2 : ioJ2K;
  Params.J2000ColorSpace =
      l.colour ? (o.image->color_space == OPJ_CLRSPC_SYCC ? ioJ2000_YCbCr : ioJ2000_RGB) : ioJ2000_GRAYSCALE;
  Params.BitsPerSample = l.prec;
  Params.SamplesPerPixel = l.channels + (l.alpha ? 1 : 0);
  Params.FreeColorMap();
}

void WriteAs(TStream& Stream, TIEBitmap& Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
             bool jp2) {
  const int w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
  const bool grey = Params.J2000ColorSpace == ioJ2000_GRAYSCALE;
  const bool deep = Params.BitsPerSample > 8;
  TIEBitmap temp;
  TIEBitmap* src =
      IEWriteSource(Bitmap, grey ? (deep ? ie16g : ie8g) : (deep ? ieRGB48 : ie24RGB), 256, temp);
  TIEBitmap* alpha = IEAlphaToWrite(Bitmap);
  const int channels = grey ? 1 : 3;
  const int nc = channels + (alpha ? 1 : 0);
  std::vector<opj_image_cmptparm_t> cp(static_cast<size_t>(nc));
  for (int i = 0; i < nc; ++i) {
    auto& c = cp[static_cast<size_t>(i)];
    std::memset(&c, 0, sizeof c);
    c.dx = c.dy = 1;
    c.w = static_cast<OPJ_UINT32>(w);
    c.h = static_cast<OPJ_UINT32>(h);
    c.prec = deep && i < channels ? 16 : 8;
    c.sgnd = 0;
  }
  Opj o;
  o.image =
      opj_image_create(static_cast<OPJ_UINT32>(nc), cp.data(), grey ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB);
  if (!o.image) o.Fail("cannot create the image");
  o.image->x0 = o.image->y0 = 0;
  o.image->x1 = static_cast<OPJ_UINT32>(w);
  o.image->y1 = static_cast<OPJ_UINT32>(h);
  // Straight alpha: the file's channel definition names it so.
  if (alpha) o.image->comps[channels].alpha = 1;
  Progress.SetRows(h);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* s = src->GetScanline(y);
    const auto* s16 = reinterpret_cast<const std::uint16_t*>(s);
    const std::uint8_t* ar = alpha ? alpha->GetScanline(y) : nullptr;
    for (int x = 0; x < w; ++x) {
      const size_t i = static_cast<size_t>(y) * w + x;
      for (int k = 0; k < channels; ++k)
        o.image->comps[k].data[i] = deep ? s16[channels * x + k] : s[channels * x + (grey ? 0 : 2 - k)];
      if (ar) o.image->comps[channels].data[i] = ar[x];
    }
    Progress.Report(y + 1);
  }
  opj_cparameters_t ep;
  opj_set_default_encoder_parameters(&ep);
  ep.tcp_numlayers = 1;
  ep.cp_disto_alloc = 1;
  // The rate is the fraction of the raw size to keep: 1 and above is
  // lossless; it must not reach zero (the compression ratio is its inverse).
  const double rate = std::isnan(Params.J2000Rate) ? 1.0 : Params.J2000Rate;
  if (rate >= 1.0) {
    ep.tcp_rates[0] = 0;
    ep.irreversible = 0;
  } else {
    ep.tcp_rates[0] = static_cast<float>(1.0 / std::max(rate, 0.001));
    ep.irreversible = 1;
  }
  ep.tcp_mct = (!grey && Params.J2000ColorSpace == ioJ2000_YCbCr) ? 1 : 0;
  int levels = 1;
  while (levels < 6 && (std::min(w, h) >> levels) >= 1) ++levels;
  ep.numresolution = levels;
  o.codec = opj_create_compress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
  if (!o.codec) o.Fail("cannot create the encoder");
  o.Handlers();
  if (!opj_setup_encoder(o.codec, &ep, o.image)) o.Fail("cannot set up the encoder");
  StreamOut out{&Stream, Stream.Position()};
  o.stream = opj_stream_create(65536, OPJ_FALSE);
  opj_stream_set_user_data(o.stream, &out, nullptr);
  opj_stream_set_write_function(o.stream, OutWrite);
  opj_stream_set_seek_function(o.stream, OutSeek);
  opj_stream_set_skip_function(o.stream, OutSkip);
  if (!opj_start_compress(o.codec, o.image, o.stream) || !opj_encode(o.codec, o.stream) ||
      !opj_end_compress(o.codec, o.stream))
    o.Fail("cannot encode");
  opj_stream_destroy(o.stream);  // flushes
  o.stream = nullptr;
  Stream.Seek(0, soEnd);
}
}  // namespace

bool J2KTryStream(TStream& s) {
  std::uint8_t b[4];
  return s.Read(b, 4) == 4 && b[0] == 0xFF && b[1] == 0x4F && b[2] == 0xFF && b[3] == 0x51;
}
bool JP2TryStream(TStream& s) {
  std::uint8_t b[12];
  return s.Read(b, 12) == 12 && std::memcmp(b, kJP2Sig, 12) == 0;
}

void J2KReadStream(TStream& s, TIEBitmap& b, TIOParamsVals& p, TIEProgressRecord& pr) {
  ReadAs(s, b, p, pr, false);
}
void JP2ReadStream(TStream& s, TIEBitmap& b, TIOParamsVals& p, TIEProgressRecord& pr) {
  ReadAs(s, b, p, pr, true);
}
void J2KWriteStream(TStream& s, TIEBitmap& b, TIOParamsVals& p, TIEProgressRecord& pr) {
  WriteAs(s, b, p, pr, false);
}
void JP2WriteStream(TStream& s, TIEBitmap& b, TIOParamsVals& p, TIEProgressRecord& pr) {
  WriteAs(s, b, p, pr, true);
}

}  // namespace redozir
