// Small images made by the tests, and pixel comparisons, shared by the
// format and I/O tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/formats/ie_codec_util.h"

using namespace redozir;

// A colourful 24-bit image: gradients with a few hard edges.
inline std::unique_ptr<TIEBitmap> MakeRGB(int w, int h) {
  auto bp = std::make_unique<TIEBitmap>(w, h, ie24RGB);
  TIEBitmap& b = *bp;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* p = b.GetScanline(y);
    for (int x = 0; x < w; ++x) {
      p[3 * x] = static_cast<std::uint8_t>(x * 255 / std::max(1, w - 1));
      p[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / std::max(1, h - 1));
      p[3 * x + 2] = static_cast<std::uint8_t>(((x / 4 + y / 4) & 1) ? 200 : 40);
    }
  }
  return bp;
}

inline std::unique_ptr<TIEBitmap> MakeGrey(int w, int h) {
  auto bp = std::make_unique<TIEBitmap>(w, h, ie8g);
  TIEBitmap& b = *bp;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.GetScanline(y)[x] = static_cast<std::uint8_t>((x * 7 + y * 13) & 255);
  return bp;
}

// A palette image using `colors` entries.
inline std::unique_ptr<TIEBitmap> MakePalette(int w, int h, int colors) {
  auto bp = std::make_unique<TIEBitmap>(w, h, ie8p);
  TIEBitmap& b = *bp;
  for (int i = 0; i < colors; ++i)
    b.SetPalette(i, TRGB{static_cast<std::uint8_t>(i * 37), static_cast<std::uint8_t>(255 - i * 11),
                         static_cast<std::uint8_t>(i * 91)});
  b.SetPaletteUsed(colors);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.GetScanline(y)[x] = static_cast<std::uint8_t>((x / 3 + y * 5) % colors);
  return bp;
}

inline std::unique_ptr<TIEBitmap> MakeBW(int w, int h) {
  auto bp = std::make_unique<TIEBitmap>(w, h, ie1g);
  TIEBitmap& b = *bp;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* p = b.GetScanline(y);
    std::memset(p, 0, static_cast<size_t>(b.GetRowLen()));
    for (int x = 0; x < w; ++x)
      if ((x * x + y * 3) % 7 < 3) p[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
  }
  return bp;
}

// Adds an alpha plane with a ramp.
inline void AddAlpha(TIEBitmap& b) {
  TIEBitmap* a = b.GetAlphaChannel();
  for (int y = 0; y < b.GetHeight(); ++y)
    for (int x = 0; x < b.GetWidth(); ++x)
      a->GetScanline(y)[x] = static_cast<std::uint8_t>((x * 16 + y * 3) & 255);
  a->SetFull(false);
}

// Largest difference of any channel, comparing both images as RGB.
inline int MaxRGBDiff(TIEBitmap& a, TIEBitmap& b) {
  if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return 1000;
  std::vector<TRGB> ra(static_cast<size_t>(a.GetWidth())), rb(ra.size());
  int m = 0;
  for (int y = 0; y < a.GetHeight(); ++y) {
    IEGetRowRGB24(a, y, ra.data());
    IEGetRowRGB24(b, y, rb.data());
    for (size_t x = 0; x < ra.size(); ++x) {
      m = std::max(
          {m, std::abs(ra[x].r - rb[x].r), std::abs(ra[x].g - rb[x].g), std::abs(ra[x].b - rb[x].b)});
    }
  }
  return m;
}

// Mean absolute difference per channel.
inline double MeanRGBDiff(TIEBitmap& a, TIEBitmap& b) {
  std::vector<TRGB> ra(static_cast<size_t>(a.GetWidth())), rb(ra.size());
  double s = 0;
  for (int y = 0; y < a.GetHeight(); ++y) {
    IEGetRowRGB24(a, y, ra.data());
    IEGetRowRGB24(b, y, rb.data());
    for (size_t x = 0; x < ra.size(); ++x)
      s += std::abs(ra[x].r - rb[x].r) + std::abs(ra[x].g - rb[x].g) + std::abs(ra[x].b - rb[x].b);
  }
  return s / (3.0 * a.GetWidth() * a.GetHeight());
}

inline bool SameAlpha(TIEBitmap& a, TIEBitmap& b) {
  if (!a.HasAlphaChannel() || !b.HasAlphaChannel()) return false;
  TIEBitmap* pa = a.GetAlphaChannel();
  TIEBitmap* pb = b.GetAlphaChannel();
  for (int y = 0; y < a.GetHeight(); ++y)
    if (std::memcmp(pa->GetScanline(y), pb->GetScanline(y), static_cast<size_t>(a.GetWidth())) != 0)
      return false;
  return true;
}

// Everything a caller can see of a bitmap as one string: size, format,
// Full flag, pixel bytes, palette and alpha plane.
inline std::string ImageBytes(TIEBitmap& b) {
  std::string s = std::to_string(b.Width()) + "x" + std::to_string(b.Height()) + "/" +
                  std::to_string(b.PixelFormat()) + "/" + std::to_string(b.Full()) + ":";
  std::size_t row = (static_cast<std::size_t>(b.Width()) * b.GetBitCount() + 7) / 8;
  for (int y = 0; y < b.Height(); ++y) s.append(reinterpret_cast<const char*>(b.GetScanline(y)), row);
  s.append(reinterpret_cast<const char*>(b.GetPaletteBuffer()), sizeof(TRGB) * b.GetPaletteLength());
  if (b.HasAlphaChannel() && !b.IsAlphaPlane()) s += "|alpha " + ImageBytes(*b.GetAlphaChannel());
  return s;
}

inline std::string TestDataPath(const std::string& name) {
  return std::string(IMAGING_TEST_DATA) + "/" + name;
}

#include <functional>

#include "imaging/io/redozir_io.h"


// Encodes a copy of Source as FileType with parameters set by Setup.
inline std::vector<std::uint8_t> EncodeAs(TIEBitmap& Source, int FileType,
                                          const std::function<void(TIOParamsVals&)>& Setup = {}) {
  TRedozIrIO io;
  io.GetIEBitmap()->Assign(&Source);
  if (Setup) Setup(io.Params());
  TMemoryStream ms;
  io.SaveToStream(ms, FileType);
  return ms.Bytes();
}

// Decodes bytes (format by content when FileType is 0) with native pixel formats.
inline std::unique_ptr<TIEBitmap> DecodeBytes(const std::vector<std::uint8_t>& Bytes, int FileType = 0,
                                              TIOParamsVals* ParamsOut = nullptr, bool Native = true) {
  TRedozIrIO io;
  io.SetNativePixelFormat(Native);
  TMemoryStream ms(Bytes);
  if (FileType)
    io.LoadFromStreamFormat(ms, FileType);
  else
    io.LoadFromStream(ms);
  auto out = std::make_unique<TIEBitmap>();
  out->Assign(io.GetIEBitmap());
  if (ParamsOut) ParamsOut->Assign(io.Params());
  return out;
}
