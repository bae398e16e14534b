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

// The viewer running in a window; stopped (Esc, then a signal) when done.
class TViewerProcess {
 public:
  TViewerProcess() {
    pid_ = fork();
    if (pid_ == 0) {
      // The display libraries keep allocations to the end: not the viewer's leaks.
      setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
      setenv("SDL_VIDEODRIVER", "x11", 1);
      execl(VIEWER_PROGRAM, VIEWER_PROGRAM, "--size", "320x240", static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~TViewerProcess() {
    if (pid_ <= 0) return;
    for (int i = 0; i < 200; ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
      if (i == 100) kill(pid_, SIGTERM);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  TViewerProcess(const TViewerProcess&) = delete;
  TViewerProcess& operator=(const TViewerProcess&) = delete;

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

}  // namespace

TEST(Viewer, RendersHeadlessIntoAPngOfTheWindowsSize) {
  std::string out = ::testing::TempDir() + "viewer_shot.png";
  std::remove(out.c_str());
  std::string cmd =
      std::string("ASAN_OPTIONS=detect_leaks=0 ") + VIEWER_PROGRAM + " --size 200x150 --screenshot " + out;
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(PngSize(out), (std::pair<std::uint32_t, std::uint32_t>{200, 150}));
  EXPECT_EQ(std::system((std::string(VIEWER_PROGRAM) + " --help > /dev/null").c_str()), 0);
  EXPECT_NE(std::system((std::string(VIEWER_PROGRAM) + " --size 0x0 2> /dev/null").c_str()), 0);
}

TEST(Viewer, AWheelTurnSentThroughXZoomsWhatTheWindowShows) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) GTEST_SKIP() << "no X server (run through ctest, which starts one): skipped";
  if (std::system("command -v xdotool > /dev/null 2>&1") != 0) GTEST_SKIP() << "xdotool is missing: skipped";
  TViewerProcess viewer;
  std::string id;
  ASSERT_TRUE(WaitFor([&] {
    id = Output("xdotool search --onlyvisible --name '^Redozir viewer' 2> /dev/null | head -1");
    return !id.empty();
  })) << "the viewer's window never showed";
  unsigned long xid = std::stoul(id);
  TX11Window w(display, xid);
  ASSERT_TRUE(w.Open());
  std::vector<std::uint32_t> before, after;
  // The first frame is up once two grabs in a row agree and are not blank.
  ASSERT_TRUE(WaitFor([&] {
    std::vector<std::uint32_t> a = w.Grab(320, 240);
    bool same = !a.empty() && a == before && a != std::vector<std::uint32_t>(a.size(), a[0]);
    before = std::move(a);
    return same;
  }));
  std::string wheel = "xdotool mousemove --window " + id + " 160 120 click 4 click 4";
  ASSERT_EQ(std::system(wheel.c_str()), 0);
  EXPECT_TRUE(WaitFor([&] {
    after = w.Grab(320, 240);
    return !after.empty() && after != before;
  })) << "the window shows the same after the wheel turn";
  // Esc closes the window on the key press, so xdotool's release finds no
  // window any more: its answer says nothing.
  if (std::system(("xdotool key --window " + id + " Escape 2> /dev/null").c_str()) != 0) {
  }
}
