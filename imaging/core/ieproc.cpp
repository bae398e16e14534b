// TRedozIrProc's core: binding, format preparation, undo and redo, selection
// bounds and the refresh after an operation.
#include "imaging/core/ieproc.h"

#include <algorithm>

#include "imaging/core/iemask.h"
#include "imaging/core/ieview.h"

namespace redozir {

namespace {

// Per pixel format, the formats an operation that refuses it gets instead:
// the nearest richer formats first, then the nearest poorer ones.
constexpr TIEPixelFormat kPreferred[kIEPixelFormatCount][TRedozIrProc::kPreferredFormatCount] = {
    /* ienull   */ {ie24RGB, ie32RGB, ieRGB48, ie8g, ie16g, ie8p, ie1g},
    /* ie1g     */ {ie8g, ie8p, ie24RGB, ie16g, ie32RGB, ieRGB48, ie32f},
    /* ie8p     */ {ie24RGB, ie32RGB, ieRGB48, ieCIELab, ieCMYK, ie8g, ie16g},
    /* ie8g     */ {ie16g, ie32f, ie24RGB, ie32RGB, ieRGB48, ie8p, ie1g},
    /* ie16g    */ {ie32f, ieRGB48, ie8g, ie24RGB, ie32RGB, ieCIELab, ie8p},
    /* ie24RGB  */ {ie32RGB, ieRGB48, ieCMYK, ieCIELab, ie8p, ie16g, ie8g},
    /* ie32f    */ {ie16g, ieRGB48, ie8g, ie24RGB, ie32RGB, ieCIELab, ie8p},
    /* ieCMYK   */ {ie24RGB, ie32RGB, ieRGB48, ieCIELab, ie8p, ie16g, ie8g},
    /* ieRGB48  */ {ie24RGB, ie32RGB, ieCIELab, ieCMYK, ie32f, ie16g, ie8p},
    /* ieCIELab */ {ieRGB48, ie24RGB, ie32RGB, ieCMYK, ie8p, ie16g, ie8g},
    /* ie32RGB  */ {ie24RGB, ieRGB48, ieCMYK, ieCIELab, ie8p, ie16g, ie8g},
};

}  // namespace

TRect IEGetAlphaBounds(TIEBitmap* Bitmap) {
  TRect none = Rect(0, 0, -1, -1);
  if (!Bitmap || Bitmap->GetWidth() == 0 || Bitmap->GetHeight() == 0) return none;
  int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (!Bitmap->HasAlphaChannel()) return Rect(0, 0, w - 1, h - 1);
  TIEBitmap* a = Bitmap->GetAlphaChannel();
  int x1 = w, y1 = h, x2 = -1, y2 = -1;
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* row = a->GetScanline(y);
    int first = -1, last = -1;
    for (int x = 0; x < w; ++x)
      if (row[x]) {
        if (first < 0) first = x;
        last = x;
      }
    if (first < 0) continue;
    x1 = std::min(x1, first);
    x2 = std::max(x2, last);
    y1 = std::min(y1, y);
    y2 = y;
  }
  if (x2 < 0) return none;
  return Rect(x1, y1, x2, y2);
}

TRedozIrProc::TRedozIrProc(TComponent* AOwner) : TComponent(AOwner) {}

TRedozIrProc::~TRedozIrProc() { Detach(); }

// ---- binding

void TRedozIrProc::Detach() {
  if (fView) fView->RemoveBitmapChangeEvent(fViewCallback);
  fView = nullptr;
  fViewCallback = 0;
  fWorkBitmap.reset();
  fBitmap = nullptr;
  fIEBitmap = nullptr;
}

void TRedozIrProc::SetAttachedRedozIr(TIEView* View) {
  if (View == fView) return;
  Detach();
  if (!View) return;
  fView = View;
  fViewCallback = View->RegisterBitmapChangeEvent(
      [this](TObject* Sender, bool Destroying) { OnViewBitmapChange(Sender, Destroying); });
  fIEBitmap = View->GetIEBitmap();
}

void TRedozIrProc::OnViewBitmapChange(TObject* Sender, bool Destroying) {
  if (Sender != fView) return;
  if (Destroying) {
    // The view frees its callback records itself.
    fView = nullptr;
    fViewCallback = 0;
    fIEBitmap = nullptr;
    return;
  }
  fIEBitmap = fView->GetIEBitmap();
}

void TRedozIrProc::SetAttachedIEBitmap(TIEBitmap* Bitmap) {
  Detach();
  fIEBitmap = Bitmap;
}

void TRedozIrProc::SetAttachedBitmap(TBitmap* Bitmap) {
  Detach();
  if (!Bitmap) return;
  fBitmap = Bitmap;
  fWorkBitmap = std::make_unique<TIEBitmap>();
  fWorkBitmap->AttachTBitmap(Bitmap, true);
  fIEBitmap = fWorkBitmap.get();
}

// ---- preparation

const TIEPixelFormat* TRedozIrProc::PreferredFormats(TIEPixelFormat Format) {
  int f = static_cast<int>(Format);
  if (f < 0 || f >= kIEPixelFormatCount) f = 0;
  return kPreferred[f];
}

bool TRedozIrProc::PrepareBitmap(TIEPixelFormatSet Formats) {
  if (fView) fIEBitmap = fView->GetIEBitmap();
  // The platform bitmap may have been resized or reformatted by its owner.
  if (fBitmap && fWorkBitmap) fWorkBitmap->AttachTBitmap(fBitmap, false);
  if (!fIEBitmap || fIEBitmap->GetWidth() == 0 || fIEBitmap->GetHeight() == 0) return false;
  TIEPixelFormat pf = fIEBitmap->GetPixelFormat();
  if (Formats == 0 || IEPFIn(Formats, pf)) return true;
  if (!AutoConvertFormat) return false;
  TIEPixelFormat target = ienull;
  const TIEPixelFormat* pref = PreferredFormats(pf);
  for (int i = 0; i < kPreferredFormatCount && target == ienull; ++i)
    if (IEPFIn(Formats, pref[i])) target = pref[i];
  for (int f = kIEPixelFormatCount - 1; f > 0 && target == ienull; --f)
    if (IEPFIn(Formats, static_cast<TIEPixelFormat>(f))) target = static_cast<TIEPixelFormat>(f);
  if (target == ienull) return false;
  fIEBitmap->ConvertToPixelFormat(target);
  return fIEBitmap->GetPixelFormat() == target;
}

// ---- undo and redo

void TRedozIrProc::SetUndoLimit(int Value) {
  fUndoLimit = std::max(0, Value);
  while (static_cast<int>(fUndo.size()) > fUndoLimit) fUndo.pop_back();
  while (static_cast<int>(fRedo.size()) > fUndoLimit) fRedo.pop_back();
}

std::unique_ptr<TRedozIrProc::TIEUndoEntry> TRedozIrProc::Capture(TIEUndoSource Source) {
  auto e = std::make_unique<TIEUndoEntry>();
  e->Source = Source;
  if (Source == ieuImage || Source == ieuUnknown) {
    if (!fIEBitmap) return nullptr;
    e->Source = ieuImage;
    e->Image = std::make_unique<TIEBitmap>();
    e->Image->Assign(fIEBitmap);
    return e;
  }
  if (!fView) return nullptr;
  e->Data = std::make_unique<TMemoryStream>();
  if (!fView->SaveUndoState(Source, *e->Data)) return nullptr;
  return e;
}

void TRedozIrProc::Restore(TIEUndoEntry& Entry) {
  if (Entry.Source == ieuImage) {
    if (fView) fIEBitmap = fView->GetIEBitmap();
    if (!fIEBitmap || !Entry.Image) return;
    fIEBitmap->Assign(Entry.Image.get());
    Update();
    return;
  }
  if (fView && Entry.Data) {
    Entry.Data->SetPosition(0);
    fView->LoadUndoState(Entry.Source, *Entry.Data);
  }
}

void TRedozIrProc::Push(TIEUndoStack& Stack, std::unique_ptr<TIEUndoEntry> Entry) {
  Stack.push_front(std::move(Entry));
  while (static_cast<int>(Stack.size()) > fUndoLimit) Stack.pop_back();
}

void TRedozIrProc::SaveUndo(TIEUndoSource Source) {
  if (fView) fIEBitmap = fView->GetIEBitmap();
  auto e = Capture(Source);
  if (!e) return;
  Push(fUndo, std::move(e));
  // A new change makes the undone steps unreachable.
  fRedo.clear();
  if (OnSaveUndo) OnSaveUndo(this, Source);
}

void TRedozIrProc::SaveUndoCaptioned(const std::string& Caption, TIEUndoSource Source) {
  if (!PrepareBitmap(0)) return;
  if (fIEBitmap->GetWidth() <= 1 || fIEBitmap->GetHeight() <= 1) return;
  const TIEUndoEntry* newest = fUndo.empty() ? nullptr : fUndo.front().get();
  SaveUndo(Source);
  // Only an entry that was really pushed gets the caption.
  if (!fUndo.empty() && fUndo.front().get() != newest) fUndo.front()->Caption = Caption;
}

const TRedozIrProc::TIEUndoEntry* TRedozIrProc::At(const TIEUndoStack& Stack, int Position) {
  if (Position < 0 || Position >= static_cast<int>(Stack.size())) return nullptr;
  return Stack[static_cast<size_t>(Position)].get();
}

std::string TRedozIrProc::GetUndoCaption(int Position) const {
  const TIEUndoEntry* e = At(fUndo, Position);
  return e ? e->Caption : std::string();
}
std::string TRedozIrProc::GetRedoCaption(int Position) const {
  const TIEUndoEntry* e = At(fRedo, Position);
  return e ? e->Caption : std::string();
}
TIEUndoSource TRedozIrProc::GetUndoSource(int Position) const {
  const TIEUndoEntry* e = At(fUndo, Position);
  return e ? e->Source : ieuUnknown;
}
TIEUndoSource TRedozIrProc::GetRedoSource(int Position) const {
  const TIEUndoEntry* e = At(fRedo, Position);
  return e ? e->Source : ieuUnknown;
}

void TRedozIrProc::ClearUndoAt(int Position) {
  if (At(fUndo, Position)) fUndo.erase(fUndo.begin() + Position);
}
void TRedozIrProc::ClearRedoAt(int Position) {
  if (At(fRedo, Position)) fRedo.erase(fRedo.begin() + Position);
}

void TRedozIrProc::StepBack(TIEUndoStack& From, TIEUndoStack& To) {
  if (From.empty()) return;
  std::unique_ptr<TIEUndoEntry> e = std::move(From.front());
  From.pop_front();
  // The present state goes to the other stack under the same caption.
  if (auto present = Capture(e->Source)) {
    present->Caption = e->Caption;
    Push(To, std::move(present));
  }
  Restore(*e);
}

void TRedozIrProc::Undo() { StepBack(fUndo, fRedo); }

void TRedozIrProc::Redo() { StepBack(fRedo, fUndo); }

// ---- selection

bool TRedozIrProc::GetSelectionBounds(int& X1, int& Y1, int& X2, int& Y2, TIEMask*& Mask) {
  Mask = nullptr;
  if (fView) fIEBitmap = fView->GetIEBitmap();
  if (!fIEBitmap) {
    X1 = Y1 = X2 = Y2 = 0;
    return false;
  }
  TIEMask* m = fView ? fView->GetSelectionMask() : nullptr;
  if (m && !m->IsEmpty()) {
    // The mask may be larger than the image while the view catches up.
    X1 = std::min(m->X1, fIEBitmap->GetWidth());
    Y1 = std::min(m->Y1, fIEBitmap->GetHeight());
    X2 = std::min(m->X2 + 1, fIEBitmap->GetWidth());
    Y2 = std::min(m->Y2 + 1, fIEBitmap->GetHeight());
    Mask = m;
    return true;
  }
  X1 = Y1 = 0;
  X2 = fIEBitmap->GetWidth();
  Y2 = fIEBitmap->GetHeight();
  return true;
}

// ---- refresh

void TRedozIrProc::Update() {
  // A platform bitmap holds no alpha: a plane left behind would be stale.
  if (fIEBitmap && ((fWorkBitmap && fIEBitmap == fWorkBitmap.get()) || fIEBitmap->IsVclBitmap()))
    fIEBitmap->RemoveAlphaChannel();
  if (fView) {
    fView->Update();
    fView->DoImageChange();
  }
}

void TRedozIrProc::DoFinishWork() {
  if (OnProgress) OnProgress(this, 100);
  if (OnFinishWork) OnFinishWork(this);
}

// ---- settings

TColor TRedozIrProc::Background() const { return fView ? fView->Background() : fBackground; }

void TRedozIrProc::SetBackground(TColor Value) {
  if (fView)
    fView->SetBackground(Value);
  else
    fBackground = Value;
}

}  // namespace redozir
