// Feeds random bytes to the TGA reader through the I/O component (see
// fuzz_codec.h for what every input must end in).
#include <cstdint>

#include "fuzz/fuzz_codec.h"

using namespace redozir;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  return FuzzLoadAndSave(data, size, ioTGA);
}
