// The SDL2 display back end: each shown form becomes a window with a
// streaming texture that shows the form's surface (updated where it changed); SDL's mouse, wheel, key
// and window events go through the same input layer as the tests' injector;
// the library's cursors show as system cursors, its pictures as colour
// cursors; CF_TEXT is shared with the system clipboard. Runs under X11 (or
// Xvfb).
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/application.h"

#pragma GCC visibility push(default)
namespace redozir {

class TSDLBackEnd : public TBackEnd {
 public:
  // Opens the video subsystem; raises Exception with SDL's reason when no
  // display can be opened, and when only an invisible one (SDL's offscreen or
  // dummy driver) is there that SDL_VIDEODRIVER did not ask for.
  TSDLBackEnd();
  ~TSDLBackEnd() override;
  TSDLBackEnd(const TSDLBackEnd&) = delete;
  TSDLBackEnd& operator=(const TSDLBackEnd&) = delete;

  bool HasDisplay() const override { return true; }
  void FormShown(TForm* form) override;
  void FormHidden(TForm* form) override;
  void FormDestroyed(TForm* form) override;
  void FormActivated(TForm* form) override;
  void FormChanged(TForm* form) override;
  void Present(TForm* form) override;
  void PresentChanged(TForm* form, const std::vector<TRect>& changed) override;
  void CursorChanged(HCURSOR cursor) override;
  bool PumpEvents() override;
  bool WaitEvents(int timeoutMs) override;
  void Wake() override;
  bool HasSystemClipboard() const override { return true; }
  bool GetClipboardText(std::string& text) override;
  bool SetClipboardText(const std::string& text) override;

  // The SDL window id of a shown form (0 when it has none).
  std::uint32_t WindowId(TForm* form) const;

 private:
  struct TWindow;
  TWindow* Find(TForm* form) const;
  TForm* FormOfWindow(std::uint32_t id) const;
  void HandleEvent(const void* event);
  // Gives the display's keyboard focus to the form's window unless another
  // program's window has it: a pop-up that took it on showing, or a window
  // that went away with it, hands it back.
  void FocusForm(TForm* form);
  // Uploads the changed rectangles (nullptr: all of the surface) and shows
  // the window's texture.
  void Show(TForm* form, const std::vector<TRect>* changed);

  std::map<TForm*, std::unique_ptr<TWindow>> windows_;
  std::map<int, void*> cursors_;
  // The colour cursors made for the program's own pictures.
  std::map<HCURSOR, void*> imageCursors_;
  std::uint32_t wakeEvent_ = 0;
};

// The X11 window behind an SDL window id (0 when there is none).
unsigned long SDLNativeWindow(std::uint32_t windowId);
// The X11 window that has the keyboard focus on the display of the window
// (0 when keys reach no window of any program's).
unsigned long SDLNativeFocus(std::uint32_t windowId);
// Gives the window the keyboard focus without raising it; false when it is
// not shown on an X11 display.
bool SDLSetNativeFocus(std::uint32_t windowId);
// The virtual key of an SDL key code (0 when it has none).
WORD VirtualKeyFromSDL(std::int32_t keycode);

}  // namespace redozir
#pragma GCC visibility pop
