// The text editing control: multi-line text with per-character formatting
// kept in shared attribute records, word wrap, a caret, keyboard and mouse
// selection, Ctrl shortcuts and a clipboard format of its own; and TIEEdit,
// the single-line editor of in-place editing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "imaging/core/iegdiplus.h"
#include "platform/bitmap.h"
#include "platform/controls.h"
#include "platform/edits.h"
#include "platform/font.h"
#include "platform/graphics.h"

#pragma GCC visibility push(default)
namespace redozir {

// Paragraph alignments of a character attribute record.
constexpr std::uint8_t ieTextAlignLeft = 0;
constexpr std::uint8_t ieTextAlignRight = 1;
constexpr std::uint8_t ieTextAlignCenter = 2;
constexpr std::uint8_t ieTextAlignJustify = 3;

// The largest font height (either sign) a record keeps; larger ones are
// clamped wherever a height comes in.
constexpr int kIEMaxTextFontHeight = kMaxFontPixels;
// The most extra pixels between lines (either sign) the control keeps;
// larger spacings are clamped where they are set and where they are read.
constexpr int kIEMaxLineSpacing = kIEMaxTextFontHeight;
// The longest text the control edits; typing and pasting stop there.
constexpr int kIEMaxTextLength = 1 << 20;

// One character's formatting: 280 bytes, the same layout in memory, on the
// clipboard and in streams. Two records are equal when the 276 bytes from
// the font name on are equal.
struct TIECharInfo {
  std::int32_t RefCount = 0;    // characters that use the record
  std::uint8_t Name[256] = {};  // font name, length byte first
  std::int32_t Height = 0;      // as TFont::Height
  std::uint8_t Style = 0;       // TFontStyles bits
  std::uint8_t Pad1[3] = {};
  TColor Color = 0;
  TColor BrushColor = 0;
  std::uint8_t BrushStyle = 0;  // TBrushStyle
  std::uint8_t Align = 0;       // ieTextAlignLeft ..
  std::uint8_t Pad2[2] = {};

  std::string FontName() const;
  // Cut to 255 characters.
  void SetFontName(const std::string& name);
  bool SameAs(const TIECharInfo& other) const;
  // The record of a font, a brush and an alignment (count 0).
  static TIECharInfo Make(const TFont& font, const TBrush& brush, int align);
  // The platform font the record describes (the charset is the caller's).
  TFont ToFont() const;
  void ToBytes(std::uint8_t* dst) const;
  // A record from 280 untrusted bytes: the height, brush style and alignment
  // are brought into range.
  static TIECharInfo FromBytes(const std::uint8_t* src);
};
constexpr std::size_t kIECharInfoSize = 280;
static_assert(sizeof(TIECharInfo) == kIECharInfoSize);
static_assert(offsetof(TIECharInfo, Height) == 260 && offsetof(TIECharInfo, Style) == 264 &&
              offsetof(TIECharInfo, Color) == 268 && offsetof(TIECharInfo, BrushColor) == 272 &&
              offsetof(TIECharInfo, BrushStyle) == 276 && offsetof(TIECharInfo, Align) == 277);

// Formatted text: 8-bit characters (line breaks as 10), the distinct
// attribute records and, per character, the index of its record.
struct TIETextMemo {
  std::string Text;
  std::vector<TIECharInfo> Records;
  std::vector<std::int32_t> Indices;
};

// Removes the records no character uses and renumbers the indices.
void IEPackTextRecords(TIETextMemo& Memo);

// The name and number of the control's clipboard format (registered on
// first use when the library's start-up has not run).
constexpr const char* kIETextMemoFormatName = "REDOZIR TEXTMEMO";
UINT IETextMemoClipboardFormat();
// Start-up part: registers the clipboard format.
void IEInitTextControl();

// The twelve Ctrl shortcuts of formatted-text editing, compared by position:
// align left, centre, right, justify, copy, cut, paste, font dialog, bold,
// italic, underline, background colour dialog.
constexpr std::array<TShortCut, 12> IETextShortcuts = {
    scCtrl | 'L', scCtrl | 'E', scCtrl | 'R', scCtrl | 'J', scCtrl | 'C', scCtrl | 'X',
    scCtrl | 'V', scCtrl | 'F', scCtrl | 'B', scCtrl | 'I', scCtrl | 'U', scCtrl | 'G'};

class TIETextControl : public TCustomControl {
 public:
  explicit TIETextControl(TComponent* AOwner);
  ~TIETextControl() override;

  // The text being edited: the owner hands it over with SetMemo and takes
  // it back with TakeMemo when editing ends (the control is then empty).
  const TIETextMemo& Memo() const { return fMemo; }
  void SetMemo(TIETextMemo Memo);
  TIETextMemo TakeMemo();
  // Starts editing the memo: caret and selection at 0, the text cut at its
  // first 0, indices checked and reference counts recounted, a first record
  // made from Font, Brush and Alignment when the memo has none.
  void Init();
  // Forgets the layout and repaints later.
  void Update() override;
  // Lays the text out on Width x Height units and draws it with its frame
  // into Canvas at (X, Y), scaled by Zoom; updates the layout caches, the
  // caret and the collected lines.
  void LayoutAndDraw(TIECanvas* Canvas, int X, int Y, int Width, int Height);

  // Settings. Font (the inherited one), Brush and Alignment make the first
  // record and are used for every character with SingleFormat.
  TBrush Brush;
  TPen FramePen;
  TBrush BackgroundBrush;
  // Not owned; shown under a non-solid background brush.
  TBitmap* BackgroundPicture = nullptr;
  bool InsertMode = true;
  bool NoColor = false;
  bool CollectLines = false;
  bool AutoGrow = false;
  TNotifyEvent OnCaretMove;

  // Margins in percent of the layout size: each within [0, 99] and each
  // pair (left and right, top and bottom) at most 99.
  double MarginLeft() const { return fMargins[0]; }
  double MarginTop() const { return fMargins[1]; }
  double MarginRight() const { return fMargins[2]; }
  double MarginBottom() const { return fMargins[3]; }
  void SetMargins(double Left, double Top, double Right, double Bottom);
  int Alignment() const { return fAlignment; }
  void SetAlignment(int v);
  double Zoom() const { return fZoom; }
  // Values that are not finite or outside [0.01, 100] are ignored.
  void SetZoom(double v);
  // Extra pixels between lines, within [-kIEMaxLineSpacing, kIEMaxLineSpacing].
  int LineSpacing() const { return fLineSpacing; }
  void SetLineSpacing(int v);
  int FixedLineHeight() const { return fFixedLineHeight; }
  void SetFixedLineHeight(int v);
  bool SingleFormat() const { return fSingleFormat; }
  void SetSingleFormat(bool v);
  // The lines drawn by the last layout (with CollectLines).
  const std::string& CollectedText() const { return fCollected; }

  // State.
  int TextLength() const { return static_cast<int>(fMemo.Text.size()); }
  int CaretIndex() const { return fCaret; }
  void SetCaretIndex(int i);
  int SelStart() const { return fSelStart; }
  int SelEnd() const { return fSelEnd; }
  bool HasSelection() const { return fSelEnd > fSelStart; }
  // Ordered and clamped; the caret goes to the end.
  void SetSelection(int Start, int End);
  TPoint CaretPos() const { return fCaretPos; }
  int CaretHeight() const { return fCaretHeight; }
  const TIECharInfo& CurrentRecord() const { return fCurrent; }
  // Position of a character as the last layout left it (-1: not laid out).
  int CharX(int i) const;
  int CharY(int i) const;

  // Editing at the caret and on the selection.
  void InsertChar(char c);
  void DeleteChar(int i);
  void DeleteSelection();
  void SetSelFont(const TFont& f);
  void SetSelBackColor(TColor c);
  void ToggleSelStyle(TFontStyle bit);
  void GrowSelFont();
  void ShrinkSelFont();
  // The paragraph of the caret.
  void SetParagraphAlignment(int a);
  // False (and nothing changes) when there is nothing to copy or paste or
  // the clipboard cannot be opened; cut deletes only what it copied.
  bool CopyToClipboard();
  bool CutToClipboard();
  bool PasteFromClipboard();

  // Font heights one pixel further from (grow) or nearer to (shrink) 0,
  // never 0.
  static int GrowHeight(int h);
  static int ShrinkHeight(int h);

 protected:
  void WndProc(TMessage& Message) override;
  void Paint() override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;

 private:
  struct TCharLayout {
    std::uint16_t Height = 0;
    std::uint16_t Width = 0;
    std::uint8_t Leading = 0;
    std::uint8_t Descent = 0;
    std::int32_t X = -1;
    std::int32_t Y = -1;
  };

  // Records.
  void AssignRecord(int i, const TIECharInfo& r);
  void ReleaseRecord(int i);
  const TIECharInfo& RecordOf(int i) const;
  void SetCurrentFromCaret();
  template <class F>
  void ChangeSelRecords(F change);
  // Characters [from, to) changed: the layout is made again from there.
  void Dirty(int from, int to);
  // Lays the text out again at the next paint, measures kept.
  void Relayout();
  // Inserts characters at the caret, each with its record (or the current
  // one); false when the text would grow past its cap.
  bool InsertRun(const std::string& chars, const std::vector<TIECharInfo>* records);

  // Layout.
  const TIECharInfo& RecordFor(int i) const { return fSingleFormat ? fSingleRecord : RecordOf(i); }
  void SetCharFont(TIECanvas* C, const TIECharInfo& r);
  void Measure(TIECanvas* C, int i);
  void LayoutOffscreen();
  void EnsureLayout();
  struct TPass;
  // What every pass starts from: the single record, the colours that stand
  // with NoColor, and measures still made with the fonts that stand.
  void BeginPass();
  // Sets the pen, brush and font colour of the frame; draws it with draw.
  void DrawFrame(TPass& p, int Width, int Height, bool draw);
  // Lays the lines out from fromLine on (see the definition for resync).
  void LayOut(TPass& p, std::size_t fromLine, bool resync);
  // LayoutAndDraw drawing only the characters that can reach Band (client
  // pixels of the canvas; an empty band lays out and draws nothing, nullptr
  // draws everything).
  void LayOutAll(TIECanvas* C, int X, int Y, int Width, int Height, const TRect* Band);
  // The offscreen layout again from the first changed character (or the
  // caret's line) on, drawing nothing; a full layout when none is kept.
  void LayOutChanged(TIECanvas* C, int Width, int Height);
  // Draws the laid-out lines that can reach Band, with the frame.
  void DrawLines(TIECanvas* C, int Width, int Height, const TRect& Band);
  // The settings the offscreen pixels depend on, as bytes to compare.
  std::string PaintKey() const;
  // The rows of the offscreen bitmap that the last layout changed against
  // what it shows (empty: none).
  TRect ChangedRows() const;
  // Records the lines, text and selection as what the bitmap shows.
  void RememberDrawn();

  // Keys and mouse.
  int WordLeft(int p) const;
  int WordRight(int p) const;
  void MoveCaret(int to, TShiftState Shift, int old);
  int IndexAt(int X, int Y) const;
  void SelectWord();
  // Selects from where the left button was last pressed to p.
  void SelectFromPress(int p);
  void ShowTextCaret();

  TIETextMemo fMemo;
  TIECharInfo fCurrent;
  std::vector<TCharLayout> fLayout = std::vector<TCharLayout>(1);
  bool fLayoutValid = false;
  int fCaret = 0;
  int fSelStart = 0;
  int fSelEnd = 0;
  int fPressIndex = 0;
  TPoint fCaretPos;
  int fCaretHeight = 0;
  double fMargins[4] = {0, 0, 0, 0};
  int fAlignment = 0;
  double fZoom = 1.0;
  int fFixedLineHeight = 0;
  int fLineSpacing = 0;
  bool fSingleFormat = false;
  std::string fCollected;
  TBitmap fOffscreen;
  // What a layout draws with: the record of every character with
  // SingleFormat, and the colours that stand with NoColor.
  TIECharInfo fSingleRecord;
  // A line as the last layout drew it: its characters [Start, End), what its
  // pixels depend on besides them, and the rows its characters can touch;
  // and what a layout from it on starts with: its top, the metrics carried
  // in from the line before, and (Seen) the last character whose change can
  // change it.
  struct TLineDrawn {
    int Start = 0, End = 0, Seen = 0;
    std::int64_t Baseline = 0, Offset = 0;
    double Scale = 1.0;
    std::int64_t ReachTop = 0, ReachBottom = 0;
    std::int64_t Top = 0;
    int Lh = 0, Lil = 0, Ld = 0;
    int InH = 0, InIL = 0, InD = 0;
  };
  std::vector<TLineDrawn> fLines;
  // fLines and the positions are the offscreen layout's, a base for the
  // next one: the characters changed since are [fDirtyFrom, fDirtyTo) and
  // the text grew by fDirtyDelta.
  bool fLinesKept = false;
  int fDirtyFrom = std::numeric_limits<int>::max(), fDirtyTo = 0, fDirtyDelta = 0;
  // The character whose position entry holds the caret, and what it held.
  int fCaretEntry = -1;
  std::int32_t fCaretEntryX = -1, fCaretEntryY = -1;
  // What the offscreen bitmap shows: it is drawn again only where a line
  // changed since.
  bool fOffscreenValid = false;
  std::string fDrawnKey;
  std::vector<TLineDrawn> fDrawnLines;
  std::string fDrawnText;
  std::vector<std::int32_t> fDrawnIndices;
  int fDrawnSelStart = 0, fDrawnSelEnd = 0;
  // The fonts the cached measures were made with.
  TFontCharset fMeasuredCharset = DEFAULT_CHARSET;
  TIECharInfo fMeasuredSingle;
  TColor fBaseFontColor = 0;
  TColor fBaseBrushColor = 0;
};

// The single-line editor: a TEdit that swallows Tab and asks for the
// navigation keys as the text control does.
class TIEEdit : public TEdit {
 public:
  using TEdit::TEdit;

 protected:
  void WndProc(TMessage& Message) override;
  void KeyPress(char& Key) override;
};

}  // namespace redozir
#pragma GCC visibility pop
