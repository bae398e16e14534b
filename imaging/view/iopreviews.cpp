// The save dialog's frame: the form, its views and buttons, page switching,
// the preview and writing back; the pages themselves are in
// iopreviews_pages.cpp.
#include "imaging/view/iopreviews.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "imaging/core/ie_drawing.h"
#include "imaging/core/ie_pixel.h"
#include "imaging/core/ie_startup.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/ieproc.h"
#include "imaging/io/ie_fileformats.h"
#include "imaging/view/iepalettedialog.h"
#include "imaging/view/iopreviews_internal.h"
#include "imaging/view/redozir_view.h"
#include "platform/application.h"
#include "platform/font.h"
#include "platform/screen.h"

namespace redozir {

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
  fCaptionFont = Font;
  CreateControls();
  FitCaptions();
  // FormCreate
  Activated = false;
  BilevelMode = 1;
  CancelCaption = "&Cancel";
  for (TTrackBar* t : {TrackBar13, TrackBar2, TrackBar1}) t->ThumbLength = 10;
  for (TPanel* p : {Panel3, Panel4, Panel1, Panel5}) p->ParentBackground = false;
  Button4->SetEnabled(false);
  OnActivate = [this](TObject*) { FormActivate(); };
  OnResize = [this](TObject*) { FormResize(); };
  FormResize();
}

void TfIOPreviews::FormResize() {
  // The library-wide background picture behind the controls, at the form's
  // size: 1 stripes, 2 brushed metal, anything else none.
  const int w = Image1->Width(), h = Image1->Height();
  if (w <= 0 || h <= 0) return;
  if (gIEDialogsBackground == 1)
    IEMakeStripesBitmap(&Image1->Picture, w, h);
  else if (gIEDialogsBackground == 2)
    IEMakeMetalBitmap(&Image1->Picture, w, h);
  else
    return;
  Image1->Invalidate();
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

  for (const TPage& page : PageTable()) page.Create(*this);
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
  FitCaptions();
}

namespace {
// A caption too wide for its room narrows to this face (of the widths of
// Arial Narrow), then shrinks down to the smallest size still read easily.
constexpr const char* kNarrowCaptionFace = "Liberation Sans Narrow";
constexpr int kSmallestCaptionPixels = 8;
}  // namespace

int IECaptionWidth(const TControl* c) {
  return CurrentTextMeasurer().Extent(c->Font, Utf8ToUnicode(ShownCaption(c->Caption()).Text)).cx;
}

int IECaptionRoom(const TControl* c) {
  if (dynamic_cast<const TButton*>(c)) return c->Width() - 6;
  if (dynamic_cast<const TGroupBox*>(c)) return c->Width() - 16;
  auto* box = dynamic_cast<const TCheckBox*>(c);
  if (box && box->Alignment == taLeftJustify) return c->Width() - 15;
  TControl* p = c->Parent();
  int right = p->ClientWidth();
  for (int i = 0; i < p->ControlCount(); ++i) {
    TControl* o = p->Controls(i);
    if (o != c && o->Left() > c->Left() && o->Top() < c->Top() + c->Height() &&
        c->Top() < o->Top() + o->Height())
      right = std::min(right, o->Left());
  }
  return box ? std::min(right - c->Left(), c->Width()) - 17 : right - c->Left();
}

void TfIOPreviews::FitCaptions() {
  for (const TCaption& caption : fCaptions) {
    TControl* c = caption.Control;
    c->Font = fCaptionFont;
    const int room = IECaptionRoom(c);
    if (IECaptionWidth(c) > room) {
      c->Font.Name = kNarrowCaptionFace;
      const int sign = c->Font.Height < 0 ? -1 : 1;
      while (IECaptionWidth(c) > room && std::abs(c->Font.Height) > kSmallestCaptionPixels)
        c->Font.Height -= sign;
    }
    // A label takes the width of its caption in its new font.
    if (auto* label = dynamic_cast<TLabel*>(c)) label->SetCaption(label->Caption());
    c->Invalidate();
  }
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
  TTabSheet* active = nullptr;
  TTabSheet* first = nullptr;
  for (const TPage& page : PageTable()) {
    if (!(Pages & ppALL) && !(Pages & page.Bit)) continue;
    if (!(Simplified ? page.Simple : page.Full)) continue;
    TTabSheet* sheet = this->*page.Sheet;
    sheet->SetTabVisible(true);
    if (!first) first = sheet;
    if (current & page.Bit) active = sheet;
  }
  // With no page of the file type, the first shown page is the active one.
  PageControl1->SetActivePage(active ? active : first);
  if (Simplified) {
    // The pages of the full dialog alone keep their places.
    for (const TSizeLabels& s : fSizes) {
      if (!PageOf(s.Page)->Simple) continue;
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
  if (const TPage* page = PageOf(Page)) page->Fill(*this);
}

// ---- change handlers

void TfIOPreviews::ShowPreviewIfLocked() {
  if (chkLockPreview->Checked()) Preview();
}

void TfIOPreviews::Changed(bool ImageChanged) {
  if (ImageChanged) ShowPreviewIfLocked();
  Button4->SetEnabled(true);
}

void TfIOPreviews::PanelClick(TPanel* Panel, TRGB& Target, bool Gif) {
  const TColor before = Panel->Color();
  TIOParamsVals& result = RedozIr2->GetIO()->Params();
  if (Gif && !result.ColorMap) Preview();
  auto pick = [&](int Entries) {
    TRedozIrPaletteDialog dialog(nullptr);
    // The picker never reads past the colour map.
    dialog.SetPalette(result.ColorMap, std::min(Entries, result.ColorMapCount));
    dialog.CancelButton()->SetCaption(CancelCaption);
    bool ok = fExecutePalette ? fExecutePalette(dialog) : dialog.Execute();
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
  // A cancelled pick, or the colour the panel had, changes nothing to apply.
  if (Panel->Color() == before) return;
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
  const TPage* page = PageOf(PageControl1->ActivePage());
  if (!page) return;
  ++fPreviewCount;
  TCursor was = Screen->Cursor();
  Screen->SetCursor(crHourGlass);
  struct TCursorBack {
    TCursor c;
    ~TCursorBack() { Screen->SetCursor(c); }
  } back{was};
  TRedozIrIO* io = RedozIr1->GetIO();
  TIOParamsVals& p = io->Params();
  io->SetBilevelConversionMode(BilevelMode);
  ProgressBase = 0;
  using V = TPage::TShow;
  ProgressPasses = page->Show == V::Decoded ? 2 : 1;
  page->Store(*this, p);
  // Every page of the format shows the size.
  auto showSize = [this, page](std::int64_t n) {
    for (const TPage& other : PageTable())
      if (other.FileType == page->FileType) SetSize(CompressedSizeLabel(this->*other.Sheet), n);
  };
  if (page->Show == V::Decoded) {
    TMemoryStream memory;
    io->SaveToStream(memory, page->FileType);
    showSize(memory.Size());
    memory.SetPosition(0);
    ProgressBase = 50;
    RedozIr2->GetIO()->LoadFromStreamFormat(memory, page->FileType);
  } else {
    TNulStream counter;
    io->SaveToStream(counter, page->FileType);
    showSize(counter.Size());
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
    if (page->Show == V::Reduced) {
      if (n <= 256) proc->ConvertTo(static_cast<int>(n), BilevelMode);
    } else if (page->Show == V::PaletteReduced) {
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
  if (const TPage* page = PageOf(PageControl1->ActivePage())) {
    page->WriteBack(*this, *IOParams);
    IOParams->FileType = page->FileType;
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

void IEInitPreviewsDialog() {
  // A program that put its own dialog in first keeps it.
  if (!IEPreviewsDialog) IEPreviewsDialog = IEShowPreviewsDialog;
}

}  // namespace redozir
