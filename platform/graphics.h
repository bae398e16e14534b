// The drawing tools of a canvas: TPen, TBrush and TFont, with their styles,
// modes and the text-metric record.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

enum TPenStyle {
  psSolid,
  psDash,
  psDot,
  psDashDot,
  psDashDotDot,
  psClear,
  psInsideFrame,
  psUserStyle,
  psAlternate
};

// The sixteen binary raster operations of a pen, in the platform's order
// (R2_BLACK = 1 is pmBlack).
enum TPenMode {
  pmBlack,
  pmWhite,
  pmNop,
  pmNot,
  pmCopy,
  pmNotCopy,
  pmMergePenNot,
  pmMaskPenNot,
  pmMergeNotPen,
  pmMaskNotPen,
  pmMerge,
  pmNotMerge,
  pmMask,
  pmNotMask,
  pmXor,
  pmNotXor
};

enum TBrushStyle {
  bsSolid,
  bsClear,
  bsHorizontal,
  bsVertical,
  bsFDiagonal,
  bsBDiagonal,
  bsCross,
  bsDiagCross
};

class TPen {
 public:
  TColor Color = clBlack;
  int Width = 1;
  TPenStyle Style = psSolid;
  TPenMode Mode = pmCopy;
  friend bool operator==(const TPen&, const TPen&) = default;
};

class TBrush {
 public:
  TColor Color = clWhite;
  TBrushStyle Style = bsSolid;
  friend bool operator==(const TBrush&, const TBrush&) = default;
};

enum TFontStyle : std::uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// A set of TFontStyle flags: Style = fsBold, Style = fsBold | fsItalic,
// Style & fsBold, Style - fsBold.
struct TFontStyles {
  std::uint8_t Bits = 0;
  constexpr TFontStyles() = default;
  constexpr TFontStyles(TFontStyle s) : Bits(s) {}
  constexpr explicit TFontStyles(std::uint8_t bits) : Bits(bits) {}
  friend constexpr TFontStyles operator|(TFontStyles a, TFontStyles b) {
    return TFontStyles(std::uint8_t(a.Bits | b.Bits));
  }
  friend constexpr TFontStyles operator-(TFontStyles a, TFontStyles b) {
    return TFontStyles(std::uint8_t(a.Bits & ~b.Bits));
  }
  friend constexpr bool operator&(TFontStyles a, TFontStyle b) { return (a.Bits & b) != 0; }
  friend constexpr bool operator==(TFontStyles, TFontStyles) = default;
};
constexpr TFontStyles operator|(TFontStyle a, TFontStyle b) {
  return TFontStyles(std::uint8_t(a | std::uint8_t(b)));
}
constexpr TFontStyles fsNone{};

// The quality field of a logical font (its values are the platform's).
enum TFontQuality : std::uint8_t {
  fqDefault = 0,
  fqDraft = 1,
  fqProof = 2,
  fqNonAntialiased = 3,
  fqAntialiased = 4,
  fqClearType = 5,
  fqClearTypeNatural = 6
};

using TFontCharset = std::uint8_t;
constexpr TFontCharset ANSI_CHARSET = 0;
constexpr TFontCharset DEFAULT_CHARSET = 1;
constexpr TFontCharset SYMBOL_CHARSET = 2;
constexpr TFontCharset MAC_CHARSET = 77;
constexpr TFontCharset SHIFTJIS_CHARSET = 128;
constexpr TFontCharset HANGEUL_CHARSET = 129;
constexpr TFontCharset JOHAB_CHARSET = 130;
constexpr TFontCharset GB2312_CHARSET = 134;
constexpr TFontCharset CHINESEBIG5_CHARSET = 136;
constexpr TFontCharset GREEK_CHARSET = 161;
constexpr TFontCharset TURKISH_CHARSET = 162;
constexpr TFontCharset VIETNAMESE_CHARSET = 163;
constexpr TFontCharset HEBREW_CHARSET = 177;
constexpr TFontCharset ARABIC_CHARSET = 178;
constexpr TFontCharset BALTIC_CHARSET = 186;
constexpr TFontCharset RUSSIAN_CHARSET = 204;
constexpr TFontCharset THAI_CHARSET = 222;
constexpr TFontCharset EASTEUROPE_CHARSET = 238;
constexpr TFontCharset OEM_CHARSET = 255;

// The screen resolution that point sizes are converted at.
constexpr int kScreenPixelsPerInch = 96;

class TFont {
 public:
  std::string Name = "MS Sans Serif";
  // Negative: the em height in pixels; positive: the cell height (ascent plus
  // descent); 0: the face's default height.
  int Height = -11;
  TFontStyles Style = fsNone;
  TColor Color = clWindowText;
  TFontCharset Charset = DEFAULT_CHARSET;
  // Angle of the base line in tenths of degrees, counter-clockwise.
  int Escapement = 0;
  TFontQuality Quality = fqDefault;

  // Size in points at 96 dpi: Height = -Round(Size x 96 / 72) as MulDiv has it.
  int Size() const;
  void SetSize(int points);
  bool Bold() const { return Style & fsBold; }
  bool Italic() const { return Style & fsItalic; }
  friend bool operator==(const TFont&, const TFont&) = default;
};

// The metrics of a font as the platform reports them, in pixels.
struct TTextMetric {
  int tmHeight = 0;
  int tmAscent = 0;
  int tmDescent = 0;
  int tmInternalLeading = 0;
  int tmExternalLeading = 0;
  int tmAveCharWidth = 0;
  int tmMaxCharWidth = 0;
  int tmWeight = 400;
  bool tmItalic = false;
  bool tmUnderlined = false;
  bool tmStruckOut = false;
  TFontCharset tmCharSet = DEFAULT_CHARSET;
};

// The platform's 60-byte logical-font record (ANSI face name), as streams of
// vector objects store it.
struct TLogFontA {
  std::int32_t lfHeight = 0;
  std::int32_t lfWidth = 0;
  std::int32_t lfEscapement = 0;
  std::int32_t lfOrientation = 0;
  std::int32_t lfWeight = 0;
  std::uint8_t lfItalic = 0;
  std::uint8_t lfUnderline = 0;
  std::uint8_t lfStrikeOut = 0;
  std::uint8_t lfCharSet = 0;
  std::uint8_t lfOutPrecision = 0;
  std::uint8_t lfClipPrecision = 0;
  std::uint8_t lfQuality = 0;
  std::uint8_t lfPitchAndFamily = 0;
  char lfFaceName[32] = {};
  friend bool operator==(const TLogFontA&, const TLogFontA&) = default;
};
static_assert(sizeof(TLogFontA) == 60);

constexpr int FW_NORMAL = 400;
constexpr int FW_SEMIBOLD = 600;
constexpr int FW_BOLD = 700;

// The record of a font: weight 700 or 400, the name cut to 31 characters.
TLogFontA LogFontFromFont(const TFont& font);
// The font of a record: bold from weight 600 up; a face name without its
// terminating zero is read to the end of the field; an unknown quality is
// the default one. The colour is the caller's.
TFont FontFromLogFont(const TLogFontA& lf);

}  // namespace redozir
#pragma GCC visibility pop
