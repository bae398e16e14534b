// The largest request the test_alloc binary's operator new has seen (it
// refuses those above 256 MB); a test sets it to 0 before the work it watches.
#pragma once

#include <atomic>
#include <cstddef>

extern std::atomic<std::size_t> gLargest;
