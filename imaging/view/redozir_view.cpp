// TRedozIrView: construction and teardown, the owned components, the current
// bitmap and its platform bitmap, the update and paint locks.
#include "imaging/view/redozir_view.h"

#include <algorithm>
#include <mutex>
#include <new>

#include "imaging/core/iebitmap.h"
#include "imaging/core/iegdiplus.h"
#include "platform/application.h"

namespace redozir {

namespace {
constexpr int kDefaultDpi = 300;
constexpr int kNewViewSize = 105;
// What a view without a window takes for its client size.
constexpr int kWindowlessClientSize = 50;
// The view's default cursor, its own cross ("CROCE3").
constexpr TCursor kViewCursor = 1785;
}  // namespace

TRedozIrView::TRedozIrView(TComponent* AOwner) : TIEView(AOwner) {
  static std::once_flag unitStarted;
  std::call_once(unitStarted, IEInitView);
  IEInitLayersStream();
  LockUpdate();
  // The view paints every pixel of its client area: nothing is erased first.
  Opaque = true;
  IEGDIPLoadLibrary();
  try {
    // The current bitmap keeps its pixels in a platform bitmap of its own, so
    // that GetBitmap always names the one it lives in, whatever later loads
    // or format changes do with it.
    auto bitmap = std::make_unique<TIEBitmap>();
    bitmap->SetLocation(ieTBitmap);
    bitmap->SetIsVclBitmap(true);
    auto layer = std::make_unique<TIELayer>(this, true, bitmap.get());
    fIEBitmap = bitmap.release();
    layer->VisibleBox = false;
    layer->Locked = true;
    fLayers.push_back(layer.release());
    fLayersCurrent = 0;
    fImageWidth = fIEBitmap->Width();
    fImageHeight = fIEBitmap->Height();
    fSelectionMask->AllocateBits(fIEBitmap->Width(), fIEBitmap->Height(), 1);
    RegisterCursors();
    SetCursor(kViewCursor);
    SetBounds(Left(), Top(), kNewViewSize, kNewViewSize);
    SetDpi(kDefaultDpi, kDefaultDpi);
    if (!(ComponentState() & csDesigning)) {
      fBackBuffer = std::make_unique<TIEBitmap>();
      fBackBuffer->SetLocation(ieTBitmap);
      if (!fBackBuffer->Allocate(10, 10, ie24RGB)) throw EOutOfMemory("Cannot allocate the back buffer");
    }
  } catch (...) {
    for (TIELayer* l : fLayers) delete l;
    IEGDIPUnloadLibrary();
    throw;
  }
  UnlockUpdate();
}

TRedozIrView::~TRedozIrView() {
  // No update may run while the parts below go away, nor a component's
  // load still write into them.
  Destroying();
  ReleaseBitmapChangeEvents();
  StopSmoothScroll();
  SyncLayers();
  fTransition.reset();
  SetOverviewView(nullptr);
  fIO.reset();
  fProc.reset();
  fBackBuffer.reset();
  // Layer 0 (or whichever layer owns it) frees the current bitmap and the
  // platform bitmap it lives in; an attached bitmap is not the view's.
  for (TIELayer* l : fLayers) delete l;
  fLayers.clear();
  fIEBitmap = nullptr;
  IEGDIPUnloadLibrary();
}

TRedozIrIO* TRedozIrView::GetIO() {
  // Made whole before the view takes it: a failure halfway leaves no
  // component that is not attached.
  if (fIO) return fIO.get();
  try {
    auto io = std::make_unique<TRedozIrIO>(this);
    io->SetAttachedRedozIr(this);
    io->OnProgress = fOnProgress;
    io->OnFinishWork = fOnFinishWork;
    fIO = std::move(io);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Not enough memory to make the view's I/O component");
  }
  return fIO.get();
}

TRedozIrProc* TRedozIrView::GetProc() {
  if (!fProc) {
    auto proc = std::make_unique<TRedozIrProc>(this);
    proc->SetAttachedRedozIr(this);
    proc->OnProgress = fOnProgress;
    proc->OnFinishWork = fOnFinishWork;
    proc->OnSaveUndo = fOnSaveUndo;
    fProc = std::move(proc);
  }
  return fProc.get();
}

void TRedozIrView::SetOnProgress(TIEProgressEvent v) {
  fOnProgress = std::move(v);
  if (fIO) fIO->OnProgress = fOnProgress;
  if (fProc) fProc->OnProgress = fOnProgress;
}

void TRedozIrView::SetOnFinishWork(TNotifyEvent v) {
  fOnFinishWork = std::move(v);
  if (fIO) fIO->OnFinishWork = fOnFinishWork;
  if (fProc) fProc->OnFinishWork = fOnFinishWork;
}

void TRedozIrView::SetOnSaveUndo(TIESaveUndoEvent v) {
  fOnSaveUndo = std::move(v);
  if (fProc) fProc->OnSaveUndo = fOnSaveUndo;
}

TBitmap* TRedozIrView::GetBitmap() {
  // Whichever layer is current: its bitmap's platform bitmap when it lives
  // in one, also with LegacyBitmap off (a layer keeps its own location).
  if (!fIEBitmap || fIEBitmap->Location() != ieTBitmap) return nullptr;
  return fIEBitmap->GetVclBitmap();
}

void TRedozIrView::SetLegacyBitmap(bool Value) {
  if (Value == fLegacyBitmap) return;
  if (fIEBitmap) {
    if (Value) {
      fIEBitmap->SetLocation(ieTBitmap);
      fIEBitmap->SetIsVclBitmap(true);
    } else {
      // Plain memory, unless the image is beyond the bitmap's own threshold
      // for the disk buffer.
      fIEBitmap->SetIsVclBitmap(false);
      std::int64_t bytes = static_cast<std::int64_t>(fIEBitmap->GetRowLen()) * fIEBitmap->Height();
      std::int64_t threshold = fIEBitmap->MemoryThreshold();
      fIEBitmap->SetLocation(threshold >= 0 && bytes > threshold ? ieFile : ieMemory);
    }
  }
  fLegacyBitmap = Value;
  CallBitmapChangeEvents();
  Update();
}

void TRedozIrView::AttachIEBitmap(TIEBitmap* Bitmap) {
  if (fLayersCurrent < 0 || fLayersCurrent >= GetLayersCount()) return;
  TIELayer* layer = fLayers[fLayersCurrent];
  if (Bitmap == fIEBitmap && Bitmap) return;
  layer->Bitmap = fIEBitmap;
  if (layer->FreeBitmapOnDestroy) delete fIEBitmap;
  fIEBitmap = nullptr;
  if (Bitmap) {
    layer->Bitmap = Bitmap;
    layer->FreeBitmapOnDestroy = false;
    fIEBitmap = Bitmap;
    CallBitmapChangeEvents();
    Update();
  } else {
    layer->Bitmap = new TIEBitmap();
    layer->FreeBitmapOnDestroy = true;
    fIEBitmap = layer->Bitmap;
    // The components must let go of the bitmap just detached (it may be
    // freed by its owner at once), even though nothing is redrawn.
    CallBitmapChangeEvents();
  }
}

bool TRedozIrView::IsEmpty() { return fIEBitmap->Width() < 2 && fIEBitmap->Height() < 2; }

TIEBitmap* TRedozIrView::GetAlphaChannel() { return fIEBitmap->GetAlphaChannel(); }
bool TRedozIrView::GetHasAlphaChannel() { return fIEBitmap->HasAlphaChannel(); }
void TRedozIrView::RemoveAlphaChannel(bool Merge) { fIEBitmap->RemoveAlphaChannel(Merge, Background()); }

void TRedozIrView::Clear() {
  fIEBitmap->Fill(static_cast<double>(Background()));
  fIEBitmap->RemoveAlphaChannel(false);
  Update();
}

void TRedozIrView::Blank() {
  StopTransition();
  fIEBitmap->SetWidth(1);
  fIEBitmap->SetHeight(1);
  Clear();
}

void TRedozIrView::Assign(TRedozIrView* Source) {
  if (!Source) {
    Clear();
    return;
  }
  if (Source == this) return;
  fIEBitmap->Assign(Source->fIEBitmap);
  TIEView::SetBackground(Source->Background());
  SetDpi(Source->DpiX(), Source->DpiY());
  Update();
  DoImageChange();
}

void TRedozIrView::Assign(TBitmap* Source) {
  if (!Source) {
    Clear();
    return;
  }
  fIEBitmap->Assign(Source);
  if (fIEBitmap->GetPixelFormat() != ie1g && fIEBitmap->GetPixelFormat() != ie24RGB)
    fIEBitmap->ConvertToPixelFormat(ie24RGB);
  Update();
  DoImageChange();
}

void TRedozIrView::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TIEView::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (fIEBitmap && (ComponentState() & (csLoading | csReading | csDesigning))) {
    TIEPixelFormat pf = fIEBitmap->PixelFormat();
    if (!fIEBitmap->Allocate(Width(), Height(), pf == ienull ? ie24RGB : pf))
      throw EOutOfMemory("Cannot allocate the view's image");
    Clear();
  }
}

void TRedozIrView::SetBackground(TColor Value) {
  TIEView::SetBackground(Value);
  if (ComponentState() & csDesigning) Clear();
  fRepaintMode = 4;
  Update();
  DoImageChange();
}

void TRedozIrView::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case IEM_UPDATE: Update(); return;
    case WM_SIZE:
      TIEView::WndProc(Message);
      // Scroll bars coming or going change only the client area, and the
      // update that showed or hid them lays the view out again itself.
      if (!fInUpdate && (Width() != fSizedWidth || Height() != fSizedHeight)) {
        fSizedWidth = Width();
        fSizedHeight = Height();
        StopTransition();
        fRepaintMode = 4;
        Update();
      }
      return;
    case IEM_PROGRESS:
      if (TIEProgressEvent e = GetOnProgress()) e(this, static_cast<int>(Message.WParam));
      return;
    case IEM_FINISHWORK:
      if (TNotifyEvent e = GetOnFinishWork()) e(this);
      return;
    case WM_CONTEXTMENU:
      // A right click that zoomed, picked a layer or ended a polygon was the
      // view's; the context-menu key always shows the menu.
      if (Message.LParam != -1 && fSel->RightUsed) {
        Message.Result = 1;
        return;
      }
      TIEView::WndProc(Message);
      return;
    default:
      if (!ViewMessage(Message) && !ScrollMessage(Message)) TIEView::WndProc(Message);
  }
}

void TRedozIrView::DoImageChange() {
  TIEView::DoImageChange();
  if (OnImageChange) OnImageChange(this);
}

void TRedozIrView::SetCenter(bool v) {
  if (v == fCenter) return;
  fCenter = v;
  fRepaintMode = 1;
  Update();
}

void TRedozIrView::SetZoomFilter(TResampleFilter v) {
  fZoomFilterAsked = v;
  if (v == fZoomFilter) return;
  fZoomFilter = v;
  Update();
}

void TRedozIrView::SetBackgroundStyle(TIEBackgroundStyle v) {
  fBackgroundStyle = v;
  Invalidate();
  fRepaintMode = 4;
  Update();
}

void TRedozIrView::SetWallPaperStyle(TIEWallPaperStyle v) {
  if (v == fWallPaperStyle) return;
  fWallPaperStyle = v;
  fRepaintMode = 4;
  Update();
}

void TRedozIrView::SetDrawVersion(bool v) {
  fDrawVersion = v;
  if (HasParentWindow()) Invalidate();
}

void TRedozIrView::SetEnableAlphaChannel(bool v) {
  fEnableAlphaChannel = v;
  Update();
}

// ---- update control

bool TRedozIrView::UpdateBlocked() const {
  constexpr TComponentState busy =
      csLoading | csReading | csWriting | csDestroying | csUpdating | csDesigning;
  return fUpdateLock > 0 || (ComponentState() & busy) != 0 || fInUpdate;
}

void TRedozIrView::Update() {
  if (UpdateBlocked()) return;
  fInUpdate = true;
  try {
    DoUpdate();
  } catch (...) {
    fRepaintMode = 0;
    fInUpdate = false;
    throw;
  }
  fRepaintMode = 0;
  fInUpdate = false;
}

void TRedozIrView::UpdateAfterChange() {
  try {
    Update();
  } catch (const std::bad_alloc&) {
    if (HandleAllocated()) PostMessage(Handle(), IEM_UPDATE, 0, 0);
  } catch (const EOutOfMemory&) {
    if (HandleAllocated()) PostMessage(Handle(), IEM_UPDATE, 0, 0);
  }
}

void TRedozIrView::DoUpdate() {
  // An update may bring any layer new pixels: the frame in the back buffer
  // is not moved at a scroll after it.
  fFrame.Movable = false;
  // What the layers keep (the alpha combined with a mask, the turned bitmap,
  // the stretched copy) is good until the next update, but for the updates
  // of a zoom change: a zoom moves no pixel of a layer, and what is kept for
  // one size is keyed by it. Re-turning every layer at every zoom step would
  // cost more than the step itself.
  if (fRepaintMode != 2 && !fLayersUnchanged)
    for (TIELayer* l : fLayers) {
      delete l->MaskedAlphaCache;
      l->MaskedAlphaCache = nullptr;
      l->PaintCache.reset();
    }
  SyncLayers();
  if (AutoFit || AutoStretch || AutoShrink) AutoFitZoom();
  FitMaskAndAlpha();
  // Scroll bars, back buffer and invalidation need a window; a hidden view
  // must not make one, but its conversions still follow the image.
  if (HasParentWindow()) {
    UpdateWindowedView();
  } else {
    UpdateImageRect();
    UpdateSourceRect();
    UpdateCoordTables();
  }
}

void TRedozIrView::FitMask(TIEMask& Mask, int Width, int Height) {
  if (Mask.Width() == Width && Mask.Height() == Height) return;
  if (Mask.IsEmpty())
    Mask.AllocateBits(Width, Height, 1);
  else
    Mask.Resize(Width, Height);
}

void TRedozIrView::FitMaskAndAlpha() {
  int w = fIEBitmap->Width(), h = fIEBitmap->Height();
  FitMask(*fSelectionMask, w, h);
  // A loaded alpha plane of another size than the image is of no use: it
  // becomes an opaque plane of the right size.
  if (fIEBitmap->HasAlphaChannel()) {
    TIEBitmap* a = fIEBitmap->GetAlphaChannel();
    if (a->Width() != w || a->Height() != h) {
      if (!a->Allocate(w, h, ie8g)) throw EOutOfMemory("Cannot allocate the alpha plane");
      a->Fill(255);
      a->SetFull(true);
    }
  }
}

void TRedozIrView::UnlockUpdateEx() {
  if (fUpdateLock > 0) --fUpdateLock;
}

void TRedozIrView::UnlockUpdate() {
  UnlockUpdateEx();
  if (fUpdateLock == 0) Update();
}

void TRedozIrView::UnlockPaint() {
  if (UnlockPaintEx() == 0) Update();
}

int TRedozIrView::UnlockPaintEx() {
  if (fPaintLock > 0) --fPaintLock;
  return fPaintLock;
}

// ---- window

bool TRedozIrView::HasParentWindow() { return Parent() != nullptr && HandleAllocated(); }

int TRedozIrView::GetClientWidthEx() {
  if (ClientSizeFromControl) return Width();
  return HasParentWindow() ? ClientWidth() : kWindowlessClientSize;
}

int TRedozIrView::GetClientHeightEx() {
  if (ClientSizeFromControl) return Height();
  return HasParentWindow() ? ClientHeight() : kWindowlessClientSize;
}

}  // namespace redozir
