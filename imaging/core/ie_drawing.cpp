// Shadow strips and dialog background pictures.
#include "imaging/core/ie_drawing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "imaging/core/ie_canvas_pixels.h"
#include "platform/numeric.h"

namespace redozir {

std::uint8_t gIEDialogsBackground = 0;

TColor IEShadowColor(TColor Background, int Style, int Distance, int Width) {
  TColor bg = ColorToRGB(Background);
  double keep;
  if (Style == ieShadowSolid) {
    keep = 0.5;
  } else {
    // Half the background's light is taken next to the image, fading with a
    // gaussian of sigma Width / 2 across the strip.
    double sigma = std::max(1, Width) / 2.0;
    double d = Distance + 0.5;
    keep = 1.0 - 0.5 * std::exp(-(d * d) / (2 * sigma * sigma));
  }
  auto ch = [keep](int v) { return RoundClamp(v * keep, 0, 255); };
  return RGB(ch(GetRValue(bg)), ch(GetGValue(bg)), ch(GetBValue(bg)));
}

namespace {

bool Target(TCanvas* Canvas, TBitmap* Bitmap, TIECanvasPixels& t) {
  return Bitmap ? IEBitmapPixels(Bitmap, t) : IECanvasPixels(Canvas, t);
}

void Put(std::uint8_t* p, TColor c) {
  p[0] = static_cast<std::uint8_t>(GetBValue(c));
  p[1] = static_cast<std::uint8_t>(GetGValue(c));
  p[2] = static_cast<std::uint8_t>(GetRValue(c));
}

// Fills the rectangle x1..x2 - 1, y1..y2 - 1 (clipped), the colour chosen by
// the distance from the image edge.
template <typename DistanceOf>
void ShadowStrip(const TIECanvasPixels& t, TRect r, TColor Background, int Style, int Width,
                 DistanceOf dist) {
  TRect area;
  if (!IntersectRect(area, r, t.clip)) return;
  std::vector<TColor> shades(static_cast<size_t>(std::max(1, Width)));
  for (int d = 0; d < static_cast<int>(shades.size()); ++d)
    shades[d] = IEShadowColor(Background, Style, d, Width);
  for (int y = area.Top; y < area.Bottom; ++y)
    for (int x = area.Left; x < area.Right; ++x) Put(t.Pixel(x, y), shades[static_cast<size_t>(dist(x, y))]);
}

}  // namespace

void IEDrawShadowRight(TCanvas* Canvas, TBitmap* Target_, int EdgeX, TColor Background, int Style, int Top,
                       int Bottom, int Width) {
  TIECanvasPixels t;
  if (Width <= 0 || Top >= Bottom || !Target(Canvas, Target_, t)) return;
  std::int64_t right = std::min<std::int64_t>(static_cast<std::int64_t>(EdgeX) + Width, INT32_MAX);
  ShadowStrip(t, Rect(EdgeX, Top, static_cast<int>(right), Bottom), Background, Style, Width,
              [EdgeX](int x, int) { return x - EdgeX; });
}

void IEDrawShadowBottom(TCanvas* Canvas, TBitmap* Target_, int EdgeY, TColor Background, int Style, int Left,
                        int Right, int Height) {
  TIECanvasPixels t;
  if (Height <= 0 || Left >= Right || !Target(Canvas, Target_, t)) return;
  std::int64_t bottom = std::min<std::int64_t>(static_cast<std::int64_t>(EdgeY) + Height, INT32_MAX);
  ShadowStrip(t, Rect(Left, EdgeY, Right, static_cast<int>(bottom)), Background, Style, Height,
              [EdgeY](int, int y) { return y - EdgeY; });
}

namespace {
bool Prepare(TBitmap* Bitmap, int Width, int Height) {
  if (!Bitmap || Width <= 0 || Height <= 0) return false;
  Bitmap->SetPixelFormat(pf24bit);
  Bitmap->SetSize(Width, Height);
  return true;
}
}  // namespace

void IEMakeStripesBitmap(TBitmap* Bitmap, int Width, int Height) {
  if (!Prepare(Bitmap, Width, Height)) return;
  for (int y = 0; y < Height; ++y) {
    // Two light rows, two slightly darker ones.
    std::uint8_t v = (y & 3) < 2 ? 236 : 226;
    std::uint8_t* row = Bitmap->ScanLine(y);
    std::fill(row, row + static_cast<std::int64_t>(Width) * 3, v);
  }
}

void IEMakeMetalBitmap(TBitmap* Bitmap, int Width, int Height) {
  if (!Prepare(Bitmap, Width, Height)) return;
  // A fixed generator: the dialog looks the same every time it opens.
  std::uint32_t seed = 0x2545F491u;
  auto next = [&seed]() {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    return seed;
  };
  constexpr int kStreak = 24;  // the brush's stroke length
  std::vector<int> noise(static_cast<size_t>(Width) + kStreak);
  for (int y = 0; y < Height; ++y) {
    int rowShade = static_cast<int>(next() % 17) - 8;
    for (int& n : noise) n = static_cast<int>(next() % 41) - 20;
    // A running box along x turns the noise into horizontal streaks.
    int sum = 0;
    for (int i = 0; i < kStreak; ++i) sum += noise[static_cast<size_t>(i)];
    std::uint8_t* row = Bitmap->ScanLine(y);
    for (int x = 0; x < Width; ++x) {
      int v = std::clamp(196 + rowShade + sum / kStreak, 0, 255);
      // A faint blue cast, as brushed steel has.
      row[3 * x] = static_cast<std::uint8_t>(std::min(255, v + 4));
      row[3 * x + 1] = static_cast<std::uint8_t>(v);
      row[3 * x + 2] = static_cast<std::uint8_t>(std::max(0, v - 2));
      sum += noise[static_cast<size_t>(x + kStreak)] - noise[static_cast<size_t>(x)];
    }
  }
}

}  // namespace redozir
