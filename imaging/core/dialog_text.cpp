// The dialog-text table, its look-up, and the choice of the row that
// msSystem reads from the process locale.
#include "imaging/core/dialog_text.h"

#include <array>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <shared_mutex>

#include "imaging/core/ie_startup.h"

namespace redozir {

namespace {

using TDialogTextRow = std::array<std::string, IEDialogTextCount>;

struct TDialogTextTable {
  std::shared_mutex Lock;  // the application may store its own texts from any thread
  std::array<TDialogTextRow, IEMsgLanguageCount> Rows;
};

// A function-local static so that start-up code running during static
// initialisation of other units finds the table built.
TDialogTextTable& Table() {
  static TDialogTextTable table;
  return table;
}

void CheckIndex(int Index) {
  if (Index < 0 || Index >= IEDialogTextCount)
    throw EDialogTextRange("Dialog text id " + std::to_string(Index) + " is outside 0.." +
                           std::to_string(IEDialogTextCount - 1));
}

void CheckLanguage(TMsgLanguage Language) {
  const int row = static_cast<int>(Language);
  if (row < 0 || row >= IEMsgLanguageCount)
    throw EDialogTextRange("Message language " + std::to_string(row) + " is not a TMsgLanguage value");
}

// Windows language identifiers, which name the rows: a primary language and
// a sub-language (the Chinese rows depend on the latter).
struct TLanguageId {
  int Primary;
  int Sub;
};

constexpr TLanguageId LangEnglishUS{9, 1};  // 1033, read when the locale says nothing

struct TLocaleLanguage {
  std::string_view Code;  // ISO 639 code as it begins a POSIX locale name
  int Primary;
};

constexpr TLocaleLanguage LocaleLanguages[] = {
    {"zh", 4},  {"cs", 5},  {"da", 6},  {"de", 7},  {"el", 8},  {"en", 9},  {"es", 10}, {"fi", 11},
    {"fr", 12}, {"hu", 14}, {"it", 16}, {"ja", 17}, {"ko", 18}, {"nl", 19}, {"nb", 20}, {"nn", 20},
    {"no", 20}, {"pl", 21}, {"pt", 22}, {"ru", 25}, {"sv", 29}, {"tr", 31}, {"fa", 41},
};

struct TChineseRegion {
  std::string_view Territory;
  int Sub;
};

constexpr TChineseRegion ChineseRegions[] = {{"TW", 1}, {"CN", 2}, {"HK", 3}, {"SG", 4}, {"MO", 5}};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

TLanguageId LanguageIdOfLocale(std::string_view Locale) {
  // language[_territory][.codeset][@modifier]
  const std::string_view name = Locale.substr(0, Locale.find_first_of(".@"));
  const std::size_t bar = name.find('_');
  std::string language, territory;
  for (char c : name.substr(0, bar)) language += Lower(c);
  if (bar != std::string_view::npos)
    for (char c : name.substr(bar + 1)) territory += Upper(c);

  if (language.empty() || language == "c" || language == "posix") return LangEnglishUS;
  for (const TLocaleLanguage& l : LocaleLanguages) {
    if (l.Code != language) continue;
    int sub = 1;
    if (l.Primary == 4) {
      sub = 0;  // neutral: a Chinese locale that names no region
      for (const TChineseRegion& r : ChineseRegions)
        if (r.Territory == territory) sub = r.Sub;
    }
    return {l.Primary, sub};
  }
  return {0, 0};
}

TMsgLanguage RowOfLanguageId(TLanguageId Id) {
  switch (Id.Primary) {
    case 4:
      // Taiwan reads the traditional row and the PRC the simplified one;
      // the other Chinese locales read English, as stored settings expect.
      switch (Id.Sub) {
        case 1: return msChineseTraditional;
        case 2: return msChinese;
        default: return msEnglish;
      }
    case 5: return msCzech;
    case 6: return msDanish;
    case 7: return msGerman;
    case 8: return msGreek;
    case 9: return msEnglish;
    case 10: return msSpanish;
    case 11: return msFinnish;
    case 12: return msFrench;
    case 14: return msHungarian;
    case 16: return msItalian;
    case 17: return msJapanese;
    case 18: return msKorean;
    case 19: return msDutch;
    case 21: return msPolish;
    case 22: return msPortuguese;
    case 25: return msRussian;
    case 29: return msSwedish;
    case 31: return msTurkish;
    case 41: return msFarsi;
    default: return msEnglish;
  }
}

constexpr int SystemRowUnchosen = -1;
std::atomic<int> SystemRow{SystemRowUnchosen};

}  // namespace

void IESetDialogText(TMsgLanguage Language, int Index, std::string_view Text) {
  CheckLanguage(Language);
  CheckIndex(Index);
  // The start-up stores the library's texts: it must come before the
  // program's, never over them. Inside the start-up this returns at once.
  IEInitialize();
  TDialogTextTable& t = Table();
  std::unique_lock lock(t.Lock);
  t.Rows[Language][Index].assign(Text);
}

std::string IEGetStoredDialogText(TMsgLanguage Language, int Index) {
  CheckLanguage(Language);
  CheckIndex(Index);
  IEInitialize();
  TDialogTextTable& t = Table();
  std::shared_lock lock(t.Lock);
  return t.Rows[Language][Index];
}

std::string IEGetDialogText(int Index, TMsgLanguage Language) {
  CheckLanguage(Language);
  CheckIndex(Index);
  // Started before the table's lock is taken: the start-up takes it too.
  IEInitialize();
  // An empty caption is a hole in a translation, never a translation: every
  // path, msSystem included, falls back to the English text.
  const TMsgLanguage row = Language == msSystem ? IESystemMsgLanguage() : Language;
  TDialogTextTable& t = Table();
  std::shared_lock lock(t.Lock);
  const std::string& text = t.Rows[row][Index];
  return text.empty() ? t.Rows[msEnglish][Index] : text;
}

std::string IEProcessLocaleName() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(var);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

TMsgLanguage IEMsgLanguageOfLocale(std::string_view Locale) {
  return RowOfLanguageId(LanguageIdOfLocale(Locale));
}

TMsgLanguage IESystemMsgLanguage() {
  int row = SystemRow.load(std::memory_order_acquire);
  if (row == SystemRowUnchosen) {
    int chosen = IEMsgLanguageOfLocale(IEProcessLocaleName());
    // A concurrent first call may have chosen already; keep its choice.
    if (SystemRow.compare_exchange_strong(row, chosen, std::memory_order_acq_rel)) row = chosen;
  }
  return static_cast<TMsgLanguage>(row);
}

void IESetSystemLocale(std::string_view Locale) {
  SystemRow.store(IEMsgLanguageOfLocale(Locale), std::memory_order_release);
}

}  // namespace redozir
