// The record list, the byte buffer and the integer hash set.
#include "imaging/core/ie_containers.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/exceptions.h"

namespace redozir {

namespace {
// No record list grows past this many bytes (a guard against runaway counts).
constexpr std::int64_t kMaxRecordListBytes = std::int64_t(1) << 31;
}  // namespace

TIERecordList::TIERecordList(int RecordSize) : fRecordSize(RecordSize) {
  if (RecordSize <= 0 || RecordSize > (1 << 20))
    throw EInvalidOperation("Bad record size " + std::to_string(RecordSize));
}

void TIERecordList::SetCount(int Value) {
  if (Value < 0) throw ERangeError("Negative record count");
  std::int64_t bytes = static_cast<std::int64_t>(Value) * fRecordSize;
  if (bytes > kMaxRecordListBytes) throw EOutOfMemory("Record list too large");
  if (bytes > static_cast<std::int64_t>(fData.size())) {
    // Grow geometrically so that a run of Add stays linear.
    std::int64_t cap = std::max<std::int64_t>(bytes, static_cast<std::int64_t>(fData.size()) * 3 / 2);
    cap = std::min(cap, kMaxRecordListBytes);
    fData.resize(static_cast<size_t>(cap));
  }
  if (Value > fCount) {
    std::memset(fData.data() + static_cast<std::int64_t>(fCount) * fRecordSize, 0,
                static_cast<size_t>(static_cast<std::int64_t>(Value - fCount) * fRecordSize));
  }
  fCount = Value;
}

void* TIERecordList::GetItem(int Index) {
  if (Index < 0 || Index >= fCount) return nullptr;
  return fData.data() + static_cast<std::int64_t>(Index) * fRecordSize;
}

int TIERecordList::Add(const void* Record) {
  int index = fCount;
  SetCount(fCount + 1);
  if (Record) std::memcpy(GetItem(index), Record, static_cast<size_t>(fRecordSize));
  return index;
}

TIEByteArray::TIEByteArray(int BlockSize) : fBlockSize(std::max(1, BlockSize)) {}

void TIEByteArray::AppendByte(std::uint8_t B) {
  if (Size >= fCapacity) {
    std::int64_t cap = Size + fBlockSize;
    if (cap > kMaxRecordListBytes) throw EOutOfMemory("Byte array too large");
    std::unique_ptr<std::uint8_t[]> grown(new std::uint8_t[static_cast<size_t>(cap)]);
    if (Size) std::memcpy(grown.get(), fBuffer.get(), static_cast<size_t>(Size));
    fBuffer = std::move(grown);
    fCapacity = cap;
    Data = fBuffer.get();
  }
  Data[Size++] = B;
}

void TIEByteArray::Clear() {
  fBuffer.reset();
  Data = nullptr;
  Size = fCapacity = 0;
}

THash1::THash1(int Bits) {
  if (Bits < 1 || Bits > 24) throw EInvalidOperation("Bad hash size " + std::to_string(Bits));
  fMask = (1u << Bits) - 1;
  fBuckets.resize(static_cast<size_t>(fMask) + 1);
}

bool THash1::Insert(std::int32_t Key) {
  auto& b = fBuckets[static_cast<std::uint32_t>(Key) & fMask];
  if (std::find(b.begin(), b.end(), Key) != b.end()) return false;
  b.push_back(Key);
  ++fCount;
  return true;
}

bool THash1::Contains(std::int32_t Key) const {
  const auto& b = fBuckets[static_cast<std::uint32_t>(Key) & fMask];
  return std::find(b.begin(), b.end(), Key) != b.end();
}

}  // namespace redozir
