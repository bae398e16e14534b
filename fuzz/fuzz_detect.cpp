// Feeds random bytes to the dispatch by content: the format tests, then the
// reader of whatever format they name (every codec, ours and the libraries'),
// at two page indices.
#include <cstdint>

#include "imaging/io/redozir_io.h"

using namespace redozir;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  for (int index : {0, 1}) {
    TReadOnlyMemoryStream ms(data, static_cast<std::int64_t>(size));
    TRedozIrIO io;
    io.Params().SetImageIndex(index);
    try {
      io.LoadFromStream(ms);
    } catch (const Exception&) {
    }
  }
  return 0;
}
