// The body shared by the fuzz targets of the codecs read through the I/O
// component: any input must end in a loaded image or a library exception,
// never a crash, a leak or an allocation the bytes cannot justify; a loaded
// image must survive being written back in the same format.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/io/redozir_io.h"

namespace redozir {

inline int FuzzLoadAndSave(const std::uint8_t* data, std::size_t size, int Format) {
  TReadOnlyMemoryStream ms(data, static_cast<std::int64_t>(size));
  TRedozIrIO io;
  // The last byte also decides between native and converted pixel formats.
  io.SetNativePixelFormat(size > 0 && (data[size - 1] & 1));
  try {
    io.LoadFromStreamFormat(ms, Format);
    TMemoryStream out;
    io.SaveToStream(out, Format);
  } catch (const Exception&) {
  }
  return 0;
}

}  // namespace redozir
