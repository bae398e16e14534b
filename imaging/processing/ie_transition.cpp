// TIETransitionEffects: starting and stopping, the timer's tick with its
// timing curves, the thirty effects the engine draws on raw rows and
// through blits, and the pan-and-zoom.
#include "imaging/processing/ie_transition.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "imaging/core/iebitmap.h"
#include "imaging/core/iebitmap_render.h"
#include "imaging/processing/transition_random.h"
#include "platform/exceptions.h"
#include "platform/numeric.h"
#include "platform/timers.h"

namespace redozir {

namespace {
std::unique_ptr<TBitmap> OnePixel() { return std::make_unique<TBitmap>(1, 1, pf24bit); }

std::unique_ptr<TBitmap> Copy24(const TBitmap& src) {
  auto b = std::make_unique<TBitmap>();
  b->Assign(src);
  b->SetPixelFormat(pf24bit);
  return b;
}

std::vector<std::uint8_t*> RowsOf(TBitmap& b) {
  std::vector<std::uint8_t*> rows(static_cast<size_t>(b.Height()));
  for (int y = 0; y < b.Height(); ++y) rows[static_cast<size_t>(y)] = b.ScanLine(y);
  return rows;
}

[[noreturn]] void NoMemoryToStart(int Width, int Height) {
  throw EOutOfMemory("Not enough memory to start a transition of " + std::to_string(Width) + " x " +
                     std::to_string(Height) + " pixels");
}

// a x b shr 10, the product taken in 64 bits so wide frames cannot wrap.
int Shr10(int a, int b) { return static_cast<int>((static_cast<std::int64_t>(a) * b) >> 10); }
}  // namespace

TIETransitionEffects::TIETransitionEffects(TIETransitionHost* Host)
    : StartImage(OnePixel()),
      TargetImage(OnePixel()),
      FrameImage(OnePixel()),
      View(Host),
      Timer(std::make_unique<TTimer>(nullptr)) {
  Timer->SetEnabled(false);
  Timer->SetInterval(1);
  Timer->SetOnTimer([this](TObject*) { TimerTick(); });
}

TIETransitionEffects::~TIETransitionEffects() {
  *fAlive = false;
  // A transition cut short by its engine's end leaves the host paintable.
  if (Running && View) View->TransitionUnlockPaint();
}

TObject* TIETransitionEffects::Sender() const { return View ? View->TransitionSender() : nullptr; }

void TIETransitionEffects::Start(const TBitmap& StartPicture, const TBitmap& TargetPicture, int AEffect,
                                 std::uint32_t ADuration, std::uint8_t ATiming, bool AFinishWithTarget) {
  if (AEffect < 1 || AEffect > kTransitionEffectCount)
    throw ERangeError("Transition effect " + std::to_string(AEffect) + " is not one of 1.." +
                      std::to_string(kTransitionEffectCount));
  if (ATiming > iettLogarithmic)
    throw ERangeError("Transition timing " + std::to_string(ATiming) + " is unknown");
  if (StartPicture.Empty() || TargetPicture.Empty()) throw EInvalidGraphic("Transition picture is empty");
  if (StartPicture.Width() != TargetPicture.Width() || StartPicture.Height() != TargetPicture.Height())
    throw EInvalidGraphic("Transition pictures differ in size: " + std::to_string(StartPicture.Width()) +
                          " x " + std::to_string(StartPicture.Height()) + " and " +
                          std::to_string(TargetPicture.Width()) + " x " +
                          std::to_string(TargetPicture.Height()));
  std::unique_ptr<TBitmap> a, b, f;
  try {
    a = Copy24(StartPicture);
    b = Copy24(TargetPicture);
    f = std::make_unique<TBitmap>(a->Width(), a->Height(), pf24bit);
  } catch (const std::bad_alloc&) {
    NoMemoryToStart(StartPicture.Width(), StartPicture.Height());
  }
  Begin(std::move(a), std::move(b), std::move(f), nullptr, AEffect, ADuration, ATiming, AFinishWithTarget);
}

void TIETransitionEffects::StartPanZoom(TIEBitmap* Source, const TRect& AStart, const TRect& AEnd,
                                        std::uint32_t ADuration, std::uint8_t ATiming,
                                        bool AFinishWithTarget) {
  if (ATiming > iettLogarithmic)
    throw ERangeError("Transition timing " + std::to_string(ATiming) + " is unknown");
  if (!Source || Source->Width() <= 0 || Source->Height() <= 0)
    throw EInvalidGraphic("Pan and zoom needs a source picture");
  const int w = View ? View->TransitionClientWidth() : 0, h = View ? View->TransitionClientHeight() : 0;
  if (w <= 0 || h <= 0) throw EInvalidGraphic("Pan and zoom has no area to show the picture in");
  std::unique_ptr<TBitmap> a, b, f;
  try {
    a = std::make_unique<TBitmap>(w, h, pf24bit);
    b = std::make_unique<TBitmap>(w, h, pf24bit);
    f = std::make_unique<TBitmap>(w, h, pf24bit);
  } catch (const std::bad_alloc&) {
    NoMemoryToStart(w, h);
  }
  Begin(std::move(a), std::move(b), std::move(f), Source, kPanZoomEffect, ADuration, ATiming,
        AFinishWithTarget);
  PanZoomStart = AStart;
  PanZoomEnd = AEnd;
}

void TIETransitionEffects::Begin(std::unique_ptr<TBitmap> AStart, std::unique_ptr<TBitmap> ATarget,
                                 std::unique_ptr<TBitmap> AFrame, TIEBitmap* APanZoomSource, int AEffect,
                                 std::uint32_t ADuration, std::uint8_t ATiming, bool AFinishWithTarget) {
  // Everything that can fail comes before the engine changes.
  std::vector<std::uint8_t*> startRows, targetRows, frameRows;
  try {
    startRows = RowsOf(*AStart);
    targetRows = RowsOf(*ATarget);
    frameRows = RowsOf(*AFrame);
  } catch (const std::bad_alloc&) {
    NoMemoryToStart(AFrame->Width(), AFrame->Height());
  }
  Timer->SetEnabled(false);
  StartImage = std::move(AStart);
  TargetImage = std::move(ATarget);
  FrameImage = std::move(AFrame);
  StartRows.swap(startRows);
  TargetRows.swap(targetRows);
  FrameRows.swap(frameRows);
  PanZoomSource = APanZoomSource;
  Width = FrameImage->Width();
  Height = FrameImage->Height();
  Effect = static_cast<std::uint8_t>(AEffect);
  Duration = ADuration;
  Timing = ATiming;
  FinishWithTarget = AFinishWithTarget;
  Step = 0;
  RandomCount = 0;
  // A replaced transition hands its paint lock on.
  if (!Running && View) View->TransitionLockPaint();
  StartTick = GetTickCount();
  Running = true;
  ++fRun;
  Timer->SetEnabled(true);
}

void TIETransitionEffects::Stop() {
  if (!Running || Effect == 0) return;
  Timer->SetEnabled(false);
  Running = false;
  ++fRun;
  FrameImage->SetSize(1, 1);
  StartImage->SetSize(1, 1);
  TargetImage->SetSize(1, 1);
  // The rows went with the pixels.
  StartRows.clear();
  TargetRows.clear();
  FrameRows.clear();
  if (View) {
    View->TransitionUnlockPaint();
    if (FinishWithTarget) View->TransitionUpdate();
  }
  if (OnTransitionStop) OnTransitionStop(Sender());
}

int TIETransitionEffects::NextStep(double x, std::uint8_t Timing) {
  double v;
  switch (Timing) {
    case iettExponential: v = std::exp(5 * x - 2.718) / 10 * 1024; break;
    case iettLogarithmic: v = (std::log(10 * x) + 2.718) / 5 * 1024; break;
    default: v = x * 1024;
  }
  // The logarithm runs below 0 near the start, the curves past 1024 at the end.
  if (!(v > 0)) return 0;
  if (v >= 1024) return 1024;
  return static_cast<int>(v);
}

void TIETransitionEffects::TimerTick() {
  if (!Running) return;
  // A callback may stop, restart or free the engine (closing the window
  // when its transition ends frees the view and the engine with it): the
  // tick then leaves what is there alone.
  const std::shared_ptr<bool> alive = fAlive;
  const std::uint64_t run = fRun;
  auto leave = [&] { return !*alive || run != fRun; };
  if (OnTransitionStep) {
    OnTransitionStep(Sender(), Step);
    if (leave()) return;
  }
  const int s = std::clamp(Step, 0, 1024);
  DrawFrame(s);
  TCanvas* shown = View ? View->TransitionCanvas() : nullptr;
  if (shown) BitBlt(shown, 0, 0, Width, Height, FrameImage->Canvas(), 0, 0, SRCCOPY);
  if (OnTransitionPaint) {
    OnTransitionPaint(Sender(), FrameImage.get(), this, s);
    if (leave()) return;
  }
  const std::uint32_t elapsed = GetTickCount() - StartTick;
  if (elapsed >= Duration) {
    if (FinishWithTarget && Effect != kPanZoomEffect) {
      if (shown) BitBlt(shown, 0, 0, Width, Height, TargetImage->Canvas(), 0, 0, SRCCOPY);
      if (OnTransitionPaint) {
        OnTransitionPaint(Sender(), TargetImage.get(), this, 1024);
        if (leave()) return;
      }
    }
    Stop();
    // Freed, or restarted from the stop event (the new transition keeps its
    // own step).
    if (!*alive || Running) return;
  }
  Step = NextStep(Duration == 0 ? 1.0 : static_cast<double>(elapsed) / Duration, Timing);
}

void TIETransitionEffects::DrawFrame(int s) {
  if (!Running) return;
  s = std::clamp(s, 0, 1024);
  if (Effect <= 30)
    DrawBuiltIn(s);
  else if (Effect == kPanZoomEffect)
    DrawPanZoom(s);
  else
    DrawTableEffect(s);
}

void TIETransitionEffects::DrawTableEffect(int s) {
  if (s == 0) {
    std::memcpy(FrameImage->Bits(), StartImage->Bits(), static_cast<size_t>(FrameImage->ImageSize()));
    return;
  }
  IEDrawTableEffect(*FrameImage, *StartImage, *TargetImage, Effect, RoundInt(s / 1024.0 * 100));
}

void TIETransitionEffects::DrawBuiltIn(int s) {
  const int W = Width, H = Height, t = 1024 - s;
  const size_t rowBytes = static_cast<size_t>(W) * 3;
  TCanvas* c = FrameImage->Canvas();
  auto drawStartAtZero = [&] {
    if (s == 0) c->Draw(0, 0, *StartImage);
  };
  // copy X's rectangle (x, y, w, h) to the same place of the frame
  auto copy = [&](TBitmap& X, int x, int y, int w, int h) {
    if (w > 0 && h > 0) BitBlt(c, x, y, w, h, X.Canvas(), x, y, SRCCOPY);
  };
  auto redLine = [&](bool draw, int x1, int y1, int x2, int y2) {
    if (!draw) return;
    c->Pen.Color = clRed;
    c->MoveTo(x1, y1);
    c->LineTo(x2, y2);
  };
  // F = (X x (1024 - k) + Y x k) shr 10 per byte; a null table is a row of
  // the view's background colour.
  std::vector<std::uint8_t> background;
  auto rowOf = [&](const std::vector<std::uint8_t*>* rows, int y) -> const std::uint8_t* {
    if (rows) return (*rows)[static_cast<size_t>(y)];
    if (background.empty()) {
      const TColor bg = ColorToRGB(View ? View->TransitionBackground() : clBlack);
      background.resize(rowBytes);
      for (size_t i = 0; i < rowBytes; i += 3) {
        background[i] = static_cast<std::uint8_t>(GetBValue(bg));
        background[i + 1] = static_cast<std::uint8_t>(GetGValue(bg));
        background[i + 2] = static_cast<std::uint8_t>(GetRValue(bg));
      }
    }
    return background.data();
  };
  auto blend = [&](const std::vector<std::uint8_t*>* X, const std::vector<std::uint8_t*>* Y, int k) {
    const std::uint32_t kx = static_cast<std::uint32_t>(1024 - k), ky = static_cast<std::uint32_t>(k);
    for (int y = 0; y < H; ++y) {
      const std::uint8_t *px = rowOf(X, y), *py = rowOf(Y, y);
      std::uint8_t* pf = FrameRows[static_cast<size_t>(y)];
      for (size_t i = 0; i < rowBytes; ++i)
        pf[i] = static_cast<std::uint8_t>((px[i] * kx + py[i] * ky) >> 10);
    }
  };
  // Each row: F[0, x) from X's columns [x0, x0 + x), F[x, W) from Y's
  // columns [y0, y0 + W - x).
  auto rowSplit = [&](const std::vector<std::uint8_t*>& X, int x0, const std::vector<std::uint8_t*>& Y,
                      int y0, int x) {
    for (int y = 0; y < H; ++y) {
      std::uint8_t* pf = FrameRows[static_cast<size_t>(y)];
      std::memcpy(pf, X[static_cast<size_t>(y)] + static_cast<size_t>(x0) * 3, static_cast<size_t>(x) * 3);
      std::memcpy(pf + static_cast<size_t>(x) * 3, Y[static_cast<size_t>(y)] + static_cast<size_t>(y0) * 3,
                  static_cast<size_t>(W - x) * 3);
    }
  };
  // Rows [0, h) of F from X's rows [x0, x0 + h), rows [h, H) from Y's rows
  // [y0, y0 + H - h).
  auto rowBlocks = [&](const std::vector<std::uint8_t*>& X, int x0, const std::vector<std::uint8_t*>& Y,
                       int y0, int h) {
    for (int y = 0; y < H; ++y) {
      const std::uint8_t* src = y < h ? X[static_cast<size_t>(x0 + y)] : Y[static_cast<size_t>(y0 + y - h)];
      std::memcpy(FrameRows[static_cast<size_t>(y)], src, rowBytes);
    }
  };
  const bool line = Effect % 2 == 0;
  switch (Effect) {
    case 1: blend(&StartRows, &TargetRows, s); break;
    case 2: blend(&StartRows, nullptr, s); break;
    case 3: blend(nullptr, &TargetRows, s); break;
    case 4:
      if (s < 512)
        blend(&StartRows, nullptr, 2 * s);
      else
        blend(nullptr, &TargetRows, 2 * (s - 512));
      break;
    case 5:
    case 6: {
      drawStartAtZero();
      const int x = Shr10(s, W);
      copy(*TargetImage, 0, 0, x, H);
      redLine(line, x, 0, x, H);
      break;
    }
    case 7:
    case 8: {
      drawStartAtZero();
      const int x = RoundInt(t * static_cast<double>(W) / 1024),
                w = RoundInt(s * static_cast<double>(W) / 1024);
      copy(*TargetImage, x, 0, w, H);
      redLine(line, x, 0, x, H);
      break;
    }
    case 9:
    case 10: {
      drawStartAtZero();
      const int h = RoundInt(static_cast<double>(H) * s / 1024);
      copy(*TargetImage, 0, 0, W, h);
      redLine(line, 0, h, W, h);
      break;
    }
    case 11:
    case 12: {
      drawStartAtZero();
      const int y = RoundInt(t * static_cast<double>(H) / 1024),
                h = RoundInt(s * static_cast<double>(H) / 1024);
      copy(*TargetImage, 0, y, W, h);
      redLine(line, 0, y, W, y);
      break;
    }
    case 13:
    case 14:
    case 15:
    case 16: {
      drawStartAtZero();
      const int dx = Shr10(t, W), dy = Shr10(t, H);
      c->Draw(Effect == 14 || Effect == 16 ? dx : -dx, Effect >= 15 ? dy : -dy, *TargetImage);
      break;
    }
    case 17: rowSplit(TargetRows, W - Shr10(s, W), StartRows, 0, Shr10(s, W)); break;
    case 18: rowSplit(TargetRows, 0, StartRows, 0, Shr10(s, W)); break;
    case 19: rowSplit(StartRows, W - Shr10(t, W), TargetRows, 0, Shr10(t, W)); break;
    case 20: rowSplit(StartRows, 0, TargetRows, 0, Shr10(t, W)); break;
    case 21: rowBlocks(TargetRows, H - Shr10(s, H), StartRows, 0, Shr10(s, H)); break;
    case 22: rowBlocks(TargetRows, 0, StartRows, 0, Shr10(s, H)); break;
    case 23: rowBlocks(StartRows, H - Shr10(t, H), TargetRows, 0, Shr10(t, H)); break;
    case 24: rowBlocks(StartRows, H - Shr10(t, H), TargetRows, Shr10(t, H), Shr10(t, H)); break;
    case 25: {
      if (s == 0) {
        std::memcpy(FrameImage->Bits(), StartImage->Bits(), static_cast<size_t>(FrameImage->ImageSize()));
        break;
      }
      const int n = static_cast<int>(Round(W * static_cast<double>(s) * (s / 180.0) / 1024));
      const int d = n - RandomCount;
      RandomCount = n;
      for (int y = 0; y < H; ++y)
        for (int k = 0; k < d; ++k) {
          const size_t x = static_cast<size_t>(IERandom(W)) * 3;
          std::memcpy(FrameRows[static_cast<size_t>(y)] + x, TargetRows[static_cast<size_t>(y)] + x, 3);
        }
      break;
    }
    case 26: {
      if (s == 0) {
        c->Draw(0, 0, *StartImage);
        break;
      }
      const std::int64_t cells = static_cast<std::int64_t>(W) * H / 64;
      const int n = static_cast<int>(Round(static_cast<double>(cells) * s * (s / 180.0) / 1024));
      const int d = n - RandomCount;
      RandomCount = n;
      // Each 8 x 8 box (cut at the right and bottom edges) row by row.
      for (int k = 0; k < d; ++k) {
        const int x = IERandom(W) & ~7, y = IERandom(H) & ~7;
        const size_t bytes = static_cast<size_t>(std::min(8, W - x)) * 3, at = static_cast<size_t>(x) * 3;
        for (int r = y; r < std::min(y + 8, H); ++r)
          std::memcpy(FrameRows[static_cast<size_t>(r)] + at, TargetRows[static_cast<size_t>(r)] + at, bytes);
      }
      break;
    }
    case 27:
    case 28:
    case 29:
    case 30: {
      // 27 and 29 grow the target over the start, 28 and 30 shrink the
      // start over the target; 27 and 28 copy, 29 and 30 stretch.
      const bool in = Effect == 28 || Effect == 30;
      const int k = in ? t : s;
      if (in)
        c->Draw(0, 0, *TargetImage);
      else
        drawStartAtZero();
      TBitmap& X = in ? *StartImage : *TargetImage;
      const int w = Shr10(k, W), h = Shr10(k, H), x = W / 2 - Shr10(k, W / 2), y = H / 2 - Shr10(k, H / 2);
      if (Effect <= 28) {
        copy(X, x, y, w, h);
      } else if (w > 0 && h > 0) {
        SetStretchBltMode(c, HALFTONE);
        StretchBitmap(c, x, y, w, h, X, 0, 0, W, H, SRCCOPY);
      }
      break;
    }
    default: break;
  }
}

void TIETransitionEffects::DrawPanZoom(int s) {
  const int W = Width, H = Height;
  TCanvas* c = FrameImage->Canvas();
  auto at = [&](int S, int E) { return TruncInt(S - s * (static_cast<double>(S) - E) / 1024); };
  const TRect want{at(PanZoomStart.Left, PanZoomEnd.Left), at(PanZoomStart.Top, PanZoomEnd.Top),
                   at(PanZoomStart.Right, PanZoomEnd.Right), at(PanZoomStart.Bottom, PanZoomEnd.Bottom)};
  // The source rectangle is clipped on every side to the picture; a
  // picture gone empty shows the background alone.
  const int sw = PanZoomSource ? PanZoomSource->Width() : 0, sh = PanZoomSource ? PanZoomSource->Height() : 0;
  TRect src;
  const bool any = IntersectRect(src, want, {0, 0, sw, sh});
  TRect dst{0, 0, W, H};
  if (!any || src != want) {
    if (View) {
      View->TransitionPaintBackground(c, W, H);
    } else {
      c->Brush.Color = clBlack;
      c->Brush.Style = bsSolid;
      c->FillRect(dst);
    }
    if (!any) return;
    // The part that is left keeps its aspect, centred.
    const double w = src.Width(), h = src.Height();
    const double factor = w / W > h / H ? W / w : H / h;
    const int fw = RoundInt(w * factor), fh = RoundInt(h * factor);
    const int x = TruncInt(W / 2.0 - fw / 2.0), y = TruncInt(H / 2.0 - fh / 2.0);
    dst = {x, y, x + fw, y + fh};
  }
  std::unique_ptr<TIERenderCaches> caches;
  PanZoomSource->RenderToTBitmapEx(FrameImage.get(), caches, nullptr, dst.Left, dst.Top, dst.Width(),
                                   dst.Height(), src.Left, src.Top, src.Width(), src.Height(), false, false,
                                   255, rfNone, true, 0);
}

}  // namespace redozir
