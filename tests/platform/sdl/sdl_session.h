// The SDL back end on an X server for a window test: forms made through it go
// before the display, and xdotool acts on their windows through X.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/clipboard.h"
#include "platform/forms.h"
#include "platform/sdl/sdl_backend.h"
#include "pump_until.h"
#include "x11_window.h"

// The system libraries under SDL keep a few process-wide allocations until
// exit (the session bus connection, X11's caches): not ours to free, so the
// leak checker ignores what is allocated while the display is open.
extern "C" void __lsan_disable() __attribute__((weak));
extern "C" void __lsan_enable() __attribute__((weak));

class TSDLSession {
 public:
  // display: an X display name; empty when the test has none.
  explicit TSDLSession(const std::string& display) : display_(display) {
    if (display_.empty()) {
      skip_ = "no X server (run under tests/under-x)";
      return;
    }
    if (std::system("command -v xdotool > /dev/null 2>&1") != 0) {
      skip_ = "xdotool is missing";
      return;
    }
    setenv("DISPLAY", display_.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    if (__lsan_disable) __lsan_disable();
    lsanOff_ = true;
    try {
      backend_ = std::make_unique<redozir::TSDLBackEnd>();
    } catch (const std::exception& e) {
      skip_ = std::string("SDL cannot open the display: ") + e.what();
      return;
    }
    redozir::Application->SetBackEnd(backend_.get());
  }
  ~TSDLSession() {
    for (redozir::TForm* f : forms_) delete f;
    redozir::ResetClipboard();
    redozir::Application->SetBackEnd(nullptr);
    backend_.reset();
    if (lsanOff_ && __lsan_enable) __lsan_enable();
  }
  TSDLSession(const TSDLSession&) = delete;
  TSDLSession& operator=(const TSDLSession&) = delete;

  // Why the test cannot run (empty when it can).
  const std::string& Skip() const { return skip_; }
  const std::string& Display() const { return display_; }
  redozir::TSDLBackEnd& BackEnd() { return *backend_; }
  redozir::TForm* NewForm() { return forms_.emplace_back(new redozir::TForm(nullptr)); }
  // The X window of a shown form once the server shows it (0 when it does not).
  unsigned long Shown(redozir::TForm* form) {
    unsigned long xid = redozir::SDLNativeWindow(backend_->WindowId(form));
    TX11Window xw(display_, xid);
    return xid && xw.Open() && PumpUntil([&] { return xw.Viewable(); }) ? xid : 0;
  }
  static bool Shell(const std::string& cmd) { return std::system(cmd.c_str()) == 0; }
  // A click at a client point of a control, through X.
  bool Click(redozir::TControl* c, int x, int y) {
    redozir::TForm* f = redozir::GetParentForm(c);
    redozir::TPoint p = c->ClientToScreen({x, y}), o = f->ClientToScreen({0, 0});
    unsigned long xid = Shown(f);
    return xid && Shell("xdotool mousemove --window " + std::to_string(xid) + " " +
                        std::to_string(p.X - o.X) + " " + std::to_string(p.Y - o.Y) + " click 1");
  }

 private:
  std::string display_;
  std::unique_ptr<redozir::TSDLBackEnd> backend_;
  std::vector<redozir::TForm*> forms_;
  std::string skip_;
  bool lsanOff_ = false;
};
