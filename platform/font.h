// Fonts: faces matched through fontconfig and rendered by FreeType, 8-bit
// strings converted from their charset's code page through iconv, and text
// measuring behind an interface that tests can replace.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

// The largest em height in pixels that a font is rendered at: an absurd
// height cannot exhaust memory or time.
constexpr int kMaxFontPixels = 2048;
// The em height used for a font whose Height is 0.
constexpr int kDefaultFontPixels = 13;

// The Windows code page of a charset (1252 for ANSI, DEFAULT and unknown ones).
int CharsetCodePage(TFontCharset charset);
// 8-bit text in the charset's code page as Unicode code points; bytes that do
// not convert become U+FFFD.
std::u32string CharsetToUnicode(const std::string& text, TFontCharset charset);
// The single byte that stands for a code point in the charset's code page;
// -1 when the code page has none (or needs more than one byte for it).
int UnicodeToCharsetByte(char32_t ch, TFontCharset charset);
// UTF-16 (unpaired surrogates become U+FFFD) and UTF-8 (invalid bytes become
// U+FFFD) as code points; UTF-8 to UTF-16.
std::u32string Utf16ToUnicode(const std::u16string& text);
std::u32string Utf8ToUnicode(const std::string& text);
std::u16string Utf8ToWide(const std::string& text);

// The face name that a font name is looked up by ("MS Sans Serif" and the
// other bitmap-font names of the platform map to a sans face).
std::string FontFamilyFor(const std::string& name);
// The file that fontconfig chose for a name, weight and slant (empty when
// none), for diagnostics and tests.
std::string MatchFontFile(const std::string& name, bool bold, bool italic);

// Text measuring: every TCanvas measurement goes through the current one.
class TTextMeasurer {
 public:
  virtual ~TTextMeasurer() = default;
  virtual TTextMetric Metrics(const TFont& font) = 0;
  // Width along the base line and cell height of a line of text.
  virtual TSize Extent(const TFont& font, const std::u32string& text) = 0;
};

// Fixed metrics for tests: every character CharWidth wide, cells of
// Ascent + Descent.
class TFixedTextMeasurer : public TTextMeasurer {
 public:
  TFixedTextMeasurer(int charWidth, int ascent, int descent, int internalLeading = 0)
      : charWidth_(charWidth), ascent_(ascent), descent_(descent), leading_(internalLeading) {}
  TTextMetric Metrics(const TFont& font) override;
  TSize Extent(const TFont& font, const std::u32string& text) override;

 private:
  int charWidth_, ascent_, descent_, leading_;
};

// The FreeType measurer (the default).
TTextMeasurer& FreeTypeTextMeasurer();
// Replaces the current measurer (nullptr restores FreeType's); answers the
// previous one. The caller keeps ownership.
TTextMeasurer* SetTextMeasurer(TTextMeasurer* m);
TTextMeasurer& CurrentTextMeasurer();

// A rendered glyph: coverage 0..255 per pixel, placed relative to the pen
// position on the base line (Left to the right, Top upwards, as FreeType has
// it), and the pen's advance in pixels (y downwards).
struct TGlyphImage {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Rows = 0;
  std::vector<std::uint8_t> Coverage;
  double AdvanceX = 0;
  double AdvanceY = 0;
};

// A face at the size, style, angle and quality of a TFont.
class TFontInstance {
 public:
  virtual ~TFontInstance() = default;
  virtual TTextMetric Metrics() const = 0;
  // Advance along the base line in whole pixels (unrotated).
  virtual int Advance(char32_t ch) = 0;
  virtual const TGlyphImage& Glyph(char32_t ch) = 0;
  // Underline and strike-out: offset below the base line (negative above)
  // and thickness, in pixels.
  virtual void UnderlineMetrics(int& offset, int& thickness) const = 0;
  virtual void StrikeOutMetrics(int& offset, int& thickness) const = 0;
  virtual int EmPixels() const = 0;
};

// The instance for a font (shared and cached); nullptr when no face at all
// could be loaded.
std::shared_ptr<TFontInstance> GetFontInstance(const TFont& font);

}  // namespace redozir
#pragma GCC visibility pop
