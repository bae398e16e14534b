// Shows a form with controls in a real window (SDL2): a control of its own
// paints a square where it was last clicked or where the colour swatch was
// dropped, in the colour a drop-down list or the colour dialog picks; the
// wheel scrolls it along its scroll bar, its hint shows when the pointer
// rests on it, Esc closes the window. Beside it the library's text control
// takes formatted text. Tab moves between the controls, which follow the
// window's size. Run it under X11 (or Xvfb).
#include <cstdio>
#include <cstring>

#include "imaging/view/ie_textcontrol.h"
#include "platform/application.h"
#include "platform/buttons.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/menus.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/stdctrls.h"

using namespace redozir;

namespace {

class TClickPad : public TControl {
 public:
  explicit TClickPad(TComponent* owner) : TControl(owner) {
    SetBorderStyle(bsSingle);
    SetCursor(crCross);
  }
  TColor Mark = clNavy;
  void MarkAt(int x, int y) {
    mark_ = {x, y + offset_};
    Invalidate();
  }

 protected:
  void Paint() override {
    TControlCanvas* c = Canvas();
    c->Brush.Color = clWhite;
    c->FillRect(ClientRect());
    c->Brush.Color = Mark;
    int y = mark_.Y - offset_;
    c->FillRect(Rect(mark_.X - 5, y - 5, mark_.X + 5, y + 5));
  }
  void MouseDown(TMouseButton b, TShiftState s, int x, int y) override {
    SetFocus();  // back from the text control, Esc quits again
    if (b == mbLeft) MarkAt(x, y);
    TControl::MouseDown(b, s, x, y);
  }
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_VSCROLL) {
      int pos = offset_;
      switch (LOWORD(m.WParam)) {
        case SB_LINEUP: pos -= 10; break;
        case SB_LINEDOWN: pos += 10; break;
        case SB_PAGEUP: pos -= ClientHeight(); break;
        case SB_PAGEDOWN: pos += ClientHeight(); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: pos = HIWORD(m.WParam); break;
        default: break;
      }
      ScrollTo(pos);
      return;
    }
    TControl::WndProc(m);
  }
  bool DoMouseWheel(TShiftState, int delta, TPoint) override {
    ScrollTo(offset_ - delta / 4);
    return true;
  }

 private:
  void ScrollTo(int pos) {
    offset_ = SetScrollPos(Handle(), SB_VERT, pos, true);
    Invalidate();
  }
  TPoint mark_{40, 40};
  int offset_ = 0;
};

const char* const kUsage =
    "usage: redozir-control-window [--help]\n"
    "\n"
    "Shows controls in a window on the display (X11, or Xvfb): a click on the\n"
    "pad, or the swatch dragged onto it, marks the spot in the colour the list or\n"
    "the Colour button picks, the wheel and the scroll bar move the pad's\n"
    "content, a right click or the menu key opens its menu, Tab moves between\n"
    "the controls, Esc on the pad quits. The text control on the right takes\n"
    "typing, selections with the mouse or Shift,\n"
    "and Ctrl+B, I, U (bold, italic, underline), Ctrl+L, E, R, J (alignment),\n"
    "Ctrl+F (font), Ctrl+G (background), Ctrl+C, X, V. Without a display it says\n"
    "so and exits with status 1.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    const bool help = argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"));
    std::fputs(kUsage, help ? stdout : stderr);
    return help ? 0 : 2;
  }
  try {
    TSDLBackEnd display;
    Application->SetBackEnd(&display);
    auto* form = new TForm(nullptr);
    form->SetCaption("Control window");
    form->SetPosition(poScreenCenter);
    form->SetBounds(0, 0, 560, 272);
    form->OnCreate = [](TObject*) { std::puts("form created"); };
    auto* pad = new TClickPad(form);
    pad->SetParent(form);
    pad->Hint = "A click marks the spot; the wheel scrolls";
    pad->SetShowHint(true);
    pad->TabStop = true;
    pad->SetBounds(10, 42, 300, 220);
    pad->SetAnchors(akLeft | akTop | akRight | akBottom);
    static const struct {
      const char* name;
      TColor color;
    } marks[] = {
        {"Navy", clNavy}, {"Red", clRed}, {"Green", clGreen}, {"Purple", clPurple}, {"Teal", clTeal}};
    auto* list = new TComboBox(form);
    list->SetParent(form);
    list->SetBounds(10, 10, 140, 21);
    for (const auto& m : marks) list->Items.push_back(m.name);
    list->SetItemIndex(0);
    // The swatch shows the colour and drops it where the pad takes it.
    auto* swatch = new TControl(form);
    swatch->SetParent(form);
    swatch->SetBounds(260, 9, 50, 23);
    swatch->SetBorderStyle(bsSingle);
    swatch->SetColor(pad->Mark);
    swatch->SetDragMode(dmAutomatic);
    pad->OnDragOver = [swatch](TObject*, TObject* source, int, int, TDragState, bool& accept) {
      accept = source == swatch;
    };
    pad->OnDragDrop = [pad](TObject*, TObject*, int x, int y) { pad->MarkAt(x, y); };
    list->OnChange = [list, pad, swatch](TObject*) {
      pad->Mark = marks[list->ItemIndex()].color;
      swatch->SetColor(pad->Mark);
      pad->Invalidate();
    };
    auto* colour = new TButton(form);
    colour->SetParent(form);
    colour->SetBounds(160, 9, 90, 23);
    colour->SetCaption("Colour...");
    colour->OnClick = [pad, swatch](TObject*) {
      TColorDialog dialog(nullptr);
      dialog.Color = pad->Mark;
      if (!dialog.Execute()) return;
      pad->Mark = dialog.Color;
      swatch->SetColor(dialog.Color);
      pad->Invalidate();
    };
    // The pad's context menu (a right click, or the menu key): the colours,
    // the current one ticked, the colour dialog, and quitting.
    auto* menu = new TPopupMenu(form);
    for (const auto& m : marks)
      menu->Add(std::string("&") + m.name, [list, &m](TObject*) {
        list->SetItemIndex(static_cast<int>(&m - marks));
        list->OnChange(list);
      });
    menu->Add("-");
    menu->Add("C&olour...", [colour](TObject*) { colour->OnClick(colour); });
    menu->Add("&Quit", [form](TObject*) { form->Close(); });
    menu->OnPopup = [menu, pad](TObject*) {
      for (int i = 0; i < 5; ++i) menu->Items(i)->Checked = marks[i].color == pad->Mark;
    };
    pad->SetPopupMenu(menu);
    auto* text = new TIETextControl(form);
    text->SetParent(form);
    text->SetMemo(TIETextMemo{"Type here.", {}, {}});
    text->SetBounds(320, 42, 230, 220);
    text->SetAnchors(akTop | akRight | akBottom);
    form->Show();
    TScrollInfo si;
    si.fMask = SIF_ALL;
    si.nMax = 999;
    si.nPage = 200;
    SetScrollInfo(pad->Handle(), SB_VERT, si, true);
    pad->OnKeyDown = [form](TObject*, WORD& key, TShiftState) {
      if (key == VK_ESCAPE) form->Close();
    };
    pad->SetFocus();
    Application->SetMainForm(form);
    Application->Run();
    delete form;
    Application->SetBackEnd(nullptr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "redozir-control-window: %s\n", e.what());
    return 1;
  }
  return 0;
}
