// The process-wide table of dialog texts: one row per TMsgLanguage, one column
// per text id, stored as UTF-8. Dialogs read their captions from it. Each
// call below starts the library first, which fills the table with the
// library's texts: they are there before any component exists, and a text
// the program stores is never replaced by them.
#pragma once

#include <string>
#include <string_view>

#include "platform/exceptions.h"

#pragma GCC visibility push(default)
namespace redozir {

// The ordinal is the row of the table.
enum TMsgLanguage : int {
  msSystem,
  msEnglish,
  msItalian,
  msGerman,
  msSpanish,
  msFrench,
  msPortuguese,
  msGreek,
  msRussian,
  msDutch,
  msSwedish,
  msPolish,
  msJapanese,
  msCzech,
  msFinnish,
  msFarsi,
  msChinese,
  msChineseTraditional,
  msDanish,
  msTurkish,
  msKorean,
  msHungarian,
  msUser
};

constexpr int IEMsgLanguageCount = 23;
constexpr int IEDialogTextCount = 146;  // text ids 0..145

// A text id outside 0..145 or a language outside the enumeration.
class EDialogTextRange : public ERangeError {
  using ERangeError::ERangeError;
};

// Replaces the text of row Language, column Index.
void IESetDialogText(TMsgLanguage Language, int Index, std::string_view Text);

// The caption for Index in Language. msSystem reads the row chosen from the
// process locale; an empty entry reads the msEnglish text of the same id.
std::string IEGetDialogText(int Index, TMsgLanguage Language);

// The entry exactly as stored, with no row choice and no fallback.
std::string IEGetStoredDialogText(TMsgLanguage Language, int Index);

// The row msSystem reads. Chosen once, at the first call, from the locale the
// process runs under (IEProcessLocaleName).
TMsgLanguage IESystemMsgLanguage();

// Chooses the msSystem row again, from a POSIX locale name ("pt_BR.UTF-8").
void IESetSystemLocale(std::string_view Locale);

// The row a POSIX locale name selects; "C", "POSIX" and "" read as English.
TMsgLanguage IEMsgLanguageOfLocale(std::string_view Locale);

// The locale name for messages: LC_ALL, then LC_MESSAGES, then LANG (the
// first that is set and not empty); "" when none is.
std::string IEProcessLocaleName();

}  // namespace redozir
#pragma GCC visibility pop
