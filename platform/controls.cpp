#include "platform/controls.h"

#include <algorithm>

#include "platform/application.h"
#include "platform/exceptions.h"
#include "platform/forms.h"
#include "platform/keys.h"
#include "platform/surface_fill.h"
#include "platform/window_registry.h"

namespace redozir {

namespace {
HWND focusWnd = 0;
HWND captureWnd = 0;

TRect UnionRect(const TRect& a, const TRect& b) {
  if (a.IsEmpty()) return b;
  if (b.IsEmpty()) return a;
  return Rect(std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
              std::max(a.Bottom, b.Bottom));
}

TRect Offset(const TRect& r, int dx, int dy) {
  return Rect(r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy);
}

bool IsInside(const TControl* c, const TControl* root) {
  for (; c; c = c->Parent())
    if (c == root) return true;
  return false;
}
}  // namespace

// ---------------------------------------------------------------- canvas

TControlCanvas::TControlCanvas(TControl* control) : TCanvas(nullptr), control_(control) {
  SetBitmap(&nothing_);
  SetDeviceClip(TRect{});
}

void TControlCanvas::Bind() {
  TForm* form = control_->ParentForm();
  if (!control_->HandleAllocated() || !form || !form->Surface()) {
    SetBitmap(&nothing_);
    SetOrigin(TPoint{});
    SetDeviceClip(TRect{});
    return;
  }
  TPoint o = control_->SurfaceOrigin();
  TRect clip = control_->SurfaceClip();
  if (control_->inPaint_) {
    if (!IntersectRect(clip, clip, Offset(control_->paintClip_, o.X, o.Y))) clip = TRect{};
  }
  SetBitmap(form->Surface());
  SetOrigin(o);
  SetDeviceClip(clip);
}

void TControlCanvas::BitmapRectChanged(const TRect& r) {
  if (TForm* form = control_->ParentForm(); form && form->Surface() == Bitmap()) form->SurfaceChanged(r);
}

// ---------------------------------------------------------------- life

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

TControl::~TControl() {
  Destroying();
  if (TForm* f = ParentForm(); f && f != static_cast<TControl*>(this) && f->ActiveControl() == this)
    f->FocusChanged(nullptr);
  while (!children_.empty()) delete children_.back();
  if (parent_) TControl::SetParent(nullptr);
  if (handle_) DestroyHandleTree();
}

TControl* TControl::FromHandle(HWND h) { return window_registry::Find(h); }

TControl* TControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount())
    throw ERangeError("List index out of bounds (" + std::to_string(index) + ")");
  return children_[static_cast<size_t>(index)];
}

void TControl::SetParent(TControl* AParent) {
  if (AParent == parent_) return;
  if (IsTopLevel() && AParent) throw EInvalidOperation("A form cannot be placed inside another control");
  if (AParent && IsInside(AParent, this)) throw EInvalidOperation("A control cannot become its own parent");
  if (parent_) {
    if (visible_) InvalidateInParent(BoundsRect());
    auto& v = parent_->children_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    auto& tabs = parent_->tabList_;
    tabs.erase(std::remove(tabs.begin(), tabs.end(), this), tabs.end());
    if (TForm* f = parent_->ParentForm(); f && f->ActiveControl() && IsInside(f->ActiveControl(), this))
      f->FocusChanged(nullptr);
    parent_ = nullptr;
    if (handle_) DestroyHandleTree();
  }
  parent_ = AParent;
  if (parent_) {
    parent_->children_.push_back(this);
    parent_->tabList_.push_back(this);
    ParentChanged();
    if (align_ != alNone) parent_->AlignControls();
    if (parent_->handle_ && !(ComponentState() & csDestroying)) CreateHandleTree();
    if (visible_) InvalidateInParent(BoundsRect());
  }
}

TForm* TControl::ParentForm() const { return GetParentForm(this); }

// ---------------------------------------------------------------- geometry

int TControl::BorderWidth() const {
  if (borderStyle_ == bsNone) return 0;
  return ctl3D_ ? GetSystemMetrics(SM_CXEDGE) : GetSystemMetrics(SM_CXBORDER);
}

int TControl::ClientWidth() const {
  int w = width_ - 2 * BorderWidth() - (vbar_.Visible ? GetSystemMetrics(SM_CXVSCROLL) : 0);
  return std::max(w, 0);
}

int TControl::ClientHeight() const {
  int h = height_ - 2 * BorderWidth() - (hbar_.Visible ? GetSystemMetrics(SM_CYHSCROLL) : 0);
  return std::max(h, 0);
}

void TControl::SetClientWidth(int w) { SetWidth(w + (width_ - ClientWidth())); }
void TControl::SetClientHeight(int h) { SetHeight(h + (height_ - ClientHeight())); }

TPoint TControl::ClientOffset() const { return {BorderWidth(), BorderWidth()}; }

TPoint TControl::ClientOrigin() const {
  if (IsTopLevel()) return {left_, top_};
  TPoint p{left_ + BorderWidth(), top_ + BorderWidth()};
  if (parent_) {
    TPoint q = parent_->ClientOrigin();
    p.X += q.X;
    p.Y += q.Y;
  }
  return p;
}

TPoint TControl::ClientToScreen(TPoint p) const {
  TPoint o = ClientOrigin();
  return {p.X + o.X, p.Y + o.Y};
}

TPoint TControl::ScreenToClient(TPoint p) const {
  TPoint o = ClientOrigin();
  return {p.X - o.X, p.Y - o.Y};
}

TPoint TControl::SurfaceOrigin() const {
  if (IsTopLevel()) return {0, 0};
  TPoint p{left_ + BorderWidth(), top_ + BorderWidth()};
  if (parent_) {
    TPoint q = parent_->SurfaceOrigin();
    p.X += q.X;
    p.Y += q.Y;
  }
  return p;
}

TRect TControl::SurfaceClip() const {
  TPoint o = SurfaceOrigin();
  TRect r = Bounds(o.X, o.Y, ClientWidth(), ClientHeight());
  if (!IsTopLevel() && parent_) {
    if (!IntersectRect(r, r, parent_->SurfaceClip())) return TRect{};
  }
  return r;
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (ALeft == left_ && ATop == top_ && AWidth == width_ && AHeight == height_) return;
  TRect old = BoundsRect();
  bool sized = AWidth != width_ || AHeight != height_;
  left_ = ALeft;
  top_ = ATop;
  width_ = AWidth;
  height_ = AHeight;
  // A place the parent's layout gave keeps the rules; one the program gave
  // is where the anchors now hold the control.
  if (!parent_ || !parent_->aligning_) UpdateAnchorRules();
  if (sized) AlignControls();
  if (align_ != alNone && parent_) parent_->AlignControls();
  if (!handle_) return;
  if (visible_ && !IsTopLevel()) {
    InvalidateInParent(old);
    InvalidateInParent(BoundsRect());
  }
  if (sized) {
    ncPending_ = true;
    Invalidate();
    SendSize();
  }
  if (old.Left != left_ || old.Top != top_) Perform(WM_MOVE, 0, MAKELPARAM(left_, top_));
}

void TControl::SetAlign(TAlign a) {
  if (a == align_) return;
  align_ = a;
  if (a == alNone) UpdateAnchorRules();
  if (parent_) parent_->AlignControls();
}

void TControl::AlignControls() {
  if (aligning_) return;
  aligning_ = true;
  TRect r = ClientRect();
  for (TAlign pass : {alTop, alBottom, alLeft, alRight, alClient}) {
    std::vector<TControl*> kids = children_;
    for (TControl* c : kids) {
      if (c->align_ != pass || !c->visible_) continue;
      int w = c->width_, h = c->height_;
      switch (pass) {
        case alTop:
          c->SetBounds(r.Left, r.Top, r.Width(), h);
          r.Top += h;
          break;
        case alBottom:
          c->SetBounds(r.Left, r.Bottom - h, r.Width(), h);
          r.Bottom -= h;
          break;
        case alLeft:
          c->SetBounds(r.Left, r.Top, w, r.Height());
          r.Left += w;
          break;
        case alRight:
          c->SetBounds(r.Right - w, r.Top, w, r.Height());
          r.Right -= w;
          break;
        default: c->SetBounds(r.Left, r.Top, r.Width(), r.Height()); break;
      }
    }
  }
  std::vector<TControl*> kids = children_;
  for (TControl* c : kids)
    if (c->align_ == alNone) c->ApplyAnchors();
  aligning_ = false;
}

void TControl::SendSize() { Perform(WM_SIZE, SIZE_RESTORED, MAKELPARAM(ClientWidth(), ClientHeight())); }

void TControl::SetBorderStyle(TBorderStyle v) {
  if (v == borderStyle_) return;
  borderStyle_ = v;
  if (handle_) ScrollBarsChanged(true);
}

void TControl::SetCtl3D(bool v) {
  parentCtl3D_ = false;
  ApplyCtl3D(v);
}

void TControl::SetColor(TColor c) {
  if (c == color_) return;
  color_ = c;
  Invalidate();
}

void TControl::SetCaption(const std::string& s) {
  if (s == caption_) return;
  caption_ = s;
  Perform(CM_TEXTCHANGED, 0, 0);
  Invalidate();
}

// ---------------------------------------------------------------- state

void TControl::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  if (align_ != alNone && parent_) parent_->AlignControls();
  if (handle_) {
    InvalidateInParent(BoundsRect());
    if (v) {
      ncPending_ = true;
      Invalidate();
    } else if (TControl* f = FromHandle(focusWnd); f && IsInside(f, this)) {
      TForm* form = ParentForm();
      redozir::SetFocus(form && form != this ? form->Handle() : 0);
    }
  }
  Perform(CM_VISIBLECHANGED, v ? 1 : 0, 0);
}

bool TControl::Showing() const {
  if (!visible_) return false;
  if (IsTopLevel()) return true;
  return parent_ && parent_->Showing();
}

void TControl::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  if (!v) {
    if (TControl* f = FromHandle(focusWnd); f && IsInside(f, this) && !IsTopLevel()) {
      TForm* form = ParentForm();
      redozir::SetFocus(form ? form->Handle() : 0);
    }
  }
  Perform(CM_ENABLEDCHANGED, 0, 0);
  Invalidate();
}

HWND TControl::Handle() {
  if (handle_) return handle_;
  if (IsTopLevel()) {
    CreateHandleTree();
    return handle_;
  }
  throw EInvalidOperation("Control '" + Name() + "' has no parent window");
}

void TControl::CreateHandleTree() {
  if (handle_) return;
  handle_ = window_registry::Register(this);
  Perform(WM_CREATE, 0, 0);
  CreateWnd();
  SendSize();
  ncPending_ = true;
  updateRect_ = ClientRect();
  erasePending_ = true;
  std::vector<TControl*> kids = children_;
  for (TControl* c : kids) c->CreateHandleTree();
}

void TControl::DestroyHandleTree() {
  for (TControl* c : children_) c->DestroyHandleTree();
  if (!handle_) return;
  DestroyWnd();
  Perform(WM_DESTROY, 0, 0);
  HWND h = handle_;
  if (focusWnd == h) focusWnd = 0;
  if (captureWnd == h) captureWnd = 0;
  key_state::WindowDestroyed(h);
  window_registry::Unregister(h);
  handle_ = 0;
  updateRect_ = TRect{};
  erasePending_ = ncPending_ = false;
}

// ---------------------------------------------------------------- painting

void TControl::Invalidate() { InvalidateRect(ClientRect(), !Opaque); }

void TControl::InvalidateRect(const TRect& r, bool erase) {
  if (!handle_) return;
  TRect clipped;
  if (!IntersectRect(clipped, r, ClientRect())) return;
  if (SeeThrough() && parent_ && parent_->handle_) {
    TPoint off = ClientOffset();
    parent_->InvalidateRect(Offset(clipped, left_ + off.X, top_ + off.Y), true);
    return;
  }
  MarkPending(clipped, erase);
}

void TControl::MarkPending(const TRect& r, bool erase) {
  updateRect_ = UnionRect(updateRect_, r);
  erasePending_ = erasePending_ || erase;
}

void TControl::Validate(const TRect* r) {
  // The pending area is one rectangle: a part that does not cover it leaves
  // it pending.
  const TRect& u = updateRect_;
  if (r && !(r->Left <= u.Left && r->Top <= u.Top && r->Right >= u.Right && r->Bottom >= u.Bottom)) return;
  updateRect_ = TRect{};
  erasePending_ = false;
}

void TControl::InvalidateNonClient() {
  if (handle_) ncPending_ = true;
}

void TControl::InvalidateInParent(const TRect& boundsInParent) {
  if (parent_ && parent_->handle_) parent_->InvalidateRect(boundsInParent, true);
}

void TControl::Update() {
  if (!handle_) return;
  // What is pending for a see-through control is pending in its parent.
  if (SeeThrough() && parent_) {
    parent_->Update();
    return;
  }
  TForm* f = ParentForm();
  if (!f || !f->Visible()) return;
  PaintTree(this);
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

TControlCanvas* TControl::Canvas() {
  if (!canvas_) {
    canvas_ = std::make_unique<TControlCanvas>(this);
    canvas_->Font = Font;
  }
  canvas_->Bind();
  return canvas_.get();
}

bool TControl::PaintTree(TControl* c) {
  if (!c->handle_ || !c->Showing()) return false;
  bool any = false;
  // The display shows again what the paints may have drawn: the frame, and
  // the part of the client that was invalid.
  TForm* form = c->ParentForm();
  if (c->ncPending_) {
    c->ncPending_ = false;
    c->Perform(WM_NCPAINT, 1, 0);
    any = true;
    if (form) form->SurfaceChanged(c->SurfaceFrame());
  }
  if (!c->updateRect_.IsEmpty()) {
    TRect painted = c->updateRect_;
    if (c->erasePending_) {
      c->erasePending_ = false;
      c->Perform(WM_ERASEBKGND, 0, 0);
    }
    c->Perform(WM_PAINT, 0, 0);
    any = true;
    if (form) {
      TPoint o = c->SurfaceOrigin();
      TRect area;
      if (IntersectRect(area, Offset(painted, o.X, o.Y), c->SurfaceClip())) form->SurfaceChanged(area);
    }
    // What lies on the painted area was painted over: it paints again.
    for (TControl* child : c->children_) {
      if (!child->handle_ || !child->visible_) continue;
      TRect hit;
      if (!IntersectRect(hit, painted, child->BoundsRect())) continue;
      child->ncPending_ = true;
      TPoint off = child->ClientOffset();
      TRect mine;
      if (IntersectRect(mine, Offset(hit, -child->left_ - off.X, -child->top_ - off.Y), child->ClientRect()))
        child->MarkPending(mine, !child->Opaque);
    }
  }
  std::vector<TControl*> kids = c->children_;
  for (TControl* child : kids) {
    if (std::find(c->children_.begin(), c->children_.end(), child) == c->children_.end()) continue;
    any |= PaintTree(child);
  }
  return any;
}

void TControl::HandlePaint(TMessage& m) {
  TRect r;
  bool has = IntersectRect(r, updateRect_, ClientRect());
  updateRect_ = TRect{};
  if (!has) return;
  inPaint_ = true;
  paintClip_ = r;
  try {
    Paint();
  } catch (...) {
    inPaint_ = false;
    throw;
  }
  inPaint_ = false;
  m.Result = 0;
}

void TControl::Paint() {}

void TControl::EraseBackground() {
  // Its parent has just painted what lies under it.
  if (SeeThrough()) return;
  TForm* f = ParentForm();
  if (!f || !f->Surface() || !handle_) return;
  TPoint o = SurfaceOrigin();
  TRect clip = SurfaceClip();
  TRect area = updateRect_.IsEmpty() ? ClientRect() : updateRect_;
  FillSurfaceRect(f->Surface(), Offset(area, o.X, o.Y), color_, &clip);
  if (IntersectRect(area, Offset(area, o.X, o.Y), clip)) f->SurfaceChanged(area);
}

TRect TControl::SurfaceFrame() const {
  if (IsTopLevel()) return TRect{};
  int bw = BorderWidth();
  TPoint o = SurfaceOrigin();
  TRect outer = Bounds(o.X - bw, o.Y - bw, width_, height_);
  TRect clip = parent_ ? parent_->SurfaceClip() : outer;
  if (!IntersectRect(clip, clip, outer)) return TRect{};
  return clip;
}

void TControl::PaintNonClient() {
  TForm* f = ParentForm();
  if (!f || !f->Surface() || IsTopLevel()) return;
  TBitmap* s = f->Surface();
  int bw = BorderWidth();
  TPoint o = SurfaceOrigin();
  TRect outer = Bounds(o.X - bw, o.Y - bw, width_, height_);
  TRect clip = SurfaceFrame();
  if (clip.IsEmpty()) return;
  if (borderStyle_ != bsNone) {
    if (ctl3D_) {
      FrameSurfaceRect(s, outer, clBtnShadow, clBtnHighlight, &clip);
      TRect inner = Rect(outer.Left + 1, outer.Top + 1, outer.Right - 1, outer.Bottom - 1);
      FrameSurfaceRect(s, inner, cl3DDkShadow, cl3DLight, &clip);
    } else {
      FrameSurfaceRect(s, outer, clWindowFrame, clWindowFrame, &clip);
    }
  }
  for (int bar : {SB_HORZ, SB_VERT}) {
    const TWindowScrollBar& sb = ScrollBar(bar);
    if (!sb.Visible) continue;
    TScrollBarLayout l = ScrollBarLayout(this, bar);
    auto place = [&](const TRect& r) { return Offset(r, outer.Left, outer.Top); };
    FillSurfaceRect(s, place(l.Bar), sb.Flat ? clBtnFace : clScrollBar, &clip);
    for (const TRect& arrow : {l.LineUp, l.LineDown}) {
      FillSurfaceRect(s, place(arrow), clBtnFace, &clip);
      if (!sb.Flat) FrameSurfaceRect(s, place(arrow), clBtnHighlight, clBtnShadow, &clip);
    }
    if (sb.Enabled && !l.Thumb.IsEmpty()) {
      FillSurfaceRect(s, place(l.Thumb), sb.Flat ? clBtnShadow : clBtnFace, &clip);
      if (!sb.Flat) FrameSurfaceRect(s, place(l.Thumb), clBtnHighlight, clBtnShadow, &clip);
    }
  }
  if (hbar_.Visible && vbar_.Visible) {
    int cx = GetSystemMetrics(SM_CXVSCROLL), cy = GetSystemMetrics(SM_CYHSCROLL);
    FillSurfaceRect(s,
                    Rect(outer.Right - bw - cx, outer.Bottom - bw - cy, outer.Right - bw, outer.Bottom - bw),
                    clBtnFace, &clip);
  }
  f->SurfaceChanged(clip);
}

void TControl::SetFlatScrollBars(bool v) {
  flatSB_ = v;
  hbar_.Flat = vbar_.Flat = v;
  ScrollBarsChanged(false);
}

void TControl::ScrollBarsChanged(bool visibilityChanged) {
  if (!handle_) return;
  ncPending_ = true;
  if (visibilityChanged) {
    AlignControls();
    Invalidate();
    SendSize();
  }
}

// ---------------------------------------------------------------- cursor, focus, capture

void TControl::SetCursor(TCursor c) {
  if (c == cursor_) return;
  cursor_ = c;
  Perform(CM_CURSORCHANGED, 0, 0);
  if (handle_ && key_state::Hover() == handle_ && Screen->Cursor() == crDefault)
    redozir::SetCursor(Screen->Cursors(c == crDefault ? crArrow : c));
}

bool TControl::CanFocus() const {
  TForm* f = ParentForm();
  if (!f || !f->Visible() || !f->Enabled()) return false;
  for (const TControl* c = this; c && c != f; c = c->parent_)
    if (!c->visible_ || !c->enabled_) return false;
  return true;
}

void TControl::SetFocus() {
  if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  TForm* f = ParentForm();
  if (!f->Active()) f->Activate();
  redozir::SetFocus(Handle());
}

bool TControl::Focused() const { return handle_ != 0 && focusWnd == handle_; }

bool TControl::MouseCapture() const { return handle_ != 0 && captureWnd == handle_; }

void TControl::SetMouseCapture(bool v) {
  if (v == MouseCapture()) return;
  if (v) {
    if (handle_) redozir::SetCapture(handle_);
  } else {
    redozir::ReleaseCapture();
  }
}

// ---------------------------------------------------------------- messages

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage m{Msg, WParam, LParam, 0};
  WndProc(m);
  return m.Result;
}

void TControl::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
    case WM_MOUSEWHEEL: HandleMouse(m); return;
    case WM_CONTEXTMENU: ContextMenu(m); return;
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN:
    case CN_KEYUP:
    case CN_SYSKEYUP:
    case CN_CHAR:
    case CN_SYSCHAR:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
    case WM_CHAR:
    case CM_DIALOGKEY: HandleKey(m); return;
    case WM_PAINT: HandlePaint(m); return;
    case WM_SIZE: Resize(); return;
    case WM_SETFOCUS:
      if (OnEnter) OnEnter(this);
      return;
    case WM_KILLFOCUS:
      if (OnExit) OnExit(this);
      return;
    case CM_MOUSEENTER:
      if (OnMouseEnter) OnMouseEnter(this);
      return;
    case CM_MOUSELEAVE:
      if (OnMouseLeave) OnMouseLeave(this);
      return;
    default: DefaultHandler(m);
  }
}

void TControl::DefaultHandler(TMessage& m) {
  switch (m.Msg) {
    case WM_ERASEBKGND:
      EraseBackground();
      m.Result = 1;
      return;
    case WM_NCPAINT: PaintNonClient(); return;
    case WM_PAINT: updateRect_ = TRect{}; return;
    case WM_SETCURSOR: {
      TCursor c = Screen->Cursor();
      for (const TControl* p = this; c == crDefault && p; p = p->parent_) c = p->cursor_;
      redozir::SetCursor(Screen->Cursors(c == crDefault ? crArrow : c));
      m.Result = 1;
      return;
    }
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
      // Unhandled wheel turns go to the parent, as the desktop's default does.
      if (parent_) m.Result = parent_->Perform(m.Msg, m.WParam, m.LParam);
      return;
    default: m.Result = 0;
  }
}

void TControl::HandleMouse(TMessage& m) {
  int x = GET_X_LPARAM(m.LParam), y = GET_Y_LPARAM(m.LParam);
  TShiftState shift = KeysToShiftState(LOWORD(m.WParam));
  switch (m.Msg) {
    case WM_MOUSEMOVE: MouseMove(shift, x, y); return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (m.Msg == WM_LBUTTONDOWN && dragMode_ == dmAutomatic && !Dragging()) {
        BeginDrag(true);
        return;
      }
      SetMouseCapture(true);
      clicking_ = true;
      if (m.Msg == WM_LBUTTONDBLCLK) {
        DblClick();
        shift |= ssDouble;
      }
      MouseDown(mbLeft, shift, x, y);
      return;
    case WM_LBUTTONUP:
      SetMouseCapture(false);
      if (clicking_) {
        clicking_ = false;
        if (ClientRect().Contains(x, y)) Click();
      }
      MouseUp(mbLeft, shift, x, y);
      return;
    case WM_RBUTTONDOWN: MouseDown(mbRight, shift, x, y); return;
    case WM_RBUTTONDBLCLK: MouseDown(mbRight, shift | ssDouble, x, y); return;
    case WM_RBUTTONUP: {
      // The context menu comes after the button's own handling, which may
      // free the control.
      HWND h = handle_;
      MouseUp(mbRight, shift, x, y);
      if (FromHandle(h) != this) return;
      TPoint at = ClientToScreen({x, y});
      Perform(WM_CONTEXTMENU, h, MAKELPARAM(at.X, at.Y));
      return;
    }
    case WM_MBUTTONDOWN: MouseDown(mbMiddle, shift, x, y); return;
    case WM_MBUTTONDBLCLK: MouseDown(mbMiddle, shift | ssDouble, x, y); return;
    case WM_MBUTTONUP: MouseUp(mbMiddle, shift, x, y); return;
    case WM_MOUSEWHEEL:
      if (DoMouseWheel(shift, GET_WHEEL_DELTA_WPARAM(m.WParam), TPoint{x, y}))
        m.Result = 1;
      else
        DefaultHandler(m);
      return;
    default: return;
  }
}

void TControl::HandleKey(TMessage& m) {
  switch (m.Msg) {
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN: {
      // Navigation keys go to the form (Tab, Esc, Enter, arrows) unless the
      // control asks for them.
      m.Result = 1;
      WORD key = static_cast<WORD>(m.WParam);
      LRESULT mask = 0;
      if (key == VK_TAB)
        mask = DLGC_WANTTAB;
      else if (key >= VK_LEFT && key <= VK_DOWN)
        mask = DLGC_WANTARROWS;
      else if (key == VK_RETURN || key == VK_ESCAPE || key == VK_CANCEL)
        mask = DLGC_WANTALLKEYS;
      if (mask != 0 && Perform(CM_WANTSPECIALKEY, m.WParam, m.LParam) == 0 &&
          (Perform(WM_GETDLGCODE, 0, 0) & mask) == 0) {
        TForm* f = ParentForm();
        if (f && f->Perform(CM_DIALOGKEY, m.WParam, m.LParam) != 0) return;
      }
      m.Result = 0;
      return;
    }
    case CN_KEYUP:
    case CN_SYSKEYUP:
    case CN_CHAR:
    case CN_SYSCHAR: m.Result = 0; return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      WORD key = static_cast<WORD>(m.WParam);
      TShiftState shift = KeyDataToShiftState(m.LParam);
      KeyDown(key, shift);
      if (key == 0) return;
      if (key == VK_APPS || (key == VK_F10 && (shift & ssShift)))
        Perform(WM_CONTEXTMENU, handle_, -1);
      else
        DefaultHandler(m);
      return;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      WORD key = static_cast<WORD>(m.WParam);
      KeyUp(key, KeyDataToShiftState(m.LParam));
      if (key == 0) return;
      DefaultHandler(m);
      return;
    }
    case WM_CHAR: {
      char c = static_cast<char>(m.WParam);
      KeyPress(c);
      if (c == 0) return;
      DefaultHandler(m);
      return;
    }
    case CM_DIALOGKEY: {
      std::vector<TControl*> kids = children_;
      for (TControl* c : kids) {
        LRESULT r = c->Perform(CM_DIALOGKEY, m.WParam, m.LParam);
        if (r != 0) {
          m.Result = r;
          return;
        }
      }
      m.Result = 0;
      return;
    }
    default: return;
  }
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}
void TControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}
void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}
void TControl::Click() {
  if (OnClick) OnClick(this);
}
void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}
void TControl::KeyDown(WORD& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}
void TControl::KeyUp(WORD& Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
}
void TControl::KeyPress(char& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}
bool TControl::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(this, Shift, WheelDelta, MousePos, handled);
  if (!handled) {
    if (WheelDelta < 0)
      handled = DoMouseWheelDown(Shift, MousePos);
    else if (WheelDelta > 0)
      handled = DoMouseWheelUp(Shift, MousePos);
  }
  return handled;
}
bool TControl::DoMouseWheelDown(TShiftState Shift, TPoint MousePos) {
  bool handled = false;
  if (OnMouseWheelDown) OnMouseWheelDown(this, Shift, MousePos, handled);
  return handled;
}
bool TControl::DoMouseWheelUp(TShiftState Shift, TPoint MousePos) {
  bool handled = false;
  if (OnMouseWheelUp) OnMouseWheelUp(this, Shift, MousePos, handled);
  return handled;
}
void TControl::Resize() {
  if (OnResize) OnResize(this);
}

// ---------------------------------------------------------------- window calls

bool InvalidateRect(HWND wnd, const TRect* r, bool erase) {
  TControl* c = TControl::FromHandle(wnd);
  if (!c) return false;
  c->InvalidateRect(r ? *r : c->ClientRect(), erase);
  return true;
}

bool ValidateRect(HWND wnd, const TRect* r) {
  TControl* c = TControl::FromHandle(wnd);
  if (!c) return false;
  c->Validate(r);
  return true;
}

bool UpdateWindow(HWND wnd) {
  TControl* c = TControl::FromHandle(wnd);
  if (!c) return false;
  // Not through the virtual Update: controls give it a meaning of their own.
  if (TForm* f = c->ParentForm(); f && f->Visible()) TControl::PaintTree(c);
  return true;
}

bool IsWindow(HWND wnd) { return window_registry::IsLive(wnd); }

bool IsWindowVisible(HWND wnd) {
  TControl* c = TControl::FromHandle(wnd);
  return c && c->Showing();
}

bool GetClientRect(HWND wnd, TRect& r) {
  TControl* c = TControl::FromHandle(wnd);
  if (!c) return false;
  r = c->ClientRect();
  return true;
}

bool ScreenToClient(HWND wnd, TPoint& p) {
  TControl* c = TControl::FromHandle(wnd);
  if (!c) return false;
  p = c->ScreenToClient(p);
  return true;
}

bool ClientToScreen(HWND wnd, TPoint& p) {
  TControl* c = TControl::FromHandle(wnd);
  if (!c) return false;
  p = c->ClientToScreen(p);
  return true;
}

HWND SetFocus(HWND wnd) {
  HWND old = focusWnd;
  if (wnd != 0 && !window_registry::IsLive(wnd)) return 0;
  if (wnd == old) return old;
  focusWnd = wnd;
  if (TControl* o = TControl::FromHandle(old)) o->Perform(WM_KILLFOCUS, wnd, 0);
  if (focusWnd == wnd) {
    if (TControl* n = TControl::FromHandle(wnd)) {
      if (TForm* f = GetParentForm(n); f && f != n) f->FocusChanged(n);
      n->Perform(WM_SETFOCUS, old, 0);
    }
  }
  return old;
}

HWND GetFocus() { return focusWnd; }

HWND SetCapture(HWND wnd) {
  HWND old = captureWnd;
  if (wnd != 0 && !window_registry::IsLive(wnd)) return old;
  captureWnd = wnd;
  if (old != wnd)
    if (TControl* o = TControl::FromHandle(old)) o->Perform(WM_CAPTURECHANGED, 0, static_cast<LPARAM>(wnd));
  return old;
}

bool ReleaseCapture() {
  HWND old = captureWnd;
  captureWnd = 0;
  if (TControl* o = TControl::FromHandle(old)) o->Perform(WM_CAPTURECHANGED, 0, 0);
  return true;
}

HWND GetCapture() { return captureWnd; }

}  // namespace redozir
