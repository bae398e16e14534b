#include "imaging/core/ie_types.h"

#include <cmath>

namespace redozir {

int IEPixelFormatBits(TIEPixelFormat pf) {
  switch (pf) {
    case ie1g: return 1;
    case ie8p:
    case ie8g: return 8;
    case ie16g: return 16;
    case ie24RGB:
    case ieCIELab: return 24;
    case ie32f:
    case ieCMYK:
    case ie32RGB: return 32;
    case ieRGB48: return 48;
    default: return 0;
  }
}

void TIEProgressRecord::Report(std::int64_t done) const {
  if (!Assigned()) return;
  double v = std::nearbyint(static_cast<double>(done) * per1);
  int per = v < 0 ? 0 : v > 100 ? 100 : static_cast<int>(v);
  (*fOnProgress)(Sender, per);
}

}  // namespace redozir
