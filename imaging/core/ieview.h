// TIEView, the base control of the library's viewers: background, border,
// DPI, the callbacks told when the current bitmap changes, the parameter
// records of scroll bars and the mouse wheel, and the hooks through which the
// processing component saves and restores what a viewer owns beyond its image.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "imaging/core/ie_types.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/controls.h"
#include "platform/stream.h"

#pragma GCC visibility push(default)
namespace redozir {

class TIEBitmap;
class TIEMask;

struct TIEScrollBarParams {
  int LineStep = -1;  // -1: one zoomed pixel
  int PageStep = -1;  // -1: the client size
  bool Tracking = true;
};

enum TIEMouseWheelParamsAction : std::uint8_t { iemwNone, iemwVScroll, iemwZoom };
enum TIEMouseWheelParamsVariation : std::uint8_t { iemwAbsolute, iemwPercentage };

struct TIEMouseWheelParams {
  bool InvertDirection = false;
  TIEMouseWheelParamsAction Action = iemwZoom;
  TIEMouseWheelParamsVariation Variation = iemwPercentage;
  int Value = 8;
  bool ZoomPosition = false;  // zoom at the mouse position
};

// The private messages of a viewer (the platform's first user message plus
// 7000 to 7004). The I/O component's thread reaches a view only through
// IEM_UPDATE, IEM_PROGRESS (percentage in WParam) and IEM_FINISHWORK.
constexpr UINT IEM_UPDATE = WM_USER + 7000;
constexpr UINT IEM_NEWFRAME = WM_USER + 7001;
constexpr UINT IEM_EVENT = WM_USER + 7002;
constexpr UINT IEM_PROGRESS = WM_USER + 7003;
constexpr UINT IEM_FINISHWORK = WM_USER + 7004;
// Posted by the I/O component's thread when a load has been read (WParam: the
// handle of the load-done callback to call on the viewer's thread).
constexpr UINT IEM_LOADDONE = WM_USER + 7005;

// Told when a view's current bitmap changed (Destroying False) or when the
// view goes away (True).
using TIEBitmapChangeEvent = std::function<void(TObject* Sender, bool Destroying)>;

class TIEView : public TCustomControl {
 public:
  explicit TIEView(TComponent* AOwner);
  ~TIEView() override;

  // ---- appearance
  TColor Background() const { return fBackground; }
  virtual void SetBackground(TColor Value);
  // BorderStyle (bsSingle here) and Ctl3D are the control's own.

  // ---- resolution
  int DpiX() const { return fDpiX; }
  int DpiY() const { return fDpiY; }
  // Sets each DPI; a 0 leaves that axis alone.
  virtual void SetDpi(int DpiX, int DpiY);
  void SetDpiX(int Value) { SetDpi(Value, 0); }
  void SetDpiY(int Value) { SetDpi(0, Value); }

  // ---- bitmap-change callbacks
  using TIEBitmapChangeHandle = std::uint64_t;
  // Registers a callback; the handle removes it again.
  TIEBitmapChangeHandle RegisterBitmapChangeEvent(TIEBitmapChangeEvent Event);
  void RemoveBitmapChangeEvent(TIEBitmapChangeHandle Handle);
  int BitmapChangeEventCount() const { return static_cast<int>(fBitmapChangeEvents.size()); }
  // Calls every callback with (this view, False).
  virtual void CallBitmapChangeEvents();
  // Calls every callback with (this view, True) and forgets them. A viewer
  // calls it first thing in its destructor, so that a component working on
  // its bitmap (a load on the I/O component's thread) stops before any part
  // of the viewer goes.
  void ReleaseBitmapChangeEvents();

  // ---- work finished on another thread
  // A component whose load runs on a thread of its own registers a callback
  // here and posts IEM_LOADDONE with the handle: the callback then runs on
  // the viewer's thread, where the component hands the loaded picture over.
  // A message whose callback was removed meanwhile is dropped.
  TIEBitmapChangeHandle RegisterLoadDoneEvent(std::function<void()> Event);
  void RemoveLoadDoneEvent(TIEBitmapChangeHandle Handle);

  // ---- the image
  virtual void DoImageChange() {}
  virtual TBitmap* GetBitmap() { return nullptr; }
  virtual TIEBitmap* GetIEBitmap() { return nullptr; }
  // The control's own canvas (what the window shows).
  TCanvas* GetCanvas() { return Canvas(); }

  // ---- what the processing component asks of a viewer beyond its image
  // The selection, when there is one with a non-empty mask.
  virtual TIEMask* GetSelectionMask() { return nullptr; }
  // Writes the state an undo entry of kind Source holds (the selection, the
  // objects, the current or every layer) as a self-contained stream; False
  // when the view has no such state.
  virtual bool SaveUndoState(TIEUndoSource Source, TStream& Stream) { return false; }
  // Reads back what SaveUndoState wrote.
  virtual void LoadUndoState(TIEUndoSource Source, TStream& Stream) {}

 protected:
  void WndProc(TMessage& Message) override;

 private:
  struct TIEBitmapChangeRecord {
    TIEBitmapChangeHandle Handle;
    TIEBitmapChangeEvent Event;
  };

  TColor fBackground = clBtnFace;
  int fDpiX = 96;
  int fDpiY = 96;
  TIEBitmapChangeHandle fNextHandle = 1;
  std::vector<TIEBitmapChangeRecord> fBitmapChangeEvents;
  std::vector<std::pair<TIEBitmapChangeHandle, std::function<void()>>> fLoadDoneEvents;
};

}  // namespace redozir
#pragma GCC visibility pop
