#include "platform/clipboard.h"

#include <strings.h>
#include <map>

#include "platform/application.h"
#include "platform/timers.h"

namespace {
struct TClipboard {
  std::vector<std::string> names;  // index i is format 0xC000 + i
  std::map<UINT, std::vector<std::uint8_t>> data;
  bool open = false;
  HWND owner = 0;
  bool changed = false;
  int busy = 0;
  // What we last gave the system clipboard, to tell our text from another
  // program's.
  std::string lastSystemText;
  bool systemKnown = false;
};
TClipboard& C() {
  static TClipboard* c = new TClipboard;
  return *c;
}

void PullSystemText() {
  TBackEnd* b = Application->BackEnd();
  if (!b->HasSystemClipboard()) return;
  std::string text;
  if (!b->GetClipboardText(text)) return;
  if (C().systemKnown && text == C().lastSystemText) return;
  // Another program put text there: it owns the clipboard now.
  C().data.clear();
  C().data[CF_TEXT] = std::vector<std::uint8_t>(text.begin(), text.end());
  C().data[CF_TEXT].push_back(0);
  C().lastSystemText = text;
  C().systemKnown = true;
}

void PushSystemText() {
  TBackEnd* b = Application->BackEnd();
  if (!b->HasSystemClipboard()) return;
  auto it = C().data.find(CF_TEXT);
  std::string text;
  if (it != C().data.end()) {
    const auto& v = it->second;
    size_t n = 0;
    while (n < v.size() && v[n] != 0) ++n;
    text.assign(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n));
  }
  if (b->SetClipboardText(text)) {
    C().lastSystemText = text;
    C().systemKnown = true;
  }
}
}  // namespace

UINT RegisterClipboardFormat(const std::string& name) {
  if (name.empty()) return 0;
  auto& n = C().names;
  for (size_t i = 0; i < n.size(); ++i)
    if (strcasecmp(n[i].c_str(), name.c_str()) == 0) return static_cast<UINT>(0xC000 + i);
  if (n.size() >= 0x3FFF) return 0;
  n.push_back(name);
  return static_cast<UINT>(0xC000 + n.size() - 1);
}

std::string GetClipboardFormatName(UINT format) {
  if (format < 0xC000 || format - 0xC000 >= C().names.size()) return {};
  return C().names[format - 0xC000];
}

bool OpenClipboard(HWND owner) {
  if (C().busy > 0) {
    --C().busy;
    return false;
  }
  if (C().open) return false;
  C().open = true;
  C().owner = owner;
  C().changed = false;
  PullSystemText();
  return true;
}

bool OpenClipboardWithRetries(HWND owner, int tries, int delayMs) {
  for (int i = 0; i < tries; ++i) {
    if (OpenClipboard(owner)) return true;
    if (i + 1 < tries) Sleep(static_cast<DWORD>(delayMs));
  }
  return false;
}

bool CloseClipboard() {
  if (!C().open) return false;
  if (C().changed) PushSystemText();
  C().open = false;
  C().owner = 0;
  return true;
}

bool EmptyClipboard() {
  if (!C().open) return false;
  C().data.clear();
  C().changed = true;
  return true;
}

bool IsClipboardFormatAvailable(UINT format) {
  if (!C().open) PullSystemText();
  return C().data.count(format) != 0;
}

int CountClipboardFormats() { return static_cast<int>(C().data.size()); }

bool SetClipboardBytes(UINT format, const void* data, std::size_t size) {
  if (!C().open || format == 0) return false;
  const auto* p = static_cast<const std::uint8_t*>(data);
  C().data[format] = std::vector<std::uint8_t>(p, p + size);
  C().changed = true;
  return true;
}

bool GetClipboardBytes(UINT format, std::vector<std::uint8_t>& out) {
  if (!C().open) return false;
  auto it = C().data.find(format);
  if (it == C().data.end()) return false;
  out = it->second;
  return true;
}

bool SetClipboardText(const std::string& text) {
  if (!OpenClipboardWithRetries(0)) return false;
  EmptyClipboard();
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  SetClipboardBytes(CF_TEXT, bytes.data(), bytes.size());
  CloseClipboard();
  return true;
}

bool GetClipboardText(std::string& text) {
  if (!OpenClipboardWithRetries(0)) return false;
  std::vector<std::uint8_t> bytes;
  bool ok = GetClipboardBytes(CF_TEXT, bytes);
  CloseClipboard();
  if (!ok) return false;
  size_t n = 0;
  while (n < bytes.size() && bytes[n] != 0) ++n;
  text.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
  return true;
}

void SetClipboardBusy(int count) { C().busy = count; }

void ResetClipboard() {
  C().data.clear();
  C().open = false;
  C().owner = 0;
  C().busy = 0;
  C().changed = false;
  C().systemKnown = false;
}
