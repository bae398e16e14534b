// Feeds arbitrary bytes to TIEBitmap::LoadRawFromStream: a failed load must
// leave the bitmap as it was, a successful one must save and load back the same.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imaging/core/iebitmap.h"
#include "platform/stream.h"

using namespace redozir;

namespace {
std::string Bytes(TIEBitmap& b) {
  TMemoryStream m;
  b.SaveRawToStream(m);
  return std::string(m.Data().begin(), m.Data().end());
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  TIEBitmap b(3, 2, ie24RGB);
  b.Fill(0x123456);
  b.GetAlphaChannel()->Fill(77);
  std::string before = Bytes(b);
  TReadOnlyMemoryStream s(data, static_cast<std::int64_t>(size));
  bool loaded = false;
  try {
    loaded = b.LoadRawFromStream(s);
  } catch (const Exception&) {
    loaded = false;
  }
  if (!loaded) {
    if (Bytes(b) != before) std::abort();
    return 0;
  }
  // Whatever loaded converts and survives its own round trip.
  std::string saved = Bytes(b);
  TIEBitmap again;
  TReadOnlyMemoryStream s2(saved.data(), static_cast<std::int64_t>(saved.size()));
  if (!again.LoadRawFromStream(s2) || Bytes(again) != saved) std::abort();
  try {
    if (static_cast<std::int64_t>(b.GetWidth()) * b.GetHeight() <= 4096) b.ConvertToPixelFormat(ie24RGB);
  } catch (const EOutOfMemory&) {
    // A row of hundreds of millions of pixels (with no rows) may not fit in 24 bits.
  }
  return 0;
}
