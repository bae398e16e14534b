// The bounded little-endian reader that every parser of untrusted bytes uses:
// it never reads past its limit, fails on short data with a message, and
// checks counts against the bytes left before anything is allocated.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/stream.h"

#pragma GCC visibility push(default)
namespace redozir {

class EFormatError : public EReadError {
  using EReadError::EReadError;
};

class TByteReader {
 public:
  // Reads from the stream's position; at most limit bytes (-1: up to its end).
  explicit TByteReader(TStream& s, std::int64_t limit = -1, std::string what = "data")
      : s_(s), what_(std::move(what)) {
    std::int64_t left = s.Size() - s.Position();
    if (left < 0) left = 0;
    left_ = (limit < 0 || limit > left) ? left : limit;
  }

  std::int64_t Left() const { return left_; }
  const std::string& What() const { return what_; }

  [[noreturn]] void Fail(const std::string& why) const { throw EFormatError(what_ + ": " + why); }

  void Need(std::int64_t n) const {
    if (n < 0 || n > left_)
      Fail("truncated (wanted " + std::to_string(n) + " bytes, " + std::to_string(left_) + " left)");
  }

  void Bytes(void* dst, std::int64_t n) {
    Need(n);
    s_.ReadBuffer(dst, n);
    left_ -= n;
  }
  void Skip(std::int64_t n) {
    Need(n);
    s_.Seek(n, soCurrent);
    left_ -= n;
  }

  std::uint8_t U8() { return Le<std::uint8_t>(); }
  std::uint16_t U16() { return Le<std::uint16_t>(); }
  std::uint32_t U32() { return Le<std::uint32_t>(); }
  std::uint64_t U64() { return Le<std::uint64_t>(); }
  std::int8_t I8() { return static_cast<std::int8_t>(U8()); }
  std::int16_t I16() { return static_cast<std::int16_t>(U16()); }
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
  std::int64_t I64() { return static_cast<std::int64_t>(U64()); }
  double F64() {
    std::uint64_t u = U64();
    double d;
    std::memcpy(&d, &u, 8);
    return d;
  }
  float F32() {
    std::uint32_t u = U32();
    float f;
    std::memcpy(&f, &u, 4);
    return f;
  }

  // A count that must not exceed cap and whose items (itemSize bytes each)
  // must fit in what is left.
  std::int64_t Count(std::int64_t value, std::int64_t cap, std::int64_t itemSize, const char* name) {
    if (value < 0 || value > cap) Fail(std::string("bad ") + name + " (" + std::to_string(value) + ")");
    if (itemSize > 0 && value > left_ / itemSize)
      Fail(std::string(name) + " larger than the data (" + std::to_string(value) + ")");
    return value;
  }

  std::vector<std::uint8_t> Vec(std::int64_t n) {
    Need(n);
    std::vector<std::uint8_t> v(static_cast<size_t>(n));
    if (n) Bytes(v.data(), n);
    return v;
  }
  std::string Str(std::int64_t n) {
    Need(n);
    std::string v(static_cast<size_t>(n), '\0');
    if (n) Bytes(v.data(), n);
    return v;
  }

 private:
  template <typename T>
  T Le() {
    std::uint8_t b[sizeof(T)];
    Bytes(b, sizeof(T));
    T v = 0;
    for (size_t i = 0; i < sizeof(T); ++i) v |= static_cast<T>(static_cast<T>(b[i]) << (8 * i));
    return v;
  }

  TStream& s_;
  std::string what_;
  std::int64_t left_ = 0;
};

}  // namespace redozir
#pragma GCC visibility pop
