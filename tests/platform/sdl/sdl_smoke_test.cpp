// Opens a form in a real SDL window on a private Xvfb server, clicks it through
// X (xdotool) and reads the window's pixels back from the X server.
#include <gtest/gtest.h>

#include <SDL.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/application.h"
#include "platform/clipboard.h"
#include "platform/dialogs.h"
#include "platform/edits.h"
#include "platform/forms.h"
#include "platform/hints.h"
#include "platform/menus.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/stdctrls.h"
#include "platform/surface_fill.h"
#include "platform/timers.h"
#include "sdl_session.h"

using namespace redozir;

namespace {

// A private X server for the test; Display() is empty when none could start.
// Xvfb picks a free display itself and writes its number to a pipe
// (-displayfd): tests started side by side never race for one display, as
// they did when each chose the first number without a socket.
class TXvfb {
 public:
  TXvfb() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_t pid = fork();
    if (pid < 0) {
      close(fds[0]);
      close(fds[1]);
      return;
    }
    if (pid == 0) {
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp",
             "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    pid_ = pid;
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    // The number ends with a newline once the server listens.
    while (poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty() && number.find_first_not_of("0123456789") == std::string::npos)
      display_ = ":" + number;
    else
      Stop();
  }
  ~TXvfb() { Stop(); }
  const std::string& Display() const { return display_; }

 private:
  void Stop() {
    if (pid_ <= 0) return;
    // Xvfb can miss a SIGTERM that lands just before it goes back to sleep
    // waiting for clients, so the signal is repeated and finally made a
    // SIGKILL rather than waiting for ever.
    for (int i = 0; i < 30; ++i) {
      kill(pid_, SIGTERM);
      for (int j = 0; j < 10; ++j) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
          pid_ = -1;
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  pid_t pid_ = -1;
  std::string display_;
};

class TPainted : public TControl {
 public:
  using TControl::TControl;
  TPoint clickedAt{-1, -1};
  TColor fill = clRed;

 protected:
  void Paint() override {
    TControlCanvas* c = Canvas();
    TRect clip = c->DeviceClip();
    TPoint o = c->Origin();
    FillSurfaceRect(c->Bitmap(), Bounds(o.X, o.Y, ClientWidth(), ClientHeight()), fill, &clip);
    FillSurfaceRect(c->Bitmap(), Bounds(o.X + 10, o.Y + 10, 20, 20), clLime, &clip);
  }
  void MouseDown(TMouseButton b, TShiftState s, int x, int y) override {
    clickedAt = {x, y};
    TControl::MouseDown(b, s, x, y);
  }
};

// The SDL back end on a private X server.
class TOnDisplay : private TXvfb, public TSDLSession {
 public:
  TOnDisplay() : TSDLSession(TXvfb::Display()) {}
  using TSDLSession::Display;
};

template <typename T>
T* Add(TForm* form, int l, int t, int w, int h) {
  auto* c = new T(form);
  c->SetParent(form);
  c->SetBounds(l, t, w, h);
  return c;
}

TEST(SDLBackEnd, AFormOpensInAWindowTakesAClickAndShowsWhatItPainted) {
  TOnDisplay d;
  if (!d.Skip().empty()) GTEST_SKIP() << d.Skip() << ": skipped";
  TForm* form = d.NewForm();
  form->SetCaption("smoke");
  form->SetBounds(40, 30, 200, 150);
  auto* control = Add<TPainted>(form, 20, 10, 100, 80);
  auto* edit = Add<TEdit>(form, 10, 100, 180, 24);
  form->Show();
  Application->ProcessMessages();

  unsigned long xid = d.Shown(form);
  ASSERT_NE(xid, 0u);
  TX11Window xw(d.Display(), xid);

  std::string cmd = "xdotool mousemove --window " + std::to_string(xid) + " 60 50 click 1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_TRUE(PumpUntil([&] { return control->clickedAt.X >= 0; })) << "the click never arrived";
  EXPECT_EQ(control->clickedAt, (TPoint{40, 40}));

  // Typed characters come from the system's text input, in the edit's code
  // page (1252); keys that are not characters still arrive as keys.
  edit->SetFocus();
  const std::string typed = "/tmp/redozir-sdl-typed-" + std::to_string(getpid());
  {
    std::FILE* t = std::fopen(typed.c_str(), "w");
    ASSERT_TRUE(t);
    std::fputs("a; :'\"?/\\|~[]\xC3\xA9x", t);
    std::fclose(t);
  }
  // A layout with e acute (AltGr+e): xdotool's stand-in key for a missing
  // keysym is mapped back before the window reads the key.
  ASSERT_EQ(std::system("setxkbmap -layout us -variant altgr-intl"), 0);
  cmd = "xdotool type --delay 20 --file " + typed + " && xdotool key BackSpace";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  std::remove(typed.c_str());
  const std::string want = "a; :'\"?/\\|~[]\xE9";
  EXPECT_TRUE(PumpUntil([&] { return edit->Text() == want; })) << edit->Text();

  // The window's pixels as the X server holds them.
  std::vector<std::uint32_t> shot;
  auto at = [&](int px, int py) { return shot[static_cast<size_t>(py) * 200 + static_cast<size_t>(px)]; };
  PumpUntil([&] {
    shot = xw.Grab(200, 150);
    return !shot.empty() && at(70, 60) == 0xFF0000u;
  });
  ASSERT_EQ(shot.size(), 200u * 150u);
  EXPECT_EQ(at(70, 60), 0xFF0000u) << "red fill";
  EXPECT_EQ(at(35, 25), 0x00FF00u) << "green square";
  EXPECT_EQ(at(5, 5), 0xF0F0F0u) << "form background";

  // A repaint of part of the control reaches the window, and only that part
  // changes: the rest stays as the first upload left it.
  control->fill = clBlue;
  control->InvalidateRect(Rect(50, 50, 60, 60), false);
  PumpUntil([&] {
    shot = xw.Grab(200, 150);
    return !shot.empty() && at(75, 65) == 0x0000FFu;
  });
  EXPECT_EQ(at(75, 65), 0x0000FFu) << "repainted part";
  EXPECT_EQ(at(69, 59), 0xFF0000u) << "next to it, as it was";
  EXPECT_EQ(at(35, 25), 0x00FF00u) << "green square, as it was";

  // A picture cursor becomes a colour cursor of the display.
  std::vector<std::uint32_t> cross(16 * 16, 0);
  for (int i = 0; i < 16; ++i)
    cross[static_cast<size_t>(7 * 16 + i)] = cross[static_cast<size_t>(i * 16 + 7)] = 0xFF000000u;
  Screen->SetCursors(1785, CreateImageCursor("CROCE3", 16, 16, cross, 7, 7));
  Screen->SetCursor(1785);
  EXPECT_NE(SDL_GetCursor(), SDL_GetDefaultCursor());
  Screen->SetCursor(crDefault);

  // CF_TEXT is the system clipboard's text, both ways.
  ASSERT_TRUE(SetClipboardText("from the library"));
  char* sys = SDL_GetClipboardText();
  EXPECT_STREQ(sys, "from the library");
  SDL_free(sys);
  SDL_SetClipboardText("from another program");
  std::string text;
  ASSERT_TRUE(GetClipboardText(text));
  EXPECT_EQ(text, "from another program");
}

TEST(SDLBackEnd, KeysStillReachTheFocusedControlAfterAHintADropDownListThePickerAndAMenu) {
  TOnDisplay d;
  if (!d.Skip().empty()) GTEST_SKIP() << d.Skip() << ": skipped";
  struct TPauses {
    unsigned pause = Application->HintPause, hide = Application->HintHidePause;
    ~TPauses() {
      Application->HintPause = pause;
      Application->HintHidePause = hide;
    }
  } pauses;
  Application->HintPause = 50;
  Application->HintHidePause = 60000;
  TForm* form = d.NewForm();
  form->SetBounds(40, 30, 300, 200);
  auto* edit = Add<TEdit>(form, 10, 10, 180, 24);
  auto* combo = Add<TComboBox>(form, 10, 40, 140, 21);
  combo->Items = {"A", "B", "C", "D", "E"};
  combo->SetItemIndex(0);
  auto* pad = Add<TPainted>(form, 10, 70, 100, 60);
  pad->Hint = "a hint";
  pad->SetShowHint(true);
  form->Show();
  ASSERT_NE(d.Shown(form), 0u);
  edit->SetFocus();
  auto typed = [&](const char* key, const char* text) {
    // xdotool types into whichever window has the X focus.
    EXPECT_TRUE(d.Shell(std::string("xdotool key ") + key));
    return PumpUntil([&] { return edit->Text() == text; });
  };
  ASSERT_TRUE(typed("a", "a"));

  const std::string xid = std::to_string(d.Shown(form));
  ASSERT_TRUE(d.Shell("xdotool mousemove --window " + xid + " 40 100"));
  ASSERT_TRUE(PumpUntil([&] { return ShownHintWindow() && d.Shown(ShownHintWindow()); }));
  ASSERT_TRUE(d.Shell("xdotool mousemove --window " + xid + " 250 180"));
  ASSERT_TRUE(PumpUntil([&] { return !ShownHintWindow(); }));
  EXPECT_TRUE(typed("b", "ab")) << "after a hint: " << edit->Text();

  ASSERT_TRUE(d.Click(combo, 5, 5));
  ASSERT_TRUE(PumpUntil([&] { return combo->DroppedDown(); }));
  TForm* list = combo->DropDownWindow();
  const int row = (list->Height() - 2) / 5;
  ASSERT_TRUE(d.Click(list, 20, 1 + 2 * row + row / 2));
  ASSERT_TRUE(PumpUntil([&] { return !combo->DroppedDown(); }));
  EXPECT_EQ(combo->ItemIndex(), 2);
  EXPECT_TRUE(d.Shell("xdotool key Down"));
  EXPECT_TRUE(PumpUntil([&] { return combo->ItemIndex() == 3; }))
      << "after the list: keys reach the combo box";

  edit->SetFocus();
  bool escaped = false;
  TTimer timer(nullptr);
  timer.SetInterval(20);
  timer.SetOnTimer([&](TObject*) {
    auto* picker = dynamic_cast<TColorPickerForm*>(Application->ActiveForm());
    if (!picker) return;
    timer.SetEnabled(false);
    escaped = d.Shown(picker) && d.Shell("xdotool key Escape");
  });
  TColorDialog dialog(nullptr);
  EXPECT_FALSE(dialog.Execute());
  EXPECT_TRUE(escaped);
  EXPECT_TRUE(edit->Focused());
  EXPECT_TRUE(typed("c", "abc")) << "after the picker: " << edit->Text();

  TPopupMenu menu(nullptr);
  int chosen = 0;
  menu.Add("&First", [&](TObject*) { chosen = 1; });
  menu.Add("&Second", [&](TObject*) { chosen = 2; });
  pad->SetPopupMenu(&menu);
  ASSERT_TRUE(d.Shell("xdotool mousemove --window " + xid + " 40 100 click 3"));
  ASSERT_TRUE(PumpUntil([&] { return menu.Window() && d.Shown(menu.Window()); }));
  EXPECT_TRUE(d.Shell("xdotool key Down Down Return"));
  EXPECT_TRUE(PumpUntil([&] { return chosen == 2 && !menu.Window(); }));
  EXPECT_TRUE(typed("d", "abcd")) << "after the menu: " << edit->Text();
}

TEST(SDLBackEnd, KeyCodesMapToVirtualKeys) {
  struct TCase {
    SDL_Keycode sdl;
    WORD vk;
  };
  const TCase cases[] = {{SDLK_a, 'A'},
                         {SDLK_z, 'Z'},
                         {SDLK_5, '5'},
                         {SDLK_F2, VK_F2},
                         {SDLK_ESCAPE, VK_ESCAPE},
                         {SDLK_RETURN, VK_RETURN},
                         {SDLK_LSHIFT, VK_SHIFT},
                         {SDLK_RALT, VK_MENU},
                         {SDLK_PAGEDOWN, VK_NEXT},
                         {SDLK_APPLICATION, VK_APPS},
                         {SDLK_KP_7, VK_NUMPAD0 + 7},
                         {SDLK_SEMICOLON, VK_OEM_1},
                         {SDLK_QUOTE, VK_OEM_7},
                         {SDLK_UNKNOWN, 0}};
  for (const TCase& c : cases) EXPECT_EQ(VirtualKeyFromSDL(c.sdl), c.vk) << c.sdl;
}

}  // namespace
