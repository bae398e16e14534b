// The 3 x 3 convolution filter of an 8-bit plane: nine tables of products
// replace the multiplications, and the results go through a work block so
// that every pixel reads its neighbours before any of them changed.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "imaging/processing/ie_blur.h"
#include "imaging/core/ie_parallel.h"

namespace redozir {

void _IEApplyFilter8bit(TIEBitmap* Bitmap, const TIEFilterKernel& Filter, int X1, int Y1, int X2, int Y2) {
  if (Bitmap->GetPixelFormat() != ie8g) return;
  int W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, W) - 1;
  Y2 = std::min(Y2, H) - 1;
  if (X1 > X2 || Y1 > Y2) return;
  std::int64_t divisor = Filter.Divisor == 0 ? 1 : Filter.Divisor;
  // 64-bit products: any coefficient times 255, nine of them, cannot overflow.
  std::vector<std::int64_t> table(9 * 256);
  for (int k = 0; k < 9; ++k)
    for (int v = 0; v < 256; ++v)
      table[k * 256 + v] = static_cast<std::int64_t>(Filter.Values[k / 3][k % 3]) * v;
  int w = X2 - X1 + 1, h = Y2 - Y1 + 1;
  std::vector<std::uint8_t> work(static_cast<size_t>(w) * h);
  TIERowTable rows(Bitmap);
  IEParallelFor(h, static_cast<std::int64_t>(w) * 9, rows.Shareable(), [&](int b, int e) {
    for (int j = b; j < e; ++j) {
      int y = Y1 + j;
      const std::uint8_t* line[3] = {rows[std::max(y - 1, 0)], rows[y], rows[std::min(y + 1, H - 1)]};
      std::uint8_t* out = work.data() + static_cast<size_t>(j) * w;
      for (int x = X1; x <= X2; ++x) {
        int xs[3] = {std::max(x - 1, 0), x, std::min(x + 1, W - 1)};
        std::int64_t sum = 0;
        for (int k = 0; k < 9; ++k) sum += table[k * 256 + line[k / 3][xs[k % 3]]];
        std::int64_t v = std::llabs(sum) / divisor;
        out[x - X1] = static_cast<std::uint8_t>(std::clamp<std::int64_t>(v, 0, 255));
      }
    }
  });
  for (int j = 0; j < h; ++j) std::copy_n(work.data() + static_cast<size_t>(j) * w, w, rows[Y1 + j] + X1);
}

}  // namespace redozir
