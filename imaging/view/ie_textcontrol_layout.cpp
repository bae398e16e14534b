// The text editing control's layout and drawing: lines wrapped at the last
// space, aligned and justified, drawn at zoom 1 while they are laid out or
// afterwards with zoomed fonts; and the control's paint.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
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

void TIETextControl::SetCharFont(TIECanvas* C, const TIECharInfo& r) {
  TFont& f = C->Font();
  std::string name = r.FontName();
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

void TIETextControl::LayoutAndDraw(TIECanvas* C, int X, int Y, int Width, int Height) {
  LayoutAndDrawBand(C, X, Y, Width, Height, nullptr);
}

void TIETextControl::LayoutAndDrawBand(TIECanvas* C, int X, int Y, int Width, int Height, const TRect* Band) {
  fLines.clear();
  if (!C || Width <= 1 || Height <= 1) return;
  fCollected.clear();
  TCanvas* cv = C->GetCanvas();
  const std::string& t = fMemo.Text;
  const int n = TextLength();
  const double zoom = fZoom;
  fSingleRecord = TIECharInfo::Make(Font, Brush, fAlignment);
  // Measures made with other fonts than those that stand now are dropped.
  if (Font.Charset != fMeasuredCharset || (fSingleFormat && !fSingleRecord.SameAs(fMeasuredSingle))) {
    for (TCharLayout& l : fLayout) l = TCharLayout{};
    fMeasuredCharset = Font.Charset;
    fMeasuredSingle = fSingleRecord;
  }
  fBaseFontColor = Font.Color;
  fBaseBrushColor = BackgroundBrush.Color;

  // The frame.
  C->Pen()->SetWidth(1.0f);
  C->Pen()->SetStyle(FramePen.Style);
  C->Pen()->SetMode(pmCopy);
  C->Pen()->SetColor(NoColor ? Font.Color : FramePen.Color);
  C->Brush()->SetColor(BackgroundBrush.Color);
  C->Brush()->SetStyle(BackgroundBrush.Style);
  C->Font().Color = Font.Color;
  if (!Band || !Band->IsEmpty())
    C->Rectangle(X, Y, Sat(X + std::int64_t{RoundClamp(Width * zoom, -kIntMax, kIntMax)}),
                 Sat(Y + std::int64_t{RoundClamp(Height * zoom, -kIntMax, kIntMax)}));
  C->Pen()->SetStyle(psSolid);

  // The text area.
  const double W = Width, H = Height;
  const int LI = TruncD(W * fMargins[0] / 100) + 1;
  const int TI = TruncD(H * fMargins[1] / 100) + 1;
  const int TW = TruncD(W - W * fMargins[2] / 100 - W * fMargins[0] / 100) - 2;
  const int TH = TruncD(H - H * fMargins[3] / 100 - H * fMargins[1] / 100) - 2;
  // The clip is the text area at the zoom, all four sides scaled alike.
  const TRect clip{Sat(X + std::int64_t{TruncD(LI * zoom)}), Sat(Y + std::int64_t{TruncD(TI * zoom)}),
                   Sat(X + std::int64_t{TruncD((double(LI) + TW) * zoom)}),
                   Sat(Y + std::int64_t{TruncD((double(TI) + TH) * zoom)})};
  const std::int64_t areaBottom = std::int64_t{Y} + TI + TH;
  const unsigned oldAlign = SetTextAlign(cv, TA_BASELINE);

  auto drawAt = [&](std::int64_t x, std::int64_t y, const std::string& s) {
    C->TextRectEx(clip, Sat(x), Sat(y), s);
  };
  auto invert = [&] {
    C->Brush()->SetColor(Inverted(C->Brush()->GetColor()));
    C->Font().Color = Inverted(C->Font().Color);
    C->Brush()->SetStyle(bsSolid);
  };
  auto selected = [&](int i) { return fSelStart <= i && i < fSelEnd; };
  // Whether a character on this baseline in a font of this height can reach
  // the clip: its cell and ink lie within twice the height of the baseline.
  // Characters that cannot are neither set up nor drawn.
  TRect drawClip = clip;
  if (Band && !IntersectRect(drawClip, clip, *Band)) drawClip = TRect{};
  auto reachOf = [](int height) { return 2 * std::int64_t{std::abs(height)} + 4; };
  auto inClip = [&](std::int64_t baseline, int height) {
    const std::int64_t reach = reachOf(height);
    return !drawClip.IsEmpty() && baseline - reach < drawClip.Bottom && baseline + reach > drawClip.Top;
  };
  // The height a character's font is drawn with at the zoom.
  auto zoomedHeight = [&](const TIECharInfo& record) {
    const int h = std::clamp(record.Height, -kIEMaxTextFontHeight, kIEMaxTextFontHeight);
    if (zoom == 1.0) return h;
    const int zh = TruncClamp(h * zoom, -kIEMaxTextFontHeight, kIEMaxTextFontHeight);
    return zh == 0 ? (h < 0 ? -1 : 1) : zh;
  };

  bool caretSet = false;
  auto setCaret = [&](std::int64_t x, std::int64_t y, int h) {
    fCaretPos = TPoint{Sat(x), Sat(y)};
    fCaretHeight = h;
    caretSet = true;
  };

  std::vector<TRecorded> recorded;
  std::int64_t lineTop = 0;
  int start = 0, prevH = 0, prevIL = 0, prevD = 0, lastDescent = 0;
  bool stopped = false, grown = false;
  while (!stopped && !grown) {
    // Measuring pass: where the line ends and how high it is.
    int lh = prevH, lil = prevIL, ld = prevD, end = start;
    std::int64_t x = 0;
    for (int i = start;; ++i) {
      fLayout[i].X = Sat(LI + x);
      fLayout[i].Y = Sat(TI + lineTop);
      if (i >= n) {
        end = n;
        break;
      }
      Measure(C, i);
      const TCharLayout& l = fLayout[i];
      prevH = l.Height, prevIL = l.Leading, prevD = l.Descent;
      lh = std::max(lh, prevH), lil = std::max(lil, prevIL), ld = std::max(ld, prevD);
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
    // A first character that does not fit on a line by itself ends the text.
    if (end == start) break;

    // Alignment, from the last character that counts.
    const int ai = t[end - 1] == '\n' ? end - 1 : end;
    const int ar = std::max(ai - 1, 0);
    const int align = fSingleFormat ? fAlignment : (ar == n ? fCurrent.Align : RecordOf(ar).Align);
    int k = ai - 1;
    if (k >= 0 && t[k] == '\n') --k;
    if (k >= 0 && t[k] == ' ') --k;
    k = std::max(k, 0);
    const std::int64_t xk = fLayout[k].X, wk = fLayout[k].Width;
    std::int64_t offset = 0;
    double scale = 1.0;
    switch (align) {
      case ieTextAlignRight: offset = TW - (xk + wk) - 1; break;
      case ieTextAlignCenter: offset = (TW - xk - wk) / 2; break;
      case ieTextAlignJustify:
        if (xk + wk + 1 != 0) scale = double(TW) / double(xk + wk + 1);
        if (t[k + 1] == '\0' || t[k + 1] == '\n' || k + 2 == n) scale = 1.0;
        break;
      default: break;
    }

    // Drawing pass.
    // Unscaled lines (all but justified ones) place characters at their sums.
    auto scaled = [scale](std::int64_t v) { return scale == 1.0 ? v : Trunc(double(v) * scale); };
    std::int64_t ux = offset, dx = scaled(ux), prevEnd = 0;
    const std::int64_t baseline = std::int64_t{Y} + TI + lineTop + lh - lil;
    const std::int64_t drawnBaseline = Y + Trunc(double(baseline - Y) * zoom);
    int lineHeight = 0;  // the largest font height drawn on the line
    for (int i = start; i < end && !stopped; ++i) {
      fLayout[i].X = Sat(LI + dx);
      fLayout[i].Y = Sat(TI + lineTop);
      if (t[i] == '\n') {
        if (fCaret > i)
          setCaret(LI, TI + lineTop + lh, lh);
        else if (fCaret == 0 && i == 0)
          setCaret(LI, TI, lh);
        continue;
      }
      Measure(C, i);
      const int w = fLayout[i].Width;
      lineHeight = std::max(lineHeight, std::abs(zoomedHeight(RecordFor(i))));
      if (zoom != 1.0) {
        if (dx != ux && prevEnd < dx)
          for (std::int64_t col = prevEnd; col < dx; ++col)
            recorded.push_back({std::int64_t{X} + LI + col, baseline, ' ', i});
        recorded.push_back({std::int64_t{X} + LI + dx, baseline, t[i], i});
      } else if (inClip(baseline, RecordFor(i).Height)) {
        SetCharFont(C, RecordFor(i));
        if (selected(i)) invert();
        if (dx != ux && prevEnd < dx)
          for (std::int64_t col = prevEnd; col < dx; ++col) drawAt(std::int64_t{X} + LI + col, baseline, " ");
        drawAt(std::int64_t{X} + LI + dx, baseline, Glyph(t[i]));
      }
      if (fCaret == i)
        setCaret(LI + dx, TI + lineTop, lh);
      else if (fCaret > i)
        setCaret(LI + dx + w, TI + lineTop, lh);
      if (CollectLines) {
        if (baseline > areaBottom)
          stopped = true;
        else
          fCollected += t[i];
      }
      if (AutoGrow && Visible() && Parent() && baseline + ld > areaBottom) {
        std::int64_t want = Trunc(double(baseline + ld + lh) * zoom);
        if (want > this->Height() && this->Height() < kMaxAutoGrowHeight) {
          grown = true;
          SetHeight(static_cast<int>(std::min<std::int64_t>(want, kMaxAutoGrowHeight)));
          break;
        }
      }
      prevEnd = dx + w;
      ux += w;
      dx = scaled(ux);
    }
    fLines.push_back({start, end, baseline, offset, scale, drawnBaseline - reachOf(lineHeight),
                      drawnBaseline + reachOf(lineHeight)});
    if (stopped || grown) break;
    lastDescent = ld;
    if (CollectLines) fCollected += '\n';
    lineTop += lh + fLineSpacing;
    if (end >= n) break;
    start = end;
  }

  if (!grown) {
    if (!caretSet) {
      // Nothing laid out: the caret stands at the start, as high as the font
      // the next typed character gets.
      SetCharFont(C, fSingleFormat ? fSingleRecord : fCurrent);
      int h = fFixedLineHeight > 0 ? fFixedLineHeight : std::abs(cv->GetTextMetrics().tmHeight);
      setCaret(LI, TI, h);
    }
    if (zoom != 1.0) {
      for (std::size_t r = 0; r < recorded.size(); ++r) {
        const TRecorded& rc = recorded[r];
        const std::int64_t zx = X + Trunc(double(rc.X - X) * zoom), zy = Y + Trunc(double(rc.Y - Y) * zoom);
        const TIECharInfo& record = RecordFor(rc.Index);
        const int zh = zoomedHeight(record);
        if (!inClip(zy, zh)) continue;
        SetCharFont(C, record);
        C->Font().Height = zh;
        if (selected(rc.Index)) invert();
        if (r + 1 < recorded.size() && recorded[r + 1].Y == rc.Y) {
          const std::int64_t nx = X + Trunc(double(recorded[r + 1].X - X) * zoom);
          // A space without width cannot fill anything.
          const int sw = C->TextWidth(" ");
          if (sw > 0)
            for (std::int64_t p = zx; p < nx; p += sw) drawAt(p, zy, " ");
        }
        drawAt(zx, zy, Glyph(rc.C));
      }
      for (int i = 0; i < n; ++i) {
        TCharLayout& l = fLayout[i];
        if (l.X >= 0) l.X = TruncD(l.X * zoom);
        if (l.Y >= 0) l.Y = TruncD(l.Y * zoom);
      }
      fCaretPos = TPoint{TruncD(fCaretPos.X * zoom), TruncD(fCaretPos.Y * zoom)};
      fCaretHeight = TruncD(fCaretHeight * zoom);
    }
    if (AutoGrow && Visible() && Parent() && std::int64_t{fCaretPos.Y} + fCaretHeight > TruncD(TH * zoom)) {
      std::int64_t want = std::int64_t{fCaretPos.Y} + fCaretHeight + lastDescent;
      if (want > this->Height() && this->Height() < kMaxAutoGrowHeight) {
        grown = true;
        SetHeight(static_cast<int>(std::min<std::int64_t>(want, kMaxAutoGrowHeight)));
      }
    }
    fLayout[fCaret].X = fCaretPos.X;
    fLayout[fCaret].Y = fCaretPos.Y;
  }
  SetTextAlign(cv, oldAlign);
  // A control that grew lays its text out again on its new size.
  fLayoutValid = !grown;
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
    for (int j = 0; j < a.End - a.Start; ++j) {
      const int o = a.Start + j, i = b.Start + j;
      if (fDrawnText[o] != t[i] || fDrawnIndices[o] != fMemo.Indices[i] ||
          (fDrawnSelStart <= o && o < fDrawnSelEnd) != (fSelStart <= i && i < fSelEnd))
        return false;
    }
    return true;
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
    const TRect none{};
    LayoutAndDrawBand(&probe, 0, 0, W, H, &none);
    if (!IntersectRect(rows, ChangedRows(), TRect{0, 0, cw, ch})) {
      fLayoutValid = true;
      fDrawnLines = fLines;
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
    LayoutAndDrawBand(&c, 0, 0, W, H, partial ? &rows : nullptr);
  }
  bc->ClearDeviceClip();
  fOffscreenValid = fLayoutValid;
  fDrawnKey = std::move(key);
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
