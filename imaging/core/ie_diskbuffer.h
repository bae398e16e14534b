// TIEDiskBuffer: the pixels of a large TIEBitmap kept in a temporary file
// whose rows are mapped on demand.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#pragma GCC visibility push(default)
namespace redozir {

// Access modes of the rows handed out (the bitmap's access-mode byte).
constexpr std::uint8_t iemRead = 1;
constexpr std::uint8_t iemWrite = 2;
constexpr std::uint8_t iemReadWrite = 3;

// The memory this process may use: the physical memory, lowered by the
// control group's limit (cgroup v2 memory.max, v1 memory.limit_in_bytes) and
// by RLIMIT_AS and RLIMIT_DATA.
std::int64_t IEUsableMemory();
// The starting memory threshold of new bitmaps: a quarter of the usable
// memory, so that a source, its result and an engine's work fit together;
// never below 256 MB.
std::int64_t IEDefaultMemoryThreshold();

// The files of disk buffers let go are kept for about a second, for the next
// buffer of a similar size: at most 1 GiB (or an eighth of the usable memory
// if less: their pages are cached), unless set (a negative value restores
// that; 0 keeps none). May be set at any time, from any thread.
void IESetKeptDiskBuffers(std::int64_t Bytes);
// Bytes of the files kept right now, and letting all of them go.
std::int64_t IEKeptDiskBuffers();
void IEReleaseKeptDiskBuffers();

class TIEDiskBuffer {
 public:
  // A buffer of Rows rows of RowLen bytes in an unlinked temporary file
  // whose space is reserved up front (so that a full disk fails here and not
  // on a later write): a new one, or a kept one (see IESetKeptDiskBuffers)
  // whose bytes are stale, as those of new memory are; nullptr on failure.
  static std::unique_ptr<TIEDiskBuffer> Create(std::int64_t RowLen, int Rows);
  ~TIEDiskBuffer();
  TIEDiskBuffer(const TIEDiskBuffer&) = delete;
  TIEDiskBuffer& operator=(const TIEDiskBuffer&) = delete;

  std::int64_t RowLen() const { return fRowLen; }
  int Rows() const { return fRows; }

  // The address of row Y, valid until the next Row call. A row handed out
  // for reading only (iemRead) is mapped privately: what is written into it
  // is not stored.
  std::uint8_t* Row(int Y, std::uint8_t Access);
  // The address of row Y, valid until the matching UnlockRow, whatever other
  // rows are asked for meanwhile. Locks of one row nest. A row locked while
  // the whole buffer is mapped (LockAll) lies in that mapping.
  std::uint8_t* LockRow(int Y, std::uint8_t Access);
  void UnlockRow(int Y);
  int LockedRows() const { return static_cast<int>(fLocked.size()); }
  // The whole buffer in one mapping: row Y at the address returned plus
  // Y x RowLen, valid for every thread until the matching UnlockAll (locks
  // nest; a nested lock asking for writing while the first asked for reading
  // only raises). Work that holds many rows at once maps the file once so.
  std::uint8_t* LockAll(std::uint8_t Access);
  void UnlockAll();
  // Hands the memory behind rows [First, First + Count) of the whole mapping
  // back to the system; what was written stays in the file and is read again
  // on the next touch. Keeps the resident size of long walks small. Loose
  // lets the memory go in whole huge pages on a shared mapping: the one where
  // the rows start goes with the rows before it there, the one where they
  // end stays (for a next call that starts there), so no huge page is split.
  void Release(int First, int Count, bool Loose = false);
  // Stores Count rows from Data (RowLen bytes apart) as rows First onwards,
  // through the file rather than a mapping: a result written so takes no
  // resident memory. Every shared mapping sees the rows. May be called from
  // several threads at once for different rows; raises EWriteError on failure.
  void WriteRows(int First, int Count, const std::uint8_t* Data) const;

 private:
  struct TMapping {
    std::uint8_t* Base = nullptr;  // page-aligned start of the mapping
    std::size_t Length = 0;
    std::uint8_t Access = 0;
    int Lock = 0;  // lock count of a locked row
    int FirstRow = 0;
    int RowCount = 0;
    bool InAll = false;  // a locked row inside fAll, which holds a lock for it
  };
  TIEDiskBuffer(int fd, std::int64_t RowLen, int Rows, std::int64_t FileBytes,
                std::chrono::steady_clock::time_point Born)
      : fFd(fd), fRowLen(RowLen), fRows(Rows), fFileBytes(FileBytes), fBorn(Born) {}
  TMapping Map(int FirstRow, int RowCount, std::uint8_t Access) const;
  static void Unmap(TMapping& m);
  std::uint8_t* Address(const TMapping& m, int Y) const;

  int fFd = -1;
  std::int64_t fRowLen = 0;
  int fRows = 0;
  std::int64_t fFileBytes = 0;                  // the file's reserved length, at least RowLen x Rows
  std::chrono::steady_clock::time_point fBorn;  // when the file was made
  TMapping fWindow;                             // the rows handed out by Row
  int fLastRow = -2;                            // the row Row handed out last
  TMapping fAll;                                // the whole buffer, while LockAll holds it
  std::map<int, TMapping> fLocked;              // locked rows by index
};

}  // namespace redozir
#pragma GCC visibility pop
