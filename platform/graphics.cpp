#include "platform/graphics.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace redozir {

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

TLogFontA LogFontFromFont(const TFont& font) {
  TLogFontA lf;
  lf.lfHeight = font.Height;
  lf.lfEscapement = font.Escapement;
  lf.lfOrientation = font.Escapement;
  lf.lfWeight = font.Bold() ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = font.Italic();
  lf.lfUnderline = font.Style & fsUnderline;
  lf.lfStrikeOut = font.Style & fsStrikeOut;
  lf.lfCharSet = font.Charset;
  lf.lfQuality = font.Quality;
  size_t n = std::min<size_t>(font.Name.size(), sizeof(lf.lfFaceName) - 1);
  std::memcpy(lf.lfFaceName, font.Name.data(), n);
  return lf;
}

TFont FontFromLogFont(const TLogFontA& lf) {
  TFont f;
  f.Height = lf.lfHeight;
  f.Escapement = lf.lfEscapement;
  TFontStyles s;
  if (lf.lfWeight >= FW_SEMIBOLD) s = s | fsBold;
  if (lf.lfItalic) s = s | fsItalic;
  if (lf.lfUnderline) s = s | fsUnderline;
  if (lf.lfStrikeOut) s = s | fsStrikeOut;
  f.Style = s;
  f.Charset = lf.lfCharSet;
  f.Quality = lf.lfQuality <= fqClearTypeNatural ? static_cast<TFontQuality>(lf.lfQuality) : fqDefault;
  f.Name.assign(lf.lfFaceName, strnlen(lf.lfFaceName, sizeof(lf.lfFaceName)));
  return f;
}

}  // namespace redozir
