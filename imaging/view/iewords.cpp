// The dialog texts of every language, read from the table compiled into the
// library (iewords.txt, UTF-8), and their storing into the dialog-text table.
#include "imaging/view/iewords.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/core/dialog_text.h"

namespace redozir {

// iewords.txt, embedded by the build (cmake/embed.cmake).
extern const std::uint8_t kIEWordsTxt0[];
extern const std::size_t kIEWordsTxt0Size;

namespace {

// The rows the table fills, in the order of the enumeration.
constexpr std::string_view kLanguageNames[] = {
    "msEnglish",
    "msItalian",
    "msGerman",
    "msSpanish",
    "msFrench",
    "msPortuguese",
    "msGreek",
    "msRussian",
    "msDutch",
    "msSwedish",
    "msPolish",
    "msJapanese",
    "msCzech",
    "msFinnish",
    "msFarsi",
    "msChinese",
    "msChineseTraditional",
    "msDanish",
    "msTurkish",
    "msKorean",
    "msHungarian",
};
constexpr int kLanguageCount = static_cast<int>(std::size(kLanguageNames));
static_assert(msEnglish + kLanguageCount - 1 == msHungarian);

using TWordRows = std::array<std::vector<std::string_view>, kLanguageCount>;

[[noreturn]] void Malformed(int line, const std::string& why) {
  throw EInvalidOperation("Dialog text table, line " + std::to_string(line) + ": " + why);
}

// Every language's texts, each row complete, or an exception naming the line
// that breaks the layout described at the top of the table.
TWordRows ParseWords(std::string_view table) {
  TWordRows rows;
  std::vector<std::string_view>* row = nullptr;
  std::string_view rowName;
  int lineNo = 0;
  while (!table.empty()) {
    const std::size_t end = table.find('\n');
    const std::string_view line = table.substr(0, end);
    table.remove_prefix(end == std::string_view::npos ? table.size() : end + 1);
    ++lineNo;
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      if (close == std::string_view::npos) Malformed(lineNo, "no ']' after the language");
      rowName = line.substr(1, close - 1);
      const auto* name = std::find(std::begin(kLanguageNames), std::end(kLanguageNames), rowName);
      if (name == std::end(kLanguageNames)) Malformed(lineNo, "unknown language " + std::string(rowName));
      row = &rows[static_cast<std::size_t>(name - std::begin(kLanguageNames))];
      if (!row->empty()) Malformed(lineNo, std::string(rowName) + " given twice");
      continue;
    }
    if (!row) Malformed(lineNo, "a text before any language");
    const std::string id = std::to_string(row->size());
    if (row->size() == IEDialogTextCount || !line.starts_with(id) || line.substr(id.size(), 1) != "\t")
      Malformed(lineNo, "expected text " + id + " of " + std::string(rowName) + ", a tab and the text");
    row->push_back(line.substr(id.size() + 1));
  }
  for (int l = 0; l < kLanguageCount; ++l)
    if (rows[l].size() != IEDialogTextCount)
      Malformed(lineNo, std::string(kLanguageNames[l]) + " has " + std::to_string(rows[l].size()) +
                            " texts of " + std::to_string(IEDialogTextCount));
  return rows;
}

}  // namespace

void IEInitWords() {
  const TWordRows rows = ParseWords({reinterpret_cast<const char*>(kIEWordsTxt0), kIEWordsTxt0Size});
  for (int l = 0; l < kLanguageCount; ++l)
    for (int id = 0; id < IEDialogTextCount; ++id)
      IESetDialogText(static_cast<TMsgLanguage>(msEnglish + l), id, rows[l][id]);
}

}  // namespace redozir
