// Two-colour rectangle gradients (GradientFill).
#include <algorithm>
#include <vector>

#include "platform/canvas.h"
#include "platform/pixel_writer.h"

namespace redozir {

bool GradientFill(TCanvas* c, const TRIVERTEX* v, unsigned nv, const GRADIENT_RECT* rects, unsigned nr,
                  unsigned mode) {
  if (!c || (!v && nv) || (!rects && nr) || mode > GRADIENT_FILL_RECT_V) return false;
  for (unsigned i = 0; i < nr; ++i)
    if (rects[i].UpperLeft >= nv || rects[i].LowerRight >= nv) return false;
  TBitmap& bmp = *c->Bitmap();
  if (bmp.Empty()) return true;
  TRect vis = c->VisibleBounds();
  TPixelWriter w(bmp, c->ClipRegion() ? &*c->ClipRegion() : nullptr, vis, c->Origin(), c);
  for (unsigned i = 0; i < nr; ++i) {
    const TRIVERTEX& a = v[rects[i].UpperLeft];
    const TRIVERTEX& b = v[rects[i].LowerRight];
    TRect r{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
    TRect part;
    if (!IntersectRect(part, r, vis)) continue;
    bool vertical = mode == GRADIENT_FILL_RECT_V;
    // The colour steps from a's at the rectangle's first row or column to
    // b's at one past its last, on the 16-bit channels.
    long long len = vertical ? r.Height() : r.Width();
    int from = vertical ? part.Top : part.Left, to = vertical ? part.Bottom : part.Right;
    std::vector<std::uint32_t> raw;
    raw.reserve(static_cast<size_t>(to - from));
    TColor last = -1;
    std::uint32_t lastRaw = 0;
    for (int k = from; k < to; ++k) {
      long long t = k - (vertical ? r.Top : r.Left);
      auto mix = [&](std::uint16_t p, std::uint16_t q) {
        return static_cast<int>(((p * (len - t) + q * t) / len) >> 8);
      };
      TColor col = RGB(mix(a.Red, b.Red), mix(a.Green, b.Green), mix(a.Blue, b.Blue));
      if (col != last) {
        last = col;
        lastRaw = RawPixelValue(bmp, col);
      }
      raw.push_back(lastRaw);
    }
    for (int y = part.Top; y < part.Bottom; ++y) {
      if (vertical) {
        w.SetRaw(raw[static_cast<size_t>(y - from)]);
        w.Span(y, part.Left, part.Right);
        continue;
      }
      // Runs of equal colour at once.
      for (int x = part.Left; x < part.Right;) {
        int e = x + 1;
        while (e < part.Right && raw[static_cast<size_t>(e - from)] == raw[static_cast<size_t>(x - from)])
          ++e;
        w.SetRaw(raw[static_cast<size_t>(x - from)]);
        w.Span(y, x, e);
        x = e;
      }
    }
  }
  return true;
}

}  // namespace redozir
