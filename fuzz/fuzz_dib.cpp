// Feeds random blocks to the packed DIB and video-frame reader: the block as
// it is, the block's tail as separate pixel bits, and a header written for
// each FOURCC in front of the data so that every layout's decoder runs.
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/processing/dib_input.h"
#include "platform/exceptions.h"

using namespace redozir;

namespace {
constexpr std::uint32_t kFourCCs[] = {
    IEFourCC("IYU1"), IEFourCC("IYU2"), IEFourCC("UYVY"), IEFourCC("UYNV"), IEFourCC("cyuv"),
    IEFourCC("YUY2"), IEFourCC("YUNV"), IEFourCC("YVYU"), IEFourCC("Y41P"), IEFourCC("Y211"),
    IEFourCC("CLJR"), IEFourCC("YVU9"), IEFourCC("YV12"), IEFourCC("I420"), IEFourCC("IYUV"),
};

void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void Read(const std::uint8_t* data, size_t size, const void* bits, size_t bitsSize) {
  TIEBitmap b;
  try {
    _CopyDIBtoBitmapEx(data, static_cast<std::int64_t>(size), &b, bits, static_cast<std::int64_t>(bitsSize));
  } catch (const Exception&) {
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::uint8_t mode = data[0];
  ++data;
  --size;
  switch (mode % 3) {
    case 0: Read(data, size, nullptr, 0); break;
    case 1: {
      // Header and table from the front, pixels from a separate block.
      const size_t split = size < 2 ? 0 : data[0] % size;
      std::vector<std::uint8_t> head(data, data + split), tail(data + split, data + size);
      Read(head.data(), head.size(), tail.data(), tail.size());
      break;
    }
    default: {
      // A small video frame of one of the layouts, with the data as pixels.
      if (size < 3) return 0;
      std::vector<std::uint8_t> dib(40, 0);
      Put32(&dib[0], 40);
      Put32(&dib[4], 1 + data[0] % 64);
      const int h = 1 + data[1] % 64;
      Put32(&dib[8], static_cast<std::uint32_t>(mode & 0x80 ? -h : h));
      dib[14] = 16;
      Put32(&dib[16], kFourCCs[data[2] % std::size(kFourCCs)]);
      dib.insert(dib.end(), data + 3, data + size);
      Read(dib.data(), dib.size(), nullptr, 0);
    }
  }
  return 0;
}
