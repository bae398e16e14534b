#include "platform/clipboard.h"

#include <strings.h>
#include <cstring>
#include <map>

#include "platform/application.h"
#include "platform/timers.h"

namespace redozir {

namespace {
struct TClipboard {
  std::vector<std::string> names;  // index i is format 0xC000 + i
  std::map<UINT, HGLOBAL> data;
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

void DropAll() {
  for (auto& [format, block] : C().data) GlobalFree(block);
  C().data.clear();
}

void Store(UINT format, HGLOBAL block) {
  HGLOBAL& slot = C().data[format];
  if (slot && slot != block) GlobalFree(slot);
  slot = block;
}

HGLOBAL BlockOf(const void* data, std::size_t size) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, size);
  if (!h) return nullptr;
  if (size > 0) {
    void* p = GlobalLock(h);
    std::memcpy(p, data, size);
    GlobalUnlock(h);
  }
  return h;
}

// The bytes of a block up to its first 0 (all of it when it has none).
std::string TextOf(HGLOBAL h) {
  std::uint64_t n = GlobalSize(h);
  const char* p = static_cast<const char*>(GlobalLock(h));
  if (!p) return {};
  std::string text(p, static_cast<std::size_t>(n));
  GlobalUnlock(h);
  std::size_t z = text.find('\0');
  if (z != std::string::npos) text.resize(z);
  return text;
}

void PullSystemText() {
  TBackEnd* b = Application->BackEnd();
  if (!b->HasSystemClipboard()) return;
  std::string text;
  if (!b->GetClipboardText(text)) return;
  if (C().systemKnown && text == C().lastSystemText) return;
  // Another program put text there: it owns the clipboard now.
  DropAll();
  if (!text.empty()) Store(CF_TEXT, BlockOf(text.c_str(), text.size() + 1));
  C().lastSystemText = text;
  C().systemKnown = true;
}

void PushSystemText() {
  TBackEnd* b = Application->BackEnd();
  if (!b->HasSystemClipboard()) return;
  auto it = C().data.find(CF_TEXT);
  std::string text = it != C().data.end() ? TextOf(it->second) : std::string();
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
  DropAll();
  C().changed = true;
  return true;
}

bool IsClipboardFormatAvailable(UINT format) {
  if (!C().open) PullSystemText();
  return C().data.count(format) != 0;
}

int CountClipboardFormats() { return static_cast<int>(C().data.size()); }

HGLOBAL SetClipboardData(UINT format, HGLOBAL mem) {
  if (!C().open || format == 0 || !mem) return nullptr;
  // Only a live block is taken.
  if (!GlobalLock(mem)) return nullptr;
  GlobalUnlock(mem);
  Store(format, mem);
  C().changed = true;
  return mem;
}

HGLOBAL GetClipboardData(UINT format) {
  if (!C().open) return nullptr;
  auto it = C().data.find(format);
  return it == C().data.end() ? nullptr : it->second;
}

bool SetClipboardBytes(UINT format, const void* data, std::size_t size) {
  if (!C().open || format == 0) return false;
  HGLOBAL h = BlockOf(data, size);
  if (!h) return false;
  Store(format, h);
  C().changed = true;
  return true;
}

bool GetClipboardBytes(UINT format, std::vector<std::uint8_t>& out) {
  HGLOBAL h = GetClipboardData(format);
  if (!h) return false;
  std::uint64_t n = GlobalSize(h);
  const auto* p = static_cast<const std::uint8_t*>(GlobalLock(h));
  if (!p) return false;
  out.assign(p, p + n);
  GlobalUnlock(h);
  return true;
}

bool SetClipboardText(const std::string& text) {
  if (!OpenClipboardWithRetries(0)) return false;
  EmptyClipboard();
  bool ok = SetClipboardBytes(CF_TEXT, text.c_str(), text.size() + 1);
  CloseClipboard();
  return ok;
}

bool GetClipboardText(std::string& text) {
  if (!OpenClipboardWithRetries(0)) return false;
  HGLOBAL h = GetClipboardData(CF_TEXT);
  if (h) text = TextOf(h);
  CloseClipboard();
  return h != nullptr;
}

void SetClipboardBusy(int count) { C().busy = count; }

void ResetClipboard() {
  DropAll();
  C().open = false;
  C().owner = 0;
  C().busy = 0;
  C().changed = false;
  C().systemKnown = false;
}

}  // namespace redozir
