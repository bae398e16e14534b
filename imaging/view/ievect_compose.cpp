// The vector objects over the view and into the image: every object through
// the work bitmap with its alpha pass and soft shadow, the copy into the
// image, the grips, and the conversions between image and client
// coordinates the drawing goes through.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/core/iegdiplus.h"
#include "imaging/io/take_result.h"
#include "imaging/processing/ie_blur.h"
#include "imaging/view/ievect.h"
#include "imaging/view/ievect_internal.h"
#include "platform/bitmap.h"

namespace redozir {

std::function<void(TRedozIrVect&, TIEBitmap*)> IEVCopyObjectsHook;

// ---- all objects

namespace {

// The work bitmap at w x h (24 bits with an 8-bit alpha plane); nullptr when
// it cannot be had.
TIEBitmap* EnsureWork(std::unique_ptr<TIEBitmap>& Work, int w, int h) {
  if (Work && Work->Width() == w && Work->Height() == h) return Work.get();
  Work.reset();
  auto b = std::make_unique<TIEBitmap>();
  if (!b->AllocateAt(w, h, ie24RGB, ieTBitmap) || b->Width() != w) return nullptr;
  TIEBitmap* a = b->GetAlphaChannel();
  if (!a || a->Width() != w) return nullptr;
  a->SetLocation(ieTBitmap);
  Work = std::move(b);
  return Work.get();
}

}  // namespace

void TRedozIrVect::DrawObjects(TBitmap* Target, bool IntoImage, bool Antialias) {
  fObjectsDrawn = 0;
  if (!Target || Target->Empty() || fDrawOrder.empty()) return;
  const bool onScreen = !IntoImage;
  int F = Antialias ? 2 : 1;
  const bool super = fCopyAntialias && !IEGDIPAvailable();
  if (!super) F = 1;
  TIEBitmap* work = nullptr;
  auto ensure = [&]() -> TIEBitmap* {
    if (work) return work;
    // Twice the size falls back to the target's own when it cannot be had.
    if (F == 2 && (std::int64_t(Target->Width()) * 2 * Target->Height() * 2 > MaxWorkPixels ||
                   !(work = EnsureWork(fWork, Target->Width() * 2, Target->Height() * 2))))
      F = 1;
    if (!work) work = EnsureWork(fWork, Target->Width(), Target->Height());
    return work;
  };
  std::unique_ptr<TIERenderCaches> caches;
  for (int h : fDrawOrder) {
    TIEVObjectRecord& R = fRecords[static_cast<std::size_t>(h)];
    const bool solidBox = R.Kind == ievkBOX && R.SolidFill;
    const bool direct =
        !super && !R.Shadow.Enabled && !solidBox &&
        (std::clamp(R.Transparency, 0, 255) >= 255 || (R.Kind != ievkTEXT && R.Kind != ievkMEMO));
    if (direct || (!super && Dragging && FastDrag)) {
      DrawObject(Target, R, h, nullptr, false, 1, onScreen, onScreen);
      continue;
    }
    TIEBitmap* W = ensure();
    if (!W) {
      DrawObject(Target, R, h, nullptr, false, 1, onScreen, onScreen);
      continue;
    }
    const int f = super ? F : 1;
    W->Fill(static_cast<double>(R.PenColor & 0xFFFFFF));
    TIEBitmap target;
    target.AttachTBitmap(Target, false);
    if (solidBox) {
      // The pixels under the box, so that the AND of its colour works on
      // them: where the box lies on the target, zoomed and scrolled on the screen.
      auto sx = [&](int x) { return IEVClipCoord(onScreen ? ObjXBmp2Scr(x) : double(x)); };
      auto sy = [&](int y) { return IEVClipCoord(onScreen ? ObjYBmp2Scr(y) : double(y)); };
      const int l = std::clamp(std::min(sx(R.x1), sx(R.x2)), 0, Target->Width() - 1);
      const int t = std::clamp(std::min(sy(R.y1), sy(R.y2)), 0, Target->Height() - 1);
      const int r = std::clamp(std::max(sx(R.x1), sx(R.x2)), 0, Target->Width() - 1);
      const int b = std::clamp(std::max(sy(R.y1), sy(R.y2)), 0, Target->Height() - 1);
      target.StretchRectTo(W, l * f, t * f, (r - l + 1) * f, (b - t + 1) * f, l, t, r - l + 1, b - t + 1,
                           rfNone, 255);
    }
    TIEBitmap* alpha = W->GetAlphaChannel();
    alpha->Fill(0);
    if (!DrawObject(W->GetVclBitmap(), R, h, W, false, f, onScreen, onScreen)) continue;
    const bool hasBitmap = R.Kind == ievkBITMAP && R.BitmapIdx >= 0;
    if (!hasBitmap) {
      const TColor grey = static_cast<TColor>(std::clamp(R.Transparency, 0, 255) * 0x010101);
      const TColor c0 = R.PenColor, c1 = R.BrushColor, c2 = R.LabelBrushColor, c3 = R.BorderColor;
      const TRect drawn = R.DrawnRect;
      R.PenColor = R.BrushColor = R.LabelBrushColor = R.BorderColor = grey;
      DrawObject(alpha->GetVclBitmap(), R, h, nullptr, true, f, onScreen, onScreen);
      R.PenColor = c0, R.BrushColor = c1, R.LabelBrushColor = c2, R.BorderColor = c3;
      R.DrawnRect = drawn;
    }
    const int pw = R.DrawnPenWidth;
    int l = std::clamp(R.DrawnRect.Left - pw, 0, W->Width() - 1),
        t = std::clamp(R.DrawnRect.Top - pw, 0, W->Height() - 1);
    int r = std::clamp(R.DrawnRect.Right + pw, 0, W->Width() - 1),
        b = std::clamp(R.DrawnRect.Bottom + pw, 0, W->Height() - 1);
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    if (f == 2) l += 2, t += 2, r -= 2, b -= 2;
    if (r < l || b < t) continue;
    if (R.Shadow.Enabled) {
      const double radius =
          std::isfinite(R.Shadow.Radius) ? std::clamp(R.Shadow.Radius * f, 0.0, kIEVMaxShadowRadius) : 0.0;
      const int ox = std::clamp(R.Shadow.OffsetX, -kIEVMaxShadowOffset, kIEVMaxShadowOffset) * f;
      const int oy = std::clamp(R.Shadow.OffsetY, -kIEVMaxShadowOffset, kIEVMaxShadowOffset) * f;
      const int m = _IEAddSoftShadow(W, ox, oy, radius, std::clamp(R.Shadow.Intensity, 0, 100),
                                     R.Shadow.ShadowColor, l, t, r, b);
      l = std::max(l - m, 0), t = std::max(t - m, 0);
      r = std::min(r + m, W->Width() - 1), b = std::min(b + m, W->Height() - 1);
    }
    alpha->SetFull(false);
    if (f == 2)
      W->RenderToTBitmapEx(Target, caches, nullptr, l / 2, t / 2, (r - l + 1) / 2, (b - t + 1) / 2, l, t,
                           r - l + 1, b - t + 1, true, false, 255, rfTriangle, false, 0);
    else
      W->RenderToTBitmapEx(Target, caches, nullptr, l, t, r - l + 1, b - t + 1, l, t, r - l + 1, b - t + 1,
                           true, false, 255, rfNone, false, 0);
  }
}

namespace {
// Gives a flag its former value back at the end of a scope, also when the
// scope is left by an exception.
struct TFlagRestore {
  bool& Flag;
  bool Value;
  ~TFlagRestore() { Flag = Value; }
};
}  // namespace

void TRedozIrVect::CopyObjectsToBack(TIEBitmap* Dest) {
  if (IEVCopyObjectsHook) {
    IEVCopyObjectsHook(*this, Dest);
    return;
  }
  if (!Dest || fDrawOrder.empty() || Dest->Width() <= 0 || Dest->Height() <= 0) return;
  const TFlagRestore restore{Dragging, Dragging};
  Dragging = false;
  // Drawn on a copy, which Dest then takes whole: objects drawn in part by
  // a failing call would be drawn twice by the next.
  IEGuardMemory("draw the objects into the image", Dest, [&] {
    TIEBitmap copy;
    copy.Assign(Dest);
    if (copy.PixelFormat() != ie24RGB) copy.SetPixelFormat(ie24RGB);
    copy.SetLocation(ieTBitmap);
    if (copy.GetVclBitmap()) DrawObjects(copy.GetVclBitmap(), true, fCopyAntialias);
    const TIEPixelFormat pf = Dest->PixelFormat();
    if (pf != ie24RGB) copy.SetPixelFormat(pf);
    if (Dest->Location() != ieTBitmap) copy.SetLocation(ieMemory);
    IETakeAll(Dest, copy);
  });
}

void TRedozIrVect::CopyObjectsToBack(bool Antialias) {
  {
    // Antialias turns the copy's antialiasing on for the call; False leaves
    // the control's own setting (CopyAntialias) to decide.
    const TFlagRestore restore{fCopyAntialias, fCopyAntialias};
    if (Antialias) fCopyAntialias = true;
    CopyObjectsToBack(GetIEBitmap());
  }
  UpdateAfterChange();
  DoImageChange();
}

void TRedozIrVect::PaintLayersToBackBuffer(TIEBitmap* Dest, const TRect* ClipRect, bool DrawBackground,
                                           bool DrawDecorations) {
  TRedozIrView::PaintLayersToBackBuffer(Dest, ClipRect, DrawBackground, DrawDecorations);
  // The objects are drawn whole, over the frame wherever it moves.
  if (!Dest || (fDrawOrder.empty() && !DrawBackground && !DrawDecorations) || !KeepNoFrame()) return;
  if (Dest->PixelFormat() != ie24RGB || !Dest->GetVclBitmap()) return;
  TBitmap* t = Dest->GetVclBitmap();
  const bool old = fCopyAntialias;
  fCopyAntialias = false;
  DrawObjects(t, false, fObjAntialias);
  fCopyAntialias = old;
  DrawGrips(t->Canvas());
  DrawPolylinePoints(t->Canvas());
}

// ---- coordinates

namespace {

// Beyond this the view's int conversions are not asked.
constexpr double kExactConversion = double(1 << 28);

double ToScr(double V, double Zoom, int Origin, int (TRedozIrView::*Exact)(int), TRedozIrView& View) {
  const double z = Zoom / 100.0;
  const double e = Origin + V * z;
  if (std::isfinite(e) && std::abs(V) < kExactConversion && std::abs(e) < kExactConversion)
    return (View.*Exact)(static_cast<int>(V));
  return e;
}

double ToBmp(double V, double Zoom, int Origin, int (TRedozIrView::*Exact)(int), TRedozIrView& View) {
  const double z = std::max(Zoom / 100.0, 1e-300);
  const double e = (V - Origin) / z;
  if (std::isfinite(e) && std::abs(V) < kExactConversion && std::abs(e) < kExactConversion)
    return (View.*Exact)(static_cast<int>(V));
  return e;
}

}  // namespace

double TRedozIrVect::ObjXBmp2Scr(double X) {
  return ToScr(std::trunc(X), ZoomX(), XBmp2Scr(0), &TRedozIrView::XBmp2Scr, *this);
}
double TRedozIrVect::ObjYBmp2Scr(double Y) {
  return ToScr(std::trunc(Y), ZoomY(), YBmp2Scr(0), &TRedozIrView::YBmp2Scr, *this);
}
double TRedozIrVect::ObjXScr2Bmp(double X) {
  return ToBmp(std::trunc(X), ZoomX(), XBmp2Scr(0), &TRedozIrView::XScr2Bmp, *this);
}
double TRedozIrVect::ObjYScr2Bmp(double Y) {
  return ToBmp(std::trunc(Y), ZoomY(), YBmp2Scr(0), &TRedozIrView::YScr2Bmp, *this);
}

// ---- grips

void TRedozIrVect::SetObjGripImage(const TBitmap* Picture) {
  fGripImage.Assign(Picture);
  if (!fGripImage.Empty()) GripSize = std::max(fGripImage.Width(), fGripImage.Height()) / 2;
}

void TRedozIrVect::DrawGrips(TCanvas* Canvas) {
  if (!Canvas) return;
  Canvas->Pen = TPen{};
  Canvas->Pen.Color = GripPenColor;
  Canvas->Brush.Color = GripBrushColor;
  Canvas->Brush.Style = GripBrushStyle;
  const int g = std::clamp(GripSize, 1, 100);
  for (int h : fSelection) {
    const TIEVObjectRecord* r = GetObjectRecord(h);
    if (!r || !(r->Style & ievsVisible)) continue;
    std::vector<TPoint> pts;
    if (r->Kind == ievkANGLE) {
      for (TPoint p : r->AnglePoints)
        if (p.X != -1000000) pts.push_back(p);
    } else if (r->Kind == ievkLINE || r->Kind == ievkRULER || r->Kind == ievkLINELABEL) {
      pts = {{r->x1, r->y1}, {r->x2, r->y2}};
    } else {
      const int mx = static_cast<int>((std::int64_t(r->x1) + r->x2) / 2);
      const int my = static_cast<int>((std::int64_t(r->y1) + r->y2) / 2);
      pts = {{r->x1, r->y1}, {r->x2, r->y1}, {r->x2, r->y2}, {r->x1, r->y2},
             {mx, r->y1},    {mx, r->y2},    {r->x1, my},    {r->x2, my}};
    }
    if (ObjCenterGrip)  // the move grip at the centre of the rectangle
      pts.push_back({static_cast<int>((std::int64_t(r->x1) + r->x2) / 2),
                     static_cast<int>((std::int64_t(r->y1) + r->y2) / 2)});
    for (TPoint p : pts) {
      const int x = IEVClipCoord(ObjXBmp2Scr(p.X)), y = IEVClipCoord(ObjYBmp2Scr(p.Y));
      if (const TBitmap* img = fGripImage.Graphic(); img && !img->Empty())
        Canvas->Draw(x - img->Width() / 2, y - img->Height() / 2, *img);
      else if (GripShape == 0)
        Canvas->Rectangle(x - g, y - g, x + g, y + g);
      else
        Canvas->Ellipse(x - g, y - g, x + g, y + g);
    }
  }
}

}  // namespace redozir
