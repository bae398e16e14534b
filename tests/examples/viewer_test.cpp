// The viewer example as a user runs it: headless into a PNG, and in a real
// window on the X server that ctest starts for this binary (tests/under-x), where
// a wheel turn sent through X must change what the window shows.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/sdl/x11_window.h"

namespace {

// Runs a shell command and returns what it printed, trimmed.
std::string Output(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  std::array<char, 256> buf;
  while (fgets(buf.data(), buf.size(), p)) out += buf.data();
  pclose(p);
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

// Width and height from a PNG's header (0, 0 when it is none).
std::pair<std::uint32_t, std::uint32_t> PngSize(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  unsigned char h[24] = {};
  if (!in.read(reinterpret_cast<char*>(h), 24) || h[1] != 'P' || h[2] != 'N' || h[3] != 'G') return {0, 0};
  auto be = [&](int at) {
    return std::uint32_t(h[at]) << 24 | std::uint32_t(h[at + 1]) << 16 | std::uint32_t(h[at + 2]) << 8 |
           h[at + 3];
  };
  return {be(16), be(20)};
}

// An example program running in a window; stopped (Esc, then a signal) when done.
class TProgramProcess {
 public:
  explicit TProgramProcess(std::vector<std::string> args) {
    pid_ = fork();
    if (pid_ == 0) {
      // The display libraries keep allocations to the end: not the example's leaks.
      setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
      setenv("SDL_VIDEODRIVER", "x11", 1);
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
  }
  ~TProgramProcess() {
    if (pid_ <= 0) return;
    for (int i = 0; i < 200; ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
      if (i == 100) kill(pid_, SIGTERM);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  TProgramProcess(const TProgramProcess&) = delete;
  TProgramProcess& operator=(const TProgramProcess&) = delete;

 private:
  pid_t pid_ = -1;
};

template <typename F>
bool WaitFor(F done, int tries = 1000) {
  for (int i = 0; i < tries; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// The X window whose title starts with Title, driven with xdotool and read back.
class TShownWindow {
 public:
  TShownWindow(const std::string& title, int width, int height) : width_(width), height_(height) {
    WaitFor([&] {
      id_ = Output("xdotool search --onlyvisible --name '^" + title + "' 2> /dev/null | head -1");
      return !id_.empty();
    });
    if (!id_.empty()) x_ = std::make_unique<TX11Window>(std::getenv("DISPLAY"), std::stoul(id_));
  }
  bool Shown() const { return x_ && x_->Open(); }
  const std::string& Id() const { return id_; }
  std::vector<std::uint32_t> Grab() const { return x_->Grab(width_, height_); }
  // The first frame is up once two grabs in a row agree and are not blank.
  std::vector<std::uint32_t> SteadyFrame() const {
    std::vector<std::uint32_t> last;
    WaitFor([&] {
      std::vector<std::uint32_t> a = Grab();
      bool same = !a.empty() && a == last && a != std::vector<std::uint32_t>(a.size(), a[0]);
      last = std::move(a);
      return same;
    });
    return last;
  }
  // Waits until the window shows something other than Before, then for the frame to settle.
  bool ChangesFrom(const std::vector<std::uint32_t>& before) const {
    return WaitFor([&] { return Grab() != before; }, 250) && !SteadyFrame().empty();
  }
  bool Shows(const std::vector<std::uint32_t>& frame) const {
    return WaitFor([&] { return Grab() == frame; }, 250);
  }
  std::string Title() const { return Output("xdotool getwindowname " + id_); }
  bool TitleHas(const std::string& part) const {
    return WaitFor([&] { return Title().find(part) != std::string::npos; }, 250);
  }
  // Keys as xdotool names them ("o", "ctrl+z"), pressed over the window.
  void Keys(const std::string& keys) const {
    Run("xdotool mousemove --window " + id_ + " 2 2 key --delay 30 " + keys);
  }
  void Type(const std::string& text) const { Run("xdotool type --delay 20 '" + text + "'"); }
  void Drag(int x1, int y1, int x2, int y2) const {
    Run("xdotool mousemove --window " + id_ + " " + Xy(x1, y1) + " mousedown 1 mousemove --window " + id_ +
        " " + Xy((x1 + x2) / 2, (y1 + y2) / 2) + " mousemove --window " + id_ + " " + Xy(x2, y2) +
        " mouseup 1");
  }
  void Click(int x, int y, int repeat = 1) const {
    Run("xdotool mousemove --window " + id_ + " " + Xy(x, y) + " click --repeat " + std::to_string(repeat) +
        " 1");
  }

 private:
  static std::string Xy(int x, int y) { return std::to_string(x) + " " + std::to_string(y); }
  static void Run(const std::string& cmd) {
    // Esc closes a window on the key press, so xdotool's release may find no
    // window any more: its answer says nothing.
    if (std::system((cmd + " 2> /dev/null").c_str()) != 0) {
    }
  }
  std::string id_;
  int width_, height_;
  std::unique_ptr<TX11Window> x_;
};

// The viewer in a 320 x 240 window, with more arguments.
struct TViewerWindow {
  explicit TViewerWindow(const std::vector<std::string>& args = {})
      : process(Args(args)), window("Redozir viewer", 320, 240) {}
  static std::vector<std::string> Args(std::vector<std::string> more) {
    more.insert(more.begin(), {VIEWER_PROGRAM, "--size", "320x240"});
    return more;
  }
  TProgramProcess process;
  TShownWindow window;
};

const char* const kNoX = "no X server or no xdotool (run through ctest, which starts one)";

bool SkipWithoutX() {
  const char* display = std::getenv("DISPLAY");
  return !display || !*display || std::system("command -v xdotool > /dev/null 2>&1") != 0;
}

// A path in the test's temporary folder, this process's own (test runs of
// other checkouts may share the folder); no file is there before or after.
struct TTempFile {
  explicit TTempFile(const std::string& name)
      : path(::testing::TempDir() + std::to_string(getpid()) + "_" + name) {
    std::remove(path.c_str());
  }
  ~TTempFile() { std::remove(path.c_str()); }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  const std::string path;
};

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(Viewer, RendersHeadlessIntoAPngOfTheWindowsSize) {
  const TTempFile shot("viewer_shot.png");
  const std::string& out = shot.path;
  std::string cmd =
      std::string("ASAN_OPTIONS=detect_leaks=0 ") + VIEWER_PROGRAM + " --size 200x150 --screenshot " + out;
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(PngSize(out), (std::pair<std::uint32_t, std::uint32_t>{200, 150}));
  EXPECT_EQ(std::system((std::string(VIEWER_PROGRAM) + " --help > /dev/null").c_str()), 0);
  EXPECT_NE(std::system((std::string(VIEWER_PROGRAM) + " --size 0x0 2> /dev/null").c_str()), 0);
}

TEST(Viewer, AWheelTurnSentThroughXZoomsWhatTheWindowShows) {
  if (SkipWithoutX()) GTEST_SKIP() << kNoX;
  TViewerWindow viewer;
  const TShownWindow& w = viewer.window;
  ASSERT_TRUE(w.Shown()) << "the viewer's window never showed";
  const std::vector<std::uint32_t> before = w.SteadyFrame();
  ASSERT_FALSE(before.empty());
  ASSERT_EQ(std::system(("xdotool mousemove --window " + w.Id() + " 160 120 click 4 click 4").c_str()), 0);
  EXPECT_TRUE(w.ChangesFrom(before)) << "the window shows the same after the wheel turn";
  w.Keys("Escape");
}

TEST(Viewer, ObjectsDrawnWithTheMouseUndoSaveAndLoadBack) {
  if (SkipWithoutX()) GTEST_SKIP() << kNoX;
  const TTempFile file("viewer_objects.iev");
  const std::string& iev = file.path;
  {
    TViewerWindow viewer({"--objects", iev});
    const TShownWindow& w = viewer.window;
    ASSERT_TRUE(w.Shown()) << "the viewer's window never showed";
    const std::vector<std::uint32_t> empty = w.SteadyFrame();
    // The last object tool: the program's own kind, which a load must find
    // registered.
    w.Keys("o o o o o o o o o o o o");
    ASSERT_TRUE(w.TitleHas(" - star")) << w.Title();
    w.Drag(60, 50, 200, 150);
    ASSERT_TRUE(w.ChangesFrom(empty)) << "the star drawn with the mouse does not show";
    const std::vector<std::uint32_t> drawn = w.SteadyFrame();
    w.Keys("ctrl+z");
    EXPECT_TRUE(w.Shows(empty)) << "undo leaves the star on the screen";
    w.Drag(60, 50, 200, 150);
    ASSERT_TRUE(w.Shows(drawn));
    w.Keys("ctrl+s ctrl+z");
    ASSERT_TRUE(w.Shows(empty));
    EXPECT_EQ(ReadFile(iev).substr(0, 3), "IEV");
    w.Keys("ctrl+o");
    EXPECT_TRUE(w.ChangesFrom(empty)) << "the objects saved do not load back: " << w.Title();
    w.Keys("Escape");
  }
  // Loaded at the start, the star shows headless too.
  const TTempFile with("viewer_with.png"), without("viewer_without.png");
  const std::string run = std::string("ASAN_OPTIONS=detect_leaks=0 ") + VIEWER_PROGRAM + " --size 200x150 ";
  ASSERT_EQ(std::system((run + "--objects " + iev + " --screenshot " + with.path).c_str()), 0);
  ASSERT_EQ(std::system((run + "--objects " + iev + ".none --screenshot " + without.path).c_str()), 0);
  EXPECT_TRUE(ReadFile(with.path) != ReadFile(without.path)) << "the objects loaded at the start do not show";
}

TEST(Viewer, SelectionsAndLayersWithTheMouse) {
  if (SkipWithoutX()) GTEST_SKIP() << kNoX;
  TViewerWindow viewer;
  const TShownWindow& w = viewer.window;
  ASSERT_TRUE(w.Shown()) << "the viewer's window never showed";
  std::vector<std::uint32_t> frame = w.SteadyFrame();
  w.Keys("m");
  ASSERT_TRUE(w.TitleHas(" - select a rectangle")) << w.Title();
  w.Drag(150, 60, 250, 150);
  ASSERT_TRUE(w.ChangesFrom(frame)) << "no selection shows";
  frame = w.SteadyFrame();
  // The picture (1600 x 1000) fits at 20 %, 20 pixels down: the disc's
  // layer, 333 pixels wide at (166, 166), lies from 33 to 100 across.
  const std::size_t centre = 86 * 320 + 66;
  w.Keys("l");
  ASSERT_TRUE(WaitFor([&] { return w.Grab()[centre] != frame[centre]; })) << "the new layer does not show";
  w.Keys("m m m m m");
  ASSERT_TRUE(w.TitleHas(" - move and resize layers")) << w.Title();
  w.Drag(66, 86, 200, 160);
  EXPECT_TRUE(WaitFor([&] { return w.Grab()[centre] == frame[centre]; })) << "the layer does not move away";
  w.Keys("Escape");
}

TEST(Viewer, TheSaveDialogWritesThePictureOnOk) {
  if (SkipWithoutX()) GTEST_SKIP() << kNoX;
  const TTempFile saved("viewer_saved.png");
  const std::string& out = saved.path;
  TViewerWindow viewer({"--save", out});
  const TShownWindow& w = viewer.window;
  ASSERT_TRUE(w.Shown()) << "the viewer's window never showed";
  w.SteadyFrame();
  w.Keys("s");
  TShownWindow dialog("Parameters", 100, 100);
  ASSERT_TRUE(dialog.Shown()) << "no save dialog";
  dialog.Keys("Return");
  EXPECT_TRUE(WaitFor([&] { return ReadFile(out).substr(0, 4) == "\x89PNG"; })) << "nothing written";
  EXPECT_TRUE(w.TitleHas(" - saved ")) << w.Title();
  w.Keys("m");
  EXPECT_TRUE(w.TitleHas(" - select a rectangle"))
      << "the keys do not come back to the viewer: " << w.Title();
  w.Keys("Escape");
}

TEST(Viewer, ACommandThatFailsSaysWhyInTheTitle) {
  if (SkipWithoutX()) GTEST_SKIP() << kNoX;
  TViewerWindow viewer({"--objects", "/nonexistent/objects.iev"});
  const TShownWindow& w = viewer.window;
  ASSERT_TRUE(w.Shown()) << "the viewer's window never showed";
  w.Keys("ctrl+s");
  EXPECT_TRUE(w.TitleHas("Cannot save \"/nonexistent/objects.iev\"")) << w.Title();
  w.Keys("Escape");
}

TEST(ControlWindow, TheTextControlTakesTyping) {
  if (SkipWithoutX()) GTEST_SKIP() << kNoX;
  TProgramProcess program({CONTROL_WINDOW_PROGRAM});
  TShownWindow w("Control window", 560, 272);
  ASSERT_TRUE(w.Shown()) << "the control window never showed";
  const std::vector<std::uint32_t> before = w.SteadyFrame();
  ASSERT_FALSE(before.empty());
  w.Click(400, 100);
  const std::vector<std::uint32_t> focused = w.SteadyFrame();
  w.Type("abc abc");
  EXPECT_TRUE(w.ChangesFrom(focused)) << "typing shows nothing";
  w.Click(100, 100);  // Esc quits from the pad
  w.Keys("Escape");
}
