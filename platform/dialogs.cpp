#include "platform/dialogs.h"

#include <algorithm>
#include <charconv>

#include "platform/application.h"
#include "platform/stdctrls.h"
#include "platform/surface_fill.h"

namespace redozir {

std::function<bool(TCommonDialog*)> TCommonDialog::Answerer;

bool TCommonDialog::Execute() {
  if (OnShow) OnShow(this);
  bool ok = Answerer ? Answerer(this) : false;
  if (OnClose) OnClose(this);
  return ok;
}

bool TColorDialog::Execute() {
  if (Answerer || !Application->BackEnd()->HasDisplay()) return TCommonDialog::Execute();
  if (OnShow) OnShow(this);
  bool ok = false;
  TColorPickerForm picker(nullptr);
  picker.SetColor(Color);
  ok = picker.ShowModal() == mrOk;
  if (ok) Color = picker.Color();
  if (OnClose) OnClose(this);
  return ok;
}

namespace {

constexpr int kMargin = 8;
constexpr int kSideX = kMargin + TColorPickerForm::kColumns * TColorPickerForm::kCellWidth + 16;

// The basic colours, RRGGBB, row by row: light, full, dark and darker tints
// round the hue circle, then the greys.
constexpr std::uint32_t kBasicColors[TColorPickerForm::kColumns * TColorPickerForm::kRows] = {
    0xFF8080, 0xFFFF80, 0x80FF80, 0x00FF80, 0x80FFFF, 0x0080FF, 0xFF80C0, 0xFF80FF, 0xFF0000, 0xFFFF00,
    0x80FF00, 0x00FF40, 0x00FFFF, 0x0080C0, 0x8080C0, 0xFF00FF, 0x804040, 0xFF8040, 0x00FF00, 0x008080,
    0x004080, 0x8080FF, 0x800040, 0xFF0080, 0x800000, 0xFF8000, 0x008000, 0x008040, 0x0000FF, 0x0000A0,
    0x800080, 0x8000FF, 0x400000, 0x804000, 0x004000, 0x004040, 0x000080, 0x000040, 0x400040, 0x400080,
    0x000000, 0x808000, 0x808040, 0x808080, 0x408080, 0xC0C0C0, 0x404040, 0xFFFFFF,
};

int Channel(TColor c, int i) { return static_cast<int>((c >> (8 * i)) & 0xFF); }

}  // namespace

TColorPickerForm::TColorPickerForm(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Color");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetBounds(0, 0, kSideX + 84 + kMargin, kMargin + kRows * kCellHeight + 50);
  const char* names[3] = {"&Red:", "&Green:", "&Blue:"};
  for (int i = 0; i < 3; ++i) {
    auto* label = new TLabel(this);
    label->SetParent(this);
    label->SetBounds(kSideX, 52 + i * 24, 40, 13);
    label->SetCaption(names[i]);
    auto* field = new TEdit(this);
    field->SetParent(this);
    field->SetBounds(kSideX + 44, 48 + i * 24, 40, 21);
    field->MaxLength = 3;
    field->OnChange = [this](TObject*) { FieldChanged(); };
    fields_[i] = field;
  }
  const int buttons = kMargin + kRows * kCellHeight + 12;
  ok_ = new TButton(this);
  ok_->SetParent(this);
  ok_->SetBounds(kMargin, buttons, 75, 25);
  ok_->SetCaption("OK");
  ok_->SetDefault(true);
  ok_->SetModalResult(mrOk);
  cancel_ = new TButton(this);
  cancel_->SetParent(this);
  cancel_->SetBounds(kMargin + 83, buttons, 75, 25);
  cancel_->SetCaption("Cancel");
  cancel_->SetCancel(true);
  cancel_->SetModalResult(mrCancel);
  SetColor(clBlack);
}

TColor TColorPickerForm::BasicColor(int Index) {
  std::uint32_t c = kBasicColors[std::clamp(Index, 0, kColumns * kRows - 1)];
  return RGB(static_cast<int>(c >> 16), static_cast<int>((c >> 8) & 0xFF), static_cast<int>(c & 0xFF));
}

void TColorPickerForm::SetColor(TColor Value) {
  color_ = ColorToRGB(Value) & 0xFFFFFF;
  filling_ = true;
  for (int i = 0; i < 3; ++i) fields_[i]->SetText(std::to_string(Channel(color_, i)));
  filling_ = false;
  Invalidate();
}

void TColorPickerForm::FieldChanged() {
  if (filling_) return;
  int v[3];
  for (int i = 0; i < 3; ++i) {
    const std::string& t = fields_[i]->Text();
    int n = 0;
    auto [end, err] = std::from_chars(t.data(), t.data() + t.size(), n);
    v[i] = err == std::errc() && end == t.data() + t.size() ? std::clamp(n, 0, 255) : 0;
  }
  color_ = RGB(v[0], v[1], v[2]);
  Invalidate();
}

int TColorPickerForm::CellAt(int X, int Y) const {
  if (X < kMargin || Y < kMargin) return -1;
  int col = (X - kMargin) / kCellWidth, row = (Y - kMargin) / kCellHeight;
  return col < kColumns && row < kRows ? row * kColumns + col : -1;
}

void TColorPickerForm::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (int cell = CellAt(X, Y); cell >= 0) SetColor(BasicColor(cell));
  }
  TForm::MouseDown(Button, Shift, X, Y);
}

void TColorPickerForm::Paint() {
  TForm::Paint();
  TControlCanvas* c = Canvas();
  TRect clip = c->DeviceClip();
  TPoint o = c->Origin();
  for (int i = 0; i < kColumns * kRows; ++i) {
    TRect r = Bounds(o.X + kMargin + (i % kColumns) * kCellWidth + 2,
                     o.Y + kMargin + (i / kColumns) * kCellHeight + 2, kCellWidth - 4, kCellHeight - 4);
    FillSurfaceRect(c->Bitmap(), r, BasicColor(i), &clip);
    FrameSurfaceRect(c->Bitmap(), r, clBtnShadow, clBtnHighlight, &clip);
  }
  TRect s = Bounds(o.X + kSideX, o.Y + kMargin, 84, 36);
  FillSurfaceRect(c->Bitmap(), s, color_, &clip);
  FrameSurfaceRect(c->Bitmap(), s, clBtnShadow, clBtnHighlight, &clip);
}

}  // namespace redozir
