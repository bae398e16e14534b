#include "platform/graphics.h"

#include <cstdlib>

namespace {
// MulDiv: a * b / c rounded half away from zero, in 64 bits.
int MulDiv(int a, int b, int c) {
  long long p = static_cast<long long>(a) * b;
  long long q = (std::llabs(p) * 2 + std::llabs(c)) / (2 * std::llabs(static_cast<long long>(c)));
  return static_cast<int>(((p < 0) != (c < 0)) ? -q : q);
}
}  // namespace

int TFont::Size() const { return -MulDiv(Height, 72, kScreenPixelsPerInch); }

void TFont::SetSize(int points) { Height = -MulDiv(points, kScreenPixelsPerInch, 72); }
