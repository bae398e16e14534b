// The effect table and the frame procedures of effects 31 to 187. Geometry is
// in pixels of the frame; integer division truncates, MulDiv rounds halves
// away from zero. Where an effect splits the frame in halves or quarters, the
// second part takes what the first leaves (W - W div 2), so that odd sizes
// are covered whole.
#include "imaging/processing/transition_effects.h"

#include <cmath>
#include <initializer_list>
#include <numbers>
#include <optional>
#include <vector>

#include "imaging/processing/transition_random.h"
#include "imaging/processing/transition_regions.h"
#include "platform/numeric.h"

namespace redozir {

namespace {

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const long long p = static_cast<long long>(a) * b, d = c;
  const long long q = (std::llabs(p) * 2 + std::llabs(d)) / (2 * std::llabs(d));
  return static_cast<int>((p < 0) != (d < 0) ? -q : q);
}

constexpr double kPi = std::numbers::pi;

// One call of an effect: the bitmaps, the frame's sizes and the progress
// rectangle, and the ways the effects draw.
struct TFx {
  TCanvas* C;
  TBitmap* A;
  TBitmap* B;
  int Scale, P;
  int W = 0, H = 0, SW = 0, SH = 0, CX = 0, CY = 0;

  TFx(TCanvas* c, TBitmap* a, TBitmap* b, const TRect& r, int scale, int p)
      : C(c), A(a), B(b), Scale(scale), P(p) {
    IEProgressSize(r, p, W, H, SW, SH);
    CX = W / 2;
    CY = H / 2;
  }
  // copy B(x0, y0) -> (x, y, w, h)
  void Copy(int x0, int y0, int x, int y, int w, int h) const {
    if (w > 0 && h > 0) BitBlt(C, x, y, w, h, B->Canvas(), x0, y0, SRCCOPY);
  }
  // The same within the frame (the overlap is read from a snapshot).
  void CopyFrame(int x0, int y0, int x, int y, int w, int h) const {
    if (w > 0 && h > 0) BitBlt(C, x, y, w, h, C, x0, y0, SRCCOPY);
  }
  // stretch X(x0, y0, w0, h0) -> (x, y, w, h) under the canvas's stretch mode.
  void StretchFrom(TBitmap* X, int x0, int y0, int w0, int h0, int x, int y, int w, int h) const {
    if (w > 0 && h > 0 && w0 > 0 && h0 > 0) StretchBitmap(C, x, y, w, h, *X, x0, y0, w0, h0, SRCCOPY);
  }
  void Stretch(int x0, int y0, int w0, int h0, int x, int y, int w, int h) const {
    StretchFrom(B, x0, y0, w0, h0, x, y, w, h);
  }
  void StretchFrame(int x0, int y0, int w0, int h0, int x, int y, int w, int h) const {
    if (w > 0 && h > 0 && w0 > 0 && h0 > 0) StretchBlt(C, x, y, w, h, C, x0, y0, w0, h0, SRCCOPY);
  }
  // All of B through the region; nothing without one.
  void Through(const std::optional<TRegion>& rgn) const {
    if (!rgn) return;
    C->SetClipRegion(&*rgn);
    BitBlt(C, 0, 0, W, H, B->Canvas(), 0, 0, SRCCOPY);
    C->SetClipRegion(nullptr);
  }
  TRegion Frame() const { return TRegion::FromRect({0, 0, W, H}); }
};

TRegion Poly(std::initializer_list<TPoint> pts) {
  return TRegion::FromPolygon(pts.begin(), static_cast<int>(pts.size()), WINDING);
}
TRegion Tri(int x1, int y1, int x2, int y2, int x3, int y3) { return Poly({{x1, y1}, {x2, y2}, {x3, y3}}); }
TRegion Diamond(int l, int cy, int cx, int t, int r, int b) {
  return Poly({{l, cy}, {cx, t}, {r, cy}, {cx, b}});
}
TRegion Or(const TRegion& a, const TRegion& b) { return TRegion::Combine(a, b, RGN_OR); }
TRegion Xor(const TRegion& a, const TRegion& b) { return TRegion::Combine(a, b, RGN_XOR); }

// An effect body run with the call's TFx.
template <auto Body>
void E(TCanvas* Canvas, TBitmap* Prev, TBitmap* Next, const TRect& Rect, int Scale, int Progress) {
  TFx f(Canvas, Prev, Next, Rect, Scale, Progress);
  Body(f);
}

// X = XM x SW and Y = YM x SH drive the bars, shreds and speckles.
template <int XM, int YM, int VMode, int HMode>
void Bars(TCanvas* Canvas, TBitmap* Prev, TBitmap* Next, const TRect& Rect, int Scale, int Progress) {
  TFx f(Canvas, Prev, Next, Rect, Scale, Progress);
  f.Through(IEBarsRegion(XM * f.SW, YM * f.SH, f.W, f.H, VMode, HMode));
}
template <int XM, int YM, int VMode, int HMode>
void Shreds(TCanvas* Canvas, TBitmap* Prev, TBitmap* Next, const TRect& Rect, int Scale, int Progress) {
  TFx f(Canvas, Prev, Next, Rect, Scale, Progress);
  f.Through(IEShreddedRegion(XM * f.SW, YM * f.SH, f.W, f.H, VMode, HMode));
}
template <int VMode, int HMode>
void Speckles(TCanvas* Canvas, TBitmap* Prev, TBitmap* Next, const TRect& Rect, int Scale, int Progress) {
  TFx f(Canvas, Prev, Next, Rect, Scale, Progress);
  f.Through(IESpeckledRegion(f.SW, f.SH, f.W, f.H, VMode, HMode));
}

// Unrolling: the strip [e, e + d) beyond the edge e shows B's next d columns
// (rows when Vertical) mirrored; B up to the edge is copied. FromEnd rolls
// from the right or bottom.
void Unroll(const TFx& f, bool FromEnd, bool Vertical) {
  const int len = Vertical ? f.H : f.W, s = Vertical ? f.SH : f.SW, fifth = len / 5, tenth = len / 10;
  auto rect = [&](int a, int b) { return Vertical ? TRect{0, a, f.W, b} : TRect{a, 0, b, f.H}; };
  TRect done;
  if (!FromEnd) {
    const int d = s < fifth ? s / 2 : (s + fifth <= len ? tenth : (len - s) / 2);
    IEMirrorStretch(f.C, rect(s, s + d), f.B, rect(s + d, s + 2 * d), !Vertical, Vertical);
    done = rect(0, s);
  } else {
    const int e = len - s, d = s < fifth ? s / 2 : (fifth > e ? e / 2 : tenth);
    IEMirrorStretch(f.C, rect(e - d, e), f.B, rect(e - 2 * d, e - d), !Vertical, Vertical);
    done = rect(e, len);
  }
  if (!done.IsEmpty()) f.C->CopyRect(done, *f.B->Canvas(), done);
}

// Uneven blinds: every SW pixels (SH when Rows) a strip MulDiv(SW, P, 100)
// wide grows from the left (top), or from the right (bottom) when FromEnd;
// Crossed adds bars of the side's twentieth across them, every third one.
// Nothing while the step is 0.
void Blinds(const TFx& f, bool Rows, bool FromEnd, bool Crossed) {
  const int step = Rows ? f.SH : f.SW, len = Rows ? f.H : f.W, across = Rows ? f.W : f.H, b = across / 20;
  if (step <= 0 || (Crossed && b <= 0)) return;
  TComplexRegion r;
  auto strip = [&](bool row, int a, int c) {
    if (row)
      r.AddRect(0, a, f.W, c);
    else
      r.AddRect(a, 0, c, f.H);
  };
  if (Crossed) {
    const int gb = MulDiv(b, f.P, 100);
    for (int y = -b; y < across; y += 3 * b) strip(!Rows, y - gb, y + gb);
  }
  const int g = MulDiv(step, f.P, 100);
  if (!FromEnd) {
    for (int x = 0; x < len; x += step) strip(Rows, x, x + g);
  } else {
    for (int x = len; 0 < x; x -= step) strip(Rows, x - g, x);
  }
  f.Through(r.CreateRegion());
}

// The rectangle of SW x SH about the centre, turned by Angle about (X, Y).
void TurnedRect(const TFx& f, int X, int Y, double Angle) {
  const int l = f.CX - f.SW / 2, t = f.CY - f.SH / 2, r = f.CX + (f.SW - f.SW / 2),
            b = f.CY + (f.SH - f.SH / 2);
  TPoint p[] = {{l, t}, {r, t}, {r, b}, {l, b}};
  IERotatePointsRad(p, 3, X, Y, Angle);
  f.Through(IEPolygonRegion(p, 4));
}

void Star(const TFx& f, double Angle) {
  const int cx = f.CX, cy = f.CY, sw = f.SW, sh = f.SH, sw2 = sw - sw / 2, sh2 = sh - sh / 2;
  TPoint p[] = {{cx - 2 * sw, cy}, {cx - sw / 2, cy - sh / 2}, {cx, cy - 2 * sh}, {cx + sw2, cy - sh / 2},
                {cx + 2 * sw, cy}, {cx + sw2, cy + sh2},       {cx, cy + 2 * sh}, {cx - sw / 2, cy + sh2}};
  IERotatePointsRad(p, 7, cx, cy, Angle);
  f.Through(IEPolygonRegion(p, 8));
}

// A 24-point zigzag band about the centre line, across the frame.
void Zigzag(const TFx& f, bool Vertical) {
  const int a = (Vertical ? f.W : f.H) / 10, step = (Vertical ? f.H : f.W) / 10;
  const int o = MulDiv(a, f.P, 100) + (Vertical ? f.SW : f.SH) / 2, c = Vertical ? f.CX : f.CY;
  TPoint p[24];
  for (int i = 0; i < 12; ++i) {
    const int near = i % 2 == 0 ? c + a - o : c - a - o, far = i % 2 == 0 ? c + a + o : c - a + o;
    p[i] = Vertical ? TPoint{near, i * step} : TPoint{i * step, near};
    p[23 - i] = Vertical ? TPoint{far, i * step} : TPoint{i * step, far};
  }
  f.Through(IEPolygonRegion(p, 24));
}

// Cell centres at odd multiples of cell while the cell before starts inside.
template <typename Fn>
void Cells(int cellX, int cellY, int limitX, int limitY, Fn fn) {
  for (int x = cellX; x - cellX < limitX; x += 2 * cellX)
    for (int y = cellY; y - cellY < limitY; y += 2 * cellY) fn(x, y);
}

// Polygons that all turn the same way: their union is the winding fill of
// all of them at once, one scan instead of a union per shape.
class TPolygons {
 public:
  void Add(std::initializer_list<TPoint> pts) {
    fPoints.insert(fPoints.end(), pts);
    fCounts.push_back(static_cast<int>(pts.size()));
  }
  std::optional<TRegion> Union() const {
    if (fCounts.empty()) return std::nullopt;
    return TRegion::FromPolyPolygon(fPoints.data(), fCounts.data(), static_cast<int>(fCounts.size()),
                                    WINDING);
  }

 private:
  std::vector<TPoint> fPoints;
  std::vector<int> fCounts;
};

// The union of the regions, merged in pairs.
std::optional<TRegion> UnionAll(std::vector<TRegion> parts) {
  if (parts.empty()) return std::nullopt;
  while (parts.size() > 1) {
    std::vector<TRegion> next;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) next.push_back(Or(parts[i], parts[i + 1]));
    if (parts.size() % 2) next.push_back(std::move(parts.back()));
    parts = std::move(next);
  }
  return std::move(parts.front());
}

// A stable seed for "Random Big Boxes": the bitmap's size and a sample of its
// rows, so every frame of one transition draws the same boxes.
std::uint32_t StableId(const TBitmap& b) {
  std::uint32_t h = 2166136261u;
  auto mix = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) h = (h ^ ((v >> (8 * i)) & 0xFF)) * 16777619u;
  };
  mix(static_cast<std::uint32_t>(b.Width()));
  mix(static_cast<std::uint32_t>(b.Height()));
  constexpr int kRows = 16;
  const std::int64_t bytes = static_cast<std::int64_t>(b.Width()) * b.BitCount() / 8;
  for (int k = 0; k < kRows && b.Height() > 0; ++k) {
    const std::uint8_t* row =
        b.ScanLine(static_cast<int>(static_cast<std::int64_t>(k) * (b.Height() - 1) / (kRows - 1)));
    for (std::int64_t i = 0; i < bytes; ++i) h = (h ^ row[i]) * 16777619u;
  }
  return h;
}

void RandomBigBoxes(const TFx& f) {
  const std::uint32_t saved = IERandSeed;
  IERandSeed = StableId(*f.B);
  const int cell = std::min(f.W, f.H) / 20 + 1;
  TComplexRegion r;
  Cells(cell, cell, f.W, f.H, [&](int x, int y) {
    if (f.P > IERandom(100)) r.AddRect(x - cell, y - cell, x + cell, y + cell);
  });
  IERandSeed = saved;
  if (r.Count() > 0) f.Through(r.CreateRegion());
}

void PageFlip(const TFx& f, bool Line) {
  const int half = f.W / 2, rest = f.W - half;
  f.C->Pen.Color = clBlack;
  f.C->Pen.Width = 1;
  f.C->Pen.Style = psSolid;
  f.Stretch(half, 0, rest, f.H, half, 0, rest, f.H);
  int x;
  if (f.P > 50) {
    const int w = MulDiv(f.W, f.P - 50, 50) / 2;
    x = half - w;
    f.Stretch(0, 0, half, f.H, x, 0, w, f.H);
  } else {
    const int w = MulDiv(f.W, 50 - f.P, 100);
    x = half + w;
    f.StretchFrom(f.A, half, 0, rest, f.H, half, 0, w, f.H);
  }
  if (Line) {
    f.C->MoveTo(x, 0);
    f.C->LineTo(x, f.H);
  }
}

void TriangularWipe(const TFx& f) {
  int n = MulDiv(f.W >= f.H ? f.W : f.H, f.Scale, 90);
  n = n < 1 ? 1 : (n > 1 ? n / 2 : n);
  const int w = f.SW / n, h = f.SH / n, cw = f.W / n, ch = f.H / n;
  TPolygons t;
  for (int i = n; i >= 0; --i)
    for (int j = n; j >= 0; --j)
      t.Add({{j * cw - w, i * ch - h}, {j * cw + w, i * ch - h}, {j * cw - w, i * ch + h}});
  f.Through(t.Union());
}

// The four triangles that point at the centre from the middle of each side:
// w and h deep from the left and top, w2 and h2 from the right and bottom,
// which reach as far towards the centre.
TRegion SideArrows(const TFx& f, int w, int w2, int h, int h2) {
  const int W = f.W, H = f.H, CX = f.CX, CY = f.CY;
  return Or(Or(Tri(0, CY - h, w, CY, 0, CY + h2), Tri(W, CY - h, W - w2, CY, W, CY + h2)),
            Or(Tri(CX - w, 0, CX, h, CX + w2, 0), Tri(CX - w, H, CX, H - h2, CX + w2, H)));
}

// The frame less an inner shape that shrinks to nothing; a shape turned
// inside out (its far side before its near one, as odd sizes give at the
// end) is nothing.
std::optional<TRegion> FrameLess(const TFx& f, int l, int t, int r, int b, const TRegion& inner) {
  if (r <= l || b <= t) return f.Frame();
  return Xor(f.Frame(), inner);
}

}  // namespace

void IEProgressSize(const TRect& Rect, int Progress, int& W, int& H, int& SW, int& SH) {
  W = Rect.Right - Rect.Left;
  H = Rect.Bottom - Rect.Top;
  if (W >= H) {
    SW = MulDiv(W, Progress, 100);
    SH = MulDiv(SW, H, W);
  } else {
    SH = MulDiv(H, Progress, 100);
    SW = MulDiv(SH, W, H);
  }
}

void IEMirrorStretch(TCanvas* Canvas, const TRect& DstRect, TBitmap* Bitmap, TRect SrcRect,
                     bool FlipHorizontal, bool FlipVertical) {
  if (!Canvas || !Bitmap || DstRect.IsEmpty()) return;
  if (!IntersectRect(SrcRect, SrcRect, {0, 0, Bitmap->Width(), Bitmap->Height()})) return;
  // A negative extent runs back from the given corner: the picture lands
  // mirrored on exactly the destination rectangle.
  int x = DstRect.Left, y = DstRect.Top, w = DstRect.Width(), h = DstRect.Height();
  if (FlipHorizontal) {
    x = DstRect.Right - 1;
    w = -w;
  }
  if (FlipVertical) {
    y = DstRect.Bottom - 1;
    h = -h;
  }
  SetStretchBltMode(Canvas, HALFTONE);
  StretchBitmap(Canvas, x, y, w, h, *Bitmap, SrcRect.Left, SrcRect.Top, SrcRect.Width(), SrcRect.Height(),
                SRCCOPY);
}

void IERotatePointsRad(TPoint* Points, int High, int CX, int CY, double Angle) {
  if (!Points) return;
  const double c = std::cos(Angle), s = std::sin(Angle);
  for (int i = 0; i <= High; ++i) {
    const double dx = static_cast<double>(Points[i].X) - CX, dy = static_cast<double>(Points[i].Y) - CY;
    Points[i].X = RoundInt(dx * c - dy * s) + CX;
    Points[i].Y = RoundInt(dx * s + dy * c) + CY;
  }
}

bool IEDrawTableEffect(TBitmap& Frame, TBitmap& Start, TBitmap& Target, int Effect, int Progress) {
  if (Effect < 1 || Effect > kTransitionEffectCount) return false;
  const TIETransitionProc proc = TransitionEffectTable[Effect - 1].Proc;
  if (!proc) return false;
  TCanvas* c = Frame.Canvas();
  SetStretchBltMode(c, HALFTONE);
  proc(c, &Start, &Target, {0, 0, Frame.Width(), Frame.Height()}, 1, Progress);
  return true;
}

// clang-format off
const TEffect TransitionEffectTable[kTransitionEffectCount] = {
  {"Cross Fade", nullptr},
  {"Fade Out", nullptr},
  {"Fade In", nullptr},
  {"Fade Out then In", nullptr},
  {"Wipe Left to Right", nullptr},
  {"Wipe Left to Right 2", nullptr},
  {"Wipe Right to Left", nullptr},
  {"Wipe Right to Left 2", nullptr},
  {"Wipe Top to Bottom", nullptr},
  {"Wipe Top to Bottom 2", nullptr},
  {"Wipe Bottom to Top", nullptr},
  {"Wipe Bottom to Top 2", nullptr},
  {"Slide from Top Left", nullptr},
  {"Slide from Top Right", nullptr},
  {"Slide from Bottom Left", nullptr},
  {"Slide from Bottom Right", nullptr},
  {"Push Left to Right", nullptr},
  {"Slide Out Left to Right", nullptr},
  {"Push Right to Left", nullptr},
  {"Slide Out Right to Left", nullptr},
  {"Push Top to Bottom", nullptr},
  {"Slide Out Top to Bottom", nullptr},
  {"Push Bottom to Top", nullptr},
  {"Slide Out Bottom to Top", nullptr},
  {"Random Points", nullptr},
  {"Random Boxes", nullptr},
  {"Wipe Out from Center", nullptr},
  {"Wipe In to Center", nullptr},
  {"Expand Out from Center", nullptr},
  {"Expand In to Center", nullptr},
  // 31
  {"Expand from Left", E<[](TFx& f) { f.Stretch(0, 0, f.W, f.H, 0, 0, f.SW, f.H); }>},
  {"Expand from Right", E<[](TFx& f) { f.Stretch(0, 0, f.W, f.H, f.W - f.SW, 0, f.SW, f.H); }>},
  {"Expand from Top", E<[](TFx& f) { f.Stretch(0, 0, f.W, f.H, 0, 0, f.W, f.SH); }>},
  {"Expand from Bottom", E<[](TFx& f) { f.Stretch(0, 0, f.W, f.H, 0, f.H - f.SH, f.W, f.SH); }>},
  {"Expand from Top Left", E<[](TFx& f) { f.Stretch(0, 0, f.W, f.H, 0, 0, f.SW, f.SH); }>},
  {"Expand from Top Right", E<[](TFx& f) { f.Stretch(0, 0, f.W, f.H, f.W - f.SW, 0, f.SW, f.SH); }>},
  {"Expand from Bottom Left", E<[](TFx& f) { f.Stretch(0, 0, f.W, f.H, 0, f.H - f.SH, f.SW, f.SH); }>},
  {"Expand from Bottom Right", E<[](TFx& f) { f.Stretch(0, 0, f.W, f.H, f.W - f.SW, f.H - f.SH, f.SW, f.SH); }>},
  {"Expand in from Left", E<[](TFx& f) { f.Stretch(f.W - f.SW, 0, f.SW, f.H, f.SW - f.W, 0, 2 * f.W - f.SW, f.H); }>},
  {"Expand in from Right", E<[](TFx& f) { f.Stretch(0, 0, f.SW, f.H, 0, 0, 2 * f.W - f.SW, f.H); }>},
  {"Expand in from Top", E<[](TFx& f) { f.Stretch(0, f.H - f.SH, f.W, f.SH, 0, f.SH - f.H, f.W, 2 * f.H - f.SH); }>},
  {"Expand in from Bottom", E<[](TFx& f) { f.Stretch(0, 0, f.W, f.SH, 0, 0, f.W, 2 * f.H - f.SH); }>},
  {"Expand in to Vertical Center", E<[](TFx& f) {
     f.Stretch((f.W - f.SW) / 2, 0, f.SW, f.H, f.SW - f.W, 0, 3 * f.W - 2 * f.SW, f.H); }>},
  {"Expand in to Horizon", E<[](TFx& f) {
     f.Stretch(0, (f.H - f.SH) / 2, f.W, f.SH, 0, f.SH - f.H, f.W, 3 * f.H - 2 * f.SH); }>},
  {"Expand in from Sides", E<[](TFx& f) {
     const int q = f.W / 2, s = f.SW / 2;
     f.Stretch(0, 0, q, f.H, 0, 0, s, f.H);
     f.Stretch(q, 0, f.W - q, f.H, f.W - (f.SW - s), 0, f.SW - s, f.H); }>},
  {"Expand in from Top and Bottom", E<[](TFx& f) {
     const int q = f.H / 2, s = f.SH / 2;
     f.Stretch(0, 0, f.W, q, 0, 0, f.W, s);
     f.Stretch(0, q, f.W, f.H - q, 0, f.H - (f.SH - s), f.W, f.SH - s); }>},
  {"Expand out from Horizon", E<[](TFx& f) { f.Stretch(0, 0, f.W, f.H, 0, (f.H - f.SH) / 2, f.W, f.SH); }>},
  {"Expand out from Vertical Center", E<[](TFx& f) { f.Stretch(0, 0, f.W, f.H, (f.W - f.SW) / 2, 0, f.SW, f.H); }>},
  // 49
  {"Wipe from Top Left", E<[](TFx& f) { f.Copy(0, 0, 0, 0, f.SW, f.SH); }>},
  {"Wipe from Top Right", E<[](TFx& f) { f.Copy(f.W - f.SW, 0, f.W - f.SW, 0, f.SW, f.SH); }>},
  {"Wipe from Bottom Left", E<[](TFx& f) { f.Copy(0, f.H - f.SH, 0, f.H - f.SH, f.SW, f.SH); }>},
  {"Wipe from Bottom Right", E<[](TFx& f) { f.Copy(f.W - f.SW, f.H - f.SH, f.W - f.SW, f.H - f.SH, f.SW, f.SH); }>},
  {"Wipe in from Top and Bottom", E<[](TFx& f) {
     const int s = f.SH / 2, s2 = f.SH - s;
     f.Copy(0, 0, 0, 0, f.W, s);
     f.Copy(0, f.H - s2, 0, f.H - s2, f.W, s2); }>},
  {"Wipe from Horizon", E<[](TFx& f) { const int y = (f.H - f.SH) / 2; f.Copy(0, y, 0, y, f.W, f.SH); }>},
  {"Wipe in from Sides", E<[](TFx& f) {
     const int s = f.SW / 2, s2 = f.SW - s;
     f.Copy(0, 0, 0, 0, s, f.H);
     f.Copy(f.W - s2, 0, f.W - s2, 0, s2, f.H); }>},
  {"Wipe out from Vertical Center", E<[](TFx& f) { const int x = (f.W - f.SW) / 2; f.Copy(x, 0, x, 0, f.SW, f.H); }>},
  // 57
  {"Build up from Left", E<[](TFx& f) {
     const int e = f.W - f.SW, x0 = std::max(e - f.W / 10, 0);
     f.Copy(e, 0, e, 0, f.SW, f.H);
     f.Stretch(x0, 0, e - x0, f.H, 0, 0, e, f.H); }>},
  {"Build up from Right", E<[](TFx& f) {
     f.Copy(0, 0, 0, 0, f.SW, f.H);
     f.Stretch(f.SW, 0, std::min(f.W - f.SW, f.W / 10), f.H, f.SW, 0, f.W - f.SW, f.H); }>},
  {"Build up from Top", E<[](TFx& f) {
     const int e = f.H - f.SH, y0 = std::max(e - f.H / 10, 0);
     f.Copy(0, e, 0, e, f.W, f.SH);
     f.Stretch(0, y0, f.W, e - y0, 0, 0, f.W, e); }>},
  {"Build up from Bottom", E<[](TFx& f) {
     f.Copy(0, 0, 0, 0, f.W, f.SH);
     f.Stretch(0, f.SH, f.W, std::min(f.H - f.SH, f.H / 10), 0, f.SH, f.W, f.H - f.SH); }>},
  {"Unroll from Left", E<[](TFx& f) { Unroll(f, false, false); }>},
  {"Unroll from Right", E<[](TFx& f) { Unroll(f, true, false); }>},
  {"Unroll from Top", E<[](TFx& f) { Unroll(f, false, true); }>},
  {"Unroll from Bottom", E<[](TFx& f) { Unroll(f, true, true); }>},
  // 65
  {"Slide in from Left", E<[](TFx& f) { f.Copy(0, 0, f.SW - f.W, 0, f.W, f.H); }>},
  {"Slide in from Right", E<[](TFx& f) { f.Copy(0, 0, f.W - f.SW, 0, f.W, f.H); }>},
  {"Slide in from Top", E<[](TFx& f) { f.Copy(0, 0, 0, f.SH - f.H, f.W, f.H); }>},
  {"Slide in from Bottom", E<[](TFx& f) { f.Copy(0, 0, 0, f.H - f.SH, f.W, f.H); }>},
  {"Shrink to Top Left", E<[](TFx& f) { f.Stretch(0, 0, f.SW, f.SH, 0, 0, 2 * f.W - f.SW, 2 * f.H - f.SH); }>},
  {"Shrink to Top Right", E<[](TFx& f) {
     f.Stretch(f.W - f.SW, 0, f.SW, f.SH, f.SW - f.W, 0, 2 * f.W - f.SW, 2 * f.H - f.SH); }>},
  {"Shrink to Bottom Left", E<[](TFx& f) {
     f.Stretch(0, f.H - f.SH, f.SW, f.SH, 0, f.SH - f.H, 2 * f.W - f.SW, 2 * f.H - f.SH); }>},
  {"Shrink to Bottom Right", E<[](TFx& f) {
     f.Stretch(f.W - f.SW, f.H - f.SH, f.SW, f.SH, f.SW - f.W, f.SH - f.H, 2 * f.W - f.SW, 2 * f.H - f.SH); }>},
  {"Shrink to Center", E<[](TFx& f) {
     f.Stretch((f.W - f.SW) / 2, (f.H - f.SH) / 2, f.SW, f.SH, f.SW - f.W, f.SH - f.H, 3 * f.W - 2 * f.SW,
               3 * f.H - 2 * f.SH); }>},
  // 74: the quarters; left and top ones are W div 2 and H div 2.
  {"Quarters Wipe in to Center", E<[](TFx& f) {
     const int w = f.SW / 2, h = f.SH / 2, w2 = f.SW - w, h2 = f.SH - h;
     f.Copy(0, 0, 0, 0, w, h);
     f.Copy(0, f.H - h2, 0, f.H - h2, w, h2);
     f.Copy(f.W - w2, f.H - h2, f.W - w2, f.H - h2, w2, h2);
     f.Copy(f.W - w2, 0, f.W - w2, 0, w2, h); }>},
  {"Quarters Expand to Center", E<[](TFx& f) {
     const int w = f.SW / 2, h = f.SH / 2, w2 = f.SW - w, h2 = f.SH - h;
     const int qw = f.W / 2, qh = f.H / 2, qw2 = f.W - qw, qh2 = f.H - qh;
     f.Stretch(0, 0, qw, qh, 0, 0, w, h);
     f.Stretch(0, qh, qw, qh2, 0, f.H - h2, w, h2);
     f.Stretch(qw, qh, qw2, qh2, f.W - w2, f.H - h2, w2, h2);
     f.Stretch(qw, 0, qw2, qh, f.W - w2, 0, w2, h); }>},
  {"Quarters Slide in to Center", E<[](TFx& f) {
     const int w = f.SW / 2, h = f.SH / 2, w2 = f.SW - w, h2 = f.SH - h;
     const int qw = f.W / 2, qh = f.H / 2, qw2 = f.W - qw, qh2 = f.H - qh;
     f.Copy(0, 0, w - qw, 0, qw, qh);
     f.Copy(qw, 0, qw, h - qh, qw2, qh);
     f.Copy(qw, qh, f.W - w2, qh, qw2, qh2);
     f.Copy(0, qh, 0, f.H - h2, qw, qh2); }>},
  // 77
  {"Curved Wipe from Left", E<[](TFx& f) {
     f.Through(TRegion::FromRoundRect(-2 * f.W, 0, 2 * f.SW, f.H + 1, 2 * f.W, 2 * f.W)); }>},
  {"Curved Wipe from Right", E<[](TFx& f) {
     f.Through(TRegion::FromRoundRect(f.W - 2 * f.SW, 0, 3 * f.W, f.H + 1, 2 * f.W, 2 * f.W)); }>},
  {"Curved Wipe from Top", E<[](TFx& f) {
     f.Through(TRegion::FromRoundRect(0, -2 * f.H, f.W + 1, 2 * f.SH, 2 * f.H, 2 * f.H)); }>},
  {"Curved Wipe from Bottom", E<[](TFx& f) {
     f.Through(TRegion::FromRoundRect(0, f.H - 2 * f.SH, f.W + 1, 3 * f.H, 2 * f.H, 2 * f.H)); }>},
  {"Curved Wipe from Top Left", E<[](TFx& f) {
     f.Through(TRegion::FromRoundRect(-f.W, -f.H, (3 * f.SW) / 2, (3 * f.SH) / 2, 2 * f.W, 2 * f.H)); }>},
  {"Curved Wipe from Top Right", E<[](TFx& f) {
     f.Through(TRegion::FromRoundRect(f.W - (3 * f.SW) / 2, -f.H, 2 * f.W, (3 * f.SH) / 2, 2 * f.W, 2 * f.H)); }>},
  {"Curved Wipe from Bottom Left", E<[](TFx& f) {
     f.Through(TRegion::FromRoundRect(-f.W, f.H - (3 * f.SH) / 2, (3 * f.SW) / 2, 2 * f.H, 2 * f.W, 2 * f.H)); }>},
  {"Curved Wipe from Bottom Right", E<[](TFx& f) {
     f.Through(TRegion::FromRoundRect(f.W - (3 * f.SW) / 2, f.H - (3 * f.SH) / 2, 2 * f.W, 2 * f.H, 2 * f.W,
                                      2 * f.H)); }>},
  // 85
  {"Bars in from Left", Bars<2, 0, 0, 2>},
  {"Bars in from Right", Bars<2, 0, 0, 1>},
  {"Bars from Top", Bars<0, 2, 2, 0>},
  {"Bars from Bottom", Bars<0, 2, 1, 0>},
  {"Bars Left then Right", Bars<2, 0, 0, 4>},
  {"Bars Right then Left", Bars<2, 0, 0, 5>},
  {"Bars Top then Bottom", Bars<0, 2, 4, 0>},
  {"Bars Bottom then Top", Bars<0, 2, 5, 0>},
  {"Bars from both Sides", Bars<1, 0, 0, 3>},
  {"Bars from Top and Bottom", Bars<0, 1, 3, 0>},
  // 95
  {"Shredded from Left", Shreds<1, 0, 0, 2>},
  {"Shredded from Right", Shreds<1, 0, 0, 1>},
  {"Shredded from Top", Shreds<0, 1, 2, 0>},
  {"Shredded from Bottom", Shreds<0, 1, 1, 0>},
  {"Shredded from Top and Left", Shreds<1, 1, 2, 2>},
  {"Shredded from Top and Right", Shreds<1, 1, 2, 1>},
  {"Shredded from Bottom and Left", Shreds<1, 1, 1, 2>},
  {"Shredded from Bottom and Right", Shreds<1, 1, 1, 1>},
  {"Shredded from Horizon and Left", Shreds<1, 1, 3, 2>},
  {"Shredded from Horizon and Right", Shreds<1, 1, 3, 1>},
  {"Shredded from Top and Vertical Center", Shreds<1, 1, 2, 3>},
  {"Shredded from Bottom and Vertical Center", Shreds<1, 1, 1, 3>},
  {"Shredded from Center", Shreds<1, 1, 3, 3>},
  {"Shredded to Center", Shreds<1, 1, 4, 4>},
  {"Shredded in to Horizon", Shreds<0, 1, 4, 0>},
  {"Shredded in to Vertical Center", Shreds<1, 0, 0, 4>},
  {"Shredded out from Horizon", Shreds<0, 1, 3, 0>},
  {"Shredded out from Vertical Center", Shreds<1, 0, 0, 3>},
  // 113
  {"Expanding Rectangles", E<[](TFx& f) {
     const int cell = std::min(f.W, f.H) / 10 + 1, r = MulDiv(cell, f.P, 100);
     TComplexRegion rects;
     Cells(cell, cell, f.W, f.H, [&](int x, int y) { rects.AddRect(x - r, y - r, x + r, y + r); });
     f.Through(rects.CreateRegion()); }>},
  {"Expanding Triangles", E<[](TFx& f) {
     const int cw = f.W / 10 + 1, ch = f.H / 10 + 1, dx = MulDiv(cw, f.P, 50), dy = MulDiv(ch, f.P, 50);
     TPolygons t;
     Cells(cw, ch, f.W, f.H + ch, [&](int x, int y) { t.Add({{x - dx, y - dy}, {x, y + dy}, {x + dx, y - dy}}); });
     f.Through(t.Union()); }>},
  {"Expanding Circles", E<[](TFx& f) {
     const int cell = std::min(f.W, f.H) / 10 + 1, r = MulDiv(3 * cell, f.P, 200);
     std::vector<TRegion> circles;
     Cells(cell, cell, f.W, f.H, [&](int x, int y) { circles.push_back(TRegion::FromEllipse(x - r, y - r, x + r, y + r)); });
     f.Through(UnionAll(std::move(circles))); }>},
  {"Expanding Diamonds", E<[](TFx& f) {
     const int cell = std::min(f.W, f.H) / 10 + 1, r = MulDiv(cell, f.P, 50);
     TPolygons d;
     Cells(cell, cell, f.W, f.H, [&](int x, int y) { d.Add({{x - r, y}, {x, y - r}, {x + r, y}, {x, y + r}}); });
     f.Through(d.Union()); }>},
  {"Circular Wipe from Center", E<[](TFx& f) {
     f.Through(TRegion::FromRoundRect(f.CX - f.SW, f.CY - f.SH, f.CX + f.SW, f.CY + f.SH, (9 * f.SW) / 5,
                                      (9 * f.SH) / 5)); }>},
  {"Circular Wipe to Center", E<[](TFx& f) {
     const int l = f.SW - f.CX, t = f.SH - f.CY, r = 2 * f.W - f.CX - f.SW, b = 2 * f.H - f.CY - f.SH;
     f.Through(FrameLess(f, l, t, r, b,
                         TRegion::FromRoundRect(l, t, r, b, (9 * (f.W - f.SW)) / 5, (9 * (f.H - f.SH)) / 5))); }>},
  // 119
  {"Crisscross Wipe from Top Left", Bars<2, 2, 2, 2>},
  {"Crisscross Wipe from Top Right", Bars<2, 2, 2, 1>},
  {"Crisscross Wipe from Bottom Left", Bars<2, 2, 1, 2>},
  {"Crisscross Wipe from Bottom Right", Bars<2, 2, 1, 1>},
  {"Crisscross Wipe Bounce from Top Left", Bars<2, 2, 4, 4>},
  {"Crisscross Wipe Bounce from Top Right", Bars<2, 2, 4, 5>},
  {"Crisscross Wipe Bounce from Bottom Left", Bars<2, 2, 5, 4>},
  {"Crisscross Wipe Bounce from Bottom Right", Bars<2, 2, 5, 5>},
  {"Crisscross Wipe from Left Right and Top", Bars<1, 1, 2, 3>},
  {"Crisscross Wipe from Left Right and Bottom", Bars<1, 1, 1, 3>},
  {"Crisscross Wipe from Left Top and Bottom", Bars<1, 1, 3, 2>},
  {"Crisscross Wipe from Top Left Right and Bottom", Bars<1, 1, 3, 3>},
  {"Crisscross Wipe from Right Top and Bottom", Bars<1, 1, 3, 1>},
  {"Crisscross Wipe from Bottom Left Top Right", E<[](TFx& f) {
     auto a = IEBarsRegion(2 * f.SW, 2 * f.SH, f.W, f.H, 1, 1), b = IEBarsRegion(2 * f.SW, 2 * f.SH, f.W, f.H, 2, 2);
     if (a && b) f.Through(TRegion::Combine(*a, *b, RGN_AND)); }>},
  // 133
  {"Wipe diagonal from Top Left", E<[](TFx& f) { f.Through(Tri(0, 0, 2 * f.SW, 0, 0, 2 * f.SH)); }>},
  {"Wipe diagonal from Top Right", E<[](TFx& f) { f.Through(Tri(f.W, 0, f.W - 2 * f.SW, 0, f.W, 2 * f.SH)); }>},
  {"Wipe diagonal from Bottom Left", E<[](TFx& f) { f.Through(Tri(0, f.H, 2 * f.SW, f.H, 0, f.H - 2 * f.SH)); }>},
  {"Wipe diagonal from Bottom Right", E<[](TFx& f) {
     f.Through(Tri(f.W, f.H, f.W - 2 * f.SW, f.H, f.W, f.H - 2 * f.SH)); }>},
  {"Diagonal Sweep Clockwise", E<[](TFx& f) {
     f.Through(Or(Tri(f.W, 0, 0, 0, f.W, f.SH), Tri(f.W, f.H, 0, f.H, 0, f.H - f.SH))); }>},
  {"Diagonal Sweep Counter-Clockwise", E<[](TFx& f) {
     f.Through(Or(Tri(0, f.H, 0, 0, f.SW, f.H), Tri(f.W, f.H, f.W, 0, f.W - f.SW, 0))); }>},
  {"Sweep Clockwise", E<[](TFx& f) {
     const int r = static_cast<int>(std::ceil(std::hypot(f.CX, f.CY)));
     f.Through(IEArcRegion(f.CX, f.CY, r, -kPi / 2, -kPi / 2 + f.P * kPi / 50, f.P)); }>},
  {"Sweep Counter-Clockwise", E<[](TFx& f) {
     const int r = static_cast<int>(std::ceil(std::hypot(f.CX, f.CY)));
     f.Through(IEArcRegion(f.CX, f.CY, r, -kPi / 2, -kPi / 2 - f.P * kPi / 50, f.P)); }>},
  {"Starburst Clockwise", E<[](TFx& f) {
     const int W = f.W, H = f.H, CX = f.CX, CY = f.CY, SW = f.SW, SH = f.SH;
     f.Through(Or(Or(Tri(CX, CY, 0, 0, SW, 0), Tri(CX, CY, 0, H, 0, H - SH)),
                  Or(Tri(CX, CY, W, H, W - SW, H), Tri(CX, CY, W, 0, W, SH)))); }>},
  {"Starburst Counter-Clockwise", E<[](TFx& f) {
     const int W = f.W, H = f.H, CX = f.CX, CY = f.CY, SW = f.SW, SH = f.SH;
     f.Through(Or(Or(Tri(CX, CY, 0, 0, 0, SH), Tri(CX, CY, 0, H, SW, H)),
                  Or(Tri(CX, CY, W, H, W, H - SH), Tri(CX, CY, W, 0, W - SW, 0)))); }>},
  {"Rotational Rectangle Clockwise", E<[](TFx& f) { TurnedRect(f, f.CX, f.CY, f.P * kPi / 50); }>},
  {"Rotational Rectangle Counter-Clockwise", E<[](TFx& f) { TurnedRect(f, f.CX, f.CY, -f.P * kPi / 50); }>},
  {"Rotational Star Clockwise", E<[](TFx& f) { Star(f, f.P * kPi / 50); }>},
  {"Rotational Star Counter-Clockwise", E<[](TFx& f) { Star(f, -f.P * kPi / 50); }>},
  // 147
  {"Speckled Wipe from Left", Speckles<0, 2>},
  {"Speckled Wipe from Right", Speckles<0, 1>},
  {"Speckled Wipe from Top", Speckles<2, 0>},
  {"Speckled Wipe from Bottom", Speckles<1, 0>},
  // 151: the frame shown so far moves on by this frame's shift.
  {"Push Left and Slide out", E<[](TFx& f) {
     f.CopyFrame(f.SW, 0, 0, 0, f.W - f.SW, f.H);
     f.Copy(0, 0, f.W - f.SW, 0, f.SW, f.H); }>},
  {"Push Right and Slide out", E<[](TFx& f) {
     f.CopyFrame(0, 0, f.SW, 0, f.W - f.SW, f.H);
     f.Copy(f.W - f.SW, 0, 0, 0, f.SW, f.H); }>},
  {"Push up and Slide out", E<[](TFx& f) {
     f.CopyFrame(0, f.SH, 0, 0, f.W, f.H - f.SH);
     f.Copy(0, 0, 0, f.H - f.SH, f.W, f.SH); }>},
  {"Push down and Slide out", E<[](TFx& f) {
     f.CopyFrame(0, 0, 0, f.SH, f.W, f.H - f.SH);
     f.Copy(0, f.H - f.SH, 0, 0, f.W, f.SH); }>},
  {"Push and Squeeze Left", E<[](TFx& f) {
     f.StretchFrame(0, 0, f.W, f.H, 0, 0, f.W - f.SW, f.H);
     f.Copy(0, 0, f.W - f.SW, 0, f.SW, f.H); }>},
  {"Push and Squeeze Right", E<[](TFx& f) {
     f.StretchFrame(0, 0, f.W, f.H, f.SW, 0, f.W - f.SW, f.H);
     f.Copy(f.W - f.SW, 0, 0, 0, f.SW, f.H); }>},
  {"Push and Squeeze up", E<[](TFx& f) {
     f.StretchFrame(0, 0, f.W, f.H, 0, 0, f.W, f.H - f.SH);
     f.Copy(0, 0, 0, f.H - f.SH, f.W, f.SH); }>},
  {"Push and Squeeze down", E<[](TFx& f) {
     f.StretchFrame(0, 0, f.W, f.H, 0, f.SH, f.W, f.H - f.SH);
     f.Copy(0, f.H - f.SH, 0, 0, f.W, f.SH); }>},
  // 159
  {"Horizontal Blinds", E<[](TFx& f) {
     const int slat = f.H / 40 + 1, g = MulDiv(slat, f.P, 100);
     TComplexRegion r;
     for (int y = slat; y - slat < f.H; y += 2 * slat) r.AddRect(0, y - g, f.W, y + g);
     f.Through(r.CreateRegion()); }>},
  {"Vertical Blinds", E<[](TFx& f) {
     const int slat = f.W / 40 + 1, g = MulDiv(slat, f.P, 100);
     TComplexRegion r;
     for (int x = slat; x - slat < f.W; x += 2 * slat) r.AddRect(x - g, 0, x + g, f.H);
     f.Through(r.CreateRegion()); }>},
  {"Uneven Blinds from Left", E<[](TFx& f) { Blinds(f, false, false, false); }>},
  {"Uneven Blinds from Right", E<[](TFx& f) { Blinds(f, false, true, false); }>},
  {"Uneven Blinds from Top", E<[](TFx& f) { Blinds(f, true, false, false); }>},
  {"Uneven Blinds from Bottom", E<[](TFx& f) { Blinds(f, true, true, false); }>},
  // 165
  {"Rectangles from the Left", E<[](TFx& f) { Blinds(f, false, false, true); }>},
  {"Rectangles from the Right", E<[](TFx& f) { Blinds(f, false, true, true); }>},
  {"Rectangles from the Top", E<[](TFx& f) { Blinds(f, true, false, true); }>},
  {"Rectangles from the Bottom", E<[](TFx& f) { Blinds(f, true, true, true); }>},
  {"Spiralling Rectangle Clockwise", E<[](TFx& f) { TurnedRect(f, f.SW, f.SH, f.P * kPi / 50); }>},
  {"Spiralling Rectangle Counter-Clockwise", E<[](TFx& f) { TurnedRect(f, f.SW, f.SH, -f.P * kPi / 50); }>},
  // 171
  {"Arrow Wipe from Left", E<[](TFx& f) { f.Through(Tri(0, f.CY - f.SH, 2 * f.SW, f.CY, 0, f.CY + f.SH)); }>},
  {"Arrow Wipe from Right", E<[](TFx& f) {
     f.Through(Tri(f.W, f.CY - f.SH, f.W - 2 * f.SW, f.CY, f.W, f.CY + f.SH)); }>},
  {"Arrow Wipe from Top", E<[](TFx& f) { f.Through(Tri(f.CX - f.SW, 0, f.CX, 2 * f.SH, f.CX + f.SW, 0)); }>},
  {"Arrow Wipe from Bottom", E<[](TFx& f) {
     f.Through(Tri(f.CX - f.SW, f.H, f.CX, f.H - 2 * f.SH, f.CX + f.SW, f.H)); }>},
  {"Horizontal Bow Tie Wipe", E<[](TFx& f) {
     f.Through(Or(Tri(0, f.CY - f.SH, f.SW, f.CY, 0, f.CY + f.SH),
                  Tri(f.W, f.CY - f.SH, f.W - f.SW, f.CY, f.W, f.CY + f.SH))); }>},
  {"Vertical Bow Tie Wipe", E<[](TFx& f) {
     f.Through(Or(Tri(f.CX - f.SW, 0, f.CX, 2 * f.SH, f.CX + f.SW, 0),
                  Tri(f.CX - f.SW, f.H, f.CX, f.H - 2 * f.SH, f.CX + f.SW, f.H))); }>},
  {"Diagonal Cross from Center", E<[](TFx& f) {
     const int w = (f.W - f.SW) / 2, h = (f.H - f.SH) / 2;
     const TRegion sides = SideArrows(f, w, f.W - f.SW - w, h, f.H - f.SH - h);
     f.Through(Xor(f.Frame(), sides)); }>},
  {"Diagonal Cross to Center", E<[](TFx& f) {
     f.Through(SideArrows(f, f.SW / 2, f.SW - f.SW / 2, f.SH / 2, f.SH - f.SH / 2)); }>},
  {"Zigzag Wipe from Horizon", E<[](TFx& f) { Zigzag(f, false); }>},
  {"Zigzag Wipe from Vertical Center", E<[](TFx& f) { Zigzag(f, true); }>},
  {"Diamond Wipe from Center", E<[](TFx& f) {
     f.Through(Diamond(f.CX - f.SW, f.CY, f.CX, f.CY - f.SH, f.W - f.CX + f.SW, f.H - f.CY + f.SH)); }>},
  {"Diamond Wipe to Center", E<[](TFx& f) {
     const int l = f.SW - f.CX, t = f.SH - f.CY, r = 2 * f.W - f.CX - f.SW, b = 2 * f.H - f.CY - f.SH;
     f.Through(FrameLess(f, l, t, r, b, Diamond(l, f.CY, f.CX, t, r, b))); }>},
  {"Diagonal Box Wipe", E<[](TFx& f) {
     const int w = f.SW / 2, h = f.SH / 2, w2 = f.SW - w, h2 = f.SH - h, CX = f.CX, CY = f.CY;
     f.Through(Xor(Diamond(-w, CY, CX, -h, f.W + w2, f.H + h2), Diamond(w, CY, CX, h, f.W - w2, f.H - h2))); }>},
  {"Triangular Wipe", E<[](TFx& f) { TriangularWipe(f); }>},
  {"Random Big Boxes", E<[](TFx& f) { RandomBigBoxes(f); }>},
  {"Page Flip", E<[](TFx& f) { PageFlip(f, false); }>},
  {"Page Flip 2", E<[](TFx& f) { PageFlip(f, true); }>},
};
// clang-format on

}  // namespace redozir
