// convert: loads a picture of any format the library reads and saves it in
// the format of the output name's extension, with the format's parameters
// given on the command line as Field=value (the TIOParamsVals field names).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "imaging/io/redozir_io.h"

using namespace redozir;

namespace {
using Setter = std::function<void(TIOParamsVals&, const std::string&)>;

int Int(const std::string& v) {
  char* end = nullptr;
  long x = std::strtol(v.c_str(), &end, 0);
  if (v.empty() || *end) throw EConvertError("'" + v + "' is not a whole number");
  return static_cast<int>(x);
}
bool Bool(const std::string& v) {
  if (v == "1" || v == "true" || v == "yes") return true;
  if (v == "0" || v == "false" || v == "no") return false;
  throw EConvertError("'" + v + "' is not true or false");
}
// A colour as RRGGBB in hexadecimal.
TRGB Color(const std::string& v) {
  char* end = nullptr;
  unsigned long x = std::strtoul(v.c_str(), &end, 16);
  if (v.size() != 6 || *end) throw EConvertError("'" + v + "' is not a colour RRGGBB");
  return TRGB{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x >> 8),
              static_cast<std::uint8_t>(x >> 16)};
}

std::map<std::string, Setter> Setters() {
#define INT(f)                                                        \
  {                                                                   \
#f, [](TIOParamsVals & p, const std::string& v) { p.f = Int(v); } \
  }
#define BYTE(f)                                                                                  \
  {                                                                                              \
#f, [](TIOParamsVals & p, const std::string& v) { p.f = static_cast<std::uint8_t>(Int(v)); } \
  }
#define BOOL(f)                                                        \
  {                                                                    \
#f, [](TIOParamsVals & p, const std::string& v) { p.f = Bool(v); } \
  }
#define COLOR(f)                                                        \
  {                                                                     \
#f, [](TIOParamsVals & p, const std::string& v) { p.f = Color(v); } \
  }
#define STR(f)                                                   \
  {                                                              \
#f, [](TIOParamsVals & p, const std::string& v) { p.f = v; } \
  }
  return {
      INT(BitsPerSample),
      INT(SamplesPerPixel),
      BYTE(TIFFCompression),
      INT(TIFFImageIndex),
      BYTE(TIFFPhotometric),
      INT(TIFFXPos),
      INT(TIFFYPos),
      STR(TIFFDocumentName),
      STR(TIFFImageDescription),
      STR(TIFFPageName),
      INT(TIFFPageNumber),
      INT(TIFFPageCount),
      INT(GIFImageIndex),
      INT(GIFXPos),
      INT(GIFYPos),
      INT(GIFDelayTime),
      BOOL(GIFTransparent),
      COLOR(GIFTranspColor),
      BOOL(GIFInterlaced),
      COLOR(GIFBackground),
      BYTE(JPEGColorSpace),
      INT(JPEGQuality),
      BYTE(JPEGDCTMethod),
      BOOL(JPEGOptimalHuffman),
      INT(JPEGSmooth),
      BOOL(JPEGProgressive),
      BYTE(J2000ColorSpace),
      BYTE(PCXCompression),
      BYTE(BMPCompression),
      BOOL(PNGInterlaced),
      COLOR(PNGBackground),
      BYTE(PNGFilter),
      INT(PNGCompression),
      BOOL(TGACompressed),
      STR(TGADescriptor),
      STR(TGAImageName),
      COLOR(TGABackground),
      {"J2000Rate",
       [](TIOParamsVals& p, const std::string& v) { p.J2000Rate = std::strtod(v.c_str(), nullptr); }},
      {"ImageIndex", [](TIOParamsVals& p, const std::string& v) { p.SetImageIndex(Int(v)); }},
  };
#undef INT
#undef BYTE
#undef BOOL
#undef COLOR
#undef STR
}

void Usage(std::FILE* out) {
  std::fprintf(out,
               "usage: redozir-convert INPUT OUTPUT [Field=value ...]\n"
               "  Reads INPUT (TIFF, GIF, JPEG, PCX, BMP, PNG, TGA, JP2, J2K; format by content)\n"
               "  and writes OUTPUT in the format of its extension. Fields set the parameters:\n"
               "  ImageIndex picks the page to read; the others shape what is written, e.g.\n"
               "    redozir-convert in.png out.jpg JPEGQuality=60 JPEGProgressive=1\n"
               "    redozir-convert in.tif out.gif BitsPerSample=4 SamplesPerPixel=1 GIFInterlaced=1\n"
               "  Fields:");
  int n = 0;
  for (const auto& [name, set] : Setters()) std::fprintf(out, "%s%s", n++ % 6 ? " " : "\n    ", name.c_str());
  std::fprintf(out, "\n  Colours are RRGGBB in hexadecimal.\n");
}
}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
    Usage(stdout);
    return 0;
  }
  if (argc < 3) {
    Usage(stderr);
    return 2;
  }
  try {
    auto setters = Setters();
    TRedozIrIO io;
    std::map<std::string, std::string> fields;
    for (int i = 3; i < argc; ++i) {
      std::string a = argv[i];
      size_t eq = a.find('=');
      if (eq == std::string::npos || !setters.count(a.substr(0, eq)))
        throw EConvertError("unknown parameter '" + a + "' (--help lists them)");
      fields[a.substr(0, eq)] = a.substr(eq + 1);
    }
    // The page to read first; then the rest over what the file said.
    for (const char* f : {"ImageIndex", "TIFFImageIndex", "GIFImageIndex"})
      if (fields.count(f)) setters[f](io.Params(), fields[f]);
    io.LoadFromFile(argv[1]);
    for (const auto& [name, value] : fields) setters[name](io.Params(), value);
    io.SaveToFile(argv[2]);
    TIEBitmap* b = io.GetIEBitmap();
    std::printf("%s: %d x %d -> %s\n", argv[1], b->GetWidth(), b->GetHeight(), argv[2]);
    return 0;
  } catch (const Exception& e) {
    std::fprintf(stderr, "redozir-convert: %s\n", e.what());
    return 1;
  }
}
