// The debug log: one line per call, never an error for the caller.
#include "imaging/formats/ie_debuglog.h"

#include <cstdio>
#include <ctime>
#include <mutex>

namespace redozir {

std::string IEDebugLogFileName;

void IEDebugLog(const std::string& Text) {
  static std::mutex m;
  std::lock_guard<std::mutex> lock(m);
  if (IEDebugLogFileName.empty()) return;
  std::FILE* f = std::fopen(IEDebugLogFileName.c_str(), "a");
  if (!f) return;
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  std::fprintf(f, "%s : %s\n", stamp, Text.c_str());
  std::fclose(f);
}

}  // namespace redozir
