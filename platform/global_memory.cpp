#include "platform/global_memory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

namespace redozir {

namespace {
struct Block {
  std::uint8_t* data = nullptr;
  std::uint64_t size = 0;
  unsigned locks = 0;
};

// Handles are never reused, so a stale handle is recognised instead of
// reaching a block that happens to live at the same place.
struct Table {
  std::mutex mu;
  std::unordered_map<std::uintptr_t, Block> blocks;
  std::uintptr_t next = 0x10;
};

Table& table() {
  static Table t;
  return t;
}

std::uintptr_t key(HGLOBAL h) { return reinterpret_cast<std::uintptr_t>(h); }

std::uint8_t* allocate(std::uint64_t bytes, bool zero) {
  // One byte at least, so that an empty block still locks to an address.
  std::size_t n = static_cast<std::size_t>(bytes ? bytes : 1);
  return static_cast<std::uint8_t*>(zero ? std::calloc(n, 1) : std::malloc(n));
}
}  // namespace

HGLOBAL GlobalAlloc(unsigned flags, std::uint64_t bytes) {
  if (bytes > kMaxGlobalBlockBytes) return nullptr;
  std::uint8_t* p = allocate(bytes, flags & GMEM_ZEROINIT);
  if (!p) return nullptr;
  Table& t = table();
  std::lock_guard<std::mutex> g(t.mu);
  std::uintptr_t k = t.next;
  t.next += 0x10;
  t.blocks[k] = Block{p, bytes, 0};
  return reinterpret_cast<HGLOBAL>(k);
}

void* GlobalLock(HGLOBAL h) {
  Table& t = table();
  std::lock_guard<std::mutex> g(t.mu);
  auto it = t.blocks.find(key(h));
  if (it == t.blocks.end()) return nullptr;
  ++it->second.locks;
  return it->second.data;
}

bool GlobalUnlock(HGLOBAL h) {
  Table& t = table();
  std::lock_guard<std::mutex> g(t.mu);
  auto it = t.blocks.find(key(h));
  if (it == t.blocks.end() || it->second.locks == 0) return false;
  return --it->second.locks > 0;
}

std::uint64_t GlobalSize(HGLOBAL h) {
  Table& t = table();
  std::lock_guard<std::mutex> g(t.mu);
  auto it = t.blocks.find(key(h));
  return it == t.blocks.end() ? 0 : it->second.size;
}

unsigned GlobalLockCount(HGLOBAL h) {
  Table& t = table();
  std::lock_guard<std::mutex> g(t.mu);
  auto it = t.blocks.find(key(h));
  return it == t.blocks.end() ? 0 : it->second.locks;
}

HGLOBAL GlobalFree(HGLOBAL h) {
  Table& t = table();
  std::uint8_t* p = nullptr;
  {
    std::lock_guard<std::mutex> g(t.mu);
    auto it = t.blocks.find(key(h));
    if (it == t.blocks.end()) return h;
    p = it->second.data;
    t.blocks.erase(it);
  }
  std::free(p);
  return nullptr;
}

HGLOBAL GlobalReAlloc(HGLOBAL h, std::uint64_t bytes, unsigned flags) {
  if (bytes > kMaxGlobalBlockBytes) return nullptr;
  Table& t = table();
  std::lock_guard<std::mutex> g(t.mu);
  auto it = t.blocks.find(key(h));
  if (it == t.blocks.end() || it->second.locks > 0) return nullptr;
  Block& b = it->second;
  std::uint8_t* p = allocate(bytes, false);
  if (!p) return nullptr;
  std::size_t keep = static_cast<std::size_t>(std::min(bytes, b.size));
  if (keep) std::memcpy(p, b.data, keep);
  if (bytes > keep && (flags & GMEM_ZEROINIT))
    std::memset(p + keep, 0, static_cast<std::size_t>(bytes - keep));
  std::free(b.data);
  b.data = p;
  b.size = bytes;
  return h;
}

}  // namespace redozir
