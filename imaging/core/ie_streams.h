// Stream helpers of the imaging core: a counting stream that stores nothing,
// length-prefixed strings, bounded copies between streams and string copies.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/stream.h"

#pragma GCC visibility push(default)
namespace redozir {

// Stores nothing and only counts: writes and reads move the position by their
// count, and the size follows the furthest position reached.
class TNulStream : public TStream {
 public:
  TNulStream() = default;
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  using TStream::Seek;
  std::int64_t Size() override { return fSize; }
  void SetSize(std::int64_t newSize) override;

 private:
  std::int64_t fPosition = 0;
  std::int64_t fSize = 0;
};

// The longest string IEReadStringFromStream accepts.
constexpr std::int64_t kIEMaxStreamString = std::int64_t(1) << 24;

// A string as an int32 length followed by its bytes.
void IEWriteStringToStream(TStream& Stream, const std::string& Value);
// Reads it back; a negative length, one beyond the bytes left or beyond
// kIEMaxStreamString raises EFormatError with the stream where it was.
void IEReadStringFromStream(TStream& Stream, std::string& Value);
std::string IEReadStringFromStream(TStream& Stream);

// Copies Count bytes from Source's position to Dest (Count 0: all of Source
// from its start); answers the count copied. A short Source raises EReadError.
std::int64_t IECopyFrom(TStream& Dest, TStream& Source, std::int64_t Count);

// A copy of a zero-terminated string in a new block; nullptr for nullptr.
std::unique_ptr<char[]> IEStrDup(const char* Text);

}  // namespace redozir
#pragma GCC visibility pop
