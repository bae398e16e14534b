// The process-wide table of live window handles: handles are never reused,
// so any thread can ask whether a handle still names a window.
#pragma once

#include "platform/messages.h"

#pragma GCC visibility push(default)
namespace redozir {

class TControl;

namespace window_registry {
HWND Register(TControl* control);
void Unregister(HWND wnd);
// Main thread: the control, or nullptr once the window is gone.
TControl* Find(HWND wnd);
// Any thread.
bool IsLive(HWND wnd);
}  // namespace window_registry

}  // namespace redozir
#pragma GCC visibility pop
