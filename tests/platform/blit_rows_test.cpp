#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <utility>

#include "blit_reference.h"
#include "platform/blit_rows.h"
#include "platform/canvas.h"
#include "platform/simd_level.h"

using namespace redozir;

namespace {

TEST(BlitRows, Row24To32MovesColoursAndKeepsTheFourthByteInEveryPath) {
  std::mt19937 rng(7);
  for (int n = 0; n <= 40; ++n) {
    std::vector<std::uint8_t> src(static_cast<size_t>(3 * n));
    for (auto& b : src) b = static_cast<std::uint8_t>(rng());
    std::vector<std::uint8_t> before(static_cast<size_t>(4 * n));
    for (auto& b : before) b = static_cast<std::uint8_t>(rng());
    std::vector<std::uint8_t> scalar = before, fast = before;
    // Exactly sized rows: a vector read past the end shows under the sanitizers.
    blit_rows::Row24To32Scalar(scalar.data(), src.data(), n);
    Row24To32(fast.data(), src.data(), n);
    for (int i = 0; i < n; ++i) {
      for (int c = 0; c < 3; ++c) ASSERT_EQ(scalar[4 * i + c], src[3 * i + c]) << n << " pixel " << i;
      ASSERT_EQ(scalar[4 * i + 3], before[4 * i + 3]) << n << " pixel " << i;
    }
    EXPECT_EQ(fast, scalar) << n << " pixels";
    if (blit_rows::HasAvx2()) {
      std::vector<std::uint8_t> avx = before;
      blit_rows::Row24To32Avx2(avx.data(), src.data(), n);
      EXPECT_EQ(avx, scalar) << n << " pixels";
    }
  }
}

// A 32-bit row moved along itself by a few pixels either way (a scroll):
// every pixel gets the colour of the one it came from, its fourth byte stays.
TEST(BlitRows, MoveRow32ShiftsAlongItselfInEveryPath) {
  std::mt19937 rng(11);
  for (int n = 0; n <= 40; ++n)
    for (int shift = -9; shift <= 9; ++shift) {
      std::vector<std::uint8_t> before(static_cast<size_t>(4 * (n + 20)));
      for (auto& b : before) b = static_cast<std::uint8_t>(rng());
      int from = 10, to = 10 + shift;
      std::vector<std::uint8_t> scalar = before, fast = before;
      blit_rows::MoveRow32Scalar(scalar.data() + 4 * to, scalar.data() + 4 * from, n);
      MoveRow32(fast.data() + 4 * to, fast.data() + 4 * from, n);
      for (int i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ(scalar[4 * (to + i) + c], before[4 * (from + i) + c]) << n << " by " << shift;
        ASSERT_EQ(scalar[4 * (to + i) + 3], before[4 * (to + i) + 3]) << n << " by " << shift;
      }
      EXPECT_EQ(fast, scalar) << n << " by " << shift;
      if (blit_rows::HasAvx2()) {
        std::vector<std::uint8_t> avx = before;
        blit_rows::MoveRow32Avx2(avx.data() + 4 * to, avx.data() + 4 * from, n);
        EXPECT_EQ(avx, scalar) << n << " by " << shift;
      }
    }
}

// Halftone rows of random taps (1 to 5 per column, some columns with none):
// the vector form gives the scalar walk's values.
TEST(BlitRows, HalftoneRowMatchesTheScalarWalk) {
  if (!blit_rows::HasAvx2()) GTEST_SKIP() << "no AVX2 here: only the scalar walk runs";
  std::mt19937 rng(17);
  std::vector<std::uint8_t> a(64 * 4 + 4), c(64 * 4 + 4);
  for (auto& v : a) v = static_cast<std::uint8_t>(rng());
  for (auto& v : c) v = static_cast<std::uint8_t>(rng());
  const std::uint8_t* rows[] = {a.data(), c.data(), a.data()};
  const double wy[] = {0.25, 0.5, 0.25};
  for (int n = 0; n <= 21; ++n) {
    std::vector<int> start{0}, bytes;
    std::vector<double> weights;
    for (int i = 0; i < n; ++i) {
      int taps = static_cast<int>(rng() % 6);
      for (int k = 0; k < taps; ++k) {
        bytes.push_back(static_cast<int>(rng() % 64) * (n % 2 ? 3 : 4));
        weights.push_back(1.0 / static_cast<double>(1 + rng() % 7));
      }
      start.push_back(static_cast<int>(bytes.size()));
    }
    std::vector<std::uint32_t> scalar(static_cast<size_t>(n)), avx(static_cast<size_t>(n));
    blit_rows::HalftoneRowScalar(rows, wy, 3, start.data(), bytes.data(), weights.data(), n, scalar.data());
    blit_rows::HalftoneRowAvx2(rows, wy, 3, start.data(), bytes.data(), weights.data(), n, avx.data());
    EXPECT_EQ(avx, scalar) << n << " columns";
  }
}

void Randomise(TBitmap& b, std::mt19937& rng) {
  for (int y = 0; y < b.Height(); ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (std::int64_t i = 0; i < b.RowBytes(); ++i) row[i] = static_cast<std::uint8_t>(rng());
  }
}

std::vector<std::uint8_t> Bytes(TBitmap& b) {
  std::vector<std::uint8_t> v;
  for (int y = 0; y < b.Height(); ++y) v.insert(v.end(), b.ScanLine(y), b.ScanLine(y) + b.RowBytes());
  return v;
}

void CopyBitmap(TBitmap& to, const TBitmap& from) {
  to.SetPixelFormat(from.PixelFormat());
  to.SetSize(from.Width(), from.Height());
  to.SetPalette(from.Palette());
  for (int y = 0; y < from.Height(); ++y)
    std::memcpy(to.ScanLine(y), from.ScanLine(y), static_cast<size_t>(from.RowBytes()));
}

TEST(BlitRows, PixelFormatBetween24And32BitsRoundTrips) {
  std::mt19937 rng(3);
  TBitmap b(13, 3, pf24bit), original;
  Randomise(b, rng);
  CopyBitmap(original, b);
  b.SetPixelFormat(pf32bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 13; ++x) {
      ASSERT_EQ(b.GetPixel(x, y), original.GetPixel(x, y)) << x << ", " << y;
      ASSERT_EQ(b.ScanLine(y)[4 * x + 3], 0) << "a new fourth byte is 0";
    }
  b.SetPixelFormat(pf24bit);
  for (int y = 0; y < 3; ++y)
    EXPECT_EQ(0, std::memcmp(b.ScanLine(y), original.ScanLine(y), 13 * 3)) << "row " << y;
}

// Random copies, stretches, mirrors and raster operations in every format,
// onto other bitmaps and onto themselves, through clip regions and canvas
// origins: the row paths give the bytes the pixel-by-pixel reference gives.
TEST(BlitRows, RowPathsGiveTheBytesOfThePixelByPixelBlit) {
  const TPixelFormat formats[] = {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit};
  const std::uint32_t rops[] = {SRCCOPY,   SRCCOPY,  SRCCOPY,   SRCINVERT,
                                MERGECOPY, SRCERASE, PATINVERT, DSTINVERT};
  std::mt19937 rng(2024);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 4000; ++round) {
    bool self = round % 4 == 0;
    TPixelFormat dpf = formats[pick(0, 6)], spf = self ? dpf : formats[pick(0, 6)];
    if (round % 3 == 0 && !self) spf = dpf == pf24bit ? pf32bit : pf24bit, dpf = pf32bit;
    TBitmap dA(pick(1, 24), pick(1, 12), dpf), dB, src(pick(1, 24), pick(1, 12), spf);
    Randomise(dA, rng);
    Randomise(src, rng);
    CopyBitmap(dB, dA);
    std::uint32_t rop = rops[pick(0, 7)];
    int mode = pick(0, 2) ? COLORONCOLOR : HALFTONE;
    int w = pick(-12, 16), h = pick(-8, 10);
    bool same = pick(0, 1);
    int sw = same ? w : pick(-12, 16), sh = same ? h : pick(-8, 10);
    if (w == 0 || h == 0 || sw == 0 || sh == 0) continue;
    int x = pick(-4, 20), y = pick(-4, 10), sx = pick(-4, 20), sy = pick(-4, 10);
    TPoint origin{pick(-2, 3), pick(-2, 3)};
    // Mostly short moves onto itself, as a scroll makes them.
    if (self && pick(0, 3)) {
      sx = x + origin.X + pick(-3, 3);
      sy = y + origin.Y + pick(-1, 1);
    }
    bool clipped = pick(0, 2) == 0;
    TRegion clip =
        TRegion::Combine(TRegion::FromRect({pick(-2, 8), pick(-2, 5), pick(8, 20), pick(5, 10)}),
                         TRegion::FromRect({pick(0, 12), pick(0, 8), pick(12, 24), pick(8, 12)}), RGN_OR);
    TColor brush = static_cast<TColor>(rng() & 0xFFFFFF);
    TBrushStyle style = pick(0, 3) ? bsSolid : bsDiagCross;
    TBitmap* targets[] = {&dA, &dB};
    for (TBitmap* t : targets) {
      TCanvas* c = t->Canvas();
      c->SetOrigin(origin);
      c->SetClipRegion(clipped ? &clip : nullptr);
      c->Brush.Color = brush;
      c->Brush.Style = style;
      c->StretchMode = mode;
    }
    // The reference reads a copy when a bitmap is drawn onto itself.
    TBitmap kept;
    CopyBitmap(kept, self ? dB : src);
    const TBitmap& from = self ? dA : src;
    bool a = StretchBitmap(dA.Canvas(), x, y, w, h, from, sx, sy, sw, sh, rop);
    bool b = blit_reference::StretchWithMode(dB.Canvas(), x, y, w, h, kept, sx, sy, sw, sh, rop, mode);
    ASSERT_EQ(a, b);
    ASSERT_EQ(Bytes(dA), Bytes(dB)) << "round " << round << ": " << spf << " -> " << dpf << " rop "
                                    << std::hex << rop << std::dec << " mode " << mode << " self " << self
                                    << " at " << x << "," << y << " " << w << "x" << h << " from " << sx
                                    << "," << sy << " " << sw << "x" << sh << (clipped ? " clipped" : "");
  }
}

}  // namespace

TEST(SIMDLevel, NamesCapTheInstructionSet) {
  const std::pair<const char*, TSIMDLevel> cases[] = {
      {"scalar", TSIMDLevel::Scalar}, {"AVX2", TSIMDLevel::AVX2},    {"avx512", TSIMDLevel::AVX512},
      {"", TSIMDLevel::AVX512},       {"sse", TSIMDLevel::AVX512},   {nullptr, TSIMDLevel::AVX512}};
  for (const auto& [text, level] : cases) EXPECT_EQ(ParseSIMDLevel(text), level) << (text ? text : "(unset)");
}
