// The area-weighted bilinear and bicubic resamplers: the vector engine (in
// double, or in float where that is exact), the exact box sums of
// reductions and the worker chunks all give the bytes of the scalar walk,
// over the four cases, whole, dyadic and awkward ratios, odd widths and
// every sample format.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>

#include "imaging/processing/resample.h"
#include "imaging/processing/resample_area_float.h"
#include "resample_test_util.h"

using namespace redozir;

namespace {
std::vector<std::uint8_t> Area(TIEBitmap* src, int w, int h, int mode, int threads, bool simd) {
  IESetMaxThreads(threads);
  IESetSIMD(simd);
  auto dst = TIEBitmap::CreateSized(w, h, src->PixelFormat());
  if (src->PixelFormat() == ie24RGB || src->PixelFormat() == ie8g)
    _IEResampleBilinearBicubic8(src, dst.get(), mode, nullptr, {});
  else
    _IEResampleBilinearBicubic16(src, dst.get(), mode, nullptr, {});
  return Bytes(dst.get());
}
}  // namespace

TEST(ResampleArea, VectorPathsAndBandsMatchTheScalarWalk) {
  ResampleSettingsGuard guard;
  const int sizes[][4] = {
      {8, 6, 16, 12},     // x 2 both ways (case 0, unit weights every other piece)
      {9, 7, 23, 19},     // enlargement, odd ratios
      {31, 5, 93, 4},     // wider, a little lower (case 1)
      {5, 31, 4, 93},     // narrower, taller (case 2)
      {40, 24, 10, 6},    // whole reduction: exact box sums
      {45, 27, 18, 11},   // 2.5 across: dyadic pieces, box sums
      {61, 47, 23, 19},   // reduction with awkward pieces
      {37, 3, 36, 5},     // one column less, more rows
      {33, 20, 1, 1},     // everything into one pixel
      {1, 9, 7, 2},       // one source column
      {13, 1, 5, 1},      // one row
      {11, 13, 11, 29},   // width kept
      {10, 6, 40, 24},    // x 4: dyadic weights, exact in float
      {16, 12, 32, 3},    // x 2 across, a quarter down: float rows, case 1
      {12, 16, 3, 32},    // the same turned: case 2
      {33, 7, 66, 7},     // x 2 across, height kept
      {12, 9, 16, 12},    // x 4/3: float rows, the inverse area 16/9 taken in double
      {4, 3, 32, 24},     // x 8: float rows for 8-bit samples, too fine for 16-bit ones
      {130, 3, 261, 2},   // rows wider than a vector's reach, an odd width
      {300, 7, 641, 15},  // odd enlargement over many blocks: checked float rows
      {200, 6, 201, 7},   // nearly 1: two pieces to most pixels
  };
  for (TIEPixelFormat pf : {ie24RGB, ie8g, ieRGB48, ie16g}) {
    int seed = 1;
    for (const auto& s : sizes) {
      auto src = MakeImage(s[0], s[1], pf, static_cast<std::uint32_t>(seed++));
      for (int mode : {0, 1}) {
        const auto ref = Area(src.get(), s[2], s[3], mode, 1, false);
        ASSERT_EQ(ref.size(),
                  static_cast<std::size_t>(s[3]) * IEBitmapRowLen(s[2], IEPixelFormatBits(pf), 8));
        // The 512-bit rows where the processor has them, and the AVX2 ones.
        for (bool wide : {true, false}) {
          IESpeed().AVX512 = wide;
          for (int n : {1, 2, 3, 0})
            EXPECT_EQ(Area(src.get(), s[2], s[3], mode, n, true), ref)
                << "format " << int(pf) << " mode " << mode << " " << s[0] << "x" << s[1] << " -> " << s[2]
                << "x" << s[3] << " threads " << n << " avx512 " << wide;
        }
        EXPECT_EQ(Area(src.get(), s[2], s[3], mode, 3, false), ref);
      }
    }
  }
}

// The checked float rows with every value flagged: the double way they take
// for values near a rounding boundary gives the walk's bytes as well.
TEST(ResampleArea, FlaggedValuesTakenInDoubleAreTheWalks) {
  ResampleSettingsGuard guard;
  struct Reset {
    ~Reset() { IEAreaFloatCheckAll(false); }
  } reset;
  const int sizes[][4] = {{9, 7, 23, 19}, {40, 5, 97, 11}, {31, 9, 33, 10}};
  for (TIEPixelFormat pf : {ie24RGB, ie8g}) {
    for (const auto& s : sizes) {
      auto src = MakeImage(s[0], s[1], pf, 5);
      for (int mode : {0, 1}) {
        const auto ref = Area(src.get(), s[2], s[3], mode, 1, false);
        for (bool wide : {true, false}) {
          IESpeed().AVX512 = wide;
          IEAreaFloatCheckAll(true);
          EXPECT_EQ(Area(src.get(), s[2], s[3], mode, 2, true), ref)
              << "format " << int(pf) << " mode " << mode << " " << s[0] << "x" << s[1] << " -> " << s[2]
              << "x" << s[3] << " avx512 " << wide;
          IEAreaFloatCheckAll(false);
        }
      }
    }
  }
}

TEST(ResampleArea, WholeReductionIsTheRoundedBoxAverage) {
  ResampleSettingsGuard guard;
  // 6 x 2 -> 3 x 1: boxes of four samples; sums 2, 6 and 10 give 0.5, 1.5
  // and 2.5, which round to even; full white stays 255.
  const std::uint8_t rows[2][6] = {{0, 1, 1, 2, 2, 3}, {0, 1, 1, 2, 2, 3}};
  auto src = TIEBitmap::CreateSized(6, 2, ie8g);
  for (int y = 0; y < 2; ++y) std::copy(rows[y], rows[y] + 6, src->GetScanline(y));
  for (bool simd : {false, true})
    for (int mode : {0, 1})
      EXPECT_EQ(Area(src.get(), 3, 1, mode, 0, simd), (std::vector<std::uint8_t>{0, 2, 2}));
  auto white = MakeUniform(400, 300, ieRGB48, 0xFF);
  for (auto v : Area(white.get(), 100, 75, 0, 0, true)) ASSERT_EQ(v, 0xFF);
}

TEST(ResampleThreads, ChunksCoverEveryRowOnceAndRaiseErrorsAgain) {
  struct Case {
    int rows, workers, chunk;
  } cases[] = {{0, 4, 8}, {1, 4, 8}, {37, 1, 5}, {37, 3, 5}, {100, 8, 1}, {16, 2, 16}, {17, 9, 4}};
  for (const auto& c : cases) {
    std::vector<std::atomic<int>> seen(static_cast<std::size_t>(c.rows));
    std::atomic<int> badWorker{0};
    IERunChunks(c.rows, c.workers, c.chunk, [&](int t, int first, int count) {
      if (t < 0 || t >= std::max(1, c.workers)) ++badWorker;
      for (int y = first; y < first + count; ++y) ++seen[static_cast<std::size_t>(y)];
    });
    EXPECT_EQ(badWorker, 0);
    for (int y = 0; y < c.rows; ++y)
      EXPECT_EQ(seen[static_cast<std::size_t>(y)], 1) << c.rows << " row " << y;
  }
  // Each worker meets its chunks in increasing order.
  std::vector<int> last(4, -1);
  std::atomic<int> backwards{0};
  IERunChunks(400, 4, 7, [&](int t, int first, int) {
    if (first <= last[static_cast<std::size_t>(t)]) ++backwards;
    last[static_cast<std::size_t>(t)] = first;
  });
  EXPECT_EQ(backwards, 0);
  EXPECT_THROW(IERunChunks(64, 3, 4,
                           [](int, int first, int) {
                             if (first == 32) throw std::runtime_error("chunk failed");
                           }),
               std::runtime_error);
}
