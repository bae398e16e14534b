// Kept apart from the platform's sources: the window-system headers that
// SDL_syswm.h pulls in define macros (None, Bool, ...) that must not reach
// them. Our header comes first, so its declarations are read before them.
#include "platform/sdl/sdl_backend.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdint>

#if defined(SDL_VIDEO_DRIVER_X11) && defined(IMAGING_SDL_X11)
#define IMAGING_X11_FOCUS 1
#endif

namespace redozir {

namespace {
bool WMInfo(std::uint32_t windowId, SDL_SysWMinfo& info) {
  SDL_Window* w = SDL_GetWindowFromID(windowId);
  if (!w) return false;
  SDL_VERSION(&info.version);
  return SDL_GetWindowWMInfo(w, &info) == SDL_TRUE;
}
}  // namespace

unsigned long SDLNativeWindow(std::uint32_t windowId) {
  SDL_SysWMinfo info;
  if (!WMInfo(windowId, info)) return 0;
#if defined(SDL_VIDEO_DRIVER_X11)
  if (info.subsystem == SDL_SYSWM_X11) return static_cast<unsigned long>(info.info.x11.window);
#endif
  return 0;
}

unsigned long SDLNativeFocus(std::uint32_t windowId) {
#if IMAGING_X11_FOCUS
  SDL_SysWMinfo info;
  if (!WMInfo(windowId, info) || info.subsystem != SDL_SYSWM_X11) return 0;
  Display* dpy = info.info.x11.display;
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(dpy, &focus, &revert);
  // No window, the pointer's window or the root: keys reach no window of ours.
  if (focus == PointerRoot || focus == DefaultRootWindow(dpy)) return 0;
  return static_cast<unsigned long>(focus);
#else
  (void)windowId;
  return 0;
#endif
}

bool SDLSetNativeFocus(std::uint32_t windowId) {
#if IMAGING_X11_FOCUS
  SDL_SysWMinfo info;
  if (!WMInfo(windowId, info) || info.subsystem != SDL_SYSWM_X11) return false;
  Display* dpy = info.info.x11.display;
  Window w = info.info.x11.window;
  // Focusing a window that is not mapped yet is an X error, which ends the
  // program.
  XWindowAttributes a;
  if (!XGetWindowAttributes(dpy, w, &a) || a.map_state != IsViewable) return false;
  // Should this window go too, the focus falls back to the root (keys reach
  // the window under the pointer), never to no window at all.
  XSetInputFocus(dpy, w, RevertToParent, CurrentTime);
  XFlush(dpy);
  return true;
#else
  (void)windowId;
  return false;
#endif
}

}  // namespace redozir
