#include "platform/window_registry.h"

#include <mutex>
#include <unordered_map>

namespace redozir {

namespace {
std::mutex& Lock() {
  static std::mutex m;
  return m;
}
std::unordered_map<HWND, TControl*>& Table() {
  static std::unordered_map<HWND, TControl*> t;
  return t;
}
HWND nextHandle = 0x10000;
}  // namespace

namespace window_registry {

HWND Register(TControl* control) {
  std::lock_guard<std::mutex> g(Lock());
  HWND h = nextHandle;
  nextHandle += 4;
  Table()[h] = control;
  return h;
}

void Unregister(HWND wnd) {
  std::lock_guard<std::mutex> g(Lock());
  Table().erase(wnd);
}

TControl* Find(HWND wnd) {
  if (wnd == 0) return nullptr;
  std::lock_guard<std::mutex> g(Lock());
  auto it = Table().find(wnd);
  return it == Table().end() ? nullptr : it->second;
}

bool IsLive(HWND wnd) { return Find(wnd) != nullptr; }

}  // namespace window_registry

}  // namespace redozir
