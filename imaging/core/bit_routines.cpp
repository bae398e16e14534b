// Bit access, bit copies at any alignment and buffer inversion.
#include "imaging/core/bit_routines.h"

#include <algorithm>
#include <cstring>

namespace redozir {

int IEGetBit(const void* Buffer, int N) {
  if (N < 0) return 0;
  return static_cast<const std::uint8_t*>(Buffer)[N >> 3] & (0x80 >> (N & 7));
}

void IESetBit(void* Buffer, int N, bool Value) {
  if (N < 0) return;
  std::uint8_t& b = static_cast<std::uint8_t*>(Buffer)[N >> 3];
  const auto m = static_cast<std::uint8_t>(0x80 >> (N & 7));
  b = Value ? static_cast<std::uint8_t>(b | m) : static_cast<std::uint8_t>(b & ~m);
}

void IECopyBits(void* Dst, const void* Src, int DstPos, int SrcPos, int Count, int SrcLen) {
  if (Count < 1 || DstPos < 0 || SrcPos < 0 || SrcLen < 1) return;
  const std::int64_t avail = static_cast<std::int64_t>(SrcLen) * 8 - SrcPos;
  if (avail < 1) return;
  const std::int64_t count = std::min<std::int64_t>(Count, avail);
  auto* d = static_cast<std::uint8_t*>(Dst);
  const auto* s = static_cast<const std::uint8_t*>(Src);

  // Whole aligned bytes go straight through.
  if ((DstPos & 7) == 0 && (SrcPos & 7) == 0) {
    const std::int64_t whole = count >> 3;
    std::memcpy(d + (DstPos >> 3), s + (SrcPos >> 3), static_cast<size_t>(whole));
    const int rest = static_cast<int>(count & 7);
    if (rest) {
      const auto m = static_cast<std::uint8_t>(0xFF << (8 - rest));
      std::uint8_t& db = d[(DstPos >> 3) + whole];
      db = static_cast<std::uint8_t>((db & ~m) | (s[(SrcPos >> 3) + whole] & m));
    }
    return;
  }
  // Eight source bits from bit position p; bits past the source read as 0.
  auto window = [&](std::int64_t p) -> unsigned {
    const std::int64_t i = p >> 3;
    const int sh = static_cast<int>(p & 7);
    unsigned v = static_cast<unsigned>(s[i]) << 8;
    if (sh && i + 1 < SrcLen) v |= s[i + 1];
    return ((v << sh) >> 8) & 0xFF;
  };
  std::int64_t done = 0;
  while (done < count) {
    const std::int64_t dbit = static_cast<std::int64_t>(DstPos) + done;
    const int ds = static_cast<int>(dbit & 7);
    const int n = static_cast<int>(std::min<std::int64_t>(8 - ds, count - done));
    const unsigned v = window(SrcPos + done) >> ds;
    const auto m = static_cast<std::uint8_t>((0xFFu >> ds) & (0xFFu << (8 - ds - n)));
    std::uint8_t& db = d[dbit >> 3];
    db = static_cast<std::uint8_t>((db & ~m) | (v & m));
    done += n;
  }
}

void IECopyBitsBitwise(void* Dst, const void* Src, int DstPos, int SrcPos, int Count, int) {
  if (Count < 1 || DstPos < 0 || SrcPos < 0) return;
  for (int i = 0; i < Count; ++i) IESetBit(Dst, DstPos + i, IEGetBit(Src, SrcPos + i) != 0);
}

void IEInvertBuffer(void* Buffer, std::int64_t Count) {
  auto* p = static_cast<std::uint8_t*>(Buffer);
  std::int64_t i = 0;
  for (; i + 8 <= Count; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, p + i, 8);
    w = ~w;
    std::memcpy(p + i, &w, 8);
  }
  for (; i < Count; ++i) p[i] = static_cast<std::uint8_t>(~p[i]);
}

}  // namespace redozir
