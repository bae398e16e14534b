// Replaces every form of the global operator new and delete of a test binary
// with the binary's own TestAllocate and TestRelease, so that a binary can
// count, record or fail allocations. Include it in one source file of the
// binary only: the replacements are definitions.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

// Returns n bytes aligned to align (0: the default alignment), or nullptr when
// the system has none; n == 0 asks for one byte, as operator new must.
inline void* MallocAligned(std::size_t n, std::size_t align) {
  n = n ? n : 1;
  return align <= alignof(std::max_align_t) ? std::malloc(n)
                                            : std::aligned_alloc(align, (n + align - 1) / align * align);
}

// Defined by the binary. TestAllocate returns nullptr or throws
// std::bad_alloc (as nothrow says) when it refuses.
void* TestAllocate(std::size_t n, std::size_t align, bool nothrow);
void TestRelease(void* p) noexcept;

void* operator new(std::size_t n) { return TestAllocate(n, 0, false); }
void* operator new[](std::size_t n) { return TestAllocate(n, 0, false); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return TestAllocate(n, 0, true); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return TestAllocate(n, 0, true); }
void* operator new(std::size_t n, std::align_val_t a) {
  return TestAllocate(n, static_cast<std::size_t>(a), false);
}
void* operator new[](std::size_t n, std::align_val_t a) {
  return TestAllocate(n, static_cast<std::size_t>(a), false);
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return TestAllocate(n, static_cast<std::size_t>(a), true);
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return TestAllocate(n, static_cast<std::size_t>(a), true);
}
void operator delete(void* p) noexcept { TestRelease(p); }
void operator delete[](void* p) noexcept { TestRelease(p); }
void operator delete(void* p, std::size_t) noexcept { TestRelease(p); }
void operator delete[](void* p, std::size_t) noexcept { TestRelease(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { TestRelease(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { TestRelease(p); }
void operator delete(void* p, std::align_val_t) noexcept { TestRelease(p); }
void operator delete[](void* p, std::align_val_t) noexcept { TestRelease(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { TestRelease(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { TestRelease(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { TestRelease(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { TestRelease(p); }
