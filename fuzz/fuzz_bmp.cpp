// Feeds random bytes to the BMP reader through the I/O component: any input
// must end in a loaded image or a library exception, never a crash, a leak
// or an allocation the bytes cannot justify; a loaded image must survive
// being written back.
#include <cstdint>

#include "imaging/io/redozir_io.h"

using namespace redozir;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  TReadOnlyMemoryStream ms(data, static_cast<std::int64_t>(size));
  TRedozIrIO io;
  io.SetNativePixelFormat(size > 0 && (data[size - 1] & 1));
  try {
    io.LoadFromStreamFormat(ms, ioBMP);
    TMemoryStream out;
    io.SaveToStream(out, ioBMP);
  } catch (const Exception&) {
  }
  return 0;
}
