// Movable global memory blocks addressed by handles (allocate, lock, unlock,
// size, free), the currency of packed DIBs and the clipboard.
#pragma once

#include <cstdint>

#pragma GCC visibility push(default)
namespace redozir {

struct HGLOBAL__;
using HGLOBAL = HGLOBAL__*;

constexpr unsigned GMEM_FIXED = 0x0000;
constexpr unsigned GMEM_MOVEABLE = 0x0002;
constexpr unsigned GMEM_ZEROINIT = 0x0040;
constexpr unsigned GMEM_SHARE = 0x2000;
constexpr unsigned GMEM_DDESHARE = GMEM_SHARE;
constexpr unsigned GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
constexpr unsigned GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// The largest block one allocation may ask for (a guard against absurd sizes
// read from files).
constexpr std::uint64_t kMaxGlobalBlockBytes = std::uint64_t(4) << 30;

// A new block of Bytes bytes (zero-filled with GMEM_ZEROINIT); nullptr when
// the size is above the cap or memory is exhausted. A block of 0 bytes is
// valid and locks to a non-null address.
HGLOBAL GlobalAlloc(unsigned flags, std::uint64_t bytes);
// The block's address, valid until the matching GlobalUnlock; the lock count
// goes up. nullptr for a handle that is not a live block.
void* GlobalLock(HGLOBAL h);
// Lowers the lock count; answers whether the block is still locked.
bool GlobalUnlock(HGLOBAL h);
// The block's size in bytes; 0 for a handle that is not a live block.
std::uint64_t GlobalSize(HGLOBAL h);
// Frees the block; answers nullptr on success and the handle itself when it
// is not a live block (freeing twice is reported, not undefined behaviour).
HGLOBAL GlobalFree(HGLOBAL h);
// Resizes an unlocked block keeping its bytes (new bytes zeroed with
// GMEM_ZEROINIT); answers the handle, or nullptr when the block is locked,
// unknown, or the size cannot be had (the block is then unchanged).
HGLOBAL GlobalReAlloc(HGLOBAL h, std::uint64_t bytes, unsigned flags);
// The current lock count of a live block, 0 otherwise.
unsigned GlobalLockCount(HGLOBAL h);

}  // namespace redozir
#pragma GCC visibility pop
