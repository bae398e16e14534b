#include <gtest/gtest.h>

#include <limits>

#include "draw_test_util.h"
#include "platform/canvas.h"
#include "platform/font.h"

using namespace redozir;

namespace {
// The bounding box of the non-white pixels (empty when none).
TRect Ink(const TBitmap& b) {
  TRect r{b.Width(), b.Height(), 0, 0};
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.GetPixel(x, y) != clWhite) {
        r.Left = std::min(r.Left, x);
        r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x + 1);
        r.Bottom = std::max(r.Bottom, y + 1);
      }
  return r.IsEmpty() ? TRect{} : r;
}

TCanvas* TextCanvas(TBitmap& b, int w, int h, TPixelFormat pf = pf24bit) {
  TCanvas* c = WhiteBitmap(b, w, h, pf)->Canvas();
  c->Brush.Style = bsClear;
  c->Font.Name = "Arial";
  c->Font.Height = -20;
  c->Font.Color = clBlack;
  return c;
}

bool SameBits(TBitmap& a, TBitmap& b) {
  return a.ImageSize() == b.ImageSize() && std::equal(a.Bits(), a.Bits() + a.ImageSize(), b.Bits());
}
}  // namespace

TEST(Text, CodePagesConvertThroughTheCharset) {
  struct Case {
    TFontCharset charset;
    std::string bytes;
    std::u32string expect;
  } cases[] = {
      {DEFAULT_CHARSET, "A\x80", U"A\u20AC"},
      {ANSI_CHARSET, "\xE9", U"\u00E9"},
      {EASTEUROPE_CHARSET, "\x8A", U"\u0160"},
      {RUSSIAN_CHARSET, "\xCF\xF0\xE8\xE2\xE5\xF2", U"\u041F\u0440\u0438\u0432\u0435\u0442"},
      {GREEK_CHARSET, "\xC1", U"\u0391"},
      {TURKISH_CHARSET, "\xD0", U"\u011E"},
      {ARABIC_CHARSET, "\xC7", U"\u0627"},
      {SHIFTJIS_CHARSET, "\x82\xA0", U"\u3042"},
      {GB2312_CHARSET, "\xC4\xE3", U"\u4F60"},
      {HANGEUL_CHARSET, "\xB0\xA1", U"\uAC00"},
      // A lead byte with nothing after it does not convert.
      {SHIFTJIS_CHARSET, "a\x82", U"a\uFFFD"},
  };
  for (const Case& c : cases) EXPECT_EQ(CharsetToUnicode(c.bytes, c.charset), c.expect) << int(c.charset);
  EXPECT_EQ(CharsetCodePage(RUSSIAN_CHARSET), 1251);
  EXPECT_EQ(CharsetCodePage(DEFAULT_CHARSET), 1252);
  EXPECT_EQ(Utf16ToUnicode(u"a\U0001F600\xD800"), U"a\U0001F600\uFFFD");
  EXPECT_EQ(Utf8ToWide("\xD0\x9F\xF0\x9F\x98\x80"), u"\u041F\U0001F600");
}

TEST(Text, FacesAreMatchedByNameWeightAndSlant) {
  EXPECT_NE(MatchFontFile("Arial", false, false).find("LiberationSans-Regular"), std::string::npos);
  EXPECT_NE(MatchFontFile("Arial", true, false).find("LiberationSans-Bold"), std::string::npos);
  EXPECT_NE(MatchFontFile("Arial", false, true).find("LiberationSans-Italic"), std::string::npos);
  // The desktop's dialog face resolves to one of its widths.
  EXPECT_NE(MatchFontFile("MS Sans Serif", false, false).find("LiberationSans-Regular"), std::string::npos);
}

TEST(Text, HeightConventionsAndMetrics) {
  TBitmap b;
  TCanvas* c = TextCanvas(b, 10, 10);
  // Liberation Sans: win ascent 1854, descent 434 of 2048 units.
  c->Font.Height = -20;  // em 20: ascent 18.1 -> 18, descent 4.24 -> 4
  TTextMetric tm = c->GetTextMetrics();
  EXPECT_EQ(tm.tmAscent, 18);
  EXPECT_EQ(tm.tmDescent, 4);
  EXPECT_EQ(tm.tmHeight, 22);
  EXPECT_EQ(tm.tmInternalLeading, 2);
  c->Font.Height = 22;  // a 22-pixel cell is the em of 20 again
  EXPECT_EQ(c->GetTextMetrics().tmHeight, 22);
  EXPECT_EQ(c->TextHeight("Hg"), 22);
  c->Font.SetSize(12);
  EXPECT_EQ(c->Font.Height, -16);
  EXPECT_EQ(c->Font.Size(), 12);
  c->Font.Height = -11;
  EXPECT_EQ(c->Font.Size(), 8);
  // An absurd height is capped instead of rendered.
  c->Font.Height = -1000000000;
  EXPECT_LE(c->GetTextMetrics().tmHeight, 2 * kMaxFontPixels);
  c->TextOut(0, 0, "W");
}

TEST(Text, GlyphsLandInsideTheMeasuredBox) {
  for (TPixelFormat pf : kDrawFormats) {
    TBitmap b;
    TCanvas* c = TextCanvas(b, 120, 40, pf);
    c->TextOut(10, 8, "Hello");
    TRect ink = Ink(b);
    ASSERT_FALSE(ink.IsEmpty()) << pf;
    TSize ext = c->TextExtent("Hello");
    EXPECT_GE(ink.Left, 10) << pf;
    EXPECT_GE(ink.Top, 8) << pf;
    EXPECT_LE(ink.Right, 10 + ext.cx) << pf;
    EXPECT_LE(ink.Bottom, 8 + ext.cy) << pf;
    EXPECT_GT(ink.Width(), ext.cx / 2) << pf;
  }
}

TEST(Text, CyrillicCodePageStringRendersTheCyrillicGlyphs) {
  TBitmap a, w, latin;
  TCanvas* ca = TextCanvas(a, 80, 30);
  ca->Font.Charset = RUSSIAN_CHARSET;
  ca->TextOut(2, 2, "\xCF\xF0\xE8\xE2\xE5\xF2");
  TextCanvas(w, 80, 30)->TextOutW(2, 2, u"\u041F\u0440\u0438\u0432\u0435\u0442");
  TextCanvas(latin, 80, 30)->TextOut(2, 2, "\xCF\xF0\xE8\xE2\xE5\xF2");
  EXPECT_FALSE(Ink(a).IsEmpty());
  EXPECT_TRUE(SameBits(a, w));
  EXPECT_FALSE(SameBits(a, latin));
  EXPECT_EQ(ca->TextWidth("\xCF\xF0\xE8\xE2\xE5\xF2"), TextCanvas(w, 1, 1)->TextExtentW(u"Привет").cx);
}

TEST(Text, OpaqueCellBaselineAndClipping) {
  TBitmap b;
  TCanvas* c = TextCanvas(b, 100, 60);
  c->Brush = {clRed, bsSolid};
  c->TextOut(5, 5, "ab");
  TSize ext = c->TextExtent("ab");
  EXPECT_EQ(b.GetPixel(5, 5), clRed);
  EXPECT_EQ(b.GetPixel(5 + ext.cx - 1, 5 + ext.cy - 1), clRed);
  EXPECT_EQ(b.GetPixel(5 + ext.cx, 5), clWhite);
  EXPECT_EQ(b.GetPixel(5, 5 + ext.cy), clWhite);
  EXPECT_EQ(b.GetPixel(4, 5), clWhite);

  // With the base line at y = 40, an 'x' sits on row 39 and nothing of it
  // goes below.
  TBitmap x;
  c = TextCanvas(x, 40, 60);
  SetTextAlign(c, TA_BASELINE | TA_LEFT);
  c->TextOut(5, 40, "x");
  EXPECT_EQ(Ink(x).Bottom, 40);
  EXPECT_GE(Ink(x).Top, 40 - c->GetTextMetrics().tmAscent);

  // TextRect keeps the text inside its rectangle and fills it when opaque.
  TBitmap r;
  c = TextCanvas(r, 60, 40);
  c->TextRect({10, 10, 20, 20}, 5, 2, "WWWW");
  TRect ink = Ink(r);
  EXPECT_FALSE(ink.IsEmpty());
  EXPECT_GE(ink.Left, 10);
  EXPECT_GE(ink.Top, 10);
  EXPECT_LE(ink.Right, 20);
  EXPECT_LE(ink.Bottom, 20);
  c->Brush = {clBlue, bsSolid};
  c->TextRect({30, 5, 40, 15}, 30, 5, "");
  EXPECT_EQ(b.GetPixel(29, 5), clWhite);
  EXPECT_EQ(r.GetPixel(30, 5), clBlue);
  EXPECT_EQ(r.GetPixel(39, 14), clBlue);
  EXPECT_EQ(r.GetPixel(40, 14), clWhite);

  // Origins at the ends of the int range draw nothing and wrap nowhere.
  constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
  for (TPoint at : {TPoint{kMax - 3, 5}, TPoint{kMin, 5}, TPoint{5, kMax}, TPoint{5, kMin}}) {
    TBitmap far;
    c = TextCanvas(far, 40, 40);
    c->Brush = {clRed, bsSolid};
    c->Font.Style = fsUnderline;
    SetTextAlign(c, TA_BASELINE | TA_UPDATECP);
    c->PenPos = at;
    c->TextOut(0, 0, "WWW");
    EXPECT_TRUE(Ink(far).IsEmpty()) << at.X << "," << at.Y;
    EXPECT_GE(c->PenPos.X, at.X) << at.X << "," << at.Y;
  }
}

TEST(Text, QualityChoosesSmoothOrMonochromeGlyphs) {
  auto greys = [](TFontQuality q) {
    TBitmap b;
    TCanvas* c = TextCanvas(b, 60, 30);
    c->Font.Quality = q;
    c->TextOut(2, 2, "Sow");
    int n = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 60; ++x) {
        TColor p = b.GetPixel(x, y);
        n += p != clWhite && p != clBlack;
      }
    return n;
  };
  EXPECT_GT(greys(fqAntialiased), 0);
  EXPECT_EQ(greys(fqNonAntialiased), 0);
}

TEST(Text, EscapementTurnsTheBaseLine) {
  TBitmap b;
  TCanvas* c = TextCanvas(b, 60, 120);
  c->Font.Escapement = 900;  // reading upwards
  c->TextOut(20, 110, "Hello");
  TRect ink = Ink(b);
  ASSERT_FALSE(ink.IsEmpty());
  EXPECT_GT(ink.Height(), 2 * ink.Width());
  EXPECT_LE(ink.Bottom, 111);
  EXPECT_GE(ink.Left, 20) << "the glyph tops lie to the right of the reference point";
}

TEST(Text, MeasuringCanBeReplacedByFixedMetrics) {
  TFixedTextMeasurer fixed(7, 10, 3, 2);
  TTextMeasurer* old = SetTextMeasurer(&fixed);
  TBitmap b;
  TCanvas* c = TextCanvas(b, 10, 10);
  EXPECT_EQ(c->TextWidth("abc"), 21);
  EXPECT_EQ(c->TextHeight("abc"), 13);
  EXPECT_EQ(c->GetTextMetrics().tmInternalLeading, 2);
  SetTextMeasurer(old);
  EXPECT_NE(c->TextWidth("abc"), 21);
}

TEST(Text, UnderlineAndStrikeOutFollowTheBaseLine) {
  TBitmap plain, under;
  TextCanvas(plain, 80, 30)->TextOut(2, 2, "ace");
  TCanvas* c = TextCanvas(under, 80, 30);
  c->Font.Style = fsUnderline | fsStrikeOut;
  c->TextOut(2, 2, "ace");
  int base = 2 + c->GetTextMetrics().tmAscent;
  int belowPlain = 0, belowUnder = 0;
  for (int x = 0; x < 80; ++x) {
    belowPlain += plain.GetPixel(x, base + 1) != clWhite;
    belowUnder += under.GetPixel(x, base + 1) != clWhite || under.GetPixel(x, base + 2) != clWhite;
  }
  EXPECT_EQ(belowPlain, 0);
  EXPECT_GE(belowUnder, c->TextWidth("ace") - 2);
}

TEST(Text, LogicalFontRecordRoundTrip) {
  TFont f;
  f.Name = "Arial";
  f.Height = -13;
  f.Style = fsBold | fsItalic | fsUnderline;
  f.Charset = RUSSIAN_CHARSET;
  f.Escapement = 900;
  f.Quality = fqAntialiased;
  TLogFontA lf = LogFontFromFont(f);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_EQ(lf.lfItalic, 1);
  EXPECT_EQ(lf.lfStrikeOut, 0);
  EXPECT_EQ(lf.lfQuality, 4);
  EXPECT_EQ(std::string(lf.lfFaceName), "Arial");
  EXPECT_EQ(FontFromLogFont(lf), f);

  f.Style = f.Style - fsBold;
  f.Name = std::string(40, 'N');
  EXPECT_EQ(FontFromLogFont(LogFontFromFont(f)).Name, std::string(31, 'N'));
  lf.lfWeight = 599;
  lf.lfQuality = 9;
  std::fill(std::begin(lf.lfFaceName), std::end(lf.lfFaceName), 'A');
  TFont g = FontFromLogFont(lf);
  EXPECT_FALSE(g.Bold());
  EXPECT_EQ(g.Quality, fqDefault);
  EXPECT_EQ(g.Name, std::string(32, 'A'));
  lf.lfWeight = 600;
  EXPECT_TRUE(FontFromLogFont(lf).Bold());
  g.Style = fsItalic;
  EXPECT_TRUE(g.Italic());
  EXPECT_FALSE(g.Style & fsUnderline);
}
