// Packed DIB output and drawing a packed DIB into a DIB bitmap.
#include "imaging/processing/dib_output.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "imaging/formats/ie_debuglog.h"
#include "imaging/core/bit_routines.h"
#include "imaging/processing/dib_input.h"
#include "platform/byte_reader.h"
#include "platform/numeric.h"

namespace redozir {

namespace {
void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t PelsPerMeter(int dpi) {
  return static_cast<std::uint32_t>(RoundClamp(dpi * 39.3700787, INT32_MIN, INT32_MAX));
}
}  // namespace

bool IEWriteDIB(TIEBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int DpiX, int DpiY,
                const std::function<std::uint8_t*(std::int64_t Size)>& Allocate) {
  IEDebugLog("_CopyBitmaptoDIBEx: begin");
  if (!Bitmap) return false;
  TIEBitmap converted;
  TIEPixelFormat pf = Bitmap->GetPixelFormat();
  if (pf != ie1g && pf != ie8p && pf != ie8g && pf != ie24RGB) {
    // Converted once, here, rather than by a call on a converted copy.
    IEDebugLog("_CopyBitmaptoDIBEx: not supported pixel format, converting to 24bit and recurse");
    if (Bitmap->GetWidth() > 0 && Bitmap->GetHeight() > 0) {
      if (!converted.Allocate(Bitmap->GetWidth(), Bitmap->GetHeight(), ie24RGB))
        throw EOutOfMemory("_CopyBitmaptoDIBEx: cannot allocate the 24-bit copy");
      converted.ConvertFrom(Bitmap);
      Bitmap = &converted;
    }
    pf = ie24RGB;
  }
  const int W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  if (X2 == 0) X2 = W;
  if (Y2 == 0) Y2 = H;
  X1 = std::clamp(X1, 0, W);
  Y1 = std::clamp(Y1, 0, H);
  X2 = std::clamp(X2, X1, W);
  Y2 = std::clamp(Y2, Y1, H);
  const int width = X2 - X1, height = Y2 - Y1;
  const int bitCount = pf == ie1g ? 1 : pf == ie24RGB ? 24 : 8;
  const std::int64_t rowLen = (static_cast<std::int64_t>(width) * bitCount + 31) / 32 * 4;
  const std::int64_t table = bitCount == 1 ? 8 : bitCount == 8 ? 1024 : 0;
  const std::int64_t size = 44 + table + rowLen * height;
  IEDebugLog("_CopyBitmaptoDIBEx: allocate " + std::to_string(size) + " bytes");
  std::uint8_t* h = Allocate(size);
  if (!h) return false;
  std::memset(h, 0, static_cast<size_t>(size));
  Put32(h, 40);
  Put32(h + 4, static_cast<std::uint32_t>(width));
  Put32(h + 8, static_cast<std::uint32_t>(height));
  Put16(h + 12, 1);
  Put16(h + 14, static_cast<std::uint32_t>(bitCount));
  Put32(h + 24, PelsPerMeter(DpiX));
  Put32(h + 28, PelsPerMeter(DpiY));
  std::uint8_t* t = h + 40;
  std::uint8_t* rows = t + table;
  switch (pf) {
    case ie1g:
      IEDebugLog("_CopyBitmaptoDIBEx: ie1g");
      std::memset(t + 4, 0xFF, 4);
      for (int r = 0; r < height; ++r)
        IECopyBits(rows + r * rowLen, Bitmap->GetScanline(Y2 - 1 - r), 0, X1, width, Bitmap->GetRowLen());
      break;
    case ie8g:
    case ie8p:
      IEDebugLog("_CopyBitmaptoDIBEx: ie8g or ie8p");
      for (int i = 0; i < 256; ++i) {
        // Entries past a short palette stay zero: a reader takes 256.
        const TRGB c = pf == ie8g ? TRGB{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i),
                                         static_cast<std::uint8_t>(i)}
                                  : Bitmap->GetPalette(i);
        t[4 * i] = c.b;
        t[4 * i + 1] = c.g;
        t[4 * i + 2] = c.r;
      }
      for (int r = 0; r < height; ++r)
        std::memcpy(rows + r * rowLen, Bitmap->GetScanline(Y2 - 1 - r) + X1, static_cast<size_t>(width));
      break;
    default:
      IEDebugLog("_CopyBitmaptoDIBEx: ie24RGB");
      for (int r = 0; r < height; ++r)
        std::memcpy(rows + r * rowLen, Bitmap->GetScanline(Y2 - 1 - r) + 3 * static_cast<std::int64_t>(X1),
                    static_cast<size_t>(width) * 3);
      break;
  }
  return true;
}

std::vector<std::uint8_t> IECopyBitmapToDIBBytes(TIEBitmap* Bitmap, int X1, int Y1, int X2, int Y2, int DpiX,
                                                 int DpiY) {
  std::vector<std::uint8_t> dib;
  IEWriteDIB(Bitmap, X1, Y1, X2, Y2, DpiX, DpiY, [&](std::int64_t size) {
    dib.resize(static_cast<size_t>(size));
    return dib.data();
  });
  return dib;
}

int _DrawDIBtoBitmap(const void* DIB, std::int64_t DIBSize, TIEDibbitmap* Dst, const void* Bits,
                     std::int64_t BitsSize) {
  if (!Dst) return 0;
  TIEBitmap tmp;
  int bitCount;
  try {
    bitCount = _CopyDIBtoBitmapEx(DIB, DIBSize, &tmp, Bits, BitsSize);
  } catch (const EIEUnsupportedDIB&) {
    Dst->FreeBits();
    throw;
  }
  const int w = tmp.GetWidth(), h = tmp.GetHeight();
  const bool mono = tmp.GetPixelFormat() == ie1g;
  if (!Dst->AllocateBits(w, h, mono ? 1 : 24))
    throw EOutOfMemory("_DrawDIBtoBitmap: cannot allocate a " + std::to_string(w) + " x " +
                       std::to_string(h) + " bitmap");
  const size_t n = mono ? static_cast<size_t>((w + 7) / 8) : static_cast<size_t>(w) * 3;
  for (int y = 0; y < h; ++y) std::memcpy(Dst->GetScanline(y), tmp.GetScanline(y), n);
  return bitCount;
}

}  // namespace redozir
