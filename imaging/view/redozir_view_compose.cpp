// TRedozIrView's layer composition: the background and every visible layer
// drawn into a 24-bit bitmap by the view's zoom and origin (placed, masked,
// rotated, magnified, resampled and blended), then the decorations of the
// current layer, the treatment of what lies outside layer 0 and the pixel grid.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "imaging/core/ie_parallel.h"
#include "imaging/core/iebitmap.h"
#include "imaging/core/iebitmap_render.h"
#include "imaging/core/iegdiplus.h"
#include "imaging/processing/ie_rotate.h"
#include "imaging/processing/resample.h"
#include "imaging/view/redozir_view.h"
#include "imaging/view/redozir_view_background.h"
#include "platform/numeric.h"

namespace redozir {

namespace {
// DimOutside's and the outer chessboard's greys.
constexpr std::uint8_t kDimGrey = 97;
constexpr std::uint8_t kOuterGrey = 128;

int ToInt(double v) { return RoundClamp(v, INT_MIN / 2, INT_MAX / 2); }
int ToIntTrunc(double v) { return TruncClamp(v, INT_MIN / 2, INT_MAX / 2); }
int Sum(std::int64_t a, std::int64_t b) {
  return static_cast<int>(std::clamp<std::int64_t>(a + b, INT_MIN / 2, INT_MAX / 2));
}

// Exchanges the pixels of two 8-bit planes, and what is known of them.
void SwapPlanes(TIEBitmap* A, TIEBitmap* B) {
  A->SwapImage(*B);
  bool full = A->Full();
  A->SetFull(B->Full());
  B->SetFull(full);
}

// A copy of a rectangle of Src (inside it) with its alpha plane, as the
// renderer takes it before resampling.
std::unique_ptr<TIEBitmap> CopyPart(TIEBitmap* Src, const TRect& R) {
  auto part = TIEBitmap::CreateSized(R.Width(), R.Height(), Src->PixelFormat());
  if (part->Width() != R.Width() || part->Height() != R.Height())
    throw EOutOfMemory("Cannot allocate the rendered rectangle");
  Src->CopyPaletteTo(part.get());
  Src->CopyRectTo(part.get(), R.Left, R.Top, 0, 0, R.Width(), R.Height());
  if (Src->HasAlphaChannel()) {
    Src->GetAlphaChannel()->CopyRectTo(part->GetAlphaChannel(), R.Left, R.Top, 0, 0, R.Width(), R.Height());
    part->GetAlphaChannel()->SetFull(Src->GetAlphaChannel()->Full());
  }
  return part;
}

// The 8-bit plane Src's rectangle R stretched to To's size by the
// renderer's nearest columns and rows (source = R's start + destination x
// R's size / To's size).
void NearestPlane(TIEBitmap* Src, const TRect& R, TIEBitmap* To) {
  const int w = To->Width(), h = To->Height();
  std::vector<int> xs(static_cast<size_t>(w));
  for (int x = 0; x < w; ++x)
    xs[static_cast<size_t>(x)] = static_cast<int>(
        std::clamp<std::int64_t>(R.Left + static_cast<std::int64_t>(x) * R.Width() / w, 0, Src->Width() - 1));
  const bool parallel = Src->Location() == ieMemory && To->Location() == ieMemory;
  IEParallelFor(h, w, parallel, [&](int Begin, int End) {
    for (int y = Begin; y < End; ++y) {
      const std::uint8_t* s = Src->GetScanline(static_cast<int>(std::clamp<std::int64_t>(
          R.Top + static_cast<std::int64_t>(y) * R.Height() / h, 0, Src->Height() - 1)));
      std::uint8_t* d = To->GetScanline(y);
      for (int x = 0; x < w; ++x) d[x] = s[xs[static_cast<size_t>(x)]];
    }
  });
  To->SetFull(Src->Full());
}

bool InBox(const TRect& r, int x, int y) {
  return x >= r.Left && x <= r.Right && y >= r.Top && y <= r.Bottom;
}
}  // namespace

// One layer's trip through the composition, and what it must put back.
struct TRedozIrView::TLayerPass {
  int Index = 0;
  TIELayer* L = nullptr;
  TIEBitmap* B = nullptr;   // what is drawn (the layer's bitmap or its rotation)
  TIEBitmap* B0 = nullptr;  // the layer's own bitmap
  bool First = true;
  bool DrawDecorations = false;
  TResampleFilter Filter = rfNone;
  bool Cacheable = true;
  // The mask layer, and one made for this pass (outer mode 1).
  TIELayer* Mask = nullptr;
  std::unique_ptr<TIELayer> TempMask;
  // While the combined plane is installed in B's alpha plane object, B's own
  // plane waits here.
  TIEBitmap* Combined = nullptr;
  std::unique_ptr<TIEBitmap> NewCombined;
  bool PlaneSwapped = false;
  // A rotated layer's placement, restored after the pass.
  bool Rotated = false;
  int SavedWidth = 0, SavedHeight = 0, SavedPosX = 0, SavedPosY = 0;
  std::unique_ptr<TIEBitmap> OwnedRotated;

  ~TLayerPass() {
    if (PlaneSwapped) SwapPlanes(B0->GetAlphaChannel(), Combined);
    if (Rotated) {
      L->Width = SavedWidth;
      L->Height = SavedHeight;
      L->PosX = SavedPosX;
      L->PosY = SavedPosY;
    }
  }
};

namespace {
TIELayerPaintCache& LayerCache(TIELayer* L) {
  if (!L->PaintCache) L->PaintCache = std::make_unique<TIELayerPaintCache>();
  return *L->PaintCache;
}
}  // namespace

void TRedozIrView::PaintBackgroundStep(TIEBitmap* Dest, const TRect* ClipRect) {
  RecordBackgroundStep();
  if (fPlanning) return;
  TCanvas* c = Dest->GetCanvas();
  if (ClipRect) {
    TRegion clip = TRegion::FromRect(*ClipRect);
    c->SetClipRegion(&clip);
  }
  struct TUnclip {
    TCanvas* c;
    ~TUnclip() { c->SetClipRegion(nullptr); }
  } unclip{c};
  TRect whole = Rect(0, 0, Dest->Width(), Dest->Height());
  bool handled = false;
  if (OnDrawBackground) OnDrawBackground(this, c, whole, handled);
  if (!handled) IEPaintBackground(BackgroundParams(), c, Dest, ImageRect(), whole, false);
}

void TRedozIrView::PaintLayersToBackBuffer(TIEBitmap* Dest, const TRect* ClipRect, bool DrawBackground,
                                           bool DrawDecorations) {
  SyncLayers();
  // LayersDrawTo lays the image out on its own bitmap, not on the window.
  if (!fDrawingTo) {
    UpdateImageRect();
    UpdateSourceRect();
  }
  UpdateCoordTables();
  if ((ComponentState() & csDesigning) || !Dest || !fIEBitmap || Dest->PixelFormat() != ie24RGB ||
      Dest->Width() <= 0 || Dest->Height() <= 0) {
    KeepNoFrame();
    return;
  }
  // With no picture to show the background still goes down: the back
  // buffer holds no old frame then. (An empty current layer above a picture
  // hides nothing of it.)
  const TIEBitmap* l0 = fLayers[0]->Bitmap;
  if (!l0 || l0->Width() <= 0 || l0->Height() <= 0) {
    if (DrawBackground) PaintBackgroundStep(Dest, ClipRect);
    return;
  }
  bool first = true;
  const int count = GetLayersCount();
  for (int i = 0; i < count; ++i) {
    TIELayer* L = fLayers[static_cast<size_t>(i)];
    TIEBitmap* B = L->Bitmap;
    if (!L->Visible || fVisibleWidth == 0 || fVisibleHeight == 0 || !B) continue;
    if (B->Width() <= 0 || B->Height() <= 0 || (B->Width() < LayersMinSize && B->Height() < LayersMinSize))
      continue;
    // A mask shapes the layer below it; it is no picture of its own.
    if (L->IsMask && i > 0 && !fLayers[static_cast<size_t>(i) - 1]->IsMask &&
        fLayers[static_cast<size_t>(i) - 1]->GetRotate() == 0)
      continue;
    TLayerPass P;
    P.Index = i;
    P.L = L;
    P.B = P.B0 = B;
    P.First = first;
    P.DrawDecorations = DrawDecorations;
    if (first && DrawBackground) {
      // Skipped under a first layer that covers Dest opaquely.
      bool alphaInUse = EnableAlphaChannel() && B->HasAlphaChannel() && !B->GetAlphaChannel()->Full();
      bool asLayer0 = L->PosX == 0 && L->PosY == 0 && L->GetRotate() == 0 && !L->Magnify.Enabled &&
                      L->GetWidth() == fImageWidth && L->GetHeight() == fImageHeight;
      bool maskNext = i + 1 < count && fLayers[static_cast<size_t>(i) + 1]->IsMask;
      bool covers = fImageLeft <= 0 && fImageTop <= 0 && fVisibleWidth >= Dest->Width() &&
                    fVisibleHeight >= Dest->Height() && !alphaInUse && L->Transparency >= 255 && asLayer0 &&
                    !maskNext && L->Operation == 0;
      if (!covers) PaintBackgroundStep(Dest, ClipRect);
    }
    ComposeLayer(P, Dest, ClipRect);
    first = false;
  }
  PaintOuterModes(Dest);
  if (first && DrawBackground) PaintBackgroundStep(Dest, ClipRect);
  if (DrawDecorations) {
    DrawSelectionToBackBuffer(Dest);
    PaintPixelGrid(Dest);
  }
}

void TRedozIrView::ComposeLayer(TLayerPass& P, TIEBitmap* Dest, const TRect* ClipRect) {
  TIELayer* L = P.L;
  const int i = P.Index;
  const int count = GetLayersCount();
  if (i + 1 < count && fLayers[static_cast<size_t>(i) + 1]->IsMask && !L->IsMask && L->GetRotate() == 0) {
    P.Mask = fLayers[static_cast<size_t>(i) + 1];
  } else if (i > 0 && LayersOuterMode == 1) {
    P.TempMask = std::make_unique<TIELayer>(this, false, nullptr);
    TIEBitmap* mb = P.TempMask->Bitmap;
    if (!mb->Allocate(P.B->Width(), P.B->Height(), ie8g)) throw EOutOfMemory("Cannot allocate a layer mask");
    mb->Fill(255);
    P.TempMask->PosX = L->PosX;
    P.TempMask->PosY = L->PosY;
    P.TempMask->Width = L->Width;
    P.TempMask->Height = L->Height;
    P.Mask = P.TempMask.get();
  }
  if (P.Mask) CombineMask(P);

  if (fDelayZoomFilterCount > 0 || (L->Width == 0 && L->Height == 0 && fZoomX == 100 && fZoomY == 100))
    P.Filter = rfNone;
  else
    P.Filter = L->UseResampleFilter ? L->ResampleFilter : fZoomFilter;

  bool plain = LayersSync || (count == 1 && L->Width == 0 && L->Height == 0 && L->PosX == 0 && L->PosY == 0);
  if (plain) {
    // Layer 0's own geometry: the whole bitmap from the client position of
    // its first pixel to that of the pixel after its last, so that it lands
    // exactly where the placement of a layer at 0, 0 would put it.
    TRect dst{PlacedX(0), PlacedY(0), PlacedX(P.B->Width()), PlacedY(P.B->Height())};
    TRect src = Rect(0, 0, P.B->Width(), P.B->Height());
    RenderLayer(L, P.B, Dest, ClipRect, dst, src, P.Filter, BackgroundStyle() == iebsSolid && P.First, true);
    L->ClientAreaBox = Bounds(fImageLeft, fImageTop, fVisibleWidth, fVisibleHeight);
    TIELayerDrawingInfo& di = L->DrawingInfo;
    di.XDst = dst.Left;
    di.YDst = dst.Top;
    di.dxDst = dst.Width();
    di.dyDst = dst.Height();
    di.XSrc = di.YSrc = 0;
    di.dxSrc = src.Width();
    di.dySrc = src.Height();
  } else {
    if (L->GetRotate() != 0) RotateLayer(P);
    // A magnifier shows what lies under it wherever it stands.
    if (i > 0 && L->Magnify.Enabled && L->Magnify.Rate >= 1.0 && KeepNoFrame()) MagnifyLayer(P, Dest);
    PlaceLayer(P, Dest, ClipRect);
  }
  DrawDecorations(P, Dest);
  if (P.PlaneSwapped) {
    SwapPlanes(P.B0->GetAlphaChannel(), P.Combined);
    P.PlaneSwapped = false;
    if (P.NewCombined) {
      delete L->MaskedAlphaCache;
      L->MaskedAlphaCache = P.NewCombined.release();
    }
  }
}

void TRedozIrView::CombineMask(TLayerPass& P) {
  TIELayer* L = P.L;
  TIEBitmap* B = P.B;
  TIEBitmap* A = B->GetAlphaChannel();  // made opaque when absent
  TIEBitmap* cache = L->MaskedAlphaCache;
  if (cache &&
      (cache->Width() != B->Width() || cache->Height() != B->Height() || cache->PixelFormat() != ie8g)) {
    delete L->MaskedAlphaCache;
    L->MaskedAlphaCache = cache = nullptr;
  }
  if (!cache) {
    TIELayer* M = P.Mask;
    TIEBitmap* mb = M->Bitmap;
    if (mb->PixelFormat() != ie8g && mb->Width() > 0 && mb->Height() > 0) mb->ConvertToPixelFormat(ie8g);
    mb->RemoveAlphaChannel(false);
    P.NewCombined = TIEBitmap::CreateSized(B->Width(), B->Height(), ie8g);
    TIEBitmap* C = P.NewCombined.get();
    if (C->Width() != B->Width() || C->Height() != B->Height())
      throw EOutOfMemory("Cannot allocate a layer mask");
    const int w = B->Width(), h = B->Height();
    const int mw = mb->Width(), mh = mb->Height();
    const bool outer = LayersOuterMode == 1;
    const std::uint8_t outerValue = static_cast<std::uint8_t>(std::clamp(LayersOuterValue, 0, 255));
    const TIEBitmap* l0 = fLayers[0]->Bitmap;
    // An empty mask hides the whole layer rather than dividing by zero.
    const bool emptyMask = mw <= 0 || mh <= 0 || M->GetWidth() <= 0 || M->GetHeight() <= 0;
    const double sL = static_cast<double>(L->GetWidth()) / w, tL = static_cast<double>(L->GetHeight()) / h;
    const double sM = emptyMask ? 1.0 : static_cast<double>(M->GetWidth()) / mw;
    const double tM = emptyMask ? 1.0 : static_cast<double>(M->GetHeight()) / mh;
    std::vector<int> mx(static_cast<size_t>(w));
    std::vector<std::uint8_t> colInside(static_cast<size_t>(w), 1);
    for (int x = 0; x < w; ++x) {
      mx[static_cast<size_t>(x)] = ToInt(x * sL / sM - M->PosX / sM + L->PosX / sM);
      if (outer) {
        std::int64_t v = static_cast<std::int64_t>(ToInt(mx[static_cast<size_t>(x)] * sM)) + L->PosX;
        colInside[static_cast<size_t>(x)] = v >= 0 && v <= l0->Width();
      }
    }
    for (int y = 0; y < h; ++y) {
      std::uint8_t* c = C->GetScanline(y);
      const std::uint8_t* a = A->GetScanline(y);
      int my = ToInt(y * tL / tM - M->PosY / tM + L->PosY / tM);
      std::int64_t vy = static_cast<std::int64_t>(ToInt(my * tM)) + L->PosY;
      if (outer && (vy < 0 || vy > l0->Height())) {
        // A transparent pixel stays transparent outside layer 0 too.
        for (int x = 0; x < w; ++x) c[x] = std::min(outerValue, a[x]);
        continue;
      }
      const std::uint8_t* m = !emptyMask && my >= 0 && my < mh ? mb->GetScanline(my) : nullptr;
      for (int x = 0; x < w; ++x) {
        std::uint8_t v;
        int sx = mx[static_cast<size_t>(x)];
        if (!colInside[static_cast<size_t>(x)])
          v = outerValue;
        else
          v = m && sx >= 0 && sx < mw ? m[sx] : 0;
        c[x] = std::min(v, a[x]);
      }
    }
    C->SetFull(false);
    cache = C;
  }
  P.Combined = cache;
  SwapPlanes(A, P.Combined);
  P.PlaneSwapped = true;
}

void TRedozIrView::RotateLayer(TLayerPass& P) {
  TIELayer* L = P.L;
  const int W = L->GetWidth(), H = L->GetHeight();
  if (W <= 0 || H <= 0) return;
  const double angle = L->GetRotate();
  TIELayerPaintCache& cache = LayerCache(L);
  TIEBitmap* rotated = nullptr;
  if (cache.Rotated && cache.RotatedFrom == P.B && cache.Angle == angle && cache.RotatedW == W &&
      cache.RotatedH == H) {
    rotated = cache.Rotated.get();
  } else {
    auto sized = TIEBitmap::CreateSized(W, H, P.B->PixelFormat());
    if (sized->Width() != W || sized->Height() != H) throw EOutOfMemory("Cannot allocate a rotated layer");
    P.B->CopyPaletteTo(sized.get());
    _IEResampleIEBitmap(P.B, sized.get(), rfNone, TIEProgressEvent(), nullptr);
    TIEBitmap* plane = sized->GetAlphaChannel();
    auto turned = std::make_unique<TIEBitmap>();
    _IERotateInto(sized.get(), turned.get(), 0, nullptr, TIEProgressEvent(), angle);
    auto turnedPlane = std::make_unique<TIEBitmap>();
    _IERotateInto(plane, turnedPlane.get(), 0, nullptr, TIEProgressEvent(), angle);
    turnedPlane->SetFull(false);
    turned->SetAlphaChannel(turnedPlane.release());
    cache.Rotated = std::move(turned);
    cache.RotatedFrom = P.B;
    cache.Angle = angle;
    cache.RotatedW = W;
    cache.RotatedH = H;
    cache.Resampled.reset();
    rotated = cache.Rotated.get();
  }
  // The corners turn about the rotation centre, counter-clockwise on screen.
  const double a = angle * std::numbers::pi / 180.0, ca = std::cos(a), sa = std::sin(a);
  const int cx = ToIntTrunc(W * L->RotateCenterX), cy = ToIntTrunc(H * L->RotateCenterY);
  const double corners[4][2] = {{0, 0}, {double(W), 0}, {double(W), double(H)}, {0, double(H)}};
  double rx[4], ry[4];
  for (int k = 0; k < 4; ++k) {
    double dx = corners[k][0] - cx, dy = corners[k][1] - cy;
    rx[k] = cx + dx * ca + dy * sa;
    ry[k] = cy - dx * sa + dy * ca;
  }
  P.Rotated = true;
  P.SavedWidth = L->Width;
  P.SavedHeight = L->Height;
  P.SavedPosX = L->PosX;
  P.SavedPosY = L->PosY;
  for (int k = 0; k < 4; ++k)
    L->DrawingInfo.RotatedDest[k] =
        TPoint{Sum(ToIntTrunc((rx[k] + P.SavedPosX) * fZoomD100X), fImageLeft - fViewX),
               Sum(ToIntTrunc((ry[k] + P.SavedPosY) * fZoomD100Y), fImageTop - fViewY)};
  L->PosX = Sum(P.SavedPosX, ToIntTrunc(*std::min_element(rx, rx + 4)));
  L->PosY = Sum(P.SavedPosY, ToIntTrunc(*std::min_element(ry, ry + 4)));
  L->Width = rotated->Width();
  L->Height = rotated->Height();
  P.B = rotated;
}

void TRedozIrView::MagnifyLayer(TLayerPass& P, TIEBitmap* Dest) {
  TIELayer* L = P.L;
  TIEBitmap* B = P.B;
  P.Cacheable = false;  // what it shows changes with everything under it
  if (!LayerMouseTransform) {
    int nw = L->Width > 0 ? L->Width : B->Width(), nh = L->Height > 0 ? L->Height : B->Height();
    if (nw != B->Width() || nh != B->Height())
      B->Resize(nw, nh, static_cast<double>(Background()), 255, 0, 0);
  }
  const double rate = L->Magnify.Rate;
  const int w = ToIntTrunc(B->Width() / (rate / fZoomD100X)),
            h = ToIntTrunc(B->Height() / (rate / fZoomD100Y));
  const int cx = Sum(XBmp2Scr(L->PosX), ToIntTrunc(B->Width() * fZoomD100X / 2));
  const int cy = Sum(YBmp2Scr(L->PosY), ToIntTrunc(B->Height() * fZoomD100Y / 2));
  const int left = cx - w / 2, top = cy - h / 2, right = cx + w - w / 2, bottom = cy + h - h / 2;
  if (L->Magnify.Source == 1) {
    if (B->Width() > 0 && B->Height() > 0 && w > 0 && h > 0) {
      TCanvas* from = Dest->GetCanvas();
      TCanvas* to = B->GetCanvas();
      to->CopyRect(Rect(0, 0, B->Width(), B->Height()), *from, TRect{left, top, right, bottom});
    }
  } else if (L->Magnify.Source == 0) {
    if (B->PixelFormat() != ie24RGB) B->ConvertToPixelFormat(ie24RGB);
    TIEBitmap* l0 = fLayers[0]->Bitmap;
    int bl = XScr2Bmp(left), bt = YScr2Bmp(top), br = XScr2Bmp(right), bb = YScr2Bmp(bottom);
    int sw = br - bl + 1, sh = bb - bt + 1;
    if (bl >= 0 && bt >= 0 && sw > 0 && sh > 0 && bl < l0->Width() - sw && bt < l0->Height() - sh &&
        sw < l0->Width() && sh < l0->Height()) {
      B->Fill(0);
      l0->RenderToTIEBitmapEx(B, nullptr, nullptr, 0, 0, B->Width(), B->Height(), bl, bt, sw, sh, false,
                              false, 255, P.Filter, 0);
    }
  }
  if (L->Magnify.Style == 0) {
    TIEBitmap* a = B->GetAlphaChannel();
    a->Fill(255);
    a->SetFull(true);
  } else if (L->Magnify.Style == 1) {
    // The ellipse inscribed in (0, 0, width - 1, height - 1), as the
    // platform's Ellipse fills it: pixel centres inside.
    TIEBitmap* a = B->GetAlphaChannel();
    const double rx = (B->Width() - 1) / 2.0, ry = (B->Height() - 1) / 2.0;
    for (int y = 0; y < a->Height(); ++y) {
      std::uint8_t* row = a->GetScanline(y);
      double dy = ry > 0 ? (y + 0.5 - ry) / ry : 2;
      for (int x = 0; x < a->Width(); ++x) {
        double dx = rx > 0 ? (x + 0.5 - rx) / rx : 2;
        row[x] = dx * dx + dy * dy <= 1.0 ? 255 : 0;
      }
    }
    a->SetFull(false);
  }
}

// A client position whose conversion back misses the layer's edge moves one
// pixel toward it.
int TRedozIrView::PlacedX(int Pos) {
  int x = XBmp2Scr(Pos), back = XScr2Bmp(x);
  return back < Pos ? x + 1 : back > Pos ? x - 1 : x;
}

int TRedozIrView::PlacedY(int Pos) {
  int y = YBmp2Scr(Pos), back = YScr2Bmp(y);
  return back < Pos ? y + 1 : back > Pos ? y - 1 : y;
}

void TRedozIrView::PlaceLayer(TLayerPass& P, TIEBitmap* Dest, const TRect* ClipRect) {
  TIELayer* L = P.L;
  TIEBitmap* B = P.B;
  auto nudgeX = [this](int pos) { return PlacedX(pos); };
  auto nudgeY = [this](int pos) { return PlacedY(pos); };
  const int lw = L->Width ? L->Width : B->Width(), lh = L->Height ? L->Height : B->Height();
  int x = nudgeX(L->PosX), y = nudgeY(L->PosY);
  int w = nudgeX(Sum(L->PosX, lw)) - x, h = nudgeY(Sum(L->PosY, lh)) - y;
  int xs = 0, ys = 0, dxs = B->Width(), dys = B->Height();
  L->ClientAreaBox = TRect{x, y, x + w, y + h};
  if (L->Cropped) {
    const TRect box = L->ClientAreaBox;
    const TIEBitmap* l0 = fLayers[0]->Bitmap;
    if (XScr2Bmp(x) < 0 && lw != 0) {
      xs = -ToIntTrunc(static_cast<double>(B->Width()) / lw * L->PosX);
      dxs = B->Width() - xs;
      x = XBmp2Scr(0);
      w = XBmp2Scr(Sum(L->PosX, lw)) - x;
    }
    if (l0->Width() < XScr2Bmp(x + w) && box.Width() != 0) {
      w = XBmp2Scr(l0->Width()) - x;
      dxs = ToIntTrunc(static_cast<double>(B->Width()) / box.Width() * w);
    }
    if (YScr2Bmp(y) < 0 && lh != 0) {
      ys = -ToIntTrunc(static_cast<double>(B->Height()) / lh * L->PosY);
      dys = B->Height() - ys;
      y = YBmp2Scr(0);
      h = YBmp2Scr(Sum(L->PosY, lh)) - y;
    }
    if (l0->Height() < YScr2Bmp(y + h) && box.Height() != 0) {
      h = YBmp2Scr(l0->Height()) - y;
      dys = ToIntTrunc(static_cast<double>(B->Height()) / box.Height() * h);
    }
  }
  if (w > 0 && h > 0 && dxs > 0 && dys > 0)
    RenderLayer(L, B, Dest, ClipRect, Bounds(x, y, w, h), Bounds(xs, ys, dxs, dys), P.Filter,
                BackgroundStyle() == iebsSolid && P.First, P.Cacheable);
  TIELayerDrawingInfo& di = L->DrawingInfo;
  di.XDst = x;
  di.YDst = y;
  di.dxDst = w;
  di.dyDst = h;
  di.XSrc = xs;
  di.YSrc = ys;
  di.dxSrc = dxs;
  di.dySrc = dys;
}

void TRedozIrView::RenderLayer(TIELayer* L, TIEBitmap* B, TIEBitmap* Dest, const TRect* ClipRect,
                               const TRect& Dst, const TRect& Src, TResampleFilter Filter, bool SolidHint,
                               bool Cacheable) {
  RecordLayerStep(L, B, Dst, Src, Filter, SolidHint);
  if (fPlanning) return;
  const int dw = Dst.Width(), dh = Dst.Height();
  if (dw <= 0 || dh <= 0 || Src.Width() <= 0 || Src.Height() <= 0) return;
  // The source rectangle inside the bitmap, as the renderer keeps it.
  int sx0 = std::clamp(Src.Left, 0, B->Width() - 1), sy0 = std::clamp(Src.Top, 0, B->Height() - 1);
  int sx1 =
      static_cast<int>(std::clamp<std::int64_t>(std::int64_t(Src.Left) + Src.Width(), sx0 + 1, B->Width()));
  int sy1 =
      static_cast<int>(std::clamp<std::int64_t>(std::int64_t(Src.Top) + Src.Height(), sy0 + 1, B->Height()));
  const TRect src{sx0, sy0, sx1, sy1};
  const bool stretched = !(src.Width() == dw && src.Height() == dh);
  const bool oneBitReduction = B->PixelFormat() == ie1g && dw < src.Width() && dh < src.Height();
  TIELayerPaintCache& cache = LayerCache(L);
  TIEBitmap* alpha = B->HasAlphaChannel() ? B->GetAlphaChannel() : nullptr;
  const std::int64_t key[11] = {
      B->Width(), B->Height(), B->PixelFormat(),         src.Left, src.Top, src.Width(), src.Height(), dw,
      dh,         Filter,      alpha ? alpha->Full() : 2};
  bool whole = stretched && Cacheable && !(Filter != rfNone && oneBitReduction) &&
               static_cast<std::int64_t>(dw) * dh <= kIEWholeRenderPixels;
  const bool kept =
      cache.Resampled && cache.From == B && cache.FromAlpha == alpha && std::equal(key, key + 11, cache.Key);
  // Only the render just before counts: a zoom gesture that comes back to a
  // size it showed a few steps ago (in, then out) is not resting there.
  const bool again = std::equal(key, key + 11, cache.LastKey);
  std::copy(key, key + 11, cache.LastKey);
  if (whole && !kept) {
    // A copy much larger than what shows (a zoom step over a big picture)
    // costs more than it saves: the renderer then makes the visible part
    // alone, with the same bytes (the nearest pixels, or a window of a
    // kernel or the fast linear filter), and the copy is made once the view
    // rests at that size (a scroll, a drag, a repaint). The nearest pixels
    // cost no more to draw from the layer than from a copy of any size: their
    // copy waits for the view to rest at every size (a zoom step draws
    // straight).
    TRect shown;
    IntersectRect(shown, Dst, Rect(0, 0, Dest->Width(), Dest->Height()));
    if (ClipRect) IntersectRect(shown, shown, *ClipRect);
    const bool windowed = (Filter >= rfTriangle && Filter <= rfLinear) ||
                          (Filter == rfFastLinear && B->PixelFormat() == ie24RGB);
    const bool large =
        static_cast<std::int64_t>(dw) * dh > 2 * static_cast<std::int64_t>(shown.Width()) * shown.Height();
    if (((large && windowed) || Filter == rfNone) && !again) whole = false;
  }
  if (whole) {
    // The stretched source is the same from one composition to the next
    // while nothing changes but the position: it is made once, and then
    // drawn one to one.
    if (!kept) {
      cache.Resampled.reset();
      std::unique_ptr<TIEBitmap> out;
      if (Filter == rfNone) {
        // The renderer's own nearest pixels, colour and alpha alike.
        out = TIEBitmap::CreateSized(dw, dh, ie24RGB);
        if (out->Width() != dw || out->Height() != dh)
          throw EOutOfMemory("Cannot allocate a stretched layer");
        B->RenderToTIEBitmapEx(out.get(), nullptr, nullptr, 0, 0, dw, dh, src.Left, src.Top, src.Width(),
                               src.Height(), false, false, 255, rfNone, 0);
        if (alpha) NearestPlane(alpha, src, out->GetAlphaChannel());
      } else {
        std::unique_ptr<TIEBitmap> part;
        TIEBitmap* from = B;
        if (src != Rect(0, 0, B->Width(), B->Height())) {
          part = CopyPart(B, src);
          from = part.get();
        }
        out = TIEBitmap::CreateSized(dw, dh, B->PixelFormat());
        if (out->Width() != dw || out->Height() != dh)
          throw EOutOfMemory("Cannot allocate a resampled layer");
        _IEResampleIEBitmap(from, out.get(), Filter, TIEProgressEvent(), nullptr);
      }
      cache.Resampled = std::move(out);
      cache.From = B;
      cache.FromAlpha = alpha;
      std::copy(key, key + 11, cache.Key);
    }
    cache.Resampled->RenderToTIEBitmapEx(Dest, nullptr, ClipRect, Dst.Left, Dst.Top, dw, dh, 0, 0, dw, dh,
                                         EnableAlphaChannel(), SolidHint, L->Transparency, rfNone,
                                         L->Operation);
    return;
  }
  // An alpha plane of another size than its bitmap is brought to it (opaque)
  // before the renderer reads it row by row.
  if (B->HasAlphaChannel()) B->GetAlphaChannel();
  cache.Render.KeepFiltered = true;
  B->RenderToTIEBitmapEx(Dest, Cacheable ? &cache.Render : nullptr, ClipRect, Dst.Left, Dst.Top, dw, dh,
                         src.Left, src.Top, src.Width(), src.Height(), EnableAlphaChannel(), SolidHint,
                         L->Transparency, Filter, L->Operation);
}

// ---- decorations

void TRedozIrView::DrawDecorations(TLayerPass& P, TIEBitmap* Dest) {
  if (!P.DrawDecorations) return;
  TIELayer* L = P.L;
  const bool current = P.Index == fLayersCurrent;
  const bool resize = IEInMouseInteract(fMouseInteract, miResizeLayers);
  const bool box =
      L->VisibleBox && (current ? resize || IEInMouseInteract(fMouseInteract, miMoveLayers) : LayersDrawBox);
  const bool grips = L->VisibleBox && current && resize && !L->Locked;
  const bool rotationGrip = L->VisibleBox && current && IEInMouseInteract(fMouseInteract, miRotateLayers);
  const bool dim = L->DimOutside && current;
  if (!(box || grips || rotationGrip || dim) || !KeepNoFrame()) return;
  TBitmap* bmp = Dest->GetVclBitmap();
  if (box) DrawLayerBox(bmp, P.Index);
  if (grips) DrawLayerGrips(bmp, P.Index);
  if (rotationGrip) DrawLayerRotationGrip(bmp, P.Index);
  if (dim) DimOutsideLayer(bmp, P.Index);
}

std::array<TRect, 9> TRedozIrView::GetLayerGrips(int LayerIndex) {
  TIELayer* L = GetLayer(LayerIndex);
  const int r = GripSize;
  auto square = [r](int x, int y) { return TRect{x - r, y - r, x + r, y + r}; };
  std::array<TRect, 9> g;
  if (L->GetRotate() == 0) {
    const TRect& b = L->ClientAreaBox;
    int mx = (b.Left + b.Right) / 2, my = (b.Top + b.Bottom) / 2;
    g = {square(b.Left, b.Top),    square(b.Right, b.Top), square(b.Right, b.Bottom),
         square(b.Left, b.Bottom), square(b.Left, my),     square(b.Right, my),
         square(mx, b.Top),        square(mx, b.Bottom),   TRect{}};
  } else {
    const TPoint* c = L->DrawingInfo.RotatedDest;
    auto mid = [&](int a, int b) { return square((c[a].X + c[b].X) / 2, (c[a].Y + c[b].Y) / 2); };
    g = {square(c[0].X, c[0].Y),
         square(c[1].X, c[1].Y),
         square(c[2].X, c[2].Y),
         square(c[3].X, c[3].Y),
         mid(0, 3),
         mid(1, 2),
         mid(0, 1),
         mid(2, 3),
         TRect{}};
  }
  TIEBitmap* B = L->Bitmap;
  g[8] = square(LayerXBmp2Scr(L, ToInt(B->Width() * L->RotateCenterX)),
                LayerYBmp2Scr(L, ToInt(B->Height() * L->RotateCenterY)));
  return g;
}

int TRedozIrView::GetLayerGripAt(int X, int Y) {
  if (fLayersCurrent < 0 || fLayersCurrent >= GetLayersCount()) return ieNone;
  std::array<TRect, 9> g = GetLayerGrips(fLayersCurrent);
  for (int k = 0; k < 9; ++k) {
    if (!InBox(g[static_cast<size_t>(k)], X, Y)) continue;
    if (k == 8 && !IEInMouseInteract(fMouseInteract, miRotateLayers)) return ieNone;
    return k + 1;
  }
  return ieNone;
}

void TRedozIrView::DrawLayerBox(TBitmap* ABitmap, int LayerIndex) {
  if (OnDrawLayerBox) {
    OnDrawLayerBox(this, ABitmap, LayerIndex);
    return;
  }
  if (!ABitmap) return;
  TIELayer* L = GetLayer(LayerIndex);
  TCanvas* c = ABitmap->Canvas();
  TPen oldPen = c->Pen;
  TBrush oldBrush = c->Brush;
  c->Pen = LayerBoxPen;
  c->Brush.Style = bsClear;
  if (L->GetRotate() == 0)
    c->Rectangle(L->ClientAreaBox);
  else
    c->Polygon(L->DrawingInfo.RotatedDest, 4);
  c->Pen = oldPen;
  c->Brush = oldBrush;
}

void TRedozIrView::DrawLayerGrips(TBitmap* ABitmap, int LayerIndex) {
  std::array<TRect, 9> g = GetLayerGrips(LayerIndex);
  if (OnDrawLayerGrip) {
    for (int k = 0; k < 9; ++k) OnDrawLayerGrip(this, ABitmap, LayerIndex, k, g[static_cast<size_t>(k)]);
    return;
  }
  if (!ABitmap || (GripShape != 0 && GripShape != 1)) return;
  TIECanvas c(ABitmap->Canvas(), true, true);
  c.Pen()->SetStyle(psSolid);
  c.Pen()->SetMode(pmCopy);
  c.Pen()->SetColor(GripPenColor);
  c.Pen()->SetWidth(1.0f);
  c.Brush()->SetStyle(GripBrushStyle);
  c.Brush()->SetColor(GripBrushColor);
  for (int k = 0; k < 8; ++k) {
    if (GripShape == 0)
      c.Rectangle(g[static_cast<size_t>(k)]);
    else
      c.Ellipse(g[static_cast<size_t>(k)]);
  }
}

void TRedozIrView::DrawLayerRotationGrip(TBitmap* ABitmap, int LayerIndex) {
  if (!ABitmap) return;
  std::array<TRect, 9> g = GetLayerGrips(LayerIndex);
  TIECanvas c(ABitmap->Canvas(), true, true);
  c.Pen()->SetStyle(psSolid);
  c.Pen()->SetMode(pmCopy);
  c.Pen()->SetColor(GripPenColor);
  c.Brush()->SetStyle(GripBrushStyle);
  c.Brush()->SetColor(GripBrushColor);
  c.Ellipse(g[8]);
}

void TRedozIrView::DimOutsideLayer(TBitmap* ABitmap, int LayerIndex) {
  if (!ABitmap || (ABitmap->BitCount() != 24 && ABitmap->BitCount() != 32)) return;
  const TRect box = GetLayer(LayerIndex)->ClientAreaBox;
  const int bpp = ABitmap->BitCount() / 8;
  for (int y = 0; y < ABitmap->Height(); ++y) {
    std::uint8_t* row = ABitmap->ScanLine(y);
    for (int x = (y & 1); x < ABitmap->Width(); x += 2) {
      if (InBox(box, x, y)) continue;
      std::uint8_t* p = row + static_cast<std::size_t>(x) * bpp;
      p[0] = p[1] = p[2] = kDimGrey;
    }
  }
}

void TRedozIrView::PaintOuterModes(TIEBitmap* Dest) {
  if ((LayersOuterMode != 2 && LayersOuterMode != 3) || !KeepNoFrame()) return;
  const TIELayerDrawingInfo& d = fLayers[0]->DrawingInfo;
  const std::int64_t x0 = d.XDst, x1 = std::int64_t(d.XDst) + d.dxDst;
  const std::int64_t y0 = d.YDst, y1 = std::int64_t(d.YDst) + d.dyDst;
  const int add = LayersOuterValue;
  for (int y = 0; y < Dest->Height(); ++y) {
    std::uint8_t* row = Dest->GetScanline(y);
    for (int x = 0; x < Dest->Width(); ++x) {
      std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
      if (LayersOuterMode == 2) {
        if (x >= x0 && x <= x1 && y >= y0 && y <= y1) continue;
        if (((x + y) & 1) == 0) p[0] = p[1] = p[2] = kOuterGrey;
      } else {
        if (x >= x0 && x < x1 && y >= y0 && y < y1) continue;
        for (int k = 0; k < 3; ++k) p[k] = static_cast<std::uint8_t>(std::clamp(p[k] + add, 0, 255));
      }
    }
  }
}

void TRedozIrView::PaintPixelGrid(TIEBitmap* Dest) {
  if (!DisplayGrid || fLayersCurrent < 0 || fLayersCurrent >= GetLayersCount()) return;
  TIELayer* L = fLayers[static_cast<size_t>(fLayersCurrent)];
  if (!L->Visible) return;
  const int threshold = IEGridZoomThreshold();
  if (fZoomX < threshold && fZoomY < threshold) return;
  const TIEBitmap* l0 = fLayers[0]->Bitmap;
  if (l0->Width() < 2 && l0->Height() < 2) return;
  const TIELayerDrawingInfo& d = L->DrawingInfo;
  if (d.dxSrc <= 0 || d.dySrc <= 0 || d.dxDst <= 0 || d.dyDst <= 0 || !KeepNoFrame()) return;
  TCanvas* c = Dest->GetCanvas();
  TPen oldPen = c->Pen;
  c->Pen = IEGridPen();
  const int W = Dest->Width(), H = Dest->Height();
  // Only the lines that reach the client are drawn: at a deep zoom of a big
  // picture most of them lie far outside it.
  auto span = [](int dst, int ddst, int dsrc, int size, int& k0, int& k1) {
    double step = static_cast<double>(ddst) / dsrc;
    k0 = std::max(0, static_cast<int>(std::floor((0.0 - dst) / step)) - 1);
    k1 = std::min(dsrc, static_cast<int>(std::ceil((static_cast<double>(size) - dst) / step)) + 1);
  };
  int k0, k1;
  const int ya = std::clamp(d.YDst, -1, H + 1),
            yb = static_cast<int>(std::clamp<std::int64_t>(std::int64_t(d.YDst) + d.dyDst, -1, H + 1));
  const int xa = std::clamp(d.XDst, -1, W + 1),
            xb = static_cast<int>(std::clamp<std::int64_t>(std::int64_t(d.XDst) + d.dxDst, -1, W + 1));
  span(d.XDst, d.dxDst, d.dxSrc, W, k0, k1);
  for (int k = k0; k <= k1; ++k) {
    int x = ToInt(d.XDst + static_cast<double>(k) * d.dxDst / d.dxSrc);
    c->MoveTo(x, ya);
    c->LineTo(x, yb);
  }
  span(d.YDst, d.dyDst, d.dySrc, H, k0, k1);
  for (int k = k0; k <= k1; ++k) {
    int y = ToInt(d.YDst + static_cast<double>(k) * d.dyDst / d.dySrc);
    c->MoveTo(xa, y);
    c->LineTo(xb, y);
  }
  c->Pen = oldPen;
  if (HighlightedPixel.X >= 0 && HighlightedPixel.Y >= 0) {
    TIECanvas ac(c, true, true);
    ac.Pen()->SetStyle(psSolid);
    ac.Pen()->SetMode(pmCopy);
    ac.Pen()->SetColor(static_cast<TColor>(255));
    ac.Pen()->SetWidth(2.0f);
    ac.Brush()->SetStyle(bsClear);
    ac.RoundRect(LayerXBmp2Scr(L, HighlightedPixel.X), LayerYBmp2Scr(L, HighlightedPixel.Y),
                 LayerXBmp2Scr(L, HighlightedPixel.X + 1), LayerYBmp2Scr(L, HighlightedPixel.Y + 1), 5, 5);
  }
}

}  // namespace redozir
