// What every example does for a user before any picture: --help prints its
// usage and succeeds, and a program that needs a window says that there is
// no display instead of running on unseen.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace {
struct TRun {
  int status = -1;  // the exit status, -1 when it did not exit by itself
  std::string out;
};

// Runs a shell command (stopped after 20 seconds) and keeps what it printed.
TRun RunProgram(const std::string& cmd) {
  TRun r;
  FILE* p = popen(("ASAN_OPTIONS=detect_leaks=0 timeout -s KILL 20 " + cmd + " 2>&1").c_str(), "r");
  if (!p) return r;
  std::array<char, 256> buf;
  while (fgets(buf.data(), buf.size(), p)) r.out += buf.data();
  const int s = pclose(p);
  if (WIFEXITED(s) && WEXITSTATUS(s) != 137) r.status = WEXITSTATUS(s);
  return r;
}
}  // namespace

TEST(Examples, EveryExamplePrintsItsUsageWithHelp) {
  for (const char* program : {VIEWER_PROGRAM, CONTROL_WINDOW_PROGRAM, CONVERT_PROGRAM, QUICKSTART_PROGRAM}) {
    const TRun r = RunProgram(std::string(program) + " --help");
    EXPECT_EQ(r.status, 0) << program;
    EXPECT_EQ(r.out.rfind("usage: ", 0), 0u) << program << ": " << r.out;
  }
}

TEST(Examples, WithoutADisplayTheWindowProgramsSaySoAndFail) {
  for (const char* program : {CONTROL_WINDOW_PROGRAM, VIEWER_PROGRAM}) {
    const TRun r = RunProgram(std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER ") + program);
    EXPECT_EQ(r.status, 1) << program;
    EXPECT_NE(r.out.find("no display"), std::string::npos) << program << ": " << r.out;
  }
}
