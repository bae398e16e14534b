// IEDebugLog: trace lines appended to a log file when one is named.
#pragma once

#include <string>

#pragma GCC visibility push(default)
namespace redozir {

// The log file; empty (the default) turns logging off.
extern std::string IEDebugLogFileName;

// Appends "date time : Text" as a line to the log file when it is named.
void IEDebugLog(const std::string& Text);

}  // namespace redozir
#pragma GCC visibility pop
