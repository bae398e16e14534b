// Feeds arbitrary bytes to TRedozIrView::LoadSelectionFromStream in each
// mode: a damaged record raises and changes nothing; a loaded selection lies
// inside the image and saves and loads back to the same record.
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
  v.SaveSelectionToStream(m);
  return std::string(m.Data().begin(), m.Data().end());
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size < 1) return 0;
  TRedozIrView v(nullptr);
  v.SelectionBase = iesbBitmap;
  v.GetIEBitmap()->Allocate(9, 7, ie24RGB);
  v.Update();
  v.Select(1, 1, 4, 3, 0);
  std::string before = Saved(v);
  TReadOnlyMemoryStream s(data + 1, static_cast<std::int64_t>(size - 1));
  try {
    v.LoadSelectionFromStream(s, data[0] % 3);
  } catch (const Exception&) {
    if (Saved(v) != before) std::abort();
    return 0;
  }
  TIEMask* m = v.SelectionMask();
  if (m->Width() != 9 || m->Height() != 7) std::abort();
  for (int i = 0; i < v.GetSelectionPointCount(); ++i) {
    TPoint p = v.GetSelectionPoints()[i];
    if (!IEIsSelBreak(p) && (p.X < 0 || p.Y < 0 || p.X > 9 || p.Y > 7)) std::abort();
  }
  std::string once = Saved(v);
  TReadOnlyMemoryStream s2(once.data(), static_cast<std::int64_t>(once.size()));
  v.LoadSelectionFromStream(s2, 0);
  if (Saved(v) != once) std::abort();
  return 0;
}
