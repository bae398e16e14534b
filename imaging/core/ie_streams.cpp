// TNulStream and the string and copy helpers.
#include "imaging/core/ie_streams.h"

#include <cstring>

#include "platform/byte_reader.h"

namespace redozir {

std::int64_t TNulStream::Read(void*, std::int64_t count) {
  if (count <= 0) return 0;
  fPosition += count;
  fSize = std::max(fSize, fPosition);
  return count;
}

std::int64_t TNulStream::Write(const void*, std::int64_t count) {
  if (count <= 0) return 0;
  fPosition += count;
  fSize = std::max(fSize, fPosition);
  return count;
}

std::int64_t TNulStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? fPosition : fSize;
  std::int64_t p = base + offset;
  if (p < 0) throw EStreamError("Seek before the start of a stream");
  fPosition = p;
  return fPosition;
}

void TNulStream::SetSize(std::int64_t newSize) {
  if (newSize < 0) throw EStreamError("Negative stream size");
  fSize = newSize;
  fPosition = std::min(fPosition, fSize);
}

void IEWriteStringToStream(TStream& Stream, const std::string& Value) {
  if (static_cast<std::int64_t>(Value.size()) > kIEMaxStreamString)
    throw EWriteError("String too long for a stream: " + std::to_string(Value.size()) + " bytes");
  std::int32_t len = static_cast<std::int32_t>(Value.size());
  std::uint8_t le[4] = {static_cast<std::uint8_t>(len), static_cast<std::uint8_t>(len >> 8),
                        static_cast<std::uint8_t>(len >> 16), static_cast<std::uint8_t>(len >> 24)};
  Stream.WriteBuffer(le, 4);
  if (len) Stream.WriteBuffer(Value.data(), len);
}

void IEReadStringFromStream(TStream& Stream, std::string& Value) {
  std::int64_t start = Stream.Position();
  try {
    TByteReader r(Stream, -1, "string");
    std::int64_t len = r.Count(r.I32(), kIEMaxStreamString, 1, "string length");
    Value = r.Str(len);
  } catch (...) {
    Stream.SetPosition(start);
    throw;
  }
}

std::string IEReadStringFromStream(TStream& Stream) {
  std::string s;
  IEReadStringFromStream(Stream, s);
  return s;
}

std::int64_t IECopyFrom(TStream& Dest, TStream& Source, std::int64_t Count) {
  if (Count < 0) throw EReadError("Negative copy count");
  return Dest.CopyFrom(Source, Count);
}

std::unique_ptr<char[]> IEStrDup(const char* Text) {
  if (!Text) return nullptr;
  size_t n = std::strlen(Text) + 1;
  std::unique_ptr<char[]> p(new char[n]);
  std::memcpy(p.get(), Text, n);
  return p;
}

}  // namespace redozir
