#include <gtest/gtest.h>
#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "imaging/core/dialog_text.h"
#include "imaging/core/ie_startup.h"

using namespace redozir;

namespace {

struct TLanguageRow {
  TMsgLanguage Language;
  const char* CodePage;
  const char* Text0;
  const char* Text5;
  const char* Text37;
};

// Ids 0, 5 and 37 of every language, and the code page its texts must fit.
const TLanguageRow Rows[] = {
    {msEnglish, "CP1252", "Preview", "Lock preview", "Parameters Preview"},
    {msItalian, "CP1252", "Anteprima", "Blocca anteprima", "Anteprima parametri"},
    {msGerman, "CP1252", "Vorschau", "Automatische Vorschau", "Parameter-Vorschau"},
    {msSpanish, "CP1252", "Vista Previa", "Bloquear Vista Previa", "Revisión de Parámetros"},
    {msFrench, "CP1252", "Prévisualisation", "Bloquer la prévisualisation", "Paramètres de l'aperçu"},
    {msPortuguese, "CP1252", "Visualizar", "Bloquear Visualização", "Pré-Visualização de Parâmetros"},
    {msGreek, "CP1253", "Προεπισκόπηση", "Κλείδωμα προεπισκόπησης", "Προεπισκόπηση ρυθμίσεων"},
    {msRussian, "CP1251", "Просмотр", "Блокировать", "Настройка параметров"},
    {msDutch, "CP1252", "Voorbeeld", "Voorbeeld op slot", "Parameters Voorbeeld"},
    {msSwedish, "CP1252", "Granska", "Lås granskning", "Granskningsparameter"},
    {msPolish, "CP1250", "Podgląd", "Zablokuj podgląd", "Parametry podglądu"},
    {msJapanese, "CP932", "プレビュー", "常にプレビュー", "プレビュー"},
    {msCzech, "CP1250", "Náhled", "Automatický náhled", "Náhled"},
    {msFinnish, "CP1252", "Esikatselu", "Lukitse esikatselu", "Parameterien esikatselu"},
    {msFarsi, "CP1256", "پيش نمايش", "قفل كردن پيش نمايش", "پارامترهاي پيش نمايش"},
    {msChinese, "CP936", "预览", "锁定预览", "参数预览"},
    {msChineseTraditional, "CP936", "預覽", "鎖定預覽", "參數預覽"},
    {msDanish, "CP1252", "Visning", "Lås visning", "Parametre visning"},
    {msTurkish, "CP1254", "Önizleme", "Önizleme kilidi", "Parametreler Önizlemesi"},
    {msKorean, "CP949", "미리보기", "미리보기 잠금", "매개변수 미리보기"},
    {msHungarian, "CP1250", "Előnézet", "Előnézet zárolva", "Paraméterek előnézete"},
};

const char* const English[IEDialogTextCount] = {
    "Preview",
    "Original",
    "Result",
    "OK",
    "Cancel",
    "Lock preview",
    "Copy Result to Original",
    "Contrast",
    "Brightness",
    "Hue",
    "Saturation",
    "Value",
    "Base color",
    "New color",
    "Luminosity",
    "Red",
    "Green",
    "Blue",
    "Filter values",
    "Presets",
    "Divisor",
    "Load",
    "Save",
    "Equalization",
    "Threshold",
    "Equalize",
    "Histogram",
    "Gray",
    "Light",
    "Left",
    "Top",
    "Width",
    "Height",
    "Color",
    "Original image quantity",
    "Lens",
    "Refraction",
    "Parameters Preview",
    "Quality",
    "DCT method",
    "Smoothing factor",
    "Gray scale",
    "Optimal Huffman",
    "Original size",
    "Compressed size",
    "Advanced",
    "Progressive",
    "Compression",
    "Image index",
    "Photometric",
    "Scanned document info",
    "Name",
    "Description",
    "Page name",
    "Page number",
    "of",
    "Horiz. Position (inch)",
    "Vert. Position (inch)",
    "Colors",
    "Transparent",
    "Transparent color",
    "Interlaced",
    "Background",
    "Horiz. Position",
    "Vert. Position",
    "Delay time",
    "Filter",
    "Wave",
    "Amplitude",
    "Wave length",
    "Phase",
    "Reflective",
    "User filter",
    "Morphing filters",
    "Window size",
    "Maximum",
    "Minimum",
    "Opening",
    "Closing",
    "Rotate",
    "Flip",
    "Horizontal",
    "Vertical",
    "Frequency domain image",
    "Select the region to clean",
    "Clear",
    "Reset",
    "Animate",
    "Load filter",
    "Save filter",
    "Bump map",
    "Print",
    "Margins",
    "inches",
    "Right",
    "Bottom",
    "Position",
    "Size",
    "Normal",
    "Fit to page",
    "Stretch to page",
    "Specified size",
    "Gamma correction",
    "Value",
    "Print Setup",
    "Left Margin",
    "Top Margin",
    "Right Margin",
    "Bottom Margin",
    "Location/size",
    "Top Left",
    "Top Center",
    "Top Right",
    "Center Left",
    "Center",
    "Center Right",
    "Bottom Left",
    "Bottom Center",
    "Bottom Right",
    "Close",
    "Apply",
    "Measure Units",
    "Units",
    "Rate",
    "All graphics",
    "Video for Windows",
    "File",
    "Mem",
    "Automatically updates your preview with the changes you have selected",
    "Print All",
    "Print Selected",
    "Common Graphic Files",
    "All Files",
    "HSV",
    "HSL",
    "RGB",
    "FFT",
    "Sharpen",
    "Channels",
    "pixel",
    "frames",
    "bit",
    "byte",
    "dpi",
    "KB",
    "Fit",
};

// Converts UTF-8 to a code page and back; nullopt when a character has no
// place in it.
std::optional<std::string> ThroughCodePage(const std::string& utf8, const char* codePage) {
  auto convert = [](const std::string& in, const char* to, const char* from) -> std::optional<std::string> {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(in.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1) || r != 0 || srcLeft != 0) return std::nullopt;
    out.resize(out.size() - dstLeft);
    return out;
  };
  auto bytes = convert(utf8, codePage, "UTF-8");
  if (!bytes) return std::nullopt;
  return convert(*bytes, "UTF-8", codePage);
}

bool Punctuated(TMsgLanguage language, int id) {
  return (language == msChinese && (id == 68 || id == 74)) || (language == msHungarian && id == 9) ||
         (language == msFarsi && id == 135);
}

using TTableSnapshot = std::vector<std::string>;

TTableSnapshot Snapshot() {
  TTableSnapshot all;
  for (int l = 0; l < IEMsgLanguageCount; ++l)
    for (int id = 0; id < IEDialogTextCount; ++id)
      all.push_back(IEGetStoredDialogText(static_cast<TMsgLanguage>(l), id));
  return all;
}

class DialogWords : public ::testing::Test {
 protected:
  void SetUp() override { IEInitialize(); }
};

}  // namespace

TEST_F(DialogWords, EnglishRowHoldsEveryTextAsWritten) {
  for (int id = 0; id < IEDialogTextCount; ++id)
    EXPECT_EQ(IEGetStoredDialogText(msEnglish, id), English[id]) << id;
}

TEST_F(DialogWords, TellingTextsAreStoredExactlyInEveryLanguage) {
  for (const TLanguageRow& r : Rows) {
    EXPECT_EQ(IEGetStoredDialogText(r.Language, 0), r.Text0) << r.Language;
    EXPECT_EQ(IEGetStoredDialogText(r.Language, 5), r.Text5) << r.Language;
    EXPECT_EQ(IEGetStoredDialogText(r.Language, 37), r.Text37) << r.Language;
  }
  // Ids 11 and 103 share an English text but are separate entries.
  EXPECT_EQ(IEGetStoredDialogText(msItalian, 11), "Brillantezza");
  EXPECT_EQ(IEGetStoredDialogText(msItalian, 103), "Valore");
  EXPECT_EQ(IEGetStoredDialogText(msGerman, 11), "Helligkeitswert");
  EXPECT_EQ(IEGetStoredDialogText(msGerman, 103), "Wert");
  // The last text of the table, and of the language before it.
  EXPECT_EQ(IEGetStoredDialogText(msHungarian, 145), "Igazítás");
  EXPECT_EQ(IEGetStoredDialogText(msKorean, 145), "맞춤");
  // The four texts that carry their own punctuation.
  EXPECT_EQ(IEGetStoredDialogText(msChinese, 68).back(), ':');
  EXPECT_EQ(IEGetStoredDialogText(msChinese, 74).back(), ':');
  EXPECT_EQ(IEGetStoredDialogText(msHungarian, 9), "Színárnyalat ");
  EXPECT_EQ(IEGetStoredDialogText(msFarsi, 135), "RGB ");
}

TEST_F(DialogWords, EveryTextIsFilledPlainAndFitsItsCodePage) {
  for (const TLanguageRow& r : Rows) {
    int ownTexts = 0;
    for (int id = 0; id < IEDialogTextCount; ++id) {
      const std::string text = IEGetStoredDialogText(r.Language, id);
      const std::string where = std::to_string(r.Language) + "/" + std::to_string(id) + " \"" + text + "\"";
      if (r.Language == msPolish && id == 123) {
        EXPECT_EQ(text, "");
        continue;
      }
      ASSERT_FALSE(text.empty()) << where;
      EXPECT_EQ(text.find('&'), std::string::npos) << where;
      const bool plain = text.front() != ' ' && text.back() != ' ' && text.back() != ':';
      EXPECT_EQ(plain, !Punctuated(r.Language, id)) << where;
      const auto back = ThroughCodePage(text, r.CodePage);
      ASSERT_TRUE(back.has_value()) << where << " does not fit " << r.CodePage;
      EXPECT_EQ(*back, text) << where;
      ownTexts += text != English[id];
    }
    // A language that mostly repeats the English row was filled from the
    // wrong array.
    if (r.Language != msEnglish) {
      EXPECT_GE(ownTexts, 100) << r.Language;
    }
  }
}

TEST_F(DialogWords, SystemAndUserRowsStayEmptyAndStartupTwiceChangesNothing) {
  for (int id = 0; id < IEDialogTextCount; ++id) {
    EXPECT_EQ(IEGetStoredDialogText(msSystem, id), "") << id;
    EXPECT_EQ(IEGetStoredDialogText(msUser, id), "") << id;
  }
  const TTableSnapshot before = Snapshot();
  IEInitialize();
  EXPECT_TRUE(Snapshot() == before);
}

TEST_F(DialogWords, UserRowReadsEnglishUntilATextIsStored) {
  for (int id = 0; id < IEDialogTextCount; ++id) EXPECT_EQ(IEGetDialogText(id, msUser), English[id]) << id;
  IESetDialogText(msUser, 38, "Güte");
  for (int id = 0; id < IEDialogTextCount; ++id)
    EXPECT_EQ(IEGetDialogText(id, msUser), id == 38 ? "Güte" : English[id]) << id;
  IESetDialogText(msUser, 38, "");
}

TEST_F(DialogWords, SystemRowFollowsTheProcessLocale) {
  struct Case {
    const char* Locale;  // nullptr: no locale variable set
    TMsgLanguage Row;
    const char* Text0;
  };
  const Case cases[] = {
      {"zh_TW.UTF-8", msChineseTraditional, "預覽"},
      {"zh_CN.UTF-8", msChinese, "预览"},
      {"zh_HK.UTF-8", msEnglish, "Preview"},
      {"nb_NO.UTF-8", msEnglish, "Preview"},
      {"C", msEnglish, "Preview"},
      {nullptr, msEnglish, "Preview"},
  };
  const char* vars[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<std::optional<std::string>> saved;
  for (const char* v : vars)
    saved.push_back(std::getenv(v) ? std::optional<std::string>(std::getenv(v)) : std::nullopt);

  for (const Case& c : cases) {
    for (const char* v : vars) unsetenv(v);
    if (c.Locale) setenv("LANG", c.Locale, 1);
    IESetSystemLocale(IEProcessLocaleName());
    const std::string label = c.Locale ? c.Locale : "(unset)";
    EXPECT_EQ(IESystemMsgLanguage(), c.Row) << label;
    EXPECT_EQ(IEGetDialogText(0, msSystem), c.Text0) << label;
    for (int id = 0; id < IEDialogTextCount; ++id)
      EXPECT_EQ(IEGetDialogText(id, msSystem), IEGetDialogText(id, c.Row)) << label << " " << id;
  }

  for (std::size_t i = 0; i < saved.size(); ++i)
    saved[i] ? setenv(vars[i], saved[i]->c_str(), 1) : unsetenv(vars[i]);
  IESetSystemLocale(IEProcessLocaleName());
}
