// Application: the message loop (posted messages, then due timers, then
// pending paints), Run, HandleException, and the display back end that turns
// a shown form into a window. SendMessage and PostMessage live here too.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/components.h"
#include "platform/messages.h"
#include "platform/screen.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

class TForm;

// What a display offers the platform. The headless back end (the default)
// shows nothing; the SDL back end maps each shown form to a window.
class TBackEnd {
 public:
  virtual ~TBackEnd() = default;
  virtual void FormShown(TForm* form) {}
  virtual void FormHidden(TForm* form) {}
  virtual void FormDestroyed(TForm* form) {}
  // The form became the active one: the display's keyboard focus goes to it.
  virtual void FormActivated(TForm* form) {}
  // Caption or bounds changed.
  virtual void FormChanged(TForm* form) {}
  // Shows the whole of the form's surface.
  virtual void Present(TForm* form) {}
  // Shows the changed rectangles of the form's surface (surface coordinates,
  // never empty); a back end that cannot do less shows all of it.
  virtual void PresentChanged(TForm* form, const std::vector<TRect>& changed) { Present(form); }
  virtual void CursorChanged(HCURSOR cursor) {}
  // Turns the display's pending events into input; true when there were any.
  virtual bool PumpEvents() { return false; }
  // Waits up to timeoutMs (-1: no limit) for a display event or Wake.
  // Returns false when it cannot wait (nothing can ever arrive).
  virtual bool WaitEvents(int timeoutMs);
  // Any thread: ends a wait early.
  virtual void Wake();
  // The system clipboard's text, for back ends that have one.
  // Whether a user sees the forms and can answer them (a dialog the
  // platform would show to nobody answers as cancelled instead).
  virtual bool HasDisplay() const { return false; }
  virtual bool HasSystemClipboard() const { return false; }
  virtual bool GetClipboardText(std::string& text) { return false; }
  virtual bool SetClipboardText(const std::string& text) { return false; }
};

using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;
using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  // Handles what is waiting: display events, posted messages, then due
  // timers, then pending paints; the forms' new pixels are then presented.
  void ProcessMessages();
  // One round of ProcessMessages, waiting first when nothing is waiting.
  // Raises EInvalidOperation when nothing could ever arrive (a headless loop
  // with no timer and nothing posted).
  void HandleMessage();
  // Shows the main form and handles messages until Terminate.
  void Run();
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  void ResetTerminated() { terminated_ = false; }

  // Reports an exception that a handler raised and goes on: OnException
  // when assigned, else the message on standard error.
  void HandleException(TObject* Sender);
  void ShowException(const std::exception& E);
  TExceptionEvent OnException;
  TIdleEvent OnIdle;
  const std::string& LastExceptionMessage() const { return lastException_; }

  // Hints: shown after the pointer rests HintPause ms on a control, hidden
  // after HintHidePause ms; ShowHint off shows none.
  bool ShowHint = true;
  unsigned HintPause = 500;
  unsigned HintHidePause = 2500;

  TForm* MainForm() const { return mainForm_; }
  void SetMainForm(TForm* f) { mainForm_ = f; }
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& t) { title_ = t; }

  // The display back end; nullptr restores the headless one. The caller
  // keeps ownership.
  void SetBackEnd(TBackEnd* b);
  TBackEnd* BackEnd() const { return backEnd_; }

  // Forms register themselves (creation order).
  void AddForm(TForm* f);
  void RemoveForm(TForm* f);
  int FormCount() const;
  TForm* Forms(int i) const;
  TForm* ActiveForm() const { return activeForm_; }
  void SetActiveForm(TForm* f) { activeForm_ = f; }

  // Messages posted, not yet handled.
  int PendingMessages() const;
  // Drops everything posted (tests start from a clean queue).
  void ClearMessages();

 private:
  bool DispatchPosted();
  bool PaintPending();
  void PresentForms();

  bool terminated_ = false;
  std::string lastException_;
  std::string title_;
  TForm* mainForm_ = nullptr;
  TForm* activeForm_ = nullptr;
  TBackEnd* backEnd_ = nullptr;
  struct TImpl;
  TImpl* impl_;
};

extern TApplication* Application;

// Calls the window procedure of the window at once and returns its result.
// From another thread the message waits for the loop to handle it. A handle
// that names no window gives 0.
LRESULT SendMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Queues a message for the window; safe from any thread. Handled when the loop
// pumps; a message for a window that is gone by then is dropped. False when
// the handle names no window.
bool PostMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Ends the message loop at the next pump.
void PostQuitMessage(int exitCode);

}  // namespace redozir
#pragma GCC visibility pop
