// Machine and session queries on Linux (procfs, sysfs, the affinity mask).
#include "imaging/core/ie_system.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>

namespace redozir {

namespace {

std::int64_t MemInfoField(const char* name) {
  std::ifstream f("/proc/meminfo");
  std::string line;
  std::string key = std::string(name) + ":";
  while (std::getline(f, line)) {
    if (line.compare(0, key.size(), key) != 0) continue;
    std::istringstream in(line.substr(key.size()));
    std::int64_t kb = -1;
    in >> kb;
    if (kb >= 0 && kb < (std::int64_t(1) << 50)) return kb * 1024;
  }
  return -1;
}

bool ReadInt(const std::string& path, long& v) {
  std::ifstream f(path);
  return static_cast<bool>(f >> v);
}

int CountCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
  }
  // Hyper-threads of one core share (package, core id); count them once.
  std::set<std::pair<long, long>> cores;
  int logical = 0;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (!CPU_ISSET(cpu, &set)) continue;
    ++logical;
    std::string base = "/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/topology/";
    long pkg = 0, core = 0;
    if (!ReadInt(base + "physical_package_id", pkg) || !ReadInt(base + "core_id", core))
      return std::max(1, CPU_COUNT(&set));
    cores.insert({pkg, core});
  }
  if (cores.empty()) return logical > 0 ? logical : 1;
  return static_cast<int>(cores.size());
}

}  // namespace

std::int64_t IEGetPhysicalMemory(bool Available) {
  std::int64_t v = MemInfoField(Available ? "MemAvailable" : "MemTotal");
  if (v >= 0) return v;
  long pages = sysconf(Available ? _SC_AVPHYS_PAGES : _SC_PHYS_PAGES);
  long size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || size <= 0) return 0;
  return static_cast<std::int64_t>(pages) * size;
}

int IEGetCPUCoreCount() {
  static const int count = CountCores();
  return count;
}

bool IEMMXSupported() {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_cpu_supports("mmx");
#else
  return false;
#endif
}

bool IEIsRemoteSession() {
  if (std::getenv("SSH_CONNECTION") || std::getenv("SSH_CLIENT")) return true;
  // An X display "host:n" names another machine unless the host is this one.
  if (const char* d = std::getenv("DISPLAY")) {
    std::string s = d;
    size_t colon = s.rfind(':');
    if (colon != std::string::npos && colon > 0) {
      std::string host = s.substr(0, colon);
      if (host != "localhost" && host != "unix" && host != "127.0.0.1" && host[0] != '/') return true;
    }
  }
  return false;
}

}  // namespace redozir
