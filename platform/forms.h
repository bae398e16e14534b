// TForm: a top-level window with a caption, border style and position; shown
// modelessly or modally (ShowModal returns ModalResult), closed, released.
// A shown form owns the 32-bit surface that its controls paint into.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/controls.h"

#pragma GCC visibility push(default)
namespace redozir {

using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;
constexpr TModalResult mrAll = 8;

enum TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};

enum TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

class TForm : public TControl {
 public:
  explicit TForm(TComponent* AOwner);
  ~TForm() override;

  bool IsTopLevel() const override { return true; }
  // A form's outer size is its client size: the display draws the frame.
  int BorderWidth() const override { return 0; }

  // The frame the display draws around the form (not a client border).
  TFormBorderStyle BorderStyle() const { return formBorderStyle_; }
  void SetBorderStyle(TFormBorderStyle s);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition p) { position_ = p; }
  void SetCaption(const std::string& s) override;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

  void SetVisible(bool v) override;
  TModalResult ShowModal();
  bool Modal() const { return modal_; }
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult r) { modalResult_ = r; }
  // Asks OnCloseQuery, then OnClose decides (hide by default; a modal form
  // gets mrCancel; the main form ends the application).
  void Close();
  bool CloseQuery();
  // Frees the form once the messages waiting now have been handled.
  void Release();

  // A form that never becomes the active one (a drop-down list, a hint):
  // showing it or clicking it leaves the activation and the focus where
  // they are.
  bool NoActivate = false;
  bool Active() const;
  TControl* ActiveControl() const { return activeControl_; }
  void SetActiveControl(TControl* c);
  // Moves the focus to the next (or previous) control that takes it.
  void SelectNext(bool forward);

  // The pixels of the client area after the last paint (32 bits per pixel).
  TBitmap* Surface() { return surface_.get(); }
  // The surface holds pixels the display has not shown yet: all of it, or
  // one rectangle of it (surface coordinates). The display uploads only the
  // changed rectangles.
  void SurfaceChanged();
  void SurfaceChanged(const TRect& r);
  // The rectangles changed since the last call (disjoint, inside the
  // surface), and from then none.
  std::vector<TRect> TakeChangedRects();

  TNotifyEvent OnCreate, OnActivate, OnDeactivate, OnShow, OnHide, OnDestroy;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  // Called by the focus code when a control of this form gets the focus.
  void FocusChanged(TControl* c) { activeControl_ = c; }
  void Activate();
  void Deactivate();

 protected:
  void WndProc(TMessage& Message) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void Paint() override;

 private:
  void ApplyPosition();
  void ResizeSurface();

  TFormBorderStyle formBorderStyle_ = bsSizeable;
  TPosition position_ = poDesigned;
  bool modal_ = false;
  TModalResult modalResult_ = mrNone;
  TControl* activeControl_ = nullptr;
  std::unique_ptr<TBitmap> surface_;
  std::vector<TRect> changed_;
  bool created_ = false;
  bool active_ = false;
};

// A borderless pop-up (a drop-down list, a menu): it never becomes the
// active form, and a request to close it calls Dismiss instead of hiding it.
class TPopupForm : public TForm {
 public:
  TPopupForm(TColor Color, std::function<void()> Dismiss);
};

// The form a control sits on (nullptr when none).
TForm* GetParentForm(const TControl* control);

}  // namespace redozir
#pragma GCC visibility pop
