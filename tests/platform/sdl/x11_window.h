// Reads a window back from the X server (kept apart from the platform's
// headers, whose names the X11 headers clash with).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TX11Window {
 public:
  TX11Window(const std::string& display, unsigned long window);
  ~TX11Window();
  bool Open() const { return dpy_ != nullptr; }
  bool Viewable() const;
  // The window's pixels as 0xRRGGBB, row by row; empty when it cannot be read.
  std::vector<std::uint32_t> Grab(int width, int height) const;

 private:
  void* dpy_ = nullptr;
  unsigned long window_;
};
