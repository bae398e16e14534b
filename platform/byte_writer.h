// The little-endian writer that every writer of the library's byte formats
// uses, the counterpart of TByteReader: fixed-size fields, counted strings and
// length fields filled in once what they count has been written.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/stream.h"

#pragma GCC visibility push(default)
namespace redozir {

class TByteWriter {
 public:
  explicit TByteWriter(TStream& s) : s_(s) {}

  void U8(std::uint8_t v) { s_.WriteBuffer(&v, 1); }
  void Bool(bool v) { U8(v ? 1 : 0); }
  void U32(std::uint32_t v) { Le(v); }
  void I32(std::int32_t v) { Le(static_cast<std::uint32_t>(v)); }
  void U64(std::uint64_t v) { Le(v); }
  void F64(double v) {
    std::uint64_t u;
    std::memcpy(&u, &v, 8);
    Le(u);
  }
  void Bytes(const void* p, std::int64_t n) {
    if (n) s_.WriteBuffer(p, n);
  }
  // An i32 byte count, then the bytes.
  void Str(std::string_view v) {
    I32(static_cast<std::int32_t>(v.size()));
    Bytes(v.data(), static_cast<std::int64_t>(v.size()));
  }

  // Writes Length as the i32 at At and comes back to the end of what was
  // written; a Length past 32 bits raises EWriteError(TooLong).
  void PatchLength(std::int64_t At, std::int64_t Length, const std::string& TooLong) {
    if (Length > INT32_MAX) throw EWriteError(TooLong);
    const std::int64_t end = s_.Position();
    s_.SetPosition(At);
    I32(static_cast<std::int32_t>(Length));
    s_.SetPosition(end);
  }

 private:
  template <typename T>
  void Le(T v) {
    std::uint8_t b[sizeof(T)];
    for (std::size_t i = 0; i < sizeof(T); ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
    s_.WriteBuffer(b, sizeof(T));
  }

  TStream& s_;
};

}  // namespace redozir
#pragma GCC visibility pop
