// Row tables held for a whole run and the parallel loop that the rotation and
// blur engines share. Every piece of a split loop writes its own rows or
// columns only, so the bytes do not depend on how the work is split.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/core/ie_speed.h"

#pragma GCC visibility push(default)
namespace redozir {

// True when the vector paths may run: allowed by IESpeed and supported here.
bool IEUseAVX2();
// The same for the 512-bit paths (AVX-512 F, BW, VL, DQ, VBMI and VNNI).
bool IEUseAVX512();

// Every row of a bitmap locked (TIEBitmap.LockRows) until the table is freed,
// so that a disk-buffered bitmap is mapped once and its rows can be shared
// between threads.
class TIERowTable {
 public:
  explicit TIERowTable(TIEBitmap* Bitmap);
  ~TIERowTable();
  TIERowTable(const TIERowTable&) = delete;
  TIERowTable& operator=(const TIERowTable&) = delete;

  std::uint8_t* operator[](int Y) const { return fRows[static_cast<size_t>(Y)]; }
  // The row pointers in order (inner loops index them without the table).
  std::uint8_t* const* Rows() const { return fRows.data(); }
  // Rows of the table can be shared between threads.
  bool Shareable() const { return fShareable; }
  // Rows [First, First + Count) are done with for now (see
  // TIEBitmap.ReleaseRows); they stay valid and keep their pixels.
  void Release(int First, int Count, bool Loose = false) const;
  // Row Y for a thread that walks the rows downwards (in any steps): on the
  // disk buffer the rows well behind the thread's walk leave memory as it
  // goes, so that its resident size stays small. A row let go and read again
  // comes back from the file, so other threads and walks in other
  // directions only cost time.
  const std::uint8_t* Walk(int Y) const;

 private:
  TIEBitmap* fBitmap;
  std::vector<std::uint8_t*> fRows;
  bool fShareable;
  std::uint64_t fSerial;  // tells the walks of different tables apart
  bool fLocked = false;
};

// The rows of a result that threads write once each, in any order. In
// memory they are the bitmap's own rows. On the disk buffer they are gathered
// in blocks of consecutive rows, and a block goes to the file (not through a
// mapping) as soon as its last row is done: the result then takes no resident
// memory and no page faults beyond the few blocks in work.
class TIERowWriter {
 public:
  explicit TIERowWriter(TIEBitmap* Bitmap);
  ~TIERowWriter();
  TIERowWriter(const TIERowWriter&) = delete;
  TIERowWriter& operator=(const TIERowWriter&) = delete;

  // Where row Y is to be written (GetRowLen bytes); valid until Done(Y).
  std::uint8_t* Row(int Y);
  // Row Y is written.
  void Done(int Y);

 private:
  struct TBlock {
    std::atomic<std::uint8_t*> Data{nullptr};
    std::atomic<int> Done{0};
  };
  TIEBitmap* fBitmap;
  std::vector<std::uint8_t*> fRows;  // in memory
  int fBlockRows = 0;
  std::int64_t fRowLen = 0;
  std::unique_ptr<TBlock[]> fBlocks;
  std::mutex fLock;  // guards the buffers and the creation of a block's one
  std::vector<std::unique_ptr<std::uint8_t[]>> fOwned;
  std::vector<std::uint8_t*> fFree;  // owned buffers of blocks written
};

// Runs Body over [0, Count) in contiguous pieces, on up to one thread per core
// when Parallel is set and the total work (Count x WorkPerItem) is worth it.
// An exception raised by a piece is raised again once all pieces ended.
// MaxPiece, when positive, bounds the items of a piece: the threads then
// work close to each other (on a disk-buffered bitmap, within the rows that
// one of them brought into memory).
void IEParallelFor(int Count, std::int64_t WorkPerItem, bool Parallel,
                   const std::function<void(int Begin, int End)>& Body, int MaxPiece = 0);

// The same for a loop whose items report progress one by one: pieces run in
// batches and After(i) is called on the calling thread, in order, for every
// item of a batch once the batch is done. Without After the loop is not batched.
void IEParallelForProgress(int Count, std::int64_t WorkPerItem, bool Parallel,
                           const std::function<void(int Begin, int End)>& Body,
                           const std::function<void(int Item)>& After, int MaxPiece = 0);

}  // namespace redozir
#pragma GCC visibility pop
