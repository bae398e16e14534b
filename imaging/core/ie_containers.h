// Small containers of the imaging core: a list of fixed-size records, a
// growable byte buffer and a set of integer keys.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/object.h"

#pragma GCC visibility push(default)
namespace redozir {

// A list of fixed-size records kept contiguously (the magic wand's span stack
// and contour list).
class TIERecordList : public TObject {
 public:
  explicit TIERecordList(int RecordSize);

  int RecordSize() const { return fRecordSize; }
  int Count() const { return fCount; }
  // Grows the storage when needed; new records are zero.
  virtual void SetCount(int Value);
  // Address of record Index (nullptr outside 0..Count - 1).
  void* GetItem(int Index);
  // Appends a copy of RecordSize bytes at Record; answers its index.
  int Add(const void* Record);
  void Clear() { SetCount(0); }

 private:
  int fRecordSize;
  int fCount = 0;
  std::vector<std::uint8_t> fData;
};

// A growable byte buffer whose Size and Data the callers read directly.
class TIEByteArray : public TObject {
 public:
  explicit TIEByteArray(int BlockSize);

  void AppendByte(std::uint8_t B);
  void Clear();

  std::int64_t Size = 0;
  std::uint8_t* Data = nullptr;

 private:
  std::int64_t fBlockSize;
  std::int64_t fCapacity = 0;
  std::unique_ptr<std::uint8_t[]> fBuffer;
};

// A hash set of integer keys with 2^Bits buckets (key and (2^Bits - 1) picks
// the bucket).
class THash1 : public TObject {
 public:
  explicit THash1(int Bits);

  // True when Key was new and has been added.
  bool Insert(std::int32_t Key);
  bool Contains(std::int32_t Key) const;
  int Count() const { return fCount; }

 private:
  std::uint32_t fMask;
  int fCount = 0;
  std::vector<std::vector<std::int32_t>> fBuckets;
};

}  // namespace redozir
#pragma GCC visibility pop
