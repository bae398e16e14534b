#include "x11_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

TX11Window::TX11Window(const std::string& display, unsigned long window)
    : dpy_(XOpenDisplay(display.c_str())), window_(window) {}

TX11Window::~TX11Window() {
  if (dpy_) XCloseDisplay(static_cast<Display*>(dpy_));
}

bool TX11Window::Viewable() const {
  XWindowAttributes a;
  return dpy_ && XGetWindowAttributes(static_cast<Display*>(dpy_), window_, &a) && a.map_state == IsViewable;
}

std::vector<std::uint32_t> TX11Window::Grab(int width, int height) const {
  std::vector<std::uint32_t> out;
  if (!dpy_) return out;
  XImage* img = XGetImage(static_cast<Display*>(dpy_), window_, 0, 0, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!img) return out;
  out.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      out.push_back(static_cast<std::uint32_t>(XGetPixel(img, x, y) & 0xFFFFFF));
  XDestroyImage(img);
  return out;
}
