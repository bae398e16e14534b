// Byte streams: the abstract TStream, a growable memory stream and a file
// stream. Every byte format of the library is read and written through them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "platform/exceptions.h"

#pragma GCC visibility push(default)
namespace redozir {

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };
constexpr int soFromBeginning = soBeginning;
constexpr int soFromCurrent = soCurrent;
constexpr int soFromEnd = soEnd;

class TStream {
 public:
  virtual ~TStream() = default;

  // Reads at most count bytes; answers how many were read (0 at the end).
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  // Writes count bytes; answers how many were written.
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  // Moves the position; answers the new position.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::int64_t Seek(std::int64_t offset, int origin) {
    return Seek(offset, static_cast<TSeekOrigin>(origin));
  }
  std::int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(std::int64_t pos) { Seek(pos, soBeginning); }
  virtual std::int64_t Size();
  virtual void SetSize(std::int64_t newSize);

  // Reads exactly count bytes or raises EReadError.
  void ReadBuffer(void* buffer, std::int64_t count);
  // Writes exactly count bytes or raises EWriteError.
  void WriteBuffer(const void* buffer, std::int64_t count);
  // Copies count bytes from source (all of source from its start when count is 0).
  std::int64_t CopyFrom(TStream& source, std::int64_t count);

  template <typename T>
  T ReadValue() {
    T v;
    ReadBuffer(&v, sizeof(T));
    return v;
  }
  template <typename T>
  void WriteValue(const T& v) {
    WriteBuffer(&v, sizeof(T));
  }
};

// A stream on a growable block of memory. The block grows geometrically
// with realloc (a large block is moved by remapping its pages, not by
// copying them), and bytes are never cleared ahead of a write: only a gap
// left by seeking past the end, and the bytes added by SetSize, read as 0.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(const std::vector<std::uint8_t>& data);
  TMemoryStream(const TMemoryStream& other);
  TMemoryStream(TMemoryStream&& other) noexcept;
  TMemoryStream& operator=(TMemoryStream other) noexcept;
  ~TMemoryStream() override;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  using TStream::Seek;
  std::int64_t Size() override { return size_; }
  void SetSize(std::int64_t newSize) override;

  void Clear();
  std::uint8_t* Memory() { return data_; }
  // The contents, read-only, valid until the next change of the stream.
  std::span<const std::uint8_t> Data() const { return {data_, static_cast<std::size_t>(size_)}; }
  // A copy of the contents.
  std::vector<std::uint8_t> Bytes() const;
  void LoadFromStream(TStream& s);
  void SaveToStream(TStream& s);
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName);

 private:
  // Room for capacity bytes; exact, or at least double the present room.
  void Reserve(std::int64_t capacity, bool exact);

  std::uint8_t* data_ = nullptr;
  std::int64_t size_ = 0;
  std::int64_t capacity_ = 0;
  std::int64_t pos_ = 0;
};

// A read-only stream over memory it does not own.
class TReadOnlyMemoryStream : public TStream {
 public:
  TReadOnlyMemoryStream(const void* data, std::int64_t size)
      : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void*, std::int64_t) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  using TStream::Seek;
  std::int64_t Size() override { return size_; }

 private:
  const std::uint8_t* data_;
  std::int64_t size_;
  std::int64_t pos_ = 0;
};

constexpr int fmCreate = 0xFF00;
constexpr int fmOpenRead = 0x0000;
constexpr int fmOpenWrite = 0x0001;
constexpr int fmOpenReadWrite = 0x0002;
constexpr int fmShareDenyNone = 0x0040;
constexpr int fmShareDenyWrite = 0x0020;

// A stream on a file. A file that cannot be opened or created raises
// EFOpenError or EFCreateError naming it.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& fileName, int mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  using TStream::Seek;
  void SetSize(std::int64_t newSize) override;
  const std::string& FileName() const { return fileName_; }

 private:
  std::string fileName_;
  int fd_ = -1;
};

bool FileExists(const std::string& fileName);

}  // namespace redozir
#pragma GCC visibility pop
