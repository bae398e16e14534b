// A user and a program at once over a text control and a combo box on a
// shown headless form: each byte pair is a key, a typed character, a click,
// a drag, the wheel, a resize, a change of the combo box's list, or a change
// of what the combo box's own events do to that list. The form has a pop-up
// menu whose items change the controls, the combo box can be dragged onto
// the text control, and both are anchored to the form's sides. Everything is
// painted as it goes; the controls' state must stay consistent throughout.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>

#include "imaging/view/ie_textcontrol.h"
#include "platform/application.h"
#include "platform/clipboard.h"
#include "platform/font.h"
#include "platform/forms.h"
#include "platform/inject.h"
#include "platform/keys.h"
#include "platform/menus.h"
#include "platform/stdctrls.h"

using namespace redozir;

namespace {

// Enough steps to run a long text below the control, few enough for speed.
constexpr std::size_t kMaxSteps = 1500;

struct TReader {
  const std::uint8_t* p;
  std::size_t n;
  std::uint8_t Next() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
};

void Check(bool ok, int line = __builtin_LINE()) {
  if (ok) return;
  std::fprintf(stderr, "fuzz_controls: the check at line %d failed\n", line);
  __builtin_trap();
}

// What an event of the combo box does to its list.
void ChangeList(TComboBox* cb, std::uint8_t what) {
  TComboItems& l = cb->Items;
  const std::size_t at = l.empty() ? 0 : what % l.size();
  switch (what % 8) {
    case 0: break;
    case 1: l.clear(); break;
    case 2: l.push_back("item " + std::to_string(what)); break;
    case 3:
      if (!l.empty()) l.erase(l.begin() + static_cast<std::ptrdiff_t>(at));
      break;
    case 4: l.insert(l.begin() + static_cast<std::ptrdiff_t>(at), std::string(what % 5, 'x')); break;
    case 5: l = {"one", "two", "three"}; break;
    case 6:
      if (!l.empty()) l.Set(at, "set");
      break;
    default:
      for (int i = 0; i < what % 23; ++i) l.push_back(std::to_string(i));
      break;
  }
}

void CheckState(TIETextControl* tc, TComboBox* cb) {
  const TIETextMemo& m = tc->Memo();
  Check(m.Indices.size() == m.Text.size());
  for (std::int32_t idx : m.Indices) Check(idx >= 0 && static_cast<std::size_t>(idx) < m.Records.size());
  Check(0 <= tc->SelStart() && tc->SelStart() <= tc->SelEnd() && tc->SelEnd() <= tc->TextLength());
  Check(0 <= tc->CaretIndex() && tc->CaretIndex() <= tc->TextLength());
  const int n = static_cast<int>(cb->Items.size());
  Check(-1 <= cb->ItemIndex() && cb->ItemIndex() < n);
  Check(-1 <= cb->DropDownIndex() && cb->DropDownIndex() < n);
  Check(cb->Text() == (cb->ItemIndex() < 0 ? "" : cb->Items[static_cast<std::size_t>(cb->ItemIndex())]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TFixedTextMeasurer measurer(7, 8, 2, 1);
  SetTextMeasurer(&measurer);
  ResetClipboard();
  {
    THeadlessSession session;
    auto* form = new TForm(nullptr);
    form->SetBounds(0, 0, 320, 240);
    auto* tc = new TIETextControl(form);
    tc->SetParent(form);
    tc->SetBounds(5, 5, 120, 60);
    auto* cb = new TComboBox(form);
    cb->SetParent(form);
    cb->SetBounds(150, 5, 100, 21);
    cb->Items = {"a", "b", "c", "d"};
    form->Show();
    tc->SetFocus();
    std::uint8_t onChange = 0, onDropDown = 0, onCloseUp = 0, onClick = 0;
    cb->OnChange = [&](TObject*) { ChangeList(cb, onChange); };
    cb->OnDropDown = [&](TObject*) { ChangeList(cb, onDropDown); };
    cb->OnCloseUp = [&](TObject*) { ChangeList(cb, onCloseUp); };
    cb->OnClick = [&](TObject*) { ChangeList(cb, onClick); };
    // The form's menu, which both controls show as their own.
    auto* menu = new TPopupMenu(form);
    menu->Add("&Clear", [&](TObject*) { cb->Items.clear(); });
    menu->Add("-");
    menu->Add("&Refill", [&](TObject*) { ChangeList(cb, 7); });
    menu->Add("&Text", [&](TObject*) { tc->SetSelection(0, tc->TextLength()); })->Enabled = false;
    menu->OnPopup = [&](TObject*) { menu->Items(3)->Enabled = tc->TextLength() > 0; };
    form->SetPopupMenu(menu);
    // The combo box dropped on the text control types its text there.
    tc->OnDragOver = [&](TObject*, TObject* source, int, int, TDragState, bool& accept) {
      accept = source == cb;
    };
    tc->OnDragDrop = [&](TObject*, TObject*, int, int) { Inject::Text(cb->Text()); };
    tc->SetAnchors(akLeft | akTop | akRight | akBottom);
    cb->SetAnchors(akTop | akRight);

    static constexpr WORD kKeys[] = {VK_LEFT,   VK_RIGHT,  VK_UP,     VK_DOWN, VK_HOME,  VK_END,  VK_BACK,
                                     VK_DELETE, VK_RETURN, VK_ESCAPE, VK_F4,   VK_PRIOR, VK_NEXT, VK_TAB,
                                     'C',       'X',       'V',       'B',     VK_APPS,  VK_F10,  'R'};
    static constexpr TShiftState kShifts[] = {0, ssShift, ssCtrl, ssAlt, ssShift | ssCtrl};
    static constexpr char kTyped[] = "word w\nW .,;x";
    TReader in{data, size};
    for (std::size_t step = 0; step < kMaxSteps && in.n > 0; ++step) {
      const std::uint8_t op = in.Next(), arg = in.Next();
      // The open list, or else one of the two controls, receives the mouse.
      TControl* target = op & 0x80 ? static_cast<TControl*>(cb) : tc;
      if (TForm* list = cb->DropDownWindow(); list && (op & 0x40)) target = list;
      const int x = arg % std::max(target->Width(), 1), y = (arg * 7) % std::max(target->Height(), 1);
      switch (op % 16) {
        case 0:
        case 1:
        case 2: Inject::Text(std::string(1, kTyped[arg % (sizeof kTyped - 1)])); break;
        case 3:
        case 4: Inject::Key(kKeys[arg % std::size(kKeys)], kShifts[(arg / 32) % std::size(kShifts)]); break;
        case 5: Inject::Click(target, x, y, 0, arg & 0x20 ? mbRight : mbLeft); break;
        case 6:
          Inject::MouseDown(target, mbLeft, x, y);
          Inject::MouseMove(target, y, x);
          Inject::MouseUp(target, mbLeft, y, x);
          break;
        case 7: Inject::Wheel(target, x, y, arg & 1 ? WHEEL_DELTA : -WHEEL_DELTA); break;
        case 8: (arg & 1 ? static_cast<TControl*>(cb) : tc)->SetFocus(); break;
        case 9: ChangeList(cb, arg); break;
        case 10:
          switch (arg % 4) {
            case 0: onChange = arg / 4; break;
            case 1: onDropDown = arg / 4; break;
            case 2: onCloseUp = arg / 4; break;
            default: onClick = arg / 4; break;
          }
          break;
        case 11: cb->SetItemIndex(arg % 12 - 1); break;
        case 12: cb->SetDroppedDown(arg & 1); break;
        case 13:
          if (arg & 1)
            tc->SetSelection(arg / 2 % (tc->TextLength() + 1), arg * 3 % (tc->TextLength() + 1));
          else
            tc->SetCaretIndex(arg / 2 % (tc->TextLength() + 1));
          break;
        case 14:
          switch (arg % 4) {
            case 0: tc->SetBounds(5, 5, 20 + arg, 10 + arg / 2); break;
            case 1: cb->SetBounds(150, 5 + arg / 2, 30 + arg, 21); break;
            case 2: form->SetBounds(0, 0, 100 + arg * 2, 60 + arg); break;
            default:
              cb->SetDragMode(arg & 4 ? dmAutomatic : dmManual);
              (arg & 8 ? static_cast<TControl*>(tc) : cb)->SetTabOrder(arg / 16 % 3);
              if (arg & 16) cb->BeginDrag(arg & 32);
              break;
          }
          break;
        default:
          switch (arg % 4) {
            case 0: tc->SetParagraphAlignment(arg / 4 % 4); break;
            case 1: tc->GrowSelFont(); break;
            case 2: tc->SetZoom(0.5 + (arg / 4) / 16.0); break;
            default: tc->SetLineSpacing(arg / 4 % 7 - 2); break;
          }
          break;
      }
      Application->ProcessMessages();
      CheckState(tc, cb);
    }
    if (cb->Dragging()) cb->EndDrag(false);
    delete form;
  }
  SetTextMeasurer(nullptr);
  ResetClipboard();
  return 0;
}
