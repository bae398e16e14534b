// Small files of kinds our writers do not make by themselves, built from
// what they do make: a JPEG 2000 file with a palette box, and a TIFF whose
// alpha is marked associated (premultiplied).
#pragma once

#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imaging/formats/test_images.h"

namespace redozir {

inline void PutBE(std::vector<std::uint8_t>& v, std::uint32_t x, int n) {
  for (int i = n - 1; i >= 0; --i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}

inline std::vector<std::uint8_t> JP2Box(const char* type, const std::vector<std::uint8_t>& payload) {
  std::vector<std::uint8_t> b(payload.size() + 8);
  const auto n = static_cast<std::uint32_t>(b.size());
  for (int i = 0; i < 4; ++i) {
    b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(n >> (24 - 8 * i));
    b[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(type[i]);
  }
  std::copy(payload.begin(), payload.end(), b.begin() + 8);
  return b;
}

// A JP2 file of one 8-bit component whose samples index Colours through a
// palette box and a component mapping box; Index(x, y) gives the index.
template <typename F>
std::vector<std::uint8_t> PaletteJP2(const std::vector<TRGB>& Colours, int w, int h, F Index) {
  TIEBitmap idx(w, h, ie8g);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) idx.GetScanline(y)[x] = static_cast<std::uint8_t>(Index(x, y));
  const std::vector<std::uint8_t> cs =
      EncodeAs(idx, ioJ2K, [](TIOParamsVals& p) { p.J2000ColorSpace = ioJ2000_GRAYSCALE; });
  std::vector<std::uint8_t> ihdr, colr, pclr, cmap, ftyp;
  PutBE(ihdr, static_cast<std::uint32_t>(h), 4);
  PutBE(ihdr, static_cast<std::uint32_t>(w), 4);
  PutBE(ihdr, 1, 2);
  ihdr.insert(ihdr.end(), {7, 7, 0, 0});
  colr = {1, 0, 0};
  PutBE(colr, 16, 4);  // sRGB
  PutBE(pclr, static_cast<std::uint32_t>(Colours.size()), 2);
  pclr.insert(pclr.end(), {3, 7, 7, 7});
  for (const TRGB& c : Colours) pclr.insert(pclr.end(), {c.r, c.g, c.b});
  for (std::uint8_t col = 0; col < 3; ++col) cmap.insert(cmap.end(), {0, 0, 1, col});
  ftyp = {'j', 'p', '2', ' ', 0, 0, 0, 0, 'j', 'p', '2', ' '};
  std::vector<std::uint8_t> jp2h;
  for (const auto& b :
       {JP2Box("ihdr", ihdr), JP2Box("colr", colr), JP2Box("pclr", pclr), JP2Box("cmap", cmap)})
    jp2h.insert(jp2h.end(), b.begin(), b.end());
  std::vector<std::uint8_t> file = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
  for (const auto& b : {JP2Box("ftyp", ftyp), JP2Box("jp2h", jp2h), JP2Box("jp2c", cs)})
    file.insert(file.end(), b.begin(), b.end());
  return file;
}

// A TIFF of Premultiplied (colour already multiplied by its alpha plane)
// whose extra sample says associated alpha: written as straight alpha by
// our writer, then the ExtraSamples value turned from 2 to 1.
inline std::vector<std::uint8_t> AssociatedAlphaTIFF(TIEBitmap& Premultiplied) {
  const bool deep = Premultiplied.GetPixelFormat() == ieRGB48;
  std::vector<std::uint8_t> f = EncodeAs(Premultiplied, ioTIFF, [&](TIOParamsVals& p) {
    p.BitsPerSample = deep ? 16 : 8;
    p.SamplesPerPixel = 4;
    p.TIFFPhotometric = ioTIFF_RGB;
  });
  // Little-endian entry: tag 338, SHORT, count 1, value 2.
  const std::uint8_t entry[] = {0x52, 0x01, 3, 0, 1, 0, 0, 0, 2, 0};
  for (size_t i = 0; i + sizeof entry <= f.size(); ++i)
    if (std::memcmp(f.data() + i, entry, sizeof entry) == 0) {
      f[i + 8] = 1;
      return f;
    }
  return {};
}

// A TIFF that libtiff writes: Width x Height pixels of Samples samples of
// Bits bits, Tags setting anything more, Write the pixels.
inline std::vector<std::uint8_t> LibtiffFile(int Width, int Height, int Bits, int Samples, int Photometric,
                                             const std::function<void(TIFF*)>& Tags,
                                             const std::function<void(TIFF*)>& Write) {
  const std::string name = "/tmp/redozir_libtiff_" + std::to_string(getpid()) + ".tif";
  TIFF* t = TIFFOpen(name.c_str(), "w");
  if (!t) return {};
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, Width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, Height);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, Bits);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, Samples);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, Photometric);
  if (Tags) Tags(t);
  Write(t);
  TIFFClose(t);
  TMemoryStream ms;
  ms.LoadFromFile(name);
  std::remove(name.c_str());
  return ms.Bytes();
}

}  // namespace redozir
