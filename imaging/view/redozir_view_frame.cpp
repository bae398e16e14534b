// TRedozIrView's frame kept across a scroll: each composition of the back
// buffer records its steps (the background, each layer's rectangle rendered
// somewhere); after a move of the origin the composition is first only
// planned, and when its steps are the last frame's each moved by the same
// whole pixels, the back buffer's pixels are moved by as much and only the
// strips the scroll uncovered are composed. The renderer computes a pixel
// from its place inside the destination rectangle alone and the background
// kept is one colour, so the moved pixels are those a whole composition
// would give.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"

namespace redozir {

namespace {
// Runs a clean-up when the scope ends, thrown out of or not.
template <class F>
struct TAtExit {
  F Run;
  ~TAtExit() { Run(); }
};
template <class F>
TAtExit(F) -> TAtExit<F>;

// The last frame's pixels moved by DX, DY inside B (what leaves it is lost).
void MovePixels(TIEBitmap* B, int DX, int DY) {
  const int w = B->Width(), h = B->Height();
  const int x0 = std::max(0, DX), x1 = std::min(w, w + DX);
  const std::size_t bytes = 3 * static_cast<std::size_t>(x1 - x0);
  auto move = [&](int y) {
    std::memmove(B->GetScanline(y) + 3 * static_cast<std::size_t>(x0),
                 B->GetScanline(y - DY) + 3 * static_cast<std::size_t>(x0 - DX), bytes);
  };
  // Rows are taken before they are overwritten.
  if (DY > 0)
    for (int y = h - 1; y >= DY; --y) move(y);
  else
    for (int y = 0; y < h + DY; ++y) move(y);
}
}  // namespace

bool TRedozIrView::KeepNoFrame() {
  if (fRecording) fRecording->Movable = false;
  return !fPlanning;
}

void TRedozIrView::RecordLayerStep(TIELayer* L, TIEBitmap* B, const TRect& Dst, const TRect& Src,
                                   TResampleFilter Filter, bool SolidHint) {
  if (!fRecording) return;
  const TIEBitmap* alpha = B->HasAlphaChannel() ? B->GetAlphaChannel() : nullptr;
  TFrameStep s;
  s.Layer = L;
  s.Bitmap = B;
  s.Alpha = alpha;
  // A turned layer draws its turned copy, made anew for another angle.
  s.Values = {B->Width(),       B->Height(),
              B->PixelFormat(), alpha ? alpha->Full() : 2,
              Src.Left,         Src.Top,
              Src.Width(),      Src.Height(),
              Dst.Width(),      Dst.Height(),
              Filter,           L->Transparency,
              L->Operation,     EnableAlphaChannel(),
              SolidHint,        std::bit_cast<std::int64_t>(L->GetRotate())};
  s.Dst = Dst;
  fRecording->Steps.push_back(s);
}

void TRedozIrView::RecordBackgroundStep() {
  if (!fRecording) return;
  // Only a plain colour is the same wherever the frame moves; the patterns,
  // gradients, shadows and wallpaper stand still on the client.
  if (OnDrawBackground || fBackgroundStyle != iebsSolid || (fWallPaper && !fWallPaper->Empty())) {
    KeepNoFrame();
    return;
  }
  TFrameStep s;
  s.Values[0] = ColorToRGB(Background());
  fRecording->Steps.push_back(s);
}

void TRedozIrView::ComposeFrame() {
  TFrame frame;
  // What the program draws over the frame would move with it.
  frame.Movable = !OnDrawBackBuffer;
  fFrame.Movable = false;
  TAtExit done{[this] { fRecording = nullptr; }};
  fRecording = &frame;
  PaintLayersToBackBuffer(fBackBuffer.get(), nullptr, true, true);
  fFrame = std::move(frame);
}

bool TRedozIrView::ComposeMovedFrame() {
  if (!fFrame.Movable || OnDrawBackBuffer) return false;
  TFrame next;
  next.Movable = true;
  {
    TAtExit done{[this] {
      fRecording = nullptr;
      fPlanning = false;
    }};
    fRecording = &next;
    fPlanning = true;
    PaintLayersToBackBuffer(fBackBuffer.get(), nullptr, true, true);
  }
  if (!next.Movable || next.Steps.size() != fFrame.Steps.size()) return false;
  // The move every layer made, the same for all of them.
  std::int64_t dx = 0, dy = 0;
  bool placed = false;
  for (std::size_t k = 0; k < next.Steps.size(); ++k) {
    const TFrameStep &a = fFrame.Steps[k], &b = next.Steps[k];
    if (a.Layer != b.Layer || a.Bitmap != b.Bitmap || a.Alpha != b.Alpha || a.Values != b.Values)
      return false;
    if (!b.Layer) continue;
    const std::int64_t mx = std::int64_t(b.Dst.Left) - a.Dst.Left, my = std::int64_t(b.Dst.Top) - a.Dst.Top;
    if (placed && (mx != dx || my != dy)) return false;
    dx = mx;
    dy = my;
    placed = true;
  }
  TIEBitmap* buffer = fBackBuffer.get();
  const int w = buffer->Width(), h = buffer->Height();
  if (std::abs(dx) >= w || std::abs(dy) >= h) return false;
  fFrame.Movable = false;
  MovePixels(buffer, static_cast<int>(dx), static_cast<int>(dy));
  // The columns beside what was kept, then the rows above and below it.
  const int kx0 = static_cast<int>(std::max<std::int64_t>(0, dx)),
            kx1 = static_cast<int>(std::min<std::int64_t>(w, w + dx));
  const int ky0 = static_cast<int>(std::max<std::int64_t>(0, dy)),
            ky1 = static_cast<int>(std::min<std::int64_t>(h, h + dy));
  const TRect strips[4] = {{0, 0, kx0, h}, {kx1, 0, w, h}, {kx0, 0, kx1, ky0}, {kx0, ky1, kx1, h}};
  for (const TRect& r : strips)
    if (!r.IsEmpty()) PaintLayersToBackBuffer(buffer, &r, true, true);
  fFrame = std::move(next);
  ++fKeptFrames;
  return true;
}

}  // namespace redozir
