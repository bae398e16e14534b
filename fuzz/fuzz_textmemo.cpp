// Formatted text pasted from the clipboard (the text control's own format,
// with plain text beside it when the first byte is odd), then laid out.
#include <cstddef>
#include <cstdint>

#include "imaging/view/ie_textcontrol.h"
#include "platform/clipboard.h"
#include "platform/font.h"

using namespace redozir;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TFixedTextMeasurer measurer(7, 8, 2, 1);
  SetTextMeasurer(&measurer);
  ResetClipboard();
  OpenClipboard(0);
  SetClipboardBytes(IETextMemoClipboardFormat(), data, size);
  if (size > 0 && (data[0] & 1) != 0) SetClipboardBytes(CF_TEXT, data, size);
  CloseClipboard();

  TIETextControl ctl(nullptr);
  TIETextMemo m;
  m.Text = "one two\nthree";
  ctl.SetMemo(m);
  ctl.SetSelection(2, 6);
  ctl.PasteFromClipboard();
  TBitmap bmp(64, 64, pf24bit);
  TIECanvas c(bmp.Canvas(), false, false);
  ctl.LayoutAndDraw(&c, 0, 0, 60, 60);

  const TIETextMemo& r = ctl.Memo();
  if (r.Indices.size() != r.Text.size()) __builtin_trap();
  std::size_t used = 0;
  for (const TIECharInfo& rec : r.Records) used += static_cast<std::size_t>(rec.RefCount);
  for (std::int32_t idx : r.Indices)
    if (idx < 0 || static_cast<std::size_t>(idx) >= r.Records.size()) __builtin_trap();
  if (used != r.Text.size()) __builtin_trap();
  SetTextMeasurer(nullptr);
  ResetClipboard();
  return 0;
}
