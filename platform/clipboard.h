// The clipboard: formats registered by name, open (with retries), empty, set
// and get data blocks, text as CF_TEXT. In-process when headless; a display
// back end with a system clipboard shares CF_TEXT with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/global_memory.h"
#include "platform/messages.h"

#pragma GCC visibility push(default)
namespace redozir {

constexpr UINT CF_TEXT = 1;
constexpr UINT CF_BITMAP = 2;
constexpr UINT CF_DIB = 8;
constexpr UINT CF_UNICODETEXT = 13;

// The same name (compared without case) always gives the same number, from
// 0xC000 up; 0 for an empty name.
UINT RegisterClipboardFormat(const std::string& name);
// The name of a registered format (empty for the standard ones).
std::string GetClipboardFormatName(UINT format);

// Fails while the clipboard is open (by this or another window).
bool OpenClipboard(HWND owner);
// Tries up to `tries` times, `delayMs` apart (on the platform clock).
bool OpenClipboardWithRetries(HWND owner, int tries = 10, int delayMs = 20);
bool CloseClipboard();
// Needs the clipboard open; drops every format.
bool EmptyClipboard();
bool IsClipboardFormatAvailable(UINT format);
int CountClipboardFormats();

// Data as global memory blocks; both need the clipboard open, as on the
// desktop platform. A block handed to SetClipboardData belongs to the
// clipboard from then on (it frees it when emptied or replaced); the block
// GetClipboardData answers stays the clipboard's. nullptr on failure.
HGLOBAL SetClipboardData(UINT format, HGLOBAL mem);
HGLOBAL GetClipboardData(UINT format);
// The same through a copy of the bytes.
bool SetClipboardBytes(UINT format, const void* data, std::size_t size);
bool GetClipboardBytes(UINT format, std::vector<std::uint8_t>& out);

// CF_TEXT as a string (the stored block ends with a 0 byte). These open and
// close the clipboard themselves.
bool SetClipboardText(const std::string& text);
bool GetClipboardText(std::string& text);

// Makes the next `count` opens fail, as when another program holds the
// clipboard (tests of the retry path).
void SetClipboardBusy(int count);
// Empties the in-process clipboard and closes it (tests start clean).
void ResetClipboard();

}  // namespace redozir
#pragma GCC visibility pop
