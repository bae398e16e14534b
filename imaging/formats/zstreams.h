// Streams that deflate what is written into another stream and inflate a
// zlib stream read from another, each through a 64 KiB buffer.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/stream.h"

#pragma GCC visibility push(default)
namespace redozir {

// Raised for a damaged or over-long zlib stream and for zlib's own failures.
class EZLibError : public EStreamError {
  using EStreamError::EStreamError;
};

constexpr std::int64_t kZBufferSize = 65536;

// Write-only: everything written is deflated into Dest as one zlib stream
// (with its header). Level 0 none, 1 fastest, 2 zlib's default, 3 maximum.
// The data are complete in Dest after Finish or once the stream is freed.
class TZCompressionStream : public TStream {
 public:
  TZCompressionStream(TStream& Dest, std::uint8_t Level = 2);
  // Flushes what is left. A destructor cannot raise: callers that must know
  // whether the last bytes reached Dest call Finish first.
  ~TZCompressionStream() override;
  TZCompressionStream(const TZCompressionStream&) = delete;
  TZCompressionStream& operator=(const TZCompressionStream&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  // Only the current position can be asked for (the count of bytes taken in).
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  using TStream::Seek;
  std::int64_t Size() override { return fTotalIn; }

  // Ends the zlib stream now; later writes raise.
  void Finish();

 private:
  void Deflate(int flush);
  struct Impl;
  std::unique_ptr<Impl> p_;
  TStream& fDest;
  std::int64_t fTotalIn = 0;
  bool fFinished = false;
};

// Read-only: inflates a zlib stream read from Source's position. Once the
// stream's end has been read, Source stands right after the bytes it used.
// More than MaxSize inflated bytes raise (a guard against decompression
// bombs); a damaged stream raises when it is read.
class TZDecompressionStream : public TStream {
 public:
  explicit TZDecompressionStream(TStream& Source, std::int64_t MaxSize = std::int64_t(1) << 32);
  ~TZDecompressionStream() override;
  TZDecompressionStream(const TZDecompressionStream&) = delete;
  TZDecompressionStream& operator=(const TZDecompressionStream&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  // The current position, or forward from it (by inflating and dropping).
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  using TStream::Seek;
  // The inflated size is unknown until the end: asking for it raises.
  std::int64_t Size() override;

  bool AtEnd() const { return fEnd; }

 private:
  struct Impl;
  std::unique_ptr<Impl> p_;
  TStream& fSource;
  std::int64_t fMaxSize;
  std::int64_t fTotalOut = 0;
  bool fEnd = false;
};

}  // namespace redozir
#pragma GCC visibility pop
