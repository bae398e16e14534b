// The text editing control's layout and drawing: lines wrapped at the last
// space, aligned and justified, drawn at zoom 1 while they are laid out or
// afterwards with zoomed fonts; and the control's paint.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

#include "imaging/view/ie_textcontrol.h"
#include "platform/keys.h"
#include "platform/numeric.h"

namespace redozir {

namespace {

constexpr int kIntMax = std::numeric_limits<int>::max();
// Auto-grow stops here, whatever the text asks for.
constexpr int kMaxAutoGrowHeight = 1 << 15;

int Sat(std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, -kIntMax, kIntMax)); }

int TruncD(double v) { return TruncClamp(v, -kIntMax, kIntMax); }

// The complement of a colour, after system colours are resolved.
TColor Inverted(TColor c) { return ~ColorToRGB(c) & 0xFFFFFF; }

// A character as it is measured and drawn: control characters as spaces.
std::string Glyph(char c) {
  auto u = static_cast<unsigned char>(c);
  return std::string(1, u < 32 || u == 127 ? ' ' : c);
}

struct TRecorded {
  std::int64_t X, Y;  // baseline
  char C;
  int Index;
};

}  // namespace

// One layout or drawing pass over the lines: the text area, what is drawn
// and where, and the caret as the characters walked leave it.
struct TIETextControl::TPass {
  static constexpr std::int64_t kNoRows = std::numeric_limits<std::int64_t>::max();
  TIETextControl& tc;
  TIECanvas* C;
  TCanvas* cv;
  int X, Y, LI, TI, TW, TH;
  double zoom;
  TRect clip;
  // Characters reach the canvas only within this rectangle (empty: none).
  TRect drawClip;
  std::int64_t areaBottom;
  bool caretSet = false, stopped = false, grown = false;
  // With a zoom, the characters to draw afterwards, in order.
  std::vector<TRecorded> recorded;
  // One past the last character whose position this pass wrote.
  int written = 0;

  TPass(TIETextControl& control, TIECanvas* canvas, int x, int y, int width, int height)
      : tc(control), C(canvas), cv(canvas->GetCanvas()), X(x), Y(y), zoom(control.fZoom) {
    const double W = width, H = height;
    const double* m = tc.fMargins;
    LI = TruncD(W * m[0] / 100) + 1;
    TI = TruncD(H * m[1] / 100) + 1;
    TW = TruncD(W - W * m[2] / 100 - W * m[0] / 100) - 2;
    TH = TruncD(H - H * m[3] / 100 - H * m[1] / 100) - 2;
    // The clip is the text area at the zoom, all four sides scaled alike.
    clip = TRect{Sat(X + std::int64_t{TruncD(LI * zoom)}), Sat(Y + std::int64_t{TruncD(TI * zoom)}),
                 Sat(X + std::int64_t{TruncD((double(LI) + TW) * zoom)}),
                 Sat(Y + std::int64_t{TruncD((double(TI) + TH) * zoom)})};
    drawClip = clip;
    areaBottom = std::int64_t{Y} + TI + TH;
  }

  void SetBand(const TRect* band) {
    drawClip = clip;
    if (band && !IntersectRect(drawClip, clip, *band)) drawClip = TRect{};
  }
  void DrawAt(std::int64_t x, std::int64_t y, const std::string& s) {
    C->TextRectEx(clip, Sat(x), Sat(y), s);
  }
  void Invert() {
    C->Brush()->SetColor(Inverted(C->Brush()->GetColor()));
    C->Font().Color = Inverted(C->Font().Color);
    C->Brush()->SetStyle(bsSolid);
  }
  bool Selected(int i) const { return tc.fSelStart <= i && i < tc.fSelEnd; }
  // Whether a character on this baseline in a font of this height can reach
  // the clip: its cell and ink lie within twice the height of the baseline.
  // Characters that cannot are neither set up nor drawn.
  static std::int64_t ReachOf(int height) { return 2 * std::int64_t{std::abs(height)} + 4; }
  bool InClip(std::int64_t baseline, int height) const {
    const std::int64_t reach = ReachOf(height);
    return !drawClip.IsEmpty() && baseline - reach < drawClip.Bottom && baseline + reach > drawClip.Top;
  }
  // The height a character's font is drawn with at the zoom.
  int ZoomedHeight(const TIECharInfo& record) const {
    const int h = std::clamp(record.Height, -kIEMaxTextFontHeight, kIEMaxTextFontHeight);
    if (zoom == 1.0) return h;
    const int zh = TruncClamp(h * zoom, -kIEMaxTextFontHeight, kIEMaxTextFontHeight);
    return zh == 0 ? (h < 0 ? -1 : 1) : zh;
  }
  void SetCaret(std::int64_t x, std::int64_t y, int h) {
    tc.fCaretPos = TPoint{Sat(x), Sat(y)};
    tc.fCaretHeight = h;
    caretSet = true;
  }
  void Place(int i, std::int64_t x, std::int64_t y) {
    tc.fLayout[i].X = Sat(x);
    tc.fLayout[i].Y = Sat(y);
    written = std::max(written, i + 1);
  }

  // Measuring pass of the line at line.Start: where it ends, how high it is
  // and how it is aligned. False when its first character does not fit on a
  // line by itself, which ends the text. The metrics of the last character
  // looked at carry over to the next line.
  bool MeasureLine(TLineDrawn& line, int& carryH, int& carryIL, int& carryD) {
    const std::string& t = tc.fMemo.Text;
    const int n = tc.TextLength(), start = line.Start;
    line.InH = carryH, line.InIL = carryIL, line.InD = carryD;
    int lh = carryH, lil = carryIL, ld = carryD, end = start, i = start;
    std::int64_t x = 0;
    for (;; ++i) {
      Place(i, LI + x, TI + line.Top);
      if (i >= n) {
        end = n;
        break;
      }
      tc.Measure(C, i);
      const TCharLayout& l = tc.fLayout[i];
      carryH = l.Height, carryIL = l.Leading, carryD = l.Descent;
      lh = std::max(lh, carryH), lil = std::max(lil, carryIL), ld = std::max(ld, carryD);
      if (t[i] == '\n') {
        end = i + 1;
        break;
      }
      if (x + l.Width + 2 >= TW) {
        int j = i;
        while (j > start && t[j] != ' ') --j;
        end = j > start ? j + 1 : (t[i] == ' ' ? i + 1 : i);
        break;
      }
      x += l.Width;
    }
    if (end == start) return false;
    line.End = end;
    // The line depends on the characters up to the one after its end (the
    // last line's alignment looks at the text's length).
    line.Seen = std::max(i, end + 1);
    line.Lh = lh, line.Lil = lil, line.Ld = ld;

    // Alignment, from the last character that counts.
    const int ai = t[end - 1] == '\n' ? end - 1 : end;
    const int ar = std::max(ai - 1, 0);
    const int align =
        tc.fSingleFormat ? tc.fAlignment : (ar == n ? tc.fCurrent.Align : tc.RecordOf(ar).Align);
    int k = ai - 1;
    if (k >= 0 && t[k] == '\n') --k;
    if (k >= 0 && t[k] == ' ') --k;
    k = std::max(k, 0);
    const std::int64_t xk = tc.fLayout[k].X, wk = tc.fLayout[k].Width;
    line.Offset = 0;
    line.Scale = 1.0;
    switch (align) {
      case ieTextAlignRight: line.Offset = TW - (xk + wk) - 1; break;
      case ieTextAlignCenter: line.Offset = (TW - xk - wk) / 2; break;
      case ieTextAlignJustify:
        if (xk + wk + 1 != 0) line.Scale = double(TW) / double(xk + wk + 1);
        if (t[k + 1] == '\0' || t[k + 1] == '\n' || k + 2 == n) line.Scale = 1.0;
        break;
      default: break;
    }
    line.Baseline = std::int64_t{Y} + TI + line.Top + lh - lil;
    return true;
  }

  // Drawing pass of a measured line: with layOut, the characters' positions,
  // the caret, the collected text, growth and the rows the line can reach;
  // the characters within drawClip are drawn (with a zoom, recorded).
  void WalkLine(TLineDrawn& line, bool layOut) {
    const std::string& t = tc.fMemo.Text;
    const bool draw = !drawClip.IsEmpty();
    const double scale = line.Scale;
    // Unscaled lines (all but justified ones) place characters at their sums.
    auto scaled = [scale](std::int64_t v) { return scale == 1.0 ? v : Trunc(double(v) * scale); };
    std::int64_t ux = line.Offset, dx = scaled(ux), prevEnd = 0;
    const std::int64_t baseline = line.Baseline, lineTop = line.Top;
    const int lh = line.Lh, caret = tc.fCaret;
    int lineHeight = 0;  // the largest font height drawn on the line
    for (int i = line.Start; i < line.End && !stopped; ++i) {
      if (layOut) Place(i, LI + dx, TI + lineTop);
      if (t[i] == '\n') {
        if (!layOut) continue;
        if (caret > i)
          SetCaret(LI, TI + lineTop + lh, lh);
        else if (caret == 0 && i == 0)
          SetCaret(LI, TI, lh);
        continue;
      }
      tc.Measure(C, i);
      const int w = tc.fLayout[i].Width;
      const TIECharInfo& record = tc.RecordFor(i);
      lineHeight = std::max(lineHeight, std::abs(ZoomedHeight(record)));
      if (!draw) {
      } else if (zoom != 1.0) {
        if (dx != ux && prevEnd < dx)
          for (std::int64_t col = prevEnd; col < dx; ++col)
            recorded.push_back({std::int64_t{X} + LI + col, baseline, ' ', i});
        recorded.push_back({std::int64_t{X} + LI + dx, baseline, t[i], i});
      } else if (InClip(baseline, record.Height)) {
        tc.SetCharFont(C, record);
        const bool fill = dx != ux && prevEnd < dx;
        const std::string glyph = Glyph(t[i]);
        std::int64_t top = kNoRows, bottom = -kNoRows;
        AddRows(baseline, glyph, top, bottom);
        if (fill) AddRows(baseline, " ", top, bottom);
        // What cannot reach the rows drawn is left alone.
        if (top < drawClip.Bottom && bottom > drawClip.Top) {
          if (Selected(i)) Invert();
          if (fill)
            for (std::int64_t col = prevEnd; col < dx; ++col)
              DrawAt(std::int64_t{X} + LI + col, baseline, " ");
          DrawAt(std::int64_t{X} + LI + dx, baseline, glyph);
        }
      }
      prevEnd = dx + w;
      ux += w;
      dx = scaled(ux);
      if (!layOut) continue;
      if (caret == i)
        SetCaret(LI + prevEnd - w, TI + lineTop, lh);
      else if (caret > i)
        SetCaret(LI + prevEnd, TI + lineTop, lh);
      if (tc.CollectLines) {
        if (baseline > areaBottom)
          stopped = true;
        else
          tc.fCollected += t[i];
      }
      if (tc.AutoGrow && tc.Visible() && tc.Parent() && baseline + line.Ld > areaBottom) {
        std::int64_t want = Trunc(double(baseline + line.Ld + lh) * zoom);
        if (want > tc.Height() && tc.Height() < kMaxAutoGrowHeight) {
          grown = true;
          tc.SetHeight(static_cast<int>(std::min<std::int64_t>(want, kMaxAutoGrowHeight)));
          break;
        }
      }
    }
    if (!layOut) return;
    const std::int64_t drawnBaseline = Y + Trunc(double(baseline - Y) * zoom);
    line.ReachTop = drawnBaseline - ReachOf(lineHeight);
    line.ReachBottom = drawnBaseline + ReachOf(lineHeight);
    // A line that can show at zoom 1 reaches the rows its characters touch
    // and no further, so that an edit draws again little more than its line.
    if (zoom != 1.0 || line.ReachTop >= clip.Bottom || line.ReachBottom <= clip.Top) return;
    std::int64_t top = kNoRows, bottom = -kNoRows;
    for (int i = line.Start; i < line.End; ++i) {
      if (t[i] == '\n') continue;
      tc.SetCharFont(C, tc.RecordFor(i));
      AddRows(baseline, Glyph(t[i]), top, bottom);
      if (line.Scale != 1.0) AddRows(baseline, " ", top, bottom);
    }
    line.ReachTop = std::min(top, baseline);
    line.ReachBottom = std::max(bottom, baseline);
  }

  // Adds the rows [top, bottom) that text drawn at this baseline in the
  // canvas's font can touch: the cell its background fills, the glyphs' ink,
  // the underline and strike-out (anything else: the whole clip).
  void AddRows(std::int64_t baseline, const std::string& s, std::int64_t& top, std::int64_t& bottom) const {
    const TFont& f = cv->Font;
    auto add = [&](std::int64_t t0, std::int64_t t1) {
      top = std::min(top, t0);
      bottom = std::max(bottom, t1);
    };
    auto inst = f.Escapement % 3600 == 0 && !(cv->TextFlags & ETO_OPAQUE) ? GetFontInstance(f) : nullptr;
    if (!inst) return add(clip.Top, clip.Bottom);
    const std::int64_t y = Sat(baseline);
    const TTextMetric tm = inst->Metrics();
    add(y - tm.tmAscent, y + tm.tmDescent);
    for (char32_t ch : CharsetToUnicode(s, f.Charset)) {
      const TGlyphImage& g = inst->Glyph(ch);
      if (g.Width > 0 && g.Rows > 0) add(y - g.Top, y - g.Top + g.Rows);
    }
    int off, thick;
    if (f.Style & fsUnderline) {
      inst->UnderlineMetrics(off, thick);
      add(y + off, y + off + thick);
    }
    if (f.Style & fsStrikeOut) {
      inst->StrikeOutMetrics(off, thick);
      add(y + off, y + off + thick);
    }
  }

  // The recorded characters, drawn at the zoom.
  void DrawRecorded() {
    for (std::size_t r = 0; r < recorded.size(); ++r) {
      const TRecorded& rc = recorded[r];
      const std::int64_t zx = X + Trunc(double(rc.X - X) * zoom), zy = Y + Trunc(double(rc.Y - Y) * zoom);
      const TIECharInfo& record = tc.RecordFor(rc.Index);
      const int zh = ZoomedHeight(record);
      if (!InClip(zy, zh)) continue;
      tc.SetCharFont(C, record);
      C->Font().Height = zh;
      if (Selected(rc.Index)) Invert();
      if (r + 1 < recorded.size() && recorded[r + 1].Y == rc.Y) {
        const std::int64_t nx = X + Trunc(double(recorded[r + 1].X - X) * zoom);
        // A space without width cannot fill anything.
        const int sw = C->TextWidth(" ");
        if (sw > 0)
          for (std::int64_t p = zx; p < nx; p += sw) DrawAt(p, zy, " ");
      }
      DrawAt(zx, zy, Glyph(rc.C));
    }
    recorded.clear();
  }
};

void TIETextControl::SetCharFont(TIECanvas* C, const TIECharInfo& r) {
  TFont& f = C->Font();
  const std::string_view name(reinterpret_cast<const char*>(r.Name + 1), r.Name[0]);
  if (f.Name != name) f.Name = name;
  int h = std::clamp(r.Height, -kIEMaxTextFontHeight, kIEMaxTextFontHeight);
  if (f.Height != h) f.Height = h;
  if (f.Style.Bits != r.Style) f.Style = TFontStyles(r.Style);
  f.Charset = Font.Charset;
  // With NoColor the colours of the layout's start stand, so that the
  // complement of a selected character does not stay for the next ones.
  TColor fc = NoColor ? fBaseFontColor : r.Color;
  TColor bc = NoColor ? fBaseBrushColor : r.BrushColor;
  if (f.Color != fc) f.Color = fc;
  if (C->Brush()->GetColor() != bc) C->Brush()->SetColor(bc);
  auto bs = static_cast<TBrushStyle>(std::min<int>(r.BrushStyle, bsDiagCross));
  if (C->Brush()->GetStyle() != bs) C->Brush()->SetStyle(bs);
}

void TIETextControl::Measure(TIECanvas* C, int i) {
  TCharLayout& l = fLayout[i];
  // A character's measures depend on its record and the settings only: the
  // font is set when one is missing.
  if (l.Width != 0 && l.Height != 0) return;
  SetCharFont(C, RecordFor(i));
  if (l.Width == 0)
    l.Width = static_cast<std::uint16_t>(std::clamp(C->TextWidth(Glyph(fMemo.Text[i])), 0, 0xFFFF));
  if (l.Height == 0) {
    if (fFixedLineHeight > 0) {
      l.Height = static_cast<std::uint16_t>(fFixedLineHeight);
      l.Leading = l.Descent = 0;
    } else {
      TTextMetric tm = C->GetCanvas()->GetTextMetrics();
      l.Height = static_cast<std::uint16_t>(std::clamp(tm.tmHeight, 0, 0xFFFF));
      l.Leading = static_cast<std::uint8_t>(std::min(std::abs(tm.tmInternalLeading), 0xFF));
      l.Descent = static_cast<std::uint8_t>(std::min(std::abs(tm.tmDescent), 0xFF));
    }
  }
}

void TIETextControl::BeginPass() {
  fSingleRecord = TIECharInfo::Make(Font, Brush, fAlignment);
  // Measures made with other fonts than those that stand now are dropped.
  if (Font.Charset != fMeasuredCharset || (fSingleFormat && !fSingleRecord.SameAs(fMeasuredSingle))) {
    for (TCharLayout& l : fLayout) l = TCharLayout{};
    fMeasuredCharset = Font.Charset;
    fMeasuredSingle = fSingleRecord;
    fLinesKept = false;
  }
  fBaseFontColor = Font.Color;
  fBaseBrushColor = BackgroundBrush.Color;
}

void TIETextControl::DrawFrame(TPass& p, int Width, int Height, bool draw) {
  TIECanvas* C = p.C;
  C->Pen()->SetWidth(1.0f);
  C->Pen()->SetStyle(FramePen.Style);
  C->Pen()->SetMode(pmCopy);
  C->Pen()->SetColor(NoColor ? Font.Color : FramePen.Color);
  C->Brush()->SetColor(BackgroundBrush.Color);
  C->Brush()->SetStyle(BackgroundBrush.Style);
  C->Font().Color = Font.Color;
  if (draw)
    C->Rectangle(p.X, p.Y, Sat(p.X + std::int64_t{RoundClamp(Width * p.zoom, -kIntMax, kIntMax)}),
                 Sat(p.Y + std::int64_t{RoundClamp(Height * p.zoom, -kIntMax, kIntMax)}));
  C->Pen()->SetStyle(psSolid);
}

void TIETextControl::LayOut(TPass& p, std::size_t fromLine, bool resync) {
  const int n = TextLength();
  // The lines from fromLine on are laid out again; with resync, as soon as
  // a line starts where one of the last layout did (beyond the change and
  // the caret, at the same height, with the same metrics carried in), the
  // rest is that layout's, moved by the length the text changed by.
  std::vector<TLineDrawn> old;
  if (resync && fromLine < fLines.size()) old.assign(fLines.begin() + fromLine, fLines.end());
  TLineDrawn line;
  int carryH = 0, carryIL = 0, carryD = 0, lastDescent = 0;
  if (fromLine < fLines.size()) {
    const TLineDrawn& from = fLines[fromLine];
    line.Start = from.Start, line.Top = from.Top;
    carryH = from.InH, carryIL = from.InIL, carryD = from.InD;
  }
  if (fromLine > 0) lastDescent = fLines[fromLine - 1].Ld;
  fLines.resize(std::min(fromLine, fLines.size()));
  const int restart = line.Start;
  p.written = restart;
  bool cut = false;
  for (std::size_t o = 0;;) {
    if (!p.MeasureLine(line, carryH, carryIL, carryD)) {
      cut = true;
      break;
    }
    p.WalkLine(line, true);
    fLines.push_back(line);
    if (p.stopped || p.grown) break;
    lastDescent = line.Ld;
    if (CollectLines) fCollected += '\n';
    if (line.End >= n) break;
    TLineDrawn next;
    next.Start = line.End;
    next.Top = line.Top + line.Lh + fLineSpacing;
    line = next;
    if (old.empty() || line.Start < fDirtyTo || line.Start <= fCaret) continue;
    while (o < old.size() && old[o].Start + fDirtyDelta < line.Start) ++o;
    if (o == old.size()) {
      old.clear();
      continue;
    }
    const TLineDrawn& same = old[o];
    if (same.Start + fDirtyDelta != line.Start || same.Top != line.Top || same.InH != carryH ||
        same.InIL != carryIL || same.InD != carryD)
      continue;
    for (std::size_t k = o; k < old.size(); ++k) {
      TLineDrawn l = old[k];
      l.Start += fDirtyDelta, l.End += fDirtyDelta, l.Seen += fDirtyDelta;
      fLines.push_back(l);
    }
    // The last measuring pass wrote into the lines taken over: they are
    // placed again.
    for (std::size_t k = fLines.size() - (old.size() - o); k < fLines.size() && fLines[k].Start < p.written;
         ++k)
      p.WalkLine(fLines[k], true);
    lastDescent = fLines.back().Ld;
    break;
  }
  // Characters after a cut are not laid out.
  if (cut)
    for (int i = p.written; i <= n; ++i) fLayout[i].X = fLayout[i].Y = -1;
  fDirtyFrom = kIntMax, fDirtyTo = 0, fDirtyDelta = 0;
  if (p.grown) {
    // A control that grew lays its text out again on its new size.
    fLayoutValid = false;
    return;
  }
  if (!p.caretSet) {
    // Nothing laid out: the caret stands at the start, as high as the font
    // the next typed character gets.
    SetCharFont(p.C, fSingleFormat ? fSingleRecord : fCurrent);
    int h = fFixedLineHeight > 0 ? fFixedLineHeight : std::abs(p.cv->GetTextMetrics().tmHeight);
    p.SetCaret(p.LI, p.TI, h);
  }
  if (fZoom != 1.0) {
    p.DrawRecorded();
    for (int i = restart; i < std::min(p.written, n); ++i) {
      TCharLayout& l = fLayout[i];
      if (l.X >= 0) l.X = TruncD(l.X * fZoom);
      if (l.Y >= 0) l.Y = TruncD(l.Y * fZoom);
    }
    fCaretPos = TPoint{TruncD(fCaretPos.X * fZoom), TruncD(fCaretPos.Y * fZoom)};
    fCaretHeight = TruncD(fCaretHeight * fZoom);
  }
  bool grown = false;
  if (AutoGrow && Visible() && Parent() && std::int64_t{fCaretPos.Y} + fCaretHeight > TruncD(p.TH * fZoom)) {
    std::int64_t want = std::int64_t{fCaretPos.Y} + fCaretHeight + lastDescent;
    if (want > this->Height() && this->Height() < kMaxAutoGrowHeight) {
      grown = true;
      SetHeight(static_cast<int>(std::min<std::int64_t>(want, kMaxAutoGrowHeight)));
    }
  }
  // The caret's entry holds the caret; what it held comes back before the
  // next layout that keeps lines.
  fCaretEntry = fCaret;
  fCaretEntryX = fLayout[fCaret].X;
  fCaretEntryY = fLayout[fCaret].Y;
  fLayout[fCaret].X = fCaretPos.X;
  fLayout[fCaret].Y = fCaretPos.Y;
  fLayoutValid = !grown;
}

void TIETextControl::LayOutAll(TIECanvas* C, int X, int Y, int Width, int Height, const TRect* Band) {
  fLines.clear();
  if (!C || Width <= 1 || Height <= 1) return;
  fCollected.clear();
  BeginPass();
  for (TCharLayout& l : fLayout) l.X = l.Y = -1;
  fCaretEntry = -1;
  TPass p(*this, C, X, Y, Width, Height);
  p.SetBand(Band);
  DrawFrame(p, Width, Height, !Band || !Band->IsEmpty());
  const unsigned oldAlign = SetTextAlign(p.cv, TA_BASELINE);
  LayOut(p, 0, false);
  SetTextAlign(p.cv, oldAlign);
}

void TIETextControl::LayOutChanged(TIECanvas* C, int Width, int Height) {
  BeginPass();
  if (!fLinesKept) {
    const TRect none{};
    LayOutAll(C, 0, 0, Width, Height, &none);
    return;
  }
  if (fCaretEntry >= 0 && static_cast<std::size_t>(fCaretEntry) < fLayout.size()) {
    fLayout[fCaretEntry].X = fCaretEntryX;
    fLayout[fCaretEntry].Y = fCaretEntryY;
  }
  // From the line of the first changed character, or earlier where a line
  // looked at it to find its end; and from the line of the character before
  // the caret, which places it. That first line is unchanged and fits as it
  // did, so the caret is always placed anew.
  auto lineOf = [&](int i) {
    auto it = std::upper_bound(fLines.begin(), fLines.end(), i,
                               [](int v, const TLineDrawn& l) { return v < l.Start; });
    return static_cast<std::size_t>(std::max<std::ptrdiff_t>(it - fLines.begin() - 1, 0));
  };
  std::size_t from = lineOf(fDirtyFrom);
  while (from > 0 && fLines[from - 1].Seen >= fDirtyFrom) --from;
  from = std::min(from, lineOf(fCaret - 1));
  TPass p(*this, C, 0, 0, Width, Height);
  const TRect none{};
  p.SetBand(&none);
  DrawFrame(p, Width, Height, false);
  LayOut(p, from, true);
}

void TIETextControl::DrawLines(TIECanvas* C, int Width, int Height, const TRect& Band) {
  BeginPass();
  TPass p(*this, C, 0, 0, Width, Height);
  p.SetBand(&Band);
  DrawFrame(p, Width, Height, !Band.IsEmpty());
  const unsigned oldAlign = SetTextAlign(p.cv, TA_BASELINE);
  for (TLineDrawn& l : fLines)
    if (l.ReachTop < p.drawClip.Bottom && l.ReachBottom > p.drawClip.Top) p.WalkLine(l, false);
  p.DrawRecorded();
  SetTextAlign(p.cv, oldAlign);
}

void TIETextControl::LayoutAndDraw(TIECanvas* C, int X, int Y, int Width, int Height) {
  // Lines laid out elsewhere are no base for the control's own layouts.
  fLinesKept = false;
  LayOutAll(C, X, Y, Width, Height, nullptr);
}

std::string TIETextControl::PaintKey() const {
  std::string key;
  auto put = [&](const auto& v) { key.append(reinterpret_cast<const char*>(&v), sizeof v); };
  put(ClientWidth()), put(ClientHeight()), put(fZoom), put(fMargins), put(fLineSpacing);
  put(fFixedLineHeight), put(fSingleFormat), put(NoColor), put(fAlignment), put(fCurrent.Align);
  put(Font.Height), put(Font.Style.Bits), put(Font.Color), put(Font.Charset), put(Font.Escapement);
  put(Font.Quality), put(Brush.Color), put(Brush.Style), put(BackgroundBrush.Color);
  put(BackgroundBrush.Style), put(FramePen.Color), put(FramePen.Style), put(CollectLines), put(AutoGrow);
  key += Font.Name;
  return key;
}

TRect TIETextControl::ChangedRows() const {
  std::int64_t top = std::numeric_limits<std::int64_t>::max(),
               bottom = std::numeric_limits<std::int64_t>::min();
  auto add = [&](const TLineDrawn& l) {
    top = std::min(top, l.ReachTop);
    bottom = std::max(bottom, l.ReachBottom);
  };
  const std::string& t = fMemo.Text;
  auto same = [&](const TLineDrawn& a, const TLineDrawn& b) {
    if (a.End - a.Start != b.End - b.Start || a.Baseline != b.Baseline || a.Offset != b.Offset ||
        a.Scale != b.Scale || a.ReachTop != b.ReachTop || a.ReachBottom != b.ReachBottom)
      return false;
    const int len = a.End - a.Start;
    if (std::memcmp(fDrawnText.data() + a.Start, t.data() + b.Start, static_cast<std::size_t>(len)) != 0 ||
        std::memcmp(fDrawnIndices.data() + a.Start, fMemo.Indices.data() + b.Start,
                    static_cast<std::size_t>(len) * sizeof(std::int32_t)) != 0)
      return false;
    // The selected characters of each, as a range within the line.
    auto selected = [len](int s, int e, int start) {
      const int lo = std::clamp(s - start, 0, len), hi = std::clamp(e - start, 0, len);
      return lo < hi ? std::pair{lo, hi} : std::pair{0, 0};
    };
    return selected(fDrawnSelStart, fDrawnSelEnd, a.Start) == selected(fSelStart, fSelEnd, b.Start);
  };
  for (std::size_t k = 0; k < std::max(fDrawnLines.size(), fLines.size()); ++k) {
    const bool inOld = k < fDrawnLines.size(), inNew = k < fLines.size();
    if (inOld && inNew && same(fDrawnLines[k], fLines[k])) continue;
    if (inOld) add(fDrawnLines[k]);
    if (inNew) add(fLines[k]);
  }
  if (top > bottom) return TRect{};
  return TRect{0, Sat(top), ClientWidth(), Sat(bottom + 1)};
}

void TIETextControl::LayoutOffscreen() {
  const int cw = ClientWidth(), ch = ClientHeight();
  if (fOffscreen.Width() != cw || fOffscreen.Height() != ch) {
    fOffscreen.SetSize(cw, ch);
    fOffscreenValid = false;
  }
  TCanvas* bc = fOffscreen.Canvas();
  const int W = TruncD(cw / fZoom), H = TruncD(ch / fZoom);
  // What the bitmap shows stays where no line changed: the text is laid out
  // without drawing first, and only the rows of the lines that differ from
  // those drawn are painted again, everything that reaches them included.
  // A background picture, lines that may overlap (a negative spacing), and
  // layouts that grow the control or collect lines are painted whole.
  std::string key = PaintKey();
  const bool partial = fOffscreenValid && key == fDrawnKey && fLineSpacing >= 0 && !CollectLines &&
                       !AutoGrow && !(BackgroundBrush.Style != bsSolid && BackgroundPicture);
  TRect rows{0, 0, cw, ch};
  if (partial) {
    TIECanvas probe(bc, false, true);
    if (W > 1 && H > 1)
      LayOutChanged(&probe, W, H);
    else
      fLines.clear();
    if (!IntersectRect(rows, ChangedRows(), TRect{0, 0, cw, ch})) {
      // The bitmap already shows these lines: what they were drawn from
      // becomes the base of the next comparison with them.
      fLayoutValid = true;
      RememberDrawn();
      return;
    }
  }
  bc->SetDeviceClip(rows);
  if (BackgroundBrush.Style != bsSolid && BackgroundPicture)
    BitBlt(bc, 0, 0, cw, ch, BackgroundPicture->Canvas(), Left(), Top(), SRCCOPY);
  if (BackgroundBrush.Style != bsClear) {
    bc->Brush = BackgroundBrush;
    bc->FillRect(Rect(0, 0, cw, ch));
  }
  {
    TIECanvas c(bc, false, true);
    if (partial) {
      DrawLines(&c, W, H, rows);
    } else {
      LayOutAll(&c, 0, 0, W, H, nullptr);
      fLinesKept = W > 1 && H > 1;
    }
  }
  bc->ClearDeviceClip();
  fOffscreenValid = fLayoutValid;
  fDrawnKey = std::move(key);
  RememberDrawn();
}

// The lines index the text and the indices they were drawn from, so the
// three are only ever kept together.
void TIETextControl::RememberDrawn() {
  fDrawnLines = fLines;
  fDrawnText = fMemo.Text;
  fDrawnIndices = fMemo.Indices;
  fDrawnSelStart = fSelStart;
  fDrawnSelEnd = fSelEnd;
}

void TIETextControl::EnsureLayout() {
  if (!fLayoutValid && ClientWidth() > 1 && ClientHeight() > 1) LayoutOffscreen();
}

void TIETextControl::ShowTextCaret() {
  if (!HandleAllocated() || !Focused()) return;
  CreateCaret(Handle(), 0, fCaretHeight);
  SetCaretPos(fCaretPos.X, fCaretPos.Y);
  ShowCaret(Handle());
}

void TIETextControl::Paint() {
  if (!Visible() || !Parent()) return;
  if (HandleAllocated() && CaretState().Owner == Handle()) DestroyCaret();
  LayoutOffscreen();
  Canvas()->Draw(0, 0, fOffscreen);
  ShowTextCaret();
}

}  // namespace redozir
