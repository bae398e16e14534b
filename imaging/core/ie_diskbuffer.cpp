// The disk buffer of TIEBitmap: a temporary file mapped a window of rows at
// a time, with separately mapped rows for the ones that callers lock.
#include "imaging/core/ie_diskbuffer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "imaging/core/ie_kept.h"
#include "platform/exceptions.h"

namespace redozir {

namespace {
// Rows handed out by Row are mapped in windows of about this size, so that a
// walk down the image maps the file once per window, not once per row.
constexpr std::int64_t kWindowBytes = std::int64_t(16) << 20;
// Mappings at least this large ask for huge pages (the usual size on x86-64
// and arm64 with 4 KiB pages).
constexpr std::size_t kHugePageBytes = std::size_t(2) << 20;
// Files at least this large are closed on a thread of their own.
constexpr std::int64_t kBackgroundCloseBytes = std::int64_t(64) << 20;
// Files are reused by new buffers only this long after they were made.
constexpr auto kKeepFilesFor = std::chrono::seconds(15);

std::int64_t PageSize() {
  static const std::int64_t page = [] {
    long p = sysconf(_SC_PAGESIZE);
    return p > 0 ? static_cast<std::int64_t>(p) : std::int64_t(4096);
  }();
  return page;
}

int CreateTempFile() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = std::string(dir && *dir ? dir : "/tmp") + "/iebitmap-XXXXXX";
  std::vector<char> name(path.begin(), path.end());
  name.push_back('\0');
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0 && dir && *dir) {
    std::string fallback = "/tmp/iebitmap-XXXXXX";
    name.assign(fallback.begin(), fallback.end());
    name.push_back('\0');
    fd = mkostemp(name.data(), O_CLOEXEC);
  }
  // Nobody else needs the name; the file goes away with the descriptor.
  if (fd >= 0) unlink(name.data());
  return fd;
}
// A limit written in a control-group file: a number of bytes, or "max".
// Read without allocating (see KeptFiles).
std::int64_t CgroupLimit(const char* Path) {
  int fd = ::open(Path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return INT64_MAX;
  char v[32];
  ssize_t got;
  do {
    got = ::read(fd, v, sizeof v);
  } while (got < 0 && errno == EINTR);
  ::close(fd);
  if (got <= 0 || v[0] < '0' || v[0] > '9') return INT64_MAX;
  std::int64_t n = 0;
  for (ssize_t i = 0; i < got && v[i] != '\n'; ++i) {
    const char c = v[i];
    if (c < '0' || c > '9' || n > (INT64_MAX - 9) / 10) return INT64_MAX;
    n = n * 10 + (c - '0');
  }
  return n > 0 ? n : INT64_MAX;
}
}  // namespace

std::int64_t IEUsableMemory() {
  long pages = sysconf(_SC_PHYS_PAGES);
  std::int64_t usable = pages > 0 ? static_cast<std::int64_t>(pages) * PageSize() : std::int64_t(4) << 30;
  usable = std::min(usable, CgroupLimit("/sys/fs/cgroup/memory.max"));
  usable = std::min(usable, CgroupLimit("/sys/fs/cgroup/memory/memory.limit_in_bytes"));
  for (int which : {RLIMIT_AS, RLIMIT_DATA}) {
    rlimit r{};
    if (getrlimit(which, &r) == 0 && r.rlim_cur != RLIM_INFINITY)
      usable =
          std::min<std::int64_t>(usable, static_cast<std::int64_t>(std::min<rlim_t>(r.rlim_cur, INT64_MAX)));
  }
  return usable;
}

std::int64_t IEDefaultMemoryThreshold() {
  static const std::int64_t threshold = std::max(IEUsableMemory() / 4, std::int64_t(256) << 20);
  return threshold;
}

namespace {
// Closing the last descriptor of a large file drops its cached pages, which
// takes a while: a thread of its own does it, so that the owner (a rotation
// exchanging its result for the old pixels, say) goes on at once. The file
// has no name, so nothing can see it meanwhile.
void CloseFile(TIEKeeper::TItem File) {
  int fd = static_cast<int>(File.Handle);
  if (File.Length >= kBackgroundCloseBytes) {
    try {
      std::thread([fd] { close(fd); }).detach();
      return;
    } catch (...) {
    }
  }
  close(fd);
}

// Files of buffers let go, kept for about a second: the next buffer of a
// similar size takes one over with its space reserved and its pages cached,
// instead of the system clearing fresh pages and discarding the old blocks.
TIEKeeper& KeptFiles() {
  // Made without allocating: a buffer may first be let go where memory has
  // run out, in a destructor.
  alignas(TIEKeeper) static unsigned char storage[sizeof(TIEKeeper)];
  static TIEKeeper* k =
      new (storage) TIEKeeper(CloseFile, std::min(std::int64_t(1) << 30, IEUsableMemory() / 8), 4);
  return *k;
}
}  // namespace

void IESetKeptDiskBuffers(std::int64_t Bytes) { KeptFiles().SetLimit(Bytes); }
std::int64_t IEKeptDiskBuffers() { return KeptFiles().Bytes(); }
void IEReleaseKeptDiskBuffers() { KeptFiles().Trim(true); }

std::unique_ptr<TIEDiskBuffer> TIEDiskBuffer::Create(std::int64_t RowLen, int Rows) {
  if (RowLen <= 0 || Rows <= 0) return nullptr;
  std::int64_t total = RowLen * Rows;
  TIEKeeper::TItem kept;
  // A kept file up to a quarter longer than asked for serves.
  if (KeptFiles().Take(total, total + total / 4, kept))
    return std::unique_ptr<TIEDiskBuffer>(
        new TIEDiskBuffer(static_cast<int>(kept.Handle), RowLen, Rows, kept.Length, kept.Born));
  int fd = CreateTempFile();
  if (fd < 0) return nullptr;
  auto reserve = [&] {
    int rc;
    do {
      rc = posix_fallocate(fd, 0, static_cast<off_t>(total));
    } while (rc == EINTR);
    return rc;
  };
  int rc = reserve();
  // A full disk: the kept files give their space back (closed here, not on a
  // thread of their own, so that it is free on return) before that is final.
  if (rc == ENOSPC) {
    TIEKeeper::TItem file;
    bool freed = false;
    while (KeptFiles().Take(0, INT64_MAX, file)) {
      close(static_cast<int>(file.Handle));
      freed = true;
    }
    if (freed) rc = reserve();
  }
  if (rc != 0) {
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<TIEDiskBuffer>(
      new TIEDiskBuffer(fd, RowLen, Rows, total, std::chrono::steady_clock::now()));
}

TIEDiskBuffer::~TIEDiskBuffer() {
  Unmap(fWindow);
  Unmap(fAll);
  for (auto& [y, m] : fLocked) Unmap(m);
  if (fFd < 0) return;
  TIEKeeper::TItem file{static_cast<std::uintptr_t>(fFd), fFileBytes, fBorn};
  // A file in use for long would have its dirty pages written out to the
  // disk (which a file let go within seconds never has): it goes now.
  if (std::chrono::steady_clock::now() - fBorn < kKeepFilesFor)
    KeptFiles().Keep(file);
  else
    CloseFile(file);
}

TIEDiskBuffer::TMapping TIEDiskBuffer::Map(int FirstRow, int RowCount, std::uint8_t Access) const {
  std::int64_t start = fRowLen * FirstRow;
  std::int64_t end = start + fRowLen * RowCount;
  std::int64_t pageStart = start / PageSize() * PageSize();
  TMapping m;
  m.Length = static_cast<std::size_t>(end - pageStart);
  m.Access = Access;
  m.FirstRow = FirstRow;
  m.RowCount = RowCount;
  // Rows only read are mapped privately: a write into them changes the
  // caller's view but never the stored image.
  int flags = Access == iemRead ? MAP_PRIVATE : MAP_SHARED;
  void* p = mmap(nullptr, m.Length, PROT_READ | PROT_WRITE, flags, fFd, static_cast<off_t>(pageStart));
  if (p == MAP_FAILED) throw EOutOfMemory("Cannot map rows of the disk buffer");
  m.Base = static_cast<std::uint8_t*>(p);
  // Windows are walked in order; a whole-buffer mapping may be read anywhere.
  if (RowCount > 1 && RowCount < fRows) madvise(p, m.Length, MADV_SEQUENTIAL);
  // Large mappings ask for huge pages: the file's cache is then made of
  // folios of that size, and a page fault maps a whole one rather than 4 KiB
  // (the rotation of a 12000 x 12000 picture on the disk buffer took three
  // times as long with small pages). Rows let go with Release still leave
  // memory, the huge page split where needed.
  if (m.Length >= kHugePageBytes) {
    madvise(p, m.Length, MADV_HUGEPAGE);
    // The whole buffer is shared by threads working on nearby rows. A fault
    // on a huge page not yet in the cache fills (zeroes, for rows never
    // written) the next one too, while every thread that needs either waits:
    // without read-ahead each fault fills only its own (the rotation of a
    // 12000 x 12000 picture waited for pages a third less, and took about a
    // fifth less time).
    if (RowCount == fRows) madvise(p, m.Length, MADV_RANDOM);
  }
  return m;
}

void TIEDiskBuffer::Unmap(TMapping& m) {
  if (m.Base) munmap(m.Base, m.Length);
  m = TMapping{};
}

std::uint8_t* TIEDiskBuffer::Address(const TMapping& m, int Y) const {
  std::int64_t pageStart = fRowLen * m.FirstRow / PageSize() * PageSize();
  return m.Base + (fRowLen * Y - pageStart);
}

std::uint8_t* TIEDiskBuffer::Row(int Y, std::uint8_t Access) {
  if (Y < 0 || Y >= fRows) throw ERangeError("Disk buffer row out of range: " + std::to_string(Y));
  if (Access < iemRead || Access > iemReadWrite) Access = iemReadWrite;
  if (fWindow.Base && fWindow.Access == Access && Y >= fWindow.FirstRow &&
      Y < fWindow.FirstRow + fWindow.RowCount) {
    fLastRow = Y;
    return Address(fWindow, Y);
  }
  Unmap(fWindow);
  // A walk upwards row by row (bottom-up files) gets the window that ends at
  // the row; anything else the one that starts there.
  const bool upwards = Y == fLastRow - 1;
  fLastRow = Y;
  const int want = static_cast<int>(std::clamp<std::int64_t>(kWindowBytes / fRowLen, 1, fRows));
  const int first = upwards ? std::max(0, Y - want + 1) : Y;
  fWindow = Map(first, std::min(want, fRows - first), Access);
  return Address(fWindow, Y);
}

std::uint8_t* TIEDiskBuffer::LockRow(int Y, std::uint8_t Access) {
  if (Y < 0 || Y >= fRows) throw ERangeError("Disk buffer row out of range: " + std::to_string(Y));
  if (Access < iemRead || Access > iemReadWrite) Access = iemReadWrite;
  auto it = fLocked.find(Y);
  if (it == fLocked.end()) {
    // Inside a whole-buffer mapping of the same kind (private for reading
    // only) the row takes no mapping of its own, which a loop locking every
    // row of a tall picture would run out of; the whole mapping then stays
    // until the row is unlocked too.
    if (fAll.Base && (Access == iemRead) == (fAll.Access == iemRead)) {
      TMapping m;
      m.FirstRow = Y;
      m.RowCount = 1;
      m.Access = Access;
      m.InAll = true;
      ++fAll.Lock;
      it = fLocked.emplace(Y, m).first;
    } else {
      it = fLocked.emplace(Y, Map(Y, 1, Access)).first;
    }
  }
  ++it->second.Lock;
  return it->second.InAll ? fAll.Base + fRowLen * Y : Address(it->second, Y);
}

void TIEDiskBuffer::UnlockRow(int Y) {
  auto it = fLocked.find(Y);
  if (it == fLocked.end()) return;
  if (--it->second.Lock > 0) return;
  if (it->second.InAll)
    UnlockAll();
  else
    Unmap(it->second);
  fLocked.erase(it);
}

std::uint8_t* TIEDiskBuffer::LockAll(std::uint8_t Access) {
  if (Access < iemRead || Access > iemReadWrite) Access = iemReadWrite;
  if (!fAll.Base) {
    fAll = Map(0, fRows, Access);
  } else if (fAll.Access == iemRead && Access != iemRead) {
    throw EInvalidOperation("The disk buffer is mapped for reading only");
  }
  ++fAll.Lock;
  return fAll.Base;
}

void TIEDiskBuffer::UnlockAll() {
  if (fAll.Base && --fAll.Lock <= 0) Unmap(fAll);
}

void TIEDiskBuffer::Release(int First, int Count, bool Loose) {
  if (!fAll.Base) return;
  First = std::max(First, 0);
  int last = std::min(First + Count, fRows);
  if (First >= last) return;
  std::int64_t b, e;
  if (Loose && fAll.Access != iemRead && fAll.Length >= kHugePageBytes) {
    // Letting go of part of a huge page splits it, which holds the
    // page-table lock that every thread faulting a page needs while all the
    // processors are told to forget the old mapping (a third of the time of
    // a Lanczos reduction on the disk buffer, where every thread lets go of
    // the source rows behind it). Rows let go with the huge page where the
    // rows start are read back from the file, where everything written is.
    const auto base = static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(fAll.Base));
    const auto huge = static_cast<std::int64_t>(kHugePageBytes);
    b = std::max<std::int64_t>((base + fRowLen * First) / huge * huge - base, 0);
    e = last == fRows ? static_cast<std::int64_t>(fAll.Length) : (base + fRowLen * last) / huge * huge - base;
  } else {
    // Only the pages wholly inside the rows: their neighbours may hold
    // changes a private mapping does not keep.
    const std::int64_t page = PageSize();
    b = (fRowLen * First + page - 1) / page * page;
    e = fRowLen * last / page * page;
  }
  if (e > b) madvise(fAll.Base + b, static_cast<std::size_t>(e - b), MADV_DONTNEED);
}

void TIEDiskBuffer::WriteRows(int First, int Count, const std::uint8_t* Data) const {
  if (First < 0 || Count < 0 || First > fRows - Count)
    throw ERangeError("Disk buffer rows out of range: " + std::to_string(First) + " + " +
                      std::to_string(Count));
  std::int64_t at = fRowLen * First, left = fRowLen * Count;
  while (left > 0) {
    ssize_t n = pwrite(fFd, Data, static_cast<std::size_t>(std::min<std::int64_t>(left, INT_MAX / 2)),
                       static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw EWriteError("Cannot write rows of the disk buffer");
    Data += n;
    at += n;
    left -= n;
  }
}

}  // namespace redozir
