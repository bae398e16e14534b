// JPEG through libjpeg(-turbo): an error manager that raises, a source and
// a destination on our streams (the source gives back what it read beyond
// the end of the image), grey, colour and CMYK both ways.
// jpeglib.h needs size_t and FILE declared first.
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/ie_rowband.h"
#include "imaging/formats/ie_codec_util.h"
#include "imaging/formats/ie_codecs.h"
#include "imaging/formats/ie_debuglog.h"

namespace redozir {

namespace {
constexpr size_t kBuf = 65536;

[[noreturn]] void ErrorExit(j_common_ptr c) {
  char msg[JMSG_LENGTH_MAX];
  (*c->err->format_message)(c, msg);
  throw EIEImageError(std::string("JPEG: ") + msg);
}
// Warnings (level -1) go to the debug log; trace messages are dropped.
void EmitMessage(j_common_ptr c, int level) {
  // Only the first warning of an image, as libjpeg's own handler does: a
  // damaged file can warn once per block.
  if (level >= 0 || c->err->num_warnings++ > 0) return;
  char msg[JMSG_LENGTH_MAX];
  (*c->err->format_message)(c, msg);
  IEDebugLog(std::string("JPEG warning: ") + msg);
}

struct Source {
  jpeg_source_mgr pub;
  TStream* s;
  std::int64_t left;
  std::vector<JOCTET> buf;
};
void InitSource(j_decompress_ptr) {}
boolean FillInput(j_decompress_ptr d) {
  auto* src = reinterpret_cast<Source*>(d->src);
  std::int64_t n = std::min<std::int64_t>(src->left, static_cast<std::int64_t>(src->buf.size()));
  if (n > 0) n = src->s->Read(src->buf.data(), n);
  if (n <= 0) throw EIEImageError("JPEG: file truncated");
  src->left -= n;
  src->pub.next_input_byte = src->buf.data();
  src->pub.bytes_in_buffer = static_cast<size_t>(n);
  return TRUE;
}
void SkipInput(j_decompress_ptr d, long n) {
  auto* src = reinterpret_cast<Source*>(d->src);
  while (n > 0) {
    if (src->pub.bytes_in_buffer == 0) FillInput(d);
    long k = std::min<long>(n, static_cast<long>(src->pub.bytes_in_buffer));
    src->pub.next_input_byte += k;
    src->pub.bytes_in_buffer -= static_cast<size_t>(k);
    n -= k;
  }
}
void TermSource(j_decompress_ptr) {}

struct Dest {
  jpeg_destination_mgr pub;
  TStream* s;
  std::vector<JOCTET> buf;
};
void InitDest(j_compress_ptr c) {
  auto* d = reinterpret_cast<Dest*>(c->dest);
  d->pub.next_output_byte = d->buf.data();
  d->pub.free_in_buffer = d->buf.size();
}
boolean EmptyOutput(j_compress_ptr c) {
  auto* d = reinterpret_cast<Dest*>(c->dest);
  d->s->WriteBuffer(d->buf.data(), static_cast<std::int64_t>(d->buf.size()));
  d->pub.next_output_byte = d->buf.data();
  d->pub.free_in_buffer = d->buf.size();
  return TRUE;
}
void TermDest(j_compress_ptr c) {
  auto* d = reinterpret_cast<Dest*>(c->dest);
  d->s->WriteBuffer(d->buf.data(), static_cast<std::int64_t>(d->buf.size() - d->pub.free_in_buffer));
}

struct Decompress {
  jpeg_decompress_struct c{};
  jpeg_error_mgr err{};
  Decompress() {
    c.err = jpeg_std_error(&err);
    err.error_exit = ErrorExit;
    err.emit_message = EmitMessage;
    jpeg_create_decompress(&c);
  }
  ~Decompress() { jpeg_destroy_decompress(&c); }
};
struct Compress {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  Compress() {
    c.err = jpeg_std_error(&err);
    err.error_exit = ErrorExit;
    err.emit_message = EmitMessage;
    jpeg_create_compress(&c);
  }
  ~Compress() { jpeg_destroy_compress(&c); }
};

// The quality whose standard luminance table is closest to the file's.
int EstimateQuality(const jpeg_decompress_struct& c) {
  const JQUANT_TBL* t = c.quant_tbl_ptrs[0];
  if (!t) return 0;
  static const int kStd[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                               14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                               18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                               49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
  double sum = 0, ref = 0;
  for (int i = 0; i < 64; ++i) {
    sum += t->quantval[i];
    ref += kStd[i];
  }
  double scale = sum * 100.0 / ref;
  double q = scale <= 100 ? (200 - scale) / 2 : 5000 / scale;
  return std::clamp(static_cast<int>(q + 0.5), 1, 100);
}
}  // namespace

bool JPEGTryStream(TStream& s) {
  std::uint8_t b[3];
  return s.Read(b, 3) == 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF;
}

void JPEGReadStream(TStream& Stream, TIEBitmap& Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  Decompress d;
  Source src{};
  src.s = &Stream;
  src.left = Stream.Size() - Stream.Position();
  src.buf.resize(kBuf);
  src.pub.init_source = InitSource;
  src.pub.fill_input_buffer = FillInput;
  src.pub.skip_input_data = SkipInput;
  src.pub.resync_to_restart = jpeg_resync_to_restart;
  src.pub.term_source = TermSource;
  d.c.src = &src.pub;
  const std::int64_t fileBytes = src.left;
  jpeg_read_header(&d.c, TRUE);
  IECheckImageSize("JPEG", d.c.image_width, d.c.image_height, 8 * d.c.num_components, fileBytes, 4096);
  const J_COLOR_SPACE inSpace = d.c.jpeg_color_space;
  TIEPixelFormat pf;
  if (d.c.num_components == 1) {
    d.c.out_color_space = JCS_GRAYSCALE;
    pf = ie8g;
  } else if (inSpace == JCS_CMYK || inSpace == JCS_YCCK) {
    d.c.out_color_space = JCS_CMYK;
    pf = ieCMYK;
  } else {
    d.c.out_color_space = JCS_EXT_BGR;
    pf = ie24RGB;
  }
  // A file of more than one scan (progressive ones) is gathered whole as
  // coefficients, 64 of 16 bits per block of every component, before a row
  // comes out.
  std::int64_t coefficients = 0;
  if (jpeg_has_multiple_scans(&d.c))
    for (int i = 0; i < d.c.num_components; ++i)
      coefficients += std::int64_t(d.c.comp_info[i].width_in_blocks) * d.c.comp_info[i].height_in_blocks *
                      std::int64_t(sizeof(JBLOCK));
  IECheckLoadBudget("JPEG", d.c.image_width, d.c.image_height, pf, false, coefficients, Params);
  jpeg_start_decompress(&d.c);
  const int w = static_cast<int>(d.c.output_width), h = static_cast<int>(d.c.output_height);
  IEAllocImage(Bitmap, w, h, pf, "JPEG");
  if (Bitmap.HasAlphaChannel()) Bitmap.RemoveAlphaChannel();
  Progress.SetRows(h);
  TIERowSink sink(&Bitmap, 0, h);
  while (d.c.output_scanline < d.c.output_height) {
    const int y = static_cast<int>(d.c.output_scanline);
    JSAMPROW row = sink.Row(y);
    jpeg_read_scanlines(&d.c, &row, 1);
    // Adobe writes CMYK inverted.
    if (pf == ieCMYK && d.c.saw_Adobe_marker)
      for (int i = 0; i < 4 * w; ++i) row[i] = static_cast<std::uint8_t>(255 - row[i]);
    Progress.Report(y + 1);
  }
  sink.Finish();
  const bool progressive = jpeg_has_multiple_scans(&d.c) != 0;
  const int quality = EstimateQuality(d.c);
  jpeg_finish_decompress(&d.c);
  // Bytes read ahead beyond the end of the image go back to the stream.
  if (src.pub.bytes_in_buffer > 0)
    Stream.Seek(-static_cast<std::int64_t>(src.pub.bytes_in_buffer), soCurrent);

  Params.FileType = ioJPEG;
  Params.JPEGQuality = quality;
  Params.JPEGProgressive = progressive;
  switch (inSpace) {
    case JCS_GRAYSCALE: Params.JPEGColorSpace = ioJPEG_GRAYLEV; break;
    case JCS_RGB: Params.JPEGColorSpace = ioJPEG_RGB; break;
    case JCS_CMYK: Params.JPEGColorSpace = ioJPEG_CMYK; break;
    case JCS_YCCK: Params.JPEGColorSpace = ioJPEG_YCbCrK; break;
    default: Params.JPEGColorSpace = ioJPEG_YCbCr; break;
  }
  Params.BitsPerSample = 8;
  Params.SamplesPerPixel = d.c.num_components;
  Params.FreeColorMap();
}

void JPEGWriteStream(TStream& Stream, TIEBitmap& Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  const int w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
  if (w > 65500 || h > 65500) throw EIEImageError("JPEG: images are at most 65500 pixels wide and high");
  const std::uint8_t cs = Params.JPEGColorSpace;
  TIEBitmap temp;
  TIEBitmap* src;
  J_COLOR_SPACE in, out;
  int comps;
  const TIEPixelFormat bpf = Bitmap.GetPixelFormat();
  if (cs == ioJPEG_GRAYLEV || (Params.SamplesPerPixel == 1 && (bpf == ie8g || bpf == ie16g || bpf == ie1g))) {
    src = IEWriteSource(Bitmap, ie8g, 256, temp);
    in = out = JCS_GRAYSCALE;
    comps = 1;
  } else if (cs == ioJPEG_CMYK || cs == ioJPEG_YCbCrK) {
    src = IEWriteSource(Bitmap, ieCMYK, 256, temp);
    in = JCS_CMYK;
    out = cs == ioJPEG_CMYK ? JCS_CMYK : JCS_YCCK;
    comps = 4;
  } else {
    src = IEWriteSource(Bitmap, ie24RGB, 256, temp);
    in = JCS_EXT_BGR;
    out = cs == ioJPEG_RGB ? JCS_RGB : JCS_YCbCr;
    comps = 3;
  }
  Compress c;
  Dest dst{};
  dst.s = &Stream;
  dst.buf.resize(kBuf);
  dst.pub.init_destination = InitDest;
  dst.pub.empty_output_buffer = EmptyOutput;
  dst.pub.term_destination = TermDest;
  c.c.dest = &dst.pub;
  c.c.image_width = static_cast<JDIMENSION>(w);
  c.c.image_height = static_cast<JDIMENSION>(h);
  c.c.input_components = comps;
  c.c.in_color_space = in;
  jpeg_set_defaults(&c.c);
  jpeg_set_colorspace(&c.c, out);
  jpeg_set_quality(&c.c, std::clamp(Params.JPEGQuality, 1, 100), TRUE);
  switch (Params.JPEGDCTMethod) {
    case 1: c.c.dct_method = JDCT_IFAST; break;
    case 2: c.c.dct_method = JDCT_FLOAT; break;
    default: c.c.dct_method = JDCT_ISLOW; break;
  }
  c.c.optimize_coding = Params.JPEGOptimalHuffman ? TRUE : FALSE;
  c.c.smoothing_factor = std::clamp(Params.JPEGSmooth, 0, 100);
  if (Params.JPEGProgressive) jpeg_simple_progression(&c.c);
  jpeg_start_compress(&c.c, TRUE);
  std::vector<std::uint8_t> inv(comps == 4 ? static_cast<size_t>(w) * 4 : 0);
  Progress.SetRows(h);
  for (int y = 0; y < h; ++y) {
    JSAMPROW row = src->GetScanline(y);
    if (comps == 4) {
      // Written inverted, as Adobe does and as readers expect of CMYK JPEGs.
      for (size_t i = 0; i < inv.size(); ++i) inv[i] = static_cast<std::uint8_t>(255 - row[i]);
      row = inv.data();
    }
    jpeg_write_scanlines(&c.c, &row, 1);
    Progress.Report(y + 1);
  }
  jpeg_finish_compress(&c.c);
}

}  // namespace redozir
