// Kept apart from the platform's sources: the window-system headers that
// SDL_syswm.h pulls in define macros (None, Bool, ...) that must not reach
// them. Our header comes first, so its declarations are read before them.
#include "platform/sdl/sdl_backend.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdint>

namespace redozir {

unsigned long SDLNativeWindow(std::uint32_t windowId) {
  SDL_Window* w = SDL_GetWindowFromID(windowId);
  if (!w) return 0;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(w, &info)) return 0;
#if defined(SDL_VIDEO_DRIVER_X11)
  if (info.subsystem == SDL_SYSWM_X11) return static_cast<unsigned long>(info.info.x11.window);
#endif
  return 0;
}

}  // namespace redozir
