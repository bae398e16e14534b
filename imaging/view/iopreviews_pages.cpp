// The save dialog's pages: the table that lists them in tab order and, by
// format, each page's controls, its filling from the working copy, what its
// preview encodes, what OK writes back, and the handlers of its controls.
#include <algorithm>
#include <cmath>

#include "imaging/io/ie_fileformats.h"
#include "imaging/view/iopreviews_internal.h"
#include "platform/stdctrls.h"

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

// A number the user has only begun to type (nothing, or a sign): it reads
// as nothing yet.
bool Unfinished(const TEdit* e) {
  const std::string& t = e->Text();
  return t.empty() || t == "-" || t == "+";
}

// A handler's rewrite of an edit the user types in keeps the caret, so that
// the next key lands where the user expects.
void Rewrite(TEdit* e, const std::string& Text) {
  if (e->Text() == Text) return;
  const int caret = e->SelStart();
  e->SetText(Text);
  e->SetSelStart(caret);
}

TColor RGBToColor(const TRGB& c) { return RGB(c.r, c.g, c.b); }

constexpr int kJpegSmoothMax = 100;
// The rate's track bar counts thousandths: a rate below one is not stored.
constexpr double kJ2000MinRate = 0.001;

const std::vector<std::string> kGIFColors = {"B/W", "4", "8", "16", "32", "64", "128", "256"};

}  // namespace

struct TfIOPreviews::TPages {
  using S = TCaptionStyle;
  static void CreateJPEG(TfIOPreviews& d);
  static void CreateJPEGSimple(TfIOPreviews& d);
  static void FillJPEG(TfIOPreviews& d);
  static void FillJPEGSimple(TfIOPreviews& d);
  static void StoreJPEG(const TfIOPreviews& d, TIOParamsVals& p);
  static void WriteJPEG(const TfIOPreviews& d, TIOParamsVals& o);
  static void CreateTIFF(TfIOPreviews& d);
  static void CreateTIFFSimple(TfIOPreviews& d);
  static void FillTIFF(TfIOPreviews& d);
  static void FillTIFFSimple(TfIOPreviews& d);
  static void StoreTIFF(const TfIOPreviews& d, TIOParamsVals& p);
  static void WriteTIFF(const TfIOPreviews& d, TIOParamsVals& o);
  static void CreateGIF(TfIOPreviews& d);
  static void CreateGIFSimple(TfIOPreviews& d);
  static void FillGIF(TfIOPreviews& d);
  static void FillGIFSimple(TfIOPreviews& d);
  static void StoreGIF(const TfIOPreviews& d, TIOParamsVals& p);
  static void WriteGIF(const TfIOPreviews& d, TIOParamsVals& o);
  static void CreateBMP(TfIOPreviews& d);
  static void FillBMP(TfIOPreviews& d);
  static void StoreBMP(const TfIOPreviews& d, TIOParamsVals& p);
  static void CreatePCX(TfIOPreviews& d);
  static void FillPCX(TfIOPreviews& d);
  static void StorePCX(const TfIOPreviews& d, TIOParamsVals& p);
  static void CreatePNG(TfIOPreviews& d);
  static void FillPNG(TfIOPreviews& d);
  static void StorePNG(const TfIOPreviews& d, TIOParamsVals& p);
  static void WritePNG(const TfIOPreviews& d, TIOParamsVals& o);
  static void CreateTGA(TfIOPreviews& d);
  static void FillTGA(TfIOPreviews& d);
  static void StoreTGA(const TfIOPreviews& d, TIOParamsVals& p);
  static void WriteTGA(const TfIOPreviews& d, TIOParamsVals& o);
  static void CreateJ2000(TfIOPreviews& d);
  static void FillJ2000(TfIOPreviews& d);
  static void StoreJ2000(const TfIOPreviews& d, TIOParamsVals& p);
  static void WriteJ2000(const TfIOPreviews& d, TIOParamsVals& o);
};

std::span<const TfIOPreviews::TPage> TfIOPreviews::PageTable() {
  using P = TPages;
  using V = TPage::TShow;
  // BMP, PCX: what the preview stores is all that OK writes.
  static const TPage pages[] = {
      {&TfIOPreviews::TabSheetJPEG1, ppJPEG, true, false, ioJPEG, V::Decoded, P::CreateJPEG, P::FillJPEG,
       P::StoreJPEG, P::WriteJPEG},
      {&TfIOPreviews::TabSheetJPEG2, ppJPEG, false, true, ioJPEG, V::Decoded, P::CreateJPEGSimple,
       P::FillJPEGSimple, P::StoreJPEG, P::WriteJPEG},
      {&TfIOPreviews::TabSheetTIFF1, ppTIFF, true, false, ioTIFF, V::TIFF, P::CreateTIFF, P::FillTIFF,
       P::StoreTIFF, P::WriteTIFF},
      {&TfIOPreviews::TabSheetTIFF2, ppTIFF, false, true, ioTIFF, V::TIFF, P::CreateTIFFSimple,
       P::FillTIFFSimple, P::StoreTIFF, P::WriteTIFF},
      {&TfIOPreviews::TabSheetGIF1, ppGIF, true, false, ioGIF, V::PaletteReduced, P::CreateGIF, P::FillGIF,
       P::StoreGIF, P::WriteGIF},
      {&TfIOPreviews::TabSheetGIF2, ppGIF, false, true, ioGIF, V::PaletteReduced, P::CreateGIFSimple,
       P::FillGIFSimple, P::StoreGIF, P::WriteGIF},
      {&TfIOPreviews::TabSheetBMP1, ppBMP, true, true, ioBMP, V::Reduced, P::CreateBMP, P::FillBMP,
       P::StoreBMP, P::StoreBMP},
      {&TfIOPreviews::TabSheetPCX1, ppPCX, true, true, ioPCX, V::Reduced, P::CreatePCX, P::FillPCX,
       P::StorePCX, P::StorePCX},
      {&TfIOPreviews::TabSheetPNG1, ppPNG, true, true, ioPNG, V::PaletteReduced, P::CreatePNG, P::FillPNG,
       P::StorePNG, P::WritePNG},
      {&TfIOPreviews::TabSheetTGA1, ppTGA, true, true, ioTGA, V::PaletteReduced, P::CreateTGA, P::FillTGA,
       P::StoreTGA, P::WriteTGA},
      {&TfIOPreviews::TabSheetJ20001, ppJ2000, true, true, ioJ2K, V::Decoded, P::CreateJ2000, P::FillJ2000,
       P::StoreJ2000, P::WriteJ2000},
  };
  return pages;
}

const TfIOPreviews::TPage* TfIOPreviews::PageOf(const TTabSheet* Sheet) const {
  for (const TPage& page : PageTable())
    if (Sheet && this->*page.Sheet == Sheet) return &page;
  return nullptr;
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

// ---- JPEG

void TfIOPreviews::TPages::CreateJPEG(TfIOPreviews& d) {
  auto* p = d.TabSheetJPEG1 = d.AddPage("JPEG");
  d.AddLabel(p, 16, 8, 35, 13, "&Quality:", 38);
  d.AddSizeLabels(p, 141, 157);
  d.Edit22 = d.AddEdit(p, 77, 5, 33, 21, "0", [&d] { d.Edit22Change(); });
  d.TrackBar13 = d.AddTrackBar(p, 100, 5, [&d] { d.TrackBar13Change(); });
  auto* g5 = d.AddGroupBox(p, 8, 43, 388, 84, " Advanced ", 45);
  d.AddLabel(g5, 8, 20, 63, 13, "&DCT method:", 39);
  d.AddLabel(g5, 8, 48, 83, 13, "&Smoothing factor:", 40);
  d.AddLabel(g5, 240, 20, 59, 13, "P&hotometric:", 49);
  auto jpeg = [&d] { d.TrackBar13Change(); };
  d.CheckBox2 = d.AddCheck(g5, 238, 42, 121, 17, "&Optimal Huffman", 42, S::Plain, jpeg);
  d.ComboBox1 = d.AddCombo(g5, 114, 17, 109, 21, {"ISLOW", "IFAST", "FLOAT"}, jpeg);
  d.Edit23 = d.AddEdit(g5, 114, 45, 37, 21, "0", [&d] { d.Edit22Change(); });
  d.UpDown11 = d.AddUpDown(d.Edit23, kJpegSmoothMax, true);
  d.CheckBox3 = d.AddCheck(g5, 238, 60, 121, 17, "P&rogressive", 46, S::Plain, jpeg);
  d.ComboBox13 = d.AddCombo(g5, 306, 17, 78, 21, {"RGB", "GrayScale", "YCbCr", "CMYK", "YCbCrK"}, jpeg);
}

void TfIOPreviews::TPages::CreateJPEGSimple(TfIOPreviews& d) {
  auto* p = d.TabSheetJPEG2 = d.AddPage("JPEG");
  d.AddLabel(p, 16, 8, 35, 13, "&Quality:", 38);
  d.AddSizeLabels(p, 61, 77);
  d.Edit16 = d.AddEdit(p, 77, 5, 33, 21, "0", [&d] { d.Edit16Change(); });
  d.TrackBar2 = d.AddTrackBar(p, 100, 5, [&d] { d.TrackBar2Change(); });
}

void TfIOPreviews::TPages::FillJPEG(TfIOPreviews& d) {
  const TIOParamsVals& w = d.fWork;
  d.Edit22->SetText(std::to_string(w.JPEGQuality));
  d.TrackBar13->SetPosition(w.JPEGQuality);
  d.ComboBox13->SetItemIndex(w.JPEGColorSpace);
  d.ComboBox1->SetItemIndex(w.JPEGDCTMethod);
  d.CheckBox2->SetChecked(w.JPEGOptimalHuffman);
  d.Edit23->SetText(std::to_string(w.JPEGSmooth));
  d.UpDown11->SetPosition(w.JPEGSmooth);
  d.CheckBox3->SetChecked(w.JPEGProgressive);
}

void TfIOPreviews::TPages::FillJPEGSimple(TfIOPreviews& d) {
  d.Edit16->SetText(std::to_string(d.fWork.JPEGQuality));
  d.TrackBar2->SetPosition(d.fWork.JPEGQuality);
}

void TfIOPreviews::TPages::StoreJPEG(const TfIOPreviews& d, TIOParamsVals& p) {
  const TIOParamsVals& w = d.fWork;
  p.JPEGQuality = w.JPEGQuality;
  p.JPEGColorSpace = w.JPEGColorSpace;
  p.JPEGDCTMethod = w.JPEGDCTMethod;
  p.JPEGOptimalHuffman = w.JPEGOptimalHuffman;
  p.JPEGSmooth = w.JPEGSmooth;
  p.JPEGProgressive = w.JPEGProgressive;
}

void TfIOPreviews::TPages::WriteJPEG(const TfIOPreviews& d, TIOParamsVals& o) {
  StoreJPEG(d, o);
  o.JPEGDCTMethod = std::min<std::uint8_t>(o.JPEGDCTMethod, 2);
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
  Rewrite(Edit22, std::to_string(quality));
  Changed(true);
}

void TfIOPreviews::Edit22Change() {
  if (!ControlsReady || Unfinished(Edit22) || Unfinished(Edit23)) return;
  int quality = ReadInt(Edit22, 50);
  int smooth = ReadInt(Edit23, 0);
  if (quality != fWork.JPEGQuality || smooth != fWork.JPEGSmooth) {
    TrackBar13->SetPosition(quality);
    TrackBar13Change();
  }
  // The edit shows the quality the track bar took.
  Rewrite(Edit22, std::to_string(TrackBar13->Position()));
  Button4->SetEnabled(true);
}

void TfIOPreviews::TrackBar2Change() {
  if (!ControlsReady) return;
  int quality = TrackBar2->Position();
  if (quality == fWork.JPEGQuality) return;
  fWork.JPEGQuality = quality;
  Rewrite(Edit16, std::to_string(quality));
  Changed(true);
}

void TfIOPreviews::Edit16Change() {
  if (!ControlsReady || Unfinished(Edit16)) return;
  int quality = ReadInt(Edit16, 50);
  if (quality != fWork.JPEGQuality) {
    TrackBar2->SetPosition(quality);
    TrackBar2Change();
  }
  Rewrite(Edit16, std::to_string(TrackBar2->Position()));
  Button4->SetEnabled(true);
}

// ---- TIFF

void TfIOPreviews::TPages::CreateTIFF(TfIOPreviews& d) {
  auto* p = d.TabSheetTIFF1 = d.AddPage("TIFF");
  d.AddLabel(p, 15, 8, 63, 13, "&Compression:", 47);
  d.AddLabel(p, 236, 8, 60, 13, "&Image index:", 48);
  d.AddLabel(p, 15, 32, 59, 13, "P&hotometric:", 49);
  d.AddLabel(p, 236, 32, 32, 13, "C&olors:", 58);
  d.AddSizeLabels(p, 149, 165);
  d.ComboBox2 = d.AddCombo(p, 95, 5, 127, 21, {}, [&d] { d.ComboBox2Click(d.ComboBox2); });
  auto tiff = [&d] { d.ComboBox2Click(nullptr); };
  d.Edit1 = d.AddEdit(p, 324, 5, 33, 21, "0", tiff);
  d.UpDown1 = d.AddUpDown(d.Edit1, 1000, false);
  d.ComboBox3 = d.AddCombo(
      p, 95, 30, 127, 21,
      {"WHITEISZERO/Gray", "BLACKISZERO/Gray", "RGB", "RGBPALETTE", "TRANSPMASK", "CMYK", "YCBCR", "CIELAB"},
      [&d] { d.ComboBox2Click(d.ComboBox3); });
  auto* g1 = d.AddGroupBox(p, 8, 55, 401, 91, " Scanned document info ", 50);
  d.AddLabel(g1, 8, 67, 99, 13, "H&oriz. Position (inch):", 56);
  d.AddLabel(g1, 182, 67, 94, 13, "&Vert. Position (inch):", 57);
  d.AddLabel(g1, 8, 19, 31, 13, "&Name:", 51);
  d.AddLabel(g1, 182, 19, 56, 13, "&Description:", 52);
  d.AddLabel(g1, 8, 44, 57, 13, "P&age name:", 53);
  d.AddLabel(g1, 182, 44, 68, 13, "Page N&umber:", 54);
  d.AddLabel(g1, 334, 44, 9, 13, "o&f", 55, S::Plain);
  d.Edit2 = d.AddEdit(g1, 124, 64, 49, 21, "", tiff);
  d.Edit3 = d.AddEdit(g1, 292, 63, 49, 21, "", tiff);
  d.Edit4 = d.AddEdit(g1, 68, 16, 105, 21, "", tiff);
  d.Edit5 = d.AddEdit(g1, 251, 15, 139, 21, "", tiff);
  d.Edit6 = d.AddEdit(g1, 97, 40, 76, 21, "", tiff);
  d.Edit7 = d.AddEdit(g1, 292, 40, 33, 21, "", tiff);
  d.Edit8 = d.AddEdit(g1, 357, 40, 33, 21, "", tiff);
  d.ComboBox4 = d.AddCombo(p, 324, 30, 77, 21, {"B/W", "16", "256", "65536", "16M"},
                           [&d] { d.ComboBox2Click(d.ComboBox4); });
}

void TfIOPreviews::TPages::CreateTIFFSimple(TfIOPreviews& d) {
  auto* p = d.TabSheetTIFF2 = d.AddPage("TIFF");
  d.AddSizeLabels(p, 61, 77);
  d.AddLabel(p, 15, 8, 63, 13, "&Compression:", 47);
  d.AddLabel(p, 15, 34, 32, 13, "C&olors:", 58);
  d.ComboBox16 = d.AddCombo(p, 95, 5, 127, 21, {}, [&d] { d.ComboBox16Change(d.ComboBox16); });
  d.ComboBox17 = d.AddCombo(p, 95, 32, 77, 21, {"2", "16", "256", "16777216"},
                            [&d] { d.ComboBox16Change(d.ComboBox17); });
}

void TfIOPreviews::TPages::FillTIFF(TfIOPreviews& d) {
  TIOParamsVals& w = d.fWork;
  d.ComboBox2->SetItemIndex(IETIFFCompressionToIndex(w.TIFFCompression, d.fLzw));
  d.Edit1->SetText(std::to_string(w.TIFFImageIndex));
  d.ComboBox3->SetItemIndex(w.TIFFPhotometric);
  d.Edit2->SetText(std::to_string(w.TIFFXPos));
  d.Edit3->SetText(std::to_string(w.TIFFYPos));
  d.Edit4->SetText(w.TIFFDocumentName);
  d.Edit5->SetText(w.TIFFImageDescription);
  d.Edit6->SetText(w.TIFFPageName);
  d.Edit7->SetText(std::to_string(w.TIFFPageNumber));
  d.Edit8->SetText(std::to_string(w.TIFFPageCount));
  d.ComboBox4->SetItemIndex(TIFFColorIndexFor(w.TIFFPhotometric, w.BitsPerSample, w.SamplesPerPixel, true));
}

void TfIOPreviews::TPages::FillTIFFSimple(TfIOPreviews& d) {
  TIOParamsVals& w = d.fWork;
  if (w.TIFFCompression >= ioTIFF_CCITT1D && w.TIFFCompression <= ioTIFF_G4FAX) {
    w.BitsPerSample = 1;
    w.SamplesPerPixel = 1;
  } else if (w.TIFFCompression == ioTIFF_JPEG) {
    w.BitsPerSample = 8;
    w.SamplesPerPixel = 3;
  }
  d.ComboBox16->SetItemIndex(IETIFFCompressionToIndex(w.TIFFCompression, d.fLzw));
  d.ComboBox17->SetItemIndex(TIFFColorIndexFor(w.TIFFPhotometric, w.BitsPerSample, w.SamplesPerPixel, false));
}

void TfIOPreviews::TPages::StoreTIFF(const TfIOPreviews& d, TIOParamsVals& p) {
  const TIOParamsVals& w = d.fWork;
  p.TIFFLZWCompressor = w.TIFFLZWCompressor;
  p.TIFFLZWDecompressor = w.TIFFLZWDecompressor;
  p.TIFFCompression = w.TIFFCompression;
  p.TIFFPhotometric = w.TIFFPhotometric;
  p.SamplesPerPixel = w.SamplesPerPixel;
  p.BitsPerSample = w.BitsPerSample;
}

void TfIOPreviews::TPages::WriteTIFF(const TfIOPreviews& d, TIOParamsVals& o) {
  const TIOParamsVals& w = d.fWork;
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

// ---- GIF

void TfIOPreviews::TPages::CreateGIF(TfIOPreviews& d) {
  auto* p = d.TabSheetGIF1 = d.AddPage("GIF");
  d.AddLabel(p, 216, 8, 60, 13, "&Image index:", 48);
  d.AddLabel(p, 30, 8, 32, 13, "&Colors:", 58);
  d.Label34 = d.AddLabel(p, 216, 32, 86, 13, "T&ransparent color:", 60);
  d.AddLabel(p, 216, 53, 61, 13, "&Background:", 62);
  d.AddSizeLabels(p, 150, 166);
  auto gif = [&d] { d.ComboBox5Click(); };
  d.Edit9 = d.AddEdit(p, 319, 5, 33, 21, "0", gif);
  d.UpDown2 = d.AddUpDown(d.Edit9, 1000, false);
  d.ComboBox5 = d.AddCombo(p, 101, 6, 65, 21, kGIFColors, gif);
  d.Panel3 = d.AddColorPanel(p, 319, 31, [&d] { d.PanelClick(d.Panel3, d.fWork.GIFTranspColor, true); });
  d.CheckBox4 = d.AddCheck(p, 28, 32, 86, 17, "&Transparent:", 59, S::Colon, gif);
  d.CheckBox5 = d.AddCheck(p, 28, 53, 86, 17, "I&nterlaced:", 61, S::Colon, gif);
  d.Panel4 = d.AddColorPanel(p, 319, 53, [&d] { d.PanelClick(d.Panel4, d.fWork.GIFBackground, true); });
  auto* g2 = d.AddGroupBox(p, 16, 74, 385, 74, " Advanced ", 45);
  d.AddLabel(g2, 202, 20, 52, 13, "&Delay time:", 65);
  d.AddLabel(g2, 14, 20, 70, 13, "&Horiz. Position:", 63);
  d.AddLabel(g2, 15, 47, 65, 13, "&Vert. Position:", 64);
  d.AddLabel(g2, 340, 20, 37, 13, "1/100 s");
  d.Edit12 = d.AddEdit(g2, 286, 16, 48, 21, "", gif);
  d.Edit10 = d.AddEdit(g2, 94, 16, 43, 21, "", gif);
  d.Edit11 = d.AddEdit(g2, 94, 44, 43, 21, "", gif);
}

void TfIOPreviews::TPages::CreateGIFSimple(TfIOPreviews& d) {
  auto* p = d.TabSheetGIF2 = d.AddPage("GIF");
  d.AddSizeLabels(p, 61, 77);
  d.AddLabel(p, 15, 8, 32, 13, "&Colors:", 58);
  d.ComboBox18 = d.AddCombo(p, 85, 6, 65, 21, kGIFColors, [&d] { d.ComboBox18Change(); });
}

void TfIOPreviews::TPages::FillGIF(TfIOPreviews& d) {
  TIOParamsVals& w = d.fWork;
  d.Edit9->SetText(std::to_string(w.GIFImageIndex));
  d.Edit10->SetText(std::to_string(w.GIFXPos));
  d.Edit11->SetText(std::to_string(w.GIFYPos));
  d.Edit12->SetText(std::to_string(w.GIFDelayTime));
  d.ComboBox5->SetItemIndex(w.BitsPerSample - 1);
  d.CheckBox4->SetChecked(w.GIFTransparent);
  d.Label34->SetEnabled(w.GIFTransparent);
  d.Panel3->SetEnabled(w.GIFTransparent);
  d.CheckBox5->SetChecked(w.GIFInterlaced);
  d.Panel3->SetColor(RGBToColor(w.GIFTranspColor));
  d.Panel4->SetColor(RGBToColor(w.GIFBackground));
}

void TfIOPreviews::TPages::FillGIFSimple(TfIOPreviews& d) {
  TIOParamsVals& w = d.fWork;
  d.ComboBox18->SetItemIndex(w.BitsPerSample - 1);
}

void TfIOPreviews::TPages::StoreGIF(const TfIOPreviews& d, TIOParamsVals& p) {
  p.BitsPerSample = d.fWork.BitsPerSample;
  p.SamplesPerPixel = 1;
  p.GIFInterlaced = d.fWork.GIFInterlaced;
}

void TfIOPreviews::TPages::WriteGIF(const TfIOPreviews& d, TIOParamsVals& o) {
  const TIOParamsVals& w = d.fWork;
  o.SetImageIndex(w.GIFImageIndex);
  o.GIFXPos = w.GIFXPos;
  o.GIFYPos = w.GIFYPos;
  o.GIFDelayTime = w.GIFDelayTime;
  o.GIFTransparent = w.GIFTransparent;
  o.GIFTranspColor = w.GIFTranspColor;
  o.GIFInterlaced = w.GIFInterlaced;
  o.GIFBackground = w.GIFBackground;
  o.BitsPerSample = w.BitsPerSample;
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

// ---- BMP and PCX

void TfIOPreviews::TPages::CreateBMP(TfIOPreviews& d) {
  auto* p = d.TabSheetBMP1 = d.AddPage("BMP");
  d.AddLabel(p, 16, 8, 63, 13, "&Compression:", 47);
  d.AddLabel(p, 16, 37, 32, 13, "C&olors:", 58);
  d.AddSizeLabels(p, 141, 157);
  d.ComboBox6 = d.AddCombo(p, 96, 5, 127, 21, {"UNCOMPRESSED", "RLE"}, [&d] { d.ComboBox6Change(); });
  d.ComboBox7 = d.AddCombo(p, 96, 35, 77, 21, {"B/W", "16", "256", "16M", "16M (32bit)"},
                           [&d] { d.ComboBox6Change(); });
}

void TfIOPreviews::TPages::CreatePCX(TfIOPreviews& d) {
  auto* p = d.TabSheetPCX1 = d.AddPage("PCX");
  d.AddLabel(p, 16, 8, 63, 13, "&Compression:", 47);
  d.AddLabel(p, 16, 37, 32, 13, "C&olors:", 58);
  d.AddSizeLabels(p, 141, 157);
  d.ComboBox8 = d.AddCombo(p, 96, 5, 127, 21, {"UNCOMPRESSED", "RLE"}, [&d] { d.ComboBox8Change(); });
  d.ComboBox9 = d.AddCombo(p, 96, 35, 77, 21, {"B/W", "16", "256", "16M"}, [&d] { d.ComboBox8Change(); });
}

void TfIOPreviews::TPages::FillBMP(TfIOPreviews& d) {
  TIOParamsVals& w = d.fWork;
  d.ComboBox6->SetItemIndex(w.BMPCompression == 0 ? 0 : 1);
  d.ComboBox7->SetItemIndex(d.fBMPColors);
}

void TfIOPreviews::TPages::FillPCX(TfIOPreviews& d) {
  TIOParamsVals& w = d.fWork;
  d.ComboBox8->SetItemIndex(w.PCXCompression == 0 ? 0 : 1);
  d.ComboBox9->SetItemIndex(d.fPCXColors);
}

void TfIOPreviews::TPages::StoreBMP(const TfIOPreviews& d, TIOParamsVals& p) {
  p.BMPCompression = d.fWork.BMPCompression;
  DepthOf(kBMPColors, d.fBMPColors, p.BitsPerSample, p.SamplesPerPixel);
}

void TfIOPreviews::TPages::StorePCX(const TfIOPreviews& d, TIOParamsVals& p) {
  p.PCXCompression = d.fWork.PCXCompression;
  DepthOf(kPCXColors, d.fPCXColors, p.BitsPerSample, p.SamplesPerPixel);
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

// ---- PNG

void TfIOPreviews::TPages::CreatePNG(TfIOPreviews& d) {
  auto* p = d.TabSheetPNG1 = d.AddPage("PNG");
  d.AddLabel(p, 16, 8, 32, 13, "C&olors:", 58);
  d.Label54 = d.AddLabel(p, 216, 8, 61, 13, "&Background:", 62);
  d.AddSizeLabels(p, 141, 157);
  auto png = [&d] { d.ComboBox10Change(); };
  d.ComboBox10 = d.AddCombo(p, 96, 5, 77, 21, {"B/W", "256", "16M"}, png);
  d.Panel1 = d.AddColorPanel(p, 311, 7, [&d] { d.PanelClick(d.Panel1, d.fWork.PNGBackground, false); });
  d.GroupBox3 = d.AddGroupBox(p, 8, 42, 388, 74, " Advanced ", 45);
  d.AddLabel(d.GroupBox3, 10, 20, 22, 13, "&Filter", 66);
  d.AddLabel(d.GroupBox3, 195, 20, 60, 13, "Co&mpression", 47);
  d.ComboBox11 = d.AddCombo(d.GroupBox3, 88, 17, 89, 21, {"None", "Sub", "Paeth"}, png);
  d.CheckBox6 = d.AddCheck(d.GroupBox3, 10, 47, 91, 17, "I&nterlaced:", 61, S::Plain, png);
  d.ComboBox12 =
      d.AddCombo(d.GroupBox3, 272, 17, 109, 21, {"None", "1", "2", "3", "4", "5", "6", "7", "8", "Max"}, png);
}

void TfIOPreviews::TPages::FillPNG(TfIOPreviews& d) {
  TIOParamsVals& w = d.fWork;
  d.ComboBox10->SetItemIndex(d.fPNGColors);
  d.CheckBox6->SetChecked(w.PNGInterlaced);
  d.ComboBox11->SetItemIndex(w.PNGFilter);
  d.ComboBox12->SetItemIndex(w.PNGCompression);
  d.Panel1->SetColor(RGBToColor(w.PNGBackground));
}

void TfIOPreviews::TPages::StorePNG(const TfIOPreviews& d, TIOParamsVals& p) {
  const TIOParamsVals& w = d.fWork;
  DepthOf(kPNGColors, d.fPNGColors, p.BitsPerSample, p.SamplesPerPixel);
  p.PNGInterlaced = w.PNGInterlaced;
  p.PNGFilter = w.PNGFilter;
  p.PNGCompression = w.PNGCompression;
}

void TfIOPreviews::TPages::WritePNG(const TfIOPreviews& d, TIOParamsVals& o) {
  StorePNG(d, o);
  o.PNGBackground = d.fWork.PNGBackground;
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

// ---- TGA

void TfIOPreviews::TPages::CreateTGA(TfIOPreviews& d) {
  auto* p = d.TabSheetTGA1 = d.AddPage("TGA");
  d.AddLabel(p, 16, 8, 32, 13, "C&olors:", 58);
  d.Label63 = d.AddLabel(p, 216, 8, 61, 13, "&Background:", 62);
  d.Label64 = d.AddLabel(p, 16, 59, 31, 13, "&Name:", 51);
  d.Label65 = d.AddLabel(p, 16, 91, 56, 13, "&Description:", 52);
  d.AddSizeLabels(p, 141, 157);
  auto tga = [&d] { d.ComboBox14Click(); };
  d.ComboBox14 = d.AddCombo(p, 96, 5, 77, 21, {"B/W", "256", "16M"}, tga);
  d.Panel5 = d.AddColorPanel(p, 311, 7, [&d] { d.PanelClick(d.Panel5, d.fWork.TGABackground, false); });
  d.CheckBox1 = d.AddCheck(p, 14, 32, 95, 17, "Compression:", 47, S::Colon, tga);
  d.Edit13 = d.AddEdit(p, 95, 56, 298, 21, "", tga);
  d.Edit14 = d.AddEdit(p, 95, 87, 298, 21, "", tga);
}

void TfIOPreviews::TPages::FillTGA(TfIOPreviews& d) {
  TIOParamsVals& w = d.fWork;
  d.ComboBox14->SetItemIndex(d.fTGAColors);
  d.CheckBox1->SetChecked(w.TGACompressed);
  d.Edit13->SetText(w.TGAImageName);
  d.Edit14->SetText(w.TGADescriptor);
  d.Panel5->SetColor(RGBToColor(w.TGABackground));
}

void TfIOPreviews::TPages::StoreTGA(const TfIOPreviews& d, TIOParamsVals& p) {
  DepthOf(kPNGColors, d.fTGAColors, p.BitsPerSample, p.SamplesPerPixel);
  p.TGACompressed = d.fWork.TGACompressed;
}

void TfIOPreviews::TPages::WriteTGA(const TfIOPreviews& d, TIOParamsVals& o) {
  const TIOParamsVals& w = d.fWork;
  StoreTGA(d, o);
  o.TGABackground = w.TGABackground;
  o.TGAImageName = w.TGAImageName;
  o.TGADescriptor = w.TGADescriptor;
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

// ---- JPEG 2000

void TfIOPreviews::TPages::CreateJ2000(TfIOPreviews& d) {
  auto* p = d.TabSheetJ20001 = d.AddPage("JPEG2000");
  d.AddLabel(p, 11, 8, 26, 13, "&Rate:", 123);
  d.AddSizeLabels(p, 141, 157);
  d.Label71 = d.AddLabel(p, 11, 44, 59, 13, "P&hotometric:", 49);
  d.Edit15 = d.AddEdit(p, 77, 5, 33, 21, "0", [&d] { d.Edit15Change(); });
  d.TrackBar1 = d.AddTrackBar(p, 1000, 20, [&d] { d.TrackBar1Change(); });
  d.ComboBox15 = d.AddCombo(p, 77, 41, 78, 21, {"GrayScale", "RGB", "YCbCr"}, [&d] { d.TrackBar1Change(); });
}

void TfIOPreviews::TPages::FillJ2000(TfIOPreviews& d) {
  TIOParamsVals& w = d.fWork;
  int r = static_cast<int>(std::lround(w.J2000Rate * 1000));
  d.Edit15->SetText(std::to_string(r));
  d.TrackBar1->SetPosition(r);
  d.ComboBox15->SetItemIndex(w.J2000ColorSpace);
}

void TfIOPreviews::TPages::StoreJ2000(const TfIOPreviews& d, TIOParamsVals& p) {
  p.J2000Rate = d.fWork.J2000Rate;
  p.J2000ColorSpace = d.fWork.J2000ColorSpace;
  p.BitsPerSample = 8;
  p.SamplesPerPixel = 3;
}

void TfIOPreviews::TPages::WriteJ2000(const TfIOPreviews& d, TIOParamsVals& o) {
  const TIOParamsVals& w = d.fWork;
  o.J2000ColorSpace = w.J2000ColorSpace;
  o.BitsPerSample = 8;
  o.SamplesPerPixel = w.J2000ColorSpace == ioJ2000_GRAYSCALE ? 1 : 3;
  o.J2000Rate = w.J2000Rate;
}

void TfIOPreviews::Edit15Change() {
  if (!ControlsReady || Unfinished(Edit15)) return;
  int typed = ReadInt(Edit15, 1000);
  if (typed / 1000.0 != fWork.J2000Rate) {
    TrackBar1->SetPosition(typed);
    TrackBar1Change();
  }
  Rewrite(Edit15, std::to_string(std::lround(fWork.J2000Rate * 1000)));
}

void TfIOPreviews::TrackBar1Change() {
  if (!ControlsReady) return;
  int pos = TrackBar1->Position();
  int space = std::max(ComboBox15->ItemIndex(), 0);
  if (std::lround(fWork.J2000Rate * 1000) == pos && space == fWork.J2000ColorSpace) return;
  // Rate 0 stores nothing an encoder can meet: the least rate is one step.
  fWork.J2000Rate = std::max(pos / 1000.0, kJ2000MinRate);
  fWork.J2000ColorSpace = static_cast<std::uint8_t>(space);
  Rewrite(Edit15, std::to_string(std::lround(fWork.J2000Rate * 1000)));
  Changed(true);
}

}  // namespace redozir
