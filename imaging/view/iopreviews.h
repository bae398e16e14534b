// TfIOPreviews: the modal dialog in which a user sets the save parameters of
// one format and sees their effect: the image on the left, the image as those
// parameters would store it on the right, the original and compressed sizes,
// and one page of controls per format. TRedozIrIO::DoPreviews opens it; OK
// (or Apply) writes the showing page's parameters back into the component.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "imaging/core/dialog_text.h"
#include "imaging/formats/ioparams.h"
#include "imaging/io/redozir_io.h"
#include "platform/buttons.h"
#include "platform/dialogs.h"
#include "platform/edits.h"
#include "platform/forms.h"
#include "platform/stdctrls.h"

#pragma GCC visibility push(default)
namespace redozir {

class TRedozIrView;
class TRedozIrPaletteDialog;

class TfIOPreviews : public TForm {
 public:
  explicit TfIOPreviews(TComponent* AOwner);
  ~TfIOPreviews() override;

  // --- state
  std::uint16_t Pages = 0;
  std::string CancelCaption = "&Cancel";
  bool ControlsReady = false;
  bool Simplified = true;
  TIOParamsVals* IOParams = nullptr;
  bool DefaultLockPreview = false;
  int ProgressBase = 0;
  int ProgressPasses = 1;
  std::uint8_t BilevelMode = 1;
  bool Activated = false;

  // Stores the page set (the automatic bit adds the page of the parameters'
  // file type); False exactly when the set is the automatic bit alone.
  bool SelectPages(std::uint16_t APages);
  void SetLanguage(TMsgLanguage Language);

  // --- handlers
  void FormActivate();
  void FormResize();
  void PageControl1Changing(bool& AllowChange);
  void PageControl1Change();
  void RedozIr1ViewChange();
  void RedozIr1Progress(int Per);
  void SpeedButton1Click();
  void Button1Click();
  void Button3Click() { Preview(); }
  void Button4Click();
  // Encodes the image with the working copy and shows the outcome.
  void Preview();

  // --- controls
  TImage* Image1;
  TLabel *Label1, *Label2;
  TButton *Button1, *Button2, *Button3, *Button4;
  TPageControl* PageControl1;
  TCheckBox* chkLockPreview;
  TRedozIrView *RedozIr1, *RedozIr2;
  TProgressBar* ProgressBar1;
  TColorDialog* ColorDialog1;
  TTabSheet *TabSheetJPEG1, *TabSheetJPEG2, *TabSheetTIFF1, *TabSheetTIFF2, *TabSheetGIF1, *TabSheetGIF2,
      *TabSheetBMP1, *TabSheetPCX1, *TabSheetPNG1, *TabSheetTGA1, *TabSheetJ20001;
  // JPEG
  TEdit *Edit22, *Edit23, *Edit16;
  TTrackBar *TrackBar13, *TrackBar2;
  TComboBox *ComboBox1, *ComboBox13;
  TCheckBox *CheckBox2, *CheckBox3;
  TUpDown* UpDown11;
  // TIFF
  TComboBox *ComboBox2, *ComboBox3, *ComboBox4, *ComboBox16, *ComboBox17;
  TEdit *Edit1, *Edit2, *Edit3, *Edit4, *Edit5, *Edit6, *Edit7, *Edit8;
  TUpDown* UpDown1;
  // GIF
  TComboBox *ComboBox5, *ComboBox18;
  TEdit *Edit9, *Edit10, *Edit11, *Edit12;
  TUpDown* UpDown2;
  TCheckBox *CheckBox4, *CheckBox5;
  TPanel *Panel3, *Panel4;
  TLabel* Label34;
  // BMP, PCX
  TComboBox *ComboBox6, *ComboBox7, *ComboBox8, *ComboBox9;
  // PNG
  TComboBox *ComboBox10, *ComboBox11, *ComboBox12;
  TCheckBox* CheckBox6;
  TPanel* Panel1;
  TLabel* Label54;
  TGroupBox* GroupBox3;
  // TGA
  TComboBox* ComboBox14;
  TPanel* Panel5;
  TCheckBox* CheckBox1;
  TEdit *Edit13, *Edit14;
  TLabel *Label63, *Label64, *Label65;
  // JPEG 2000
  TEdit* Edit15;
  TTrackBar* TrackBar1;
  TComboBox* ComboBox15;
  TLabel* Label71;

  // The page's original-size and compressed-size labels.
  TLabel* OriginalSizeLabel(TTabSheet* Page) const;
  TLabel* CompressedSizeLabel(TTabSheet* Page) const;

 private:
  friend struct TfIOPreviewsTesting;
  // The pages in tab order, each with its controls, its filling from the
  // working copy, the parameters its preview stores and what OK writes back
  // (iopreviews_internal.h); their routines (iopreviews_pages.cpp).
  struct TPage;
  struct TPages;
  static std::span<const TPage> PageTable();
  // The row of a page (nullptr for none).
  const TPage* PageOf(const TTabSheet* Sheet) const;

  struct TSizeLabels {
    TTabSheet* Page;
    TLabel *OriginalCaption, *Original, *CompressedCaption, *Compressed;
  };
  // A caption from the dialog texts: Id, then ":" (Colon), " text " (Spaced)
  // or as it stands.
  enum class TCaptionStyle { Plain, Colon, Spaced };
  struct TCaption {
    TControl* Control;
    int Id;
    TCaptionStyle Style;
  };

  TLabel* AddLabel(TControl* Parent, int L, int T, int W, int H, const std::string& Text, int Id = -1,
                   TCaptionStyle Style = TCaptionStyle::Colon);
  TComboBox* AddCombo(TControl* Parent, int L, int T, int W, int H, std::vector<std::string> Items,
                      const std::function<void()>& Handler);
  TEdit* AddEdit(TControl* Parent, int L, int T, int W, int H, const std::string& Text,
                 const std::function<void()>& Handler);
  TCheckBox* AddCheck(TControl* Parent, int L, int T, int W, int H, const std::string& Text, int Id,
                      TCaptionStyle Style, const std::function<void()>& Handler);
  TPanel* AddColorPanel(TControl* Parent, int L, int T, const std::function<void()>& Handler);
  // A track bar at the place every page gives it.
  TTrackBar* AddTrackBar(TControl* Parent, int Max, int Frequency, const std::function<void()>& Handler);
  TUpDown* AddUpDown(TEdit* Associate, int Max, bool Thousands);
  // Its caption is dialog text Id, spaced.
  TGroupBox* AddGroupBox(TControl* Parent, int L, int T, int W, int H, const std::string& Text, int Id);
  TTabSheet* AddPage(const std::string& Caption);
  // Gives each caption that is wider than the room the layout leaves it a
  // narrower face, then a smaller size, until it fits.
  void FitCaptions();
  void AddSizeLabels(TTabSheet* Page, int CaptionTop, int ValueTop);
  void CreateControls();

  void LoadWorkingCopy();
  void FillPage(TTabSheet* Page);
  // The working copy from the parameters, and the active page from that.
  void ReloadActivePage();
  // Runs Fill with ControlsReady False, restoring it afterwards.
  void Filling(const std::function<void()>& Fill);
  void Changed(bool ImageChanged);
  void ShowPreviewIfLocked();
  void SetSize(TLabel* L, std::int64_t Bytes);

  void TrackBar13Change();
  void Edit22Change();
  void TrackBar2Change();
  void Edit16Change();
  void ComboBox2Click(TControl* Changed);
  void ComboBox16Change(TControl* Changed);
  // Stores the TIFF settings that change the image; True when one changed.
  bool StoreTIFFImage(int Compression, int Photometric, int Bits, int Samples);
  void ComboBox5Click();
  void ComboBox18Change();
  // BMP and PCX: a compression list (uncompressed or RLE) and a colour list.
  void CompressionAndColors(TComboBox* Compression, TComboBox* Colors, int& ColorIndex, std::uint8_t& Stored);
  void ComboBox6Change();
  void ComboBox8Change();
  void ComboBox10Change();
  void ComboBox14Click();
  void Edit15Change();
  void TrackBar1Change();
  void PanelClick(TPanel* Panel, TRGB& Target, bool Gif);

  std::vector<TSizeLabels> fSizes;
  std::vector<TCaption> fCaptions;
  // The font the captions are laid out for.
  TFont fCaptionFont;
  bool fActivationRan = false;
  bool fLzw = false;
  // The working copy: every edited field mirrors IOParams, plus the colour
  // list indices of BMP, PCX, PNG and TGA.
  TIOParamsVals fWork;
  int fBMPColors = 3, fPCXColors = 3, fPNGColors = 2, fTGAColors = 2;
  // Previews computed so far (each a real encode).
  int fPreviewCount = 0;
  // Answers the palette picker a colour panel opens (nullptr: shown modally).
  std::function<bool(TRedozIrPaletteDialog& Dialog)> fExecutePalette;
};

// Installs the dialog as the one TRedozIrIO::DoPreviews opens, unless the
// program installed one of its own.
void IEInitPreviewsDialog();
// The dialog's opening sequence for IO (what DoPreviews runs once its event
// and BeginWork let it).
bool IEShowPreviewsDialog(TRedozIrIO& IO, std::uint16_t Pages);

// TIFF compression and its list: the list index of a compression value and
// back, with or without the LZW compressor installed.
int IETIFFCompressionToIndex(int Compression, bool Lzw);
int IETIFFIndexToCompression(int Index, bool Lzw);

}  // namespace redozir
#pragma GCC visibility pop
