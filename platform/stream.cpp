#include "platform/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace redozir {

std::int64_t TStream::Size() {
  std::int64_t pos = Seek(0, soCurrent);
  std::int64_t end = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return end;
}

void TStream::SetSize(std::int64_t) { throw EStreamError("Stream size cannot be changed"); }

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count < 0) throw EReadError("Stream read error: negative count");
  auto* p = static_cast<std::uint8_t*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    std::int64_t n = Read(p + done, count - done);
    if (n <= 0) break;
    done += n;
  }
  if (done != count)
    throw EReadError("Stream read error: wanted " + std::to_string(count) + " bytes, got " +
                     std::to_string(done));
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count < 0) throw EWriteError("Stream write error: negative count");
  if (Write(buffer, count) != count) throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  if (count == 0) {
    source.Seek(0, soBeginning);
    count = source.Size();
  }
  std::vector<std::uint8_t> buf(static_cast<size_t>(std::min<std::int64_t>(count, 1 << 20)));
  std::int64_t left = count;
  while (left > 0) {
    std::int64_t n = std::min<std::int64_t>(left, static_cast<std::int64_t>(buf.size()));
    source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    left -= n;
  }
  return count;
}

// ---- TMemoryStream

TMemoryStream::TMemoryStream(const std::vector<std::uint8_t>& data) {
  Reserve(static_cast<std::int64_t>(data.size()), true);
  if (!data.empty()) std::memcpy(data_, data.data(), data.size());
  size_ = static_cast<std::int64_t>(data.size());
}

TMemoryStream::TMemoryStream(const TMemoryStream& other) : pos_(other.pos_) {
  Reserve(other.size_, true);
  if (other.size_) std::memcpy(data_, other.data_, static_cast<size_t>(other.size_));
  size_ = other.size_;
}

TMemoryStream::TMemoryStream(TMemoryStream&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      pos_(std::exchange(other.pos_, 0)) {}

TMemoryStream& TMemoryStream::operator=(TMemoryStream other) noexcept {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  std::swap(capacity_, other.capacity_);
  std::swap(pos_, other.pos_);
  return *this;
}

TMemoryStream::~TMemoryStream() { std::free(data_); }

namespace {
// Read and Seek of the streams over a block of memory: a position past the
// end reads nothing, one before the start raises.
std::int64_t ReadMemory(const std::uint8_t* data, std::int64_t size, std::int64_t& pos, void* buffer,
                        std::int64_t count) {
  if (count <= 0 || pos >= size) return 0;
  std::int64_t n = std::min(count, size - pos);
  std::memcpy(buffer, data + pos, static_cast<size_t>(n));
  pos += n;
  return n;
}

std::int64_t SeekMemory(std::int64_t size, std::int64_t& pos, std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? pos : size;
  std::int64_t np = base + offset;
  if (np < 0) throw EStreamError("Seek before the start of a memory stream");
  pos = np;
  return pos;
}
}  // namespace

void TMemoryStream::Reserve(std::int64_t capacity, bool exact) {
  if (capacity <= capacity_) return;
  // Doubling keeps the number of moves logarithmic in the final size.
  constexpr std::int64_t kMinCapacity = 256;
  if (!exact) {
    const std::int64_t grown =
        capacity_ > std::numeric_limits<std::int64_t>::max() / 2 ? capacity : 2 * capacity_;
    capacity = std::max({capacity, grown, kMinCapacity});
  }
  if (static_cast<std::uint64_t>(capacity) > std::numeric_limits<std::size_t>::max() / 2)
    throw std::bad_alloc();
  void* p = std::realloc(data_, static_cast<size_t>(capacity));
  if (!p) throw std::bad_alloc();
  data_ = static_cast<std::uint8_t*>(p);
  capacity_ = capacity;
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  return ReadMemory(data_, size_, pos_, buffer, count);
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  if (count > std::numeric_limits<std::int64_t>::max() - pos_)
    throw EWriteError("Memory stream write error: the end would lie past 2^63 bytes");
  const std::int64_t end = pos_ + count;
  if (end > capacity_) Reserve(end, false);
  if (pos_ > size_) std::memset(data_ + size_, 0, static_cast<size_t>(pos_ - size_));
  std::memcpy(data_ + pos_, buffer, static_cast<size_t>(count));
  size_ = std::max(size_, end);
  pos_ = end;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  return SeekMemory(size_, pos_, offset, origin);
}

void TMemoryStream::SetSize(std::int64_t newSize) {
  if (newSize < 0) throw EStreamError("Negative stream size");
  if (newSize > size_) {
    // Exactly the size asked for: a caller that sets the size first is about
    // to fill it, and gains nothing from doubling.
    Reserve(newSize, true);
    std::memset(data_ + size_, 0, static_cast<size_t>(newSize - size_));
  }
  size_ = newSize;
  pos_ = std::min(pos_, newSize);
}

void TMemoryStream::Clear() {
  std::free(std::exchange(data_, nullptr));
  size_ = capacity_ = pos_ = 0;
}

std::vector<std::uint8_t> TMemoryStream::Bytes() const { return {data_, data_ + size_}; }

void TMemoryStream::LoadFromStream(TStream& s) {
  s.Seek(0, soBeginning);
  std::int64_t n = s.Size();
  TMemoryStream tmp;
  tmp.SetSize(n);
  if (n) s.ReadBuffer(tmp.data_, n);
  *this = std::move(tmp);
}

void TMemoryStream::SaveToStream(TStream& s) {
  if (size_) s.WriteBuffer(data_, size_);
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f);
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
  TFileStream f(fileName, fmCreate);
  SaveToStream(f);
}

// ---- TReadOnlyMemoryStream

std::int64_t TReadOnlyMemoryStream::Read(void* buffer, std::int64_t count) {
  return ReadMemory(data_, size_, pos_, buffer, count);
}

std::int64_t TReadOnlyMemoryStream::Write(const void*, std::int64_t) {
  throw EWriteError("Stream is read-only");
}

std::int64_t TReadOnlyMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  return SeekMemory(size_, pos_, offset, origin);
}

// ---- TFileStream

TFileStream::TFileStream(const std::string& fileName, int mode) : fileName_(fileName) {
  if ((mode & 0xFF00) == fmCreate) {
    fd_ = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) throw EFCreateError("Cannot create file \"" + fileName + "\": " + std::strerror(errno));
    return;
  }
  int flags = O_CLOEXEC;
  switch (mode & 3) {
    case fmOpenWrite: flags |= O_WRONLY; break;
    case fmOpenReadWrite: flags |= O_RDWR; break;
    default: flags |= O_RDONLY; break;
  }
  fd_ = ::open(fileName.c_str(), flags);
  if (fd_ < 0) throw EFOpenError("Cannot open file \"" + fileName + "\": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    throw EFOpenError("Cannot open file \"" + fileName + "\": it is a directory");
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  ssize_t n;
  do {
    n = ::read(fd_, buffer, static_cast<size_t>(count));
  } while (n < 0 && errno == EINTR);
  if (n < 0) throw EReadError("Read error on \"" + fileName_ + "\": " + std::strerror(errno));
  return n;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
  auto* p = static_cast<const std::uint8_t*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EWriteError("Write error on \"" + fileName_ + "\": " + std::strerror(errno));
    if (n == 0) break;
    done += n;
  }
  return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(fd_, offset, whence);
  if (r < 0) throw EStreamError("Seek error on \"" + fileName_ + "\"");
  return r;
}

void TFileStream::SetSize(std::int64_t newSize) {
  if (::ftruncate(fd_, newSize) != 0)
    throw EStreamError("Cannot resize \"" + fileName_ + "\": " + std::strerror(errno));
  if (Position() > newSize) Seek(newSize, soBeginning);
}

bool FileExists(const std::string& fileName) {
  struct stat st {};
  return ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace redozir
