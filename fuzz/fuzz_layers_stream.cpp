// Feeds arbitrary bytes to TRedozIrView::LayersLoadFromStream: a refused or
// failed load leaves the view's layers as they were; what loads saves, loads
// and saves again to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"
#include "platform/stream.h"

using namespace redozir;

namespace {
std::string Saved(TRedozIrView& v) {
  TMemoryStream m;
  v.LayersSaveToStream(m, -2);
  return std::string(m.Data().begin(), m.Data().end());
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  TRedozIrView v(nullptr);
  v.GetIEBitmap()->Allocate(3, 2, ie24RGB);
  v.GetIEBitmap()->Fill(0x123456);
  std::string before = Saved(v);
  TReadOnlyMemoryStream s(data, static_cast<std::int64_t>(size));
  bool loaded = false;
  try {
    loaded = v.LayersLoadFromStream(s);
  } catch (const Exception&) {
    loaded = false;
  }
  if (!loaded) {
    if (Saved(v) != before) std::abort();
    return 0;
  }
  std::string once = Saved(v);
  TRedozIrView again(nullptr);
  TReadOnlyMemoryStream s2(once.data(), static_cast<std::int64_t>(once.size()));
  if (!again.LayersLoadFromStream(s2) || Saved(again) != once) std::abort();
  return 0;
}
