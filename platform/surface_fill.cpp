#include "platform/surface_fill.h"

#include <cstring>

namespace redozir {

void FillSurfaceRect(TBitmap* surface, const TRect& r, TColor color, const TRect* clip) {
  if (!surface || surface->BitCount() != 32) return;
  TRect area;
  if (!IntersectRect(area, r, Rect(0, 0, surface->Width(), surface->Height()))) return;
  if (clip && !IntersectRect(area, area, *clip)) return;
  TColor c = ColorToRGB(color);
  const std::uint8_t px[4] = {static_cast<std::uint8_t>(GetBValue(c)),
                              static_cast<std::uint8_t>(GetGValue(c)),
                              static_cast<std::uint8_t>(GetRValue(c)), 255};
  for (int y = area.Top; y < area.Bottom; ++y) {
    std::uint8_t* row = surface->ScanLine(y) + area.Left * 4;
    for (int x = area.Left; x < area.Right; ++x, row += 4) std::memcpy(row, px, 4);
  }
}

void FrameSurfaceRect(TBitmap* surface, const TRect& r, TColor topLeft, TColor bottomRight,
                      const TRect* clip) {
  if (r.IsEmpty()) return;
  FillSurfaceRect(surface, Rect(r.Left, r.Top, r.Right, r.Top + 1), topLeft, clip);
  FillSurfaceRect(surface, Rect(r.Left, r.Top, r.Left + 1, r.Bottom), topLeft, clip);
  FillSurfaceRect(surface, Rect(r.Left, r.Bottom - 1, r.Right, r.Bottom), bottomRight, clip);
  FillSurfaceRect(surface, Rect(r.Right - 1, r.Top, r.Right, r.Bottom), bottomRight, clip);
}

}  // namespace redozir
