// Histogram matching per channel: equalise the target, then map each
// equalised level to the reference level whose cumulative share is nearest.
// Cumulative counts stay in 64 bits: width x height x 255 passes 2^31 at
// about 8.4 million pixels.
#include "imaging/processing/histogram_match.h"

#include <cmath>
#include <cstring>

#include "platform/numeric.h"

namespace redozir {

namespace {
inline std::uint16_t Word(const std::uint8_t* p) {
  std::uint16_t w;
  std::memcpy(&w, p, 2);
  return w;
}
inline void SetWord(std::uint8_t* p, std::uint16_t w) { std::memcpy(p, &w, 2); }

// Cumulative shares scaled to 0..255.
void Cumulative(const std::uint32_t* hist, std::int64_t total, double* out) {
  std::int64_t sum = 0;
  for (int i = 0; i < 256; ++i) {
    sum += hist[i];
    out[i] = static_cast<double>(sum * 255) / static_cast<double>(total);
  }
}
}  // namespace

void _IEMatchHistogramChannel(TIEBitmap* Target, int Channel, const std::uint32_t* RefHistogram,
                              std::int64_t RefCount) {
  if (!Target || !RefHistogram || RefCount < 1 || Channel < 0 || Channel > 2) return;
  const int w = Target->GetWidth(), h = Target->GetHeight();
  const TIEPixelFormat pf = Target->GetPixelFormat();
  if (w < 1 || h < 1 || (pf != ie24RGB && pf != ieRGB48)) return;
  const bool wide = pf == ieRGB48;
  const int step = wide ? 6 : 3;
  const int offset = wide ? 2 * (2 - Channel) : Channel;
  // The high byte of a little-endian word is its second byte.
  const int probe = wide ? offset + 1 : offset;

  std::uint32_t hist[256] = {};
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* p = Target->GetScanline(y) + probe;
    for (int x = 0; x < w; ++x, p += step) ++hist[*p];
  }
  double E[256], R[256];
  Cumulative(hist, static_cast<std::int64_t>(w) * h, E);
  Cumulative(RefHistogram, RefCount, R);

  std::uint8_t M[256];
  for (int v = 0; v < 256; ++v) {
    int best = 0;
    double bestDist = std::fabs(v - R[0]);
    for (int j = 1; j < 256; ++j) {
      const double d = std::fabs(v - R[j]);
      if (d < bestDist) {
        bestDist = d;
        best = j;
      }
    }
    M[v] = static_cast<std::uint8_t>(best);
  }
  // Equalise, then map: one table from the old level to the new one.
  std::uint8_t map[256];
  for (int v = 0; v < 256; ++v) map[v] = M[TruncInt(E[v])];

  for (int y = 0; y < h; ++y) {
    std::uint8_t* p = Target->GetScanline(y) + offset;
    if (wide) {
      for (int x = 0; x < w; ++x, p += 6) SetWord(p, static_cast<std::uint16_t>(map[Word(p) >> 8] * 257));
    } else {
      for (int x = 0; x < w; ++x, p += 3) *p = map[*p];
    }
  }
}

void _IEMatchHistogramRGB(TIEBitmap* Reference, TIEBitmap* Target) {
  if (!Reference || !Target || Reference->GetPixelFormat() != ie24RGB) return;
  const int w = Reference->GetWidth(), h = Reference->GetHeight();
  if (w < 1 || h < 1 || Target->GetWidth() < 1 || Target->GetHeight() < 1) return;
  std::uint32_t hist[3][256] = {};
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* p = Reference->GetScanline(y);
    for (int x = 0; x < w; ++x, p += 3) {
      ++hist[0][p[0]];
      ++hist[1][p[1]];
      ++hist[2][p[2]];
    }
  }
  const std::int64_t n = static_cast<std::int64_t>(w) * h;
  for (int c = 0; c < 3; ++c) _IEMatchHistogramChannel(Target, c, hist[c], n);
}

}  // namespace redozir
