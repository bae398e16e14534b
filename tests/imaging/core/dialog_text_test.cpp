#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "imaging/core/dialog_text.h"
#include "imaging/core/ie_startup.h"

using namespace redozir;

namespace {

// Saves the three locale variables and the msSystem choice, and puts both
// back, so that tests can move them freely.
class LocaleEnvironment : public ::testing::Test {
 protected:
  static constexpr const char* Vars[] = {"LC_ALL", "LC_MESSAGES", "LANG"};

  void SetUp() override {
    for (const char* v : Vars) {
      const char* value = std::getenv(v);
      Saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
    }
  }
  void TearDown() override {
    for (std::size_t i = 0; i < Saved.size(); ++i) Put(Vars[i], Saved[i]);
    IESetSystemLocale(IEProcessLocaleName());
  }
  static void Put(const char* var, const std::optional<std::string>& value) {
    if (value)
      setenv(var, value->c_str(), 1);
    else
      unsetenv(var);
  }

  std::vector<std::optional<std::string>> Saved;
};

}  // namespace

TEST(DialogText, LocaleNamesSelectTheirLanguageRow) {
  struct Case {
    const char* Locale;
    TMsgLanguage Row;
  };
  const Case cases[] = {
      {"zh_TW.UTF-8", msChineseTraditional},
      {"zh_CN.UTF-8", msChinese},
      {"zh_CN.GB18030", msChinese},
      // Hong Kong and Macau read traditional, Singapore simplified characters.
      {"zh_HK.UTF-8", msEnglish},
      {"zh_MO", msEnglish},
      {"zh_SG.GBK", msEnglish},
      {"zh", msEnglish},  // no region: neither script is known
      {"nb_NO.UTF-8", msEnglish},
      {"nn_NO", msEnglish},
      {"C", msEnglish},
      {"POSIX", msEnglish},
      {"C.UTF-8", msEnglish},
      {"", msEnglish},
      {"uk_UA.UTF-8", msEnglish},
      {"en_GB.UTF-8", msEnglish},
      {"it_CH", msItalian},
      {"de_AT@euro", msGerman},
      {"es_MX.UTF-8", msSpanish},
      {"fr_CA", msFrench},
      {"pt_BR.UTF-8", msPortuguese},
      {"el_GR.ISO-8859-7", msGreek},
      {"ru_RU.KOI8-R", msRussian},
      {"nl_BE", msDutch},
      {"sv_FI.UTF-8", msSwedish},
      {"pl_PL.UTF-8", msPolish},
      {"ja_JP.eucJP", msJapanese},
      {"cs_CZ", msCzech},
      {"fi_FI@euro", msFinnish},
      {"fa_IR.UTF-8", msFarsi},
      {"da_DK", msDanish},
      {"tr_TR.ISO-8859-9", msTurkish},
      {"ko_KR.EUC-KR", msKorean},
      {"hu_HU", msHungarian},
      {"DE_de", msGerman},  // letter case does not matter
      {"zh_tw", msChineseTraditional},
  };
  std::set<TMsgLanguage> reached;
  for (const Case& c : cases) {
    EXPECT_EQ(IEMsgLanguageOfLocale(c.Locale), c.Row) << c.Locale;
    reached.insert(c.Row);
  }
  // Every filled row can be chosen; msSystem and msUser never are.
  EXPECT_EQ(reached.size(), 21u);
  EXPECT_EQ(reached.count(msSystem) + reached.count(msUser), 0u);
}

TEST_F(LocaleEnvironment, ProcessLocaleIsLcAllThenLcMessagesThenLang) {
  Put("LC_ALL", std::nullopt);
  Put("LC_MESSAGES", std::nullopt);
  Put("LANG", std::nullopt);
  EXPECT_EQ(IEProcessLocaleName(), "");
  IESetSystemLocale(IEProcessLocaleName());
  EXPECT_EQ(IESystemMsgLanguage(), msEnglish);

  Put("LANG", "fr_FR.UTF-8");
  EXPECT_EQ(IEProcessLocaleName(), "fr_FR.UTF-8");
  Put("LC_MESSAGES", "de_DE.UTF-8");
  EXPECT_EQ(IEProcessLocaleName(), "de_DE.UTF-8");
  Put("LC_ALL", "");  // set but empty: ignored
  EXPECT_EQ(IEProcessLocaleName(), "de_DE.UTF-8");
  Put("LC_ALL", "ja_JP.UTF-8");
  EXPECT_EQ(IEProcessLocaleName(), "ja_JP.UTF-8");

  IESetSystemLocale(IEProcessLocaleName());
  EXPECT_EQ(IESystemMsgLanguage(), msJapanese);
  // The choice is kept until it is made again, whatever the environment does.
  Put("LC_ALL", "ko_KR.UTF-8");
  EXPECT_EQ(IESystemMsgLanguage(), msJapanese);
}

TEST(DialogText, IdsAndLanguagesOutsideTheTableAreRefused) {
  for (int id : {-1, 146, 255, 256, 100000}) {
    EXPECT_THROW(IEGetDialogText(id, msEnglish), EDialogTextRange) << id;
    EXPECT_THROW(IEGetDialogText(id, msSystem), EDialogTextRange) << id;
    EXPECT_THROW(IESetDialogText(msUser, id, "x"), EDialogTextRange) << id;
    EXPECT_THROW(IEGetStoredDialogText(msUser, id), EDialogTextRange) << id;
  }
  for (int language : {-1, 23, 1000}) {
    const auto l = static_cast<TMsgLanguage>(language);
    EXPECT_THROW(IEGetDialogText(0, l), EDialogTextRange) << language;
    EXPECT_THROW(IESetDialogText(l, 0, "x"), EDialogTextRange) << language;
  }
  try {
    IEGetDialogText(146, msEnglish);
    FAIL() << "no exception";
  } catch (const ERangeError& e) {
    EXPECT_NE(e.Message().find("146"), std::string::npos) << e.Message();
  }
  EXPECT_NO_THROW(IEGetDialogText(0, msUser));
  EXPECT_NO_THROW(IEGetDialogText(145, msUser));
}

TEST(DialogText, StoredTextReplacesThePreviousOneAndEmptyEntriesReadEnglish) {
  IEInitialize();
  const std::string english = IEGetStoredDialogText(msEnglish, 4);
  ASSERT_FALSE(english.empty());
  IESetDialogText(msUser, 4, "Abort");
  IESetDialogText(msUser, 4, "Stop");
  EXPECT_EQ(IEGetDialogText(4, msUser), "Stop");
  EXPECT_EQ(IEGetStoredDialogText(msUser, 4), "Stop");
  IESetDialogText(msUser, 4, "");
  EXPECT_EQ(IEGetDialogText(4, msUser), english);
  EXPECT_EQ(IEGetStoredDialogText(msUser, 4), "");
}

TEST_F(LocaleEnvironment, MissingTextFallsBackToEnglishOnEveryPath) {
  IEInitialize();
  // Polish has no text for id 123; neither its own row nor msSystem on a
  // Polish locale may hand out an empty caption.
  ASSERT_EQ(IEGetStoredDialogText(msPolish, 123), "");
  EXPECT_EQ(IEGetDialogText(123, msPolish), "Rate");
  IESetSystemLocale("pl_PL.UTF-8");
  EXPECT_EQ(IEGetDialogText(123, msSystem), "Rate");
  EXPECT_EQ(IEGetDialogText(122, msSystem), IEGetStoredDialogText(msPolish, 122));
}

TEST(DialogText, StartupRunsOnceWhateverTheCallers) {
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) threads.emplace_back(IEInitialize);
  for (std::thread& t : threads) t.join();
  const std::string original = IEGetStoredDialogText(msEnglish, 0);
  ASSERT_EQ(original, "Preview");
  IESetDialogText(msEnglish, 0, "Own preview");
  IEInitialize();
  EXPECT_EQ(IEGetStoredDialogText(msEnglish, 0), "Own preview");
  IESetDialogText(msEnglish, 0, original);
}
