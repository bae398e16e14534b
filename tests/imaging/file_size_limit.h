// Runs a piece of a test in a forked child whose files may not grow past a
// limit, as on a full disk: the child's exit code, or -1 when it did not
// exit (a crash).
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

inline int ExitCodeUnderFileSizeLimit(rlim_t Bytes, const std::function<int()>& Body) {
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
    rlimit lim{Bytes, Bytes};
    setrlimit(RLIMIT_FSIZE, &lim);
    _exit(Body());
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}
