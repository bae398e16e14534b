// The text editing control's records, editing, keys, mouse and the single-line
// editor.
#include "imaging/view/ie_textcontrol.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "imaging/core/ie_window_calls.h"
#include "platform/clipboard.h"
#include "platform/dialogs.h"
#include "platform/font.h"
#include "platform/keys.h"

namespace redozir {

static_assert(std::endian::native == std::endian::little, "records are stored as they lie in memory");

namespace {

// Both editors ask for Tab and the navigation keys (Page Up to Down) and
// hand them to KeyUp.
template <class F>
void AnswerSpecialKey(TMessage& m, F keyUp) {
  auto key = static_cast<WORD>(m.WParam);
  m.Result = key == VK_TAB || (key >= VK_PRIOR && key <= VK_DOWN);
  if (m.Result != 0) keyUp(key, KeyDataToShiftState(m.LParam));
}

int ClampHeight(std::int64_t h) {
  return static_cast<int>(std::clamp<std::int64_t>(h, -kIEMaxTextFontHeight, kIEMaxTextFontHeight));
}

}  // namespace

// ---- Attribute records

std::string TIECharInfo::FontName() const {
  return std::string(reinterpret_cast<const char*>(Name + 1), Name[0]);
}

void TIECharInfo::SetFontName(const std::string& name) {
  std::size_t n = std::min<std::size_t>(name.size(), 255);
  std::memset(Name, 0, sizeof Name);
  Name[0] = static_cast<std::uint8_t>(n);
  std::memcpy(Name + 1, name.data(), n);
}

bool TIECharInfo::SameAs(const TIECharInfo& other) const {
  // The name is compared up to its length (stale bytes after it may differ in
  // records that come from elsewhere); the rest byte for byte.
  if (Name[0] != other.Name[0] || std::memcmp(Name + 1, other.Name + 1, Name[0]) != 0) return false;
  constexpr std::size_t from = offsetof(TIECharInfo, Height);
  return std::memcmp(reinterpret_cast<const std::uint8_t*>(this) + from,
                     reinterpret_cast<const std::uint8_t*>(&other) + from, kIECharInfoSize - from) == 0;
}

TIECharInfo TIECharInfo::Make(const TFont& font, const TBrush& brush, int align) {
  TIECharInfo r;
  r.SetFontName(font.Name);
  r.Height = ClampHeight(font.Height);
  r.Style = font.Style.Bits & 0x0F;
  r.Color = font.Color;
  r.BrushColor = brush.Color;
  r.BrushStyle = static_cast<std::uint8_t>(brush.Style);
  r.Align = static_cast<std::uint8_t>(std::clamp(align, 0, 3));
  return r;
}

TFont TIECharInfo::ToFont() const {
  TFont f;
  f.Name = FontName();
  f.Height = Height;
  f.Style = TFontStyles(Style);
  f.Color = Color;
  return f;
}

void TIECharInfo::ToBytes(std::uint8_t* dst) const { std::memcpy(dst, this, kIECharInfoSize); }

TIECharInfo TIECharInfo::FromBytes(const std::uint8_t* src) {
  TIECharInfo r;
  std::memcpy(&r, src, kIECharInfoSize);
  r.Height = ClampHeight(r.Height);
  r.Style &= 0x0F;
  if (r.BrushStyle > bsDiagCross) r.BrushStyle = bsClear;
  if (r.Align > ieTextAlignJustify) r.Align = ieTextAlignLeft;
  return r;
}

void IEPackTextRecords(TIETextMemo& Memo) {
  std::vector<std::int32_t> renumber(Memo.Records.size(), -1);
  std::vector<TIECharInfo> kept;
  for (std::size_t i = 0; i < Memo.Records.size(); ++i)
    if (Memo.Records[i].RefCount > 0) {
      renumber[i] = static_cast<std::int32_t>(kept.size());
      kept.push_back(Memo.Records[i]);
    }
  for (std::int32_t& idx : Memo.Indices)
    idx =
        idx >= 0 && static_cast<std::size_t>(idx) < renumber.size() && renumber[idx] >= 0 ? renumber[idx] : 0;
  Memo.Records = std::move(kept);
}

namespace {
UINT TextMemoFormat = 0;
}

UINT IETextMemoClipboardFormat() {
  if (TextMemoFormat == 0) TextMemoFormat = RegisterClipboardFormat(kIETextMemoFormatName);
  return TextMemoFormat;
}

void IEInitTextControl() { IETextMemoClipboardFormat(); }

// ---- The control

TIETextControl::TIETextControl(TComponent* AOwner) : TCustomControl(AOwner), fOffscreen(0, 0, pf24bit) {
  fCurrent = TIECharInfo::Make(Font, Brush, fAlignment);
  Opaque = true;
  TabStop = true;
  if (AOwner) SetCursor(crIBeam);
}

TIETextControl::~TIETextControl() {
  if (HandleAllocated() && CaretState().Owner == Handle()) DestroyCaret();
}

void TIETextControl::Init() {
  fSelStart = fSelEnd = fCaret = fPressIndex = 0;
  if (fMemo.Text.size() > static_cast<std::size_t>(kIEMaxTextLength)) fMemo.Text.resize(kIEMaxTextLength);
  // A text may carry zeros from a stream: the text ends at the first one.
  fMemo.Text.resize(std::strlen(fMemo.Text.c_str()));
  int n = TextLength();
  if (fMemo.Records.empty() && n > 0) fMemo.Records.push_back(TIECharInfo::Make(Font, Brush, fAlignment));
  // Indices and counts that come in are not trusted: an index outside the
  // list names the first record, and the counts are those of the indices.
  fMemo.Indices.resize(n, 0);
  for (TIECharInfo& r : fMemo.Records) r.RefCount = 0;
  for (std::int32_t& idx : fMemo.Indices) {
    if (idx < 0 || static_cast<std::size_t>(idx) >= fMemo.Records.size()) idx = 0;
    ++fMemo.Records[idx].RefCount;
  }
  for (TIECharInfo& r : fMemo.Records) r = TIECharInfo::FromBytes(reinterpret_cast<const std::uint8_t*>(&r));
  fLayout.assign(n + 1, TCharLayout{});
  fLayoutValid = false;
  fOffscreenValid = false;
  fLinesKept = false;
  fCaretEntry = -1;
  fCurrent = TIECharInfo::Make(Font, Brush, fAlignment);
  Invalidate();
}

void TIETextControl::SetMemo(TIETextMemo Memo) {
  fMemo = std::move(Memo);
  Init();
}

TIETextMemo TIETextControl::TakeMemo() {
  TIETextMemo m = std::move(fMemo);
  fMemo = TIETextMemo{};
  Init();
  return m;
}

void TIETextControl::Update() {
  for (TCharLayout& l : fLayout) l = TCharLayout{};
  fLayoutValid = false;
  fOffscreenValid = false;
  fLinesKept = false;
  fCaretEntry = -1;
  Invalidate();
}

void TIETextControl::SetMargins(double Left, double Top, double Right, double Bottom) {
  auto clamp = [](double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 99.0) : 0.0; };
  double m[4] = {clamp(Left), clamp(Top), clamp(Right), clamp(Bottom)};
  // A pair at 100 or more leaves no room for text, and auto-grow would grow
  // without end: the second of the pair gives way.
  if (m[0] + m[2] > 99.0) m[2] = 99.0 - m[0];
  if (m[1] + m[3] > 99.0) m[3] = 99.0 - m[1];
  std::copy(m, m + 4, fMargins);
  Update();
}

void TIETextControl::SetAlignment(int v) { fAlignment = std::clamp(v, 0, 3); }

void TIETextControl::SetZoom(double v) {
  if (!std::isfinite(v) || v < 0.01 || v > 100.0) return;
  fZoom = v;
  Update();
}

void TIETextControl::SetFixedLineHeight(int v) {
  fFixedLineHeight = std::clamp(v, 0, kIEMaxTextFontHeight);
  Update();
}

void TIETextControl::SetLineSpacing(int v) {
  fLineSpacing = std::clamp(v, -kIEMaxLineSpacing, kIEMaxLineSpacing);
  Update();
}

void TIETextControl::SetSingleFormat(bool v) {
  fSingleFormat = v;
  Update();
}

void TIETextControl::SetCaretIndex(int i) {
  fCaret = std::clamp(i, 0, TextLength());
  SetCurrentFromCaret();
  Relayout();
}

void TIETextControl::SetSelection(int Start, int End) {
  int n = TextLength();
  fSelStart = std::clamp(std::min(Start, End), 0, n);
  fSelEnd = std::clamp(std::max(Start, End), 0, n);
  if (fSelStart == fSelEnd) fSelStart = fSelEnd = 0;
  fCaret = std::clamp(End, 0, n);
  Relayout();
}

int TIETextControl::CharX(int i) const {
  return i >= 0 && static_cast<std::size_t>(i) < fLayout.size() ? fLayout[i].X : -1;
}
int TIETextControl::CharY(int i) const {
  return i >= 0 && static_cast<std::size_t>(i) < fLayout.size() ? fLayout[i].Y : -1;
}

// ---- Records of characters

const TIECharInfo& TIETextControl::RecordOf(int i) const {
  if (i >= 0 && i < TextLength()) {
    std::int32_t idx = fMemo.Indices[i];
    if (idx >= 0 && static_cast<std::size_t>(idx) < fMemo.Records.size()) return fMemo.Records[idx];
  }
  return fCurrent;
}

void TIETextControl::AssignRecord(int i, const TIECharInfo& r) {
  auto& recs = fMemo.Records;
  std::size_t found = recs.size();
  for (std::size_t k = 0; k < recs.size(); ++k)
    if (recs[k].SameAs(r)) {
      found = k;
      break;
    }
  if (found == recs.size()) {
    recs.push_back(r);
    recs.back().RefCount = 0;
  }
  fMemo.Indices[i] = static_cast<std::int32_t>(found);
  ++recs[found].RefCount;
}

void TIETextControl::ReleaseRecord(int i) {
  std::int32_t idx = fMemo.Indices[i];
  if (idx >= 0 && static_cast<std::size_t>(idx) < fMemo.Records.size() && fMemo.Records[idx].RefCount > 0)
    --fMemo.Records[idx].RefCount;
}

void TIETextControl::SetCurrentFromCaret() {
  if (fCaret > 0)
    fCurrent = RecordOf(fCaret - 1);
  else if (TextLength() > 0)
    fCurrent = RecordOf(0);
}

void TIETextControl::Dirty(int from, int to) {
  // Measures stay, as they depend only on a character and its record (a
  // change of record clears them).
  fDirtyFrom = std::min(fDirtyFrom, from);
  fDirtyTo = std::max(fDirtyTo, to);
  fLayoutValid = false;
}

void TIETextControl::Relayout() {
  fLayoutValid = false;
  Invalidate();
}

bool TIETextControl::InsertRun(const std::string& chars, const std::vector<TIECharInfo>* records) {
  if (chars.empty()) return true;
  if (static_cast<std::int64_t>(TextLength()) + static_cast<std::int64_t>(chars.size()) > kIEMaxTextLength)
    return false;
  int at = fCaret;
  fMemo.Text.insert(static_cast<std::size_t>(at), chars);
  fMemo.Indices.insert(fMemo.Indices.begin() + at, chars.size(), 0);
  fLayout.insert(fLayout.begin() + at, chars.size(), TCharLayout{});
  for (std::size_t k = 0; k < chars.size(); ++k) {
    if (records) fCurrent = (*records)[k];
    AssignRecord(at + static_cast<int>(k), fCurrent);
  }
  const int m = static_cast<int>(chars.size());
  if (fDirtyTo > at) fDirtyTo += m;
  if (fCaretEntry >= at) fCaretEntry += m;
  fDirtyDelta += m;
  Dirty(at, at + m);
  fCaret = at + static_cast<int>(chars.size());
  return true;
}

void TIETextControl::InsertChar(char c) {
  if (c == 0) return;
  InsertRun(std::string(1, c), nullptr);
}

void TIETextControl::DeleteChar(int i) {
  if (i < 0 || i >= TextLength()) return;
  ReleaseRecord(i);
  fMemo.Text.erase(static_cast<std::size_t>(i), 1);
  fMemo.Indices.erase(fMemo.Indices.begin() + i);
  fLayout.erase(fLayout.begin() + i);
  if (fDirtyTo > i) --fDirtyTo;
  if (fCaretEntry > i)
    --fCaretEntry;
  else if (fCaretEntry == i)
    fCaretEntry = -1;
  --fDirtyDelta;
  if (fCaret > i) --fCaret;
  fSelEnd = std::min(fSelEnd, TextLength());
  if (fSelStart >= fSelEnd) fSelStart = fSelEnd = 0;
  Dirty(i, i + 1);
}

void TIETextControl::DeleteSelection() {
  if (!HasSelection()) return;
  int s = fSelStart;
  for (int i = fSelEnd - 1; i >= s; --i) DeleteChar(i);
  fCaret = s;
  fSelStart = fSelEnd = 0;
}

template <class F>
void TIETextControl::ChangeSelRecords(F change) {
  if (HasSelection()) {
    for (int i = fSelStart; i < fSelEnd; ++i) {
      TIECharInfo r = RecordOf(i);
      change(r);
      ReleaseRecord(i);
      AssignRecord(i, r);
    }
    Dirty(fSelStart, fSelEnd);
  }
  change(fCurrent);
  Update();
}

void TIETextControl::SetSelFont(const TFont& f) {
  ChangeSelRecords([&](TIECharInfo& r) {
    r.SetFontName(f.Name);
    r.Height = ClampHeight(f.Height);
    r.Style = f.Style.Bits & 0x0F;
    r.Color = f.Color;
  });
}

void TIETextControl::SetSelBackColor(TColor c) {
  ChangeSelRecords([&](TIECharInfo& r) { r.BrushColor = c; });
}

void TIETextControl::ToggleSelStyle(TFontStyle bit) {
  // The first selected character decides for the whole selection.
  bool on = HasSelection() ? (RecordOf(fSelStart).Style & bit) == 0 : (fCurrent.Style & bit) == 0;
  ChangeSelRecords([&](TIECharInfo& r) { r.Style = on ? (r.Style | bit) : (r.Style & ~bit); });
}

int TIETextControl::GrowHeight(int h) { return h == 0 ? 1 : ClampHeight(h < 0 ? h - 1 : h + 1); }

int TIETextControl::ShrinkHeight(int h) {
  int s = h < 0 ? h + 1 : h - 1;
  return h == 0 || s == 0 ? 1 : ClampHeight(s);
}

void TIETextControl::GrowSelFont() {
  ChangeSelRecords([](TIECharInfo& r) { r.Height = GrowHeight(r.Height); });
}

void TIETextControl::ShrinkSelFont() {
  ChangeSelRecords([](TIECharInfo& r) { r.Height = ShrinkHeight(r.Height); });
}

void TIETextControl::SetParagraphAlignment(int a) {
  a = std::clamp(a, 0, 3);
  const std::string& t = fMemo.Text;
  int s = fCaret, e = fCaret;
  while (s > 0 && t[s - 1] != '\n') --s;
  while (e < TextLength() && t[e] != '\n') ++e;
  if (e < TextLength()) ++e;
  for (int i = s; i < e; ++i) {
    TIECharInfo r = RecordOf(i);
    r.Align = static_cast<std::uint8_t>(a);
    ReleaseRecord(i);
    AssignRecord(i, r);
  }
  Dirty(s, e);
  fCurrent.Align = static_cast<std::uint8_t>(a);
  Update();
}

// ---- Clipboard

bool TIETextControl::CopyToClipboard() {
  if (!HasSelection()) return false;
  HWND owner = HandleAllocated() ? Handle() : 0;
  if (!IEOpenClipboard(owner)) return false;
  std::size_t n = static_cast<std::size_t>(fSelEnd - fSelStart);
  std::string chars = fMemo.Text.substr(fSelStart, n);
  std::vector<std::uint8_t> memo(n + 1 + kIECharInfoSize * n, 0);
  std::memcpy(memo.data(), chars.data(), n);
  for (std::size_t i = 0; i < n; ++i)
    RecordOf(fSelStart + static_cast<int>(i)).ToBytes(memo.data() + n + 1 + kIECharInfoSize * i);
  std::string plain;
  for (char c : chars) {
    if (c == '\n') plain += '\r';
    plain += c;
  }
  plain += '\0';
  bool ok = EmptyClipboard() && SetClipboardBytes(IETextMemoClipboardFormat(), memo.data(), memo.size()) &&
            SetClipboardBytes(CF_TEXT, plain.data(), plain.size());
  CloseClipboard();
  return ok;
}

bool TIETextControl::CutToClipboard() {
  if (!CopyToClipboard()) return false;
  DeleteSelection();
  Relayout();
  return true;
}

bool TIETextControl::PasteFromClipboard() {
  HWND owner = HandleAllocated() ? Handle() : 0;
  if (!IEOpenClipboard(owner)) return false;
  // Read everything first: nothing is deleted unless something can be pasted.
  std::string chars;
  std::vector<TIECharInfo> records;
  bool formatted = false;
  std::vector<std::uint8_t> block;
  if (IsClipboardFormatAvailable(IETextMemoClipboardFormat()) &&
      GetClipboardBytes(IETextMemoClipboardFormat(), block)) {
    const std::uint8_t* end = std::find(block.data(), block.data() + block.size(), std::uint8_t{0});
    std::size_t n = static_cast<std::size_t>(end - block.data());
    // n characters, a 0 and n records; a shorter block is not trusted.
    if (n < block.size() && (block.size() - n - 1) / kIECharInfoSize >= n) {
      chars.assign(reinterpret_cast<const char*>(block.data()), n);
      records.reserve(n);
      for (std::size_t i = 0; i < n; ++i)
        records.push_back(TIECharInfo::FromBytes(block.data() + n + 1 + kIECharInfoSize * i));
      formatted = true;
    }
  }
  if (!formatted && IsClipboardFormatAvailable(CF_TEXT) && GetClipboardBytes(CF_TEXT, block)) {
    for (std::uint8_t b : block) {
      if (b == 0) break;
      if (b != '\r') chars += static_cast<char>(b);
    }
  }
  CloseClipboard();
  if (chars.empty()) return false;
  if (static_cast<std::int64_t>(TextLength()) - (fSelEnd - fSelStart) +
          static_cast<std::int64_t>(chars.size()) >
      kIEMaxTextLength)
    return false;
  DeleteSelection();
  InsertRun(chars, formatted ? &records : nullptr);
  Relayout();
  return true;
}

// ---- Keys

int TIETextControl::WordLeft(int p) const {
  const std::string& t = fMemo.Text;
  int start = p;
  if (p > 0) --p;
  while (p > 0 && static_cast<unsigned char>(t[p]) < 33) --p;
  while (p > 0 && static_cast<unsigned char>(t[p]) >= 33) --p;
  if (p < start && p < TextLength() && static_cast<unsigned char>(t[p]) < 33) ++p;
  return std::clamp(p, 0, std::max(TextLength() - 1, 0));
}

int TIETextControl::WordRight(int p) const {
  const std::string& t = fMemo.Text;
  const int n = TextLength();
  while (p < n && static_cast<unsigned char>(t[p]) < 33) ++p;
  while (p < n && static_cast<unsigned char>(t[p]) >= 33) ++p;
  // The last word ends after its last character: kept before it, the caret
  // could never reach the end by words.
  return p;
}

void TIETextControl::MoveCaret(int to, TShiftState Shift, int old) {
  fCaret = std::clamp(to, 0, TextLength());
  if (fCaret == old) return;
  SetCurrentFromCaret();
  if (Shift & ssShift) {
    if (!HasSelection()) {
      fSelStart = old;
      fSelEnd = fCaret;
    } else if (fCaret < old) {
      if (fCaret >= fSelStart)
        fSelEnd = fCaret;
      else
        fSelStart = fCaret;
    } else {
      if (fCaret > fSelEnd)
        fSelEnd = fCaret;
      else
        fSelStart = fCaret;
    }
    if (fSelStart > fSelEnd) std::swap(fSelStart, fSelEnd);
    if (fSelStart == fSelEnd) fSelStart = fSelEnd = 0;
  } else {
    fSelStart = fSelEnd = 0;
  }
  Relayout();
}

void TIETextControl::KeyDown(WORD& Key, TShiftState Shift) {
  int n = TextLength(), old = fCaret;
  bool ctrl = (Shift & ssCtrl) != 0;
  auto y = [&](int i) { return fLayout[i].Y; };
  auto x = [&](int i) { return fLayout[i].X; };
  switch (Key) {
    case VK_LEFT: MoveCaret(ctrl ? WordLeft(fCaret) : fCaret - 1, Shift, old); break;
    case VK_RIGHT: MoveCaret(ctrl ? WordRight(fCaret) : fCaret + 1, Shift, old); break;
    case VK_UP:
    case VK_DOWN: {
      EnsureLayout();
      int cy = fCaretPos.Y, cx = fCaretPos.X, b = fCaret, p;
      if (Key == VK_UP) {
        while (b > 0 && y(b) >= cy) --b;
        if (y(b) == y(fCaret)) break;
        p = b;
        while (p > 0 && x(p) > cx) --p;
        if (p + 1 <= n && y(p + 1) == y(p) && std::abs(x(p + 1) - cx) < std::abs(x(p) - cx)) ++p;
      } else {
        while (b < n && y(b) == cy) ++b;
        if (y(b) == y(fCaret)) break;
        p = b;
        while (p < n && x(p) < cx) ++p;
        if (p > 0 && y(p - 1) == y(p) && std::abs(x(p - 1) - cx) < std::abs(x(p) - cx)) --p;
      }
      if (y(p) != y(b)) p = b;
      MoveCaret(p, Shift, old);
      break;
    }
    case VK_HOME:
    case VK_END: {
      int p = fCaret;
      if (ctrl) {
        p = Key == VK_HOME ? 0 : n;
      } else {
        EnsureLayout();
        int cy = y(fCaret);
        if (Key == VK_HOME)
          while (p > 0 && y(p - 1) == cy) --p;
        else
          while (p < n && y(p + 1) == cy) ++p;
      }
      MoveCaret(p, Shift, old);
      break;
    }
    case VK_DELETE:
      if (HasSelection())
        DeleteSelection();
      else
        DeleteChar(fCaret);
      Relayout();
      break;
    case VK_BACK:
      if (HasSelection()) {
        DeleteSelection();
      } else if (fCaret > 0) {
        --fCaret;
        DeleteChar(fCaret);
      }
      Relayout();
      break;
    case VK_RETURN:
      DeleteSelection();
      InsertChar('\n');
      Relayout();
      break;
    case VK_INSERT: InsertMode = !InsertMode; break;
    case VK_F1:
      if (Shift & ssShift) ShrinkSelFont();
      break;
    case VK_F2:
      if (Shift & ssShift) GrowSelFont();
      break;
    default: break;
  }
  TShortCut sc = ShortCut(Key, Shift);
  auto at = std::find(IETextShortcuts.begin(), IETextShortcuts.end(), sc);
  switch (at - IETextShortcuts.begin()) {
    case 0: SetParagraphAlignment(ieTextAlignLeft); break;
    case 1: SetParagraphAlignment(ieTextAlignCenter); break;
    case 2: SetParagraphAlignment(ieTextAlignRight); break;
    case 3: SetParagraphAlignment(ieTextAlignJustify); break;
    case 4: CopyToClipboard(); break;
    case 5: CutToClipboard(); break;
    case 6: PasteFromClipboard(); break;
    case 7:
      if (!fSingleFormat) {
        TFontDialog dlg(nullptr);
        dlg.Font = fCurrent.ToFont();
        dlg.Font.Charset = Font.Charset;
        if (dlg.Execute()) SetSelFont(dlg.Font);
      }
      break;
    case 8: ToggleSelStyle(fsBold); break;
    case 9: ToggleSelStyle(fsItalic); break;
    case 10: ToggleSelStyle(fsUnderline); break;
    case 11:
      if (!fSingleFormat) {
        TColorDialog dlg(nullptr);
        dlg.Color = fCurrent.BrushColor;
        if (dlg.Execute()) SetSelBackColor(dlg.Color);
      }
      break;
    default: break;
  }
  TCustomControl::KeyDown(Key, Shift);
}

void TIETextControl::KeyPress(char& Key) {
  TCustomControl::KeyPress(Key);
  auto c = static_cast<unsigned char>(Key);
  if (c < 32 || c == 127) return;
  DeleteSelection();
  if (!InsertMode) DeleteChar(fCaret);
  InsertChar(Key);
  Relayout();
}

// ---- Mouse

int TIETextControl::IndexAt(int X, int Y) const {
  int n = TextLength(), p = 0;
  for (int i = 0; i <= n; ++i)
    if (fLayout[i].Y <= Y) p = i;
  // Back to the character under the point, but not into the line above.
  int lineY = fLayout[p].Y;
  while (p > 0 && X < fLayout[p].X - 1 && fLayout[p - 1].Y == lineY) --p;
  return p;
}

void TIETextControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || (Shift & ssDouble)) return;
  if (!Focused() && CanFocus()) SetFocus();
  EnsureLayout();
  int p = IndexAt(X, Y);
  if (Shift & ssShift) {
    SelectFromPress(p);
  } else {
    fSelStart = fSelEnd = 0;
    fPressIndex = p;
  }
  fCaret = p;
  SetCurrentFromCaret();
  Relayout();
  if (OnCaretMove) OnCaretMove(this);
}

void TIETextControl::SelectFromPress(int p) {
  // The text may have shrunk since the press (keys typed in between, or a
  // double click's second press, which sets no new one).
  const int press = std::min(fPressIndex, TextLength());
  fSelStart = std::min(press, p);
  fSelEnd = std::max(press, p);
  if (fSelStart == fSelEnd) fSelStart = fSelEnd = 0;
}

void TIETextControl::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!(Shift & ssLeft)) return;
  EnsureLayout();
  int p = IndexAt(X, Y);
  SelectFromPress(p);
  fCaret = p;
  SetCurrentFromCaret();
  Relayout();
  if (OnCaretMove) OnCaretMove(this);
}

void TIETextControl::SelectWord() {
  const std::string& t = fMemo.Text;
  int n = TextLength(), s = fCaret;
  while (s > 0 && static_cast<unsigned char>(t[s - 1]) >= 33) --s;
  int e = s;
  while (e < n && static_cast<unsigned char>(t[e]) >= 33) ++e;
  while (e < n && static_cast<unsigned char>(t[e]) < 33) ++e;
  while (e > s && static_cast<unsigned char>(t[e - 1]) < 33) --e;
  fSelStart = s;
  fSelEnd = e;
  if (s == e) fSelStart = fSelEnd = 0;
  fCaret = e;
  SetCurrentFromCaret();
  Relayout();
  if (OnCaretMove) OnCaretMove(this);
}

// ---- Messages

void TIETextControl::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SIZE:
      TCustomControl::WndProc(Message);
      Update();
      return;
    case WM_ERASEBKGND: Message.Result = 0; return;
    case WM_LBUTTONDBLCLK:
      TCustomControl::WndProc(Message);
      SelectWord();
      return;
    case WM_CUT:
    case WM_COPY:
    case WM_PASTE: {
      WORD key = Message.Msg == WM_CUT ? 'X' : Message.Msg == WM_COPY ? 'C' : 'V';
      KeyDown(key, ssCtrl);
      return;
    }
    case WM_SETFOCUS:
      TCustomControl::WndProc(Message);
      Invalidate();
      return;
    case WM_KILLFOCUS:
      TCustomControl::WndProc(Message);
      if (HandleAllocated() && CaretState().Owner == Handle()) {
        HideCaret(Handle());
        DestroyCaret();
      }
      return;
    case WM_GETDLGCODE: Message.Result = DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTCHARS; return;
    case CM_WANTSPECIALKEY:
      AnswerSpecialKey(Message, [this](WORD& k, TShiftState sh) { KeyUp(k, sh); });
      return;
    case CN_CHAR:
    case WM_CHAR: {
      // Characters beyond one byte become the byte of the font's code page
      // (or nothing when it has none).
      int c = Message.WParam <= 0xFF
                  ? static_cast<int>(Message.WParam)
                  : UnicodeToCharsetByte(static_cast<char32_t>(Message.WParam), Font.Charset);
      if (c > 0) {
        char k = static_cast<char>(c);
        KeyPress(k);
      }
      Message.Result = 1;
      return;
    }
    default: TCustomControl::WndProc(Message);
  }
}

// ---- The single-line editor

void TIEEdit::WndProc(TMessage& Message) {
  if (Message.Msg == CM_WANTSPECIALKEY) {
    AnswerSpecialKey(Message, [this](WORD& k, TShiftState sh) { KeyUp(k, sh); });
    return;
  }
  TEdit::WndProc(Message);
}

void TIEEdit::KeyPress(char& Key) {
  if (Key == '\t') Key = 0;
  TEdit::KeyPress(Key);
}

}  // namespace redozir
