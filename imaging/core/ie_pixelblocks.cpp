// Pixel memory: plain heap blocks below 8 MiB; above, whole 2 MiB huge pages,
// kept for about a second after they are let go.
#include "imaging/core/ie_pixelblocks.h"

#include <sanitizer/asan_interface.h>
#include <sys/mman.h>

#include <algorithm>
#include <new>
#include <string>

#include "imaging/core/ie_diskbuffer.h"
#include "imaging/core/ie_kept.h"
#include "platform/exceptions.h"

namespace redozir {

namespace {
constexpr std::int64_t kKeptFrom = std::int64_t(8) << 20;
constexpr std::size_t kHuge = std::size_t(2) << 20;

std::size_t HugeLength(std::int64_t Bytes) {
  return (static_cast<std::size_t>(Bytes) + kHuge - 1) & ~(kHuge - 1);
}

// Through operator new (aligned to a huge page), so that a program's own
// allocator and its accounting see pixel memory like any other.
std::uint8_t* NewBlock(std::size_t Length) {
  void* p = ::operator new(Length, std::align_val_t(kHuge), std::nothrow);
  if (p) madvise(p, Length, MADV_HUGEPAGE);
  return static_cast<std::uint8_t*>(p);
}

void DeleteBlock(TIEKeeper::TItem Block) {
  auto* p = reinterpret_cast<std::uint8_t*>(Block.Handle);
  ASAN_UNPOISON_MEMORY_REGION(p, static_cast<std::size_t>(Block.Length));
  ::operator delete(p, std::align_val_t(kHuge));
}

// Alloc(), tried again once the kept blocks are given up: they never make
// an allocation fail.
template <class F>
std::uint8_t* OrAfterGivingUpKept(F Alloc) {
  std::uint8_t* p = Alloc();
  if (!p && IEKeptPixels().Bytes() > 0) {
    IEKeptPixels().Trim(true);
    p = Alloc();
  }
  return p;
}
}  // namespace

TIEKeeper& IEKeptPixels() {
  // Made without allocating: the first block asked for may be the one the
  // system has no memory for, and IENewPixels raises nothing.
  alignas(TIEKeeper) static unsigned char storage[sizeof(TIEKeeper)];
  static TIEKeeper* k = new (storage)
      TIEKeeper(DeleteBlock, std::min(std::int64_t(256) << 20, IEDefaultMemoryThreshold() / 4), 4);
  return *k;
}

void IESetKeptPixelMemory(std::int64_t Bytes) { IEKeptPixels().SetLimit(Bytes); }
std::int64_t IEKeptPixelMemoryLimit() { return IEKeptPixels().Limit(); }
std::int64_t IEKeptPixelMemory() { return IEKeptPixels().Bytes(); }
void IEReleaseKeptPixelMemory() { IEKeptPixels().Trim(true); }

TIEPixels IENewPixels(std::int64_t Bytes) noexcept {
  if (Bytes <= 0) return TIEPixels(nullptr, TIEPixelsFree{0});
  if (Bytes < kKeptFrom) {
    return TIEPixels(OrAfterGivingUpKept([Bytes] {
                       return new (std::nothrow) std::uint8_t[static_cast<std::size_t>(Bytes)];
                     }),
                     TIEPixelsFree{Bytes});
  }
  auto length = static_cast<std::int64_t>(HugeLength(Bytes));
  TIEKeeper::TItem got;
  std::uint8_t* p;
  // A kept block up to a quarter longer than asked for serves.
  if (IEKeptPixels().Take(length, length + length / 4, got)) {
    p = reinterpret_cast<std::uint8_t*>(got.Handle);
    length = got.Length;
  } else {
    p = OrAfterGivingUpKept([length] { return NewBlock(static_cast<std::size_t>(length)); });
    if (!p) return TIEPixels(nullptr, TIEPixelsFree{0});
  }
  // The sanitizer builds see kept blocks and the tail past Bytes as poisoned.
  ASAN_UNPOISON_MEMORY_REGION(p, static_cast<std::size_t>(Bytes));
  ASAN_POISON_MEMORY_REGION(p + Bytes, static_cast<std::size_t>(length - Bytes));
  return TIEPixels(p, TIEPixelsFree{length});
}

TIEPixels IEWorkPixels(std::int64_t Bytes, const char* What) {
  TIEPixels b = IENewPixels(std::max<std::int64_t>(Bytes, 1));
  if (!b)
    throw EOutOfMemory(std::string("Cannot allocate the ") + What + " (" + std::to_string(Bytes) + " bytes)");
  return b;
}

void TIEPixelsFree::operator()(std::uint8_t* Block) const noexcept {
  if (!Block) return;
  if (Bytes < kKeptFrom) {
    delete[] Block;
    return;
  }
  ASAN_POISON_MEMORY_REGION(Block, static_cast<std::size_t>(Bytes));
  IEKeptPixels().Keep({reinterpret_cast<std::uintptr_t>(Block), Bytes, {}});
}

}  // namespace redozir
