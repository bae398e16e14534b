// Feeds arbitrary bytes to TIELayer::LoadFromStream: a damaged record raises
// and changes nothing; what loads saves and loads back to the same record.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"
#include "platform/stream.h"

using namespace redozir;

namespace {
std::string Saved(TIELayer& l) {
  TMemoryStream m;
  l.SaveToStream(m, true);
  return std::string(m.Data().begin(), m.Data().end());
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  TRedozIrView v(nullptr);
  v.GetIEBitmap()->Allocate(2, 2, ie8g);
  TIELayer* l = v.GetCurrentLayer();
  std::string before = Saved(*l);
  TReadOnlyMemoryStream s(data, static_cast<std::int64_t>(size));
  try {
    l->LoadFromStream(s);
  } catch (const Exception&) {
    if (Saved(*l) != before) std::abort();
    return 0;
  }
  std::string once = Saved(*l);
  TReadOnlyMemoryStream s2(once.data(), static_cast<std::int64_t>(once.size()));
  l->LoadFromStream(s2);
  if (Saved(*l) != once) std::abort();
  return 0;
}
