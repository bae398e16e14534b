// Pixel memory of bitmaps. Blocks of 8 MiB and more are asked for on whole
// huge pages, and one let go is kept for about a second: the next
// picture of a similar size (a resampling called again and again, a view
// repainting at a new zoom) takes its pages over instead of having the
// kernel fault in and clear fresh ones, which costs a third of a large
// enlargement and, being bound by memory, does not get faster with more
// threads. Smaller blocks come from the heap as before. Kept blocks hold no
// state of any call: their bytes are stale and the new owner writes them.
#pragma once

#include <cstdint>
#include <memory>

#pragma GCC visibility push(default)
namespace redozir {

// Most bytes kept at a time: 256 MiB, or a quarter of the default memory
// threshold if that is less, unless set (a negative value restores it); 0
// lets every block go at once. A block larger than the limit is never kept.
// May be set at any time, from any thread.
void IESetKeptPixelMemory(std::int64_t Bytes);
std::int64_t IEKeptPixelMemoryLimit();
// Bytes kept right now, and letting all of them go.
std::int64_t IEKeptPixelMemory();
void IEReleaseKeptPixelMemory();

// The keeper of pixel blocks: other memory an engine keeps between calls is
// kept under it (TIEKeeper's Under), so that the settings above bound it too.
class TIEKeeper;
TIEKeeper& IEKeptPixels();

// Frees a block of IENewPixels: blocks of 8 MiB and more are kept.
struct TIEPixelsFree {
  std::int64_t Bytes = 0;  // the block's own length, which may pass the size asked for
  void operator()(std::uint8_t* Block) const noexcept;
};
using TIEPixels = std::unique_ptr<std::uint8_t[], TIEPixelsFree>;
// A block of at least Bytes uninitialised bytes; empty when the system has none.
TIEPixels IENewPixels(std::int64_t Bytes) noexcept;
// A work block of an engine (at least one byte); raises EOutOfMemory
// "Cannot allocate the <What> (<Bytes> bytes)" when the system has none.
TIEPixels IEWorkPixels(std::int64_t Bytes, const char* What);

}  // namespace redozir
#pragma GCC visibility pop
