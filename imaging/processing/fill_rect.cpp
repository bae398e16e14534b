// Painting a rectangle with one colour in the bitmap's own pixel format.
#include "imaging/processing/fill_rect.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/ie_pixel.h"
#include "imaging/core/convert_1bit.h"

namespace redozir {

void _IEFillRect(TIEBitmap* Bitmap, int X1, int Y1, int X2, int Y2, TRGB Color,
                 const TIEProgressEvent& OnProgress, TObject* Sender) {
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, Bitmap->GetWidth());
  Y2 = std::min(Y2, Bitmap->GetHeight());
  if (X1 >= X2 || Y1 >= Y2) return;
  TIEPixelFormat pf = Bitmap->GetPixelFormat();
  if (pf == ie8p) {
    int used = Bitmap->PaletteUsed() > 0 ? Bitmap->PaletteUsed() : Bitmap->GetPaletteLength();
    int index = _IENearestPaletteIndex(Bitmap->GetPaletteBuffer(), used, Color);
    Bitmap->FillRect(X1, Y1, X2 - 1, Y2 - 1, index);
    return;
  }
  if (pf != ie1g && pf != ie8g && pf != ie24RGB) {
    Bitmap->FillRect(X1, Y1, X2 - 1, Y2 - 1, static_cast<double>(RGB(Color.r, Color.g, Color.b)));
    return;
  }
  double step = 100.0 / ((Y2 - 1 - Y1) + 0.5);
  bool on = Color.r != 0;
  auto grey = static_cast<std::uint8_t>(IERGBToGray(Color));
  for (int y = Y1; y < Y2; ++y) {
    std::uint8_t* row = Bitmap->GetScanline(y);
    if (pf == ie1g) {
      // Whole bytes where the rectangle covers them, masks at both ends.
      for (int x = X1; x < X2;) {
        int bit = x & 7, n = std::min(8 - bit, X2 - x);
        auto mask = static_cast<std::uint8_t>(((0xFF00 >> n) & 0xFF) >> bit);
        row[x >> 3] = on ? static_cast<std::uint8_t>(row[x >> 3] | mask)
                         : static_cast<std::uint8_t>(row[x >> 3] & ~mask);
        x += n;
      }
    } else if (pf == ie8g) {
      std::memset(row + X1, grey, static_cast<size_t>(X2 - X1));
    } else {
      for (int x = X1; x < X2; ++x) {
        row[3 * x] = Color.b;
        row[3 * x + 1] = Color.g;
        row[3 * x + 2] = Color.r;
      }
    }
    // The last row would reach past 100 with this step.
    if (OnProgress)
      OnProgress(Sender, static_cast<int>(std::min(100.0, std::nearbyint((y - Y1 + 1) * step))));
  }
}

double IEColorFillValue(TIEBitmap* Bitmap, TColor Color) {
  TRGB rgb = IEColorToRGB(Color);
  switch (Bitmap->GetPixelFormat()) {
    case ie1g: return RGB(rgb.r, rgb.g, rgb.b) != 0 ? 1 : 0;
    case ie8g: return IERGBToGray(rgb);
    case ie16g: return IERGBToGray(rgb) * 257;
    case ie32f: return IERGBToGray(rgb) / 255.0;
    case ie8p: {
      int used = Bitmap->PaletteUsed() > 0 ? Bitmap->PaletteUsed() : Bitmap->GetPaletteLength();
      return _IENearestPaletteIndex(Bitmap->GetPaletteBuffer(), used, rgb);
    }
    default: return RGB(rgb.r, rgb.g, rgb.b);
  }
}

}  // namespace redozir
