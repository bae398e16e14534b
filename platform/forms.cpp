#include "platform/forms.h"

#include <algorithm>
#include <vector>

#include "platform/application.h"
#include "platform/exceptions.h"
#include "platform/keys.h"

namespace redozir {

namespace {
// The forms in the order they were last activated, the latest at the back:
// a form that goes away hands the activation to the one before it, as the
// window below it on a desktop takes over.
std::vector<TForm*>& ActivationOrder() {
  static std::vector<TForm*> order;
  return order;
}

void Forget(TForm* form) {
  auto& order = ActivationOrder();
  order.erase(std::remove(order.begin(), order.end(), form), order.end());
}

bool CanTakeOver(TForm* f, TForm* leaving) {
  return f != leaving && f->Visible() && f->Enabled() && !f->NoActivate;
}
}  // namespace

TForm* GetParentForm(const TControl* control) {
  const TControl* c = control;
  while (c && c->Parent()) c = c->Parent();
  if (!c || !c->IsTopLevel()) return nullptr;
  return static_cast<TForm*>(const_cast<TControl*>(c));
}

TForm::TForm(TComponent* AOwner) : TControl(AOwner) {
  visible_ = false;
  SetBounds(0, 0, 320, 240);
  SetColor(clBtnFace);
  Application->AddForm(this);
}

TForm::~TForm() {
  Destroying();
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
      Application->HandleException(this);
    }
  }
  if (Visible() && HandleAllocated()) {
    Application->BackEnd()->FormHidden(this);
    if (active_) Deactivate();
  }
  Forget(this);
  if (HandleAllocated()) DestroyHandleTree();
  Application->RemoveForm(this);
}

void TForm::SetBorderStyle(TFormBorderStyle s) {
  formBorderStyle_ = s;
  if (HandleAllocated()) Application->BackEnd()->FormChanged(this);
}

void TForm::SetCaption(const std::string& s) {
  TControl::SetCaption(s);
  if (HandleAllocated()) Application->BackEnd()->FormChanged(this);
}

void TForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  bool sized = std::max(AWidth, 0) != Width() || std::max(AHeight, 0) != Height();
  bool moved = ALeft != Left() || ATop != Top();
  // The surface follows first, so that WM_SIZE handlers paint into the new size.
  if (sized && surface_) surface_->SetSize(std::max(AWidth, 0), std::max(AHeight, 0));
  TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if ((sized || moved) && HandleAllocated()) {
    SurfaceChanged();
    Application->BackEnd()->FormChanged(this);
  }
}

void TForm::CreateWnd() {
  surface_ = std::make_unique<TBitmap>(Width(), Height(), pf32bit);
  if (!created_) {
    created_ = true;
    if (OnCreate) OnCreate(this);
  }
}

void TForm::DestroyWnd() {
  Application->BackEnd()->FormDestroyed(this);
  surface_.reset();
}

void TForm::Paint() {}

namespace {
// Past this many rectangles the changes go as their bounding box: one larger
// upload costs less than many small ones.
constexpr size_t kMaxChangedRects = 16;

TRect Union(const TRect& a, const TRect& b) {
  return {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
          std::max(a.Bottom, b.Bottom)};
}
}  // namespace

void TForm::SurfaceChanged() {
  changed_.clear();
  changed_.push_back(Rect(0, 0, std::max(Width(), 0), std::max(Height(), 0)));
}

void TForm::SurfaceChanged(const TRect& r) {
  TRect add;
  if (!IntersectRect(add, r, Rect(0, 0, Width(), Height()))) return;
  // Overlapping rectangles merge into their bounding box until the list is
  // disjoint again.
  for (bool merged = true; merged;) {
    merged = false;
    for (size_t i = 0; i < changed_.size(); ++i) {
      TRect common;
      if (!IntersectRect(common, changed_[i], add)) continue;
      add = Union(changed_[i], add);
      changed_.erase(changed_.begin() + static_cast<std::ptrdiff_t>(i));
      merged = true;
      break;
    }
  }
  changed_.push_back(add);
  if (changed_.size() > kMaxChangedRects) {
    TRect all = changed_.front();
    for (const TRect& c : changed_) all = Union(all, c);
    changed_.assign(1, all);
  }
}

std::vector<TRect> TForm::TakeChangedRects() {
  std::vector<TRect> out;
  TRect bounds = Rect(0, 0, surface_ ? surface_->Width() : 0, surface_ ? surface_->Height() : 0);
  for (const TRect& c : changed_) {
    TRect r;
    if (IntersectRect(r, c, bounds)) out.push_back(r);
  }
  changed_.clear();
  return out;
}

void TForm::ApplyPosition() {
  int w = Width(), h = Height();
  switch (position_) {
    case poScreenCenter:
    case poDesktopCenter: SetBounds((Screen->Width() - w) / 2, (Screen->Height() - h) / 2, w, h); break;
    case poMainFormCenter:
    case poOwnerFormCenter: {
      TForm* around = nullptr;
      if (position_ == poOwnerFormCenter) around = dynamic_cast<TForm*>(Owner());
      if (!around) around = Application->MainForm();
      if (around && around != this)
        SetBounds(around->Left() + (around->Width() - w) / 2, around->Top() + (around->Height() - h) / 2, w,
                  h);
      else
        SetBounds((Screen->Width() - w) / 2, (Screen->Height() - h) / 2, w, h);
      break;
    }
    default: break;
  }
}

void TForm::SetVisible(bool v) {
  if (v == Visible()) return;
  if (!v) {
    if (OnHide) OnHide(this);
    TControl::SetVisible(false);
    if (HandleAllocated()) {
      Perform(WM_SHOWWINDOW, 0, 0);
      Application->BackEnd()->FormHidden(this);
    }
    if (TControl* f = TControl::FromHandle(GetFocus()); f && GetParentForm(f) == this) redozir::SetFocus(0);
    if (active_) {
      Deactivate();
      // The form active before this one takes over; failing that, the most
      // recently created one. Never a pop-up: it would take nothing and
      // leave the keys with no one.
      TForm* next = nullptr;
      const auto& order = ActivationOrder();
      for (auto it = order.rbegin(); it != order.rend() && !next; ++it)
        if (CanTakeOver(*it, this)) next = *it;
      for (int i = Application->FormCount() - 1; i >= 0 && !next; --i)
        if (CanTakeOver(Application->Forms(i), this)) next = Application->Forms(i);
      if (next) next->Activate();
    }
    return;
  }
  if (ComponentState() & csDestroying) return;
  Handle();
  ApplyPosition();
  TControl::SetVisible(true);
  Perform(WM_SHOWWINDOW, 1, 0);
  if (OnShow) OnShow(this);
  InvalidateNonClient();
  Invalidate();
  SurfaceChanged();
  Application->BackEnd()->FormShown(this);
  Activate();
}

bool TForm::Active() const { return active_; }

void TForm::Activate() {
  if (active_ || !Visible() || NoActivate) return;
  TForm* prev = Application->ActiveForm();
  if (prev && prev != this) prev->Deactivate();
  active_ = true;
  Forget(this);
  ActivationOrder().push_back(this);
  Application->SetActiveForm(this);
  Perform(WM_ACTIVATE, 1, 0);
  if (OnActivate) OnActivate(this);
  if (activeControl_ && activeControl_->CanFocus())
    redozir::SetFocus(activeControl_->Handle());
  else
    redozir::SetFocus(Handle());
  // The display's keyboard focus follows, or keys typed now would go to the
  // window that had it.
  if (active_ && HandleAllocated()) Application->BackEnd()->FormActivated(this);
}

void TForm::Deactivate() {
  if (!active_) return;
  active_ = false;
  if (Application->ActiveForm() == this) Application->SetActiveForm(nullptr);
  if (HandleAllocated()) Perform(WM_ACTIVATE, 0, 0);
  if (OnDeactivate) OnDeactivate(this);
}

void TForm::SetActiveControl(TControl* c) {
  if (c && GetParentForm(c) != this) throw EInvalidOperation("The control is not on this form");
  activeControl_ = c;
  if (c && active_ && c->CanFocus()) c->SetFocus();
}

void TForm::SelectNext(bool forward) {
  std::vector<TControl*> all;
  GetTabOrderList(all);
  size_t n = all.size();
  if (n == 0) return;
  // From where the focus is, a tab stop or not, to the next stop in tab order.
  auto it = std::find(all.begin(), all.end(), activeControl_);
  size_t from = it != all.end() ? static_cast<size_t>(it - all.begin()) : forward ? n - 1 : 0;
  for (size_t k = 1; k <= n; ++k) {
    TControl* c = all[forward ? (from + k) % n : (from + n - k) % n];
    if (c->TabStop && c->CanFocus()) {
      c->SetFocus();
      return;
    }
  }
}

bool TForm::CloseQuery() {
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}

void TForm::Close() {
  if (modal_) {
    // The modal loop asks OnClose once it sees the result.
    if (CloseQuery()) modalResult_ = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  if (OnClose) OnClose(this, action);
  if (action == caNone) return;
  if (Application->MainForm() == this) Application->Terminate();
  if (action == caHide || action == caMinimize)
    Hide();
  else if (action == caFree)
    Release();
}

void TForm::Release() { PostMessage(Handle(), CM_RELEASE, 0, 0); }

TModalResult TForm::ShowModal() {
  if (Visible() || modal_) throw EInvalidOperation("Cannot make a visible window modal");
  // The other forms take no input while this one is up.
  std::vector<TForm*> disabled;
  for (int i = 0; i < Application->FormCount(); ++i) {
    TForm* f = Application->Forms(i);
    if (f != this && f->Visible() && f->Enabled()) {
      f->SetEnabled(false);
      disabled.push_back(f);
    }
  }
  TForm* wasActive = Application->ActiveForm();
  modal_ = true;
  modalResult_ = mrNone;
  TCloseAction action = caHide;
  auto restore = [&] {
    modal_ = false;
    for (TForm* f : disabled) f->SetEnabled(true);
    Hide();
    if (wasActive && wasActive != this && wasActive->Visible()) wasActive->Activate();
  };
  try {
    Show();
    while (true) {
      Application->HandleMessage();
      if (Application->Terminated() && modalResult_ == mrNone) modalResult_ = mrCancel;
      if (modalResult_ == mrNone) continue;
      action = caHide;
      if (!CloseQuery())
        action = caNone;
      else if (OnClose)
        OnClose(this, action);
      if (action == caNone) {
        modalResult_ = mrNone;
        continue;
      }
      break;
    }
  } catch (...) {
    restore();
    throw;
  }
  TModalResult result = modalResult_;
  restore();
  if (action == caFree) Release();
  return result;
}

void TForm::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_CLOSE: Close(); return;
    case CM_RELEASE: delete this; return;
    case CM_DIALOGKEY:
      if (m.WParam == VK_TAB && GetKeyState(VK_MENU) >= 0 && GetKeyState(VK_CONTROL) >= 0) {
        SelectNext(GetKeyState(VK_SHIFT) >= 0);
        m.Result = 1;
        return;
      }
      TControl::WndProc(m);
      return;
    default: TControl::WndProc(m);
  }
}

TPopupForm::TPopupForm(TColor Color, std::function<void()> Dismiss) : TForm(nullptr) {
  SetBorderStyle(bsNone);
  SetColor(Color);
  // Keys go on reaching the control that opened it, which keeps the focus.
  NoActivate = true;
  OnClose = [Dismiss = std::move(Dismiss)](TObject*, TCloseAction& Action) {
    Action = caNone;
    Dismiss();
  };
}

}  // namespace redozir
