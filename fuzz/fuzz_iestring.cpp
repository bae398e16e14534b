// Length-prefixed strings as the object streams store class names.
#include <cstddef>
#include <cstdint>

#include "imaging/core/ie_streams.h"
#include "platform/byte_reader.h"

using namespace redozir;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TReadOnlyMemoryStream s(data, static_cast<std::int64_t>(size));
  try {
    while (s.Position() < s.Size()) {
      std::string v = IEReadStringFromStream(s);
      if (static_cast<std::int64_t>(v.size()) > s.Size()) __builtin_trap();
    }
  } catch (const EReadError&) {
  }
  return 0;
}
