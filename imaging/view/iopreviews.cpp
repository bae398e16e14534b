#include "imaging/view/iopreviews.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "imaging/core/ie_pixel.h"
#include "imaging/core/ie_startup.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/ieproc.h"
#include "imaging/io/ie_fileformats.h"
#include "imaging/view/iepalettedialog.h"
#include "imaging/view/redozir_view.h"
#include "platform/application.h"
#include "platform/screen.h"

namespace redozir {

// ---- the lists and their mappings

int IETIFFCompressionToIndex(int Compression, bool Lzw) {
  switch (Compression) {
    case ioTIFF_UNCOMPRESSED:
    case ioTIFF_CCITT1D:
    case ioTIFF_G3FAX1D:
    case ioTIFF_G3FAX2D:
    case ioTIFF_G4FAX: return Compression;
    // Without the compressor LZW cannot be written: it shows as PackBits.
    case ioTIFF_LZW: return Lzw ? 5 : 6;
    case ioTIFF_JPEG: return Lzw ? 6 : 5;
    case ioTIFF_PACKBITS: return Lzw ? 7 : 6;
    case ioTIFF_ZIP: return Lzw ? 8 : 7;
    default: return 0;
  }
}

int IETIFFIndexToCompression(int Index, bool Lzw) {
  static constexpr int withLzw[] = {0, 1, 2, 3, 4, 5, 7, 8, 9};
  static constexpr int withoutLzw[] = {0, 1, 2, 3, 4, 7, 8, 9};
  if (Lzw) return Index >= 0 && Index < 9 ? withLzw[Index] : 0;
  return Index >= 0 && Index < 8 ? withoutLzw[Index] : 0;
}

namespace {

struct TDepth {
  int Bits, Samples;
};
constexpr TDepth kTIFFColors[] = {{1, 1}, {4, 1}, {8, 1}, {16, 1}, {8, 3}};
constexpr TDepth kTIFFSimpleColors[] = {{1, 1}, {4, 1}, {8, 1}, {8, 3}};
constexpr TDepth kBMPColors[] = {{1, 1}, {4, 1}, {8, 1}, {8, 3}, {8, 3}};
constexpr TDepth kPCXColors[] = {{1, 1}, {4, 1}, {8, 1}, {8, 3}};
constexpr TDepth kPNGColors[] = {{1, 1}, {8, 1}, {8, 3}};

// Bits and samples of a colour index; an index outside the list changes nothing.
template <size_t N>
void DepthOf(const TDepth (&list)[N], int index, int& bits, int& samples) {
  if (index < 0 || index >= static_cast<int>(N)) return;
  bits = list[index].Bits;
  samples = list[index].Samples;
}

// The TIFF colour index of a depth (Full: with "65536"), -1 when none fits.
int TIFFColorIndex(int bits, int samples, bool full) {
  if (samples == 1) {
    if (bits == 1) return 0;
    if (bits >= 2 && bits <= 4) return 1;
    if (bits >= 5 && bits <= 8) return 2;
    if (bits == 16) return full ? 3 : -1;
  }
  if (samples == 3 && bits == 8) return full ? 4 : 3;
  return -1;
}

// The TIFF colour list corrected by the photometric interpretation.
int TIFFColorIndexFor(int photometric, int bits, int samples, bool full) {
  int i = TIFFColorIndex(bits, samples, full);
  int c16m = full ? 4 : 3, c256 = 2;
  if (photometric >= ioTIFF_CMYK && photometric <= ioTIFF_CIELAB) return c16m;
  if (photometric <= ioTIFF_BLACKISZERO) return bits == 1 ? 0 : c256;
  if (i == 0) return c16m;
  return i;
}

int BMPColorIndex(int bits, int samples, int previous) {
  if (samples == 1 && bits == 1) return 0;
  if (samples == 1 && bits == 4) return 1;
  if (samples == 1 && bits == 8) return 2;
  if (samples == 3 && (bits == 5 || bits == 8)) return 3;
  return previous;
}

int PCXColorIndex(int bits, int samples, int previous) {
  if (samples == 3) return 3;
  return std::min(BMPColorIndex(bits, samples, previous), 3);
}

int PNGColorIndex(int bits, int samples) {
  if (samples != 1) return 2;
  return bits == 1 ? 0 : 1;
}

// A whole number typed into an edit, or Default when the text is none.
int ReadInt(const TEdit* e, int Default) {
  const std::string& t = e->Text();
  try {
    size_t used = 0;
    long long v = std::stoll(t, &used);
    if (used != t.size()) return Default;
    return static_cast<int>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
  } catch (const std::exception&) {
    return Default;
  }
}

TColor RGBToColor(const TRGB& c) { return RGB(c.r, c.g, c.b); }

constexpr int kJpegSmoothMax = 100;
// The rate's track bar counts thousandths: a rate below one is not stored.
constexpr double kJ2000MinRate = 0.001;

}  // namespace

// ---- construction

TfIOPreviews::TfIOPreviews(TComponent* AOwner) : TForm(AOwner) {
  // The captions come from the dialog texts, which the start-up loads.
  IEInitialize();
  SetCaption("Parameters preview");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetBounds(0, 0, 527, 425);
  Font.Name = "MS Sans Serif";
  Font.Height = -11;
  SetColor(clBtnFace);
  CreateControls();
  // FormCreate
  Activated = false;
  BilevelMode = 1;
  CancelCaption = "&Cancel";
  for (TTrackBar* t : {TrackBar13, TrackBar2, TrackBar1}) t->ThumbLength = 10;
  for (TPanel* p : {Panel3, Panel4, Panel1, Panel5}) p->ParentBackground = false;
  Button4->SetEnabled(false);
  OnActivate = [this](TObject*) { FormActivate(); };
}

TfIOPreviews::~TfIOPreviews() {
  // The views stop reporting before the controls go.
  RedozIr1->OnViewChange = nullptr;
  RedozIr1->SetOnProgress(nullptr);
  RedozIr2->SetOnProgress(nullptr);
}

TLabel* TfIOPreviews::AddLabel(TControl* Parent, int L, int T, int W, int H, const std::string& Text, int Id,
                               TCaptionStyle Style) {
  auto* c = new TLabel(this);
  c->SetParent(Parent);
  c->SetBounds(L, T, W, H);
  c->SetCaption(Text);
  if (Id >= 0) fCaptions.push_back({c, Id, Style});
  return c;
}

TComboBox* TfIOPreviews::AddCombo(TControl* Parent, int L, int T, int W, int H,
                                  std::vector<std::string> Items, const std::function<void()>& Handler) {
  auto* c = new TComboBox(this);
  c->SetParent(Parent);
  c->SetBounds(L, T, W, H);
  c->Items = std::move(Items);
  if (Handler) c->OnChange = [Handler](TObject*) { Handler(); };
  return c;
}

TEdit* TfIOPreviews::AddEdit(TControl* Parent, int L, int T, int W, int H, const std::string& Text,
                             const std::function<void()>& Handler) {
  auto* c = new TEdit(this);
  c->SetParent(Parent);
  c->SetBounds(L, T, W, H);
  c->SetText(Text);
  if (Handler) c->OnChange = [Handler](TObject*) { Handler(); };
  return c;
}

TCheckBox* TfIOPreviews::AddCheck(TControl* Parent, int L, int T, int W, int H, const std::string& Text,
                                  int Id, TCaptionStyle Style, const std::function<void()>& Handler) {
  auto* c = new TCheckBox(this);
  c->SetParent(Parent);
  c->SetBounds(L, T, W, H);
  c->SetCaption(Text);
  c->Alignment = taLeftJustify;
  if (Id >= 0) fCaptions.push_back({c, Id, Style});
  if (Handler) c->OnClick = [Handler](TObject*) { Handler(); };
  return c;
}

TPanel* TfIOPreviews::AddColorPanel(TControl* Parent, int L, int T, const std::function<void()>& Handler) {
  auto* c = new TPanel(this);
  c->SetParent(Parent);
  c->SetBounds(L, T, 34, 17);
  c->BevelOuter = bvLowered;
  c->OnClick = [Handler](TObject*) { Handler(); };
  return c;
}

TTrackBar* TfIOPreviews::AddTrackBar(TControl* Parent, int Max, int Frequency,
                                     const std::function<void()>& Handler) {
  auto* c = new TTrackBar(this);
  c->SetParent(Parent);
  c->SetBounds(128, 6, 275, 19);
  c->SetMax(Max);
  c->Frequency = Frequency;
  c->OnChange = [Handler](TObject*) { Handler(); };
  return c;
}

TUpDown* TfIOPreviews::AddUpDown(TEdit* Associate, int Max, bool Thousands) {
  auto* c = new TUpDown(this);
  c->Max = Max;
  c->Thousands = Thousands;
  c->SetAssociate(Associate);
  return c;
}

TGroupBox* TfIOPreviews::AddGroupBox(TControl* Parent, int L, int T, int W, int H, const std::string& Text,
                                     int Id) {
  auto* c = new TGroupBox(this);
  c->SetParent(Parent);
  c->SetBounds(L, T, W, H);
  c->SetCaption(Text);
  fCaptions.push_back({c, Id, TCaptionStyle::Spaced});
  return c;
}

TTabSheet* TfIOPreviews::AddPage(const std::string& Caption) {
  auto* p = new TTabSheet(this);
  p->SetCaption(Caption);
  p->SetPageControl(PageControl1);
  return p;
}

void TfIOPreviews::AddSizeLabels(TTabSheet* Page, int CaptionTop, int ValueTop) {
  TSizeLabels s{Page, nullptr, nullptr, nullptr, nullptr};
  s.OriginalCaption = AddLabel(Page, 16, CaptionTop, 59, 13, "Original size:", 43);
  s.Original = AddLabel(Page, 16, ValueTop, 9, 13, "---");
  s.CompressedCaption = AddLabel(Page, 208, CaptionTop, 82, 13, "Compressed size:", 44);
  s.Compressed = AddLabel(Page, 209, ValueTop, 9, 13, "---");
  for (TLabel* l : {s.Original, s.Compressed}) l->SetWidth(180);
  fSizes.push_back(s);
}

TLabel* TfIOPreviews::OriginalSizeLabel(TTabSheet* Page) const {
  for (const TSizeLabels& s : fSizes)
    if (s.Page == Page) return s.Original;
  return nullptr;
}

TLabel* TfIOPreviews::CompressedSizeLabel(TTabSheet* Page) const {
  for (const TSizeLabels& s : fSizes)
    if (s.Page == Page) return s.Compressed;
  return nullptr;
}

void TfIOPreviews::CreateControls() {
  using S = TCaptionStyle;
  Image1 = new TImage(this);
  Image1->SetParent(this);
  Image1->SetAlign(alClient);
  Label1 = AddLabel(this, 5, 1, 37, 13, "Source:", 1);
  Label2 = AddLabel(this, 227, 1, 33, 13, "Result:", 2);
  auto button = [this](int T, const std::string& Text, int Id, TModalResult R) {
    auto* b = new TButton(this);
    b->SetParent(this);
    b->SetBounds(432, T, 87, 23);
    b->SetCaption(Text);
    b->SetModalResult(R);
    fCaptions.push_back({b, Id, S::Plain});
    return b;
  };
  Button1 = button(15, "OK", 3, mrOk);
  Button1->SetDefault(true);
  Button1->OnClick = [this](TObject*) { Button1Click(); };
  Button2 = button(43, "Cancel", 4, mrCancel);
  Button2->SetCancel(true);
  Button3 = button(76, "&Preview", 0, mrNone);
  Button3->OnClick = [this](TObject*) { Button3Click(); };
  Button4 = button(106, "&Apply", 120, mrNone);
  Button4->OnClick = [this](TObject*) { Button4Click(); };

  PageControl1 = new TPageControl(this);
  PageControl1->SetParent(this);
  PageControl1->SetBounds(8, 172, 417, 217);
  PageControl1->HotTrack = true;
  PageControl1->OnChanging = [this](TObject*, bool& Allow) { PageControl1Changing(Allow); };
  PageControl1->OnChange = [this](TObject*) { PageControl1Change(); };

  chkLockPreview =
      AddCheck(this, 12, 398, 365, 17, "Lock Preview", 5, S::Plain, [this] { SpeedButton1Click(); });
  chkLockPreview->Alignment = taRightJustify;
  chkLockPreview->Hint = "Automatically updates your preview with the changes you have selected";

  RedozIr1 = new TRedozIrView(this);
  RedozIr1->SetParent(this);
  RedozIr1->SetBounds(6, 17, 191, 135);
  RedozIr1->SetMouseInteract(IEMouseInteract({miZoom, miScroll}));
  RedozIr1->EnableInteractionHints = true;
  RedozIr1->SetCursor(1782);
  RedozIr1->SetBackground(clWhite);
  RedozIr1->OnViewChange = [this](TObject*, int) { RedozIr1ViewChange(); };
  RedozIr2 = new TRedozIrView(this);
  RedozIr2->SetParent(this);
  RedozIr2->SetBounds(227, 17, 191, 135);
  RedozIr2->SetCursor(1780);
  RedozIr2->SetBackground(clWhite);
  for (TRedozIrView* v : {RedozIr1, RedozIr2})
    v->SetOnProgress([this](TObject*, int Per) { RedozIr1Progress(Per); });
  ProgressBar1 = new TProgressBar(this);
  ProgressBar1->SetParent(this);
  ProgressBar1->SetBounds(6, 157, 412, 10);
  ColorDialog1 = new TColorDialog(this);

  // JPEG
  TabSheetJPEG1 = AddPage("JPEG");
  auto* p = TabSheetJPEG1;
  AddLabel(p, 16, 8, 35, 13, "&Quality:", 38);
  AddSizeLabels(p, 141, 157);
  Edit22 = AddEdit(p, 77, 5, 33, 21, "0", [this] { Edit22Change(); });
  TrackBar13 = AddTrackBar(p, 100, 5, [this] { TrackBar13Change(); });
  auto* g5 = AddGroupBox(p, 8, 43, 388, 84, " Advanced ", 45);
  AddLabel(g5, 8, 20, 63, 13, "&DCT method:", 39);
  AddLabel(g5, 8, 48, 83, 13, "&Smoothing factor:", 40);
  AddLabel(g5, 240, 20, 59, 13, "P&hotometric:", 49);
  auto jpeg = [this] { TrackBar13Change(); };
  CheckBox2 = AddCheck(g5, 238, 42, 121, 17, "&Optimal Huffman", 42, S::Plain, jpeg);
  ComboBox1 = AddCombo(g5, 114, 17, 109, 21, {"ISLOW", "IFAST", "FLOAT"}, jpeg);
  Edit23 = AddEdit(g5, 114, 45, 37, 21, "0", [this] { Edit22Change(); });
  UpDown11 = AddUpDown(Edit23, kJpegSmoothMax, true);
  CheckBox3 = AddCheck(g5, 238, 60, 121, 17, "P&rogressive", 46, S::Plain, jpeg);
  ComboBox13 = AddCombo(g5, 306, 17, 78, 21, {"RGB", "GrayScale", "YCbCr", "CMYK", "YCbCrK"}, jpeg);

  TabSheetJPEG2 = AddPage("JPEG");
  p = TabSheetJPEG2;
  AddLabel(p, 16, 8, 35, 13, "&Quality:", 38);
  AddSizeLabels(p, 61, 77);
  Edit16 = AddEdit(p, 77, 5, 33, 21, "0", [this] { Edit16Change(); });
  TrackBar2 = AddTrackBar(p, 100, 5, [this] { TrackBar2Change(); });

  // TIFF
  TabSheetTIFF1 = AddPage("TIFF");
  p = TabSheetTIFF1;
  AddLabel(p, 15, 8, 63, 13, "&Compression:", 47);
  AddLabel(p, 236, 8, 60, 13, "&Image index:", 48);
  AddLabel(p, 15, 32, 59, 13, "P&hotometric:", 49);
  AddLabel(p, 236, 32, 32, 13, "C&olors:", 58);
  AddSizeLabels(p, 149, 165);
  ComboBox2 = AddCombo(p, 95, 5, 127, 21, {}, [this] { ComboBox2Click(ComboBox2); });
  auto tiff = [this] { ComboBox2Click(nullptr); };
  Edit1 = AddEdit(p, 324, 5, 33, 21, "0", tiff);
  UpDown1 = AddUpDown(Edit1, 1000, false);
  ComboBox3 = AddCombo(
      p, 95, 30, 127, 21,
      {"WHITEISZERO/Gray", "BLACKISZERO/Gray", "RGB", "RGBPALETTE", "TRANSPMASK", "CMYK", "YCBCR", "CIELAB"},
      [this] { ComboBox2Click(ComboBox3); });
  auto* g1 = AddGroupBox(p, 8, 55, 401, 91, " Scanned document info ", 50);
  AddLabel(g1, 8, 67, 99, 13, "H&oriz. Position (inch):", 56);
  AddLabel(g1, 182, 67, 94, 13, "&Vert. Position (inch):", 57);
  AddLabel(g1, 8, 19, 31, 13, "&Name:", 51);
  AddLabel(g1, 182, 19, 56, 13, "&Description:", 52);
  AddLabel(g1, 8, 44, 57, 13, "P&age name:", 53);
  AddLabel(g1, 182, 44, 68, 13, "Page N&umber:", 54);
  AddLabel(g1, 334, 44, 9, 13, "o&f", 55, S::Plain);
  Edit2 = AddEdit(g1, 124, 64, 49, 21, "", tiff);
  Edit3 = AddEdit(g1, 292, 63, 49, 21, "", tiff);
  Edit4 = AddEdit(g1, 68, 16, 105, 21, "", tiff);
  Edit5 = AddEdit(g1, 251, 15, 139, 21, "", tiff);
  Edit6 = AddEdit(g1, 97, 40, 76, 21, "", tiff);
  Edit7 = AddEdit(g1, 292, 40, 33, 21, "", tiff);
  Edit8 = AddEdit(g1, 357, 40, 33, 21, "", tiff);
  ComboBox4 = AddCombo(p, 324, 30, 77, 21, {"B/W", "16", "256", "65536", "16M"},
                       [this] { ComboBox2Click(ComboBox4); });

  TabSheetTIFF2 = AddPage("TIFF");
  p = TabSheetTIFF2;
  AddSizeLabels(p, 61, 77);
  AddLabel(p, 15, 8, 63, 13, "&Compression:", 47);
  AddLabel(p, 15, 34, 32, 13, "C&olors:", 58);
  ComboBox16 = AddCombo(p, 95, 5, 127, 21, {}, [this] { ComboBox16Change(ComboBox16); });
  ComboBox17 =
      AddCombo(p, 95, 32, 77, 21, {"2", "16", "256", "16777216"}, [this] { ComboBox16Change(ComboBox17); });

  // GIF
  const std::vector<std::string> gifColors = {"B/W", "4", "8", "16", "32", "64", "128", "256"};
  TabSheetGIF1 = AddPage("GIF");
  p = TabSheetGIF1;
  AddLabel(p, 216, 8, 60, 13, "&Image index:", 48);
  AddLabel(p, 30, 8, 32, 13, "&Colors:", 58);
  Label34 = AddLabel(p, 216, 32, 86, 13, "T&ransparent color:", 60);
  AddLabel(p, 216, 53, 61, 13, "&Background:", 62);
  AddSizeLabels(p, 150, 166);
  auto gif = [this] { ComboBox5Click(); };
  Edit9 = AddEdit(p, 319, 5, 33, 21, "0", gif);
  UpDown2 = AddUpDown(Edit9, 1000, false);
  ComboBox5 = AddCombo(p, 101, 6, 65, 21, gifColors, gif);
  Panel3 = AddColorPanel(p, 319, 31, [this] { PanelClick(Panel3, fWork.GIFTranspColor, true); });
  CheckBox4 = AddCheck(p, 28, 32, 86, 17, "&Transparent:", 59, S::Colon, gif);
  CheckBox5 = AddCheck(p, 28, 53, 86, 17, "I&nterlaced:", 61, S::Colon, gif);
  Panel4 = AddColorPanel(p, 319, 53, [this] { PanelClick(Panel4, fWork.GIFBackground, true); });
  auto* g2 = AddGroupBox(p, 16, 74, 385, 74, " Advanced ", 45);
  AddLabel(g2, 202, 20, 52, 13, "&Delay time:", 65);
  AddLabel(g2, 14, 20, 70, 13, "&Horiz. Position:", 63);
  AddLabel(g2, 15, 47, 65, 13, "&Vert. Position:", 64);
  AddLabel(g2, 340, 20, 37, 13, "1/100 s");
  Edit12 = AddEdit(g2, 286, 16, 48, 21, "", gif);
  Edit10 = AddEdit(g2, 94, 16, 43, 21, "", gif);
  Edit11 = AddEdit(g2, 94, 44, 43, 21, "", gif);

  TabSheetGIF2 = AddPage("GIF");
  p = TabSheetGIF2;
  AddSizeLabels(p, 61, 77);
  AddLabel(p, 15, 8, 32, 13, "&Colors:", 58);
  ComboBox18 = AddCombo(p, 85, 6, 65, 21, gifColors, [this] { ComboBox18Change(); });

  // BMP, PCX
  TabSheetBMP1 = AddPage("BMP");
  p = TabSheetBMP1;
  AddLabel(p, 16, 8, 63, 13, "&Compression:", 47);
  AddLabel(p, 16, 37, 32, 13, "C&olors:", 58);
  AddSizeLabels(p, 141, 157);
  ComboBox6 = AddCombo(p, 96, 5, 127, 21, {"UNCOMPRESSED", "RLE"}, [this] { ComboBox6Change(); });
  ComboBox7 =
      AddCombo(p, 96, 35, 77, 21, {"B/W", "16", "256", "16M", "16M (32bit)"}, [this] { ComboBox6Change(); });
  TabSheetPCX1 = AddPage("PCX");
  p = TabSheetPCX1;
  AddLabel(p, 16, 8, 63, 13, "&Compression:", 47);
  AddLabel(p, 16, 37, 32, 13, "C&olors:", 58);
  AddSizeLabels(p, 141, 157);
  ComboBox8 = AddCombo(p, 96, 5, 127, 21, {"UNCOMPRESSED", "RLE"}, [this] { ComboBox8Change(); });
  ComboBox9 = AddCombo(p, 96, 35, 77, 21, {"B/W", "16", "256", "16M"}, [this] { ComboBox8Change(); });

  // PNG
  TabSheetPNG1 = AddPage("PNG");
  p = TabSheetPNG1;
  AddLabel(p, 16, 8, 32, 13, "C&olors:", 58);
  Label54 = AddLabel(p, 216, 8, 61, 13, "&Background:", 62);
  AddSizeLabels(p, 141, 157);
  auto png = [this] { ComboBox10Change(); };
  ComboBox10 = AddCombo(p, 96, 5, 77, 21, {"B/W", "256", "16M"}, png);
  Panel1 = AddColorPanel(p, 311, 7, [this] { PanelClick(Panel1, fWork.PNGBackground, false); });
  GroupBox3 = AddGroupBox(p, 8, 42, 388, 74, " Advanced ", 45);
  AddLabel(GroupBox3, 10, 20, 22, 13, "&Filter", 66);
  AddLabel(GroupBox3, 195, 20, 60, 13, "Co&mpression", 47);
  ComboBox11 = AddCombo(GroupBox3, 88, 17, 89, 21, {"None", "Sub", "Paeth"}, png);
  CheckBox6 = AddCheck(GroupBox3, 10, 47, 91, 17, "I&nterlaced:", 61, S::Plain, png);
  ComboBox12 =
      AddCombo(GroupBox3, 272, 17, 109, 21, {"None", "1", "2", "3", "4", "5", "6", "7", "8", "Max"}, png);

  // TGA
  TabSheetTGA1 = AddPage("TGA");
  p = TabSheetTGA1;
  AddLabel(p, 16, 8, 32, 13, "C&olors:", 58);
  Label63 = AddLabel(p, 216, 8, 61, 13, "&Background:", 62);
  Label64 = AddLabel(p, 16, 59, 31, 13, "&Name:", 51);
  Label65 = AddLabel(p, 16, 91, 56, 13, "&Description:", 52);
  AddSizeLabels(p, 141, 157);
  auto tga = [this] { ComboBox14Click(); };
  ComboBox14 = AddCombo(p, 96, 5, 77, 21, {"B/W", "256", "16M"}, tga);
  Panel5 = AddColorPanel(p, 311, 7, [this] { PanelClick(Panel5, fWork.TGABackground, false); });
  CheckBox1 = AddCheck(p, 14, 32, 95, 17, "Compression:", 47, S::Colon, tga);
  Edit13 = AddEdit(p, 95, 56, 298, 21, "", tga);
  Edit14 = AddEdit(p, 95, 87, 298, 21, "", tga);

  // JPEG 2000
  TabSheetJ20001 = AddPage("JPEG2000");
  p = TabSheetJ20001;
  AddLabel(p, 11, 8, 26, 13, "&Rate:", 123);
  AddSizeLabels(p, 141, 157);
  Label71 = AddLabel(p, 11, 44, 59, 13, "P&hotometric:", 49);
  Edit15 = AddEdit(p, 77, 5, 33, 21, "0", [this] { Edit15Change(); });
  TrackBar1 = AddTrackBar(p, 1000, 20, [this] { TrackBar1Change(); });
  ComboBox15 = AddCombo(p, 77, 41, 78, 21, {"GrayScale", "RGB", "YCbCr"}, [this] { TrackBar1Change(); });
}

// ---- pages and language

namespace {
std::uint16_t PageOfFileType(int FileType) {
  TIEFileFormatInfo* fi = IEFileFormatGetInfo(FileType);
  return fi ? fi->DialogPage : 0;
}
}  // namespace

bool TfIOPreviews::SelectPages(std::uint16_t APages) {
  Pages = APages;
  if ((Pages & ppAUTO) && IOParams) Pages |= PageOfFileType(IOParams->FileType);
  return Pages != ppAUTO;
}

void TfIOPreviews::SetLanguage(TMsgLanguage Language) {
  SetCaption(IEGetDialogText(37, Language));
  for (const TCaption& c : fCaptions) {
    std::string t = IEGetDialogText(c.Id, Language);
    if (c.Style == TCaptionStyle::Colon) t += ":";
    if (c.Style == TCaptionStyle::Spaced) t = " " + t + " ";
    c.Control->SetCaption(t);
  }
  // Named first: GCC 12 reports a false overlap (-Wrestrict) for a literal
  // put in front of a temporary string.
  const std::string cancel = IEGetDialogText(4, Language);
  CancelCaption = "&" + cancel;
}

// ---- activation and page switching

void TfIOPreviews::Filling(const std::function<void()>& Fill) {
  bool was = ControlsReady;
  ControlsReady = false;
  // The flag comes back also when filling throws.
  struct TRestore {
    bool& Flag;
    bool Value;
    ~TRestore() { Flag = Value; }
  } restore{ControlsReady, was};
  Fill();
}

void TfIOPreviews::FormActivate() {
  // Once: a sub-dialog closing activates the form again.
  if (fActivationRan) return;
  fActivationRan = true;
  ControlsReady = true;
  chkLockPreview->SetChecked(DefaultLockPreview);
  Button3->SetEnabled(!chkLockPreview->Checked());
  PageControl1->Hide();
  for (int i = 0; i < PageControl1->PageCount(); ++i) PageControl1->Pages(i)->SetTabVisible(false);
  std::uint16_t current = IOParams ? PageOfFileType(IOParams->FileType) : 0;
  struct TPageOf {
    std::uint16_t Bit;
    TTabSheet* Full;
    TTabSheet* Simple;
  };
  const TPageOf order[] = {{ppJPEG, TabSheetJPEG1, TabSheetJPEG2}, {ppTIFF, TabSheetTIFF1, TabSheetTIFF2},
                           {ppGIF, TabSheetGIF1, TabSheetGIF2},    {ppBMP, TabSheetBMP1, TabSheetBMP1},
                           {ppPCX, TabSheetPCX1, TabSheetPCX1},    {ppPNG, TabSheetPNG1, TabSheetPNG1},
                           {ppTGA, TabSheetTGA1, TabSheetTGA1},    {ppJ2000, TabSheetJ20001, TabSheetJ20001}};
  TTabSheet* active = nullptr;
  TTabSheet* first = nullptr;
  for (const TPageOf& o : order) {
    if (!(Pages & ppALL) && !(Pages & o.Bit)) continue;
    TTabSheet* sheet = Simplified ? o.Simple : o.Full;
    sheet->SetTabVisible(true);
    if (!first) first = sheet;
    if (current & o.Bit) active = sheet;
  }
  // With no page of the file type, the first shown page is the active one.
  PageControl1->SetActivePage(active ? active : first);
  if (Simplified) {
    for (const TSizeLabels& s : fSizes) {
      if (s.Page == TabSheetJPEG1 || s.Page == TabSheetTIFF1 || s.Page == TabSheetGIF1) continue;
      s.OriginalCaption->SetTop(61);
      s.CompressedCaption->SetTop(61);
      s.Original->SetTop(77);
      s.Compressed->SetTop(77);
    }
    for (TControl* c : std::initializer_list<TControl*>{Label54, Panel1, GroupBox3, Label63, Panel5, Label64,
                                                        Edit13, Label65, Edit14, Label71, ComboBox15})
      c->Hide();
    chkLockPreview->SetTop(Screen->PixelsPerInch() * 302 / 96);
  }
  fLzw = IEGlobalTIFFLZWCompressor != nullptr;
  std::vector<std::string> compressions = {"UNCOMPRESSED", "CCITT1D", "G3FAX1D", "G3FAX2D", "G4FAX"};
  if (fLzw) compressions.push_back("LZW");
  for (const char* s : {"JPEG", "PACKBITS", "ZIP"}) compressions.push_back(s);
  ComboBox2->Items = compressions;
  ComboBox16->Items = compressions;
  for (TRedozIrView* v : {RedozIr1, RedozIr2}) v->SetChessboardStyle(12, bsSolid);
  PageControl1->Show();
  ReloadActivePage();
  RedozIr1->Fit();
  Application->ProcessMessages();
  // Not activated yet, so the lock previews nothing here: activation
  // computes exactly one preview, whatever the lock says.
  PageControl1Change();
  Activated = true;
  Preview();
}

void TfIOPreviews::PageControl1Changing(bool&) { ControlsReady = false; }

void TfIOPreviews::PageControl1Change() {
  ControlsReady = true;
  ReloadActivePage();
  ShowPreviewIfLocked();
  Button4->SetEnabled(false);
}

void TfIOPreviews::LoadWorkingCopy() {
  if (!IOParams) return;
  std::uint8_t dct = fWork.JPEGDCTMethod;
  fWork.Assign(*IOParams);
  // A DCT method the list does not hold keeps the copy's.
  if (fWork.JPEGDCTMethod > 2) fWork.JPEGDCTMethod = dct;
  fWork.JPEGQuality = std::clamp(fWork.JPEGQuality, 0, 100);
  fWork.JPEGSmooth = std::clamp(fWork.JPEGSmooth, 0, kJpegSmoothMax);
  if (!(fWork.J2000Rate >= kJ2000MinRate)) fWork.J2000Rate = kJ2000MinRate;
  // The compression the list shows is the one confirmed (LZW without its
  // compressor shows, and so writes, PackBits).
  fWork.TIFFCompression = static_cast<std::uint8_t>(
      IETIFFIndexToCompression(IETIFFCompressionToIndex(fWork.TIFFCompression, fLzw), fLzw));
  fBMPColors = BMPColorIndex(fWork.BitsPerSample, fWork.SamplesPerPixel, fBMPColors);
  fPCXColors = PCXColorIndex(fWork.BitsPerSample, fWork.SamplesPerPixel, fPCXColors);
  fPNGColors = PNGColorIndex(fWork.BitsPerSample, fWork.SamplesPerPixel);
  fTGAColors = fPNGColors;
}

void TfIOPreviews::ReloadActivePage() {
  Filling([this] {
    LoadWorkingCopy();
    if (PageControl1->ActivePage()) FillPage(PageControl1->ActivePage());
  });
}

void TfIOPreviews::SetSize(TLabel* L, std::int64_t Bytes) {
  if (L) L->SetCaption(std::to_string(Bytes) + " bytes");
}

void TfIOPreviews::FillPage(TTabSheet* Page) {
  TIEBitmap* src = RedozIr1->GetIEBitmap();
  if (src) SetSize(OriginalSizeLabel(Page), static_cast<std::int64_t>(src->GetRowLen()) * src->Height());
  TIOParamsVals& w = fWork;
  if (Page == TabSheetJPEG1) {
    Edit22->SetText(std::to_string(w.JPEGQuality));
    TrackBar13->SetPosition(w.JPEGQuality);
    ComboBox13->SetItemIndex(w.JPEGColorSpace);
    ComboBox1->SetItemIndex(w.JPEGDCTMethod);
    CheckBox2->SetChecked(w.JPEGOptimalHuffman);
    Edit23->SetText(std::to_string(w.JPEGSmooth));
    UpDown11->SetPosition(w.JPEGSmooth);
    CheckBox3->SetChecked(w.JPEGProgressive);
  } else if (Page == TabSheetJPEG2) {
    Edit16->SetText(std::to_string(w.JPEGQuality));
    TrackBar2->SetPosition(w.JPEGQuality);
  } else if (Page == TabSheetJ20001) {
    int r = static_cast<int>(std::lround(w.J2000Rate * 1000));
    Edit15->SetText(std::to_string(r));
    TrackBar1->SetPosition(r);
    ComboBox15->SetItemIndex(w.J2000ColorSpace);
  } else if (Page == TabSheetTIFF1) {
    ComboBox2->SetItemIndex(IETIFFCompressionToIndex(w.TIFFCompression, fLzw));
    Edit1->SetText(std::to_string(w.TIFFImageIndex));
    ComboBox3->SetItemIndex(w.TIFFPhotometric);
    Edit2->SetText(std::to_string(w.TIFFXPos));
    Edit3->SetText(std::to_string(w.TIFFYPos));
    Edit4->SetText(w.TIFFDocumentName);
    Edit5->SetText(w.TIFFImageDescription);
    Edit6->SetText(w.TIFFPageName);
    Edit7->SetText(std::to_string(w.TIFFPageNumber));
    Edit8->SetText(std::to_string(w.TIFFPageCount));
    ComboBox4->SetItemIndex(TIFFColorIndexFor(w.TIFFPhotometric, w.BitsPerSample, w.SamplesPerPixel, true));
  } else if (Page == TabSheetTIFF2) {
    if (w.TIFFCompression >= ioTIFF_CCITT1D && w.TIFFCompression <= ioTIFF_G4FAX) {
      w.BitsPerSample = 1;
      w.SamplesPerPixel = 1;
    } else if (w.TIFFCompression == ioTIFF_JPEG) {
      w.BitsPerSample = 8;
      w.SamplesPerPixel = 3;
    }
    ComboBox16->SetItemIndex(IETIFFCompressionToIndex(w.TIFFCompression, fLzw));
    ComboBox17->SetItemIndex(TIFFColorIndexFor(w.TIFFPhotometric, w.BitsPerSample, w.SamplesPerPixel, false));
  } else if (Page == TabSheetGIF1) {
    Edit9->SetText(std::to_string(w.GIFImageIndex));
    Edit10->SetText(std::to_string(w.GIFXPos));
    Edit11->SetText(std::to_string(w.GIFYPos));
    Edit12->SetText(std::to_string(w.GIFDelayTime));
    ComboBox5->SetItemIndex(w.BitsPerSample - 1);
    CheckBox4->SetChecked(w.GIFTransparent);
    Label34->SetEnabled(w.GIFTransparent);
    Panel3->SetEnabled(w.GIFTransparent);
    CheckBox5->SetChecked(w.GIFInterlaced);
    Panel3->SetColor(RGBToColor(w.GIFTranspColor));
    Panel4->SetColor(RGBToColor(w.GIFBackground));
  } else if (Page == TabSheetGIF2) {
    ComboBox18->SetItemIndex(w.BitsPerSample - 1);
  } else if (Page == TabSheetBMP1) {
    ComboBox6->SetItemIndex(w.BMPCompression == 0 ? 0 : 1);
    ComboBox7->SetItemIndex(fBMPColors);
  } else if (Page == TabSheetPCX1) {
    ComboBox8->SetItemIndex(w.PCXCompression == 0 ? 0 : 1);
    ComboBox9->SetItemIndex(fPCXColors);
  } else if (Page == TabSheetPNG1) {
    ComboBox10->SetItemIndex(fPNGColors);
    CheckBox6->SetChecked(w.PNGInterlaced);
    ComboBox11->SetItemIndex(w.PNGFilter);
    ComboBox12->SetItemIndex(w.PNGCompression);
    Panel1->SetColor(RGBToColor(w.PNGBackground));
  } else if (Page == TabSheetTGA1) {
    ComboBox14->SetItemIndex(fTGAColors);
    CheckBox1->SetChecked(w.TGACompressed);
    Edit13->SetText(w.TGAImageName);
    Edit14->SetText(w.TGADescriptor);
    Panel5->SetColor(RGBToColor(w.TGABackground));
  }
}

// ---- change handlers

void TfIOPreviews::ShowPreviewIfLocked() {
  if (chkLockPreview->Checked()) Preview();
}

void TfIOPreviews::Changed(bool ImageChanged) {
  if (ImageChanged) ShowPreviewIfLocked();
  Button4->SetEnabled(true);
}

void TfIOPreviews::TrackBar13Change() {
  if (!ControlsReady) return;
  TIOParamsVals& w = fWork;
  int quality = TrackBar13->Position();
  int space = std::max(ComboBox13->ItemIndex(), 0);
  int dct = std::max(ComboBox1->ItemIndex(), 0);
  int smooth = std::clamp(ReadInt(Edit23, 0), 0, kJpegSmoothMax);
  if (quality == w.JPEGQuality && space == w.JPEGColorSpace && dct == w.JPEGDCTMethod &&
      CheckBox2->Checked() == w.JPEGOptimalHuffman && smooth == w.JPEGSmooth &&
      CheckBox3->Checked() == w.JPEGProgressive)
    return;
  w.JPEGQuality = quality;
  w.JPEGColorSpace = static_cast<std::uint8_t>(space);
  w.JPEGDCTMethod = static_cast<std::uint8_t>(dct);
  w.JPEGOptimalHuffman = CheckBox2->Checked();
  w.JPEGSmooth = smooth;
  w.JPEGProgressive = CheckBox3->Checked();
  Edit22->SetText(std::to_string(quality));
  Changed(true);
}

void TfIOPreviews::Edit22Change() {
  if (!ControlsReady) return;
  int quality = ReadInt(Edit22, 50);
  int smooth = ReadInt(Edit23, 0);
  if (quality != fWork.JPEGQuality || smooth != fWork.JPEGSmooth) {
    TrackBar13->SetPosition(quality);
    TrackBar13Change();
  }
  Button4->SetEnabled(true);
}

void TfIOPreviews::TrackBar2Change() {
  if (!ControlsReady) return;
  int quality = TrackBar2->Position();
  if (quality == fWork.JPEGQuality) return;
  fWork.JPEGQuality = quality;
  Edit16->SetText(std::to_string(quality));
  Changed(true);
}

void TfIOPreviews::Edit16Change() {
  if (!ControlsReady) return;
  int quality = ReadInt(Edit16, 50);
  if (quality != fWork.JPEGQuality) {
    TrackBar2->SetPosition(quality);
    TrackBar2Change();
  }
  Button4->SetEnabled(true);
}

void TfIOPreviews::Edit15Change() {
  if (!ControlsReady) return;
  int typed = ReadInt(Edit15, 1000);
  if (typed / 1000.0 != fWork.J2000Rate) {
    TrackBar1->SetPosition(typed);
    TrackBar1Change();
  }
}

void TfIOPreviews::TrackBar1Change() {
  if (!ControlsReady) return;
  int pos = TrackBar1->Position();
  int space = std::max(ComboBox15->ItemIndex(), 0);
  if (std::lround(fWork.J2000Rate * 1000) == pos && space == fWork.J2000ColorSpace) return;
  // Rate 0 stores nothing an encoder can meet: the least rate is one step.
  fWork.J2000Rate = std::max(pos / 1000.0, kJ2000MinRate);
  fWork.J2000ColorSpace = static_cast<std::uint8_t>(space);
  Edit15->SetText(std::to_string(std::lround(fWork.J2000Rate * 1000)));
  Changed(true);
}

bool TfIOPreviews::StoreTIFFImage(int Compression, int Photometric, int Bits, int Samples) {
  TIOParamsVals& w = fWork;
  const bool changed = Compression != w.TIFFCompression || Photometric != w.TIFFPhotometric ||
                       Bits != w.BitsPerSample || Samples != w.SamplesPerPixel;
  w.TIFFCompression = static_cast<std::uint8_t>(Compression);
  w.TIFFPhotometric = static_cast<std::uint8_t>(Photometric);
  w.BitsPerSample = Bits;
  w.SamplesPerPixel = Samples;
  return changed;
}

void TfIOPreviews::ComboBox2Click(TControl* ChangedControl) {
  if (!ControlsReady) return;
  TIOParamsVals& w = fWork;
  Filling([&] {
    int photo = ComboBox3->ItemIndex(), colors = ComboBox4->ItemIndex();
    if (ChangedControl == ComboBox3) {
      if (photo == 0 || photo == 1) {
        if (colors != 0) ComboBox4->SetItemIndex(2);
      } else if (photo == 2 || photo >= 5) {
        ComboBox4->SetItemIndex(4);
      } else if (photo == 3) {
        ComboBox4->SetItemIndex(2);
      }
    } else if (ChangedControl == ComboBox4) {
      if (colors == 0 && photo > 1)
        ComboBox3->SetItemIndex(1);
      else if (colors == 1)
        ComboBox3->SetItemIndex(3);
      else if (colors == 2 && (photo == 2 || photo >= 4))
        ComboBox3->SetItemIndex(3);
    }
  });
  int compression = IETIFFIndexToCompression(ComboBox2->ItemIndex(), fLzw);
  int photo = std::max(ComboBox3->ItemIndex(), 0);
  int bits = w.BitsPerSample, samples = w.SamplesPerPixel;
  DepthOf(kTIFFColors, ComboBox4->ItemIndex(), bits, samples);
  if (photo == ioTIFF_CMYK) {
    bits = 8;
    samples = 4;
  }
  const bool image = StoreTIFFImage(compression, photo, bits, samples);
  w.TIFFImageIndex = ReadInt(Edit1, 0);
  w.TIFFXPos = ReadInt(Edit2, 0);
  w.TIFFYPos = ReadInt(Edit3, 0);
  w.TIFFDocumentName = Edit4->Text();
  w.TIFFImageDescription = Edit5->Text();
  w.TIFFPageName = Edit6->Text();
  w.TIFFPageNumber = ReadInt(Edit7, 0);
  w.TIFFPageCount = ReadInt(Edit8, 0);
  Changed(image);
}

void TfIOPreviews::ComboBox16Change(TControl* ChangedControl) {
  if (!ControlsReady) return;
  TIOParamsVals& w = fWork;
  int compression = w.TIFFCompression, photo = w.TIFFPhotometric, bits = w.BitsPerSample,
      samples = w.SamplesPerPixel;
  Filling([&] {
    if (ChangedControl == ComboBox16) {
      compression = IETIFFIndexToCompression(ComboBox16->ItemIndex(), fLzw);
      if (compression >= ioTIFF_CCITT1D && compression <= ioTIFF_G4FAX) {
        photo = ioTIFF_BLACKISZERO;
        bits = samples = 1;
        ComboBox17->SetItemIndex(0);
      } else if (compression == ioTIFF_JPEG) {
        photo = ioTIFF_YCBCR;
        bits = 8;
        samples = 3;
        ComboBox17->SetItemIndex(3);
      }
    } else {
      DepthOf(kTIFFSimpleColors, ComboBox17->ItemIndex(), bits, samples);
      if ((bits >= 2 && compression < ioTIFF_LZW) ||
          (compression == ioTIFF_JPEG && (bits != 8 || samples != 3))) {
        compression = ioTIFF_UNCOMPRESSED;
        ComboBox16->SetItemIndex(0);
      }
      if (bits == 16 && samples == 1) photo = ioTIFF_BLACKISZERO;
    }
  });
  Changed(StoreTIFFImage(compression, photo, bits, samples));
}

void TfIOPreviews::ComboBox5Click() {
  if (!ControlsReady) return;
  TIOParamsVals& w = fWork;
  int bits = ComboBox5->ItemIndex() + 1;
  bool image = bits != w.BitsPerSample || CheckBox5->Checked() != w.GIFInterlaced;
  if (ComboBox5->ItemIndex() >= 0) w.BitsPerSample = bits;
  w.SamplesPerPixel = 1;
  w.GIFInterlaced = CheckBox5->Checked();
  w.GIFImageIndex = ReadInt(Edit9, 0);
  w.GIFXPos = ReadInt(Edit10, 0);
  w.GIFYPos = ReadInt(Edit11, 0);
  w.GIFDelayTime = ReadInt(Edit12, 0);
  w.GIFTransparent = CheckBox4->Checked();
  Label34->SetEnabled(w.GIFTransparent);
  Panel3->SetEnabled(w.GIFTransparent);
  Changed(image);
}

void TfIOPreviews::ComboBox18Change() {
  if (!ControlsReady) return;
  int bits = ComboBox18->ItemIndex() + 1;
  bool image = bits != fWork.BitsPerSample;
  if (ComboBox18->ItemIndex() >= 0) fWork.BitsPerSample = bits;
  fWork.SamplesPerPixel = 1;
  Changed(image);
}

void TfIOPreviews::CompressionAndColors(TComboBox* Compression, TComboBox* Colors, int& ColorIndex,
                                        std::uint8_t& Stored) {
  if (!ControlsReady) return;
  int colors = Colors->ItemIndex();
  std::uint8_t compression = Compression->ItemIndex() <= 0 ? 0 : 1;
  bool image = colors != ColorIndex || compression != Stored;
  ColorIndex = colors;
  Stored = compression;
  Changed(image);
}

void TfIOPreviews::ComboBox6Change() {
  CompressionAndColors(ComboBox6, ComboBox7, fBMPColors, fWork.BMPCompression);
}

void TfIOPreviews::ComboBox8Change() {
  CompressionAndColors(ComboBox8, ComboBox9, fPCXColors, fWork.PCXCompression);
}

void TfIOPreviews::ComboBox10Change() {
  if (!ControlsReady) return;
  TIOParamsVals& w = fWork;
  int colors = ComboBox10->ItemIndex();
  std::uint8_t filter = static_cast<std::uint8_t>(std::max(ComboBox11->ItemIndex(), 0));
  int compression = std::max(ComboBox12->ItemIndex(), 0);
  bool image = colors != fPNGColors || CheckBox6->Checked() != w.PNGInterlaced || filter != w.PNGFilter ||
               compression != w.PNGCompression;
  fPNGColors = colors;
  w.PNGInterlaced = CheckBox6->Checked();
  w.PNGFilter = filter;
  w.PNGCompression = compression;
  Changed(image);
}

void TfIOPreviews::ComboBox14Click() {
  if (!ControlsReady) return;
  TIOParamsVals& w = fWork;
  int colors = ComboBox14->ItemIndex();
  bool image = colors != fTGAColors || CheckBox1->Checked() != w.TGACompressed;
  fTGAColors = colors;
  w.TGACompressed = CheckBox1->Checked();
  w.TGAImageName = Edit13->Text();
  w.TGADescriptor = Edit14->Text();
  Changed(image);
}

void TfIOPreviews::PanelClick(TPanel* Panel, TRGB& Target, bool Gif) {
  TIOParamsVals& result = RedozIr2->GetIO()->Params();
  if (Gif && !result.ColorMap) Preview();
  auto pick = [&](int Entries) {
    TRedozIrPaletteDialog dialog(nullptr);
    // The picker never reads past the colour map.
    dialog.SetPalette(result.ColorMap, std::min(Entries, result.ColorMapCount));
    dialog.CancelButton()->SetCaption(CancelCaption);
    bool ok = ExecutePalette ? ExecutePalette(dialog) : dialog.Execute();
    if (ok) Panel->SetColor(dialog.Color());
  };
  if (Gif) {
    pick(static_cast<int>(IEColorCount(fWork.BitsPerSample, 1)));
  } else if (result.ColorMap) {
    std::int64_t n = IEColorCount(fWork.BitsPerSample, fWork.SamplesPerPixel);
    pick(static_cast<int>(std::min<std::int64_t>(n, result.ColorMapCount)));
  } else {
    ColorDialog1->Color = Panel->Color();
    if (ColorDialog1->Execute()) Panel->SetColor(ColorDialog1->Color);
  }
  Target = IEColorToRGB(Panel->Color());
  Button4->SetEnabled(true);
}

void TfIOPreviews::SpeedButton1Click() {
  if (!ControlsReady) return;
  if (chkLockPreview->Checked()) Preview();
  Button3->SetEnabled(!chkLockPreview->Checked());
}

// ---- preview

void TfIOPreviews::RedozIr1Progress(int Per) {
  ProgressBar1->SetPosition(ProgressBase + Per / std::max(ProgressPasses, 1));
}

void TfIOPreviews::RedozIr1ViewChange() {
  if (!RedozIr2 || !RedozIr1) return;
  RedozIr2->LockPaint();
  struct TUnlock {
    TRedozIrView* v;
    ~TUnlock() { v->UnlockPaint(); }
  } unlock{RedozIr2};
  RedozIr2->SetZoom(RedozIr1->Zoom());
  RedozIr2->SetViewXY(RedozIr1->ViewX(), RedozIr1->ViewY());
}

void TfIOPreviews::Preview() {
  if (!Activated) return;
  TTabSheet* page = PageControl1->ActivePage();
  if (!page) return;
  ++PreviewCount;
  TCursor was = Screen->Cursor();
  Screen->SetCursor(crHourGlass);
  struct TCursorBack {
    TCursor c;
    ~TCursorBack() { Screen->SetCursor(c); }
  } back{was};
  TMemoryStream memory;
  TNulStream counter;
  TRedozIrIO* io = RedozIr1->GetIO();
  TIOParamsVals& p = io->Params();
  io->SetBilevelConversionMode(BilevelMode);
  ProgressBase = 0;
  const TIOParamsVals& w = fWork;
  bool jpeg = page == TabSheetJPEG1 || page == TabSheetJPEG2;
  ProgressPasses = jpeg || page == TabSheetJ20001 ? 2 : 1;
  auto sizeTo = [this](std::int64_t n, std::initializer_list<TTabSheet*> pages) {
    for (TTabSheet* s : pages) SetSize(CompressedSizeLabel(s), n);
  };
  enum class TReduce { Palette, NoPalette, TIFF } reduce = TReduce::Palette;
  if (jpeg) {
    p.JPEGQuality = w.JPEGQuality;
    p.JPEGColorSpace = w.JPEGColorSpace;
    p.JPEGDCTMethod = w.JPEGDCTMethod;
    p.JPEGOptimalHuffman = w.JPEGOptimalHuffman;
    p.JPEGSmooth = w.JPEGSmooth;
    p.JPEGProgressive = w.JPEGProgressive;
    io->SaveToStreamJpeg(memory);
    sizeTo(memory.Size(), {TabSheetJPEG1, TabSheetJPEG2});
    memory.SetPosition(0);
    ProgressBase = 50;
    RedozIr2->GetIO()->LoadFromStreamJpeg(memory);
  } else if (page == TabSheetJ20001) {
    p.J2000Rate = w.J2000Rate;
    p.J2000ColorSpace = w.J2000ColorSpace;
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 3;
    io->SaveToStreamJ2K(memory);
    sizeTo(memory.Size(), {TabSheetJ20001});
    memory.SetPosition(0);
    ProgressBase = 50;
    RedozIr2->GetIO()->LoadFromStreamJ2K(memory);
  } else {
    if (page == TabSheetTIFF1 || page == TabSheetTIFF2) {
      p.TIFFLZWCompressor = w.TIFFLZWCompressor;
      p.TIFFLZWDecompressor = w.TIFFLZWDecompressor;
      p.TIFFCompression = w.TIFFCompression;
      p.TIFFPhotometric = w.TIFFPhotometric;
      p.SamplesPerPixel = w.SamplesPerPixel;
      p.BitsPerSample = w.BitsPerSample;
      io->SaveToStreamTIFF(counter);
      sizeTo(counter.Size(), {TabSheetTIFF1, TabSheetTIFF2});
      reduce = TReduce::TIFF;
    } else if (page == TabSheetGIF1 || page == TabSheetGIF2) {
      p.BitsPerSample = w.BitsPerSample;
      p.SamplesPerPixel = 1;
      p.GIFInterlaced = w.GIFInterlaced;
      io->SaveToStreamGIF(counter);
      sizeTo(counter.Size(), {TabSheetGIF1, TabSheetGIF2});
    } else if (page == TabSheetBMP1) {
      p.BMPCompression = w.BMPCompression;
      DepthOf(kBMPColors, fBMPColors, p.BitsPerSample, p.SamplesPerPixel);
      io->SaveToStreamBMP(counter);
      sizeTo(counter.Size(), {TabSheetBMP1});
      reduce = TReduce::NoPalette;
    } else if (page == TabSheetPCX1) {
      p.PCXCompression = w.PCXCompression;
      DepthOf(kPCXColors, fPCXColors, p.BitsPerSample, p.SamplesPerPixel);
      io->SaveToStreamPCX(counter);
      sizeTo(counter.Size(), {TabSheetPCX1});
      reduce = TReduce::NoPalette;
    } else if (page == TabSheetPNG1) {
      DepthOf(kPNGColors, fPNGColors, p.BitsPerSample, p.SamplesPerPixel);
      p.PNGInterlaced = w.PNGInterlaced;
      p.PNGFilter = w.PNGFilter;
      p.PNGCompression = w.PNGCompression;
      io->SaveToStreamPNG(counter);
      sizeTo(counter.Size(), {TabSheetPNG1});
    } else if (page == TabSheetTGA1) {
      DepthOf(kPNGColors, fTGAColors, p.BitsPerSample, p.SamplesPerPixel);
      p.TGACompressed = w.TGACompressed;
      io->SaveToStreamTGA(counter);
      sizeTo(counter.Size(), {TabSheetTGA1});
    }
    try {
      RedozIr2->Assign(RedozIr1);
    } catch (const std::exception&) {
      SetCaption("Result can not be shown but parameters may be entered");
    }
    TIOParamsVals& r = RedozIr2->GetIO()->Params();
    r.Assign(p);
    std::int64_t n = IEColorCount(r.BitsPerSample, r.SamplesPerPixel);
    TRedozIrProc* proc = RedozIr2->GetProc();
    auto paletteReduce = [&] {
      r.FreeColorMap();
      if (n > 256) return;
      // The reduction writes at least two entries; the map starts zeroed.
      r.AllocColorMap(static_cast<int>(std::max<std::int64_t>(n, 2)));
      proc->ConvertToPalette(static_cast<int>(n), r.ColorMap, BilevelMode);
    };
    if (reduce == TReduce::NoPalette) {
      if (n <= 256) proc->ConvertTo(static_cast<int>(n), BilevelMode);
    } else if (reduce == TReduce::Palette) {
      paletteReduce();
    } else if ((r.TIFFPhotometric <= ioTIFF_BLACKISZERO) && r.BitsPerSample == 8 && r.SamplesPerPixel == 1) {
      proc->ConvertToGray();
      r.FreeColorMap();
    } else if (r.TIFFPhotometric <= ioTIFF_TRANSPMASK) {
      paletteReduce();
    }
  }
  ProgressBar1->SetPosition(0);
  RedozIr1ViewChange();
}

// ---- writing back

void TfIOPreviews::Button1Click() {
  if (!IOParams) return;
  TIOParamsVals& o = *IOParams;
  const TIOParamsVals& w = fWork;
  TTabSheet* page = PageControl1->ActivePage();
  if (page == TabSheetJPEG1 || page == TabSheetJPEG2) {
    o.JPEGQuality = w.JPEGQuality;
    o.JPEGColorSpace = w.JPEGColorSpace;
    o.JPEGDCTMethod = std::min<std::uint8_t>(w.JPEGDCTMethod, 2);
    o.JPEGOptimalHuffman = w.JPEGOptimalHuffman;
    o.JPEGSmooth = w.JPEGSmooth;
    o.JPEGProgressive = w.JPEGProgressive;
    o.FileType = ioJPEG;
  } else if (page == TabSheetTIFF1 || page == TabSheetTIFF2) {
    o.TIFFCompression = w.TIFFCompression;
    o.SetImageIndex(w.TIFFImageIndex);
    o.TIFFPhotometric = w.TIFFPhotometric;
    o.TIFFXPos = w.TIFFXPos;
    o.TIFFYPos = w.TIFFYPos;
    o.TIFFDocumentName = w.TIFFDocumentName;
    o.TIFFImageDescription = w.TIFFImageDescription;
    o.TIFFPageName = w.TIFFPageName;
    o.TIFFPageNumber = w.TIFFPageNumber;
    o.TIFFPageCount = w.TIFFPageCount;
    o.SamplesPerPixel = w.SamplesPerPixel;
    o.BitsPerSample = w.BitsPerSample;
    o.FileType = ioTIFF;
  } else if (page == TabSheetGIF1 || page == TabSheetGIF2) {
    o.SetImageIndex(w.GIFImageIndex);
    o.GIFXPos = w.GIFXPos;
    o.GIFYPos = w.GIFYPos;
    o.GIFDelayTime = w.GIFDelayTime;
    o.GIFTransparent = w.GIFTransparent;
    o.GIFTranspColor = w.GIFTranspColor;
    o.GIFInterlaced = w.GIFInterlaced;
    o.GIFBackground = w.GIFBackground;
    o.BitsPerSample = w.BitsPerSample;
    o.FileType = ioGIF;
  } else if (page == TabSheetBMP1) {
    o.BMPCompression = w.BMPCompression;
    DepthOf(kBMPColors, fBMPColors, o.BitsPerSample, o.SamplesPerPixel);
    o.FileType = ioBMP;
  } else if (page == TabSheetPCX1) {
    o.PCXCompression = w.PCXCompression;
    DepthOf(kPCXColors, fPCXColors, o.BitsPerSample, o.SamplesPerPixel);
    o.FileType = ioPCX;
  } else if (page == TabSheetPNG1) {
    DepthOf(kPNGColors, fPNGColors, o.BitsPerSample, o.SamplesPerPixel);
    o.PNGBackground = w.PNGBackground;
    o.PNGInterlaced = w.PNGInterlaced;
    o.PNGFilter = w.PNGFilter;
    o.PNGCompression = w.PNGCompression;
    o.FileType = ioPNG;
  } else if (page == TabSheetTGA1) {
    DepthOf(kPNGColors, fTGAColors, o.BitsPerSample, o.SamplesPerPixel);
    o.TGABackground = w.TGABackground;
    o.TGACompressed = w.TGACompressed;
    o.TGAImageName = w.TGAImageName;
    o.TGADescriptor = w.TGADescriptor;
    o.FileType = ioTGA;
  } else if (page == TabSheetJ20001) {
    o.J2000ColorSpace = w.J2000ColorSpace;
    o.BitsPerSample = 8;
    o.SamplesPerPixel = w.J2000ColorSpace == ioJ2000_GRAYSCALE ? 1 : 3;
    o.J2000Rate = w.J2000Rate;
    o.FileType = ioJ2K;
  }
}

void TfIOPreviews::Button4Click() {
  Button1Click();
  Button4->SetEnabled(false);
}

// ---- opening from the I/O component

bool IEShowPreviewsDialog(TRedozIrIO& IO, std::uint16_t Pages) {
  TIEBitmap* bitmap = IO.GetIEBitmap();
  // The caller's image is never made poorer: formats that 24 bits would lose
  // information of are previewed from a 24-bit copy.
  std::unique_ptr<TIEBitmap> copy;
  TIEBitmap* shown = bitmap;
  TIEPixelFormat pf = bitmap->PixelFormat();
  if (pf == ie8g || pf == ie8p) {
    bitmap->SetPixelFormat(ie24RGB);
  } else if (pf != ie24RGB && pf != ie1g) {
    copy = std::make_unique<TIEBitmap>();
    copy->Assign(bitmap);
    copy->SetPixelFormat(ie24RGB);
    shown = copy.get();
  }
  auto dialog = std::make_unique<TfIOPreviews>(nullptr);
  // Whatever happens from here, the view lets go of the bitmap, the dialog
  // goes and the attached view hears that the bitmap may have changed.
  struct TClosing {
    std::unique_ptr<TfIOPreviews>& Dialog;
    TRedozIrIO& IO;
    ~TClosing() {
      if (Dialog) Dialog->RedozIr1->AttachIEBitmap(nullptr);
      Dialog.reset();
      IO.Update();
    }
  } closing{dialog, IO};
  TfIOPreviews& d = *dialog;
  d.DefaultLockPreview = (IO.PreviewsParams & ioppDefaultLockPreview) != 0;
  d.Button4->SetVisible((IO.PreviewsParams & ioppApplyButton) != 0);
  d.IOParams = &IO.Params();
  d.Simplified = IO.SimplifiedParamsDialogs;
  if (d.Simplified) {
    int ppi = Screen->PixelsPerInch();
    d.PageControl1->SetHeight(ppi * 122 / 96);
    d.SetHeight(static_cast<int>(ppi * 3.75));
  }
  d.BilevelMode = IO.BilevelConversionMode();
  d.SetLanguage(IO.MsgLanguage);
  d.Font = IO.PreviewFont;
  d.RedozIr1->AttachIEBitmap(shown);
  d.RedozIr1->Update();
  d.RedozIr2->Blank();
  if (!d.SelectPages(Pages)) return false;
  if (IO.OnIOPreview) IO.OnIOPreview(&IO, &d);
  return d.ShowModal() == mrOk;
}

void IEInitPreviewsDialog() { IEPreviewsDialog = IEShowPreviewsDialog; }

}  // namespace redozir
