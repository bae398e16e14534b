// TControl: a control with a parent, bounds, a window handle while a shown
// form is above it, window messages through WndProc, painting into its form's
// surface through Canvas, focus, mouse capture, cursor and scroll bars.
// The platform's windowed and custom controls need no difference here, so
// TWinControl and TCustomControl name the same class.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/components.h"
#include "platform/messages.h"
#include "platform/screen.h"
#include "platform/scrollbars.h"
#include "platform/types.h"

// KeyPress is also a macro of the X11 headers, which a program may include first.
#pragma push_macro("KeyPress")
#undef KeyPress

#pragma GCC visibility push(default)
namespace redozir {

class TForm;
class TPopupMenu;

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
using TBorderStyle = TFormBorderStyle;

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = std::function<void(TObject* Sender, WORD& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;
using TMouseWheelEvent =
    std::function<void(TObject* Sender, TShiftState Shift, int WheelDelta, TPoint MousePos, bool& Handled)>;
using TMouseWheelUpDownEvent =
    std::function<void(TObject* Sender, TShiftState Shift, TPoint MousePos, bool& Handled)>;

class TControl;

// The sides of its parent a control keeps its distance to when the parent
// changes size; one bit each, as a set.
enum TAnchorKind : std::uint8_t { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using TAnchors = std::uint8_t;

enum TDragMode { dmManual, dmAutomatic };
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };

// What is dragged. A drag started with no object of the program's own drags
// its control, and the events see the control itself as the source.
class TDragObject : public TObject {};
class TDragControlObject : public TDragObject {
 public:
  explicit TDragControlObject(TControl* AControl) : Control(AControl) {}
  TControl* Control;
};

using TStartDragEvent = std::function<void(TObject* Sender, TDragObject*& DragObject)>;
using TDragOverEvent =
    std::function<void(TObject* Sender, TObject* Source, int X, int Y, TDragState State, bool& Accept)>;
using TDragDropEvent = std::function<void(TObject* Sender, TObject* Source, int X, int Y)>;
using TEndDragEvent = std::function<void(TObject* Sender, TObject* Target, int X, int Y)>;

// The canvas of a control: it draws into the surface of the control's form at
// the control's client origin, clipped to its client area (and, during a
// paint, to the area being painted). A control without a window draws into
// nothing.
class TControlCanvas : public TCanvas {
 public:
  explicit TControlCanvas(TControl* control);
  TControl* Control() const { return control_; }
  // Binds the canvas to its form's surface as the control now lies; called on
  // every use of the control's Canvas.
  void Bind();

 protected:
  // What is drawn marks that part of the form's surface changed.
  void BitmapRectChanged(const TRect& r) override;

 private:
  TControl* control_;
  TBitmap nothing_;
};

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  // Tree.
  TControl* Parent() const { return parent_; }
  virtual void SetParent(TControl* AParent);
  int ControlCount() const { return static_cast<int>(children_.size()); }
  TControl* Controls(int index) const;
  virtual bool IsTopLevel() const { return false; }
  // The top-level form above the control (the control itself when it is one).
  TForm* ParentForm() const;

  // Geometry; Left and Top are in the parent's client coordinates (screen
  // coordinates for a top-level form).
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  TRect BoundsRect() const { return Bounds(left_, top_, width_, height_); }
  // The client area: the control less its border and its visible scroll bars.
  int ClientWidth() const;
  int ClientHeight() const;
  TRect ClientRect() const { return Rect(0, 0, ClientWidth(), ClientHeight()); }
  void SetClientWidth(int w);
  void SetClientHeight(int h);
  // Where the client area starts inside the control's outer rectangle.
  TPoint ClientOffset() const;
  // Client (0, 0) in screen coordinates, and the conversions.
  TPoint ClientOrigin() const;
  TPoint ClientToScreen(TPoint p) const;
  TPoint ScreenToClient(TPoint p) const;
  // The client origin and client rectangle in the coordinates of the form's
  // surface (the form's client area).
  TPoint SurfaceOrigin() const;
  TRect SurfaceClip() const;
  // The control's whole rectangle, frame and scroll bars included, on the
  // form's surface and cut to the parent's client (empty for a form).
  TRect SurfaceFrame() const;

  // Docking to a side of the parent's client area (or all of what is left),
  // kept when the parent changes size: top, bottom, left, right, then client.
  TAlign Align() const { return align_; }
  void SetAlign(TAlign a);
  void AlignControls();

  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle v);
  bool Ctl3D() const { return ctl3D_; }
  // Setting it stops the control following its parent's (ParentCtl3D).
  void SetCtl3D(bool v);
  // Border thickness on each side.
  virtual int BorderWidth() const;
  TColor Color() const { return color_; }
  void SetColor(TColor c);
  // The control's font; its canvas starts with it (a paint that wants it
  // later assigns it to Canvas()->Font).
  TFont Font;
  // Shown in a small hint window after the pointer rests on the control
  // (Application's HintPause), when ShowHint is set.
  std::string Hint;
  const std::string& Caption() const { return caption_; }
  virtual void SetCaption(const std::string& s);

  // State.
  bool Visible() const { return visible_; }
  virtual void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible, and every parent up to a shown form visible.
  bool Showing() const;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  bool TabStop = false;
  // Shown by a right click (on the release) or the context-menu key over the
  // control; without one, the parent's shows.
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* Menu);

  // Window handle: present only while a shown (or once shown) form is above
  // the control. Handle creates it when it can and raises EInvalidOperation
  // when no form window is above.
  bool HandleAllocated() const { return handle_ != 0; }
  HWND Handle();
  void HandleNeeded() { Handle(); }

  // Painting.
  void Invalidate();
  void InvalidateRect(const TRect& r, bool erase);
  // Drops the pending paint (all of it, or when r covers it).
  void Validate(const TRect* r = nullptr);
  // Paints now what is pending for this control and the controls inside it.
  virtual void Update();
  void Repaint();
  void Refresh() { Repaint(); }
  TControlCanvas* Canvas();
  // True while the control handles WM_PAINT.
  bool InPaint() const { return inPaint_; }
  // The pending paint area (client coordinates; empty when nothing is pending).
  TRect UpdateRect() const { return updateRect_; }
  // Controls that paint their whole client area need no background erase.
  bool Opaque = false;

  // Cursor shown while the mouse is over the control.
  TCursor Cursor() const { return cursor_; }
  virtual void SetCursor(TCursor c);

  // Focus and capture.
  bool CanFocus() const;
  virtual void SetFocus();
  bool Focused() const;
  bool MouseCapture() const;
  void SetMouseCapture(bool v);

  // Window scroll bars: SB_HORZ or SB_VERT.
  TWindowScrollBar& ScrollBar(int bar) { return bar == SB_VERT ? vbar_ : hbar_; }
  const TWindowScrollBar& ScrollBar(int bar) const { return bar == SB_VERT ? vbar_ : hbar_; }
  bool FlatScrollBarsInitialized() const { return flatSB_; }
  void SetFlatScrollBars(bool v);
  // Called by the scroll-bar calls after a change of visibility or state.
  void ScrollBarsChanged(bool visibilityChanged);

  // Messages.
  virtual void WndProc(TMessage& Message);
  virtual void DefaultHandler(TMessage& Message);
  LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam);

  // ---- members the controls inherit: anchors, the parent's settings, tab
  // order, drag and drop (control_layout.cpp, control_props.cpp, drag.cpp).

  // Without Align, the sides of the parent the control keeps its distance to
  // when the parent's client area changes size: both sides of an axis
  // stretch it, neither keeps its centre at the same fraction of the parent.
  TAnchors Anchors() const { return anchors_; }
  void SetAnchors(TAnchors a);

  // While ParentCtl3D / ParentShowHint hold, Ctl3D / ShowHint are the
  // parent's and follow its changes.
  bool ParentCtl3D() const { return parentCtl3D_; }
  void SetParentCtl3D(bool v);
  bool ShowHint() const { return showHint_; }
  // Setting it stops the control following its parent's (ParentShowHint).
  void SetShowHint(bool v);
  bool ParentShowHint() const { return parentShowHint_; }
  void SetParentShowHint(bool v);

  // The place among the parent's controls that Tab and Shift+Tab follow:
  // 0..n-1, unique per parent. Setting one moves the others up or down; a
  // control without a parent keeps the order asked for (-1: last) until it
  // gets one.
  int TabOrder() const;
  void SetTabOrder(int v);
  // The controls inside this one in tab order, each followed by those inside it.
  void GetTabOrderList(std::vector<TControl*>& list) const;

  // dmAutomatic: a left press starts a drag instead of reaching MouseDown.
  TDragMode DragMode() const { return dragMode_; }
  void SetDragMode(TDragMode v) { dragMode_ = v; }
  // Shown while the control is dragged over one that accepts it.
  TCursor DragCursor() const { return dragCursor_; }
  void SetDragCursor(TCursor v) { dragCursor_ = v; }
  // Starts a drag of this control at the pointer: at once, or once the
  // pointer has moved Threshold pixels (-1: the system's distance).
  void BeginDrag(bool Immediate, int Threshold = -1);
  // Ends the drag this control started: dropped where the pointer is when
  // Drop and the control there accepts, cancelled otherwise.
  void EndDrag(bool Drop);
  bool Dragging() const;
  // Drops Source at a client point of this control.
  virtual void DragDrop(TObject* Source, int X, int Y);
  TStartDragEvent OnStartDrag;
  TDragOverEvent OnDragOver;
  TDragDropEvent OnDragDrop;
  TEndDragEvent OnEndDrag;

  // Events.
  TNotifyEvent OnClick, OnDblClick, OnEnter, OnExit, OnMouseEnter, OnMouseLeave, OnResize;
  TMouseEvent OnMouseDown, OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TKeyEvent OnKeyDown, OnKeyUp;
  TKeyPressEvent OnKeyPress;
  TMouseWheelEvent OnMouseWheel;
  TMouseWheelUpDownEvent OnMouseWheelDown, OnMouseWheelUp;

  // The control whose window has this handle, or nullptr once it is gone.
  // Main thread only.
  static TControl* FromHandle(HWND h);

 protected:
  virtual void Paint();
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void Click();
  virtual void DblClick();
  virtual void KeyDown(WORD& Key, TShiftState Shift);
  virtual void KeyUp(WORD& Key, TShiftState Shift);
  virtual void KeyPress(char& Key);
  virtual bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos);
  virtual bool DoMouseWheelDown(TShiftState Shift, TPoint MousePos);
  virtual bool DoMouseWheelUp(TShiftState Shift, TPoint MousePos);
  virtual void Resize();
  // Called once the window exists / before it goes.
  virtual void CreateWnd() {}
  virtual void DestroyWnd() {}
  // Draws the border and the scroll bars (WM_NCPAINT).
  virtual void PaintNonClient();
  // True for a control that paints only parts of its client (a box, the
  // glyphs of a caption) and lets what lies under it show through: its
  // background is never erased, and a repaint of it is a repaint of its
  // parent's area under it (the parent, then every control there in order).
  virtual bool SeeThrough() const { return false; }
  void Notification(TComponent* AComponent, TOperation Operation) override;
  virtual void DoStartDrag(TDragObject*& DragObject);
  // Accept starts true when OnDragOver is set, false otherwise.
  virtual void DragOver(TObject* Source, int X, int Y, TDragState State, bool& Accept);
  virtual void DoEndDrag(TObject* Target, int X, int Y);

  friend class TControlCanvas;
  friend class TForm;
  friend struct TInput;
  friend struct TDragDrop;

 public:
  // Paints what is pending in the tree below root (non-client, background,
  // client; a parent before what lies on it). True when anything painted.
  static bool PaintTree(TControl* root);

 private:
  void CreateHandleTree();
  void DestroyHandleTree();
  void SendSize();
  void HandleMouse(TMessage& m);
  void HandleKey(TMessage& m);
  void HandlePaint(TMessage& m);
  void ContextMenu(TMessage& m);
  void EraseBackground();
  void InvalidateNonClient();
  // Marks r (inside the client) for painting here, whatever the control is.
  void MarkPending(const TRect& r, bool erase);
  void InvalidateInParent(const TRect& boundsInParent);
  void UpdateAnchorRules();
  void ApplyAnchors();
  void ApplyCtl3D(bool v);
  void ApplyShowHint(bool v);
  // Takes what the control follows of its new parent.
  void ParentChanged();

  TControl* parent_ = nullptr;
  std::vector<TControl*> children_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  TBorderStyle borderStyle_ = bsNone;
  TAlign align_ = alNone;
  bool aligning_ = false;
  bool ctl3D_ = true;
  TColor color_ = clBtnFace;
  std::string caption_;
  bool visible_ = true;
  bool enabled_ = true;
  HWND handle_ = 0;
  TCursor cursor_ = crDefault;
  TWindowScrollBar hbar_, vbar_;
  bool flatSB_ = false;
  std::unique_ptr<TControlCanvas> canvas_;
  TRect updateRect_;
  bool erasePending_ = false;
  bool ncPending_ = false;
  bool inPaint_ = false;
  TRect paintClip_;
  bool clicking_ = false;
  TPopupMenu* popupMenu_ = nullptr;

  TAnchors anchors_ = akLeft | akTop;
  // Per axis, what the anchors keep (a position, a size or a centre), and the
  // parent's client size when it was taken.
  TPoint anchorRule_, anchorParentSize_;
  bool parentCtl3D_ = true;
  bool showHint_ = false;
  bool parentShowHint_ = true;
  std::vector<TControl*> tabList_;
  int tabOrderWanted_ = -1;
  TDragMode dragMode_ = dmManual;
  TCursor dragCursor_ = crDrag;
};

using TWinControl = TControl;
using TCustomControl = TControl;

// The window calls by handle.
bool InvalidateRect(HWND wnd, const TRect* r, bool erase);
bool ValidateRect(HWND wnd, const TRect* r);
bool UpdateWindow(HWND wnd);
bool IsWindow(HWND wnd);
bool IsWindowVisible(HWND wnd);
bool GetClientRect(HWND wnd, TRect& r);
bool ScreenToClient(HWND wnd, TPoint& p);
bool ClientToScreen(HWND wnd, TPoint& p);
HWND SetFocus(HWND wnd);
HWND GetFocus();
HWND SetCapture(HWND wnd);
bool ReleaseCapture();
HWND GetCapture();

}  // namespace redozir
#pragma GCC visibility pop
#pragma pop_macro("KeyPress")
