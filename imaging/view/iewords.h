// The library's dialog texts in 21 languages, stored into the dialog-text
// table (imaging/core/dialog_text.h) when the library starts.
#pragma once

#pragma GCC visibility push(default)
namespace redozir {

// Fills the rows msEnglish to msHungarian of the dialog-text table, replacing
// what they hold. Called once by the library's start-up (IEInitialize).
void IEInitWords();

}  // namespace redozir
#pragma GCC visibility pop
