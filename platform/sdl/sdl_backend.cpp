#include "platform/sdl/sdl_backend.h"

#include <SDL.h>

#include "platform/exceptions.h"
#include "platform/forms.h"
#include "platform/hints.h"
#include "platform/input.h"
#include "platform/keys.h"

namespace redozir {

struct TSDLBackEnd::TWindow {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  int texW = 0, texH = 0;
  ~TWindow() {
    if (texture) SDL_DestroyTexture(texture);
    if (renderer) SDL_DestroyRenderer(renderer);
    if (window) SDL_DestroyWindow(window);
  }
};

TSDLBackEnd::TSDLBackEnd() {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0)
    throw Exception(std::string("Cannot open the display: ") + SDL_GetError());
  // With no display to talk to, SDL falls back to windows that nobody sees;
  // only a program that names such a driver itself gets one.
  const char* driver = SDL_GetCurrentVideoDriver();
  const char* asked = SDL_getenv("SDL_VIDEODRIVER");
  if (driver && (!SDL_strcmp(driver, "offscreen") || !SDL_strcmp(driver, "dummy")) && !(asked && *asked)) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
    throw Exception("Cannot open the display: no display is available (is DISPLAY set?)");
  }
  wakeEvent_ = SDL_RegisterEvents(1);
  // A click that activates a window is a click too, as on the desktop: the
  // focus moves between our windows often (pop-ups hand it back).
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  // Printable characters come from the system's text input (layout, dead
  // keys and compose included), not from key codes.
  SDL_StartTextInput();
  SDL_Rect bounds;
  if (SDL_GetDisplayBounds(0, &bounds) == 0) Screen->SetSize(bounds.w, bounds.h);
}

TSDLBackEnd::~TSDLBackEnd() {
  windows_.clear();
  SDL_SetCursor(SDL_GetDefaultCursor());
  for (auto& [shape, cursor] : cursors_) SDL_FreeCursor(static_cast<SDL_Cursor*>(cursor));
  for (auto& [image, cursor] : imageCursors_)
    if (cursor) SDL_FreeCursor(static_cast<SDL_Cursor*>(cursor));
  SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
}

TSDLBackEnd::TWindow* TSDLBackEnd::Find(TForm* form) const {
  auto it = windows_.find(form);
  return it == windows_.end() ? nullptr : it->second.get();
}

TForm* TSDLBackEnd::FormOfWindow(std::uint32_t id) const {
  for (const auto& [form, w] : windows_)
    if (SDL_GetWindowID(w->window) == id) return form;
  return nullptr;
}

std::uint32_t TSDLBackEnd::WindowId(TForm* form) const {
  TWindow* w = Find(form);
  return w ? SDL_GetWindowID(w->window) : 0;
}

namespace {
// Pop-ups are shown without activation where SDL can ask for it.
class TQuietShow {
 public:
  explicit TQuietShow(bool quiet) : quiet_(quiet) {
    if (quiet_) SDL_SetHint(SDL_HINT_WINDOW_NO_ACTIVATION_WHEN_SHOWN, "1");
  }
  ~TQuietShow() {
    if (quiet_) SDL_SetHint(SDL_HINT_WINDOW_NO_ACTIVATION_WHEN_SHOWN, "0");
  }
  TQuietShow(const TQuietShow&) = delete;
  TQuietShow& operator=(const TQuietShow&) = delete;

 private:
  bool quiet_;
};

Uint32 WindowFlags(TForm* form) {
  if (form->NoActivate) {
    // The window system's pop-up kinds (override-redirect on X11): no frame,
    // no taskbar entry, and a window manager gives them no focus.
    Uint32 kind = dynamic_cast<THintWindow*>(form) ? SDL_WINDOW_TOOLTIP : SDL_WINDOW_POPUP_MENU;
    return kind | SDL_WINDOW_BORDERLESS | SDL_WINDOW_SKIP_TASKBAR;
  }
  Uint32 flags = 0;
  if (form->BorderStyle() == bsSizeable || form->BorderStyle() == bsSizeToolWin)
    flags |= SDL_WINDOW_RESIZABLE;
  if (form->BorderStyle() == bsNone) flags |= SDL_WINDOW_BORDERLESS;
  return flags;
}
}  // namespace

void TSDLBackEnd::FormShown(TForm* form) {
  TWindow* w = Find(form);
  if (w) {
    TQuietShow quiet(form->NoActivate);
    SDL_ShowWindow(w->window);
  } else {
    auto made = std::make_unique<TWindow>();
    {
      TQuietShow quiet(form->NoActivate);
      made->window =
          SDL_CreateWindow(form->Caption().c_str(), form->Left(), form->Top(), std::max(form->Width(), 1),
                           std::max(form->Height(), 1), SDL_WINDOW_SHOWN | WindowFlags(form));
    }
    if (!made->window) throw Exception(std::string("Cannot create a window: ") + SDL_GetError());
    // An accelerated renderer where the display has one; the software renderer
    // works everywhere, Xvfb included.
    made->renderer = SDL_CreateRenderer(made->window, -1, SDL_RENDERER_ACCELERATED);
    if (!made->renderer) made->renderer = SDL_CreateRenderer(made->window, -1, SDL_RENDERER_SOFTWARE);
    if (!made->renderer) throw Exception(std::string("Cannot create a renderer: ") + SDL_GetError());
    windows_[form] = std::move(made);
  }
  Present(form);
  // With no window manager SDL focuses every window it shows, pop-ups too.
  if (form->NoActivate) FocusForm(Application->ActiveForm());
}

void TSDLBackEnd::FormHidden(TForm* form) {
  TWindow* w = Find(form);
  if (!w) return;
  SDL_HideWindow(w->window);
  // A form that stays active keeps the keys; when this one was the active
  // one, the form that takes over is activated next and takes them then.
  if (TForm* active = Application->ActiveForm(); active != form) FocusForm(active);
}

void TSDLBackEnd::FormActivated(TForm* form) { FocusForm(form); }

void TSDLBackEnd::FocusForm(TForm* form) {
  TWindow* w = form ? Find(form) : nullptr;
  if (!w || !form->Visible()) return;
  const std::uint32_t id = SDL_GetWindowID(w->window);
  const unsigned long now = SDLNativeFocus(id);
  const unsigned long mine = SDLNativeWindow(id);
  if (!mine || now == mine) return;
  bool ours = now == 0;
  for (const auto& [f, other] : windows_)
    ours = ours || SDLNativeWindow(SDL_GetWindowID(other->window)) == now;
  if (ours) SDLSetNativeFocus(id);
}

void TSDLBackEnd::FormDestroyed(TForm* form) { windows_.erase(form); }

void TSDLBackEnd::FormChanged(TForm* form) {
  TWindow* w = Find(form);
  if (!w) return;
  SDL_SetWindowTitle(w->window, form->Caption().c_str());
  int cw = 0, ch = 0;
  SDL_GetWindowSize(w->window, &cw, &ch);
  if (cw != form->Width() || ch != form->Height())
    SDL_SetWindowSize(w->window, std::max(form->Width(), 1), std::max(form->Height(), 1));
  int x = 0, y = 0;
  SDL_GetWindowPosition(w->window, &x, &y);
  if (x != form->Left() || y != form->Top()) SDL_SetWindowPosition(w->window, form->Left(), form->Top());
}

void TSDLBackEnd::Present(TForm* form) { Show(form, nullptr); }

void TSDLBackEnd::PresentChanged(TForm* form, const std::vector<TRect>& changed) { Show(form, &changed); }

void TSDLBackEnd::Show(TForm* form, const std::vector<TRect>* changed) {
  TWindow* w = Find(form);
  TBitmap* s = form->Surface();
  if (!w || !s || s->Empty() || s->BitCount() != 32) return;
  if (!w->texture || w->texW != s->Width() || w->texH != s->Height()) {
    if (w->texture) SDL_DestroyTexture(w->texture);
    // Our 32-bit rows hold blue, green, red, unused: XRGB in a little-endian word.
    w->texture = SDL_CreateTexture(w->renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                   s->Width(), s->Height());
    if (!w->texture) return;
    w->texW = s->Width();
    w->texH = s->Height();
    changed = nullptr;
  }
  int pitch = static_cast<int>(s->RowBytes());
  if (!changed) {
    SDL_UpdateTexture(w->texture, nullptr, s->ScanLine(0), pitch);
  } else {
    // The texture keeps what was shown: only the changed rectangles go up.
    for (const TRect& r : *changed) {
      SDL_Rect area{r.Left, r.Top, r.Width(), r.Height()};
      SDL_UpdateTexture(w->texture, &area, s->ScanLine(r.Top) + static_cast<std::ptrdiff_t>(r.Left) * 4,
                        pitch);
    }
  }
  SDL_RenderClear(w->renderer);
  SDL_RenderCopy(w->renderer, w->texture, nullptr, nullptr);
  // The caret lives outside the surface, so that the control's pixels stay
  // what it painted.
  const TCaretState& caret = CaretState();
  if (caret.Visible()) {
    TControl* owner = TControl::FromHandle(caret.Owner);
    if (owner && GetParentForm(owner) == form && owner->Showing()) {
      TPoint o = owner->SurfaceOrigin();
      SDL_Rect r{o.X + caret.Pos.X, o.Y + caret.Pos.Y, caret.Width, caret.Height};
      SDL_SetRenderDrawColor(w->renderer, 0, 0, 0, 255);
      SDL_RenderFillRect(w->renderer, &r);
    }
  }
  SDL_RenderPresent(w->renderer);
}

namespace {
// A colour cursor from the picture's 0xAARRGGBB pixels (SDL copies them);
// nullptr when the display cannot make one.
SDL_Cursor* MakeImageCursor(const TCursorData& c) {
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t*>(c.Pixels.data()), c.Width,
                                                      c.Height, 32, c.Width * 4, SDL_PIXELFORMAT_ARGB8888);
  if (!s) return nullptr;
  SDL_Cursor* made = SDL_CreateColorCursor(s, c.HotX, c.HotY);
  SDL_FreeSurface(s);
  return made;
}
}  // namespace

void TSDLBackEnd::CursorChanged(HCURSOR cursor) {
  if (!cursor || cursor->Shape == csNoneShape) {
    SDL_ShowCursor(cursor ? SDL_DISABLE : SDL_ENABLE);
    return;
  }
  if (cursor->Shape == csImageShape) {
    void*& made = imageCursors_[cursor];
    if (!made) made = MakeImageCursor(*cursor);
    SDL_ShowCursor(SDL_ENABLE);
    if (made) {
      SDL_SetCursor(static_cast<SDL_Cursor*>(made));
      return;
    }
  }
  SDL_SystemCursor id = SDL_SYSTEM_CURSOR_ARROW;
  switch (cursor->Shape) {
    case csIBeamShape: id = SDL_SYSTEM_CURSOR_IBEAM; break;
    case csWaitShape: id = SDL_SYSTEM_CURSOR_WAIT; break;
    case csWaitArrowShape: id = SDL_SYSTEM_CURSOR_WAITARROW; break;
    case csCrossShape: id = SDL_SYSTEM_CURSOR_CROSSHAIR; break;
    case csSizeNWSEShape: id = SDL_SYSTEM_CURSOR_SIZENWSE; break;
    case csSizeNESWShape: id = SDL_SYSTEM_CURSOR_SIZENESW; break;
    case csSizeWEShape: id = SDL_SYSTEM_CURSOR_SIZEWE; break;
    case csSizeNSShape: id = SDL_SYSTEM_CURSOR_SIZENS; break;
    case csSizeAllShape: id = SDL_SYSTEM_CURSOR_SIZEALL; break;
    case csNoShape: id = SDL_SYSTEM_CURSOR_NO; break;
    case csHandShape: id = SDL_SYSTEM_CURSOR_HAND; break;
    default: break;
  }
  void*& c = cursors_[id];
  if (!c) c = SDL_CreateSystemCursor(id);
  SDL_ShowCursor(SDL_ENABLE);
  if (c) SDL_SetCursor(static_cast<SDL_Cursor*>(c));
}

WORD VirtualKeyFromSDL(std::int32_t k) {
  if (k >= SDLK_a && k <= SDLK_z) return static_cast<WORD>('A' + (k - SDLK_a));
  if (k >= SDLK_0 && k <= SDLK_9) return static_cast<WORD>('0' + (k - SDLK_0));
  if (k >= SDLK_F1 && k <= SDLK_F12) return static_cast<WORD>(VK_F1 + (k - SDLK_F1));
  if (k >= SDLK_KP_1 && k <= SDLK_KP_9) return static_cast<WORD>(VK_NUMPAD0 + 1 + (k - SDLK_KP_1));
  switch (k) {
    case SDLK_KP_0: return VK_NUMPAD0;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_HOME: return VK_HOME;
    case SDLK_END: return VK_END;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_UP: return VK_UP;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    case SDLK_CAPSLOCK: return VK_CAPITAL;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_APPLICATION:
    case SDLK_MENU: return VK_APPS;
    case SDLK_MINUS: return VK_OEM_MINUS;
    case SDLK_EQUALS: return VK_OEM_PLUS;
    case SDLK_COMMA: return VK_OEM_COMMA;
    case SDLK_PERIOD: return VK_OEM_PERIOD;
    case SDLK_SEMICOLON: return VK_OEM_1;
    case SDLK_SLASH: return VK_OEM_2;
    case SDLK_BACKQUOTE: return VK_OEM_3;
    case SDLK_LEFTBRACKET: return VK_OEM_4;
    case SDLK_BACKSLASH: return VK_OEM_5;
    case SDLK_RIGHTBRACKET: return VK_OEM_6;
    case SDLK_QUOTE: return VK_OEM_7;
    case SDLK_KP_PLUS: return VK_ADD;
    case SDLK_KP_MINUS: return VK_SUBTRACT;
    case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
    case SDLK_KP_DIVIDE: return VK_DIVIDE;
    case SDLK_KP_PERIOD: return VK_DECIMAL;
    default: return 0;
  }
}

namespace {
TMouseButton ButtonOf(Uint8 b) {
  return b == SDL_BUTTON_RIGHT ? mbRight : b == SDL_BUTTON_MIDDLE ? mbMiddle : mbLeft;
}
}  // namespace

void TSDLBackEnd::HandleEvent(const void* ev) {
  const SDL_Event& e = *static_cast<const SDL_Event*>(ev);
  switch (e.type) {
    case SDL_MOUSEMOTION:
      TInput::PostMouseMove(FormOfWindow(e.motion.windowID), e.motion.x, e.motion.y);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      if (e.button.button > SDL_BUTTON_RIGHT) break;
      TInput::MouseButton(FormOfWindow(e.button.windowID), e.button.x, e.button.y, ButtonOf(e.button.button),
                          e.type == SDL_MOUSEBUTTONDOWN);
      break;
    case SDL_MOUSEWHEEL: {
      int x = 0, y = 0;
      SDL_GetMouseState(&x, &y);
      TForm* f = FormOfWindow(e.wheel.windowID);
      int sign = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1;
      if (e.wheel.y != 0) TInput::Wheel(f, x, y, sign * e.wheel.y * WHEEL_DELTA, false);
      if (e.wheel.x != 0) TInput::Wheel(f, x, y, sign * e.wheel.x * WHEEL_DELTA, true);
      break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      if (WORD vk = VirtualKeyFromSDL(e.key.keysym.sym)) TInput::Key(vk, e.type == SDL_KEYDOWN, false);
      break;
    case SDL_TEXTINPUT: TInput::Text(e.text.text); break;
    case SDL_QUIT:
      // An interrupt or terminate signal: the program ends as if its main
      // form had closed.
      Application->Terminate();
      break;
    case SDL_WINDOWEVENT: {
      TForm* f = FormOfWindow(e.window.windowID);
      if (!f) break;
      switch (e.window.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED: TInput::Resized(f, e.window.data1, e.window.data2); break;
        case SDL_WINDOWEVENT_MOVED: TInput::Moved(f, e.window.data1, e.window.data2); break;
        case SDL_WINDOWEVENT_CLOSE: TInput::CloseRequested(f); break;
        case SDL_WINDOWEVENT_EXPOSED: Present(f); break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          // A pop-up, or a form a modal one keeps disabled, hands the keys
          // back to the active form.
          if (f->NoActivate || !f->Enabled()) {
            FocusForm(Application->ActiveForm());
            if (TWindow* a = Find(Application->ActiveForm()); a && !f->NoActivate) SDL_RaiseWindow(a->window);
          } else {
            f->Activate();
          }
          break;
        default: break;
      }
      break;
    }
    default: break;
  }
}

bool TSDLBackEnd::PumpEvents() {
  bool any = false;
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    any = true;
    if (e.type == wakeEvent_) continue;
    try {
      HandleEvent(&e);
    } catch (...) {
      Application->HandleException(Application);
    }
  }
  return any;
}

bool TSDLBackEnd::WaitEvents(int timeoutMs) {
  // With no event argument SDL leaves the event queued for PumpEvents.
  if (timeoutMs < 0)
    SDL_WaitEvent(nullptr);
  else
    SDL_WaitEventTimeout(nullptr, timeoutMs);
  return true;
}

void TSDLBackEnd::Wake() {
  SDL_Event e{};
  e.type = wakeEvent_;
  SDL_PushEvent(&e);
}

bool TSDLBackEnd::GetClipboardText(std::string& text) {
  if (!SDL_HasClipboardText()) {
    text.clear();
    return true;
  }
  char* t = SDL_GetClipboardText();
  if (!t) return false;
  text = t;
  SDL_free(t);
  return true;
}

bool TSDLBackEnd::SetClipboardText(const std::string& text) {
  return SDL_SetClipboardText(text.c_str()) == 0;
}

}  // namespace redozir
